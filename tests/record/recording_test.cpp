// The recording format, the recorder and replay platforms, the world's start
// state and its hashes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <numeric>
#include <tuple>

#include "platform/record/record_platforms.hpp"
#include "platform/record/session.hpp"
#include "platform/record/world_hash.hpp"
#include "shell/game.hpp"
#include "tools/tools_helpers.hpp"

using namespace tlvx;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kPasses = 60;

size_t open_files() {
    return static_cast<size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}));
}

// A clock with uneven steps in its low bits, like a real one, keys that
// arrive before given passes (in the pause: after 50 polls that find none),
// and a request to quit (a window closed) from a given pass on.
class UnevenPlatform : public test::FakePlatform {
public:
    std::vector<std::pair<int64_t, std::string>> keys;  // pass, key
    int64_t quit_at = 0;
    void begin_pass(int64_t p) override { pass_ = p; }
    bool quit_requested() override { return pass_ >= quit_at; }
    void poll(const Screen&, KeyQueue& q, bool paused) override {
        for (auto& [p, k] : keys)
            if (p >= 0 && (p <= pass_ || (paused && ++paused_polls_ % 50 == 0))) {
                q.push(k);
                p = -1;
                if (paused) break;
            }
    }
    double time() override {
        ++n_;
        return t_ += 0.000731 + static_cast<double>(n_ % 11) * 0.0019 + 1e-9 * static_cast<double>(n_ % 3);
    }

private:
    int64_t pass_ = 0, paused_polls_ = 0, n_ = 0;
    double t_ = 4321.123456789;
};

// The fixture world with two wandering creatures and the status display on.
void write_world(const std::string& dir) {
    test::FixtureWorld w;
    w.I = 1;
    w.objects[1].move = 4;
    w.creatures = [](int x, int y) -> uint8_t {
        return x == 10 && y == 8 ? 1 : (x == 12 && y == 8) || (x == 8 && y == 6) ? 2 : 0;
    };
    w.write(dir);
}

// VX2, VY2, D2, GC, GE, TIMD, TIMH, TIMM and the random state after a pass.
using PassState = std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t>;

// The state after each pass of a run (start-up first).
std::vector<PassState> run(Platform& p, const std::string& dir, int64_t max_passes) {
    auto s = std::make_unique<State>();
    test::init_state(*s, dir, p);
    std::vector<PassState> passes;
    s->on_pass_end = [&passes](const State& st) {
        passes.push_back({st.VX2, st.VY2, st.D2, st.GC, st.GE, st.TIMD, st.TIMH, st.TIMM, st.rnd_state});
    };
    startup(*s);
    run_loop(*s, max_passes);
    return passes;
}

// Records a session of kPasses passes (a quit at the last) on a fresh world in
// dir/rec, keeping a copy of the start in dir/start.
std::vector<PassState> record_session(const test::TempDir& dir) {
    fs::create_directory(dir.file("rec"));
    write_world(dir.file("rec"));
    fs::copy(dir.file("rec"), dir.file("start"));
    UnevenPlatform inner;
    inner.keys = {{3, "g"}, {5, "+"}, {9, "b"}, {12, "p"}, {14, "x"}, {20, "*"}, {22, std::string("\0M", 2)}};
    inner.quit_at = kPasses;
    auto writer = start_recording(dir.file("session.tlvxrec"), dir.file("rec"));
    writer->set_flush_interval(0);  // a chunk for every pass: cuts can fall anywhere
    RecordingPlatform recorder(inner, *writer);
    const std::vector<PassState> passes = run(recorder, dir.file("rec"), kPasses + 5);
    writer->finish(0);
    return passes;
}

// A file of `size` bytes, a hole but for `bytes` (offset, value).
void write_sparse(const std::string& path, off_t size, const std::vector<std::pair<long, int>>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    for (auto [at, b] : bytes) std::fseek(f, at, SEEK_SET), std::fputc(b, f);
    std::fclose(f);
    ASSERT_EQ(::truncate(path.c_str(), size), 0);
}

}  // namespace

