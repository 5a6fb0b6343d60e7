// commands.h - the tool's verbs, one file each under commands/. Each takes the whole
// command line (argv[1] is the verb) and returns the tool's exit code (cli/exit_codes.h).
#ifndef KORVA3_TOOL_COMMANDS_H
#define KORVA3_TOOL_COMMANDS_H

namespace korva3_tool::commands {

int run(int argc, char **argv);       // korva3 run JOB: run a job file
int check(int argc, char **argv);     // korva3 check JOB: check it, nothing runs
int demo(int argc, char **argv);      // korva3 demo [--print]: the built-in job
int gcode(int argc, char **argv);     // korva3 gcode FILE.ngc: a G-code program
int panel(int argc, char **argv);     // korva3 panel: an idle machine on the panel
int serve(int argc, char **argv);     // korva3 serve --grbl WHERE: a grbl board for senders
int trace(int argc, char **argv);     // korva3 trace TRACE, korva3 plot TRACE --plot F
int functions(int argc, char **argv); // korva3 functions: what a job can call
int help(int argc, char **argv);      // korva3 help
int version(int argc, char **argv);   // korva3 --version

} // namespace korva3_tool::commands

#endif
