#pragma once
#include <functional>
#include <string>
#include <vector>

struct GoldenCase {
    std::string name;
    std::string note;  // what the case proves
    std::function<void(const std::string& dir)> make_world;
    std::string keys;
    std::string clock = "1000:0.01";
    int passes = 100;
    std::vector<std::string> files = {"Pndx_001.sav", "tlvx_gr1.tmp", "tlvx_gr2.tmp", "tlvx_gr3.tmp"};
    bool screenshot = true;
    // A session recorded in the window (cases/<name>/session.tlvxrec) replayed
    // instead of keys and a simulated clock; its trace is not kept (thousands of passes).
    bool recording = false;
};

std::vector<GoldenCase> golden_cases();
