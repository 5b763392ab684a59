#pragma once
// Stopping a tool with SIGINT or SIGTERM without leaving anything behind.
//
// The handler only records the signal. The tools' long loops call
// check_stop() between steps; it throws StopRequested, which unwinds through
// the destructors that remove this run's temporary files, up to the command
// wrapper that prints one line and exits with 128 + the signal number.
#include <signal.h>

namespace tlvx::tools {

// Thrown by check_stop(). Deliberately not a std::exception, so that no
// handler meant for failures (which may turn them into other errors) can
// swallow it on the way up.
struct StopRequested {
    int signal = 0;
};

// Installs the recording handler for SIGINT and SIGTERM for its lifetime and
// puts the previous handlers back afterwards.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction old_int_ {}, old_term_ {};
};

// The signal that arrived since the handler was installed, or 0.
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

// Prints the one line that says `command` was stopped by `signal` on
// standard error and returns the exit status, 128 + the signal number.
// `finished`: the signal came while the finished files were being put in
// place, so they are complete; otherwise nothing was changed.
int report_stop(const char* command, int signal, bool finished);

}  // namespace tlvx::tools
