// parameters.h - a program's parameters, as RS274/NGC keeps them.
//
//   #1 .. #5601   numbered; #1 .. #30 belong to the subroutine call they are set in (a
//                 call's arguments arrive there), #31 .. #5601 to the whole program
//   #<name>       named, local: seen only in the subroutine call (or the main program)
//                 that set it
//   #<_name>      named, global: a leading "_"
//
// Names are read as the line is, upper case and without blanks (#<Feed Rate> is
// #<FEEDRATE>). A parameter has no value until it is set: reading it then is an error,
// so a misspelt name or a missing argument is caught before anything moves.
//
// The owner of a session keeps one Parameters from program to program (and MDI line
// to MDI line), as LinuxCNC keeps its parameters while it runs.
#ifndef KORVA3_GCODE_PARAMETERS_H
#define KORVA3_GCODE_PARAMETERS_H

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korva3_gcode {

constexpr int kMaxParameter = 5601; // numbered parameters: #1 .. #5601
constexpr int kCallParameters = 30;  // #1 .. #30: a call's own, its arguments
constexpr size_t kMaxNames = 100000; // named parameters set, all calls together

struct ParamRef {
    int number = 0;   // 1 .. kMaxParameter, or 0 for a named one
    std::string name; // upper case, without blanks and without the "<" ">"
};

// "#12", "#<FEED>".
std::string param_text(const ParamRef &ref);

class Parameters {
public:
    Parameters();

    // The value of `ref`; false with a message when it has never been set.
    bool get(const ParamRef &ref, double &value, std::string &error) const;
    bool exists(const ParamRef &ref) const;
    void set(const ParamRef &ref, double value);
    // `ref` was to be set on `line`, whose error kept it from it.
    void not_set(const ParamRef &ref, int line);
    // Setting `ref` would make more than kMaxNames named parameters.
    bool too_many(const ParamRef &ref) const;

    // A subroutine call: #1 .. #n are the arguments, the other call parameters and the
    // local names are unset until the call sets them. back() ends it, and the caller's
    // come back.
    void call(const std::vector<double> &arguments);
    void back();

    // The values predefined by the session (predefined.h), read before any set: #<_x>,
    // #5221 ... An empty function: none. #<_call_level> is the calls' own.
    using Predefined = std::function<bool(const ParamRef &, double &)>;
    void predefine(Predefined values) { predefined_ = std::move(values); }
    // `ref` is predefined: its value now.
    bool predefined(const ParamRef &ref, double &value) const;

    // A program begins (or an MDI line): calls left open by the last one's end (an M2
    // inside a sub) are closed, and what failed to be set on its lines is forgotten.
    void begin();

private:
    struct Frame {
        std::optional<double> numbered[kCallParameters + 1]; // [1] .. [30]
        std::map<std::string, double> names;
    };
    // The number's place, or the name's map.
    std::optional<double> *numbered(int number);
    const std::optional<double> *numbered(int number) const;
    std::map<std::string, double> &names(const std::string &name);
    const std::map<std::string, double> &names(const std::string &name) const;

    std::vector<Frame> frames_;                  // [0]: the main program's
    std::vector<std::optional<double>> global_;  // [31] .. [5601]
    std::map<std::string, double> global_names_; // "_NAME"
    std::map<std::string, int> not_set_;          // "#12", "#<NAME>" -> the line (at
                                                  // most kMaxNames of them)
    size_t names_ = 0;                            // named parameters set, all maps
    Predefined predefined_;
};

} // namespace korva3_gcode

#endif
