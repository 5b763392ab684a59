// Recordings handed over by someone else: crafted files are refused within
// seconds and a small memory budget, the world copy is written only into a
// folder of the program's own, only the world goes into a recording, and a
// recording that cannot be written never costs the game or its save.
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
#include <fstream>
#include <memory>
#include <set>
#include <thread>

#include "base/state.hpp"
#include "platform/headless/headless_platform.hpp"
#include "platform/record/record_platforms.hpp"
#include "platform/record/recording_reader.hpp"
#include "platform/record/recording_writer.hpp"
#include "platform/record/session.hpp"
#include "platform/record/world_copy.hpp"
#include "platform/record/world_hash.hpp"
#include "shell/game.hpp"
#include "tools/tools_helpers.hpp"

using namespace tlvx;
using namespace tlvx::recording_bytes;
namespace fs = std::filesystem;

namespace {

struct Limited {
    int status = -1;  // exit status, or 128 + signal
    bool timed_out = false;
    std::string output;
};

// tlvx-tool `args` in a child limited to 256 MiB of address space, killed
// after `seconds`.
Limited run_limited(const std::vector<std::string>& args, const std::string& out_file, double seconds = 20) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (test::kAddressSpaceCanBeLimited) {
            const rlimit as{256u << 20, 256u << 20};
            ::setrlimit(RLIMIT_AS, &as);
        }
        std::FILE* out = std::fopen(out_file.c_str(), "w");
        if (!out) ::_exit(120);
        ::dup2(::fileno(out), 1);
        ::dup2(::fileno(out), 2);
        std::vector<char*> argv{const_cast<char*>(TLVX_TOOL)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(TLVX_TOOL, argv.data());
        ::_exit(121);
    }
    Limited r;
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int st = 0;
    while (::waitpid(pid, &st, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            r.timed_out = true;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &st, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.output = test::read_file(out_file);
    return r;
}

std::string file_start(bool world_copy) {
    std::string h;
    put_string(h, "crafted");
    put_u64(h, 0);
    put_varint(h, 0);
    h.push_back(world_copy ? 1 : 0);
    std::string out(kMagic, sizeof kMagic);
    put_u32(out, kRecordingFormat);
    put_u32(out, static_cast<uint32_t>(h.size()));
    out += h;
    put_u32(out, crc_of(h.data(), h.size()));
    return out;
}

std::string world_copy_part(uint64_t raw_len, const std::string& packed) {
    std::string out;
    put_u64(out, raw_len);
    put_u64(out, packed.size());
    put_u32(out, crc_of(packed.data(), packed.size()));
    return out + packed;
}

std::string deflated(const std::string& raw) {
    uLongf n = compressBound(static_cast<uLong>(raw.size()));
    std::string out(n, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 9);
    out.resize(n);
    return out;
}

// A world copy said to unpack to 1 GiB, with as many packed bytes as deflate
// needs for that.
std::string decompression_bomb() {
    std::string packed((1u << 30) / 1032 + 4096, '\0');
    for (size_t i = 0; i < packed.size(); ++i) packed[i] = static_cast<char>(i * 2654435761u >> 13);
    return file_start(true) + world_copy_part(1u << 30, packed);
}

// A world copy of five million empty files named "a".
std::string millions_of_entries() {
    std::string raw;
    put_varint(raw, 5'000'000);
    for (int i = 0; i < 5'000'000; ++i)
        raw += std::string(
            "\x01"
            "a\x00",
            3);
    return file_start(true) + world_copy_part(raw.size(), deflated(raw));
}

// The bytes of a recording before its first chunk: the header and the world copy.
std::string before_chunks(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const uint32_t header = u32_of(p + 12);
    size_t at = 16 + header + 4;
    if (p[16 + header - 1] != 0) at += 20 + u64_of(p + at + 8);
    return bytes.substr(0, at);
}

void put_event(std::string& raw, const Event& e, uint64_t& last_bits) {
    raw.push_back(static_cast<char>(e.kind));
    switch (e.kind) {
    case EventKind::Time: {
        const uint64_t b = bits_of(e.time);
        put_varint(raw, zigzag(static_cast<int64_t>(b - last_bits)));
        last_bits = b;
        break;
    }
    case EventKind::Poll:
        put_varint(raw, e.keys.size());
        for (const std::string& k : e.keys) put_string(raw, k);
        break;
    case EventKind::EmptyPolls: put_varint(raw, e.count); break;
    case EventKind::End: put_varint(raw, zigzag(e.status)); break;
    default: break;
    }
}

// `recording` with `runs` runs of `count` key polls that found nothing put
// before the poll that brought `key`, as one chunk.
std::string with_empty_polls(const std::string& recording, const std::string& key, uint64_t count, int runs) {
    const std::string bytes = test::read_file(recording);
    RecordingReader reader(recording);
    std::string raw;
    uint64_t last_bits = 0;
    Event e;
    bool put = false;
    while (reader.next(e)) {
        if (!put && e.kind == EventKind::Poll && e.keys == std::vector<std::string>{key}) {
            Event empty;
            empty.kind = EventKind::EmptyPolls;
            empty.count = count;
            for (int i = 0; i < runs; ++i) put_event(raw, empty, last_bits);
            put = true;
        }
        put_event(raw, e, last_bits);
    }
    EXPECT_TRUE(put) << "no poll brought " << key;
    z_stream z{};
    deflateInit(&z, 6);
    std::string packed(deflateBound(&z, raw.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(raw.data());
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    deflate(&z, Z_SYNC_FLUSH);
    packed.resize(packed.size() - z.avail_out);
    deflateEnd(&z);
    std::string out = before_chunks(bytes) + "CK";
    put_u32(out, static_cast<uint32_t>(packed.size()));
    put_u32(out, static_cast<uint32_t>(raw.size()));
    put_u32(out, crc_of(packed.data(), packed.size()));
    return out + packed;
}

// The fixture world in dir/start, and a session on a copy of it that pauses
// in pass 2 until an "x" comes, recorded with its world copy into dir/rec.tlvxrec.
void record_a_pause(const test::TempDir& dir) {
    fs::create_directory(dir.file("start"));
    test::FixtureWorld w;
    w.write(dir.file("start"));
    fs::copy(dir.file("start"), dir.file("played"));
    test::write_file(dir.file("keys"), "2 p\n3 x\n6 g\n12 esc\n");
    const test::ToolRun r = test::run_tool("run --data '" + dir.file("played") + "' --keys '" + dir.file("keys") +
                                           "' --record '" + dir.file("rec.tlvxrec") + "'");
    ASSERT_EQ(r.status, 0) << r.output;
}

bool any_private_folder(const std::string& dir) {
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(".tlvx-world-", 0) == 0) return true;
    return false;
}

}  // namespace

// Crafted recordings are refused within seconds and 256 MiB, by the replay
// and by record-info, which says "damaged"; a replay of a crafted pause uses
// the passes before the damage. The old reader took 1 GiB for the bomb and
// gigabytes for the entries (ending in an uncaught bad_alloc), and replayed
// 2^62 polls one at a time.
TEST(UntrustedRecording, CraftedFilesAreRefusedQuicklyAndInLittleMemory) {
    test::TempDir dir;
    record_a_pause(dir);
    test::write_file(dir.file("bomb.tlvxrec"), decompression_bomb());
    test::write_file(dir.file("entries.tlvxrec"), millions_of_entries());
    test::write_file(dir.file("polls.tlvxrec"), with_empty_polls(dir.file("rec.tlvxrec"), "x", 1ull << 62, 1));
    struct Case {
        const char* file;
        bool world_from_recording;
        int replay_status;
        const char* replay_says;
        int info_status;
    };
    const Case cases[] = {
        {"bomb.tlvxrec", true, 2, "damaged", 2},
        {"entries.tlvxrec", true, 2, "damaged", 2},
        {"polls.tlvxrec", false, 0, "more than a session makes", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string world = dir.file(std::string("world-") + c.file);
        if (!c.world_from_recording) fs::copy(dir.file("start"), world);
        std::vector<std::string> args{"run", "--data", world, "--replay", dir.file(c.file)};
        if (c.world_from_recording) args.push_back("--world-from-recording");
        const auto t0 = std::chrono::steady_clock::now();
        const Limited replay = run_limited(args, dir.file("out"));
        EXPECT_FALSE(replay.timed_out);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 10.0);
        EXPECT_EQ(replay.status, c.replay_status) << replay.output;
        EXPECT_NE(replay.output.find(c.replay_says), std::string::npos) << replay.output;
        if (c.world_from_recording) {
            EXPECT_FALSE(fs::exists(world)) << "nothing is unpacked from a damaged copy";
        }
        EXPECT_FALSE(any_private_folder(dir.path()));

        const Limited info = run_limited({"record-info", dir.file(c.file)}, dir.file("out"));
        EXPECT_FALSE(info.timed_out);
        EXPECT_EQ(info.status, c.info_status) << info.output;
        EXPECT_NE(info.output.find("damaged"), std::string::npos) << info.output;
    }
}

// Runs of polls that found nothing, each as long as the reader takes, in a
// pause are used up at once: a thousand million polls replay in a moment
// and to the same end as the recorded session.
TEST(UntrustedRecording, LongPausesReplayAtOnce) {
    test::TempDir dir;
    record_a_pause(dir);
    test::write_file(dir.file("long.tlvxrec"), with_empty_polls(dir.file("rec.tlvxrec"), "x", kMaxEmptyPollRun, 64));
    fs::copy(dir.file("start"), dir.file("w"));
    const Limited r =
        run_limited({"run", "--data", dir.file("w"), "--replay", dir.file("long.tlvxrec")}, dir.file("out"), 10);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("damaged"), std::string::npos) << r.output;
    EXPECT_EQ(test::read_file(dir.file("w/Pndx_001.sav")), test::read_file(dir.file("played/Pndx_001.sav")));
}

// The recorded world is never written through a link: not into a folder
// that is a link (the old unpack followed it and wrote into the folder it
// names), and not when a link appears in the target while the copy is
// written (the finished folder then cannot take the target's place).
TEST(UntrustedRecording, TheWorldCopyIsNeverWrittenThroughALink) {
    test::TempDir dir;
    record_a_pause(dir);
    fs::create_directory(dir.file("victim"));
    fs::create_directory_symlink(dir.file("victim"), dir.file("link"));
    const test::ToolRun r = test::run_tool("run --data '" + dir.file("link") + "' --replay '" +
                                           dir.file("rec.tlvxrec") + "' --world-from-recording");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("is a link"), std::string::npos) << r.output;
    EXPECT_TRUE(fs::is_empty(dir.file("victim")));