// The seeding uses the bits of each reading: a replay on a copy of the start
// gives the same passes, the same wandering creatures and the same files.
// Every prefix of the recording (a game killed at any byte) reads without a
// crash: the header is refused, or the passes complete before the cut replay
// exactly. Damage is named, and reading stops at the last good pass.
TEST(Recording, ReplaysExactlyAndCutsAndDamageReadUpToTheLastGoodPass) {
    test::TempDir dir;
    const std::vector<PassState> recorded = record_session(dir);
    ASSERT_EQ(recorded.size(), size_t{kPasses});
    const std::string gr2 = test::read_file(dir.file("rec/tlvx_gr2.tmp")),
                      start_gr2 = test::read_file(dir.file("start/tlvx_gr2.tmp"));
    ASSERT_EQ(gr2.size(), start_gr2.size());
    ASSERT_GT(std::inner_product(gr2.begin(), gr2.end(), start_gr2.begin(), 0, std::plus<>(), std::not_equal_to<>()), 2)
        << "the creatures should have moved, not only the marker";
    const std::string whole = test::read_file(dir.file("session.tlvxrec"));
    int64_t last = 0;
    int refused = 0;
    const size_t fds_before = open_files();
    for (size_t len = 0; len <= whole.size(); len += len < 100 || len + 100 > whole.size() ? 1 : 3) {
        test::write_file(dir.file("cut"), whole.substr(0, len));
        try {
            RecordingReader r(dir.file("cut"));
            const RecordingSummary s = summarize_recording(r);
            EXPECT_GE(s.complete_passes, last) << len;
            EXPECT_FALSE(len < whole.size() && s.ended && s.complete_passes < kPasses) << len;
            last = s.complete_passes;
        } catch (const RecordingError&) {
            ++refused;
            EXPECT_EQ(last, 0) << "a longer prefix refused after a shorter one was read, at " << len;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_EQ(last, kPasses);
    EXPECT_EQ(open_files(), fds_before) << "a refused recording keeps its file open";

    // The whole recording, and one cut at two thirds, replay their complete passes exactly.
    for (const size_t len : {whole.size(), whole.size() * 2 / 3}) {
        const std::string world = dir.file("w" + std::to_string(len)), cut = dir.file("c" + std::to_string(len));
        fs::copy(dir.file("start"), world);
        test::write_file(cut, whole.substr(0, len));
        RecordingReader head(cut), reader(cut);
        const int64_t complete = summarize_recording(head).complete_passes;
        ASSERT_TRUE(complete > 0 && (complete < kPasses) == (len < whole.size())) << len << ": " << complete;
        ReplayPlatform replay(reader);
        EXPECT_TRUE(run(replay, world, complete) == std::vector(recorded.begin(), recorded.begin() + complete)) << len;
    }
    EXPECT_EQ(test::changes(test::tree(dir.file("w" + std::to_string(whole.size()))), test::tree(dir.file("rec"))), "");

    // One byte changed: in the header the file is refused, in a chunk the damage is named.
    const size_t last_chunk = whole.rfind("CK");
    ASSERT_LT(whole.size() - last_chunk, 64u) << "the last chunk is a short one";
    // Where, the new byte, what the error or the damage note says, whether the file is refused (header damage).
    const std::tuple<size_t, char, const char*, bool> cases[] = {
        {0, 'X', "not a tlvx recording", true},
        {8, 2, "format version 2", true},
        {20, static_cast<char>(whole[20] ^ 0x40), "header", true},
        {whole.size() - 3, static_cast<char>(whole[whole.size() - 3] ^ 1), "checksum", false},
        {last_chunk + 5, '\x7f', "damaged", false},  // a huge chunk length
    };
    for (const auto& [at, to, message, header] : cases) {
        SCOPED_TRACE(testing::Message() << message << " at " << at);
        std::string bad = whole;
        bad[at] = to;
        test::write_file(dir.file("bad"), bad);
        try {
            RecordingReader r(dir.file("bad"));
            ASSERT_FALSE(header);
            const RecordingSummary sum = summarize_recording(r);
            EXPECT_NE(sum.damage.find(message), std::string::npos) << sum.damage;
            EXPECT_LT(sum.complete_passes, kPasses);
        } catch (const RecordingError& e) {
            EXPECT_TRUE(header) << e.what();
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
}

// A replay that runs off its recording's course stops rather than going on
// with made-up input.
TEST(Recording, ReplayOnAnotherCourseStopsWithAMessage) {
    test::TempDir dir;
    write_world(dir.path());
    // Start-up takes four readings before the first pass; this recording has one.
    RecordingWriter w(dir.file("short"), RecordingHeader{}, {});
    w.time(1.0);
    w.begin_pass();
    w.finish(0);
    RecordingReader r(dir.file("short"));
    ReplayPlatform replay(r);
    EXPECT_THROW(run(replay, dir.path(), 5), ReplayMismatch);
}

// The recorder lets the inner platform fill the game's own queue; replaying
// what it wrote onto the same queue gives the same queue, full or not.
TEST(Recording, KeysOfAPollReplayOntoTheSameQueue) {
    test::TempDir dir;
    for (auto [waiting, pushed] : {std::pair{5, 3}, {14, 1}, {15, 1}, {3, 20}}) {
        SCOPED_TRACE(testing::Message() << waiting << " waiting, " << pushed << " pushed");
        KeyQueue live, again;
        const std::string q = dir.file("q" + std::to_string(waiting));
        for (int i = 0; i < waiting; ++i) live.push("old" + std::to_string(i)), again.push("old" + std::to_string(i));
        test::FakePlatform inner;
        for (int i = 0; i < pushed; ++i) inner.pending.push_back("k" + std::to_string(i));
        RecordingWriter w(q, RecordingHeader{}, {});
        RecordingPlatform(inner, w).poll(Screen{}, live, false);
        w.finish(0);
        RecordingReader r(q);
        ReplayPlatform(r).poll(Screen{}, again, false);
        ASSERT_EQ(again.size(), live.size());
        for (size_t i = 0; i < live.size(); ++i) EXPECT_EQ(again.at(i), live.at(i)) << i;
    }
}

// A hole hashes like the zeros it reads as; every byte, and the length, count.
// A huge sparse layer is hashed and copied without filling its holes.
TEST(WorldHash, HolesHashLikeZerosEveryByteCountsAndCopiesStaySparse) {
    test::TempDir dir;
    const std::string a = dir.file("a"), b = dir.file("b");
    write_sparse(a, 1 << 20, {{5, 7}, {(1 << 20) - 1, 9}});
    const std::string dense = test::read_file(a);  // the holes read as zeros
    int64_t sa, sb;
    uint64_t ha, hb;
    ASSERT_TRUE(hash_file(a, sa, ha));
    std::string first = dense, last = dense;
    first[0] ^= 1, last.back() ^= 1;
    for (const std::string& other : {dense, first, last, dense + '\0'}) {
        test::write_file(b, other);
        ASSERT_TRUE(hash_file(b, sb, hb));
        EXPECT_EQ(sb, static_cast<int64_t>(other.size()));
        EXPECT_EQ(ha == hb, other == dense) << other.size();
    }

    // A 65535 by 65535 layer: 4 GiB, nearly all hole.
    const off_t size = 4 + 65536LL * 65535;
    const std::string big = dir.file("tlvx_gr1.tmp"), copy = dir.file("copy");
    write_sparse(big, size, {{0, 255}, {1, 255}, {2, 255}, {3, 255}, {3'000'000'000L, 42}});
    ASSERT_TRUE(hash_file(big, sa, ha));
    copy_file_sparse(big, copy);
    ASSERT_TRUE(hash_file(copy, sb, hb));
    EXPECT_EQ(sb, size);
    EXPECT_EQ(ha, hb);
    struct stat st {};
    ASSERT_EQ(::stat(copy.c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 16 * 1024 * 1024) << "the copy filled in the holes";
}

TEST(Playback, SteeringKeysHoldAndChangeTheSpeedWithinLimits) {
    test::TempDir dir;
    RecordingWriter(dir.file("r"), RecordingHeader{}, {}).finish(0);
    RecordingReader r(dir.file("r"));
    test::FakePlatform window;
    PlaybackPlatform p(r, window);
    EXPECT_TRUE(p.steer("+", 0) && p.steer(std::string("\0H", 2), 0) && p.speed() == 4.0);
    for (int i = 0; i < 10; ++i) p.steer("+", 0);
    EXPECT_FALSE(p.steer("+", 0));
    EXPECT_EQ(p.speed(), 64.0);
    for (int i = 0; i < 20; ++i) p.steer("-", 0);
    EXPECT_EQ(p.speed(), 0.125);
    EXPECT_FALSE(p.steer("y", 0)) << "a game key does nothing in playback";
    EXPECT_TRUE(p.steer(" ", 0) && p.held() && p.steer("p", 0) && !p.held());
    EXPECT_THROW(p.steer("\x1b", 0), StopRun);
}
