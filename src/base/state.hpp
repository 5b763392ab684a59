#pragma once
// The program-wide state: every table and variable of the game, named as the
// game names them. A text whose name ends in `$` in the game's own notation is
// written here with the suffix `_S` (`NM$` is `NM_S`, `CK$` is `CK_S`).
// Routines are free functions taking a State&; nothing lives in globals, so a
// test can build a fresh state over a temporary data directory.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "base/checked.hpp"
#include "base/files.hpp"
#include "base/screen_types.hpp"

namespace tlvx {

class Platform;

// One stream record. Only FILEMODE is used: it holds the file number of the file
// last opened on the slot. The other fields are kept as the record declares them.
struct CSV_TYPE {
    std::string FILENAME;
    int32_t FILEMODE = 0;
    std::string LINEBUFFER;
    int32_t LINEINDEX = 0;
    std::string RESERVEBUFFER;
    std::string QUEUEBUFFER;
    std::string LINEPREFIX;
    std::string LINESUFFIX;
};

struct D_TYPE {
    int32_t X = 0;
    int32_t Y = 0;
};

struct PAL_TYPE {
    int32_t VGA = 0;
    int32_t R = 0;
    int32_t G = 0;
    int32_t B = 0;
};

constexpr size_t kScnBytes = 2352;  // the image buffer: 588 32-bit words

// Storage reused by every picture load and draw, so that the draws of a pass
// allocate nothing once it has grown. No value lives here from one call to the next.
struct Scratch {
    // The first bytes of a picture file: every block file and the headers,
    // colour table and rows of any tile-sized BMP fit.
    std::array<uint8_t, 16384> picture_start{};
    std::array<uint8_t, kScnBytes> picture_row{};  // a BMP row beyond picture_start
    std::string picture_path;                      // the path of the picture being loaded
    std::string mask_name;                         // the mask of the object being drawn
};

struct State {
    // Outside world.
    std::string data_dir = ".";  // every file name is taken relative to it
    Platform* platform = nullptr;
    // Called when a pass ends, and before the save when Escape ends it (trace).
    std::function<void(const State&)> on_pass_end;
    // Set by the tools only: a file name from the world's files that leads out
    // of data_dir (data/stream.hpp name_leaves_folder) is not opened, runtime
    // error 2. The game leaves it false and opens what its tables name.
    bool names_stay_in_folder = false;

    // Files.
    Table<CSV_TYPE, 0, 255> CSV_STREAM{"CSV_STREAM"};  // the stream slots of the text files
    FileTable files;                                   // the open files, by the game's file numbers
    // The file names, empty until start-up gives them (data/world_names.hpp
    // name_world_files).
    std::string OM_S;                // the object table's file name
    std::string GM_S;                // the tile table's file name
    std::string MG_S, MGB_S, MGC_S;  // the ground, creature and structure layers' file names

    // Small tables.
    Table<D_TYPE, 0, 10> D{"D"};            // the step of each facing: 1 up, 2 right, 3 down, 4 left
    Table<int32_t, 0, 10> M{"M"};           // road-following turns
    Table<std::string, 0, 10> A_S{"A$"};    // facing glyphs
    Table<std::string, 0, 10> CK_S{"CK$"};  // blocked-ground lists

    // Save file.
    std::string P1_S;              // world base name
    std::string NM_S;              // character name (start-up's: data/world_names.hpp)
    std::string C1_S, C2_S, C3_S;  // the three carried texts (start-up's: data/world_files.hpp)
    int32_t S = 0;                 // a stored number, read and written back unused
    int32_t O = 0;                 // the setting "o" cycles 1 to 4
    int32_t I = 0;                 // the status panel: redrawn while not 0 ("i")
    int32_t P = 0;                 // road-following: on when 1 (".")

