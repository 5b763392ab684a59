#include "tools/guarded.hpp"

#include <iostream>
#include <new>
#include <optional>
#include <string>

#include "base/error.hpp"
#include "base/stop_signal.hpp"
#include "formats/png_writer.hpp"
#include "world/paths.hpp"
#include "world/picture_files.hpp"

namespace tlvx::tools {

namespace {

// The one line of a stopped command; returns its exit status. `finished`:
// the signal came while the finished files were being put in place, so they
// are complete; otherwise nothing was changed.
int report_stop(const std::string& prefix, int signal, bool finished) {
    // A write to standard error that the signal cut short (a stalled
    // terminal or pipe) left the stream failed; the one line is still due.
    std::cerr.clear();
    std::cerr << prefix << "stopped by " << stop_signal_name(signal)
              << (finished ? " after its files were complete and in place"
                           : "; nothing was changed and the temporary files of this run are removed")
              << "\n";
    return 128 + signal;
}

}  // namespace

void guarded(const char* command, int& exit_code, const std::function<int()>& body, StopSignalsCaught stop) {
    // Messages carry names from the command line and the data files: printed
    // escaped, so that none can break the one line.
    const std::string prefix = std::string("tlvx-tool ") + command + ": ";
    std::optional<StopSignals> stop_signals;
    if (stop == StopSignalsCaught::Yes) stop_signals.emplace();
    try {
        exit_code = body();
        if (const int signal = stop_signal(); stop_signals && signal != 0)
            exit_code = report_stop(prefix, signal, true);
        return;
    } catch (const StopRequested& e) {
        exit_code = report_stop(prefix, e.signal, false);
        return;
    } catch (const world::ToolError& e) {
        std::cerr << prefix << printable(e.what()) << "\n";
    } catch (const PngError& e) {
        std::cerr << prefix << printable(e.what()) << "\n";
    } catch (const RuntimeError& e) {
        std::cerr << prefix << printable(describe(e)) << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << prefix << "out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << prefix << "failed: " << printable(e.what()) << "\n";
    }
    exit_code = 1;
}

}  // namespace tlvx::tools
