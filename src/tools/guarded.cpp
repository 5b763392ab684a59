#include "tools/guarded.hpp"

#include <iostream>
#include <new>

#include "base/error.hpp"
#include "formats/png_writer.hpp"
#include "tools/picture_files.hpp"

namespace tlvx::tools {

void guarded(const char* command, int& exit_code, const std::function<int()>& body) {
    try {
        exit_code = body();
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
