#pragma once
// Plain data of the 320x200 indexed screen and the key queue, shared by the core
// and the platform backends (which only read the surface and fill the queue).
#include <array>
#include <cstdint>
#include <deque>
#include <string>

namespace tlvx {

constexpr int kScreenW = 320;
constexpr int kScreenH = 200;

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct Screen {
    std::array<uint8_t, kScreenW * kScreenH> pixels{};  // palette indices, row-major
    std::array<Rgb, 256> palette{};                      // 8-bit components as shown
    uint32_t palette_serial = 0;                         // bumped on every palette change
    bool open = false;                                   // graphics screen open
    int32_t row = 1, col = 1;                            // text cursor, 1-based
    int32_t fg = 15, bg = 0;                             // text colours
    int32_t text_top = 1, text_bottom = 25;              // text area rows
    int32_t text_cols = 40;                              // 80 once back on the text console

    uint8_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * kScreenW + static_cast<size_t>(x)]; }
    uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * kScreenW + static_cast<size_t>(x)]; }
};

// Keys waiting to be polled: at most 15, a key arriving while 15 wait discards
// the oldest. A key is one byte, or two for an extended key (byte 0 + scan letter).
class KeyQueue {
public:
    static constexpr size_t kMax = 15;
    void push(std::string key) {
        if (q_.size() == kMax) q_.pop_front();
        q_.push_back(std::move(key));
    }
    bool empty() const { return q_.empty(); }
    size_t size() const { return q_.size(); }
    std::string pop() {
        if (q_.empty()) return {};
        std::string k = std::move(q_.front());
        q_.pop_front();
        return k;
    }
    void clear() { q_.clear(); }

private:
    std::deque<std::string> q_;
};

}  // namespace tlvx
