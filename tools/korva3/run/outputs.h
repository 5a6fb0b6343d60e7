// outputs.h - the files a run leaves: the CSV of every executed position, written while
// it runs, and the plot, written at the end. Both are checked before anything moves.
#ifndef KORVA3_TOOL_OUTPUTS_H
#define KORVA3_TOOL_OUTPUTS_H

#include <fstream>
#include <string>

#include "record/recording.h"

namespace korva3_tool {

// A file name as the absolute path printed after writing it.
std::string where(const std::string &path);

// Whether `path` can be written, found before anything runs. Creates the file if it is
// not there yet (it is written later anyway) and leaves an existing one as it is.
bool check_writable(const std::string &path, std::string &error);

class Outputs {
public:
    Outputs(std::string plot_path, std::string csv_path)
        : plot_path_(std::move(plot_path)), csv_path_(std::move(csv_path)) {}

    // Opens the CSV file and checks the plot's. False with the message printed.
    bool open();

    // Where the run writes its CSV (null: no CSV).
    std::ostream *csv() { return csv_path_.empty() ? nullptr : &csv_; }

    // Closes the CSV file and draws the plot, naming each file written on standard
    // output. False when one could not be written (the message printed).
    bool close(const Recording &recording);

private:
    std::string plot_path_, csv_path_;
    std::ofstream csv_;
};

} // namespace korva3_tool

#endif
