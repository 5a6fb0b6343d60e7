"""long_programs.py - G-code programs of four kinds as CAM posts write them (3D
surfacing, engraving, drilling with canned cycles, subroutines and loops), each exactly
N lines long, from a seed: the programs bench/stream_bench.py measures.

    write_program("surfacing", 1000000, 1, "/tmp/surfacing.ngc")

Python 3, standard library only.
"""

import itertools
import math
import random

KINDS = ("surfacing", "engraving", "drilling", "subroutines")

def f3(v):
    """A coordinate with 3 decimals, as posts write it (no "-0.000")."""
    s = "%.3f" % v
    return "0.000" if s == "-0.000" else s


def f4(v):
    s = "%.4f" % v
    return "0.0000" if s == "-0.0000" else s


def surfacing(rng):
    """A raster over a smooth relief: G1 X Y Z moves of 0.05 .. 0.5 mm, rows alternately
    along X and along Y from pass to pass, an occasional feed change."""
    width, depth = 120.0, 90.0
    stepover = 0.25

    def relief(x, y, level):
        return (-1.6 + level
                + 0.9 * math.sin(x / 11.0) * math.cos(y / 17.0)
                + 0.35 * math.sin((x + 2.0 * y) / 6.5)
                + 0.15 * math.cos(x / 3.1 - y / 4.3))

    head = ["(3D surfacing: raster finish over a relief, 6 mm ball end mill)",
            "G21 G90 G94 G17 G40 G49 G80",
            "G64 P0.01",
            "S16000 M3",
            "G0 Z5.000",
            "G0 X0.000 Y0.000",
            "G1 Z%s F400" % f4(relief(0.0, 0.0, 0.0)),
            "F1800"]
    yield head
    feeds = (1500, 1800, 2000, 2400)
    pass_no = 0
    while True:
        along_x = pass_no % 2 == 0
        level = -0.05 * (pass_no % 4)
        yield ["(pass %d: rows along %s)" % (pass_no + 1, "X" if along_x else "Y")]
        span, cross = (width, depth) if along_x else (depth, width)
        row = 0
        v = 0.0
        while v <= cross:
            forward = row % 2 == 0
            u = 0.0
            while True:
                step = rng.uniform(0.05, 0.5)
                u = min(span, u + step)
                p = u if forward else span - u
                x, y = (p, v) if along_x else (v, p)
                line = "G1 X%s Y%s Z%s" % (f3(x), f3(y), f4(relief(x, y, level)))
                if rng.random() < 0.004:
                    line += " F%d" % rng.choice(feeds)
                yield [line]
                if u >= span:
                    break
            row += 1
            v += stepover
            if v <= cross:  # step over to the next row, at its end
                x, y = (p, v) if along_x else (v, p)
                yield ["G1 X%s Y%s Z%s" % (f3(x), f3(y), f4(relief(x, y, level)))]
        # back to the corner for the next pass, above the work
        yield ["G0 Z5.000", "G0 X0.000 Y0.000",
               "G1 Z%s F400" % f4(relief(0.0, 0.0, -0.05 * ((pass_no + 1) % 4))),
               "F1800"]
        pass_no += 1


