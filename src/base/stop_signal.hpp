#pragma once
// Stopping a program that writes files with SIGINT or SIGTERM without leaving
// anything behind.
//
// The handler only records the signal. Long loops call check_stop() between
// steps; it throws StopRequested, which unwinds through the destructors that
// remove the run's temporary files (AtomicFile, AtomicFileSet) up to the
// caller that reports the stop and exits with 128 + the signal number.
#include <signal.h>

namespace tlvx {

// Thrown by check_stop(). Deliberately not a std::exception, so that no
// handler meant for failures (which may turn them into other errors) can
// swallow it on the way up.
struct StopRequested {
    int signal = 0;
};

// What a second stop signal does: recorded like the first, or ending the
// program at once (the window: in case the game cannot get to its next key
// poll to take the first).
enum class SecondStopSignal { Recorded, EndsProgram };

// Installs the recording handler for SIGINT and SIGTERM for its lifetime and
// puts the previous handlers back afterwards.
class StopSignals {
public:
    explicit StopSignals(SecondStopSignal second = SecondStopSignal::Recorded);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction old_int_ {
    }, old_term_{};
};

// The signal that arrived while the handler is installed, or 0.
int stop_signal();
// Throws StopRequested when a signal arrived.
void check_stop();

// Holds SIGINT and SIGTERM back for its lifetime: a step that must not be cut
// in two (renaming a set of finished files into place) runs inside one; a
// signal sent meanwhile is recorded when the hold ends.
class HoldStopSignals {
public:
    HoldStopSignals();
    ~HoldStopSignals();
    HoldStopSignals(const HoldStopSignals&) = delete;
    HoldStopSignals& operator=(const HoldStopSignals&) = delete;

private:
    sigset_t old_{};
};

// "SIGINT", "SIGTERM" or "a signal".
const char* stop_signal_name(int signal);

}  // namespace tlvx
