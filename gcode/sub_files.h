// sub_files.h - the subs a program calls from files of their own: o<bolt> call, with no
// o<bolt> sub in the program, finds bolt.ngc (lower case, as LinuxCNC does) in the first
// of the folders that holds it. Each file is opened and indexed once per reading, at most
// kMaxSubFiles of them, the O-words of the program and its sub files bounded together; a
// name found in no folder is looked for once.
#ifndef KORVA3_GCODE_SUB_FILES_H
#define KORVA3_GCODE_SUB_FILES_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gcode/line_source.h"
#include "gcode/o_words.h"
#include "gcode/reader.h"

namespace korva3_gcode {

// Sub files opened and indexed for one program, at most: a bound of memory and work.
constexpr size_t kMaxSubFiles = 100;

// A sub's own file: NAME.ngc holding o<name> sub ... o<name> endsub.
struct SubFile {
    std::string name; // "bolt.ngc", as errors name it
    std::unique_ptr<FileSource> source;
    OWordIndex index;
    std::string bad; // why it can't be called ("" when it can)
};

// "bolt.ngc" for the label o<BOLT>; "" for a numbered one.
std::string sub_file_name(const std::string &label);

class SubFiles {
public:
    // A sub file's errors go to `reader` under the file's name ("bolt.ngc:3: ..."), then
    // `program_name` is the reader's again. `max_o_words` bounds the O-words of the program
    // (`program_index`) and of every sub file together.
    SubFiles(Reader &reader, const std::string &program_name,
             const std::vector<std::string> &folders, const OWordIndex &program_index,
             size_t max_o_words)
        : reader_(reader), program_name_(program_name), folders_(folders),
          program_index_(program_index), max_o_words_(max_o_words) {}

    // "" when the sub `label` stands in the program (a sub file calling it) or in a file
    // of its own, else why it can't be called ("" also while that file is being indexed:
    // a call back into it). The program's index is whole by then.
    std::string find(const std::string &label);
    // The file found for `label` whose sub can be called, or -1.
    int file_of(const std::string &label) const;
    SubFile &operator[](int k) { return *files_[static_cast<size_t>(k)]; }
    // The lines and bytes of the sub files that can be called, in reads (for the bound of
    // lines read again: a file's own lines, read once, always pass).
    int64_t own_reads() const { return own_reads_; }

private:
    std::string open(const std::string &label, const std::string &file);

    Reader &reader_;
    const std::string &program_name_;
    const std::vector<std::string> &folders_;
    const OWordIndex &program_index_;
    size_t max_o_words_;
    std::vector<std::unique_ptr<SubFile>> files_;
    std::map<std::string, int> file_of_;           // "bolt.ngc" -> files_
    std::map<std::string, std::string> not_found_; // "bolt.ngc" -> why not
    int64_t own_reads_ = 0;
};

} // namespace korva3_gcode

#endif
