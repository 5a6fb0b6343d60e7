// grbl_settings.h - grbl's '$' settings as this machine has them: steps/mm, highest
// rates and accelerations from the machine file, the path tolerance as $11, the rest at
// grbl's defaults. `$x=v` keeps a value for the session (the report and the status
// mask $10, report inches $13 follow it; the machine file still drives the card).
#ifndef KORVA3_GRBL_SETTINGS_H
#define KORVA3_GRBL_SETTINGS_H

#include <map>
#include <string>

#include "gcode/settings.h"

namespace korva3_grbl {

class GrblSettings {
public:
    explicit GrblSettings(const korva3_gcode::Settings &machine);

    // "$0=10\r\n$1=25\r\n..." as grbl prints them.
    std::string report() const;
    // `$n=v`: 0 when kept, else grbl's error number.
    int set(int number, double value);
    void restore(); // $RST=$: the machine's values again
    double get(int number) const;

    int status_mask() const { return static_cast<int>(get(10)); } // $10
    bool report_inches() const { return get(13) != 0; }           // $13

private:
    std::map<int, double> machine_, values_;
};

} // namespace korva3_grbl

#endif
