// machine_file_none.cpp - builds where toml11 is not found: no machine files, the
// settings come from the command line.
#include "gcode/settings.h"

namespace korva3_gcode {

bool read_machine_file(const std::string &path, Settings &, std::string &error)
{
    error = path + ": this build reads no machine files (built without toml11); use --scale";
    return false;
}

} // namespace korva3_gcode
