"""The raw layer's declarations against include/korva3.h and include/korva3_sim.h."""
import os
import re
from ctypes import c_int32, c_uint32

import pytest

from header_declarations import differences, read_header
from korva3._declarations import KORVA3_FUNCTIONS, KSIM_FUNCTIONS
from korva3.sim.machine import PCI_IDS

INCLUDE = os.path.join(os.path.dirname(__file__), "..", "..", "include")
HEADER = read_header(os.path.join(INCLUDE, "korva3.h"))
SIM_HEADER = read_header(os.path.join(INCLUDE, "korva3_sim.h"))


def test_the_52_functions_match_the_header():
    assert len(HEADER) == 52
    assert differences(HEADER, KORVA3_FUNCTIONS) == []


def test_the_ksim_functions_match_their_header():
    assert len(SIM_HEADER) >= 39
    assert differences(SIM_HEADER, KSIM_FUNCTIONS) == []


def test_the_pci_ids_match_their_header():
    with open(os.path.join(INCLUDE, "korva3_sim.h")) as f:
        defined = dict(re.findall(r"^#define (KSIM_PCI_\w+) (0x[0-9A-Fa-f]+)u$", f.read(), re.M))
    names = ("KSIM_PCI_VENDOR", "KSIM_PCI_DEVICE", "KSIM_PCI_SUBVENDOR", "KSIM_PCI_SUBSYSTEM")
    assert PCI_IDS == tuple(int(defined[n], 16) for n in names)


def _changed(name, result=None, arguments=None):
    table = dict(KORVA3_FUNCTIONS)
    r, a = table[name]
    table[name] = (r if result is None else result, a if arguments is None else arguments)
    return table


def _without(name):
    return {n: d for n, d in KORVA3_FUNCTIONS.items() if n != name}


@pytest.mark.parametrize("table, expected", [
    (_changed("KORVA3_GET_XC", result=c_uint32), "KORVA3_GET_XC: header ('int32_t'"),
    (_changed("KORVA3_PULSE_MOVE", arguments=[c_uint32] * 4), "KORVA3_PULSE_MOVE: header"),
    (_changed("KORVA3_INTP_LINE", arguments=[c_uint32, c_int32, c_int32]), "KORVA3_INTP_LINE:"),
    (_changed("KORVA3_INITIAL", result=c_int32), "KORVA3_INITIAL: header ('uint32_t'"),
    (_without("KORVA3_EMG_STOP"), "KORVA3_EMG_STOP: not declared"),
    ({**KORVA3_FUNCTIONS, "KORVA3_EXTRA": (None, [])}, "KORVA3_EXTRA: not in the header"),
], ids=["signed reader as unsigned", "signed argument as unsigned", "argument missing",
        "result signed", "function missing", "function extra"])
def test_the_check_catches_a_drifted_declaration(table, expected):
    found = differences(HEADER, table)
    assert len(found) == 1 and found[0].startswith(expected), found


def test_the_package_version_is_the_librarys():
    import korva3
    with open(os.path.join(INCLUDE, "korva3.h")) as f:
        parts = dict(re.findall(r"^#define KORVA3_VERSION_(MAJOR|MINOR|PATCH) (\d+)$", f.read(), re.M))
    assert korva3.__version__ == "{MAJOR}.{MINOR}.{PATCH}".format(**parts)
