"""Reads the exported functions of a C header: name -> (result, [arguments]) as C types."""
import re
from ctypes import (POINTER, c_char_p, c_double, c_int32, c_uint8, c_uint16, c_uint32,
                    c_void_p)

from korva3._declarations import KSIM_FRAME_SINK, KSIM_MOTION_SINK

_DECL = re.compile(r"KORVA3_API\s+([\w\s\*]+?)\s*KORVA3_CALL\s+(\w+)\s*\(([^)]*)\)\s*;")
_C_TYPE = {None: "void", c_uint32: "uint32_t", c_int32: "int32_t", c_double: "double",
           c_char_p: "char*", POINTER(c_uint8): "uint8_t*", POINTER(c_uint16): "uint16_t*",
           POINTER(c_uint32): "uint32_t*", POINTER(c_int32): "int32_t*", c_void_p: "void*",
           KSIM_FRAME_SINK: "KSIM_FRAME_SINK", KSIM_MOTION_SINK: "KSIM_MOTION_SINK"}


def _normal(c_type):
    """"const uint8_t *bytes" -> "uint8_t*" (the parameter's name dropped)."""
    c_type = re.sub(r"\bconst\b", "", c_type).strip()
    if c_type == "void":
        return c_type
    stars = c_type.count("*")
    words = c_type.replace("*", " ").split()
    if len(words) > 1:
        words = words[:-1]  # the parameter's name
    return " ".join(words) + "*" * stars


def read_header(path):
    """The header's functions, in order of declaration."""
    text = re.sub(r"/\*.*?\*/", "", open(path).read(), flags=re.S)
    out = {}
    for result, name, params in _DECL.findall(text):
        params = [p for p in (x.strip() for x in params.split(",")) if p and p != "void"]
        out[name] = (_normal(result), [_normal(p) for p in params])
    return out


def as_c(table):
    """A declaration table of the package in the same C terms."""
    return {name: (_C_TYPE[r], [_C_TYPE[a] for a in args]) for name, (r, args) in table.items()}


def differences(header, table):
    """One line per function that is missing, extra or declared otherwise."""
    declared = as_c(table)
    lines = [f"{n}: not declared" for n in header if n not in declared]
    lines += [f"{n}: not in the header" for n in declared if n not in header]
    lines += [f"{n}: header {header[n]}, declared {declared[n]}"
              for n in header if n in declared and header[n] != declared[n]]
    return lines
