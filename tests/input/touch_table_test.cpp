// The on-screen controls of the page: each sends the key its label promises,
// as the game's own pass reads it, and the page's numbers stay in bounds.
#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>
#include <tuple>

#include "input/touch_table.hpp"
#include "support/view_world.hpp"

namespace tlvx::test {
namespace {

// The control of that page name.
int control(std::string_view id) {
    for (size_t n = 0; n < std::size(kTouchControls); ++n)
        if (kTouchControls[n].id == id) return static_cast<int>(n);
    ADD_FAILURE() << "no control " << id;
    return -1;
}

// A pass with the key of each control, the player facing right at (10, 8) with
// ground 10, creature 5 and structure 5 in front, does what the control's
// label says, and nothing else moves.
TEST(TouchTable, EachControlDoesWhatItsLabelSays) {
    // After the pass: the player's column, row and facing; the ground, creature and
    // structure in front (at 11, 8); road-following P; the status display I.
    using Seen = std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t>;
    const std::pair<std::string_view, Seen> cases[] = {
        {"step-up", {10, 7, 1, 10, 5, 5, 0, 0}},         {"step-down", {10, 9, 3, 10, 5, 5, 0, 0}},
        {"step-left", {9, 8, 4, 10, 5, 5, 0, 0}},        {"turn-left", {10, 8, 1, 10, 5, 5, 0, 0}},
        {"turn-right", {10, 8, 3, 10, 5, 5, 0, 0}},      {"ground-up", {10, 8, 2, 11, 5, 5, 0, 0}},
        {"ground-down", {10, 8, 2, 9, 5, 5, 0, 0}},      {"creature-up", {10, 8, 2, 10, 6, 5, 0, 0}},
        {"creature-down", {10, 8, 2, 10, 4, 5, 0, 0}},   {"creature-clear", {10, 8, 2, 10, 0, 5, 0, 0}},
        {"structure-up", {10, 8, 2, 10, 5, 6, 0, 0}},    {"structure-down", {10, 8, 2, 10, 5, 4, 0, 0}},
        {"structure-clear", {10, 8, 2, 10, 5, 0, 0, 0}}, {"road", {10, 8, 2, 10, 5, 5, 1, 0}},
        {"status", {10, 8, 2, 10, 5, 5, 0, 1}},
    };
    for (const auto& [id, want] : cases) {
        SCOPED_TRACE(std::string(id));
        ViewWorld w;
        w.s.D2 = 2;
        w.put(kGroundFile, 1, 0, 10);
        w.put(kCreatureFile, 1, 0, 5);
        w.put(kStructureFile, 1, 0, 5);
        const std::optional<TouchKey> k = touch_key(control(id));
        ASSERT_TRUE(k.has_value());
        w.pass(std::string(k->text));
        const auto front = [&](int32_t file) { return cell_read(w.s, file, 11, 8); };
        EXPECT_EQ(Seen(w.s.VX2, w.s.VY2, w.s.D2, front(kGroundFile), front(kCreatureFile), front(kStructureFile), w.s.P,
                       w.s.I),
                  want);
    }
    ViewWorld w;  // the step right, into a free cell (a structure's cell there may block)
    w.s.D2 = 1;
    w.pass(std::string(touch_key(control("step-right"))->text));
    EXPECT_EQ(std::pair(w.s.VX2, w.s.VY2), std::pair(11, 8));
}

// Pause and leave send the keys the pause and the quit test, and only leaving asks first.
TEST(TouchTable, PauseAndLeaveAreThePassKeys) {
    const std::string pause(touch_key(control("pause"))->text), leave(touch_key(control("leave"))->text);
    EXPECT_TRUE(key_matches(key_row(KeyName::Pause), pause, " " + pause + " "));
    EXPECT_EQ(leave, kKeyEscape);
    for (const TouchControl& c : kTouchControls) EXPECT_EQ(c.confirm, c.key == KeyName::Quit) << c.id;
}

// Every control is a key of the game (its text is pressed in the tests above), an id of its
// own in the touch range (or -1: a toggle, which must not repeat) and a name of
// its own for the page; a number from the page that names no control gives nothing.
TEST(TouchTable, IdsTextsAndBounds) {
    std::set<int> ids;
    std::set<std::string_view> names;
    for (int n = 0; n < static_cast<int>(std::size(kTouchControls)); ++n) {
        const TouchControl& c = kTouchControls[n];
        SCOPED_TRACE(std::string(c.id));
        EXPECT_EQ(key_row(c.key).source, KeySource::Game);
        const TouchKey k = *touch_key(n);
        if (c.repeats) EXPECT_TRUE(kTouchKeyIds.holds(k.id) && ids.insert(k.id).second);
        else EXPECT_EQ(k.id, -1);
        EXPECT_TRUE(names.insert(c.id).second);
        EXPECT_FALSE(c.label.empty());
    }
    for (int n : {-1, static_cast<int>(std::size(kTouchControls)), 1 << 30}) EXPECT_FALSE(touch_key(n)) << n;
}

}  // namespace
}  // namespace tlvx::test
