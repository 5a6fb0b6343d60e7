// parameters.cpp - numbered and named parameters, local to a call or global.
#include "gcode/parameters.h"

namespace korva3_gcode {

std::string param_text(const ParamRef &ref)
{
    return ref.number ? "#" + std::to_string(ref.number) : "#<" + ref.name + ">";
}

Parameters::Parameters() : frames_(1), global_(kMaxParameter + 1) {}

std::optional<double> *Parameters::numbered(int number)
{
    return number <= kCallParameters ? &frames_.back().numbered[number] : &global_[number];
}

const std::optional<double> *Parameters::numbered(int number) const
{
    return number <= kCallParameters ? &frames_.back().numbered[number] : &global_[number];
}

std::map<std::string, double> &Parameters::names(const std::string &name)
{
    return !name.empty() && name[0] == '_' ? global_names_ : frames_.back().names;
}

const std::map<std::string, double> &Parameters::names(const std::string &name) const
{
    return !name.empty() && name[0] == '_' ? global_names_ : frames_.back().names;
}

bool Parameters::predefined(const ParamRef &ref, double &value) const
{
    if (!ref.number && ref.name == "_CALL_LEVEL") {
        value = static_cast<double>(frames_.size() - 1);
        return true;
    }
    return predefined_ && predefined_(ref, value);
}

bool Parameters::exists(const ParamRef &ref) const
{
    double v;
    if (predefined(ref, v))
        return true;
    if (ref.number)
        return numbered(ref.number)->has_value();
    return names(ref.name).count(ref.name) != 0;
}

bool Parameters::get(const ParamRef &ref, double &value, std::string &error) const
{
    if (predefined(ref, value))
        return true;
    if (!exists(ref)) {
        auto failed = not_set_.find(param_text(ref));
        if (failed != not_set_.end()) {
            error = param_text(ref) + " has no value: line " + std::to_string(failed->second) +
                    " was to set it";
            return false;
        }
        error = param_text(ref) + " is read before it is set";
        if (ref.number && ref.number <= kCallParameters && frames_.size() > 1)
            error += " (this call's arguments are #1 .. #" + std::to_string(kCallParameters) +
                     ", as many as the call gives)";
        return false;
    }
    value = ref.number ? **numbered(ref.number)
                       : names(ref.name).at(ref.name);
    return true;
}

void Parameters::set(const ParamRef &ref, double value)
{
    if (ref.number) {
        *numbered(ref.number) = value;
        return;
    }
    auto done = names(ref.name).insert_or_assign(ref.name, value);
    names_ += done.second;
}

void Parameters::not_set(const ParamRef &ref, int line)
{
    if (not_set_.size() < kMaxNames)
        not_set_.emplace(param_text(ref), line);
}

bool Parameters::too_many(const ParamRef &ref) const
{
    return !ref.number && names_ >= kMaxNames && !exists(ref);
}

void Parameters::begin()
{
    while (frames_.size() > 1)
        back();
    not_set_.clear();
}

void Parameters::call(const std::vector<double> &arguments)
{
    frames_.emplace_back();
    for (size_t i = 0; i < arguments.size() && i < kCallParameters; i++)
        frames_.back().numbered[i + 1] = arguments[i];
}

void Parameters::back()
{
    if (frames_.size() > 1) {
        names_ -= frames_.back().names.size();
        frames_.pop_back();
    }
}

} // namespace korva3_gcode
