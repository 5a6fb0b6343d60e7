// toml_file.h - reading a TOML file a user hands us (a machine description, a G-code
// machine file) so that no file can take the program down.
//
// toml11 reads past the end of some invalid UTF-8, and recurses once per nested array,
// inline table and dotted-key part: a few bytes can crash it, a deep file can overflow
// the stack. So the text is checked before toml11 sees it: a regular file only (never
// a FIFO, a device or a folder), at most kMaxBytes, UTF-8 throughout, arrays and inline
// tables at most kMaxNesting deep, dotted keys of at most kMaxKeyParts parts.
//
// Built into both the virtual card's library and the G-code module (neither's
// interface, so it lives in neither's folder); it uses no toml11 itself.
#ifndef KORVA_COMMON_TOML_FILE_H
#define KORVA_COMMON_TOML_FILE_H

#include <cstddef>
#include <string>

namespace korva::toml_file {

inline constexpr std::size_t kMaxBytes = 1024 * 1024; // bytes of one file (1 MiB)
inline constexpr int kMaxNesting = 32;                // arrays and inline tables, one in another
inline constexpr int kMaxKeyParts = 32;               // parts of one dotted key (a.b.c: 3)

// Reads the file at `path` into `text` and checks it (check(), below). False with
// `error` when it cannot be read ("PATH: cannot be read"), is not a regular file
// ("PATH: not a regular file (a folder)"), or fails a check ("PATH:LINE: what").
bool read(const std::string& path, std::string& text, std::string& error);

// The checks on text already read: size, UTF-8, nesting, dotted keys. False with
// `error` = "PATH:LINE: what is wrong" at the first fault.
bool check(const std::string& path, const std::string& text, std::string& error);

} // namespace korva::toml_file

#endif
