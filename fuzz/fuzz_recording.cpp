// The recording reader: any bytes are refused with a message at the header,
// or read event by event up to the end or the first damage, never past it.
// What the summary counts agrees with the events read one by one.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "platform/record/recording_reader.hpp"

using namespace tlvx;
using tlvx::fuzz::check;

namespace {

std::FILE* open_bytes(const uint8_t* data, size_t size) {
    // fmemopen refuses an empty buffer; an empty file reads the same.
    static const uint8_t none = 0;
    return size == 0 ? fmemopen(const_cast<uint8_t*>(&none), 1, "rb")
                     : fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        RecordingReader reader(open_bytes(data, size), "input");
        try {
            const std::vector<EmbeddedFile> copy = reader.world_copy();
            check(copy.size() <= recording_bytes::kMaxCopyFiles, "a world copy holds at most the files a world has");
            int64_t total = 0;
            for (const EmbeddedFile& f : copy) {
                check(recording_bytes::plain_world_name(f.name), "a kept file is a plain name, not hidden");
                total += static_cast<int64_t>(f.bytes.size());
            }
            check(total <= kWorldCopyLimit, "a world copy is no larger than the writer makes it");
        } catch (const RecordingError& e) {
            check(*e.what() != 0, "a damaged world copy is named");
        }
        int64_t begun = 0, keys = 0;
        bool ended = false;
        Event e;
        while (!ended && reader.next(e)) {
            begun += e.kind == EventKind::BeginPass;
            ended = e.kind == EventKind::End;
            if (e.kind == EventKind::Poll) {
                check(!e.keys.empty(), "a poll with keys has keys");
                for (const std::string& k : e.keys) check(!k.empty() && k.size() <= 16, "a key is 1 to 16 bytes");
                keys += static_cast<int64_t>(e.keys.size());
            }
            if (e.kind == EventKind::EmptyPolls)
                check(e.count > 0 && e.count <= recording_bytes::kMaxEmptyPollRun,
                      "a run of empty polls is not empty and no longer than a session makes");
        }
        // The passes of a chunk refused for holding too many are not counted.
        check(reader.passes_before_refused_chunk() == INT64_MAX || !reader.damage().empty(),
              "a refused chunk is named");
        begun = std::min(begun, reader.passes_before_refused_chunk());
        RecordingReader again(open_bytes(data, size), "input");
        const RecordingSummary s = summarize_recording(again);
        check(s.ended == ended, "the summary sees the same end");
        check(s.keys_pressed == keys, "the summary counts the same keys");
        check(s.complete_passes == (ended ? begun : (begun > 0 ? begun - 1 : 0)), "complete passes follow the starts");
    } catch (const RecordingError& e) {
        check(*e.what() != 0, "a refused recording is named");
    }
    return 0;
}