    // World description and tile table.
    std::string P2_S;                      // the world's display name
    std::string P3_S;                      // an unused text
    std::string BM_S;                      // an unused text
    std::string RD_S;                      // the road list: ground values separated by blanks
    int32_t XX = 0, YY = 0;                // two unused numbers
    int32_t SZ = 24;                       // a tile's size in pixels
    int32_t GZ = 256;                      // the number of tile records
    Table<std::string, 0, 256> M_S{"M$"};  // ground picture names
    Table<int32_t, 0, 256> M_TILE{"M"};    // tile colours (the tile table's own M)

    // Object table.
    Table2<std::string, 0, 255, 1, 4> OBJ_S{"OBJ$"};  // the four animation frames' picture names
    Table<int32_t, 0, 255> OBJ{"OBJ"};                // the picture's size, centred in the cell
    Table<int32_t, 0, 255> OBJS{"OBJS"};              // the move chance of a creature
    Table<int32_t, 0, 255> OBJ_M{"OBJ_M"};            // structure mode: 0 blocks, 1 walk over, 2 over, 3 invisible

    // Map and view.
    int32_t WX = 0, WY = 0;                                  // the map's width and height in cells
    int32_t VX1 = 0, VY1 = 0;                                // the position at the start of the pass
    int32_t VX2 = 0, VY2 = 0;                                // the position now
    int32_t D1 = 1, D2 = 1;                                  // the facing at the start of the pass, and now (0 nowhere)
    int32_t G1 = 0, G2 = 0;                                  // the ground under the player then and now
    std::string G2_S;                                        // G2 in the list form road-following searches for
    int32_t XLEFT = -3, XRIGHT = 3, YLEFT = -3, YRIGHT = 3;  // the view's extent around the player
    ViewGrid GR{"GR"}, CR{"CR"}, CS{"CS"};                   // the view's ground, creatures and structures
    ViewGrid LC{"LC"};                                       // creatures already moved in this sweep
    int32_t SCRNUPDT = 0;  // 1: this pass redraws the whole view; 3 at start-up (the next pass does)
    int32_t F2 = 0;        // road-following's candidate turn (1 to 5)

    // Cell drawing (the cell being drawn and the values last read).
    int32_t X = 0, Y = 0;   // the view cell, -3 to 3 each way
    int32_t T = 0, TT = 0;  // its column and row on the screen, 1 to 7
    int32_t Z = 0;          // its ground value
    int32_t CHRB = 0;       // its structure value
    int32_t CHRC = 0;       // its creature value

    // Keys of the pass.
    std::string KEY;   // the key text polled in this pass
    std::string CC_S;  // the key text with a blank before and after

    // Creatures.
    int32_t DIRR = 0;       // the direction a creature tries, 1 to 4
    std::string ACTIONR_S;  // "move" when the creature takes its chance

    // Clock and timers.
    int32_t TIMM = 0, TIMH = 0, TIMD = 0;  // the game clock: minute, hour, day
    int32_t BR = 0, BT = 0;                // the animation tick's mark (a rounded clock reading) and its threshold
    int32_t GC = 1;                        // the animation phase, 1 to 4
    int32_t SB = 0, SA = 0;                // the step tick's mark and its threshold
    int32_t GE = 1;                        // the arm counter, 1 to 4: road-following steps at 4

    // Screen, palette and image buffer.
    int32_t SCRN = 0;                      // the screen mode (13)
    Screen screen;                         // the 320 x 200 indexed picture
    KeyQueue keys;                         // keys waiting for a poll
    Table<PAL_TYPE, 0, 255> PAL{"PAL"};    // the palette as set
    std::array<uint8_t, kScnBytes> SCN{};  // the image buffer pictures are loaded into
    Scratch scratch;

    // Shared random generator: 24-bit state.
    uint32_t rnd_state = 0;

    // Number of the pass running now (1-based; 0 during start-up).
    int64_t pass = 0;

    // The save file between quits: the cell the player left in the last step
    // the save file records (its first position pair, as read at start-up),
    // the text last saved, the second mark (SB) of the last synced save, and how
    // many saves were written while playing.
    int32_t saved_from_x = 0, saved_from_y = 0;
    std::string saved_text;
    double last_durable_save = 0;
    int64_t saves_written = 0;
};

}  // namespace tlvx
