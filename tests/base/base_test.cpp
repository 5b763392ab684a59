// The base layer: the atomic writer, stop signals, opening files, checked
// tables and the runtime error report.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "base/atomic_file.hpp"
#include "base/checked.hpp"
#include "base/error.hpp"
#include "base/files.hpp"
#include "base/input_file.hpp"
#include "base/printable.hpp"
#include "base/stop_signal.hpp"
#include "data/data_helpers.hpp"

namespace tlvx::test {
namespace {

namespace fs = std::filesystem;

// Until the commit the old file is untouched and the temporary sits beside it;
// then the file is replaced whole, keeping its permissions, and nothing else remains.
// A discarded file never commits. Two files open at once in one folder: writes at offsets,
// and many small and large ones, each arrive in their own file.
TEST(AtomicFile, CommitReplacesTheTargetWholeAndADiscardOrAFailureLeavesNoTemporary) {
    TempDir dir;
    const std::string path = dir.file("world.txt"), old = "old content that is longer than the new one";
    write_file(path, old);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    AtomicFile f, layer, big;
    ASSERT_TRUE(f.open(path) && f.write("new ") && f.write("content") && f.finish()) << f.error();
    EXPECT_EQ(read_file(path), old);
    EXPECT_EQ(folder_of(f.temp_path()) + folder_of("name"), dir.path() + ".");
    ASSERT_TRUE(f.commit()) << f.error();
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0, 0640u);
    ASSERT_TRUE(f.open(path) && f.write("half") && f.finish());
    f.discard();
    EXPECT_FALSE(f.commit());
    EXPECT_EQ(read_file(path), "new content");
    ASSERT_TRUE(layer.open(dir.file("layer")) && big.open(dir.file("big")));
    ASSERT_TRUE(layer.set_length(8) && layer.write_at(5, "xy", 2) && layer.write("ab"));  // appends from the start
    std::string expect;
    for (int i = 0; i < 3000; ++i) {  // small pieces and some larger than any buffer
        const std::string piece = std::to_string(i) + (i % 1000 == 0 ? std::string(70000, 'x') : ",");
        ASSERT_TRUE(big.write(piece));
        expect += piece;
    }
    ASSERT_TRUE(layer.commit() && big.commit());
    EXPECT_EQ(read_file(dir.file("layer")), std::string("ab\0\0\0xy\0", 8));
    EXPECT_EQ(read_file(dir.file("big")), expect);
    // Failures name the target and the reason. A folder in the way of the rename: the temporary is removed,
    // the folder stays.
    AtomicFile none, blocked;
    EXPECT_FALSE(none.open(dir.file("missing-folder/file")));
    EXPECT_NE(none.error().find("missing-folder/file"), std::string::npos) << none.error();
    fs::create_directories(dir.file("blocked/inside"));
    ASSERT_TRUE(blocked.open(dir.file("blocked")) && blocked.write("x"));
    EXPECT_FALSE(blocked.commit());
    EXPECT_NE(blocked.error().find("cannot replace " + dir.file("blocked")), std::string::npos) << blocked.error();
    EXPECT_TRUE(fs::is_directory(dir.file("blocked/inside")));
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"big", "blocked", "layer", "world.txt"}));
}

