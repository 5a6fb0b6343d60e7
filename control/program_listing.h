// program_listing.h - lines of a program's file around a given line, for a front end's
// listing, in bounded memory whatever the file's length: the file is read again, from
// the nearest of a sparse set of remembered line starts (one every kStride lines).
#ifndef KORVA3_CONTROL_PROGRAM_LISTING_H
#define KORVA3_CONTROL_PROGRAM_LISTING_H

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace korva3_control {

class ProgramListing {
public:
    static constexpr int kStride = 1024;          // lines between remembered starts
    static constexpr std::size_t kMaxChars = 100; // of each line given

    explicit ProgramListing(const std::string &path);
    bool ok() const { return ok_; }
    int lines() const { return lines_; }
    // Lines first..last (1-based, clipped to the file), each cut to kMaxChars.
    std::vector<std::pair<int, std::string>> lines(int first, int last);

private:
    std::ifstream file_;
    std::vector<uint64_t> starts_; // byte offset of line 1, 1 + kStride, ...
    int lines_ = 0;
    bool ok_ = false;
};

} // namespace korva3_control

#endif
