"""The Pythonic layer: a loaded library (``Korva``) and the cards registered on it."""
from __future__ import annotations

import ctypes
from typing import Optional, Union

from .enums import Axis, Direction, JogDirection, Plane, Status
from .errors import KorvaError
from .frames import Position

AxisLike = Union[Axis, int, str]

#: Card numbers an application may register.
CARD_NUMBERS = range(16)
#: Pulses per axis that one interpolation slice carries at most.
MAX_SLICE_PULSES = 2047


def _axis(axis: AxisLike) -> Axis:
    if isinstance(axis, str):
        try:
            return Axis[axis.upper()]
        except KeyError:
            raise ValueError(f"no axis {axis!r} (X, Y or Z)") from None
    return Axis(axis)


def _flag(value: bool) -> int:
    return 1 if value else 0


class Korva:
    """The library, loaded and initialised (``KORVA3_INITIAL``).

    Use :func:`korva3.open` for the card's library or :class:`korva3.sim.Machine` for
    the virtual card. As a context manager it calls ``KORVA3_END`` on leaving.
    """

    def __init__(self, raw: ctypes.CDLL, *, initialise: bool = True) -> None:
        #: The raw layer: the C functions with their declared types.
        self.raw = raw
        if initialise:
            self.initial()

    def initial(self) -> None:
        """Sets the library's start values and opens the port-access driver the system
        needs (``KORVA3_INITIAL``). Raises KorvaError when the driver cannot be opened
        (e.g. no port access on Linux: run as root or with CAP_SYS_RAWIO)."""
        if self.raw.KORVA3_INITIAL() != 0:
            raise KorvaError("KORVA3_INITIAL: the port-access driver could not be opened "
                             "(on Linux: run as root or grant CAP_SYS_RAWIO)")

    def end(self) -> None:
        """Closes the library's device handle (``KORVA3_END``); card numbers stay bound."""
        self.raw.KORVA3_END()

    def register(self, card: int = 0, id_switch: int = 0) -> "Card":
        """Binds card number ``card`` (0..15) to the card whose ID switch is
        ``id_switch`` and tests its link (``KORVA3_REGISTRATION``).

        Raises KorvaError when the card is not usable (no card with that ID switch, no
        port access, no device interface, or the link test failed)."""
        if card not in CARD_NUMBERS:
            raise ValueError(f"card number {card} out of range 0..15")
        if self.raw.KORVA3_REGISTRATION(card, id_switch) != 1:
            raise KorvaError(f"KORVA3_REGISTRATION({card}, {id_switch}): no usable card "
                             f"with ID switch {id_switch} (not found, no port access, or "
                             f"its link test failed)")
        return Card(self, card)

    def continue_path(self) -> bool:
        """Sends the next batch of slices of the stepwise path (``KORVA3_INTP_STOP``).
        Returns True while the path goes on."""
        return self.raw.KORVA3_INTP_STOP() == 1

    def set_path_speed(self, speed: int) -> bool:
        """Changes the stepwise path's speed cap, then sends its next batch
        (``KORVA3_INTP_ONLINE_SETSPEED``). Returns True while the path goes on."""
        return self.raw.KORVA3_INTP_ONLINE_SETSPEED(speed) == 1

    def __enter__(self) -> "Korva":
        return self

    def __exit__(self, *exc: object) -> None:
        self.end()


