#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/input_file.hpp"
#include "base/stop_signal.hpp"
#include "data/layer.hpp"
#include "tools/tiled_import_data.hpp"
#include "world/picture_files.hpp"
#include "world/staged_files.hpp"
#include "world/world_load.hpp"

namespace tlvx::tools::tiled {

namespace {

using json = nlohmann::json;

constexpr size_t kBuffer = size_t{1} << 20;

// Turns the tile ids of one layer into cell values, checking each one.
class LayerSink {
public:
    LayerSink(const MapPlan& plan, const LayerPlan& layer, LayerOut& out, Progress& progress)
        : plan_(plan), layer_(layer), out_(out), progress_(progress), total_(int64_t{plan.w} * plan.h) {}

    void gid(uint64_t id) {
        if (out_.cells() >= total_) too_many();
        const uint32_t g = static_cast<uint32_t>(id);
        if (id > 0xFFFFFFFFu) refuse_cell("tile id " + std::to_string(id) + ", which no tileset has");
        if (g & kFlipBits)
            refuse_cell("a flipped or rotated tile (tile id " + std::to_string(g) +
                        "); tlvx draws tiles only as they are: undo the flip or rotation in Tiled");
        const GidRange& r = layer_.kind->objects ? plan_.objects : plan_.ground;
        if (g >= r.first && g < r.end) {
            out_.cell(static_cast<uint8_t>(g - r.first));
        } else if (g == 0 && layer_.kind->objects) {
            out_.cell(0);
        } else if (g == 0) {
            refuse_cell("no tile; every ground cell needs a tile of the ground tileset");
        } else {
            refuse_cell("tile id " + std::to_string(g) + ", which is not a tile of the " +
                        (layer_.kind->objects ? kObjectsTileset : kGroundTileset) + " tileset");
        }
        if (out_.cells() % plan_.w == 0) {
            progress_.step(layer_.kind->name);
            check_stop();
        }
    }
    // The ids as little-endian 32-bit numbers, in pieces of any size.
    void bytes(const uint8_t* d, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            acc_ |= uint32_t{d[i]} << (8 * nacc_);
            if (++nacc_ == 4) {
                gid(acc_);
                acc_ = 0;
                nacc_ = 0;
            }
        }
    }
    void base64(const std::string& text) {
        if (!layer_.base64) malformed("holds a text where its CSV data should be");
        seen_ = true;
        try {
            auto to_cells = [this](const uint8_t* d, size_t n) { bytes(d, n); };
            if (layer_.compressed) {
                Inflater unzip(to_cells);
                Base64Decoder dec([&](const uint8_t* d, size_t n) { unzip.write(d, n); });
                dec.write(text.data(), text.size());
                dec.finish();
                unzip.finish();
            } else {
                Base64Decoder dec(to_cells);
                dec.write(text.data(), text.size());
                dec.finish();
            }
        } catch (const world::ToolError&) {
            throw;
        } catch (const std::runtime_error& e) {
            malformed(std::string("has unreadable data: ") + e.what());
        }
        if (nacc_ != 0) malformed("has data that ends inside a tile id");
    }
    void begin_csv() {
        if (layer_.base64) malformed("holds an array where its base64 data should be");
        seen_ = true;
    }
    void check_complete() const {
        if (!seen_) malformed("has no data");
        if (out_.cells() < total_)
            malformed("holds " + std::to_string(out_.cells()) + " tiles; the map's " + std::to_string(plan_.w) + " x " +
                      std::to_string(plan_.h) + " needs " + std::to_string(total_));
    }
    [[noreturn]] void malformed(const std::string& what) const {
        throw world::ToolError("layer " + std::string(layer_.kind->name) + " of " + plan_.in + " " + what);
    }

private:
    [[noreturn]] void too_many() const {
        malformed("holds more tiles than the map's " + std::to_string(plan_.w) + " x " + std::to_string(plan_.h));
    }
    [[noreturn]] void refuse_cell(const std::string& what) const {
        const int64_t i = out_.cells();
        const int64_t x = i % plan_.w, y = i / plan_.w;
        const int64_t c0 = plan_.region ? plan_.region->x : 1, r0 = plan_.region ? plan_.region->y : 1;
        throw world::ToolError("cell (column " + std::to_string(c0 + x) + ", row " + std::to_string(r0 + y) +
                               ") of layer " + layer_.kind->name + " (x " + std::to_string(x) + ", y " +
                               std::to_string(y) + " in Tiled) holds " + what);
    }

