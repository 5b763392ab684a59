// Recordings: the format, the recorder and replay platforms, the world's
// start state and its hashes; `tlvx-tool run --record / --replay` and
// `tlvx-tool record-info`; and recordings handed over by someone else:
// crafted files are refused within seconds and a small memory budget, the
// world copy is written only into a folder of the program's own, only the
// world goes into a recording, and a recording that cannot be written never
// costs the game or its save.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <set>
#include <thread>
#include <tuple>

#include "platform/headless/headless_platform.hpp"
#include "platform/record/record_platforms.hpp"
#include "platform/record/session.hpp"
#include "platform/record/world_hash.hpp"
#include "shell/game.hpp"
#include "tools/tools_helpers.hpp"

using namespace tlvx;
using namespace tlvx::recording_bytes;
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

// tlvx-tool in at most 256 MiB of address space, killed after 10 seconds.
test::ToolRun limited(const std::vector<std::string>& args) {
    return test::run_tool(args, {.memory = rlim_t{256} << 20, .deadline_s = 10});
}

// A fixture world with a wandering creature in dir/start (unless one is
// there), and a session of `keys` on a copy of it in dir/rec, recorded with
// its world copy into dir/rec.tlvxrec.
void record(const test::TempDir& dir, const std::string& keys, std::vector<std::string> more = {}) {
    if (fs::create_directory(dir.file("start"))) {
        test::FixtureWorld w;
        w.I = 1;
        w.objects[1].move = 3;
        w.creatures = [](int x, int y) -> uint8_t { return x == 10 && y == 8 ? 1 : (x == 12 && y == 9 ? 2 : 0); };
        w.write(dir.file("start"));
    }
    fs::copy(dir.file("start"), dir.file("rec"));
    test::write_file(dir.file("keys"), keys);
    more.insert(more.begin(), {"run", "--clock", "777.25:0.0371", "--data", dir.file("rec"), "--keys", dir.file("keys"),
                               "--record", dir.file("rec.tlvxrec")});
    test::run_tool(more, {});
}

// `run` on the world dir/`world` replaying dir/`rec`, with `more` options.
test::ToolRun replay(const test::TempDir& dir, const std::string& world, std::vector<std::string> more = {},
                     const std::string& rec = "rec.tlvxrec") {
    more.insert(more.begin(), {"run", "--data", dir.file(world), "--replay", dir.file(rec)});
    return test::run_tool(more, {});
}

bool any_private_folder(const std::string& dir) {
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(".tlvx-world-", 0) == 0) return true;
    return false;
}

// Where the header of the recording `b` ends, and where the world copy after it ends.
size_t header_end(const std::string& b) { return 20 + u32_of(reinterpret_cast<const unsigned char*>(b.data()) + 12); }
size_t copy_end(const std::string& b) {
    return header_end(b) + 20 + u64_of(reinterpret_cast<const unsigned char*>(b.data()) + header_end(b) + 8);
}

