#pragma once

// The program's own dealings with the X connection that the window library
// opens, kept apart from the window glue: how X errors end (or do not end)
// the program, and a root-window state that the packaged window library
// cannot survive.
namespace solidmorph {

// For the program's whole life: a lost connection runs on_lost, which
// should not return, as no X call can succeed any more; a protocol error
// saying that the program's window has gone (the server tearing it down, as
// a Wayland compositor's X server does when the compositor ends) runs
// on_window_gone, which may only note the fact; any other protocol error is
// let pass. Nothing is printed. The window library's own temporary handlers
// still work inside these: it puts back whatever handler it found.
void install_x_error_handlers(void (*on_lost)(), void (*on_window_gone)());

// The X window the program draws into, once it is open (0: none).
void watch_program_window(unsigned long window);

// The socket of the X connection the window library opened, once it is open
// (-1: closed again). Mesa's GLX can fault on a connection the server has
// hung up; such a fault runs the lost-connection action too.
void watch_program_connection(int connection_fd);

// Before the window library starts: makes sure the display holds no
// window-manager check that the library would abort on (a root
// _NET_SUPPORTING_WM_CHECK left behind by a window manager that crashed).
// False when such a check is there and cannot be cleared without risk; the
// library must not be started then. True also when there is no display to
// look at: starting the library reports that itself.
bool x_session_safe_for_window_library();

}  // namespace solidmorph
