// line_source.h - a program's lines, read one after another from a file in a bounded
// buffer (or from a string), and read again from a byte position: O-word loops and
// subroutines go back to their lines' places in the file, as controls do, so no
// program is ever held whole.
//
// A line is what stands before a '\n' (or the end); its '\r' stays (the reader takes
// it for a blank). A line longer than kMaxLineBytes is not G-code: it is passed over,
// and next() says so.
#ifndef KORVA3_GCODE_LINE_SOURCE_H
#define KORVA3_GCODE_LINE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace korva3_gcode {

constexpr size_t kMaxLineBytes = size_t{1} << 20; // 1 MiB; LinuxCNC takes 256

enum class Got {
    Line,    // `line` holds the next line
    TooLong, // the next line has more than kMaxLineBytes: passed over, `line` empty
    End,     // no line is left
    Failed   // the file could not be read: error() says why
};

class LineSource {
public:
    virtual ~LineSource() = default;
    // The next line into `line` (without its '\n').
    virtual Got next(std::string &line) = 0;
    // The first byte of the line next() reads next.
    virtual uint64_t position() const = 0;
    // Reads on from `at`, a position() given before. False when it can't (error()).
    virtual bool seek(uint64_t at) = 0;
    // Why the last next() or seek() failed ("cannot read t.ngc").
    virtual const std::string &error() const = 0;
    // The folder of the file read ("" for none, "." for the working folder): its
    // o<name> calls look there for NAME.ngc too.
    virtual std::string folder() const { return ""; }
};

// The lines of a string held by the caller (tests, MDI lines, small programs).
class StringSource : public LineSource {
public:
    explicit StringSource(std::string_view text) : text_(text) {}
    Got next(std::string &line) override;
    uint64_t position() const override { return at_; }
    bool seek(uint64_t at) override;
    const std::string &error() const override { return error_; }

private:
    std::string_view text_;
    size_t at_ = 0;
    std::string error_;
};

// The lines of a file, through a buffer of kBufferBytes: a jump back within the
// buffer (a short loop) reads nothing again from the file.
class FileSource : public LineSource {
public:
    static constexpr size_t kBufferBytes = 64 * 1024;

    explicit FileSource(const std::string &path);
    // False (with error()) when the file could not be opened.
    bool good() const { return error_.empty(); }
    Got next(std::string &line) override;
    uint64_t position() const override { return start_ + at_; }
    bool seek(uint64_t at) override;
    const std::string &error() const override { return error_; }
    std::string folder() const override;

private:
    bool fill(); // the buffer from position() on; false at the end or on an error

    std::string path_;
    std::ifstream in_;
    std::vector<char> buffer_;
    uint64_t start_ = 0; // the file's byte at buffer_[0]
    size_t size_ = 0;    // bytes in buffer_
    size_t at_ = 0;      // the next byte to read, in buffer_
    bool eof_ = false;   // the buffer holds the file's end
    std::string error_;
};

} // namespace korva3_gcode

#endif
