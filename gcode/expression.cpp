// expression.cpp - reading and evaluating parameters and [ ] expressions.
//
// A recursive descent over the line's text: value() reads one value (a number, a
// parameter, a bracketed expression, a function, or a sign before one of these),
// binary() joins values by operators of at least a given level, left to right.
#include "gcode/expression.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string_view>

#include "gcode/modal.h"
#include "planner/geometry.h"

namespace korva3_gcode {

namespace {

constexpr double kMaxWritten = 1e9;   // a number written in an expression, as in a word
constexpr int kMaxDepth = 64;         // brackets, signs, functions and ## nested
constexpr size_t kMaxName = 100;      // characters of a parameter's name
constexpr double kEqualWithin = 1e-6;   // comparisons: values this close are equal
constexpr double kDegree = korva3_planner::kPi / 180;

struct Operator {
    const char *text;
    int level; // 5 binds tightest
};

// Longer texts first where one begins another ("**" before "*").
const Operator kOperators[] = {
    {"**", 5}, {"*", 4},  {"/", 4},  {"MOD", 4}, {"+", 3},  {"-", 3},  {"EQ", 2},
    {"NE", 2}, {"GT", 2}, {"GE", 2}, {"LT", 2},  {"LE", 2}, {"AND", 1}, {"OR", 1},
    {"XOR", 1},
};

const char *const kFunctions[] = {"ABS", "ACOS", "ASIN", "ATAN", "COS", "EXISTS", "EXP",
                                  "FIX", "FUP", "LN", "ROUND", "SIN", "SQRT", "TAN"};

// Whether `what` stands at text[i] (its first character tried first: the common miss).
bool at(const std::string &text, size_t i, const char *what)
{
    if (i >= text.size() || text[i] != what[0])
        return false;
    const size_t n = std::strlen(what);
    return i + n <= text.size() && std::memcmp(text.data() + i, what, n) == 0;
}

// The function whose name and '[' stand at text[i], or nullptr.
const char *function_at(const std::string &text, size_t i)
{
    for (const char *f : kFunctions)
        if (at(text, i, f) && at(text, i + std::char_traits<char>::length(f), "["))
            return f;
    return nullptr;
}

// The steps a reading has taken, against its bound.
struct Steps {
    int64_t &taken;
    int64_t most;
};

class Parser {
public:
    Parser(const std::string &text, size_t &i, const Parameters &p, Steps steps,
           std::string &error)
        : text_(text), i_(i), params_(p), steps_(steps), error_(error) {}

    bool value(double &v);
    bool reference(ParamRef &ref);

private:
    bool binary(int level, double &v);
    bool bracketed(double &v); // "[expression]" at i_
    bool function(const char *name, double &v);
    bool apply(const Operator &op, double a, double b, double &v);
    bool operator_at(const Operator *&op) const;

    bool fail(const std::string &what)
    {
        error_ = what;
        return false;
    }
    // `what` names the computation, made only for the message.
    template <class What> bool finite(double v, const What &what)
    {
        return std::isfinite(v) ? true : fail(what() + ": the result is too large");
    }
    bool step()
    {
        if (++steps_.taken <= steps_.most)
            return true;
        steps_.taken = steps_.most + 1; // stays past the bound, whatever comes
        return fail("more than " + std::to_string(steps_.most) +
                    " expression steps (--max-expression-steps N allows more)");
    }

