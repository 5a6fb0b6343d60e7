// o_words.h - a program's O-words found and matched to each other in a first pass over
// its lines, before any line is followed (control_flow.cpp follows them).
//
// The index is compact and bounded: only the O-words that open, close or leave a block
// (sub, endsub, return, if, elseif, else, endif, while, endwhile, do, repeat,
// endrepeat, break, continue), each with its place in the file (byte and line), its
// label (every label kept once) and the O-word it is matched to. Calls are not
// indexed: the labels called are kept once each and checked against the subs after
// the pass. The values after the keywords are not kept: the follower reads them from
// the line when it reaches it.
#ifndef KORVA3_GCODE_O_WORDS_H
#define KORVA3_GCODE_O_WORDS_H

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gcode/line_source.h"
#include "gcode/o_word_line.h"

namespace korva3_gcode {

// Bounds of the index, whatever the file: labels of at most kMaxLabelChars characters
// (o_word_line.h), at most kMaxLabels labels. The O-words indexed are bounded by
// ReadOptions::max_o_words.
constexpr size_t kMaxLabels = 100000;
constexpr int kMaxLines = 2147483647; // lines of a file: they are numbered by int

// One indexed O-word: 32 bytes.
struct OWord {
    uint64_t at = 0;      // the line's first byte in the file
    uint64_t next_at = 0; // the next line's first byte
    int line = 0;         // line of the file, from 1
    int next = -1;        // matched (an index into the O-words): If, Elseif, Else: the
                          // next branch or the endif; Sub: its endsub; While, Repeat: its
                          // end; Do: its closing while; the ends: their start; Return,
                          // Break, Continue: the sub or loop they leave
    uint32_t label = 0;   // OWordIndex::label(label)
    Keyword keyword = Keyword::Sub;
    bool closes_do = false; // a While that ends a Do loop
};

class OWordIndex {
public:
    uint64_t lines = 0; // lines in the file
    uint64_t bytes = 0; // bytes in the file
    std::vector<OWord> words; // in the order of their lines

    const std::string &label(uint32_t id) const { return labels_[id]; }
    // The label's id, or -1 when no O-word of the file has it.
    long find(std::string_view label) const;
    // The label's id, added when new; -1 past kMaxLabels.
    long add(const std::string &label);
    // The Sub defining the label `id`, or -1.
    int sub(uint32_t id) const { return id < subs_.size() ? subs_[id] : -1; }
    void set_sub(uint32_t id, int k);
    // Why the label `id`, called, is found nowhere.
    const std::string &missing(uint32_t id) const { return missing_.at(id); }
    void set_missing(uint32_t id, const std::string &why) { missing_[id] = why; }
    // The indexed O-word on `line`, or -1.
    int at_line(int line) const;

private:
    std::deque<std::string> labels_; // stable: ids_ views them
    std::unordered_map<std::string_view, uint32_t> ids_;
    std::vector<int> subs_; // label id -> its Sub, -1
    std::unordered_map<uint32_t, std::string> missing_; // label id -> why not found
};

// A line read counts once for the bound of lines read again (ReadOptions::max_reads),
// and once more for every kBytesPerRead bytes: long lines are more work (256 bytes:
// LinuxCNC's longest line).
constexpr size_t kBytesPerRead = 256;
inline int64_t read_units(size_t bytes) { return 1 + static_cast<int64_t>(bytes / kBytesPerRead); }
// What reading the whole indexed file once counts.
inline int64_t file_reads(const OWordIndex &x)
{
    return static_cast<int64_t>(x.lines + x.bytes / kBytesPerRead);
}

// Reads `source` from its start for its O-words (a line whose first word, after any N,
// is O with a keyword; an O-word alone is a program number, read by the Reader),
// indexes at most `max_words` of them, and matches them. Each mismatch is passed to
// `error` (line, message). False when any was; the source is then anywhere. A label
// called that no sub of the file defines is passed to `outside` when given: "" when
// it is found elsewhere (its own file), else why not (an error of each call).
bool match_o_words(LineSource &source, OWordIndex &index, size_t max_words,
                   const std::function<void(int, const std::string &)> &error,
                   const std::function<std::string(const std::string &)> &outside = nullptr);

} // namespace korva3_gcode

#endif