    const MapPlan& plan_;
    const LayerPlan& layer_;
    LayerOut& out_;
    Progress& progress_;
    int64_t total_;
    uint32_t acc_ = 0;
    int nacc_ = 0;
    bool seen_ = false;
};

// Follows the map's structure and hands the "data" of the top-level layers
// to their sinks; everything else is only walked through.
class DataReader : public nlohmann::json_sax<json> {
public:
    DataReader(const std::string& path, std::vector<LayerSink*> by_index) : path_(path), sinks_(std::move(by_index)) {}

    bool null() override { return scalar(); }
    bool boolean(bool) override { return scalar(); }
    bool number_integer(number_integer_t v) override {
        if (LayerSink* s = csv_target()) {
            if (v < 0) s->malformed("holds the negative tile id " + std::to_string(v));
            s->gid(static_cast<uint64_t>(v));
            return true;
        }
        return scalar();
    }
    bool number_unsigned(number_unsigned_t v) override {
        if (LayerSink* s = csv_target()) {
            s->gid(v);
            return true;
        }
        return scalar();
    }
    bool number_float(number_float_t, const string_t&) override { return scalar(); }
    bool string(string_t& v) override {
        if (LayerSink* s = data_target()) {
            s->base64(v);
            return true;
        }
        return scalar();
    }
    bool binary(binary_t&) override { return scalar(); }
    bool start_object(std::size_t) override {
        if (LayerSink* s = data_target()) s->malformed("holds an object as its data");
        if (LayerSink* s = csv_target()) s->malformed("holds a value that is not a tile id");
        return open(true);
    }
    bool key(string_t& k) override {
        stack_.back().key = k;
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override {
        if (LayerSink* s = csv_target()) s->malformed("holds an array inside its data");
        LayerSink* s = data_target();
        if (s) s->begin_csv();
        open(false);
        stack_.back().csv = s;
        return true;
    }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t pos, const std::string&, const nlohmann::detail::exception& e) override {
        throw world::ToolError(json_fault_message(path_, pos, e.id));
    }

private:
    struct Frame {
        bool object = false;
        std::string key;           // objects: the key of the value being read
        int64_t index = -1;        // arrays: the index of the value being read
        LayerSink* csv = nullptr;  // the data array of a layer
    };
    // Called for every value before it is read.
    void count() {
        if (!stack_.empty() && !stack_.back().object) ++stack_.back().index;
    }
    bool open(bool object) {
        count();
        stack_.push_back(Frame{object, {}, -1, nullptr});
        return true;
    }
    bool close() {
        stack_.pop_back();
        return true;
    }
    bool scalar() {
        if (LayerSink* s = csv_target()) s->malformed("holds a value that is not a tile id");
        if (LayerSink* s = data_target()) s->malformed("holds neither an array nor a text as its data");
        count();
        return true;
    }
    // The layer whose "data" value is about to be read, if any.
    LayerSink* data_target() const {
        if (stack_.size() != 3 || !stack_[0].object || stack_[0].key != "layers" || stack_[1].object ||
            !stack_[2].object || stack_[2].key != "data")
            return nullptr;
        const int64_t i = stack_[1].index;
        return i >= 0 && i < static_cast<int64_t>(sinks_.size()) ? sinks_[static_cast<size_t>(i)] : nullptr;
    }
    LayerSink* csv_target() const { return stack_.empty() ? nullptr : stack_.back().csv; }

    std::string path_;
    std::vector<LayerSink*> sinks_;
    std::vector<Frame> stack_;
};

}  // namespace

LayerOut::LayerOut(world::StagedFiles& staged, const std::string& dir, const char* name, int32_t w, int32_t h)
    : path_(world::join_path(dir, name)), out_(staged.add(path_)), w_(w), h_(h) {
    // Header: the map size; row 0 as the old file has it.
    const world::LayerReader old(path_);
    buf_.reserve(kBuffer);
    const std::array<uint8_t, 4> header = layer_header(w, h);
    buf_.assign(header.begin(), header.end());
    buf_.resize(kLayerHeaderBytes + static_cast<size_t>(w));
    old.read(kLayerHeaderBytes, buf_.data() + kLayerHeaderBytes, static_cast<size_t>(w));
}

