#include "base/error.hpp"

#include <gtest/gtest.h>

#include "base/checked.hpp"

namespace tlvx::test {
namespace {

TEST(RuntimeErrorText, DescriptionAndReportShareOneWording) {
    struct Case {
        RuntimeError error;
        const char* description;
    };
    const Case cases[] = {
        {RuntimeError(ERR_FILE_NOT_FOUND, "while opening \"a.txt\""),
         "runtime error 2 (file not found) while opening \"a.txt\""},
        {RuntimeError(99, "somewhere"), "runtime error 99 (unknown error) somewhere"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describe(c.error), c.description);
        EXPECT_EQ(error_report(c.error), std::string("\nAborting due to ") + c.description + "\n\n");
    }
}

TEST(CheckedTable, IndexOutsideTheBoundsIsError6NamingTableAndIndex) {
    Table<int, -3, 3> t("GR");
    t(-3) = 1, t(3) = 2;
    EXPECT_EQ(t(-3) + t(3), 3);
    for (int64_t bad : {int64_t{-4}, int64_t{4}, int64_t{1} << 40}) {
        try {
            (void)t(bad);
            ADD_FAILURE() << bad;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), ERR_OUT_OF_BOUNDS);
            EXPECT_EQ(e.place(), "indexing GR with " + std::to_string(bad));
        }
    }
}

}  // namespace
}  // namespace tlvx::test
