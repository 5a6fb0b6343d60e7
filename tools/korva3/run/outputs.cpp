// outputs.cpp - checking output files up front, writing them at the end.
#include "run/outputs.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "plot/gcode_plot.h"
#include "plot/svg_plot.h"

namespace korva3_tool {

std::string where(const std::string &path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    return ec ? path : p.string();
}

bool check_writable(const std::string &path, std::string &error)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = "cannot write " + path + ": it is a directory";
        return false;
    }
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (!out) {
        error = "cannot write " + path + (errno ? std::string(": ") + std::strerror(errno) : "");
        return false;
    }
    return true;
}

bool Outputs::open()
{
    if (!csv_path_.empty()) {
        csv_.open(csv_path_, std::ios::binary);
        if (!csv_) {
            std::cerr << "korva3: cannot write " << csv_path_ << "\n";
            return false;
        }
    }
    std::string error;
    if (!plot_path_.empty() && !check_writable(plot_path_, error)) {
        std::cerr << "korva3: --plot: " << error << "\nkorva3: nothing was run\n";
        return false;
    }
    return true;
}

bool Outputs::close(const Recording &recording)
{
    if (!csv_path_.empty()) {
        csv_.close();
        if (!csv_) {
            std::cerr << "korva3: cannot write " << csv_path_ << "\n";
            return false;
        }
        std::cout << "csv: " << where(csv_path_) << "\n";
    }
    if (!plot_path_.empty()) {
        std::ofstream out(plot_path_, std::ios::binary);
        out << (recording.gcode ? gcode_plot(recording) : svg_plot(recording));
        out.close();
        if (!out) {
            std::cerr << "korva3: cannot write " << plot_path_ << "\n";
            return false;
        }
        std::cout << "plot: " << where(plot_path_) << "\n";
    }
    return true;
}

} // namespace korva3_tool
