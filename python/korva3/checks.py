"""Arguments checked before the library sees them: each value against the range its C
parameter carries (``korva3.h``), and the paths the library would refuse by sending
nothing. A value out of range raises ValueError naming the argument and its range; a
value that is not an integer raises TypeError."""
from __future__ import annotations

import math
import operator
from typing import Any, Optional, Tuple, Union

from .enums import Axis, Direction, Plane

INT32 = (-2 ** 31, 2 ** 31 - 1)
BYTE = (0, 255)
#: Card numbers an application may register, and the ID switch's positions.
CARD_NUMBERS = (0, 15)
ID_SWITCHES = (0, 15)
#: Pulses (of path) per slice: moves, constant speed and path caps. The library takes
#: a speed above 2040 as 2040 and sends nothing for 0 (a negative speed reaches it as a
#: huge unsigned value: full speed).
SPEEDS = (1, 2040)
#: Pulses per axis that one interpolation slice carries at most.
SLICE_PULSES = (-2047, 2047)
#: The library refuses a circle or arc of 2**32 pulses or more.
PATH_LENGTH_LIMIT = 2.0 ** 32
#: What KORVA3_SET_VAR clamps each speed parameter to.
SPEED_PARAMETERS = {"card_var": (1, 254), "accel": (1, 250), "start_speed": (1, 500),
                    "high_speed": (1, 2040)}

#: An axis as the enum, its number 1..3, or its letter.
AxisLike = Union[Axis, int, str]


def integer(name: str, value: Any, limits: Tuple[int, int]) -> int:
    """``value`` as an int within ``limits`` (both ends included)."""
    if isinstance(value, bool) or isinstance(value, float):
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}")
    try:
        value = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}") from None
    low, high = limits
    if not low <= value <= high:
        raise ValueError(f"{name} {value} out of range {low}..{high}")
    return value


def pulses(name: str, value: Any) -> int:
    """A signed 32-bit count of pulses (a relative move, a target, a centre, a radius)."""
    return integer(name, value, INT32)


def speed(value: Any, name: str = "speed") -> int:
    """A speed or speed cap, 1..2040 pulses per slice."""
    return integer(name, value, SPEEDS)


def circle(center_u: int, center_v: int) -> None:
    """Refuses what the library refuses by sending nothing: a circle centred on its start
    point, or one of 2**32 pulses or more."""
    if center_u == 0 and center_v == 0:
        raise ValueError("center_u, center_v: the centre is the start point (radius 0); "
                         "the library sends nothing")
    if 2 * math.pi * math.hypot(center_u, center_v) >= PATH_LENGTH_LIMIT:
        raise ValueError("center_u, center_v: a circle of 2**32 pulses or more; the "
                         "library sends nothing")


def arc(end_u: int, end_v: int, radius: int) -> None:
    """Refuses what the library refuses by sending nothing: radius 0, a radius shorter
    than half the chord, an arc of 2**32 pulses or more."""
    chord = math.hypot(end_u, end_v)
    if radius == 0:
        raise ValueError("radius 0: the library sends nothing")
    if abs(radius) < chord / 2:
        raise ValueError(f"radius {radius} is shorter than half the chord "
                         f"({math.ceil(chord / 2)}): the library refuses the arc")
    angle = 2 * math.asin(min(1.0, chord / (2 * abs(radius))))
    if radius < 0:
        angle = 2 * math.pi - angle
    if angle * abs(radius) >= PATH_LENGTH_LIMIT:
        raise ValueError("an arc of 2**32 pulses or more: the library sends nothing")


def axis(value: AxisLike) -> Axis:
    """An axis: Axis, 1..3, or "x", "y", "z" in either case."""
    if isinstance(value, str):
        try:
            return Axis[value.upper()]
        except KeyError:
            raise ValueError(f"no axis {value!r} (X, Y or Z)") from None
    return Axis(integer("axis", value, (1, 3)))


def plane(value: Plane) -> Plane:
    """A plane, 1..3 (Plane.XY, XZ, YZ)."""
    return Plane(integer("plane", value, (1, 3)))


def direction(value: Direction) -> Direction:
    """A turn's direction, 0..1 (Direction.CLOCKWISE, COUNTER_CLOCKWISE)."""
    return Direction(integer("direction", value, (0, 1)))


def flag(value: bool) -> int:
    """A yes or no as the library's 1 or 0."""
    return 1 if value else 0


def timeout(value: Optional[float]) -> Optional[float]:
    """A time limit in seconds above 0, or None for none."""
    if value is not None and not value > 0:
        raise ValueError(f"timeout {value!r}: a number of seconds above 0, or None")
    return value
