#pragma once
// Platforms that record and replay a session.
//   RecordingPlatform  wraps any platform, passes every call on and writes
//                      each clock reading, each poll's keys and each "quit
//                      requested" answer to a recording.
//   ReplayPlatform     no window: the readings and keys come from a recording.
//   PlaybackPlatform   a recording shown in a window at its recorded pace; the
//                      window's keys steer the playback and never reach the game.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/platform.hpp"
#include "platform/record/recording_reader.hpp"
#include "platform/record/recording_writer.hpp"

namespace tlvx {

class RecordingPlatform : public Platform {
public:
    // `program` starts the one line on standard error that says why the
    // recording stopped, when a write fails; the game then goes on unrecorded.
    RecordingPlatform(Platform& inner, RecordingWriter& writer, const char* program = "tlvx")
        : inner_(inner), writer_(writer), program_(program) {}

    void open_screen() override { inner_.open_screen(); }
    void close_screen() override { inner_.close_screen(); }
    void set_mouse(int x, int y, bool show) override { inner_.set_mouse(x, y, show); }
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override;
    double time() override;
    void begin_pass(int64_t pass) override;
    bool quit_requested() override;

private:
    template <class F>
    void record(F&& write);

    Platform& inner_;
    RecordingWriter& writer_;
    const char* program_;
    std::vector<std::string> got_;  // reused
};

// The game asked for another input than the recording holds at this point:
// another program version or another world.
class ReplayMismatch : public RecordingError {
public:
    using RecordingError::RecordingError;
};

class ReplayPlatform : public Platform {
public:
    explicit ReplayPlatform(RecordingReader& reader) : reader_(reader) {}

    void open_screen() override {}
    void close_screen() override {}
    void set_mouse(int, int, bool) override {}
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override;
    double time() override;
    void begin_pass(int64_t pass) override;
    bool quit_requested() override;

    int64_t pass() const { return pass_; }

protected:
    // The next event without taking it; nullptr when the recording has no more.
    const Event* peek();
    [[noreturn]] void mismatch(const char* wanted);

private:
    RecordingReader& reader_;
    Event next_;
    bool have_next_ = false;
    bool at_end_ = false;
    int64_t pass_ = 0;
};

class PlaybackPlatform : public ReplayPlatform {
public:
    // `window` shows the screen and brings the steering keys.
    PlaybackPlatform(RecordingReader& reader, Platform& window) : ReplayPlatform(reader), window_(window) {}

    void open_screen() override;
    void close_screen() override { window_.close_screen(); }
    void set_mouse(int x, int y, bool show) override { window_.set_mouse(x, y, show); }
    void poll(const Screen& screen, KeyQueue& keys, bool paused) override;
    void begin_pass(int64_t pass) override;

    // Told the playback's state in words ("playback, speed 2", "playback
    // held") when the window opens and whenever it changes; the window shows
    // it in its title.
    std::function<void(const std::string&)> on_state;
    std::string state_text() const;
    bool quit_requested() override;

    double speed() const { return speed_; }
    bool held() const { return held_; }

    // Applies one steering key: space or p pauses and resumes, + or the up
    // arrow doubles the speed, - or the down arrow halves it, Escape ends the
    // playback (StopRun). Other keys do nothing. Returns true when it changed something.
    bool steer(const std::string& key, double now);

protected:
    // Waits `seconds` for the recording's pace (at most 10 ms at a time). A
    // page, which may not block, waits its own way.
    virtual void wait(double seconds);

private:
    void pump(double now);
    static double wall();

    Platform& window_;
    KeyQueue steering_;
    const Screen* screen_ = nullptr;
    double speed_ = 1.0;
    bool held_ = false;
    bool synced_ = false;
    double sync_recorded_ = 0.0, sync_wall_ = 0.0, last_recorded_ = 0.0;
};

}  // namespace tlvx
