// Every subcommand's failures reach the user as one line and exit status 1.
#include "tools/guarded.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <new>
#include <stdexcept>

#include "base/error.hpp"
#include "base/stop_signal.hpp"
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
        // A stop that unwound the body: nothing was put in place.
        {[]() -> int { throw StopRequested{SIGTERM}; }, 143,
         "tlvx-tool cmd: stopped by SIGTERM; nothing was changed and the temporary files of this run are removed\n"},
        // Names from files or the command line cannot break the line.
        {[]() -> int { throw tools::ToolError("cannot read a\nb\x01"); }, 1, "tlvx-tool cmd: cannot read a\\nb\\x01\n"},
        {[]() -> int { throw std::bad_alloc(); }, 1, "tlvx-tool cmd: out of memory\n"},
    };
    for (const Case& c : cases) {
        int exit_code = -1;
        testing::internal::CaptureStderr();
        tools::guarded("cmd", exit_code, c.body);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
        EXPECT_EQ(exit_code, c.exit_code);
    }
}

// With the stop signals caught, a signal is recorded instead of ending the
// process: a body that looks for it unwinds, one that finished anyway still
// reports the stop; afterwards the signals end the process again as before.
TEST(Guarded, CaughtStopSignalsEndTheCommandWithOneLineAnd128PlusTheSignal) {
    struct Case {
        std::function<int()> body;
        int exit_code;
        std::string line;
    };
    const Case cases[] = {
        {[]() -> int {
             std::raise(SIGINT);
             check_stop();
             return 0;
         },
         130,
         "tlvx-tool cmd: stopped by SIGINT; nothing was changed and the temporary files of this run are removed\n"},
        {[]() -> int {
             std::raise(SIGTERM);
             return 0;
         },
         143, "tlvx-tool cmd: stopped by SIGTERM after its files were complete and in place\n"},
        {[]() -> int { throw tools::ToolError("cannot write x"); }, 1, "tlvx-tool cmd: cannot write x\n"},
        {[] { return 0; }, 0, ""},
    };
    struct sigaction before {};
    sigaction(SIGINT, nullptr, &before);
    for (const Case& c : cases) {
        int exit_code = -1;
        testing::internal::CaptureStderr();
        tools::guarded("cmd", exit_code, c.body, tools::StopSignalsCaught::Yes);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
        EXPECT_EQ(exit_code, c.exit_code);
        struct sigaction now {};
        sigaction(SIGINT, nullptr, &now);
        EXPECT_EQ(now.sa_handler, before.sa_handler);
    }
}

}  // namespace
}  // namespace tlvx::test
