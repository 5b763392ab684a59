#pragma once
// One way to run the game: start-up, the passes and the one mapping of every
// way it can end to a result. The window, the page, the headless runner, the
// recorder and the replay all run the game through it; each only decides how
// to show the result. Nothing here prints.
#include <cstdint>
#include <string>

namespace tlvx {
struct State;
class Platform;

enum class GameEnd {
    Quit,        // Escape, the window closed or a stop signal: the quit saved the world
    PassLimit,   // the pass limit was reached; no quit
    Stopped,     // the backend ended the run early (StopRun); no quit
    Refused,     // the world was refused before anything was opened (WorldRefused)
    SaveFailed,  // the quit's save failed (FinalSaveFailed)
    Error,       // a runtime error; memory running out is runtime error 4
};

struct GameResult {
    GameEnd end = GameEnd::Quit;
    // The exit status: 0 for Quit, PassLimit and Stopped, 1 for Refused, the
    // error's number for SaveFailed and Error.
    int status = 0;
    // Refused and SaveFailed: the one line to show (not yet made printable);
    // Error: the runtime error report; otherwise empty.
    std::string text;
    // True when the game came to its own end (its quit or a runtime error),
    // not cut short by a pass limit, the backend or a refusal.
    bool ended() const { return end == GameEnd::Quit || end == GameEnd::SaveFailed || end == GameEnd::Error; }
};

// Runs the game on `platform` over the world in `data_dir`: start-up, then
// passes until it ends or pass `max_passes` has run. `s` is a fresh state
// (its on_pass_end may be set); it is left as the game left it, so that the
// caller can still show its screen or write its save.
GameResult run_game(State& s, Platform& platform, const std::string& data_dir, int64_t max_passes = INT64_MAX);

}  // namespace tlvx