# A stroke font in a cell 4 wide and 6 high. A glyph is strokes; a stroke starts with
# ("M", x, y), then ("L", x, y) lines and ("A", x, y, cx, cy, cw) arcs about (cx, cy),
# clockwise when cw; every arc's end lies on its circle.
_S30 = (2.0 + 1.5 * math.cos(math.radians(30)), 4.5 + 1.5 * math.sin(math.radians(30)))
_S210 = (2.0 + 1.5 * math.cos(math.radians(210)), 1.5 + 1.5 * math.sin(math.radians(210)))
_C60 = (2.0 + 2.0 * math.cos(math.radians(60)), 3.0 + 2.0 * math.sin(math.radians(60)))
_C300 = (2.0 + 2.0 * math.cos(math.radians(300)), 3.0 + 2.0 * math.sin(math.radians(300)))
FONT = {
    "A": [[("M", 0, 0), ("L", 2, 6), ("L", 4, 0)], [("M", 2 / 3, 2), ("L", 10 / 3, 2)]],
    "B": [[("M", 0, 0), ("L", 0, 6), ("L", 2.5, 6), ("A", 2.5, 3, 2.5, 4.5, True),
           ("A", 2.5, 0, 2.5, 1.5, True), ("L", 0, 0)]],
    "C": [[("M", _C60[0], _C60[1]), ("A", _C300[0], _C300[1], 2, 3, False)]],
    "D": [[("M", 0, 0), ("L", 0, 6), ("L", 1, 6), ("A", 1, 0, 1, 3, True), ("L", 0, 0)]],
    "E": [[("M", 4, 6), ("L", 0, 6), ("L", 0, 0), ("L", 4, 0)], [("M", 0, 3), ("L", 3, 3)]],
    "F": [[("M", 4, 6), ("L", 0, 6), ("L", 0, 0)], [("M", 0, 3), ("L", 3, 3)]],
    "G": [[("M", _C60[0], _C60[1]), ("A", _C300[0], _C300[1], 2, 3, False),
           ("L", _C300[0], 3), ("L", 2, 3)]],
    "H": [[("M", 0, 0), ("L", 0, 6)], [("M", 4, 0), ("L", 4, 6)], [("M", 0, 3), ("L", 4, 3)]],
    "I": [[("M", 2, 0), ("L", 2, 6)]],
    "J": [[("M", 4, 6), ("L", 4, 2), ("A", 0, 2, 2, 2, True)]],
    "K": [[("M", 0, 0), ("L", 0, 6)], [("M", 4, 6), ("L", 0, 2)], [("M", 1.4, 3.4), ("L", 4, 0)]],
    "L": [[("M", 0, 6), ("L", 0, 0), ("L", 4, 0)]],
    "M": [[("M", 0, 0), ("L", 0, 6), ("L", 2, 3), ("L", 4, 6), ("L", 4, 0)]],
    "N": [[("M", 0, 0), ("L", 0, 6), ("L", 4, 0), ("L", 4, 6)]],
    "O": [[("M", 0, 3), ("A", 0, 3, 2, 3, True)]],
    "P": [[("M", 0, 0), ("L", 0, 6), ("L", 2.5, 6), ("A", 2.5, 3, 2.5, 4.5, True),
           ("L", 0, 3)]],
    "R": [[("M", 0, 0), ("L", 0, 6), ("L", 2.5, 6), ("A", 2.5, 3, 2.5, 4.5, True),
           ("L", 0, 3)], [("M", 2, 3), ("L", 4, 0)]],
    "S": [[("M", _S30[0], _S30[1]), ("A", 2, 3, 2, 4.5, False),
           ("A", _S210[0], _S210[1], 2, 1.5, True)]],
    "T": [[("M", 0, 6), ("L", 4, 6)], [("M", 2, 6), ("L", 2, 0)]],
    "U": [[("M", 0, 6), ("L", 0, 2), ("A", 4, 2, 2, 2, False), ("L", 4, 6)]],
    "V": [[("M", 0, 6), ("L", 2, 0), ("L", 4, 6)]],
    "W": [[("M", 0, 6), ("L", 1, 0), ("L", 2, 4), ("L", 3, 0), ("L", 4, 6)]],
    "X": [[("M", 0, 0), ("L", 4, 6)], [("M", 0, 6), ("L", 4, 0)]],
    "Y": [[("M", 0, 6), ("L", 2, 3), ("L", 4, 6)], [("M", 2, 3), ("L", 2, 0)]],
    "Z": [[("M", 0, 6), ("L", 4, 6), ("L", 0, 0), ("L", 4, 0)]],
}
LETTERS = sorted(FONT)


