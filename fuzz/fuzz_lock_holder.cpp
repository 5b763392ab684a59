// The holder line of a world's lock file, which anyone may have written: any
// bytes give "another program" or "NAME (pid DIGITS)" in printable ASCII, short,
// and a line the lock writes names its program again.
#include <string>

#include "base/world_lock.hpp"
#include "fuzz_support.hpp"

using tlvx::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(tlvx::fuzz::as_text(data, size));
    const std::string holder = tlvx::lock_holder(text);
    for (unsigned char c : holder) check(c >= 0x20 && c < 0x7f, "the holder is printable ASCII");
    check(holder.size() <= 200, "the holder is short");
    if (holder != "another program") {
        const size_t open = holder.rfind(" (pid ");
        check(open != std::string::npos && open > 0 && holder.back() == ')', "the holder is NAME (pid PID)");
        const std::string pid = holder.substr(open + 6, holder.size() - open - 7);
        check(!pid.empty() && pid.size() <= 10 && pid.find_first_not_of("0123456789") == std::string::npos,
              "the pid is 1 to 10 digits");
        check(text.find(pid) != std::string::npos, "the pid is the file's");
    }
    // The line the lock writes for a program of a plain name is read back as that program.
    std::string name;
    for (unsigned char c : text.substr(0, 40))
        if (c > 0x20 && c < 0x7f) name += static_cast<char>(c);
    if (!name.empty())
        check(tlvx::lock_holder(name + " 1234\n" + text) == name + " (pid 1234)", "a written line names its holder");
    return 0;
}
