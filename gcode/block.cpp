// block.cpp - reading a line of G-code into words.
#include "gcode/block.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace korva3_gcode {

namespace {

// The largest value a word may have, in size: far beyond any coordinate, feed or dwell
// the card can take (2^31 pulses at the finest scale), and small enough that no sum or
// product the reader forms of such values can overflow a double.
constexpr double kMaxValue = 1e9;

// "(MSG, text)": the text, without the blanks around it.
void message_of(const std::string &comment, std::string &message)
{
    size_t i = comment.find_first_not_of(" \t");
    if (i == std::string::npos || comment.size() < i + 4)
        return;
    std::string head = comment.substr(i, 3);
    for (char &c : head)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    size_t comma = comment.find_first_not_of(" \t", i + 3);
    if (head != "MSG" || comma == std::string::npos || comment[comma] != ',')
        return;
    size_t from = comment.find_first_not_of(" \t", comma + 1);
    size_t to = comment.find_last_not_of(" \t\r");
    message = from == std::string::npos ? "" : comment.substr(from, to + 1 - from);
}

} // namespace

bool strip_line(const std::string &line, std::string &out, std::string &message, std::string &error)
{
    out.clear();
    out.reserve(line.size());
    for (size_t i = 0; i < line.size(); i++) {
        char c = line[i];
        if (c == ';')
            break;
        if (c == '(') {
            size_t close = line.find(')', i);
            if (close == std::string::npos) {
                error = "comment '(' not closed on its line";
                return false;
            }
            if (line.find('(', i + 1) < close) {
                error = "a comment inside a comment: '(' within '( )' (comments do not nest, as "
                        "in LinuxCNC)";
                return false;
            }
            message_of(line.substr(i + 1, close - i - 1), message);
            i = close;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r')
            continue;
        out += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; // as toupper in "C"
    }
    return true;
}

bool read_number(const std::string &text, size_t &i, double &value)
{
    size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        i++;
    size_t digits = 0, points = 0;
    while (i < text.size() && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.')) {
        (text[i] == '.' ? points : digits)++;
        i++;
    }
    if (digits == 0 || points > 1)
        return false;
    value = std::strtod(text.substr(start, i - start).c_str(), nullptr);
    return true;
}

bool read_block(const std::string &line, Block &block, std::string &error, const Values *values)
{
    block = Block{};
    std::string text;
    if (!strip_line(line, text, block.message, error))
        return false;
    if (text == "%") {
        block.percent = true;
        return true;
    }
    size_t i = 0;
    if (!text.empty() && text[0] == '/') {
        block.deleted = true;
        i = 1;
    }
    bool program_number = false;
    while (i < text.size()) {
        char letter = text[i];
        if (letter == '*') { // a printer's checksum: the rest of the line is its number
            block.checksum = true;
            break;
        }
        if (letter == '#' && values) {
            Assignment a;
            if (!values->assignment(text, i, a, error))
                return false;
            block.assignments.push_back(a);
            continue;
        }
        if (letter < 'A' || letter > 'Z') {
            error = std::string("'") + letter + "' starts no word" +
                    (values && letter == '[' ? ": an expression is a word's value (X[1+2])"
                     : letter == '#' || letter == '[' ? " (parameters and expressions are not supported)"
                                                      : "");
            return false;
        }
        i++;
        double value = 0;
        const size_t number = i;
        if (values && values->starts(text, i)) {
            if (!values->read(text, i, value, error)) {
                error = std::string(1, letter) + ": " + error;
                return false;
            }
        } else if (!read_number(text, i, value)) {
            size_t end = i;
            while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end])))
                end++;
            error = std::string(1, letter) + " needs a number";
            if (values && end > i + 1 && end < text.size() && text[end] == '[' && end - i <= 16)
                error = std::string(1, letter) + ": " + text.substr(i, end - i) +
                        " is an unknown function (SIN COS TAN ASIN ACOS ATAN SQRT ABS EXP LN "
                        "ROUND FIX FUP EXISTS)";
            return false;
        }
        if (!(std::fabs(value) <= kMaxValue)) {
            const std::string written = text.substr(number, i - number);
            error = std::string(1, letter) + written.substr(0, 16) +
                    (written.size() > 16 ? "..." : "") + ": out of range (at most 1e9 in size)";
            return false;
        }
        if (letter == 'O') {
            program_number = true;
            continue;
        }
        if (letter == 'N') {
            if (!block.words.empty()) {
                error = "N (line number) must come first on its line";
                return false;
            }
            continue;
        }
        block.words.push_back({letter, value});
    }
    if (program_number && !block.words.empty()) {
        error = "an O-word stands alone on its line, or begins a subroutine or a loop "
                "(sub, call, if, while, do, repeat ...)";
        return false;
    }
    return true;
}

} // namespace korva3_gcode
