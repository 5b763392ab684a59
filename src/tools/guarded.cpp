#include "tools/guarded.hpp"

#include <iostream>
#include <new>
#include <optional>

#include "base/error.hpp"
#include "base/stop_signal.hpp"
#include "formats/png_writer.hpp"
#include "tools/picture_files.hpp"

namespace tlvx::tools {

namespace {

// The one line of a stopped command; returns its exit status. `finished`:
// the signal came while the finished files were being put in place, so they
// are complete; otherwise nothing was changed.
int report_stop(const char* command, int signal, bool finished) {
    std::cerr << "tlvx-tool " << command << ": stopped by " << stop_signal_name(signal)
              << (finished ? " after its files were complete and in place"
                           : "; nothing was changed and the temporary files of this run are removed")
              << "\n";
    return 128 + signal;
}

}  // namespace

void guarded(const char* command, int& exit_code, const std::function<int()>& body, StopSignalsCaught stop) {
    std::optional<StopSignals> stop_signals;
    if (stop == StopSignalsCaught::Yes) stop_signals.emplace();
    try {
        exit_code = body();
        if (const int signal = stop_signal(); stop_signals && signal != 0)
            exit_code = report_stop(command, signal, true);
        return;
    } catch (const StopRequested& e) {
        exit_code = report_stop(command, e.signal, false);
        return;
    } catch (const ToolError& e) {
        std::cerr << "tlvx-tool " << command << ": " << e.what() << "\n";
    } catch (const PngError& e) {
        std::cerr << "tlvx-tool " << command << ": " << e.what() << "\n";
    } catch (const RuntimeError& e) {
        std::cerr << "tlvx-tool " << command << ": " << describe(e) << "\n";
    } catch (const std::exception& e) {
        std::cerr << "tlvx-tool " << command << ": failed: " << e.what() << "\n";
    }
    exit_code = 1;
}

}  // namespace tlvx::tools
