// The gamepads' table and the reading of a pad's state into keys, shared by
// the window and the page.
#include "input/pad.hpp"

#include <gtest/gtest.h>

#include <set>

#include "input/key_table.hpp"

using namespace tlvx;
using C = PadControl;

namespace {

// The game rows a key text presses.
std::set<KeyName> rows_pressed(std::string_view text) {
    const std::string cc = " " + std::string(text) + " ";
    std::set<KeyName> names;
    for (const KeyRow& r : key_rows())
        if (r.source == KeySource::Game && key_matches(r, text, cc)) names.insert(r.name);
    return names;
}

// The events of one reading (kept in `out`), as "+text" for a press ("+text*" when it repeats) and
// "-" for a release.
struct Reader {
    PadKeys keys;
    std::vector<PadKey> out;
    std::vector<std::string> read(const PadReading& r, double now, int pad = 0) {
        out.clear();
        keys.read(pad, r, now, out);
        return texts();
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const PadKey& k : out) t.push_back(k.press ? "+" + k.text + (k.repeats ? "*" : "") : "-");
        return t;
    }
};

PadReading with(C c) {
    PadReading r;
    r.set(c, true);
    return r;
}

PadReading left_stick(float x, float y) {
    PadReading r;
    r.left_x = x;
    r.left_y = y;
    return r;
}

using Texts = std::vector<std::string>;

}  // namespace

// Each control presses one row, and its key text presses that row and nothing of another meaning:
// a step key also faces its way, but a facing control must not step (the arrow would).
TEST(PadTable, EachControlsTextPressesItsOwnRowOnly) {
    std::set<C> seen;
    for (const PadRow& row : kPadRows) {
        SCOPED_TRACE(static_cast<int>(row.control));
        EXPECT_TRUE(seen.insert(row.control).second) << "a control with two rows";
        EXPECT_EQ(pad_row(row.control), &row);
        const std::set<KeyName> pressed = rows_pressed(pad_key_text(row));
        EXPECT_TRUE(pressed.contains(row.key));
        const int n = static_cast<int>(row.key);
        const bool step = n >= static_cast<int>(KeyName::StepUp) && n <= static_cast<int>(KeyName::StepLeft);
        std::set<KeyName> allowed{row.key};
        if (step) allowed.insert(static_cast<KeyName>(n + static_cast<int>(KeyName::FaceUp)));
        EXPECT_EQ(pressed, allowed);
    }
    EXPECT_EQ(pad_key_text(*pad_row(C::RightStickRight)), "H");
    EXPECT_EQ(pad_key_text(*pad_row(C::Back)), kKeyEscape);
    EXPECT_EQ(pad_row(C::RightStickPress), nullptr);
}

// Every control of every pad has an id of its own, inside the pads' range, also for pad numbers
// far apart (SDL's instance ids grow with every plug-in).
TEST(PadTable, KeyIdsStandApartInThePadsRange) {
    std::set<int> ids;
    for (int pad : {0, 1, 2, 7})
        for (int c = 0; c < kPadControls; ++c) {
            const int id = pad_key_id(pad, static_cast<C>(c));
            EXPECT_TRUE(kPadKeyIds.holds(id)) << id;
            EXPECT_TRUE(ids.insert(id).second) << pad << " " << c;
        }
    EXPECT_TRUE(kPadKeyIds.holds(pad_key_id(1000003, C::A)));
    EXPECT_TRUE(kPadKeyIds.holds(pad_key_id(-1, C::A)));
}

// A button or the d-pad is a key held: one press that repeats, nothing while it stays held, one
// release of the same key; a second pad's presses and releases are its own.
TEST(PadKeys, ButtonsAreKeysHeldAndEachPadKeepsItsOwn) {
    Reader r;
    EXPECT_EQ(r.read(with(C::DpadRight), 0), (Texts{"+h*"}));
    EXPECT_EQ(r.read(with(C::DpadRight), 0.7), Texts{});
    PadReading both = with(C::DpadRight);
    both.set(C::A, true);
    EXPECT_EQ(r.read(both, 0.8), Texts{"++*"});
    EXPECT_EQ(r.read(with(C::A), 0.9, 1), Texts{"++*"});
    ASSERT_EQ(r.read(with(C::A), 1.0), Texts{"-"});
    EXPECT_EQ(r.out[0].id, pad_key_id(0, C::DpadRight));
    ASSERT_EQ(r.read(PadReading{}, 1.1, 1), Texts{"-"});
    EXPECT_EQ(r.out[0].id, pad_key_id(1, C::A));
    // Pause and road-following are pressed once and never repeat (a repeat would end the pause).
    EXPECT_EQ(r.read(with(C::Start), 2.0), (Texts{"-", "+p"}));
    EXPECT_EQ(r.read(PadReading{}, 2.1), Texts{});
    EXPECT_EQ(r.read(with(C::LeftStickPress), 2.2), Texts{"+."});
}

