// grbl_codes.cpp - the reader's reasons as grbl's error numbers.
#include "grbl/grbl_codes.h"

namespace korva3_grbl {

int error_for(const std::string &reason)
{
    struct Match {
        const char *words;
        int code;
    };
    static const Match kMatches[] = {
        {"no feed rate", kUndefinedFeedRate},
        {"group", kModalGroupViolation},
        {"twice on one line", kWordRepeated},
        {"beyond the card's reach", kInvalidTarget},
        {"radius", kArcRadiusError},
        {"needs", kValueWordMissing},
        {"unused", kUnusedWords},
        {"number", kBadNumberFormat},
        {"letter", kExpectedCommandLetter},
    };
    for (const Match &m : kMatches)
        if (reason.find(m.words) != std::string::npos)
            return m.code;
    return kUnsupportedCommand;
}

std::string feedback(const std::string &reason)
{
    std::string text = reason.rfind("MDI:1: ", 0) == 0 ? reason.substr(7) : reason;
    for (char &c : text)
        if (c == '[' || c == ']' || c == '\r' || c == '\n')
            c = c == ']' ? ')' : c == '[' ? '(' : ' ';
    return "[MSG:" + text + "]\r\n";
}

} // namespace korva3_grbl
