#include "tools/icon.hpp"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "formats/png_writer.hpp"
#include "world/demo_art.hpp"
#include "world/demo_palette.hpp"
#include "world/picture_files.hpp"

namespace tlvx::tools {

IconImage make_icon(int size) {
    if (size < kIconMinSize || size > kIconMaxSize)
        throw world::ToolError("the icon size must be " + std::to_string(kIconMinSize) + " to " +
                               std::to_string(kIconMaxSize) + " pixels, not " + std::to_string(size));
    const std::array<Rgb, 256> palette = world::demo_screen_palette();
    const world::Picture ground = world::art_grass(1);
    const world::Canvas hero = world::art_hero(1);

    IconImage icon;
    icon.size = size;
    icon.scale = size / world::kTile;
    icon.rgba.assign(static_cast<size_t>(size) * size * 4, 0);
    const int offset = (size - world::kTile * icon.scale) / 2;
    auto corner = [](int x, int y) { return (x == 0 || x == world::kTile - 1) && (y == 0 || y == world::kTile - 1); };
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int tx = (x - offset) / icon.scale, ty = (y - offset) / icon.scale;
            if (x < offset || y < offset || tx >= world::kTile || ty >= world::kTile || corner(tx, ty)) continue;
            const uint8_t index = hero.painted(tx, ty) ? hero.at(tx, ty) : ground.at(tx, ty);
            uint8_t* p = &icon.rgba[(static_cast<size_t>(y) * size + x) * 4];
            p[0] = palette[index].r;
            p[1] = palette[index].g;
            p[2] = palette[index].b;
            p[3] = 255;
        }
    return icon;
}

void write_icon_png(const std::string& path, int size) {
    const IconImage icon = make_icon(size);
    PngRowWriter out(path, icon.size, icon.size, PngColour::Rgba);
    for (int y = 0; y < icon.size; ++y) out.write_row(icon.pixel(0, y));
    out.finish();
}

void write_icon_ico(const std::string& path, int size) {
    if (size > kIcoMaxSize)
        throw world::ToolError("an icon file holds icons up to " + std::to_string(kIcoMaxSize) + " pixels, not " +
                               std::to_string(size));
    const std::string png_path = path + ".png.tmp";
    write_icon_png(png_path, size);
    std::ifstream in(png_path, std::ios::binary);
    const std::string png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::remove(png_path.c_str());
    if (png.empty()) throw world::ToolError("cannot read back the icon's PNG \"" + png_path + "\"");
    // The file's header (reserved, type 1 = icon, one image) and the image's
    // directory entry (width and height, 0 standing for 256; no palette;
    // one plane of 32 bits; the image's bytes and where they start).
    std::string ico;
    const auto u16 = [&ico](unsigned v) { ico += char(v & 0xff), ico += char(v >> 8 & 0xff); };
    const auto u32 = [&u16](size_t v) { u16(unsigned(v & 0xffff)), u16(unsigned(v >> 16 & 0xffff)); };
    u16(0), u16(1), u16(1);
    ico += char(size & 0xff), ico += char(size & 0xff), ico += '\0', ico += '\0';
    u16(1), u16(32), u32(png.size()), u32(6 + 16);
    world::write_file_bytes(path, ico + png);
}

}  // namespace tlvx::tools
