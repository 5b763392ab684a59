#pragma once
// What a world looks like as a Tiled map, shared by export and import: the
// tile ids of the two tilesets, the three layers, and the streaming base64 and
// zlib coders that carry layer data.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tlvx::tools::tiled {

constexpr int kTile = 24;          // pixels a side, as a view cell
constexpr int kAtlasColumns = 16;  // 256 tiles in 16 rows of 16
constexpr int kAtlasSide = kTile * kAtlasColumns;

// Global tile ids as export writes them: ground value v is 1 + v, object
// value v (1..255) is 257 + v, object value 0 the empty tile 0. Import takes
// the first ids from the map, so a map whose tilesets were renumbered reads
// the same.
constexpr uint32_t kGroundFirstGid = 1;
constexpr uint32_t kObjectsFirstGid = 257;
// The high bits of a global id that flip or rotate the tile.
constexpr uint32_t kFlipBits = 0xF0000000u;

inline constexpr const char* kGroundTileset = "ground";
inline constexpr const char* kObjectsTileset = "objects";

// A map layer and the layer file it holds (index into kLayerNames).
struct LayerSpec {
    const char* name;
    int file;
    bool objects;  // tiles of the objects tileset, 0 meaning none
};
inline constexpr LayerSpec kLayers[3] = {{"ground", 0, false}, {"structures", 2, true}, {"creatures", 1, true}};

// Receives the bytes a coder produces.
using ByteSink = std::function<void(const uint8_t* data, size_t n)>;

// Base64 of a byte stream fed in pieces of any size.
class Base64Encoder {
public:
    explicit Base64Encoder(ByteSink out) : out_(std::move(out)) {}
    void write(const uint8_t* data, size_t n);
    void finish();  // the last group with its padding

private:
    ByteSink out_;
    uint8_t pending_[3]{};
    size_t npending_ = 0;
    std::string buf_;
};

// Decodes base64 fed in pieces; blanks and line breaks are skipped. Throws
// std::runtime_error on any other character or on a cut-short last group.
class Base64Decoder {
public:
    explicit Base64Decoder(ByteSink out) : out_(std::move(out)) {}
    void write(const char* text, size_t n);
    void finish();

private:
    ByteSink out_;
    uint32_t acc_ = 0;
    int nacc_ = 0;
    int padding_ = 0;
    std::string buf_;
};

// zlib stream compression (the zlib wrapper, as Tiled's "zlib").
class Deflater {
public:
    explicit Deflater(ByteSink out);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    void write(const uint8_t* data, size_t n);
    void finish();

private:
    void run(int flush);
    ByteSink out_;
    z_stream z_{};
    std::string buf_;
};

// Decompression of a zlib or gzip stream (either is recognised by its
// header). Throws std::runtime_error on corrupt data, data after the end of
// the stream, or a stream that is cut short.
class Inflater {
public:
    explicit Inflater(ByteSink out);
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    void write(const uint8_t* data, size_t n);
    void finish();

private:
    ByteSink out_;
    z_stream z_{};
    bool ended_ = false;
    std::string buf_;
};

// A progress bar on standard error, redrawn when its percentage changes;
// does nothing when `on` is false.
class Progress {
public:
    Progress(bool on, const char* verb, int64_t total);
    ~Progress();  // ends the bar's line when it stopped short
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void step(const char* what);  // one of `total` steps done

private:
    bool on_;
    const char* verb_;
    int64_t total_, done_ = 0;
    int shown_ = -1;
};

// The tileset file a map names, as written beside OUT.tmj: OUT-ground.tsj and
// so on. `stem` is the map file's name without its extension.
std::string tileset_file(const std::string& stem, const char* tileset);
std::string atlas_file(const std::string& stem, const char* tileset);

}  // namespace tlvx::tools::tiled
