// sub_files.cpp - finding, opening and indexing the files of the subs a program calls.
#include "gcode/sub_files.h"

#include <algorithm>
#include <cctype>

namespace korva3_gcode {

std::string sub_file_name(const std::string &label)
{
    if (label.size() < 4 || label[1] != '<')
        return "";
    std::string name = label.substr(2, label.size() - 3);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name.find('/') == std::string::npos ? name + ".ngc" : "";
}

std::string SubFiles::find(const std::string &label)
{
    const long in_program = program_index_.find(label);
    if (in_program >= 0 && program_index_.sub(static_cast<uint32_t>(in_program)) >= 0)
        return ""; // the program's own subs are called from every file
    const std::string file = sub_file_name(label);
    if (file.empty())
        return "no " + label + " sub in this file";
    const auto f = file_of_.find(file);
    if (f != file_of_.end())
        return files_[static_cast<size_t>(f->second)]->bad;
    const auto miss = not_found_.find(file);
    if (miss != not_found_.end())
        return miss->second;
    if (files_.size() >= kMaxSubFiles)
        return "more than " + std::to_string(kMaxSubFiles) + " sub files in one program";
    return open(label, file);
}

int SubFiles::file_of(const std::string &label) const
{
    const auto f = file_of_.find(sub_file_name(label));
    if (f == file_of_.end() || !files_[static_cast<size_t>(f->second)]->bad.empty())
        return -1;
    return f->second;
}

// Opens and indexes `file` from the first folder that holds it.
std::string SubFiles::open(const std::string &label, const std::string &file)
{
    std::unique_ptr<FileSource> source;
    std::string searched;
    for (const std::string &dir : folders_) {
        source = std::make_unique<FileSource>(dir + "/" + file);
        if (source->good())
            break;
        source.reset();
        searched += (searched.empty() ? "" : ", ") + dir;
    }
    if (!source)
        return not_found_[file] = "no " + label + " sub in this file, nor " + file + " in " +
                                  searched;
    const int k = static_cast<int>(files_.size());
    files_.push_back(std::make_unique<SubFile>());
    file_of_[file] = k;
    SubFile &s = *files_.back();
    s.name = file;
    s.source = std::move(source);
    size_t indexed = program_index_.words.size();
    for (const auto &f : files_)
        indexed += f->index.words.size();
    const bool matched = match_o_words(
        *s.source, s.index, indexed < max_o_words_ ? max_o_words_ - indexed : 0,
        [this, k](int line, const std::string &what) {
            reader_.name_file((*this)[k].name);
            reader_.fail_at(line, what);
            reader_.name_file(program_name_);
        },
        [this](const std::string &l) { return find(l); });
    const long id = s.index.find(label);
    if (!s.source->error().empty())
        s.bad = s.source->error();
    else if (!matched)
        s.bad = "errors in " + file;
    else if (id < 0 || s.index.sub(static_cast<uint32_t>(id)) < 0)
        s.bad = file + " holds no " + label + " sub";
    else
        own_reads_ += file_reads(s.index);
    return s.bad;
}

} // namespace korva3_gcode