    RecordingReader reader(dir.file("rec.tlvxrec"));
    const std::vector<EmbeddedFile> files = reader.world_copy();
    ASSERT_FALSE(files.empty());
    fs::create_directory(dir.file("target"));
    test::write_file(dir.file("victim/" + files[0].name), "theirs");
    {
        PrivateWorld world(dir.path(), "");
        world.write(files);
        fs::create_symlink(dir.file("victim/" + files[0].name), dir.file("target/" + files[0].name));
        EXPECT_THROW(world.move_to(dir.file("target")), RecordingError);
    }
    EXPECT_EQ(test::read_file(dir.file("victim/" + files[0].name)), "theirs");
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
    if (old) ::setenv("TMPDIR", saved.c_str(), 1);
    else ::unsetenv("TMPDIR");
}

// Only the world goes into a recording: the files the game reads and the
// pictures its tables name, never hidden files or other files of the folder.
TEST(UntrustedRecording, OnlyTheWorldIsRecorded) {
    test::TempDir dir;
    test::FixtureWorld w;
    w.write(dir.path());
    test::write_file(dir.file(".netrc-notes"), "secret");
    test::write_file(dir.file("diary.txt"), "dear diary");
    test::write_file(dir.file("tlvx-shot-1.png"), "picture");
    std::set<std::string> names;
    for (const EmbeddedFile& f : world_copy_files(dir.path())) names.insert(f.name);
    for (const char* kept :
         {"Pndx_001.sav", "tlvx_w05.mem", "tlvx_w05.mom", "tlvx_gr1.tmp", "Testland.txt", "tile1.pic", "tile64.pic"})
        EXPECT_TRUE(names.count(kept)) << kept;
    for (const char* left : {".netrc-notes", "diary.txt", "tlvx-shot-1.png"}) EXPECT_FALSE(names.count(left)) << left;

    // A world file too large for the copy: no copy at all.
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
    test::FixtureWorld w;
    w.write(dir.file("a"));
    fs::copy(dir.file("a"), dir.file("b"));
    const std::vector<ScriptedKey> keys{{2, "g"}, {5, "+"}, {40, "g"}, {300, "\x1b"}};
    auto play = [&](const std::string& data, Platform& p) {
        auto s = std::make_unique<State>();
        s->data_dir = data;
        s->platform = &p;
        startup(*s);
        return run_loop(*s, 1000);
    };
    HeadlessPlatform plain(keys, 1000, 0.01);
    play(dir.file("a"), plain);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        std::FILE* err = std::fopen(dir.file("err").c_str(), "w");
        ::dup2(::fileno(err), 2);
        std::unique_ptr<RecordingWriter> writer = start_recording(dir.file("r.tlvxrec"), dir.file("b"));
        writer->set_flush_interval(0);
        const rlim_t limit = static_cast<rlim_t>(writer->bytes_written()) + 300;
        const rlimit fsize{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &fsize);
        HeadlessPlatform inner(keys, 1000, 0.01);
        RecordingPlatform recorder(inner, *writer, "test");
        const RunEnd end = play(dir.file("b"), recorder);
        writer->finish(0);
        ::_exit(end == RunEnd::Quit && !writer->failure().empty() ? 0 : 1);
    }
    int st = 0;
    ::waitpid(pid, &st, 0);
    ASSERT_TRUE(WIFEXITED(st)) << "the child ended by signal " << WTERMSIG(st);
    EXPECT_EQ(WEXITSTATUS(st), 0) << test::read_file(dir.file("err"));
    EXPECT_EQ(test::read_file(dir.file("b/Pndx_001.sav")), test::read_file(dir.file("a/Pndx_001.sav")));
    for (const char* layer : {"tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp"})
        EXPECT_EQ(test::read_file(dir.file(std::string("b/") + layer)),
                  test::read_file(dir.file(std::string("a/") + layer)));
    const std::string err = test::read_file(dir.file("err"));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("cannot write the recording"), std::string::npos) << err;
    EXPECT_NE(err.find("goes on without recording"), std::string::npos) << err;

    RecordingReader reader(dir.file("r.tlvxrec"));
    const RecordingSummary sum = summarize_recording(reader);
    EXPECT_EQ(sum.damage, "") << "cut after its last whole chunk";
    EXPECT_FALSE(sum.ended);
    EXPECT_GT(sum.complete_passes, 0);
    EXPECT_LT(sum.complete_passes, 300);
}