// A stick inside its dead zone does nothing; pushed past half way it holds one direction, the one
// of its larger axis, and keeps it until back under the release mark, so a stick resting near the
// mark does not step again and again; turned to another way it lets go of the first.
TEST(PadKeys, SticksHaveADeadZoneAndDoNotFlicker) {
    Reader r;
    const std::string up("y"), right("h"), down("b");
    EXPECT_EQ(r.read(left_stick(0.3f, -0.3f), 0), Texts{});
    EXPECT_EQ(r.read(left_stick(0.55f, 0.1f), 0.1), Texts{"+" + right + "*"});
    EXPECT_EQ(r.read(left_stick(0.45f, 0.1f), 0.2), Texts{});
    EXPECT_EQ(r.read(left_stick(0.52f, 0.1f), 0.3), Texts{});
    EXPECT_EQ(r.read(left_stick(0.3f, 0.1f), 0.4), Texts{"-"});
    EXPECT_EQ(r.read(left_stick(0.6f, 0.7f), 0.5), Texts{"+" + down + "*"});
    EXPECT_EQ(r.read(left_stick(0.1f, -0.9f), 0.6), (Texts{"+" + up + "*", "-"}));
    EXPECT_EQ(r.read(left_stick(0, 0), 0.7), Texts{"-"});
    // The right stick only faces, once a push.
    PadReading face;
    face.right_x = -1;
    EXPECT_EQ(r.read(face, 0.8), Texts{"+G"});
    EXPECT_EQ(r.read(face, 1.5), Texts{});
}

// The triggers count once pulled past half way and let go under the release mark.
TEST(PadKeys, TriggersPressPastHalfWay) {
    Reader r;
    PadReading t;
    t.right_trigger = 0.4f;
    EXPECT_EQ(r.read(t, 0), Texts{});
    t.right_trigger = 0.6f;
    EXPECT_EQ(r.read(t, 0.1), Texts{"+f*"});
    t.right_trigger = 0.4f;
    EXPECT_EQ(r.read(t, 0.2), Texts{});
    t.right_trigger = 0.1f;
    t.left_trigger = 1;
    EXPECT_EQ(r.read(t, 0.3), (Texts{"+F*", "-"}));
}

// Back quits only once held for a second: a shorter press does nothing, a long one presses Escape
// once, however long it is held on, and a new press starts the count again.
TEST(PadKeys, QuitNeedsBackHeldForASecond) {
    Reader r;
    const std::string escape = "+" + std::string(kKeyEscape);
    EXPECT_EQ(r.read(with(C::Back), 10), Texts{});
    EXPECT_EQ(r.read(with(C::Back), 10.9), Texts{});
    EXPECT_EQ(r.read(PadReading{}, 10.95), Texts{});
    EXPECT_EQ(r.read(with(C::Back), 11), Texts{});
    EXPECT_EQ(r.read(with(C::Back), 11.99), Texts{});
    EXPECT_EQ(r.read(with(C::Back), 12), Texts{escape});
    EXPECT_EQ(r.read(with(C::Back), 15), Texts{});
    EXPECT_EQ(r.read(PadReading{}, 15.1), Texts{});
    EXPECT_EQ(r.read(with(C::Back), 16), Texts{});
    EXPECT_EQ(r.read(with(C::Back), 17.5), Texts{escape});
}

// A pad that goes away lets go of every key it held, and comes back with nothing held.
TEST(PadKeys, APadGoneLetsGoOfItsKeys) {
    Reader r;
    PadReading r2 = left_stick(0, 1);
    r2.set(C::A, true);
    r2.set(C::Back, true);
    EXPECT_EQ(r.read(r2, 0), (Texts{"++*", "+b*"}));
    r.out.clear();
    r.keys.forget(0, r.out);
    EXPECT_EQ(r.texts(), (Texts{"-", "-"}));
    EXPECT_EQ(r.read(r2, 5), (Texts{"++*", "+b*"})) << "pressed anew, Back not yet held";
}
