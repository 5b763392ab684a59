#include "shell/run_game.hpp"

#include <new>

#include "base/error.hpp"
#include "base/platform.hpp"
#include "base/state.hpp"
#include "shell/game.hpp"

namespace tlvx {

GameResult run_game(State& s, Platform& platform, const std::string& data_dir, int64_t max_passes) {
    s.data_dir = data_dir;
    s.platform = &platform;
    GameResult r;
    try {
        startup(s);
        r.end = run_loop(s, max_passes) == RunEnd::Quit ? GameEnd::Quit : GameEnd::PassLimit;
    } catch (const WorldRefused& e) {
        r = {GameEnd::Refused, 1, e.what()};
    } catch (const FinalSaveFailed& e) {
        r = {GameEnd::SaveFailed, e.number(), final_save_line(e)};
    } catch (const RuntimeError& e) {
        r = {GameEnd::Error, e.number(), error_report(e)};
    } catch (const std::bad_alloc&) {
        // mended: memory running out ends the game with runtime error 4 and
        // its report, whichever front end runs it, not an uncaught exception.
        r = {GameEnd::Error, ERR_OUT_OF_MEMORY,
             error_report(RuntimeError(ERR_OUT_OF_MEMORY, "while allocating memory"))};
    } catch (const StopRun&) {
        r = {GameEnd::Stopped, 0, ""};
    }
    return r;
}

}  // namespace tlvx
