// The world archive reader and the page's Open: any bytes as an uploaded
// archive are refused with one line, or give files the writer can store; what
// the page opens downloads again as an archive that opens to the same files.
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "world/open_world.hpp"
#include "world/picture_files.hpp"
#include "world/world_archive.hpp"

using namespace tlvx::world;
using tlvx::fuzz::check;

namespace {

bool one_line(const ToolError& e) {
    const std::string m = e.what();
    return !m.empty() && m.find('\n') == std::string::npos && m.find('\r') == std::string::npos;
}

bool same(const std::vector<WorldFile>& a, const std::vector<WorldFile>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].bytes != b[i].bytes) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(tlvx::fuzz::as_text(data, size));
    std::vector<WorldFile> files;
    try {
        files = read_world_archive(bytes);
    } catch (const ToolError& e) {
        check(one_line(e), "a refused archive gets one line");
        return 0;
    }
    check(!files.empty() && files.size() <= kArchiveMaxFiles, "an archive read holds 1 to the most files");
    size_t total = 0;
    for (const WorldFile& f : files) {
        check(archive_can_hold(f.name), "every name read can be written again");
        total += f.bytes.size();
    }
    check(total <= kArchiveMaxBytes, "the files read are no larger than an archive may hold");
    const std::string again = write_world_archive(files);
    check(same(read_world_archive(again), files), "what was read is written and read back the same");
    // The page's Open: the same archive, checked as `info` checks a world.
    std::vector<WorldFile> opened;
    try {
        opened = open_world({{"world.tar", bytes}}, tlvx::fuzz::scratch_dir() + "/check");
    } catch (const ToolError& e) {
        check(one_line(e), "a world that does not open gets one line");
        return 0;
    }
    check(same(opened, files), "the page opens the files the archive holds");
    check(same(open_world({{"world.tar", write_world_archive(opened)}}, tlvx::fuzz::scratch_dir() + "/check"), opened),
          "a world opened downloads and opens again to the same files");
    return 0;
}
