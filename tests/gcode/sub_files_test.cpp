// sub_files_test.cpp - o<name> call of a sub kept in its own file NAME.ngc, found in the
// machine file's folders or the program's own: arguments, values returned, a call from
// one such file to another or to the program's own subs, and the errors naming the file
// and line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gcode/line_source.h"
#include "gcode/program.h"

using namespace korva3_gcode;

namespace {

const std::string kDir = ::testing::TempDir() + "sub_files/";

void write(const std::string &name, const std::string &text)
{
    std::filesystem::create_directories(std::filesystem::path(kDir + name).parent_path());
    std::ofstream(kDir + name, std::ios::binary) << text;
}

// Where main.ngc (`text`) ends, "X.. Y.." mm, or its first error.
std::string run(const std::string &text)
{
    write("subs/twice.ngc", "%\no<twice> sub\no<add> call [#1] [#1]\n"
                            "o<twice> endsub [#<_value> * 10]\n%\nG0 X99\n");
    write("add.ngc", "o<add> sub\nG91 G0 X[#1 + #2]\no<add> endsub [#1 + #2]\n");
    write("outer.ngc", "o<outer> sub\no<shift> call [#1]\nG91 G0 X#1\no<outer> endsub\n");
    write("broken.ngc", "o<broken> sub\nG0 X1 Q\no<broken> endsub\n");
    write("unclosed.ngc", "o<unclosed> sub\no1 if [1]\no<unclosed> endsub\n");
    write("main.ngc", text);
    Settings settings;
    settings.subroutine_path = {kDir + "subs"};
    FileSource source(kDir + "main.ngc");
    Program p;
    std::vector<std::string> errors;
    if (!read_program("main.ngc", source, settings, p, errors))
        return errors.front();
    return "X" + std::to_string(static_cast<int>(p.end[0])) + " Y" +
           std::to_string(static_cast<int>(p.end[1]));
}

} // namespace

TEST(GcodeSubFiles, CallsAndErrors)
{
    const struct {
        const char *program, *want;
    } cases[] = {
        {"o<add> call [1] [2]\nG90 G0 Y#<_value>\n", "X3 Y3"},
        {"o<TWICE> call [2]\nG90 G0 Y#<_value>\n", "X4 Y40"}, // twice.ngc calls add.ngc
        {"o<twice> call [1]\no<twice> call [1]\n", "X4 Y0"},
        // A sub file calls a sub the program defines (after it, too), as LinuxCNC allows.
        {"o<outer> call [5]\nM2\no<shift> sub\nG91 G0 Y#1\no<shift> endsub\n", "X5 Y5"},
        {"G0 X1\no<nothere> call\n", "main.ngc:2: o<NOTHERE> call: no o<NOTHERE> sub in this "
                                     "file, nor nothere.ngc in @"},
        {"o<broken> call\n", "broken.ngc:2: "},
        {"o<unclosed> call\n", "unclosed.ngc:3: "},
    };
    for (const auto &c : cases) {
        const std::string got = run(c.program);
        const std::string want = c.want;
        const size_t at = want.find('@'); // the folders searched: the program's last
        if (at != std::string::npos)
            EXPECT_EQ(got, want.substr(0, at) + kDir + "subs, " + kDir.substr(0, kDir.size() - 1))
                << c.program;
        else if (want.back() == ' ')
            EXPECT_EQ(got.substr(0, want.size()), want) << c.program << got;
        else
            EXPECT_EQ(got, want) << c.program;
    }
}