def engraving(rng):
    """Words in a stroke font: each stroke a rapid to its start at the safe Z, a plunge,
    G1 lines and G2/G3 arcs (I J from the start), a rapid up; lines of text of 3 .. 6 mm
    across a 250 x 180 mm plate, plate after plate."""
    safe, cut = 1.0, -0.15
    head = ["(engraving: text in a stroke font, 60 degree V bit)",
            "G21 G90 G94 G17 G40 G49 G80",
            "S18000 M3",
            "G0 Z5.000",
            "G0 Z%s" % f3(safe)]
    yield head
    plate = 0
    while True:
        plate += 1
        yield ["(plate %d)" % plate]
        ox, oy = 5.0 + (plate % 3) * 0.5, 5.0 + (plate % 2) * 0.5
        y = 180.0
        while True:
            h = rng.choice((3.0, 4.0, 5.0, 6.0))
            y -= 1.7 * h
            if y < 0:
                break
            s = h / 6.0
            x = 0.0
            while True:
                word = "".join(rng.choice(LETTERS) for _ in range(rng.randint(3, 8)))
                if x + len(word) * 5 * s > 250.0:
                    break
                for ch in word:
                    out = []
                    for stroke in FONT[ch]:
                        sx, sy = stroke[0][1], stroke[0][2]
                        out.append("G0 X%s Y%s" % (f3(ox + x + sx * s), f3(oy + y + sy * s)))
                        out.append("G1 Z%s F250" % f3(cut))
                        first = True
                        px, py = sx, sy
                        for seg in stroke[1:]:
                            ex, ey = ox + x + seg[1] * s, oy + y + seg[2] * s
                            if seg[0] == "L":
                                words = "G1 X%s Y%s" % (f3(ex), f3(ey))
                            else:
                                i, j = (seg[3] - px) * s, (seg[4] - py) * s
                                words = "%s X%s Y%s I%s J%s" % (
                                    "G2" if seg[5] else "G3", f3(ex), f3(ey), f4(i), f4(j))
                            if first:
                                words += " F900"
                                first = False
                            out.append(words)
                            px, py = seg[1], seg[2]
                        out.append("G0 Z%s" % f3(safe))
                    yield out
                    x += 5 * s
                x += 3 * s


