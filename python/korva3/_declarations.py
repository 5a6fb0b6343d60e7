"""The C interface, declared once: every function of ``korva3.h`` and ``korva3_sim.h``
with its exact argument and result types.

The tables map a function's name to ``(result type, [argument types])`` in ctypes
terms; ``None`` is ``void``. Every result is a full 32-bit value: unsigned, except the
position readers and the few ``KSIM_`` functions that return ``int32_t``.
``tests/test_declarations.py`` reads both headers and fails when a line here differs.
"""
from __future__ import annotations

import ctypes
from ctypes import (POINTER, c_char_p, c_double, c_int32, c_uint8, c_uint16, c_uint32,
                    c_uint64, c_void_p)
import struct
import sys
from typing import Any, Dict, List, Optional, Tuple

Declaration = Tuple[Optional[Any], List[Any]]

u32, i32 = c_uint32, c_int32

# The sinks of KSIM_SET_SINKS: callbacks in the library's calling convention.
_CALLBACK = (getattr(ctypes, "WINFUNCTYPE", ctypes.CFUNCTYPE)
             if sys.platform == "win32" and struct.calcsize("P") == 4 else ctypes.CFUNCTYPE)
#: ``void KSIM_FRAME_SINK(void *user, int32_t index, const uint8_t *frame)``
KSIM_FRAME_SINK = _CALLBACK(None, c_void_p, i32, POINTER(c_uint8))
#: ``void KSIM_MOTION_SINK(void *user, int32_t index, uint64_t time_us, int32_t x,
#: int32_t y, int32_t z, uint32_t moved_by)``
KSIM_MOTION_SINK = _CALLBACK(None, c_void_p, i32, c_uint64, i32, i32, i32, u32)

_CARD = [u32]
_CARD_AXIS = [u32, u32]

#: The 52 exported functions of ``korva3.h``.
KORVA3_FUNCTIONS: Dict[str, Declaration] = {
    # Set-up
    "KORVA3_INITIAL": (u32, []),
    "KORVA3_END": (None, []),
    "KORVA3_REGISTRATION": (u32, [u32, u32]),
    # Direct registers
    "KORVA3_DI": (u32, _CARD),
    "KORVA3_DO": (None, [u32, u32]),
    "KORVA3_MSC": (u32, _CARD),
    "KORVA3_WAIT_X": (None, _CARD),
    "KORVA3_WAIT_Y": (None, _CARD),
    "KORVA3_WAIT_Z": (None, _CARD),
    "KORVA3_IS_X_STOP": (u32, _CARD),
    "KORVA3_IS_Y_STOP": (u32, _CARD),
    "KORVA3_IS_Z_STOP": (u32, _CARD),
    "KORVA3_RESET_SYSTEM": (None, _CARD),
    "KORVA3_STOP_ALL": (None, _CARD),
    "KORVA3_EMG_STOP": (None, _CARD),
    # Configuration
    "KORVA3_SET_CONTROL_MODE": (None, [u32, u32, u32, u32]),
    "KORVA3_SET_VAR": (None, [u32, u32, u32, u32, u32, u32]),
    "KORVA3_SET_DEFDIR": (None, [u32, u32, u32, u32]),
    "KORVA3_SET_SERVO_ON": (None, [u32, u32, u32, u32]),
    "KORVA3_SET_ZERO": (None, _CARD_AXIS),
    "KORVA3_PRESET_POSITION": (None, [u32, u32, i32]),
    "KORVA3_SET_NC": (None, [u32, u32]),
    # Motion
    "KORVA3_STOP": (None, _CARD_AXIS),
    "KORVA3_DEC_STOP": (None, _CARD_AXIS),
    "KORVA3_BACK_HOME": (None, [u32, u32, u32, u32]),
    "KORVA3_BACK_HOME01": (None, [u32, u32, u32]),
    "KORVA3_PULSE_MOVE": (None, [u32, u32, i32, u32]),
    "KORVA3_INTP_PULSE": (None, [u32, i32, i32, i32]),
    "KORVA3_CONSTANT_SPEED": (None, [u32, u32, u32, u32]),
    # Blocking interpolation
    "KORVA3_INTP_XYZ": (None, [u32, i32, i32, i32, u32]),
    "KORVA3_INTP_LINE01": (None, [u32, u32, i32, i32, u32]),
    "KORVA3_INTP_LINE": (None, [u32, i32, i32, u32]),
    "KORVA3_INTP_CIRCLE01": (None, [u32, u32, i32, i32, u32, u32]),
    "KORVA3_INTP_CIRCLE": (None, [u32, i32, i32, u32, u32]),
    "KORVA3_INTP_ARC01": (None, [u32, u32, i32, i32, i32, u32, u32]),
    "KORVA3_INTP_ARC": (None, [u32, i32, i32, i32, u32, u32]),
    # Stepwise interpolation
    "KORVA3_INTP_XYZ02": (u32, [u32, i32, i32, i32, u32, u32]),
    "KORVA3_INTP_LINE02": (u32, [u32, u32, i32, i32, u32, u32]),
    "KORVA3_INTP_CIRCLE02": (u32, [u32, u32, i32, i32, u32, u32, u32]),
    "KORVA3_INTP_ARC02": (u32, [u32, u32, i32, i32, i32, u32, u32, u32]),
    "KORVA3_INTP_STOP": (u32, []),
    "KORVA3_INTP_ONLINE_SETSPEED": (u32, [u32]),
    # Status
    "KORVA3_GET_CARD": (u32, _CARD),
    "KORVA3_GET_SYS": (u32, _CARD),
    "KORVA3_GET_LIMIT": (u32, _CARD),
    "KORVA3_GET_P1": (u32, _CARD),
    "KORVA3_GET_XC": (i32, _CARD),
    "KORVA3_GET_XP": (i32, _CARD),
    "KORVA3_GET_YC": (i32, _CARD),
    "KORVA3_GET_YP": (i32, _CARD),
    "KORVA3_GET_ZC": (i32, _CARD),
    "KORVA3_GET_ZP": (i32, _CARD),
}

