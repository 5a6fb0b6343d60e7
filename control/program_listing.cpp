// program_listing.cpp - a program's lines read back from its file.
#include "control/program_listing.h"

#include <algorithm>

namespace korva3_control {

ProgramListing::ProgramListing(const std::string &path) : file_(path, std::ios::binary)
{
    if (!file_)
        return;
    ok_ = true;
    std::vector<char> buf(1 << 16);
    uint64_t at = 0;
    bool line_open = false; // bytes of a line not yet ended
    starts_.push_back(0);
    while (file_.read(buf.data(), static_cast<std::streamsize>(buf.size())) || file_.gcount() > 0) {
        const std::size_t n = static_cast<std::size_t>(file_.gcount());
        for (std::size_t i = 0; i < n; i++) {
            line_open = buf[i] != '\n';
            if (buf[i] == '\n' && ++lines_ % kStride == 0)
                starts_.push_back(at + i + 1);
        }
        at += n;
    }
    if (line_open)
        lines_++;
    file_.clear();
}

std::vector<std::pair<int, std::string>> ProgramListing::lines(int first, int last)
{
    std::vector<std::pair<int, std::string>> out;
    first = std::max(first, 1);
    last = std::min(last, lines_);
    if (!ok_ || first > last)
        return out;
    const std::size_t k = static_cast<std::size_t>((first - 1) / kStride);
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(starts_[std::min(k, starts_.size() - 1)]));
    std::string line;
    for (int n = static_cast<int>(k) * kStride + 1; n <= last && std::getline(file_, line); n++) {
        if (n < first)
            continue;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > kMaxChars)
            line.resize(kMaxChars);
        out.emplace_back(n, line);
    }
    return out;
}

} // namespace korva3_control
