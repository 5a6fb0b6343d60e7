// usage.h - the tool's usage texts.
#ifndef KORVA3_TOOL_USAGE_H
#define KORVA3_TOOL_USAGE_H

namespace korva3_tool {

extern const char *const kUsage;      // run, check, demo, functions, trace, plot, version
extern const char *const kGcodeUsage; // gcode
extern const char *const kPanelUsage; // panel
extern const char *const kServeUsage; // serve
extern const bool kHasPanel;          // this build can show a panel (and has `korva3 panel`)

} // namespace korva3_tool

#endif
