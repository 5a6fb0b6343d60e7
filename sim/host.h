// host.h - the few things the virtual machine asks of the real system it runs on: the
// folder its library was loaded from, whether a file is there, a file to write (not
// through a link), an environment variable, and where to report a problem nobody
// called for (standard error, and the debugger's output on Windows).
#ifndef KORVA_SIM_HOST_H
#define KORVA_SIM_HOST_H

#include <cstdio>
#include <string>

namespace korva::sim::host {

// The folder of the loaded library file, with a trailing separator ("" if unknown).
std::string library_folder();

// Whether something (a file, a folder, a FIFO, ...) is at `path`; never waits on it.
bool exists(const std::string& path);

// Creates (or empties) the file at `path` for writing, never through a symbolic link
// and never waiting (a FIFO nobody reads is refused). Null with `why` when it can't.
std::FILE* create_file(const std::string& path, std::string& why);

// The variable's value; empty when unset.
std::string environment(const char* name);

// Keeps the library loaded until the process ends (a thread of it runs on).
void pin_library();

// One line of text for the user: standard error, and OutputDebugString on Windows.
void report(const std::string& line);

} // namespace korva::sim::host

#endif
