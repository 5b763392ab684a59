// The key queue's ring and the mask name written into reused storage.
#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "base/screen_types.hpp"
#include "display/view.hpp"

namespace tlvx::test {
namespace {

// Against a plain queue that drops its oldest key when a 16th arrives, over
// many wraps of the ring.
TEST(KeyQueue, KeepsTheNewestFifteenInOrderAcrossWraps) {
    KeyQueue q;
    std::deque<std::string> model;
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
        if (rng() % 3 != 0) {
            const std::string key = i % 5 == 0 ? std::string("\0H", 2) : std::string(1, char('a' + i % 26));
            q.push(key);
            if (model.size() == KeyQueue::kMax) model.pop_front();
            model.push_back(key);
        } else {
            const std::string want = model.empty() ? "" : model.front();
            if (!model.empty()) model.pop_front();
            ASSERT_EQ(q.pop(), want) << i;
        }
        ASSERT_EQ(q.size(), model.size()) << i;
    }
    q.clear();
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(q.pop(), "");
}

TEST(MaskName, WrittenIntoStorageThatHeldALongerName) {
    std::string mask = "a-much-longer-name-than-any-picture.pic";
    mask_name_into("tree_001.08x", mask);
    EXPECT_EQ(mask, "tree-001.08x");
    mask_name_into("abc", mask);
    EXPECT_EQ(mask, "abc-abc");
    mask_name_into("abcdefghij", mask);
    EXPECT_EQ(mask, "abcd-defghij");
    mask_name_into("", mask);
    EXPECT_EQ(mask, "");
}

}  // namespace
}  // namespace tlvx::test
