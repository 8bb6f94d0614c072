#pragma once

namespace solidmorph::test {

// Opens the program's own window once per test process (on the private
// display the test runner provides) and keeps its GL context current.
// Fails the calling test when no context can be had.
bool ensure_gl_context();

}  // namespace solidmorph::test
