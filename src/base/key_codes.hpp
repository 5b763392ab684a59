#pragma once
// The two things every key source and the game agree on about keys: the key
// texts of the keys that type no character, and the ranges of key ids.
#include <string_view>

namespace tlvx {

// An extended key's text: byte 0, then the key's scan letter.
constexpr std::string_view kKeyUp{"\0H", 2};
constexpr std::string_view kKeyDown{"\0P", 2};
constexpr std::string_view kKeyLeft{"\0K", 2};
constexpr std::string_view kKeyRight{"\0M", 2};
constexpr std::string_view kKeyHome{"\0G", 2};
constexpr std::string_view kKeyEnd{"\0O", 2};
constexpr std::string_view kKeyPageUp{"\0I", 2};
constexpr std::string_view kKeyPageDown{"\0Q", 2};
constexpr std::string_view kKeyInsert{"\0R", 2};
constexpr std::string_view kKeyDelete{"\0S", 2};
// F1 to F10 are byte 0 and the scan letters ';' to 'D'.
constexpr char kFunctionKeyScan = ';';
// The control keys' one-byte texts.
constexpr std::string_view kKeyEscape{"\x1b"};
constexpr std::string_view kKeyBackspace{"\b"};
constexpr std::string_view kKeyEnter{"\r"};
constexpr std::string_view kKeyTab{"\t"};

// The ids key events carry (KeyEvent::id: a press and its release name the
// same key). Each source numbers its keys in a range of its own, so that keys
// of two sources held at once never share an id; -1 stands outside them all
// (a text that must not repeat).
struct KeyIdRange {
    int first;
    int count;
    constexpr int id(int n) const { return first + n; }
    constexpr bool holds(int id) const { return id >= first && id - first < count; }
};
constexpr KeyIdRange kWindowKeyIds{0, 1 << 10};         // the window's scancodes (SDL has fewer than 512)
constexpr KeyIdRange kBrowserKeyIds{1 << 20, 1 << 20};  // the page's key codes ("KeyA"), hashed
constexpr KeyIdRange kTouchKeyIds{2 << 20, 1 << 12};    // on-screen controls, one id each
constexpr KeyIdRange kPadKeyIds{3 << 20, 1 << 12};      // gamepad buttons and stick directions
static_assert(kWindowKeyIds.first > -1 && kWindowKeyIds.first + kWindowKeyIds.count <= kBrowserKeyIds.first &&
                  kBrowserKeyIds.first + kBrowserKeyIds.count <= kTouchKeyIds.first &&
                  kTouchKeyIds.first + kTouchKeyIds.count <= kPadKeyIds.first,
              "the sources' key ids stand apart, and apart from -1");

}  // namespace tlvx
