// job_file.cpp - reading a job file within limits.
#include "job/job_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace korva3_tool {

namespace {

std::string reason(int error_number)
{
    return error_number != 0 ? std::string(": ") + std::strerror(error_number) : "";
}

} // namespace

bool read_job_stream(std::istream &in, const std::string &name, std::string &text,
                     std::string &error)
{
    text.clear();
    char chunk[65536];
    size_t line = 1, line_start = 0;
    while (in) {
        in.read(chunk, sizeof chunk);
        const size_t got = static_cast<size_t>(in.gcount());
        if (text.size() + got > kMaxJobBytes) {
            error = name + ": a job holds at most " + std::to_string(kMaxJobBytes >> 20) +
                    " MB; this one is longer";
            return false;
        }
        const size_t from = text.size();
        text.append(chunk, got);
        for (size_t i = from; i < text.size(); i++) {
            if (text[i] == '\n') {
                line++;
                line_start = i + 1;
            } else if (i - line_start >= kMaxLineChars) {
                error = name + ":" + std::to_string(line) + ": line longer than " +
                        std::to_string(kMaxLineChars) + " characters";
                return false;
            }
        }
    }
    if (in.bad()) {
        error = "cannot read " + name;
        return false;
    }
    return true;
}

bool read_job_file(const std::string &path, std::string &text, std::string &error)
{
    if (path == "-")
        return read_job_stream(std::cin, "stdin", text, error);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + " is a directory, not a job file";
        return false;
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path + reason(errno);
        return false;
    }
    return read_job_stream(in, path, text, error);
}

} // namespace korva3_tool