std::string pack(std::string raw, int flush) {
    z_stream z{};
    deflateInit(&z, 9);
    std::string out(deflateBound(&z, raw.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(raw.data());
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, flush);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

// A world copy part said to unpack to `raw_len` bytes.
std::string copy_part(uint64_t raw_len, const std::string& packed) {
    std::string out;
    put_u64(out, raw_len);
    put_u64(out, packed.size());
    put_u32(out, crc_of(packed.data(), packed.size()));
    return out + packed;
}

// One chunk holding the events `raw`.
std::string chunk_of(const std::string& raw) {
    const std::string packed = pack(raw, Z_SYNC_FLUSH);
    std::string out = "CK";
    put_u32(out, static_cast<uint32_t>(packed.size()));
    put_u32(out, static_cast<uint32_t>(raw.size()));
    put_u32(out, crc_of(packed.data(), packed.size()));
    return out + packed;
}

// The recording `b` with `runs` runs of `count` key polls that found nothing
// put before the poll that brought "x", its chunks made one.
std::string with_empty_polls(const std::string& b, uint64_t count, int runs) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.data());
    size_t at = copy_end(b);
    std::string out = b.substr(0, at), packed, raw;
    for (; at < b.size(); at += 14 + u32_of(p + at + 2)) {
        packed += b.substr(at + 14, u32_of(p + at + 2));
        raw.resize(raw.size() + u32_of(p + at + 6));
    }
    uLongf n = raw.size();  // a stream without its end: all of it comes out, but not Z_OK
    uncompress(reinterpret_cast<Bytef*>(raw.data()), &n, reinterpret_cast<const Bytef*>(packed.data()), packed.size());
    EXPECT_EQ(n, raw.size());
    const size_t x = raw.find("\x03\x01\x01x");  // a poll of one key, "x"
    EXPECT_NE(x, std::string::npos);
    std::string run(1, static_cast<char>(EventKind::EmptyPolls));
    put_varint(run, count);
    for (int i = 0; i < runs; ++i) raw.insert(x, run);
    return out + chunk_of(raw);
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

// A recording with no complete pass, and a world that is not the recording's
// start (named by the first file that differs) are refused; nothing is written. Each change here comes on top of the
// ones before, in a file listed earlier: the save file before the tables,
// the tables before the layers.
TEST(ReplayTool, RefusalsLeaveEverythingAsItWas) {
    test::TempDir dir;
    record(dir, "2 g\n10 esc\n");
    // Its only chunk cut: not even start-up can be replayed.
    const std::string kept = test::read_file(dir.file("rec.tlvxrec"));
    test::write_file(dir.file("cut.tlvxrec"), kept.substr(0, kept.size() - 3));
    const auto pristine = test::tree(dir.file("start"));
    const test::ToolRun cut = replay(dir, "start", {}, "cut.tlvxrec");
    EXPECT_TRUE(cut.status == 2 && test::holds(cut.output, {"no complete pass"})) << cut.output;
    EXPECT_EQ(test::tree(dir.file("start")), pristine);
    const char* changes[][2] = {{"tlvx_gr3.tmp", "tlvx_gr3.tmp has other contents"},
                                {"tlvx_w05.mem", "tlvx_w05.mem has "},
                                {"Pndx_001.sav", "Pndx_001.sav is missing"}};
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir.file("start/") + changes[i][0];
        std::string bytes = test::read_file(path);
        if (i == 0) bytes[40] ^= 5;
        fs::remove(path);
        if (i < 2) test::write_file(path, i == 1 ? bytes + "\n" : bytes);
        const auto before = test::tree(dir.file("start"));
        const test::ToolRun r =
            replay(dir, "start", {"--trace", dir.file("trace"), "--screenshot", dir.file("shot.png")});
        EXPECT_TRUE(r.status == 2 && test::holds(r.output, {changes[i][1]})) << r.output;
        EXPECT_EQ(test::tree(dir.file("start")), before);
        EXPECT_FALSE(test::file_exists(dir.file("trace")) || test::file_exists(dir.file("shot.png")));
    }

    EXPECT_EQ(test::run_tool({"run", "--replay", "x", "--keys", "y"}, {}).status, 2);
    EXPECT_EQ(test::run_tool({"run", "--world-from-recording"}, {}).status, 2);
    EXPECT_EQ(test::run_tool({"record-info", dir.file("keys")}, {}).status, 2);
    // An existing file is never recorded over.
    const test::ToolRun r =
        test::run_tool({"run", "--passes", "3", "--data", dir.file("rec"), "--record", dir.file("rec.tlvxrec")}, {});
    EXPECT_TRUE(r.status == 2 && test::holds(r.output, {"exists already"})) << r.output;
    EXPECT_EQ(test::read_file(dir.file("rec.tlvxrec")), kept);
}

