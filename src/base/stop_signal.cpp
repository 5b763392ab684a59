#include "base/stop_signal.hpp"

#include <csignal>

namespace tlvx {

namespace {

// The one piece of state outside the tools' own structs: a signal handler
// can reach nothing else, and may do no more than store a flag of this type.
volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void record_stop(int signal) { g_stop_signal = signal; }

sigset_t stop_set() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

StopSignals::StopSignals(SecondStopSignal second) {
    g_stop_signal = 0;
    struct sigaction sa {};
    sa.sa_handler = record_stop;
    sigemptyset(&sa.sa_mask);
    // mended: no SA_RESTART. A call that waits (the open of a FIFO, a read
    // from a terminal, a write to a full pipe) returns EINTR when the signal
    // comes instead of going on waiting, so a stop is never stuck behind it;
    // the loops look at the flag between steps. Calls on regular files are
    // not interrupted by signals, so the files' own reads and writes go on.
    sa.sa_flags = second == SecondStopSignal::EndsProgram ? SA_RESETHAND : 0;
    sigaction(SIGINT, &sa, &old_int_);
    sigaction(SIGTERM, &sa, &old_term_);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
    // The stop belonged to this scope: a check_stop() after it must not see it.
    g_stop_signal = 0;
}

int stop_signal() { return g_stop_signal; }

void check_stop() {
    if (const int signal = g_stop_signal) throw StopRequested{signal};
}

HoldStopSignals::HoldStopSignals() {
    const sigset_t set = stop_set();
    sigprocmask(SIG_BLOCK, &set, &old_);
}

HoldStopSignals::~HoldStopSignals() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

const char* stop_signal_name(int signal) {
    if (signal == SIGINT) return "SIGINT";
    if (signal == SIGTERM) return "SIGTERM";
    return "a signal";
}

}  // namespace tlvx