class Card:
    """A registered card: commands, paths and its last status report.

    Made by :meth:`Korva.register`. Speeds are pulses (of path) per slice, positions
    pulses; paths are relative to where the card stands. Blocking paths return when
    the last slice is sent; :meth:`wait` waits until the card has run them.
    """

    def __init__(self, korva: Korva, number: int) -> None:
        self.korva = korva
        #: The card number the application registered (0..15).
        self.number = number
        self._raw = korva.raw

    def __repr__(self) -> str:
        return f"<korva3.Card {self.number}>"

    # ---- direct registers ------------------------------------------------------------
    @property
    def inputs(self) -> int:
        """The 8 digital inputs (``KORVA3_DI``)."""
        return self._raw.KORVA3_DI(self.number)

    def set_outputs(self, value: int) -> None:
        """Sets digital outputs 0..6 to the low 7 bits of ``value`` (``KORVA3_DO``)."""
        self._raw.KORVA3_DO(self.number, value)

    @property
    def status(self) -> Status:
        """The status register, read now (``KORVA3_MSC``)."""
        return Status(self._raw.KORVA3_MSC(self.number))

    def wait(self, *axes: AxisLike) -> None:
        """Waits until the given axes (default all three) and any path are idle
        (``KORVA3_WAIT_X``/``_Y``/``_Z``). No time limit."""
        for axis in (axes or tuple(Axis)):
            getattr(self._raw, f"KORVA3_WAIT_{_axis(axis).name}")(self.number)

    def is_stopped(self, axis: AxisLike) -> bool:
        """True when the axis is idle (``KORVA3_IS_X_STOP``...); False while it moves,
        the card is busy, or the card has no link."""
        return getattr(self._raw, f"KORVA3_IS_{_axis(axis).name}_STOP")(self.number) == 1

    def reset(self) -> None:
        """Resets the controller through its reset line, ends any path, and resets the
        system (``KORVA3_RESET_SYSTEM``); the outputs are 0 afterwards."""
        self._raw.KORVA3_RESET_SYSTEM(self.number)

    def emergency_stop(self) -> None:
        """Resets the controller at once, keeping the outputs, and ends any path, also
        one running in another thread (``KORVA3_EMG_STOP``)."""
        self._raw.KORVA3_EMG_STOP(self.number)

    # ---- configuration ---------------------------------------------------------------
    def set_control_modes(self, x: int, y: int, z: int) -> None:
        """The axes' control mode bytes (0 = stepper; ``KORVA3_SET_CONTROL_MODE``)."""
        self._raw.KORVA3_SET_CONTROL_MODE(self.number, x, y, z)

    def set_speeds(self, card_var: int, accel: int, start_speed: int, high_speed: int,
                   spare: int = 0) -> None:
        """Speed parameters (``KORVA3_SET_VAR``), clamped by the library: card_var
        1..254, accel 1..250,
        start_speed 1..500, high_speed start_speed..2040. accel and start_speed shape
        every later path on every card."""
        self._raw.KORVA3_SET_VAR(self.number, card_var, accel, start_speed, high_speed, spare)

    def set_default_directions(self, x: bool, y: bool, z: bool) -> None:
        """Turns the axes' own moves around (``KORVA3_SET_DEFDIR``)."""
        self._raw.KORVA3_SET_DEFDIR(self.number, _flag(x), _flag(y), _flag(z))

    def set_servo_on(self, x: bool, y: bool, z: bool) -> None:
        """Servo-on flags of the three axes (``KORVA3_SET_SERVO_ON``)."""
        self._raw.KORVA3_SET_SERVO_ON(self.number, _flag(x), _flag(y), _flag(z))

    def zero(self, axis: AxisLike) -> None:
        """Makes the axis's position 0 (``KORVA3_SET_ZERO``)."""
        self._raw.KORVA3_SET_ZERO(self.number, _axis(axis))

    def preset(self, axis: AxisLike, position: int) -> None:
        """Sets the axis's position in pulses (``KORVA3_PRESET_POSITION``)."""
        self._raw.KORVA3_PRESET_POSITION(self.number, _axis(axis), position)

    def set_nc(self, value: int) -> None:
        """The NC byte, passed to the card unchanged (``KORVA3_SET_NC``)."""
        self._raw.KORVA3_SET_NC(self.number, value)

    # ---- single-axis motion ----------------------------------------------------------
    def stop(self, axis: AxisLike, *, decelerate: bool = False) -> None:
        """Stops the axis at once, or braking by ``accel`` with ``decelerate=True``
        (``KORVA3_STOP``, ``KORVA3_DEC_STOP``)."""
        function = self._raw.KORVA3_DEC_STOP if decelerate else self._raw.KORVA3_STOP
        function(self.number, _axis(axis))

    def home(self, axis: AxisLike, home_byte1: int, home_byte2: Optional[int] = None) -> None:
        """Homing with one or two homing bytes (``KORVA3_BACK_HOME01``,
        ``KORVA3_BACK_HOME``)."""
        if home_byte2 is None:
            self._raw.KORVA3_BACK_HOME01(self.number, _axis(axis), home_byte1)
        else:
            self._raw.KORVA3_BACK_HOME(self.number, _axis(axis), home_byte1, home_byte2)

    def move(self, axis: AxisLike, pulses: int, speed: int) -> None:
        """Relative move of ``pulses`` (sign = direction) at ``speed`` 1..2040
        (``KORVA3_PULSE_MOVE``); returns at once, the card runs it."""
        self._raw.KORVA3_PULSE_MOVE(self.number, _axis(axis), pulses, speed)

    def jog(self, axis: AxisLike, direction: JogDirection, speed: int) -> None:
        """Runs the axis at constant speed until stopped (``KORVA3_CONSTANT_SPEED``)."""
        self._raw.KORVA3_CONSTANT_SPEED(self.number, _axis(axis), JogDirection(direction), speed)

    def send_slice(self, x: int, y: int, z: int) -> None:
        """Sends one interpolation slice of pulses per axis (``KORVA3_INTP_PULSE``).
        Raises ValueError outside -2047..2047, which the card would not be sent."""
        for pulses in (x, y, z):
            if not -MAX_SLICE_PULSES <= pulses <= MAX_SLICE_PULSES:
                raise ValueError(f"slice pulses {pulses} out of range -2047..2047")
        self._raw.KORVA3_INTP_PULSE(self.number, x, y, z)

    # ---- blocking paths ----------------------------------------------------------------
    def line(self, du: int, dv: int, speed: int, plane: Plane = Plane.XY) -> None:
        """A straight line in ``plane`` (``KORVA3_INTP_LINE01``); returns when sent."""
        self._raw.KORVA3_INTP_LINE01(self.number, Plane(plane), du, dv, speed)

    def line_xyz(self, dx: int, dy: int, dz: int, speed: int) -> None:
        """A straight line in space (``KORVA3_INTP_XYZ``); returns when sent."""
        self._raw.KORVA3_INTP_XYZ(self.number, dx, dy, dz, speed)

    def circle(self, center_u: int, center_v: int, direction: Direction, speed: int,
               plane: Plane = Plane.XY) -> None:
        """A full circle around the centre, relative to the start point
        (``KORVA3_INTP_CIRCLE01``); returns when sent."""
        self._raw.KORVA3_INTP_CIRCLE01(self.number, Plane(plane), center_u, center_v,
                                       Direction(direction), speed)

    def arc(self, end_u: int, end_v: int, radius: int, direction: Direction, speed: int,
            plane: Plane = Plane.XY) -> None:
        """An arc to the end point; a positive radius runs at most half a turn, a
        negative one the complementary arc (``KORVA3_INTP_ARC01``)."""
        self._raw.KORVA3_INTP_ARC01(self.number, Plane(plane), end_u, end_v, radius,
                                    Direction(direction), speed)

    # ---- stepwise paths ----------------------------------------------------------------
    def _stepwise(self, name: str, result: int, call: str) -> None:
        if result != 1:
            raise KorvaError(f"{name}: stepwise path refused ({call}: nothing to do, speed "
                             f"0, or a path too long)")

    def start_line(self, du: int, dv: int, speed: int, plane: Plane = Plane.XY, *,
                   ramp: bool = True) -> None:
        """Saves a stepwise line (``KORVA3_INTP_LINE02``): nothing is sent until
        :meth:`continue_path` or :meth:`poll`. Raises KorvaError when refused."""
        r = self._raw.KORVA3_INTP_LINE02(self.number, Plane(plane), du, dv, speed, _flag(not ramp))
        self._stepwise("KORVA3_INTP_LINE02", r, f"line ({du}, {dv}) at {speed}")

    def start_line_xyz(self, dx: int, dy: int, dz: int, speed: int, *, ramp: bool = True) -> None:
        """Saves a stepwise line in space (``KORVA3_INTP_XYZ02``)."""
        r = self._raw.KORVA3_INTP_XYZ02(self.number, dx, dy, dz, speed, _flag(not ramp))
        self._stepwise("KORVA3_INTP_XYZ02", r, f"line ({dx}, {dy}, {dz}) at {speed}")

    def start_circle(self, center_u: int, center_v: int, direction: Direction, speed: int,
                     plane: Plane = Plane.XY, *, ramp: bool = True) -> None:
        """Saves a stepwise circle (``KORVA3_INTP_CIRCLE02``)."""
        r = self._raw.KORVA3_INTP_CIRCLE02(self.number, Plane(plane), center_u, center_v,
                                           Direction(direction), speed, _flag(not ramp))
        self._stepwise("KORVA3_INTP_CIRCLE02", r, f"circle around ({center_u}, {center_v})")

    def start_arc(self, end_u: int, end_v: int, radius: int, direction: Direction, speed: int,
                  plane: Plane = Plane.XY, *, ramp: bool = True) -> None:
        """Saves a stepwise arc (``KORVA3_INTP_ARC02``)."""
        r = self._raw.KORVA3_INTP_ARC02(self.number, Plane(plane), end_u, end_v, radius,
                                        Direction(direction), speed, _flag(not ramp))
        self._stepwise("KORVA3_INTP_ARC02", r, f"arc to ({end_u}, {end_v}) radius {radius}")

    def continue_path(self) -> bool:
        """Sends the stepwise path's next batch; True while it goes on."""
        return self.korva.continue_path()

    def set_path_speed(self, speed: int) -> bool:
        """Changes the stepwise path's speed cap; True while it goes on."""
        return self.korva.set_path_speed(speed)

    # ---- status --------------------------------------------------------------------------
    def poll(self) -> Status:
        """Runs a stepwise path on by one batch and reads the card's status reports
        (``KORVA3_GET_CARD``). Returns the status register (0 when the link failed)."""
        return Status(self._raw.KORVA3_GET_CARD(self.number))

    @property
    def position(self) -> Position:
        """Commanded positions of the last status report (``KORVA3_GET_XC``...)."""
        r, n = self._raw, self.number
        return Position(r.KORVA3_GET_XC(n), r.KORVA3_GET_YC(n), r.KORVA3_GET_ZC(n))

    @property
    def feedback(self) -> Position:
        """Feedback positions of the last status report (``KORVA3_GET_XP``...)."""
        r, n = self._raw, self.number
        return Position(r.KORVA3_GET_XP(n), r.KORVA3_GET_YP(n), r.KORVA3_GET_ZP(n))

    @property
    def system_status(self) -> Status:
        """The system byte of the last status report (``KORVA3_GET_SYS``)."""
        return Status(self._raw.KORVA3_GET_SYS(self.number))

    @property
    def limits(self) -> int:
        """The limit-switch byte of the last status report (``KORVA3_GET_LIMIT``)."""
        return self._raw.KORVA3_GET_LIMIT(self.number)

    @property
    def p1(self) -> int:
        """The P1 byte of the last status report (``KORVA3_GET_P1``)."""
        return self._raw.KORVA3_GET_P1(self.number)

