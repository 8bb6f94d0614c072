#pragma once

namespace solidmorph {

// SIGINT, SIGTERM and SIGHUP only raise a flag, so the frame loop can end
// through the normal shutdown and give the display mode back.
void install_stop_handlers();
bool stop_requested();

}  // namespace solidmorph
