// usage.h - the tool's usage texts.
#ifndef KORVA3_TOOL_USAGE_H
#define KORVA3_TOOL_USAGE_H

namespace korva3_tool {

extern const char *const kUsage;      // run, check, demo, functions, trace, plot, version
extern const char *const kGcodeUsage; // gcode
extern const char *const kPanelUsage; // panel

} // namespace korva3_tool

#endif
