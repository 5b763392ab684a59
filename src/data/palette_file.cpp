#include "data/palette_file.hpp"

#include "base/files.hpp"
#include "base/state.hpp"
#include "data/stream.hpp"
#include "data/text_record.hpp"
#include "data/world_names.hpp"

namespace tlvx {

void read_palette_file(State& s) {
    // mended: the palette is opened by its plain name, so a report naming it
    // shows no ".\\" in front of it.
    stream_reopen(s, 7, kPaletteFileName, FileMode::TextInput);
    const int32_t file = stream_number(s, 7);
    for (int32_t index = kPaletteFileFirst; index <= 255; ++index) {
        PAL_TYPE& e = s.PAL(index);
        e.R = read_item_number(s, file);
        e.G = read_item_number(s, file);
        e.B = read_item_number(s, file);
    }
    stream_close(s, 7);
}

}  // namespace tlvx
