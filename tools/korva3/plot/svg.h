// svg.h - SVG primitives for the tool's plots: numbers and text as SVG wants them,
// panels (boxes with a data-to-page map), and a writer of text, lines and axes.
#ifndef KORVA3_TOOL_SVG_H
#define KORVA3_TOOL_SVG_H

#include <sstream>
#include <string>

namespace korva3_tool::svg {

// A number for an attribute: at most two decimals, no trailing zeros.
std::string num(double v);

// Text for an element or attribute: markup characters escaped, control characters dropped.
std::string escape(const std::string &text);

// A tick label: the number, "0" for what rounding left of zero.
std::string tick_label(double v);

// A step of 1, 2 or 5 times a power of ten giving about `target` ticks over `range`.
double nice_step(double range, int target);

// A panel on the page.
struct Box {
    double x, y, w, h;
    double right() const { return x + w; }
    double bottom() const { return y + h; }
};

// Data to page: page x = tx + sx * u, page y = ty - sy * v.
struct Map {
    double sx, sy, tx, ty;
    double px(double u) const { return tx + sx * u; }
    double py(double v) const { return ty - sy * v; }
};

class Writer {
public:
    std::ostringstream s;

    void text(double x, double y, const std::string &t, const char *anchor = "start",
              double size = 12, const std::string &extra = "");
    void line(double x1, double y1, double x2, double y2, const std::string &style);
    // Frame, grid, ticks and labels of a panel showing data u0..u1 by v0..v1.
    void axes(const Box &b, const Map &m, double u0, double u1, double v0, double v1,
              const std::string &ulabel, const std::string &vlabel, int uticks, int vticks);
};

} // namespace korva3_tool::svg

#endif
