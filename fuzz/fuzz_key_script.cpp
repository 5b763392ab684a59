// The key script parser: any text either parses or is refused with a message
// naming its line. Every parsed key has a trace name that parses back to the
// same key, so any traced run can be replayed.
#include <string>

#include "fuzz_support.hpp"
#include "platform/headless/key_script.hpp"

using namespace tlvx;
using tlvx::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(fuzz::as_text(data, size));
    std::vector<ScriptedKey> keys;
    try {
        keys = parse_key_script(text);
    } catch (const KeyScriptError& e) {
        check(e.line() >= 1, "a refused line has a number");
        check(std::string(e.what()).find("line " + std::to_string(e.line())) != std::string::npos,
              "the message names the line");
        return 0;
    }
    for (const ScriptedKey& k : keys) {
        check(k.pass >= 1 && !k.key.empty(), "a scripted key has a pass and at least one byte");
        const std::string name = key_name(k.key);
        check(!name.empty() && name.find_first_of(" \t,\"\r\n") == std::string::npos, "a trace name is one CSV field");
        check(parse_key(name) == k.key, "a trace name parses back to its key");
    }
    return 0;
}
