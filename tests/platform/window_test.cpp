// The game in a real window: tlvx started under a private Xvfb server in a
// fixture world, driven with xdotool.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/sdl/picture_rect.hpp"
#include "support/test_support.hpp"

using namespace tlvx;
using namespace std::chrono_literals;

TEST(WindowScaling, LargestWholeFactorLetterboxed) {
    EXPECT_EQ(picture_rect(960, 600, false), (PictureRect{0, 0, 960, 600}));
    EXPECT_EQ(picture_rect(1000, 700, false), (PictureRect{20, 50, 960, 600}));
    EXPECT_EQ(picture_rect(1920, 1080, false), (PictureRect{160, 40, 1600, 1000}));  // 5x
    EXPECT_EQ(picture_rect(959, 600, false), (PictureRect{(959 - 640) / 2, 100, 640, 400}));
    // 4:3: 320x240 logical, so 960x600 only fits twice.
    EXPECT_EQ(picture_rect(960, 720, true), (PictureRect{0, 0, 960, 720}));
    EXPECT_EQ(picture_rect(960, 600, true), (PictureRect{160, 60, 640, 480}));
    // Smaller than one picture: shrunk to fit, aspect kept.
    EXPECT_EQ(picture_rect(160, 200, false), (PictureRect{0, 50, 160, 100}));

    EXPECT_EQ(start_scale(1920, 1050), 3);
    EXPECT_EQ(start_scale(960, 600), 3);
    EXPECT_EQ(start_scale(800, 560), 2);
    EXPECT_EQ(start_scale(300, 150), 1);
}

#ifdef TLVX_GAME
namespace {

using Env = std::map<std::string, std::optional<std::string>>;  // nullopt: unset

// A child process, killed on destruction if it is still running.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& cwd, const Env& env, int out_fd, int err_fd,
          int keep_fd = -1) {
        pid_ = fork();
        if (pid_ == 0) {
            if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
            for (const auto& [k, v] : env) v ? setenv(k.c_str(), v->c_str(), 1) : unsetenv(k.c_str());
            int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 0);
            dup2(out_fd >= 0 ? out_fd : devnull, 1);
            dup2(err_fd >= 0 ? err_fd : devnull, 2);
            for (int fd = 3; fd < 256; ++fd)
                if (fd != keep_fd) close(fd);
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    // The exit status once the process ended within `limit`; -1 if killed by a signal.
    std::optional<int> wait_for(std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!status_) {
            int st = 0;
            if (waitpid(pid_, &st, WNOHANG) == pid_) {
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() > end) break;
            std::this_thread::sleep_for(20ms);
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

bool on_path(const char* program) {
    std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// A private X server; the display name is empty when it did not start.
class Xvfb {
public:
    Xvfb() {
        int fds[2];
        if (pipe(fds) != 0) return;
        server_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                                 "1280x1024x24", "-nolisten", "tcp"},
                        "", Env{}, -1, -1, fds[1]);
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) display_ = ":" + number;
    }
    ~Xvfb() {
        if (server_) kill(server_->pid(), SIGTERM);
        if (server_) server_->wait_for(5s);
    }
    const std::string& display() const { return display_; }

private:
    std::optional<Child> server_;
    std::string display_;
};

// Runs xdotool on `display`; returns its standard output.
std::string xdotool(const std::string& display, const std::vector<std::string>& args) {
    test::TempDir out_dir;
    std::string out_path = out_dir.file("out");
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    {
        Child c(argv, "", Env{{"DISPLAY", display}}, out, -1);
        close(out);
        c.wait_for(10s);
    }
    return test::read_file(out_path);
}

// The game on X display `display`. Leak reports of sanitizer builds would come
// from the X and SDL libraries and change the exit status, so they are off.
Env game_env(const std::string& display) {
    return {{"DISPLAY", display}, {"SDL_VIDEODRIVER", "x11"}, {"WAYLAND_DISPLAY", std::nullopt},
            {"ASAN_OPTIONS", "detect_leaks=0"}};
}

// The integer fields of a save file, by 1-based field number.
int save_field(const std::string& save, int field) {
    std::istringstream in(save);
    std::string line;
    for (int i = 0; i < field; ++i) std::getline(in, line);
    return std::stoi(line);
}

class GameWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!on_path("Xvfb") || !on_path("xdotool")) GTEST_SKIP() << "Xvfb and xdotool are needed";
        xvfb_.emplace();
        ASSERT_FALSE(xvfb_->display().empty()) << "Xvfb did not start";
        test::FixtureWorld world;
        world.write(data_.path());
    }

    // Starts the game and waits until its window is on the screen.
    void start_game() {
        int err = open(logs_.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        game_.emplace(std::vector<std::string>{TLVX_GAME}, data_.path(),
                      game_env(xvfb_->display()),
                      -1, err);
        close(err);
        auto end = std::chrono::steady_clock::now() + 20s;
        while (window_.empty() && std::chrono::steady_clock::now() < end) {
            ASSERT_FALSE(game_->wait_for(0ms)) << "the game ended early: " << game_log();
            std::istringstream ids(xdotool(xvfb_->display(), {"search", "--onlyvisible", "--name", "^tlvx$"}));
            ids >> window_;
            if (window_.empty()) std::this_thread::sleep_for(100ms);
        }
        ASSERT_FALSE(window_.empty()) << "no window appeared: " << game_log();
        xdotool(xvfb_->display(), {"windowfocus", window_});
        std::this_thread::sleep_for(300ms);
    }
    void keys(const std::vector<std::string>& names) {
        std::vector<std::string> args = {"key", "--delay", "60"};
        args.insert(args.end(), names.begin(), names.end());
        xdotool(xvfb_->display(), args);
    }
    std::string game_log() { return test::read_file(logs_.file("stderr")); }
    std::string save() { return test::read_file(data_.file("Pndx_001.sav")); }

    test::TempDir data_, logs_;
    std::optional<Xvfb> xvfb_;
    std::optional<Child> game_;
    std::string window_;
};

}  // namespace

TEST_F(GameWindow, TypedKeysMoveThePlayerAndEscapeSaves) {
    start_game();
    if (HasFatalFailure()) return;
    keys({"h", "h", "F11", "alt+Return", "alt+Return", "F11", "F12", "y", "Escape"});
    auto status = game_->wait_for(20s);
    ASSERT_TRUE(status) << "the game did not end after Escape: " << game_log();
    EXPECT_EQ(*status, 0) << game_log();
    // Two steps right, one up; the window's own keys reached nothing.
    std::string saved = save();
    EXPECT_EQ(save_field(saved, 2), 12) << saved;
    EXPECT_EQ(save_field(saved, 3), 7) << saved;
    EXPECT_EQ(save_field(saved, 4), 1) << saved;

    // F12 left one screenshot of the view in the data directory.
    std::vector<std::string> shots;
    for (const auto& e : std::filesystem::directory_iterator(data_.path()))
        if (e.path().filename().string().rfind("tlvx-shot-", 0) == 0) shots.push_back(e.path().string());
    ASSERT_EQ(shots.size(), 1u) << game_log();
    std::string png = test::read_file(shots[0]);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    auto be32 = [&png](size_t at) {
        return (static_cast<uint8_t>(png[at]) << 24) | (static_cast<uint8_t>(png[at + 1]) << 16) |
               (static_cast<uint8_t>(png[at + 2]) << 8) | static_cast<uint8_t>(png[at + 3]);
    };
    EXPECT_EQ(be32(16), 320);
    EXPECT_EQ(be32(20), 200);
}

TEST_F(GameWindow, SigtermQuitsLikeEscape) {
    start_game();
    if (HasFatalFailure()) return;
    keys({"g"});
    std::this_thread::sleep_for(700ms);
    kill(game_->pid(), SIGTERM);
    auto status = game_->wait_for(20s);
    ASSERT_TRUE(status) << "the game did not end after SIGTERM: " << game_log();
    EXPECT_EQ(*status, 0) << game_log();
    EXPECT_EQ(save_field(save(), 2), 9) << save();
}

TEST(GameWithoutDisplay, ReportsNoDisplayFound) {
    test::TempDir data, logs;
    test::FixtureWorld().write(data.path());
    std::string before = test::read_file(data.file("Pndx_001.sav"));
    int err = open(logs.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Child game({TLVX_GAME}, data.path(),
               game_env(":4999"), -1, err);
    close(err);
    auto status = game.wait_for(20s);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 1);
    std::string report = test::read_file(logs.file("stderr"));
    EXPECT_NE(report.find("Aborting due to runtime error 1 (illegal function call)"), std::string::npos) << report;
    EXPECT_NE(report.find("no display found"), std::string::npos) << report;
    // Nothing was loaded or saved.
    EXPECT_EQ(test::read_file(data.file("Pndx_001.sav")), before);
}
#endif
