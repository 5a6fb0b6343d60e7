// request_head.cpp - a request's headers judged in one pass, before cpp-httplib sees them.
#include "request_head.h"

#include <cctype>

#include "limits.h"

namespace korva::sim::panel {

namespace {

bool same_name(std::string_view a, std::string_view b) // ASCII, any case
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i])
            return false;
    return true;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

HeadVerdict judge_head(std::string_view head)
{
    HeadVerdict v;
    bool has_length = false;
    std::size_t at = head.find("\r\n"); // past the request line
    while (at != std::string_view::npos && at + 2 < head.size()) {
        const std::size_t from = at + 2;
        at = head.find("\r\n", from);
        const std::string_view line = head.substr(from, at - from);
        const std::size_t colon = line.find(':');
        if (line.empty() || colon == std::string_view::npos)
            continue; // the blank line; a line that is no header is cpp-httplib's to refuse
        const std::string_view name = line.substr(0, colon), value = trimmed(line.substr(colon + 1));
        if (same_name(name, "range"))
            return {"416 Range Not Satisfiable", 0};
        if (same_name(name, "transfer-encoding"))
            return {"411 Length Required", 0};
        if (same_name(name, "content-type") && same_name(value.substr(0, 10), "multipart/"))
            return {"415 Unsupported Media Type", 0};
        if (same_name(name, "content-length")) {
            if (has_length || value.empty() || value.size() > 9 ||
                value.find_first_not_of("0123456789") != std::string_view::npos)
                return {"413 Payload Too Large", 0};
            std::size_t n = 0;
            for (char c : value)
                n = n * 10 + static_cast<std::size_t>(c - '0');
            if (n > kMaxBodyBytes)
                return {"413 Payload Too Large", 0};
            has_length = true;
            v.body = n;
        }
    }
    return v;
}

} // namespace korva::sim::panel
