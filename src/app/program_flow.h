#pragma once

namespace solidmorph {

// The program's whole life: start-up, frame loop, shutdown. Returns the
// process exit code, which is 0 on every path.
int run_program();

}  // namespace solidmorph