// Sessions of the headless runner replay to the same files, from the world or
// from the world kept in the recording (unpacked into an empty folder, never
// into one that holds files), and record-info tells how each ended: by
// Escape; not at all, like a killed game (its complete passes replay, without
// saving); in a runtime error (the replay ends in the same error).
TEST(ReplayTool, ReplaysToTheSameFilesFromTheWorldOrFromTheRecording) {
    // The keys, --passes, what record-info says, the replay's status, what it
    // says (nothing: "") and how many lines its trace has (-1: unchecked).
    const std::tuple<const char*, const char*, const char*, const char*, int, const char*, int> cases[] = {
        {"2 g\n4 +\n8 p\n9 h\n12 ]\n30 esc\n", "100", "passes: 30 complete; ended by Escape", "keys pressed: 6", 0, "",
         31},
        {"2 g\n5 *\n", "200", "the session did not end", "Testland.txt", 0, "199 complete passes, without saving", 200},
        {"3 h\n6 h\n9 h\n12 h\n40 esc\n", "100", "runtime error 2", "keys pressed: 3", 2,
         "Aborting due to runtime error 2 (file not found)", -1},
    };
    for (const auto& [keys, passes, info_says, info_names, status, says, traced] : cases) {
        SCOPED_TRACE(info_says);
        test::TempDir dir;
        if (status != 0) {  // a picture out of view at the start is missing
            fs::create_directory(dir.file("start"));
            test::FixtureWorld w;
            w.ground = [](int x, int) -> uint8_t { return x >= 16 ? 9 : 1; };
            w.write(dir.file("start"));
            fs::remove(dir.file("start/tile9.pic"));
        }
        record(dir, keys, {"--passes", passes});
        const std::string i = test::run_tool({"record-info", dir.file("rec.tlvxrec")}, {}).output;
        EXPECT_TRUE(test::holds(i, {info_says, info_names})) << i;
        const test::ToolRun r = replay(dir, "start", {"--trace", dir.file("trace")});
        EXPECT_TRUE(r.status == status && test::holds(r.output, {says})) << r.output;
        EXPECT_TRUE(*says || r.output.empty()) << r.output;
        const std::string trace = test::read_file(dir.file("trace"));
        EXPECT_TRUE(traced < 0 || std::count(trace.begin(), trace.end(), '\n') == traced) << trace;
        EXPECT_EQ(test::changes(test::tree(dir.file("start")), test::tree(dir.file("rec"))), "");
        EXPECT_EQ(replay(dir, "fresh", {"--world-from-recording"}).status, status);
        EXPECT_EQ(test::changes(test::tree(dir.file("fresh")), test::tree(dir.file("rec"))), "");
        const test::ToolRun again = replay(dir, "fresh", {"--world-from-recording"});
        EXPECT_TRUE(again.status == 2 && test::holds(again.output, {"is not empty"})) << again.output;
    }
}

