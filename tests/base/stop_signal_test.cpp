#include "base/stop_signal.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include "support/test_support.hpp"

namespace tlvx::test {
namespace {

// mended: a call that waits when the stop signal comes returns instead of
// being resumed, so a program stopped while it waits (here: on the open of a
// FIFO nobody writes to) ends within a second. Before, the open went on
// waiting after the handler ran, and the program with it.
TEST(StopSignals, AWaitingCallEndsWhenTheSignalComes) {
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const int signal : {SIGINT, SIGTERM}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const StopSignals caught;
            const int fd = ::open(fifo.c_str(), O_RDONLY);  // waits for a writer
            ::_exit(fd < 0 && errno == EINTR && stop_signal() == signal ? 0 : 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the child is waiting by now
        const auto sent = std::chrono::steady_clock::now();
        ::kill(pid, signal);
        int st = 0;
        while (::waitpid(pid, &st, WNOHANG) == 0 && std::chrono::steady_clock::now() - sent < std::chrono::seconds(2))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const bool ended = std::chrono::steady_clock::now() - sent < std::chrono::seconds(1);
        if (!ended) ::kill(pid, SIGKILL), ::waitpid(pid, &st, 0);
        EXPECT_TRUE(ended) << stop_signal_name(signal) << ": still waiting a second after the signal";
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << stop_signal_name(signal);
    }
}

}  // namespace
}  // namespace tlvx::test
