#include "platform/record/record_platforms.hpp"

#include "input/key_table.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace tlvx {

// --- Recording ------------------------------------------------------------------

template <class F>
void RecordingPlatform::record(F&& write) {
    if (!writer_.failure().empty()) return;
    try {
        write();
    } catch (const RecordingError& e) {
        // mended: a recording that cannot be written no longer ends the game
        // (uncaught, it skipped the quit's save); the game goes on unrecorded.
        std::fprintf(stderr, "%s: %s; the game goes on without recording\n", program_, e.what());
    }
}

void RecordingPlatform::poll(const Screen& screen, KeyQueue& keys, bool paused) {
    // The inner platform sees the game's own queue. The keys this poll brought
    // are the newest min(pushed, waiting) in it: pushing just those again onto
    // the queue as it was before gives the same queue, also when it was full
    // and older keys were dropped.
    const uint64_t before = keys.pushes();
    inner_.poll(screen, keys, paused);
    const size_t n = static_cast<size_t>(std::min<uint64_t>(keys.pushes() - before, keys.size()));
    got_.clear();
    for (size_t i = keys.size() - n; i < keys.size(); ++i) got_.push_back(keys.at(i));
    record([&] { writer_.poll(got_); });
}

double RecordingPlatform::time() {
    const double t = inner_.time();
    record([&] { writer_.time(t); });
    return t;
}

void RecordingPlatform::begin_pass(int64_t pass) {
    inner_.begin_pass(pass);
    record([&] { writer_.begin_pass(); });
}

bool RecordingPlatform::quit_requested() {
    const bool q = inner_.quit_requested();
    if (q) record([&] { writer_.quit(); });
    return q;
}

// --- Replay ---------------------------------------------------------------------

namespace {

const char* what_is(EventKind k) {
    switch (k) {
    case EventKind::BeginPass: return "the start of a pass";
    case EventKind::Time: return "a clock reading";
    case EventKind::Poll:
    case EventKind::EmptyPolls: return "a key poll";
    case EventKind::Quit: return "a request to quit";
    case EventKind::End: return "the end of the session";
    }
    return "something unknown";
}

}  // namespace

const Event* ReplayPlatform::peek() {
    if (!have_next_ && !at_end_) {
        if (reader_.next(next_)) {
            have_next_ = true;
        } else {
            at_end_ = true;
        }
    }
    return have_next_ ? &next_ : nullptr;
}

void ReplayPlatform::mismatch(const char* wanted) {
    const Event* e = peek();
    throw ReplayMismatch("the replay left the recording in pass " + std::to_string(pass_) + ": the game asked for " +
                         wanted + " where the recording has " + (e ? what_is(e->kind) : "nothing more") +
                         " (another program version, or another world?)");
}

void ReplayPlatform::begin_pass(int64_t pass) {
    const Event* e = peek();
    pass_ = pass;
    if (!e || e->kind != EventKind::BeginPass) mismatch("the start of a pass");
    have_next_ = false;
}

double ReplayPlatform::time() {
    const Event* e = peek();
    if (!e || e->kind != EventKind::Time) mismatch("a clock reading");
    have_next_ = false;
    return e->time;
}

void ReplayPlatform::poll(const Screen&, KeyQueue& keys, bool paused) {
    Event* e = const_cast<Event*>(peek());
    if (e && e->kind == EventKind::EmptyPolls) {
        // mended: the pause polls until a key comes and does nothing else, so
        // the whole run of polls that found nothing is used up at once; a
        // crafted count of 2^62 no longer keeps a replay busy for ever.
        if (paused || --e->count == 0) have_next_ = false;
        return;
    }
    if (!e || e->kind != EventKind::Poll) mismatch("a key poll");
    for (std::string& k : e->keys) keys.push(std::move(k));
    have_next_ = false;
}

bool ReplayPlatform::quit_requested() {
    const Event* e = peek();
    if (!e || e->kind != EventKind::Quit) return false;
    have_next_ = false;
    return true;
}

// --- Playback in a window --------------------------------------------------------

namespace {

// A window poll longer than this was held on purpose.
constexpr double kStall = 0.25;

}  // namespace

double PlaybackPlatform::wall() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void PlaybackPlatform::open_screen() {
    window_.open_screen();
    if (on_state) on_state(state_text());
}

std::string PlaybackPlatform::state_text() const {
    char speed[32];
    std::snprintf(speed, sizeof speed, "%g", speed_);
    return held_ ? "playback held" : std::string("playback, speed ") + speed;
}

bool PlaybackPlatform::steer(const std::string& key, double now) {
    double speed = speed_;
    const auto is = [&](KeyName name) { return key_matches(key_row(name), key, " " + key + " "); };
    if (is(KeyName::PlaybackHold)) {
        held_ = !held_;
        synced_ = false;  // the pace starts again from where the playback is
        std::fprintf(stderr, held_ ? "playback held\n" : "playback goes on\n");
        if (on_state) on_state(state_text());
        return true;
    }
    if (is(KeyName::PlaybackStop)) throw StopRun{};
    if (is(KeyName::PlaybackFaster)) speed = std::min(speed_ * 2, 64.0);
    if (is(KeyName::PlaybackSlower)) speed = std::max(speed_ / 2, 1.0 / 8);
    if (speed == speed_) return false;
    sync_recorded_ = last_recorded_;
    sync_wall_ = now;
    speed_ = speed;
    std::fprintf(stderr, "playback speed %g\n", speed_);
    if (on_state) on_state(state_text());
    return true;
}

void PlaybackPlatform::pump(double now) {
    // Before the game's first poll there is no screen to show yet.
    if (screen_) {
        window_.poll(*screen_, steering_, false);
        // The window held the poll (its key help showed): the playback goes on
        // from where it is instead of catching up on the time it stood.
        if (wall() - now > kStall) synced_ = false;
    }
    while (!steering_.empty()) steer(steering_.pop(), now);
    if (window_.quit_requested()) throw StopRun{};
}

void PlaybackPlatform::poll(const Screen& screen, KeyQueue& keys, bool paused) {
    screen_ = &screen;
    pump(wall());
    ReplayPlatform::poll(screen, keys, paused);
}

bool PlaybackPlatform::quit_requested() {
    if (window_.quit_requested()) throw StopRun{};
    return ReplayPlatform::quit_requested();
}

void PlaybackPlatform::wait(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

void PlaybackPlatform::begin_pass(int64_t pass) {
    ReplayPlatform::begin_pass(pass);
    const Event* e = peek();
    if (!e || e->kind != EventKind::Time) return;
    const double target = e->time;
    // Wait until as much real time has passed, at the playback speed, as the
    // recording's clock moved since the last point of reference.
    for (;;) {
        const double now = wall();
        if (!synced_ && !held_) {
            synced_ = true;
            sync_recorded_ = pass == 1 ? target : last_recorded_;
            sync_wall_ = now;
        }
        const double due = sync_wall_ + (target - sync_recorded_) / speed_;
        if (!held_ && now >= due) break;
        const double step = held_ ? 0.01 : std::min(due - now, 0.01);
        wait(step);
        pump(wall());
    }
    last_recorded_ = target;
}

}  // namespace tlvx
