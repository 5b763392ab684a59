// Every subcommand's failures reach the user as one line and exit status 1.
#include "tools/guarded.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "base/error.hpp"
#include "formats/png_writer.hpp"
#include "tools/picture_files.hpp"

namespace tlvx::test {
namespace {

TEST(Guarded, EachKindOfFailureBecomesOneLineAndStatus1) {
    struct Case {
        std::function<int()> body;
        int exit_code;
        std::string line;
    };
    const Case cases[] = {
        {[] { return 0; }, 0, ""},
        {[] { return 3; }, 3, ""},
        {[]() -> int { throw tools::ToolError("cannot write x"); }, 1, "tlvx-tool cmd: cannot write x\n"},
        {[]() -> int { throw PngError("cannot write PNG \"a.png\": full"); }, 1,
         "tlvx-tool cmd: cannot write PNG \"a.png\": full\n"},
        // A runtime error keeps its number and place.
        {[]() -> int { throw RuntimeError(ERR_FILE_NOT_FOUND, "while opening \"w.txt\""); }, 1,
         "tlvx-tool cmd: runtime error 2 (file not found) while opening \"w.txt\"\n"},
        {[]() -> int { throw std::length_error("too long"); }, 1, "tlvx-tool cmd: failed: too long\n"},
    };
    for (const Case& c : cases) {
        int exit_code = -1;
        testing::internal::CaptureStderr();
        tools::guarded("cmd", exit_code, c.body);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
        EXPECT_EQ(exit_code, c.exit_code);
    }
}

}  // namespace
}  // namespace tlvx::test