// Names from a recording are printed escaped: a name with an escape
// sequence, a bell and a NUL reaches the terminal as text.
TEST(UntrustedRecording, NamesFromARecordingArePrintedEscaped) {
    test::TempDir dir;
    RecordingHeader h;
    h.program_version = std::string("1\x1b[2J", 5);
    h.files.push_back({std::string("a\x1b]0;owned\x07z\0q", 14), 5, 7});
    RecordingWriter(dir.file("r"), h, {}).finish(0);
    const test::ToolRun r = test::run_tool("record-info '" + dir.file("r") + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find('\x1b'), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find('\0'), std::string::npos);
    EXPECT_NE(r.output.find("a\\x1B]0;owned\\x07z\\x00q"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("tlvx 1\\x1B[2J"), std::string::npos) << r.output;
}

// SIGINT, sent twice at any moment of a replay with --world-from-recording,
// leaves the target either missing or holding the whole world, and never a
// private folder (the old unpack left a partial world behind).
TEST(UntrustedRecording, AnInterruptedUnpackLeavesNothingOrTheWholeWorld) {
    test::TempDir dir;
    fs::create_directory(dir.file("start"));
    test::FixtureWorld w;
    w.write(dir.file("start"));
    // A picture the tables name, large enough for the unpack to take a while.
    std::string big(3u << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 2654435761u >> 11);
    test::write_file(dir.file("start/tile2.pic"), big);
    test::write_file(dir.file("keys"), "2 esc\n");
    const test::ToolRun rec = test::run_tool("run --data '" + dir.file("start") + "' --keys '" + dir.file("keys") +
                                             "' --passes 3 --record '" + dir.file("r.tlvxrec") + "'");
    ASSERT_EQ(rec.status, 0) << rec.output;
    const size_t files = RecordingReader(dir.file("r.tlvxrec")).world_copy().size();
    ASSERT_GT(files, 10u);
    // From before the handlers are in place to after the world is in place.
    for (int delay_ms : {10, 80, 160, 300, 600, 1200, 2500}) {
        SCOPED_TRACE(delay_ms);
        const std::string target = dir.file("w" + std::to_string(delay_ms));
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::freopen("/dev/null", "w", stderr);
            ::execl(TLVX_TOOL, TLVX_TOOL, "run", "--data", target.c_str(), "--replay", dir.file("r.tlvxrec").c_str(),
                    "--world-from-recording", static_cast<char*>(nullptr));
            ::_exit(121);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        ::kill(pid, SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ::kill(pid, SIGINT);
        int st = 0;
        ::waitpid(pid, &st, 0);
        if (fs::exists(target)) {
            size_t n = 0;
            for (const auto& e : fs::directory_iterator(target)) n += e.path().filename() != "Pndx_001.sav.tmp~";
            EXPECT_GE(n, files) << "a partial world was left";
        }
        EXPECT_FALSE(any_private_folder(dir.path()));
    }
}