// Crafted recordings are refused within seconds and 256 MiB, by the replay
// and by record-info, which says "damaged"; a replay of a crafted pause uses
// the passes before the damage. The old reader took 1 GiB for the bomb and
// gigabytes for the entries (ending in an uncaught bad_alloc), and replayed
// 2^62 polls one at a time. Runs of polls as long as the reader takes, in a
// pause, are used up at once: a thousand million replay in a moment and to
// the same end as the recorded session.
TEST(UntrustedRecording, CraftedFilesAreRefusedQuicklyAndLongPausesReplayAtOnce) {
    test::TempDir dir;
    record(dir, "2 p\n3 x\n6 g\n12 esc\n");
    const std::string b = test::read_file(dir.file("rec.tlvxrec"));
    const std::string head = b.substr(0, header_end(b));
    // A world copy said to unpack to 1 GiB, with as many packed bytes as deflate needs for that.
    std::string junk((1u << 30) / 1032 + 4096, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 2654435761u >> 13);
    test::write_file(dir.file("bomb"), head + copy_part(1u << 30, junk));
    std::string entries;  // five million empty files named "a"
    put_varint(entries, 5'000'000);
    for (int i = 0; i < 5'000'000; ++i) entries.append("\001a\0", 3);
    test::write_file(dir.file("entries"), head + copy_part(entries.size(), pack(entries, Z_FINISH)));
    test::write_file(dir.file("polls"), with_empty_polls(b, 1ull << 62, 1));
    test::write_file(dir.file("long"), with_empty_polls(b, kMaxEmptyPollRun, 64));
    // The file; the status of the replay and of record-info; what the replay says (nothing: none).
    const std::tuple<const char*, int, const char*> cases[] = {
        {"bomb", 2, "damaged"},
        {"entries", 2, "damaged"},
        {"polls", 0, "more than a session makes"},
        {"long", 0, nullptr},
    };
    for (const auto& [file, status, says] : cases) {
        SCOPED_TRACE(file);
        const std::string world = dir.file(std::string("w-") + file);
        const bool unpack = status != 0;  // the damage is in the world copy
        if (!unpack) fs::copy(dir.file("start"), world);
        std::vector<std::string> run = {"run", "--data", world, "--replay", dir.file(file)};
        if (unpack) run.push_back("--world-from-recording");
        const test::ToolRun r = limited(run);
        EXPECT_EQ(r.status, status) << r.output;
        if (says) {
            EXPECT_NE(r.output.find(says), std::string::npos) << r.output;
        } else {
            EXPECT_EQ(test::read_file(world + "/Pndx_001.sav"), test::read_file(dir.file("rec/Pndx_001.sav")));
        }
        EXPECT_FALSE(unpack && fs::exists(world)) << "nothing is unpacked from a damaged copy";
        EXPECT_FALSE(any_private_folder(dir.path()));

        const test::ToolRun i = limited({"record-info", dir.file(file)});
        EXPECT_EQ(i.status, status) << i.output;
        EXPECT_EQ(i.output.find("damaged") != std::string::npos, says != nullptr) << i.output;
    }
}

// mended: a chunk holds no more passes than the writer puts into one. A
// chunk of 70,000 (a 4 MB file of them declared 139 million passes, half a
// minute for record-info and hours for a replay) is refused at once, its
// passes unplayed; the writer, however fast the passes come, writes a chunk
// every kChunkPasses, so everything it writes reads whole.
TEST(UntrustedRecording, AChunkOfMorePassesThanTheWriterMakesIsRefusedAtOnce) {
    test::TempDir dir;
    record(dir, "2 esc\n");
    const std::string b = test::read_file(dir.file("rec.tlvxrec"));
    const std::string head = b.substr(0, copy_end(b));
    std::string one_pass(1, static_cast<char>(EventKind::BeginPass));
    one_pass += static_cast<char>(EventKind::Time);
    put_varint(one_pass, 0);
    std::string passes;
    for (int i = 0; i < 70'000; ++i) passes += one_pass;
    test::write_file(dir.file("passes"), head + chunk_of(passes));
    fs::copy(dir.file("start"), dir.file("w"));
    const test::ToolRun r = limited({"run", "--data", dir.file("w"), "--replay", dir.file("passes")});
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_EQ(r.output,
              "tlvx-tool run: chunk 1 of the recording holds more than 16384 passes, more than a chunk is "
              "written with; it holds no complete pass, nothing was replayed\n");
    const test::ToolRun i = limited({"record-info", dir.file("passes")});
    EXPECT_TRUE(
        test::holds(i.output, {"passes: 0 complete", "damaged: chunk 1 of the recording holds more than 16384 passes"}))
        << i.output;
    EXPECT_LT(r.seconds + i.seconds, 2.0);

    RecordingWriter w(dir.file("fast"), RecordingHeader{}, {});
    w.set_flush_interval(3600);  // no chunk is due by the clock
    const int64_t written = 5 * kMaxChunkPasses;
    for (int64_t n = 0; n < written; ++n) w.begin_pass(), w.time(static_cast<double>(n));
    w.finish(0);
    RecordingReader fast(dir.file("fast"));
    const RecordingSummary sum = summarize_recording(fast);
    EXPECT_EQ(sum.damage, "");
    EXPECT_EQ(sum.complete_passes, written);
}

// The recorded world is never written through a link: not into a folder
// that is a link (the old unpack followed it and wrote into the folder it
// names), and not when a link appears in the target while the copy is
// written (the finished folder then cannot take the target's place).
TEST(UntrustedRecording, TheWorldCopyIsNeverWrittenThroughALink) {
    test::TempDir dir;
    record(dir, "2 esc\n");
    fs::create_directory(dir.file("victim"));
    fs::create_directory_symlink(dir.file("victim"), dir.file("link"));
    const test::ToolRun r = replay(dir, "link", {"--world-from-recording"});
    EXPECT_TRUE(r.status == 2 && test::holds(r.output, {"is a link"})) << r.output;
    EXPECT_TRUE(fs::is_empty(dir.file("victim")));

    RecordingReader reader(dir.file("rec.tlvxrec"));
    const std::vector<EmbeddedFile> files = reader.world_copy();
    ASSERT_FALSE(files.empty());
    const std::string theirs = dir.file("victim/" + files[0].name);
    test::write_file(theirs, "theirs");
    fs::create_directory(dir.file("target"));
    {
        PrivateWorld world(dir.path(), "");
        world.write(files);
        fs::create_symlink(theirs, dir.file("target/" + files[0].name));
        EXPECT_THROW(world.move_to(dir.file("target")), RecordingError);
    }
    EXPECT_EQ(test::read_file(theirs), "theirs");
    EXPECT_FALSE(any_private_folder(dir.path())) << "the unfinished copy is removed";

    // An unusable TMPDIR is one clear refusal (it was an uncaught error).
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", "/nonexistent", 1);
    try {
        TemporaryWorld t(reader, dir.file("start"));
        ADD_FAILURE() << "made a world in " << t.dir();
    } catch (const RecordingError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent\" (TMPDIR)"), std::string::npos) << e.what();
    }
    old ? ::setenv("TMPDIR", saved.c_str(), 1) : ::unsetenv("TMPDIR");
}

