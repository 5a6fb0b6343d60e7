// o_word_line.h - an O-word line as written: `o100 while [#1 LT 10]`, `o<bolt> call [2]`.
// The line's O-word is read where the line is reached; the index (o_words.h) keeps only
// where each stands.
#ifndef KORVA3_GCODE_O_WORD_LINE_H
#define KORVA3_GCODE_O_WORD_LINE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace korva3_gcode {

enum class Keyword : uint8_t { Sub, Endsub, Call, Return, If, Elseif, Else, Endif, While,
                               Endwhile, Do, Repeat, Endrepeat, Break, Continue };

// A label's characters at most: the number or the name, as parameters' names.
constexpr size_t kMaxLabelChars = 100;

// An O-word line as written, read from the line where it stands.
struct OWordLine {
    Keyword keyword = Keyword::Sub;
    std::string label; // as a person reads it: "o100", "o<BOLTS>"
    std::string rest;  // the line after the keyword (upper case, no blanks): values
};

// The O-word with a keyword at the start of `line` (as read from the file): false when
// it holds none. `bad` gets a message for an O-word that can't be followed.
bool read_o_word_line(const std::string &line, OWordLine &o, std::string &bad);

// "o100 endif", as errors name an O-word.
std::string o_text(const std::string &label, Keyword keyword);

} // namespace korva3_gcode

#endif
