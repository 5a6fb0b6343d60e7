// request_head.h - what the head gate makes of a request's line and headers before
// anyone parses them: refused at once (and why), or how many bytes of body follow.
// cpp-httplib parses some headers with std::regex (Range) or takes on bodies of their
// own kinds (multipart forms, chunks); none of those is anything the page sends, so they
// are refused here, at the cost of one pass over the head.
#ifndef KORVA_SIM_PANEL_REQUEST_HEAD_H
#define KORVA_SIM_PANEL_REQUEST_HEAD_H

#include <cstddef>
#include <string_view>

namespace korva::sim::panel {

struct HeadVerdict {
    const char* refusal = nullptr; // a status line ("416 Range Not Satisfiable"), or none
    std::size_t body = 0;          // bytes of body after the head (Content-Length; none: 0)
};

// `head`: the request line and headers up to and with the blank line, within
// kMaxHeadBytes. Refused: Range (416), Transfer-Encoding (411), a multipart Content-Type
// (415), a Content-Length that is no number, given twice, or beyond kMaxBodyBytes (413).
// A request without Content-Length has no body (as HTTP/1.1 says of requests).
HeadVerdict judge_head(std::string_view head);

} // namespace korva::sim::panel

#endif