// Only the world goes into a recording: the files the game reads and the
// pictures its tables name, never hidden files or other files of the folder;
// a world file too large for the copy: no copy at all.
TEST(UntrustedRecording, OnlyTheWorldIsRecorded) {
    test::TempDir dir;
    test::FixtureWorld().write(dir.path());
    for (const char* other : {".netrc-notes", "diary.txt", "tlvx-shot-1.png"}) test::write_file(dir.file(other), "x");
    std::set<std::string> names;
    for (const EmbeddedFile& f : world_copy_files(dir.path())) names.insert(f.name);
    for (const char* kept : {"Pndx_001.sav", "tlvx_w05.mem", "tlvx_gr1.tmp", "Testland.txt", "tile1.pic", "tile64.pic"})
        EXPECT_TRUE(names.count(kept)) << kept;
    for (const char* other : {".netrc-notes", "diary.txt", "tlvx-shot-1.png"})
        EXPECT_FALSE(names.count(other)) << other;

    test::write_file(dir.file("tlvx_gr4.tmp"), std::string(kWorldCopyLimit, 'x'));
    EXPECT_TRUE(world_copy_files(dir.path()).empty());
}

// A recording that can no longer grow (a file size limit with SIGXFSZ
// ignored, as on a full disk) stops with one line; the game goes on to its
// Escape and saves exactly as an unrecorded game does; the recording holds
// the passes written before the failure, whole. The old recorder threw out
// of the game and the quit's save never ran.
TEST(UntrustedRecording, ARecordingThatCannotBeWrittenNeverCostsTheGame) {
    test::TempDir dir;
    fs::create_directory(dir.file("a"));
    test::FixtureWorld().write(dir.file("a"));
    fs::copy(dir.file("a"), dir.file("b"));
    const std::vector<ScriptedKey> keys{{2, "g"}, {5, "+"}, {40, "g"}, {300, "\x1b"}};
    HeadlessPlatform plain(keys, 1000, 0.01);
    run(plain, dir.file("a"), 1000);  // saves at Escape, as must the recorded game

    std::unique_ptr<RecordingWriter> writer = start_recording(dir.file("r.tlvxrec"), dir.file("b"));
    writer->set_flush_interval(0);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit fsize{static_cast<rlim_t>(writer->bytes_written()) + 300, old.rlim_max};
    const auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &fsize);
    testing::internal::CaptureStderr();
    HeadlessPlatform inner(keys, 1000, 0.01);
    RecordingPlatform recorder(inner, *writer, "test");
    EXPECT_NO_THROW(run(recorder, dir.file("b"), 1000));  // the limits are put back below whatever happens
    writer->finish(0);
    const std::string err = testing::internal::GetCapturedStderr();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, old_handler);
    EXPECT_NE(writer->failure(), "");
    EXPECT_EQ(test::changes(test::tree(dir.file("a")), test::tree(dir.file("b"))), "");
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_TRUE(test::holds(err, {"cannot write the recording", "goes on without recording"})) << err;

    RecordingReader reader(dir.file("r.tlvxrec"));
    const RecordingSummary sum = summarize_recording(reader);
    EXPECT_EQ(sum.damage, "") << "cut after its last whole chunk";
    EXPECT_FALSE(sum.ended);
    EXPECT_TRUE(sum.complete_passes > 0 && sum.complete_passes < 300) << sum.complete_passes;
}

