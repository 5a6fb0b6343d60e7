// toml_file.cpp - a TOML file read within the limits toml11 survives: the file's kind
// and size, then one pass over the text for UTF-8, nesting and dotted keys.
#include "common/toml_file.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korva::toml_file {

namespace {

// What a file that is not a regular one is, for the message.
const char* kind_of(unsigned mode)
{
#ifdef _WIN32
    return (mode & _S_IFMT) == _S_IFDIR ? "a folder" : "a device";
#else
    switch (mode & S_IFMT) {
    case S_IFDIR: return "a folder";
    case S_IFIFO: return "a FIFO";
    case S_IFSOCK: return "a socket";
    case S_IFCHR:
    case S_IFBLK: return "a device";
    default: return "not a file";
    }
#endif
}

// Reads at most kMaxBytes + 1 bytes of a regular file: enough for check() to see that
// it is too long, without reading it all. "" when fine, else why not.
std::string read_regular(const std::string& path, std::string& text)
{
#ifdef _WIN32
    // Windows has no FIFOs among files: opening never waits. A folder cannot be opened
    // at all, so its kind is asked first.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return "not a regular file (a folder)";
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return "cannot be read";
    const int fd = _fileno(f);
    struct _stat64 st;
    std::string why;
    if (_fstat64(fd, &st) != 0)
        why = "cannot be read";
    else if ((st.st_mode & _S_IFMT) != _S_IFREG)
        why = std::string("not a regular file (") + kind_of(st.st_mode) + ")";
    char buffer[65536];
    while (why.empty() && text.size() <= kMaxBytes) {
        const int n = _read(fd, buffer, sizeof buffer);
        if (n < 0)
            why = "cannot be read";
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    std::fclose(f);
#else
    // Non-blocking, so that a FIFO's open does not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "cannot be read";
    struct stat st;
    std::string why;
    if (::fstat(fd, &st) != 0)
        why = "cannot be read";
    else if (!S_ISREG(st.st_mode))
        why = std::string("not a regular file (") + kind_of(st.st_mode) + ")";
    char buffer[65536];
    while (why.empty() && text.size() <= kMaxBytes) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0)
            why = "cannot be read";
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
#endif
    return why;
}

// Length of the UTF-8 sequence at text[i] (1..4), 0 when it is not one (RFC 3629: no
// overlong forms, no surrogates, nothing above U+10FFFF, nothing cut short).
std::size_t utf8_length(const std::string& text, std::size_t i)
{
    auto at = [&](std::size_t k) -> unsigned {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0x100;
    };
    auto tail = [&](std::size_t k) { return at(k) >= 0x80 && at(k) <= 0xBF; };
    const unsigned c = at(0);
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return tail(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
        return at(1) >= lo && at(1) <= hi && tail(2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
        return at(1) >= lo && at(1) <= hi && tail(2) && tail(3) ? 4 : 0;
    }
    return 0;
}

bool bare_key_char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '-';
}

// One pass over valid UTF-8 text: strings and comments skipped as TOML reads them,
// brackets counted, dots counted in each run of key parts ("a . 'b'.c": 3 parts). A
// run is counted wherever it stands (a float's dot counts too): only ever more than
// toml11 would nest.
class Scanner {
public:
    explicit Scanner(const std::string& text) : t_(text) {}

    // "" when the text is within the limits, else what is wrong (at line()).
    std::string run()
    {
        while (i_ < t_.size()) {
            const char c = t_[i_];
            if (c == '#') {
                while (i_ < t_.size() && t_[i_] != '\n')
                    ++i_;
            } else if (c == '"' || c == '\'') {
                skip_string(c);
                continue; // a quoted key part: the run goes on
            } else if (c == '[' || c == '{') {
                if (++depth_ > kMaxNesting)
                    return "arrays and inline tables nested more than " +
                           std::to_string(kMaxNesting) + " deep";
                dots_ = 0;
            } else if (c == '.') {
                if (++dots_ + 1 > kMaxKeyParts)
                    return "a dotted key of more than " + std::to_string(kMaxKeyParts) +
                           " parts";
            } else if (c == ']' || c == '}') {
                depth_ = depth_ > 0 ? depth_ - 1 : 0;
                dots_ = 0;
            } else if (c == '\n') {
                ++line_;
                dots_ = 0;
            } else if (!bare_key_char(c) && c != ' ' && c != '\t') {
                dots_ = 0;
            }
            ++i_;
        }
        return "";
    }

    std::size_t line() const { return line_; }

private:
    // From the opening quote to after the closing one (or the line's end, where TOML
    // ends an unclosed one-line string), counting the lines of multi-line strings.
    void skip_string(char quote)
    {
        const bool multi = t_.compare(i_, 3, std::string(3, quote)) == 0;
        i_ += multi ? 3 : 1;
        while (i_ < t_.size()) {
            const char c = t_[i_];
            if (c == '\n') {
                if (!multi)
                    return;
                ++line_;
            } else if (c == '\\' && quote == '"') {
                const bool at_line_end = i_ + 1 < t_.size() && t_[i_ + 1] == '\n';
                if (at_line_end && !multi) {
                    ++i_; // the line's end ends the string all the same
                    return;
                }
                line_ += at_line_end;
                i_ += 2;
                continue;
            } else if (c == quote && (!multi || t_.compare(i_, 3, std::string(3, quote)) == 0)) {
                i_ += multi ? 3 : 1;
                while (multi && i_ < t_.size() && t_[i_] == quote) // """a"""" ends with a quote
                    ++i_;
                return;
            }
            ++i_;
        }
    }

    const std::string& t_;
    std::size_t i_ = 0;
    std::size_t line_ = 1;
    int depth_ = 0; // open arrays and inline tables (and a table header's brackets)
    int dots_ = 0;  // dots in the current run of key parts
};

std::size_t line_at(const std::string& text, std::size_t end)
{
    std::size_t line = 1;
    for (std::size_t i = 0; i < end && i < text.size(); ++i)
        line += text[i] == '\n';
    return line;
}

std::string located(const std::string& path, std::size_t line, const std::string& what)
{
    return path + ":" + std::to_string(line) + ": " + what;
}

} // namespace

bool check(const std::string& path, const std::string& text, std::string& error)
{
    if (text.size() > kMaxBytes) {
        error = located(path, line_at(text, kMaxBytes),
                        "the file goes on past 1 MiB (" + std::to_string(kMaxBytes) +
                            " bytes at most)");
        return false;
    }
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = utf8_length(text, i);
        if (n == 0) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[i]));
            error = located(path, line_at(text, i),
                            std::string("not UTF-8 text (byte ") + byte + ")");
            return false;
        }
        i += n;
    }
    Scanner scanner(text);
    const std::string what = scanner.run();
    if (!what.empty()) {
        error = located(path, scanner.line(), what);
        return false;
    }
    return true;
}

bool read(const std::string& path, std::string& text, std::string& error)
{
    text.clear();
    const std::string why = read_regular(path, text);
    if (!why.empty()) {
        error = path + ": " + why;
        return false;
    }
    return check(path, text, error);
}

} // namespace korva::toml_file
