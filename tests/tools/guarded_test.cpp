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
#include "world/picture_files.hpp"

namespace tlvx::test {
namespace {

// With the stop signals caught, a signal is recorded instead of ending the
// process: a body that looks for it unwinds, one that finished anyway still
// reports the stop; afterwards the signals end the process again as before.
TEST(Guarded, EachKindOfFailureBecomesOneLineAndItsStatus) {
    const std::string stopped = " nothing was changed and the temporary files of this run are removed";
    const struct {
        bool caught;
        std::function<int()> body;
        int exit_code;
        std::string line;  // after "tlvx-tool cmd: "; none when empty
    } cases[] = {
        {false, [] { return 3; }, 3, ""},
        {false, []() -> int { throw PngError("cannot write PNG \"a.png\": full"); }, 1,
         "cannot write PNG \"a.png\": full"},
        // A runtime error keeps its number and place.
        {false, []() -> int { throw RuntimeError(ERR_FILE_NOT_FOUND, "while opening \"w.txt\""); }, 1,
         "runtime error 2 (file not found) while opening \"w.txt\""},
        {false, []() -> int { throw std::length_error("too long"); }, 1, "failed: too long"},
        {false, []() -> int { throw std::bad_alloc(); }, 1, "out of memory"},
        // Names from files or the command line cannot break the line.
        {false, []() -> int { throw world::ToolError("cannot read a\nb\x01"); }, 1, "cannot read a\\nb\\x01"},
        // A stop that unwound the body: nothing was put in place.
        {false, []() -> int { throw StopRequested{SIGTERM}; }, 143, "stopped by SIGTERM;" + stopped},
        {true, [] { return std::raise(SIGINT), check_stop(), 0; }, 130, "stopped by SIGINT;" + stopped},
        {true, [] { return std::raise(SIGTERM), 0; }, 143,
         "stopped by SIGTERM after its files were complete and in place"},
        // The stop of the run before is forgotten.
        {true, []() -> int { throw world::ToolError("cannot write x"); }, 1, "cannot write x"},
    };
    struct sigaction before {};
    sigaction(SIGINT, nullptr, &before);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        int exit_code = -1;
        testing::internal::CaptureStderr();
        tools::guarded("cmd", exit_code, c.body,
                       c.caught ? tools::StopSignalsCaught::Yes : tools::StopSignalsCaught::No);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line.empty() ? "" : "tlvx-tool cmd: " + c.line + "\n");
        EXPECT_EQ(exit_code, c.exit_code);
        struct sigaction now {};
        sigaction(SIGINT, nullptr, &now);
        EXPECT_EQ(now.sa_handler, before.sa_handler);
        // Nor does a stop outlive its guard.
        EXPECT_NO_THROW(check_stop());
    }
}

}  // namespace
}  // namespace tlvx::test
