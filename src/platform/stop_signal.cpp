#include "platform/stop_signal.h"

#include <signal.h>

namespace solidmorph {

static volatile sig_atomic_t stop_flag = 0;

static void on_stop_signal(int) { stop_flag = 1; }

void install_stop_handlers() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

bool stop_requested() { return stop_flag != 0; }

}  // namespace solidmorph
