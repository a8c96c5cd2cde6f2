#include "platform/ProcessSignals.h"

#include <signal.h>

#include <initializer_list>

namespace ProcessSignals {
namespace {

// Written by the handler, read by the main thread; a signal that comes while one is noted already
// changes nothing.
volatile sig_atomic_t endSignal = 0;

void OnEndSignal(int number) {
    if (endSignal == 0) endSignal = number;
}

}  // namespace

void InstallEndHandlers() {
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        sigaction(number, &action, nullptr);
}

int EndRequested() {
    return endSignal;
}

}  // namespace ProcessSignals
