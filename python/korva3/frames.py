"""Reading the 13-byte command frames a card received (the virtual card logs them)."""
from __future__ import annotations

from typing import NamedTuple, Optional, Tuple

#: Command code of an interpolation slice.
SLICE_CODE = 0x10

_KINDS = {
    0x00: "link reset", 0x01: "homing", 0x02: "homing (one byte)", 0x03: "move",
    0x04: "constant speed", 0x10: "slice", 0x21: "control modes", 0x22: "speed parameters",
    0x23: "default directions", 0x24: "servo on", 0x2A: "zero", 0x2B: "preset position",
    0x2C: "NC byte", 0x30: "system reset 2", 0x31: "stop", 0x32: "system reset 1",
    0x33: "decelerating stop", 0x40: "link test",
}


def _slice_value(high: int, low: int) -> int:
    magnitude = (high & 0x07) << 8 | low
    return -magnitude if high & 0x80 else magnitude


class Frame(bytes):
    """One command frame as the controller took it: sync pair, code, eight parameter
    bytes, sequence number, check byte."""

    @property
    def code(self) -> int:
        """The command code (third byte)."""
        return self[2]

    @property
    def kind(self) -> str:
        """What the frame is, in a few words ("slice", "link test", ...)."""
        return _KINDS.get(self.code, f"command 0x{self.code:02X}")

    @property
    def slice(self) -> Optional[Tuple[int, int, int]]:
        """The X, Y, Z pulses of an interpolation slice, or None for other frames."""
        if self.code != SLICE_CODE:
            return None
        return (_slice_value(self[3], self[4]), _slice_value(self[5], self[6]),
                _slice_value(self[7], self[8]))

    def __repr__(self) -> str:
        hexes = " ".join(f"{b:02X}" for b in self)
        extra = f" {self.slice}" if self.slice is not None else ""
        return f"<Frame {hexes} {self.kind}{extra}>"


class MotionRecord(NamedTuple):
    """One record of the executed path: virtual time and the commanded positions."""
    time_ms: int
    x: int
    y: int
    z: int


class Position(NamedTuple):
    """Positions of the three axes, in pulses."""
    x: int
    y: int
    z: int
