// jog_command.h - grbl's jogging line "$J=G91 G21 X10 F500": G20/G21, G90/G91 and G53
// for this line only (else the modes in force), X Y Z, and F (required); read into a
// target in machine mm and a feed in mm/min. The modal state is never changed.
#ifndef KORVA3_GRBL_JOG_COMMAND_H
#define KORVA3_GRBL_JOG_COMMAND_H

#include <array>
#include <string>

namespace korva3_grbl {

struct JogFrom {
    std::array<double, 3> machine_mm{}; // where the jog starts
    std::array<double, 3> offset_mm{};  // work = machine - offset
    bool inches = false;                // G20 in force
    bool relative = false;              // G91 in force
};

struct JogTarget {
    std::array<double, 3> machine_mm{};
    double feed_mm_min = 0;
};

// The words after "$J=". 0, or grbl's error number.
int read_jog(const std::string &words, const JogFrom &from, JogTarget &target);

} // namespace korva3_grbl

#endif
