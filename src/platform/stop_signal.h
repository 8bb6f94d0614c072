#pragma once

namespace solidmorph {

// SIGINT, SIGTERM, SIGHUP and SIGQUIT ask the program to stop. The handler
// only raises a flag, so the frame loop and the console wait can end through
// the normal shutdown and give the display mode and the terminal back. A
// signal that was ignored when the program started (nohup's SIGHUP) stays
// ignored.
//
// A stop request also starts a short watchdog: a program blocked inside a
// library call (a display server that never answers, a server grab) cannot
// look at the flag, so once the watchdog runs out the process ends with
// status 0 on the spot.
void install_stop_handlers();

// Asks for a stop from inside the program, exactly as a stop signal does.
void request_stop();

// True once a stop has been requested, whenever it arrived.
bool stop_requested();

// Around work of our own that always ends by itself, however long it takes
// (reading and decoding a large texture while the full-screen window is
// open): the watchdog waits for it, so that the normal shutdown still runs
// and gives the video mode back, instead of leaving it switched.
void hold_stop_watchdog();
void release_stop_watchdog();

// A standard output nobody reads (a closed pipe) must not kill the program
// when it prints its one failure line; the write just fails.
void ignore_closed_output();

}  // namespace solidmorph
