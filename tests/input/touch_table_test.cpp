// The on-screen controls of the page: each sends the key its label promises,
// as the game's own pass reads it, and the page's numbers stay in bounds.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <set>
#include <string>

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
    struct Case {
        std::string_view id;
        std::function<bool(ViewWorld&)> done;
    };
    const auto at = [](ViewWorld& w, int x, int y) { return w.s.VX2 == x && w.s.VY2 == y; };
    const auto front = [](ViewWorld& w, int32_t file) { return cell_read(w.s, file, 11, 8); };
    const Case cases[] = {
        {"step-up", [&](ViewWorld& w) { return at(w, 10, 7) && w.s.D2 == 1; }},
        {"step-down", [&](ViewWorld& w) { return at(w, 10, 9) && w.s.D2 == 3; }},
        {"step-left", [&](ViewWorld& w) { return at(w, 9, 8) && w.s.D2 == 4; }},
        {"turn-left", [&](ViewWorld& w) { return at(w, 10, 8) && w.s.D2 == 1; }},
        {"turn-right", [&](ViewWorld& w) { return at(w, 10, 8) && w.s.D2 == 3; }},
        {"ground-up", [&](ViewWorld& w) { return front(w, kGroundFile) == 11; }},
        {"ground-down", [&](ViewWorld& w) { return front(w, kGroundFile) == 9; }},
        {"creature-up", [&](ViewWorld& w) { return front(w, kCreatureFile) == 6; }},
        {"creature-down", [&](ViewWorld& w) { return front(w, kCreatureFile) == 4; }},
        {"creature-clear", [&](ViewWorld& w) { return front(w, kCreatureFile) == 0; }},
        {"structure-up", [&](ViewWorld& w) { return front(w, kStructureFile) == 6; }},
        {"structure-down", [&](ViewWorld& w) { return front(w, kStructureFile) == 4; }},
        {"structure-clear", [&](ViewWorld& w) { return front(w, kStructureFile) == 0; }},
        {"road", [&](ViewWorld& w) { return w.s.P == 1; }},
        {"status", [&](ViewWorld& w) { return w.s.I == 1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.id));
        ViewWorld w;
        w.s.D2 = 2;
        w.put(kGroundFile, 1, 0, 10);
        w.put(kCreatureFile, 1, 0, 5);
        w.put(kStructureFile, 1, 0, 5);
        const std::optional<TouchKey> k = touch_key(control(c.id));
        ASSERT_TRUE(k.has_value());
        w.pass(std::string(k->text));
        EXPECT_TRUE(c.done(w)) << "at " << w.s.VX2 << "," << w.s.VY2 << " facing " << w.s.D2 << ", front "
                               << front(w, kGroundFile) << "/" << front(w, kCreatureFile) << "/"
                               << front(w, kStructureFile) << ", P " << w.s.P << ", I " << w.s.I;
    }
    // The step right, into a free cell (a structure's cell there may block).
    ViewWorld w;
    w.s.D2 = 1;
    w.pass(std::string(touch_key(control("step-right"))->text));
    EXPECT_TRUE(at(w, 11, 8));
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