    const std::string &text_;
    size_t &i_;
    const Parameters &params_;
    Steps steps_;
    std::string &error_;
    int depth_ = 0;
};

bool Parser::operator_at(const Operator *&op) const
{
    for (const Operator &o : kOperators)
        if (at(text_, i_, o.text)) {
            op = &o;
            return true;
        }
    return false;
}

bool Parser::value(double &v)
{
    struct Deeper { // each value inside another counts once towards the bound
        int &d;
        explicit Deeper(int &depth) : d(++depth) {}
        ~Deeper() { --d; }
    } deeper(depth_);
    if (depth_ > kMaxDepth)
        return fail("nested more than " + std::to_string(kMaxDepth) + " deep");
    if (i_ >= text_.size())
        return fail("a value is missing at the end of the line");
    const char c = text_[i_];
    if (c == '+' || c == '-') {
        i_++;
        if (!step() || !value(v))
            return false;
        v = c == '-' ? -v : v;
        return true;
    }
    if (c == '[')
        return bracketed(v);
    if (c == '#') {
        ParamRef ref;
        return reference(ref) && params_.get(ref, v, error_);
    }
    if (const char *f = function_at(text_, i_)) {
        i_ += std::char_traits<char>::length(f);
        return step() && function(f, v);
    }
    const size_t start = i_;
    if (c == '.' || std::isdigit(static_cast<unsigned char>(c))) {
        if (!read_number(text_, i_, v))
            return fail("'" + text_.substr(start, std::min<size_t>(i_ - start, 16)) +
                        "' is no number");
        if (!(std::fabs(v) <= kMaxWritten))
            return fail(text_.substr(start, std::min<size_t>(i_ - start, 16)) +
                        (i_ - start > 16 ? "..." : "") + ": out of range (at most 1e9 in size)");
        return true;
    }
    size_t end = i_;
    while (end < text_.size() && std::isalpha(static_cast<unsigned char>(text_[end])))
        end++;
    if (end > i_ + 1 && end < text_.size() && text_[end] == '[' && end - i_ <= 16)
        return fail(text_.substr(i_, end - i_) + " is an unknown function (SIN COS TAN ASIN ACOS "
                                                 "ATAN SQRT ABS EXP LN ROUND FIX FUP EXISTS)");
    return fail(std::string("'") + c + "' starts no value (a number, #parameter, [expression] "
                                       "or function)");
}

bool Parser::bracketed(double &v)
{
    i_++; // '['
    if (!binary(1, v))
        return false;
    if (i_ >= text_.size() || text_[i_] != ']')
        return fail(i_ >= text_.size() ? "'[' not closed by ']'"
                                       : std::string("'") + text_[i_] + "' is no operator");
    i_++;
    return true;
}

bool Parser::binary(int level, double &v)
{
    if (!value(v))
        return false;
    const Operator *op = nullptr;
    while (operator_at(op) && op->level >= level) {
        i_ += std::char_traits<char>::length(op->text);
        double right = 0;
        if (!binary(op->level + 1, right) || !apply(*op, v, right, v))
            return false;
    }
    return true;
}

bool Parser::apply(const Operator &op, double a, double b, double &v)
{
    if (!step())
        return false;
    const std::string_view o = op.text;
    if (o == "**") {
        if (a < 0 && b != std::floor(b))
            return fail(number_text(a) + " ** " + number_text(b) +
                        ": a negative number to a power that is not whole");
        if (a == 0 && b < 0)
            return fail("0 ** " + number_text(b) + ": division by zero");
        v = std::pow(a, b);
    } else if (o == "*") {
        v = a * b;
    } else if (o == "/" || o == "MOD") {
        if (b == 0)
            return fail(number_text(a) + " " + op.text + " 0: division by zero");
        v = o == "/" ? a / b : std::fmod(a, b);
        if (o == "MOD" && v < 0)
            v += std::fabs(b);
    } else if (o == "+") {
        v = a + b;
    } else if (o == "-") {
        v = a - b;
    } else if (o == "EQ" || o == "NE" || o == "GT" || o == "GE" || o == "LT" || o == "LE") {
        // EQ NE GE LE take values within kEqualWithin as equal; GT and LT are exact
        const bool equal = std::fabs(a - b) < kEqualWithin;
        v = o == "EQ"   ? equal
            : o == "NE" ? !equal
            : o == "GT" ? a > b
            : o == "GE" ? equal || a > b
            : o == "LT" ? a < b
                        : equal || a < b;
    } else if (o == "AND") {
        v = a != 0 && b != 0;
    } else if (o == "OR") {
        v = a != 0 || b != 0;
    } else { // XOR
        v = (a != 0) != (b != 0);
    }
    return finite(v, [&] { return number_text(a) + " " + op.text + " " + number_text(b); });
}

bool Parser::function(const char *name, double &v)
{
    const std::string_view f = name;
    if (f == "EXISTS") { // EXISTS[#ref]: the parameter is not read
        ParamRef ref;
        i_++;
        if (i_ >= text_.size() || text_[i_] != '#')
            return fail("EXISTS takes a parameter: EXISTS[#<NAME>]");
        if (!reference(ref))
            return false;
        if (i_ >= text_.size() || text_[i_] != ']')
            return fail("EXISTS[#...]: ']' missing");
        i_++;
        v = params_.exists(ref);
        return true;
    }
    double x = 0;
    if (!bracketed(x))
        return false;
    if (f == "ATAN") {
        double across = 0;
        if (!at(text_, i_, "/["))
            return fail("ATAN takes two values: ATAN[y]/[x]");
        i_++;
        if (!bracketed(across))
            return false;
        v = std::atan2(x, across) / kDegree;
        return true;
    }
    const auto call = [&] { return std::string(f) + "[" + number_text(x) + "]"; };
    if ((f == "ASIN" || f == "ACOS") && !(x >= -1 && x <= 1))
        return fail(call() + ": only of -1 .. 1");
    if (f == "SQRT" && x < 0)
        return fail(call() + ": the square root of a negative number");
    if (f == "LN" && x <= 0)
        return fail(call() + ": the logarithm only of a number above 0");
    if (f == "ABS")
        v = std::fabs(x);
    else if (f == "ACOS")
        v = std::acos(x) / kDegree;
    else if (f == "ASIN")
        v = std::asin(x) / kDegree;
    else if (f == "COS")
        v = std::cos(x * kDegree);
    else if (f == "EXP")
        v = std::exp(x);
    else if (f == "FIX")
        v = std::floor(x);
    else if (f == "FUP")
        v = std::ceil(x);
    else if (f == "LN")
        v = std::log(x);
    else if (f == "ROUND")
        v = std::round(x);
    else if (f == "SIN")
        v = std::sin(x * kDegree);
    else if (f == "SQRT")
        v = std::sqrt(x);
    else // TAN
        v = std::tan(x * kDegree);
    return finite(v, call);
}

bool Parser::reference(ParamRef &ref)
{
    i_++; // '#'
    ref = ParamRef{};
    if (!step())
        return false;
    if (i_ < text_.size() && text_[i_] == '<') {
        const size_t close = text_.find('>', i_);
        if (close == std::string::npos)
            return fail("'#<' without '>'");
        ref.name = text_.substr(i_ + 1, close - i_ - 1);
        i_ = close + 1;
        if (ref.name.empty())
            return fail("'#<>': a parameter needs a name");
        if (ref.name.size() > kMaxName)
            return fail("#<" + ref.name.substr(0, 16) + "...>: a name has at most " +
                        std::to_string(kMaxName) + " characters");
        return true;
    }
    double n = 0;
    if (!value(n))
        return false;
    const double whole = std::round(n);
    if (std::fabs(n - whole) > 0.0001 || whole < 1 || whole > kMaxParameter)
        return fail("#" + number_text(n) + ": parameters are numbered 1 .. " +
                    std::to_string(kMaxParameter));
    ref.number = static_cast<int>(whole);
    return true;
}

} // namespace

bool Expressions::starts(const std::string &text, size_t i) const
{
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        i++;
    return i < text.size() && (text[i] == '#' || text[i] == '[' || function_at(text, i));
}

bool Expressions::read(const std::string &text, size_t &i, double &value,
                       std::string &error) const
{
    return Parser(text, i, params_, Steps{steps_, max_steps_}, error).value(value);
}

bool Expressions::assignment(const std::string &text, size_t &i, Assignment &a,
                             std::string &error) const
{
    Parser parser(text, i, params_, Steps{steps_, max_steps_}, error);
    ParamRef ref;
    if (!parser.reference(ref))
        return false;
    if (i >= text.size() || text[i] != '=') {
        error = param_text(ref) + " stands alone: a parameter is set by " + param_text(ref) +
                "=value, or read in a word's value (X" + param_text(ref) + ")";
        return false;
    }
    i++;
    double now;
    if (!ref.number && params_.predefined(ref, now)) {
        error = param_text(ref) + " is predefined (read only, as in LinuxCNC): set a name of "
                                  "your own";
        return false;
    }
    if (params_.too_many(ref)) {
        error = param_text(ref) + ": more than " + std::to_string(kMaxNames) +
                " named parameters";
        return false;
    }
    a.number = ref.number;
    a.name = ref.name;
    if (parser.value(a.value))
        return true;
    error = param_text(ref) + ": " + error;
    failed_.push_back(ref);
    return false;
}

void Expressions::not_set(int line)
{
    for (const ParamRef &ref : failed_)
        params_.not_set(ref, line);
    failed_.clear();
}

void Expressions::assign(const std::vector<Assignment> &assignments)
{
    failed_.clear();
    for (const Assignment &a : assignments)
        params_.set(ParamRef{a.number, a.name}, a.value);
}

} // namespace korva3_gcode
