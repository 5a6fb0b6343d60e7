// functions.h - the library's 52 functions as a job file names them: name (without the
// KORVA3_ prefix), parameters, and a wrapper that calls the function with integers.
#ifndef KORVA3_TOOL_FUNCTIONS_H
#define KORVA3_TOOL_FUNCTIONS_H

#include <cstdint>
#include <string>
#include <vector>

namespace korva3_tool {

// What a function gives back.
enum class Result { None, Unsigned, Signed, Bits }; // Bits: a register, shown in hex too

struct Function {
    const char *name;   // e.g. "INTP_LINE"
    const char *params; // e.g. "card -du -dv speed": '-' marks a signed parameter
    Result result;
    // Calls the function with args[0..arity-1], already range-checked for their kind.
    int64_t (*call)(const int64_t *args);
};

// Every function, in the order of korva3.h.
const std::vector<Function> &functions();

// The function called `name` (exact, upper case, without the prefix), or null.
const Function *find_function(const std::string &name);

// A function parameter: its name and whether it is signed (int32_t) or not (uint32_t).
struct Param {
    std::string name;
    bool is_signed;
};
std::vector<Param> params_of(const Function &f);

} // namespace korva3_tool

#endif
