// modal.h - a line's words sorted into their modal groups, as RS274/NGC groups them:
// at most one word of each group on a line (M7 and M8 may stand together), each letter
// of a value word at most once, and only the words this module carries out.
#ifndef KORVA3_GCODE_MODAL_H
#define KORVA3_GCODE_MODAL_H

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gcode/block.h"

namespace korva3_gcode {

enum Group { Motion, NonModal, Plane, Distance, ArcDistance, LatheMode, FeedMode, Units,
             Cutter, Length, Coords, PathControl, Retract, Stop, ToolChange, Spindle, Coolant, kGroups };

// The G words known here by their number times ten, as LineWords keeps them (G92 is
// 920, and G17.1 would be 171). Those marked refused are known only to say why.
enum GCode : int {
    kRapid = 0,              // G0: straight, at the rapid speed
    kLinear = 10,            // G1: straight, at the feed
    kClockwise = 20,         // G2: arc
    kCounterClockwise = 30,  // G3: arc
    kDwell = 40,             // G4 P
    kDiameter = 70,          // G7, refused: lathe diameter mode
    kRadius = 80,            // G8: lathe radius mode, X as it is (the only mode here)
    kPlaneXY = 170,          // G17
    kPlaneXZ = 180,          // G18
    kPlaneYZ = 190,          // G19
    kInches = 200,           // G20
    kMillimetres = 210,      // G21
    kSetCoords = 100,        // G10 L2 / L20 P: a work offset set; L1 / L10 / L11 P: a tool's length
    kHome = 280,             // G28: (through X Y Z) to the G28 position (machine file, G28.1)
    kStoreHome = 281,        // G28.1: the machine's position becomes the G28 position
    kSecondHome = 300,       // G30: as G28, to the G30 position
    kStoreSecondHome = 301,  // G30.1: as G28.1, for G30
    kCutterOff = 400,        // G40
    kCutterLeft = 410,       // G41, refused
    kCutterRight = 420,      // G42, refused
    kLengthOffset = 430,     // G43 (H): the tool table's length of tool H, or of the tool in use
    kLengthDynamic = 431,    // G43.1 Z: the length given
    kLengthOff = 490,        // G49
    kLocalOffset = 520,      // G52 X Y Z: G92's offset gets these values (axes named)
    kMachineCoords = 530,    // G53: this line's G0/G1 in machine coordinates
    kExactStop = 610,        // G61: the machine stands at the end of every move
    kExactPath = 611,        // G61.1: as G61 here
    kBlend = 640,            // G64 (P: the path tolerance; Q taken, not used)
    kFirstCoords = 540,      // G54 .. G59 (590), then G59.1 .. G59.3 (591 .. 593)
    kChipBreak = 730,        // G73: peck drilling, a small retract between pecks
    kMotionOff = 800,        // G80: no motion mode (ends a canned cycle)
    kDrill = 810,            // G81: drill, rapid out
    kDrillDwell = 820,       // G82: drill, dwell P at the bottom, rapid out
    kPeck = 830,             // G83: peck drilling, out to R between pecks
    kBore = 850,             // G85: bore, feed out to R
    kBoreDwell = 890,        // G89: bore, dwell P at the bottom, feed out to R
    kRetractInitial = 980,   // G98: a cycle retracts to the Z it began at (or R, if higher)
    kRetractR = 990,         // G99: a cycle retracts to R
    kAbsolute = 900,         // G90
    kArcAbsolute = 901,      // G90.1: I J K are the centre's coordinates
    kRelative = 910,         // G91
    kArcRelative = 911,      // G91.1: I J K are the centre from the arc's start
    kSetOffset = 920,        // G92
    kClearOffset = 921,      // G92.1: G92's offset zero
    kSuspendOffset = 922,    // G92.2: G92's offset suspended, kept
    kRestoreOffset = 923,    // G92.3: G92's offset in force again
    kInverseTime = 930,      // G93, refused
    kPerMinute = 940,        // G94
    kPerRevolution = 950,    // G95, refused
};

// The M words known here, by their number times ten as the G words.
enum MCode : int {
    kPause = 0,              // M0
    kOptionalPause = 10,     // M1: as M0, unless optional stops are skipped
    kEnd = 20,               // M2
    kSpindleOn = 30,         // M3
    kSpindleReverse = 40,    // M4, refused
    kSpindleOff = 50,        // M5
    kToolChange = 60,        // M6: to the tool T selected, a pause as M0
    kSetTool = 610,          // M61 Q: tool Q is in use, without a change
    kMistOn = 70,            // M7
    kFloodOn = 80,           // M8
    kCoolantOff = 90,        // M9
    kEndAndRewind = 300,     // M30
    kPalletPause = 600,      // M60: pallet change, a pause as M0
};

struct LineWords {
    std::optional<int> codes[kGroups];   // the G or M number times ten (G92 = 920), by group
    bool coolant_on[2] = {false, false}; // M7 (mist), M8 (flood)
    std::map<char, double> values;       // X Y Z I J K R P Q F S L T H, as written
};

// Sorts a block's words. A word that is not carried out, a second word of one group or
// a letter twice adds its message to `errors` and is left out; the other words are
// still sorted, so the line can be read on. False when any was left out.
bool sort_words(const Block &block, LineWords &words, std::vector<std::string> &errors);

// "G92", "M3", "G1.5": the word of `letter` and its number times ten; "12.5" for a value
// (as %g), "12.500" with `decimals` fixed decimals.
std::string word_text(char letter, int code10);
std::string number_text(double value, int decimals = -1);

} // namespace korva3_gcode

#endif
