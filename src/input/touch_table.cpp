#include "input/touch_table.hpp"

#include <iterator>

namespace tlvx {

static_assert(std::size(kTouchControls) <= static_cast<size_t>(kTouchKeyIds.count),
              "each control has an id of its own in the touch range");

std::optional<TouchKey> touch_key(int n) {
    if (n < 0 || n >= static_cast<int>(std::size(kTouchControls))) return std::nullopt;
    const TouchControl& c = kTouchControls[n];
    return TouchKey{c.repeats ? kTouchKeyIds.id(n) : -1, key_text(key_row(c.key))};
}

}  // namespace tlvx