// A set of two files, one replacing an old file, one new in another folder, committed or
// dropped; a set the stop signal came before changes nothing, just like a dropped one.
// A signal that comes while the renames run is held back until they are all done.
TEST(AtomicFileSet, CommitPutsAllInPlaceAndADroppedOrStoppedSetLeavesNothing) {
    const StopSignals handler;
    for (const std::string end : {"commit", "drop", "stop"}) {
        SCOPED_TRACE(end);
        TempDir dir;
        write_file(dir.file("old.txt"), "old");
        fs::create_directory(dir.file("sub"));
        {
            AtomicFileSet set;
            for (const std::string& p : {dir.file("old.txt"), dir.file("sub/new.txt")}) {
                AtomicFile* f = set.add(p);
                ASSERT_TRUE(f && f->write("new " + p.substr(p.size() - 7))) << set.error();
            }
            if (end == "stop") {
                std::raise(SIGTERM);
                EXPECT_THROW((void)set.commit(), StopRequested);
            }
            EXPECT_TRUE(end != "commit" || set.commit());
        }
        const bool committed = end == "commit";
        EXPECT_EQ(read_file(dir.file("old.txt")), committed ? "new old.txt" : "old");
        EXPECT_EQ(names_in(dir.file("sub")), committed ? std::set<std::string>{"new.txt"} : std::set<std::string>{});
        EXPECT_EQ(file_exists(dir.file("sub/new.txt")) ? read_file(dir.file("sub/new.txt")) : "",
                  committed ? "new new.txt" : "");
        EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"old.txt", "sub"}));
    }
    const StopSignals fresh;  // clears the recorded signal
    {
        const HoldStopSignals hold;
        std::raise(SIGINT);
        EXPECT_NO_THROW(check_stop());
    }
    EXPECT_THROW(check_stop(), StopRequested);
}

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

// The window asks for a quit on the first stop signal and lets the same
// signal again end the program at once, in case the game never gets to its next key poll;
// the tools record every signal.
TEST(StopSignals, ASecondSignalEndsTheProgramOnlyWhenAskedTo) {
    for (const SecondStopSignal second : {SecondStopSignal::Recorded, SecondStopSignal::EndsProgram}) {
        const int st = child_status([&] {
            const StopSignals caught(second);
            ::raise(SIGINT);
            if (stop_signal() != SIGINT) return 1;
            ::raise(SIGINT);
            return stop_signal() == SIGINT ? 0 : 2;
        });
        if (second == SecondStopSignal::Recorded) EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
        else EXPECT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGINT) << st;
    }
}

TEST(CheckedTable, IndexOutsideTheBoundsIsError6NamingTableAndIndex) {
    Table<int, -3, 3> t("GR");
    t(-3) = 1, t(3) = 2;
    EXPECT_EQ(t(-3) + t(3), 3);
    for (int64_t bad : {int64_t{-4}, int64_t{4}, int64_t{1} << 40}) {
        const Caught c = catch_error([&] { (void)t(bad); });
        EXPECT_EQ(std::pair(c.number, c.place),
                  std::pair(int32_t{ERR_OUT_OF_BOUNDS}, "indexing GR with " + std::to_string(bad)));
    }
}

// mended: a picture name from a world's tile table holding terminal controls
// (retitle, clear the screen) or a NUL reached the terminal raw in the report
// of tlvx and tlvx-tool run. The report's words and every ordinary name keep
// their bytes.
TEST(ErrorReport, NamesFromTheWorldReachTheTerminalEscapedAndTheWordsUnchanged) {
    const std::string hostile = std::string("x\x1B]2;pwned\x07\x1B[2J") + '\0' + "y.bmp";
    const std::string report =
        error_report(RuntimeError(ERR_FILE_NOT_FOUND, "while loading picture \"" + hostile + "\""));
    EXPECT_EQ(report.find_first_of(std::string("\x1B\x07\0", 3)), std::string::npos);
    EXPECT_EQ(report,
              "\nAborting due to runtime error 2 (file not found) while loading picture "
              "\"x\\x1B]2;pwned\\x07\\x1B[2J\\x00y.bmp\"\n\n");
    EXPECT_EQ(error_report(RuntimeError(ERR_FILE_IO, "while reading picture \"grass_01.pcv\" (caf\xC3\xA9 ok)")),
              "\nAborting due to runtime error 3 (file I/O error) while reading picture \"grass_01.pcv\" "
              "(caf\xC3\xA9 ok)\n\n");
    EXPECT_EQ(error_report(RuntimeError(ERR_OUT_OF_MEMORY, "")),
              "\nAborting due to runtime error 4 (out of memory)\n\n");
    // UTF-8 stays as it is; a C1 control (CSI, U+009B), a stray or cut-off byte, an overlong
    // form and a surrogate are escaped byte by byte, and escaping again changes nothing.
    struct Case {
        std::string name, shown;
    };
    for (const Case& c : {Case{"T\xC3\xA1l \xE2\x82\xAC \xF0\x9F\x8C\xB3", "T\xC3\xA1l \xE2\x82\xAC \xF0\x9F\x8C\xB3"},
                          Case{"a\xC2\x9B"
                               "2Jb",
                               "a\\xC2\\x9B2Jb"},
                          Case{"\x80\xFF", "\\x80\\xFF"}, Case{"x\xE2\x82", "x\\xE2\\x82"},
                          Case{"\xC0\xAF", "\\xC0\\xAF"}, Case{"\xED\xA0\x80", "\\xED\\xA0\\x80"}}) {
        EXPECT_EQ(printable(c.name), c.shown);
        EXPECT_EQ(printable(c.shown), c.shown);
    }
}

