"""Axes, planes, directions and status bits of the card, as the C interface numbers them."""
from __future__ import annotations

import enum


class Axis(enum.IntEnum):
    """An axis of single-axis commands (``KORVA3_STOP``, ``KORVA3_PULSE_MOVE``, ...)."""
    X = 1
    Y = 2
    Z = 3


class Plane(enum.IntEnum):
    """The plane of a two-axis path; its first and second axes are u and v."""
    XY = 1
    XZ = 2
    YZ = 3


class Direction(enum.IntEnum):
    """The turning sense of circles and arcs."""
    CLOCKWISE = 0
    COUNTER_CLOCKWISE = 1


class JogDirection(enum.IntEnum):
    """The direction bit of ``KORVA3_CONSTANT_SPEED``."""
    FORWARD = 0
    REVERSE = 1


class Status(enum.IntFlag):
    """Bits of the card's status register (``KORVA3_MSC``, ``KORVA3_GET_CARD``)."""
    BUSY = 0x01       #: the controller works on a command (a path)
    TX_READY = 0x02   #: it will take a byte of a command
    RX_READY = 0x04   #: a byte of a status report waits
    X_MOVING = 0x10
    Y_MOVING = 0x20
    Z_MOVING = 0x40
