#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "data/data_helpers.hpp"
#include "data/layer.hpp"
#include "data/stream.hpp"
#include "data/world_files.hpp"
#include "support/test_support.hpp"

namespace tlvx {
namespace {

using test::Caught;
using test::catch_error;
using test::state_in;

size_t entries(const std::string& dir) {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
    return n;
}

void fill_save_state(State& s) {
    s.P1_S = "Testland";
    s.VX2 = 10;
    s.VY2 = 8;
    s.D1 = 4;
    s.NM_S = "Ada";
    s.C1_S = "001";
    s.C2_S = "002";
    s.C3_S = "003";
    s.S = 7;
    s.O = -1;
    s.I = 5;
    s.P = 1;
}

TEST(SaveFile, WritesFourteenLinesAndReadsThemBack) {
    test::TempDir dir;
    auto out = state_in(dir.path());
    fill_save_state(*out);
    write_save_file(*out);
    EXPECT_EQ(test::read_file(dir.file("Ada_001.sav")),
              "Testland\r\n 10 \r\n 8 \r\n 4 \r\n 10 \r\n 8 \r\nAda\r\n001\r\n002\r\n003\r\n"
              " 7 \r\n-1 \r\n 5 \r\n 1 \r\n");
    EXPECT_EQ(entries(dir.path()), 1u);  // no temporary left behind

    auto in = state_in(dir.path());
    in->NM_S = "Ada";
    load_save_file(*in);
    EXPECT_EQ(in->P1_S, "Testland");
    EXPECT_EQ(in->VX2, 10);
    EXPECT_EQ(in->VY2, 8);
    EXPECT_EQ(in->D1, 4);
    EXPECT_EQ(in->NM_S, "Ada");
    EXPECT_EQ(in->S, 7);
    EXPECT_EQ(in->O, -1);
    EXPECT_EQ(in->I, 5);
    EXPECT_EQ(in->P, 1);
    EXPECT_FALSE(in->files.is_open(stream_number(*in, 0)));  // closed right after reading
}

TEST(SaveFile, SecondPositionPairWinsAndCarriedTextsAreReadAsStored) {
    test::TempDir dir;
    test::write_file(dir.file("Pndx_001.sav"), "World\r\n1\r\n2\r\n3\r\n30\r\n40\r\nPndx\r\nx\r\ny, z\r\n");
    auto s = state_in(dir.path());
    load_save_file(*s);
    EXPECT_EQ(s->VX2, 30);
    EXPECT_EQ(s->VY2, 40);
    EXPECT_EQ(s->D1, 3);
    EXPECT_EQ(s->C1_S, "x");
    EXPECT_EQ(s->C2_S, "y");  // kept: a comma splits a bare text
    EXPECT_EQ(s->C3_S, "z");
    EXPECT_EQ(s->S, 0);  // missing items read 0
    EXPECT_EQ(s->P, 0);

    // The carried texts go out as the state holds them.
    s->C1_S = "001";
    s->C2_S = "002";
    s->C3_S = "003";
    write_save_file(*s);
    auto again = state_in(dir.path());
    load_save_file(*again);
    EXPECT_EQ(again->C1_S, "001");
    EXPECT_EQ(again->C2_S, "002");
    EXPECT_EQ(again->C3_S, "003");
}

TEST(SaveFile, TextsThatWouldNotReadBackAreQuotedSoFieldsKeepTheirPlace) {
    test::TempDir dir;
    auto out = state_in(dir.path());
    fill_save_state(*out);
    out->NM_S = "Ada, the Bold";
    out->P1_S = " Far Land";
    out->C2_S = "say \"hi\", then go";  // a quote inside a quoted text cannot be kept
    write_save_file(*out);

    auto in = state_in(dir.path());
    in->NM_S = "Ada, the Bold";
    load_save_file(*in);
    EXPECT_EQ(in->NM_S, "Ada, the Bold");
    EXPECT_EQ(in->P1_S, " Far Land");
    EXPECT_EQ(in->C2_S, "say hi, then go");
    EXPECT_EQ(in->C3_S, "003");
    EXPECT_EQ(in->VX2, 10);
    EXPECT_EQ(in->P, 1);
}

TEST(SaveFile, AnotherNameSavesToItsOwnFileAndLeavesTheStartFileAlone) {
    test::TempDir dir;
    const std::string start = "Outland\r\n 5 \r\n 6 \r\n 1 \r\n 5 \r\n 6 \r\nBea\r\n001\r\n002\r\n003\r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n";
    test::write_file(dir.file("Pndx_001.sav"), start);
    auto s = state_in(dir.path());
    load_save_file(*s);
    ASSERT_EQ(s->NM_S, "Bea");
    s->VX2 = 9;
    write_save_file(*s);
    EXPECT_EQ(test::read_file(dir.file("Pndx_001.sav")), start);
    auto bea = state_in(dir.path());
    bea->NM_S = "Bea";
    load_save_file(*bea);
    EXPECT_EQ(bea->VX2, 9);
    EXPECT_EQ(bea->P1_S, "Outland");
}

TEST(SaveFile, MissingOrUncreatableSaveFileIsError2) {
    test::TempDir dir;
    auto s = state_in(dir.path());
    Caught missing = catch_error([&] { load_save_file(*s); });
    EXPECT_EQ(missing.number, 2);
    EXPECT_NE(missing.place.find("\"Pndx_001.sav\""), std::string::npos);
    EXPECT_NE(missing.report.find("Aborting due to runtime error 2 (file not found)"), std::string::npos);

    auto nowhere = state_in(dir.file("no-such-dir"));
    fill_save_state(*nowhere);
    EXPECT_EQ(catch_error([&] { write_save_file(*nowhere); }).number, 2);

    std::filesystem::create_directory(dir.file("Ada_001.sav"));  // a directory in the way
    auto blocked = state_in(dir.path());
    fill_save_state(*blocked);
    EXPECT_EQ(catch_error([&] { write_save_file(*blocked); }).number, 2);
}

TEST(SaveFile, NameReachingOutsideTheDataDirectoryWritesNothing) {
    test::TempDir outer;
    const std::string data = outer.file("data");
    std::filesystem::create_directory(data);
    for (const std::string name : {"../evil", "sub/evil", "..\\evil", ".", ".."}) {
        auto s = state_in(data);
        test::write_file(data + "/tlvx_gr1.tmp", std::string("\0\x08\0\x08", 4));
        open_layer_files(*s);
        fill_save_state(*s);
        s->NM_S = name;
        Caught c = catch_error([&] { write_save_file(*s); });
        EXPECT_EQ(c.number, 2) << name;
        EXPECT_NE(c.place.find(name + "_001.sav"), std::string::npos) << c.place;
        EXPECT_TRUE(s->files.is_open(kGroundFile)) << "the ground layer is not even closed";
    }
    EXPECT_EQ(entries(outer.path()), 1u);  // only the data directory
    EXPECT_EQ(entries(data), 5u);          // only the five layer files

    auto empty = state_in(data);  // an empty name is an ordinary one
    fill_save_state(*empty);
    empty->NM_S = "";
    write_save_file(*empty);
    EXPECT_TRUE(test::file_exists(data + "/_001.sav"));
}

TEST(SaveFile, FailedWriteKeepsTheOldFileAndReportsError3) {
    test::TempDir dir;
    const std::string old = "Oldland\r\n 4 \r\n 4 \r\n 1 \r\n 4 \r\n 4 \r\nAda\r\n001\r\n002\r\n003\r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n";
    test::write_file(dir.file("Ada_001.sav"), old);

    // The child may write at most 16 bytes into any file, so the new save
    // cannot be written whole.
    int rc = test::in_child([&] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{16, 16};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
        auto s = state_in(dir.path());
        fill_save_state(*s);
        s->P1_S = "A world with a name long enough to pass the limit";
        Caught c = catch_error([&] { write_save_file(*s); });
        if (c.number != 3) return 11;
        if (c.place.find("\"Ada_001.sav\"") == std::string::npos) return 12;
        if (c.report.find("runtime error 3 (file I/O error)") == std::string::npos) return 13;
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(test::read_file(dir.file("Ada_001.sav")), old);
    EXPECT_EQ(entries(dir.path()), 1u);  // the temporary is gone
}

}  // namespace
}  // namespace tlvx