def drilling(rng):
    """Blocks of holes on a 2.54 mm grid, each block a canned cycle held modal, one X Y a
    line: G81 spot and through holes (G99, R0.5) or G83 pecked deeper holes (G98, Q);
    G80 and a rapid up after each block."""
    head = ["(drilling: blocks of holes on a 2.54 mm grid, 1 mm carbide drill)",
            "G21 G90 G94 G17 G40 G49 G80",
            "S24000 M3",
            "M8",
            "G0 Z5.000"]
    yield head
    pitch = 2.54
    block = 0
    while True:
        block += 1
        cols, rows = rng.randint(6, 20), rng.randint(4, 12)
        bx = (block % 8) * 25.0 + 3.0
        by = ((block // 8) % 6) * 32.0 + 3.0
        kind = rng.random()
        if kind < 0.65:
            cycle = "G99 G81"
            params = "Z-1.700 R0.300 F1200"
            out = ["(block %d: %d x %d holes, G81 through)" % (block, cols, rows)]
        elif kind < 0.85:
            cycle = "G98 G81"
            params = "Z-0.300 R0.500 F800"
            out = ["(block %d: %d x %d holes, G81 spot)" % (block, cols, rows)]
        else:
            cycle = "G98 G83"
            params = "Z-3.000 R0.500 Q%s F600" % f3(rng.choice((1.0, 1.5)))
            out = ["(block %d: %d x %d holes, G83 pecked)" % (block, cols, rows)]
        yield out + ["G0 Z2.000"]
        first = True
        for r in range(rows):
            for c in range(cols):
                cc = c if r % 2 == 0 else cols - 1 - c
                xy = "X%s Y%s" % (f3(bx + cc * pitch), f3(by + r * pitch))
                if first:
                    yield ["%s %s %s" % (cycle, xy, params)]
                    first = False
                else:
                    yield [xy]
        yield ["G80", "G0 Z5.000"]  # up, clear of clamps, to the next block


def subroutines(rng):
    """o100 sub cuts a contour round a small boss (#1 X, #2 Y, #3 depth); the main
    program calls it one line a call, and in repeat loops (o200, o201, ...: a label once
    in the file; two nested for a grid), named parameters stepping the position."""
    head = ["(loops and subroutines: contour passes round 2 x 1.5 mm bosses)",
            "G21 G90 G94 G17 G40 G49 G80",
            "o100 sub",
            "  (contour round the boss at X#1 Y#2, depth #3)",
            "  G0 X[#1 - 0.5] Y[#2 - 0.5]",
            "  G1 Z#3 F600",
            "  G1 X[#1 + 2.5] F2400",
            "  G1 Y[#2 + 2.0]",
            "  G1 X[#1 - 0.5]",
            "  G1 Y[#2 - 0.5]",
            "  G0 Z0.500",
            "o100 endsub",
            "S12000 M3",
            "G0 Z5.000",
            "G0 Z0.500"]
    yield head
    x, y = 0.0, 0.0
    labels = itertools.count(200)  # LinuxCNC wants each loop's label once in a file

    def advance(dx):
        nonlocal x, y
        x += dx
        if x > 180.0:
            x = 0.0
            y += 4.0
            if y > 120.0:
                y = 0.0

    while True:
        r = rng.random()
        depth = f3(-rng.choice((0.2, 0.3, 0.4)))
        if r < 0.5:
            yield ["o100 call [%s] [%s] [%s]" % (f3(x), f3(y), depth)]
            advance(4.0)
        elif r < 0.8:
            n = rng.randint(3, 6)
            label = next(labels)
            yield ["#<x> = %s" % f3(x),
                   "o%d repeat [%d]" % (label, n),
                   "  o100 call [#<x>] [%s] [%s]" % (f3(y), depth),
                   "  #<x> = [#<x> + 4.000]",
                   "o%d endrepeat" % label]
            advance(4.0 * n)
        else:
            nx, ny = rng.randint(2, 4), rng.randint(2, 3)
            outer, inner = next(labels), next(labels)
            yield ["#<y> = %s" % f3(y),
                   "o%d repeat [%d]" % (outer, ny),
                   "  #<x> = %s" % f3(x),
                   "  o%d repeat [%d]" % (inner, nx),
                   "    o100 call [#<x>] [#<y>] [%s]" % depth,
                   "    #<x> = [#<x> + 4.000]",
                   "  o%d endrepeat" % inner,
                   "  #<y> = [#<y> + 4.000]",
                   "o%d endrepeat" % outer]
            advance(4.0 * nx)
            y += 4.0 * (ny - 1)
            if y > 120.0:
                y = 0.0


GENERATORS = {"surfacing": surfacing, "engraving": engraving,
              "drilling": drilling, "subroutines": subroutines}
FOOTERS = {"surfacing": ["G0 Z5.000", "M5", "M30"],
           "engraving": ["G0 Z5.000", "M5", "M30"],
           "drilling": ["G80", "G0 Z5.000", "M9", "M5", "M30"],
           "subroutines": ["G0 Z5.000", "M5", "M30"]}


def write_program(kind, lines, seed, path):
    """Writes a program of exactly `lines` lines: "%", a title, the kind's lines, its end
    (M30), "%". A block of lines that would not fit before the end is left out and its
    place filled with comment lines (at most a block's length). Returns bytes written."""
    rng = random.Random("%s:%d:%d" % (kind, seed, lines))
    footer = FOOTERS[kind] + ["%"]
    title = ["%", "(stream_bench %s, %d lines, seed %d)" % (kind, lines, seed)]
    room = lines - len(title) - len(footer)
    gen = GENERATORS[kind](rng)
    head = next(gen)
    room -= len(head)
    if room < 0:
        raise ValueError("%s: %d lines is too short (at least %d)"
                         % (kind, lines, lines - room))
    size = 0
    with open(path, "w", encoding="ascii", newline="\n") as f:
        buf = title + head
        for chunk in gen:
            if len(chunk) > room:
                break
            buf.extend(chunk)
            room -= len(chunk)
            if len(buf) >= 65536:
                text = "\n".join(buf) + "\n"
                f.write(text)
                size += len(text)
                buf = []
        buf.extend(["(end of the work)"] * room)
        buf.extend(footer)
        text = "\n".join(buf) + "\n"
        f.write(text)
        size += len(text)
    return size


def count_lines(path):
    with open(path, "rb") as f:
        return sum(block.count(b"\n") for block in iter(lambda: f.read(1 << 20), b""))