LayerOut::LayerOut(world::StagedFiles& staged, const std::string& dir, const char* name, int32_t world_w,
                   const CellRegion& region)
    : path_(world::join_path(dir, name)), out_(staged.add(path_)), w_(world_w), region_(region) {
    // The old file's bytes are read again row by row in put_region_row():
    // the copy holds the same bytes until that row is written.
    old_file_ = std::make_unique<world::LayerReader>(path_);
    if (old_file_->exists()) world::copy_keeping_holes(path_, out_);
    buf_.reserve(static_cast<size_t>(region.w));
}
void LayerOut::flush() {
    // Blocks of zeros are skipped and stay holes, so a sparse map stays
    // sparse on disk; finish() sets the length.
    constexpr int64_t kBlock = 64 * 1024;
    size_t at = 0;
    while (at < buf_.size()) {
        const int64_t pos = pos_ + static_cast<int64_t>(at);
        const size_t n = std::min(static_cast<size_t>(kBlock - pos % kBlock), buf_.size() - at);
        const uint8_t* block = buf_.data() + at;
        if (block[0] != 0 || std::memcmp(block, block + 1, n - 1) != 0) out_.write_at(pos, block, n);
        at += n;
    }
    pos_ += static_cast<int64_t>(buf_.size());
    buf_.clear();
}

void LayerOut::put_region_row() {
    // Only the span from the first to the last changed cell is written.
    const CellRegion& reg = *region_;
    const int64_t row = reg.y + (cells_ - 1) / reg.w;
    const int64_t at = layer_offset(w_, reg.x, row).value();
    old_.resize(buf_.size());
    old_file_->read(at, old_.data(), old_.size());
    size_t first = 0, last = buf_.size();
    while (first < last && buf_[first] == old_[first]) ++first;
    while (last > first && buf_[last - 1] == old_[last - 1]) --last;
    if (first < last) out_.write_at(at + static_cast<int64_t>(first), buf_.data() + first, last - first);
    buf_.clear();
}

void LayerOut::cell(uint8_t v) {
    buf_.push_back(v);
    ++cells_;
    if (region_) {
        if (buf_.size() == static_cast<size_t>(region_->w)) put_region_row();
    } else if (buf_.size() >= kBuffer) {
        flush();
    }
}

void LayerOut::finish() {
    if (!region_) {
        // Bytes after the last cell are no part of the map; they are kept as they were.
        const world::LayerReader old(path_);
        const int64_t end = layer_file_length(w_, h_);
        for (int64_t pos = end; pos < old.size(); pos += static_cast<int64_t>(kBuffer)) {
            flush();
            buf_.resize(static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(kBuffer), old.size() - pos)));
            old.read(pos, buf_.data(), buf_.size());
        }
        flush();
        out_.set_length(pos_);
    }
    out_.finish();
}

void stream_layer_data(const MapPlan& plan, const std::array<LayerOut*, 3>& outs, Progress& progress) {
    std::vector<std::unique_ptr<LayerSink>> sinks;
    std::vector<LayerSink*> by_index;
    for (size_t k = 0; k < 3; ++k) {
        const LayerPlan& lp = plan.layers[k];
        sinks.push_back(std::make_unique<LayerSink>(plan, lp, *outs[k], progress));
        if (by_index.size() <= static_cast<size_t>(lp.index)) by_index.resize(static_cast<size_t>(lp.index) + 1);
        by_index[static_cast<size_t>(lp.index)] = sinks.back().get();
    }
    // Read again by name: only a regular file, and never waiting (the file
    // may have been replaced since the first reading).
    InputFile in = open_input_file(plan.path, InputLinks::Follow);
    if (!in) throw world::ToolError(plan.in + " " + in.why);
    struct Closer {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<FILE, Closer> f(::fdopen(in.fd, "rb"));
    if (!f) throw world::ToolError("cannot read " + plan.in + ": " + std::strerror(errno));
    in.release();
    DataReader reader(plan.path, by_index);
    json::sax_parse(f.get(), &reader);
    for (const auto& s : sinks) s->check_complete();
}

}  // namespace tlvx::tools::tiled