// Names from a recording are printed escaped: a name with an escape
// sequence, a bell and a NUL reaches the terminal as text.
TEST(UntrustedRecording, NamesFromARecordingArePrintedEscaped) {
    test::TempDir dir;
    RecordingHeader h;
    h.program_version = std::string("1\x1b[2J", 5);
    h.files.push_back({std::string("a\x1b]0;owned\x07z\0q", 14), 5, 7});
    RecordingWriter(dir.file("r"), h, {}).finish(0);
    const std::string out = test::run_tool({"record-info", dir.file("r")}, {}).output;
    EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
    EXPECT_EQ(out.find('\0'), std::string::npos);
    EXPECT_TRUE(test::holds(out, {"a\\x1B]0;owned\\x07z\\x00q", "tlvx 1\\x1B[2J"})) << out;
}

// SIGINT, sent twice at any moment of a replay with --world-from-recording,
// leaves the target either missing or holding the whole world, and never a
// private folder (the old unpack left a partial world behind).
TEST(UntrustedRecording, AnInterruptedUnpackLeavesNothingOrTheWholeWorld) {
    test::TempDir dir;
    fs::create_directory(dir.file("start"));
    test::FixtureWorld().write(dir.file("start"));
    // A picture the tables name, large enough for the unpack to take a while.
    std::string big(3u << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 2654435761u >> 11);
    test::write_file(dir.file("start/tile2.pic"), big);
    record(dir, "2 esc\n", {"--passes", "3"});
    const size_t files = RecordingReader(dir.file("rec.tlvxrec")).world_copy().size();
    ASSERT_GT(files, 10u);
    // From before the handlers are in place to after the world is in place.
    for (int delay_ms : {10, 80, 160, 300, 600, 1200, 2500}) {
        SCOPED_TRACE(delay_ms);
        const std::string target = dir.file("w" + std::to_string(delay_ms));
        const pid_t pid = test::start_tool(
            {"run", "--data", target, "--replay", dir.file("rec.tlvxrec"), "--world-from-recording"}, "/dev/null");
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        ::kill(pid, SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ::kill(pid, SIGINT);
        ::waitpid(pid, nullptr, 0);
        const std::set<std::string> names = test::names_in(target);
        const size_t n = names.size() - names.count("Pndx_001.sav.tmp~");
        EXPECT_TRUE(!fs::exists(target) || n >= files) << n << " files: a partial world was left";
        EXPECT_FALSE(any_private_folder(dir.path()));
    }
}