_u8p, _u16p, _u32p, _i32p = POINTER(c_uint8), POINTER(c_uint16), POINTER(c_uint32), POINTER(c_int32)

#: The virtual machine's control functions of ``korva3_sim.h`` (only in korva32sim).
KSIM_FUNCTIONS: Dict[str, Declaration] = {
    "KSIM_RESET": (None, []),
    "KSIM_SET_OS": (None, [u32, u32, u32]),
    "KSIM_SET_DRIVER": (None, [u32]),
    "KSIM_ADD_CARD": (i32, [u32, u32, u32, u32, u32, u32, u32]),
    "KSIM_IO_BASE": (u32, [i32]),
    "KSIM_SET_DEVICE_PATH": (None, [i32, c_char_p]),
    "KSIM_CLOCK_MS": (u32, []),
    "KSIM_CLOCK_VIEW_MS": (u32, []),
    "KSIM_SET_CLOCK_MS": (None, [u32]),
    "KSIM_SET_LOGGING": (None, [u32]),
    "KSIM_SET_LINK": (None, [i32, u32]),
    "KSIM_HOLD": (None, [i32, u32]),
    "KSIM_OFFER": (None, [i32, _u8p, u32]),
    "KSIM_SET_INPUTS": (None, [i32, u32]),
    "KSIM_FORCE_STATUS": (None, [i32, u32, u32]),
    "KSIM_SCRIPT_STATUS": (None, [i32, _u8p, u32]),
    "KSIM_SET_SLICE_PERIOD_US": (None, [i32, u32]),
    "KSIM_SET_QUEUE_SIZE": (None, [i32, u32]),
    "KSIM_SET_STATUS_PERIOD_MS": (None, [i32, u32]),
    "KSIM_SET_LIMITS": (None, [i32, u32, i32, i32]),
    "KSIM_SET_HOME": (None, [i32, u32, i32]),
    "KSIM_ADVANCE_MS": (None, [u32]),
    "KSIM_POSITION": (i32, [i32, u32]),
    "KSIM_TAKE_MOTION": (u32, [i32, _i32p, u32]),
    "KSIM_FAULT": (None, [i32, u32, u32]),
    "KSIM_TAKE_FRAMES": (u32, [i32, _u8p, u32]),
    "KSIM_BAD_COMMANDS": (u32, [i32]),
    "KSIM_TAKE_BYTES": (u32, [i32, _u8p, u32]),
    "KSIM_TAKE_PORT_WRITES": (u32, [_u16p, _u32p, _u8p, u32]),
    "KSIM_TAKE_PORT_READS": (u32, [_u16p, _u32p, _u8p, u32]),
    "KSIM_TAKE_MESSAGES": (u32, [c_char_p, u32]),
    "KSIM_TAKE_OS_CALLS": (u32, [c_char_p, u32]),
    "KSIM_OPEN_HANDLES": (u32, []),
    "KSIM_AXIS_PULSES": (i32, [i32, u32]),
    "KSIM_OUTPUTS": (u32, [i32]),
    "KSIM_RESETS": (u32, [i32]),
    "KSIM_CARD_VALUE": (i32, [i32, c_char_p, u32]),
    "KSIM_LIB_VALUE": (u32, [c_char_p, u32]),
    "KSIM_LIB_DOUBLE": (c_double, [c_char_p]),
    "KSIM_LIB_PCI_ENTRY": (u32, [u32, _u32p]),
    "KSIM_LOAD_MACHINE": (u32, [c_char_p, c_char_p, u32]),
    "KSIM_SET_CLOCK": (None, [u32, u32]),
    "KSIM_PANEL_START": (i32, [u32]),
    "KSIM_PANEL_URL": (u32, [c_char_p, u32]),
    "KSIM_PANEL_STOP": (None, []),
    "KSIM_PANEL_ESTOP": (u32, [i32]),
    "KSIM_PANEL_OFFER_JOG": (None, [u32]),
    "KSIM_PANEL_TAKE_REQUEST": (u32, [_i32p, _u32p, _u32p, _i32p]),
    "KSIM_PANEL_REPORT": (None, [i32, u32, c_char_p]),
    "KSIM_PANEL_SET_SCALE": (None, [i32, u32, c_double]),
    "KSIM_SET_PACE": (None, [u32]),
    "KSIM_PANEL_JOB": (u32, [c_char_p, u32]),
    "KSIM_PANEL_JOB_STATE": (u32, [c_char_p]),
    "KSIM_PANEL_JOB_REQUESTS": (u32, [_u32p]),
    "KSIM_PANEL_TAKE_COMMAND": (u32, [c_char_p, u32]),
    "KSIM_SET_SINKS": (None, [KSIM_FRAME_SINK, KSIM_MOTION_SINK, c_void_p]),
    "KSIM_OFFER_ON_LINK_TEST": (None, [i32, POINTER(c_uint8), u32]),
}


def declare(library: ctypes.CDLL, table: Dict[str, Declaration]) -> ctypes.CDLL:
    """Sets ``restype`` and ``argtypes`` of every function of ``table`` on ``library``.

    Raises ``AttributeError`` when the library lacks one of them.
    """
    for name, (result, arguments) in table.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = list(arguments)
    return library
