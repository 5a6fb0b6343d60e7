// job_file.h - a job file, read within limits.
#ifndef KORVA3_TOOL_JOB_FILE_H
#define KORVA3_TOOL_JOB_FILE_H

#include <cstddef>
#include <istream>
#include <string>

namespace korva3_tool {

// Limits of a job file: its size in bytes and the length of one line in characters.
inline constexpr std::size_t kMaxJobBytes = 16u << 20;
inline constexpr std::size_t kMaxLineChars = 4096;

// Reads a job from `in` (named `name` in messages) into text. False with a message when
// it is longer than kMaxJobBytes (nothing more is read) or a line is longer than
// kMaxLineChars ("NAME:LINE: ...").
bool read_job_stream(std::istream &in, const std::string &name, std::string &text,
                     std::string &error);

// The same for a file; "-" is standard input. A directory or an unreadable file is an
// error.
bool read_job_file(const std::string &path, std::string &text, std::string &error);

} // namespace korva3_tool

#endif
