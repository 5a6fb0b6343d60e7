// demo.h - the built-in demo job of `korva3 demo`.
#ifndef KORVA3_TOOL_DEMO_H
#define KORVA3_TOOL_DEMO_H

namespace korva3_tool {

// The demo job's text, in the job file format.
const char *demo_job();

} // namespace korva3_tool

#endif
