#include "tools/guarded.hpp"

#include <iostream>
#include <string>
#include <new>

#include "base/error.hpp"
#include "formats/png_writer.hpp"
#include "tools/paths.hpp"
#include "tools/picture_files.hpp"

namespace tlvx::tools {

void guarded(const char* command, int& exit_code, const std::function<int()>& body) {
    // Messages carry names from the command line and the data files: printed
    // escaped, so that none can break the one line.
    const std::string prefix = std::string("tlvx-tool ") + command + ": ";
    try {
        exit_code = body();
        return;
    } catch (const ToolError& e) {
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
