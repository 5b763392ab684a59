#pragma once
// Plain data of the 320x200 indexed screen and the key queue, shared by the core
// and the platform backends (which only read the surface and fill the queue).
#include <array>
#include <cstdint>
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
    std::array<Rgb, 256> palette{};                     // 8-bit components as shown
    uint32_t palette_serial = 0;                        // bumped on every palette change
    bool open = false;                                  // graphics screen open
    int32_t row = 1, col = 1;                           // text cursor, 1-based
    int32_t fg = 15, bg = 0;                            // text colours
    int32_t text_top = 1, text_bottom = 25;             // text area rows
    int32_t text_cols = 40;                             // 80 once back on the text console
    uint32_t bells = 0;                                 // byte 7 printed so far: the window beeps

    uint8_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * kScreenW + static_cast<size_t>(x)]; }
    uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * kScreenW + static_cast<size_t>(x)]; }
};

// Keys waiting to be polled: at most 15, a key arriving while 15 wait discards
// the oldest. A key is one byte, or two for an extended key (byte 0 + scan letter).
class KeyQueue {
public:
    static constexpr size_t kMax = 15;
    void push(std::string key) {
        if (size_ == kMax) pop();
        keys_[(head_ + size_) % kMax] = std::move(key);
        ++size_;
        ++pushes_;
    }
    bool empty() const { return size_ == 0; }
    size_t size() const { return size_; }
    std::string pop() {
        if (size_ == 0) return {};
        std::string k = std::move(keys_[head_]);
        head_ = (head_ + 1) % kMax;
        --size_;
        return k;
    }
    void clear() { head_ = size_ = 0; }
    // The i-th waiting key, 0 the oldest (i < size()).
    const std::string& at(size_t i) const { return keys_[(head_ + i) % kMax]; }
    // Keys pushed since the queue was made, counting those it discarded.
    uint64_t pushes() const { return pushes_; }

private:
    // A ring of fixed size: a key passing through allocates nothing.
    std::array<std::string, kMax> keys_;
    size_t head_ = 0, size_ = 0;
    uint64_t pushes_ = 0;
};

}  // namespace tlvx
