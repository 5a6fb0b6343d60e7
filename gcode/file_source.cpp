// file_source.cpp - the lines of a file, through a buffer of bounded size.
#include <cstring>

#include "gcode/line_source.h"

namespace korva3_gcode {

FileSource::FileSource(const std::string &path)
    : path_(path), in_(path, std::ios::binary), buffer_(kBufferBytes)
{
    if (!in_)
        error_ = "cannot read " + path;
}

bool FileSource::fill()
{
    start_ += size_;
    at_ = size_ = 0;
    if (eof_ || !error_.empty())
        return false;
    in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    size_ = static_cast<size_t>(in_.gcount());
    if (in_.bad()) {
        error_ = "cannot read " + path_;
        return false;
    }
    eof_ = in_.eof();
    return size_ > 0;
}

Got FileSource::next(std::string &line)
{
    line.clear();
    bool any = false, too_long = false;
    for (;;) {
        if (at_ >= size_ && !fill())
            break;
        const char *from = buffer_.data() + at_;
        const size_t left = size_ - at_;
        const char *nl = static_cast<const char *>(std::memchr(from, '\n', left));
        const size_t take = nl ? static_cast<size_t>(nl - from) : left;
        if (!too_long && line.size() + take > kMaxLineBytes) {
            too_long = true;
            line.clear();
        }
        if (!too_long)
            line.append(from, take);
        any = true;
        at_ += take;
        if (nl) {
            at_++;
            break;
        }
    }
    if (!error_.empty())
        return Got::Failed;
    if (!any)
        return Got::End;
    return too_long ? Got::TooLong : Got::Line;
}

bool FileSource::seek(uint64_t at)
{
    if (!error_.empty())
        return false;
    if (at >= start_ && at <= start_ + size_) { // within the buffer: nothing to read
        at_ = static_cast<size_t>(at - start_);
        return true;
    }
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(at));
    if (!in_) {
        error_ = "cannot read " + path_;
        return false;
    }
    start_ = at;
    at_ = size_ = 0;
    eof_ = false;
    return true;
}

std::string FileSource::folder() const
{
    const size_t slash = path_.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path_.substr(0, slash);
}

} // namespace korva3_gcode