// mended: a name holding a NUL byte would open the shorter name before it;
// it is refused like a name that cannot be opened, in every mode. mended: text
// input is read whole; a file larger than any world's (sparse: it costs no
// disk) is refused before a byte of it is read, runtime error 3 naming it and
// its size. A file of exactly the bound is read.
TEST(OpenFile, NameWithANulByteOrTextInputOverTheBoundIsRefusedBeforeAnythingIsRead) {
    TempDir dir;
    write_file(dir.path() + "/a", "kept");
    const std::string name("a\0b", 3);
    for (FileMode mode : {FileMode::TextInput, FileMode::TextOutput, FileMode::Binary}) {
        EXPECT_EQ(catch_error([&] { (void)open_file(name, dir.path() + "/" + name, mode); }).number, ERR_FILE_NOT_FOUND)
            << static_cast<int>(mode);
    }
    EXPECT_EQ(read_file(dir.path() + "/a"), "kept");
    EXPECT_EQ(entries(dir.path()), 1u);
    const std::string path = dir.path() + "/Pndx_001.sav";
    write_file(path, "");
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kMaxTextFileBytes + 1)), 0);
    const Caught c = catch_error([&] { (void)open_file("Pndx_001.sav", path, FileMode::TextInput); });
    EXPECT_EQ(
        std::pair(c.number, c.place),
        std::pair(
            int32_t{ERR_FILE_IO},
            std::string("while reading \"Pndx_001.sav\": it is 4194305 bytes, over the 4194304 a text file may hold")));
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kMaxTextFileBytes)), 0);
    EXPECT_EQ(open_file("Pndx_001.sav", path, FileMode::TextInput)->text.size(), size_t(kMaxTextFileBytes));
}

// An unnamed pipe (a shell's `<(...)`) is read to its end within the bound;
// one that sends more, or stays silent, is given up with one reason; a named
// FIFO is refused at once.
TEST(ReadInputFile, AnUnnamedPipeIsReadWithinItsBoundAndItsSilenceAFifoNever) {
    auto through_pipe = [](const std::string& bytes, bool close_it, size_t max) {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        if (close_it) ::close(fds[1]);
        const InputBytes got =
            read_input_file("/dev/fd/" + std::to_string(fds[0]), max, InputLinks::Follow, InputPipes::Unnamed, 100);
        ::close(fds[0]);
        if (!close_it) ::close(fds[1]);
        return got;
    };
    const InputBytes whole = through_pipe("1 h\n", true, 16);
    EXPECT_TRUE(whole.ok && whole.bytes == "1 h\n") << whole.why;
    EXPECT_EQ(through_pipe(std::string(17, 'x'), true, 16).why, "is larger than 16 bytes");
    EXPECT_EQ(through_pipe("1 h\n", false, 16).why, "is a pipe that sent nothing for 0 seconds");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    EXPECT_EQ(read_input_file("/dev/fd/" + std::to_string(fds[0]), 16, InputLinks::Follow).why,
              "is a FIFO (a named pipe), not a file");
    ::close(fds[0]);
    ::close(fds[1]);
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("f").c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read_input_file(dir.file("f"), 16, InputLinks::Follow, InputPipes::Unnamed).why,
              "is a FIFO (a named pipe), not a file");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
}

}  // namespace
}  // namespace tlvx::test
