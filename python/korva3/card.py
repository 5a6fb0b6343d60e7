"""A registered card (``Card``): its registers and settings, single-axis motion, waits
and status, and what leaving its context stops. Its paths are in :mod:`korva3.paths`, the
library it is registered on (:class:`korva3.Korva`) in :mod:`korva3.library`.

Arguments are checked here (``checks``) before the library sees them; waits poll with
sleeps in between and give up with KorvaTimeout.
"""
from __future__ import annotations

import warnings
from typing import TYPE_CHECKING, Optional

from . import _interrupts, checks
from .checks import AxisLike
from .enums import Axis, JogDirection, Status
from .errors import KorvaError, KorvaTimeout
from .frames import Position
from .paths import Paths

if TYPE_CHECKING:
    from .library import Korva

__all__ = ["AxisLike", "Card", "CARD_NUMBERS", "MAX_SLICE_PULSES", "STATUS_TIMEOUT",
           "WAIT_TIMEOUT"]

#: Card numbers an application may register.
CARD_NUMBERS = range(checks.CARD_NUMBERS[0], checks.CARD_NUMBERS[1] + 1)
#: Pulses per axis that one interpolation slice carries at most.
MAX_SLICE_PULSES = checks.SLICE_PULSES[1]
#: Seconds :meth:`Card.wait` waits by default before raising KorvaTimeout.
WAIT_TIMEOUT = 60.0
#: Seconds a fresh status report is waited for (reports come every 20 ms by default).
STATUS_TIMEOUT = 1.0

_MOVING_BITS = {Axis.X: Status.X_MOVING, Axis.Y: Status.Y_MOVING, Axis.Z: Status.Z_MOVING}
_ANY_MOTION = Status.BUSY | Status.X_MOVING | Status.Y_MOVING | Status.Z_MOVING


class Card(Paths):
    """A registered card: commands, paths, waits and its status.

    Made by :meth:`Korva.register`. Speeds are pulses (of path) per slice, positions
    pulses; paths are relative to where the card stands. Blocking paths return when
    the library has sent the last slice (the card may still run the slices it holds);
    :meth:`wait` waits until the card has run them. As a context manager it stops as
    :class:`Korva` does: this card when left normally, every card on an exception.
    """

    def __init__(self, korva: Korva, number: int) -> None:
        self.korva = korva
        #: The card number the application registered (0..15).
        self.number = number
        self._raw = korva.raw
        self._path_running = False
        self._stopped = False
        self._motion_sent = False

    def __repr__(self) -> str:
        return f"<korva3.Card {self.number}>"

    def __enter__(self) -> "Card":
        return self

    def __exit__(self, exc_type: object, exc: object, traceback: object) -> None:
        self.korva._leave(exc, [self])

    # ---- direct registers ------------------------------------------------------------
    @property
    def inputs(self) -> int:
        """The 8 digital inputs (``KORVA3_DI``)."""
        return self._raw.KORVA3_DI(self.number)

    def set_outputs(self, value: int) -> None:
        """Sets digital outputs 0..6 to the low 7 bits of ``value`` (0..255;
        ``KORVA3_DO``)."""
        self._raw.KORVA3_DO(self.number, checks.integer("value", value, checks.BYTE))

    @property
    def status(self) -> Status:
        """The status register, read now (``KORVA3_MSC``)."""
        return Status(self._raw.KORVA3_MSC(self.number))

    @property
    def busy(self) -> bool:
        """True while the controller works on a path (``Status.BUSY``, read now)."""
        return bool(self.status & Status.BUSY)

    @property
    def moving(self) -> bool:
        """True while an axis moves or a path runs (status register, read now)."""
        return bool(self.status & _ANY_MOTION)

    def wait(self, *axes: AxisLike, timeout: Optional[float] = WAIT_TIMEOUT) -> None:
        """Waits until the given axes (default all three) and any path are idle, as
        ``KORVA3_WAIT_X``/``_Y``/``_Z`` do (not busy, the axis's moving bit seen clear
        twice 5 ms apart), sleeping between looks; pumps this card's stepwise path on
        the way. Raises KorvaTimeout when they still move after ``timeout`` seconds
        (None: no limit); the card is not stopped then. Ctrl-C stops every card."""
        axes_ = [checks.axis(a) for a in axes] or list(Axis)
        timeout = checks.timeout(timeout)
        clock = self.korva.clock
        deadline = None if timeout is None else clock.now() + timeout
        with _interrupts.watched():
            try:
                for axis in axes_:
                    bit = _MOVING_BITS[axis]
                    clock.sleep(0.010)
                    self._until_clear(Status.BUSY, axis, deadline, timeout)
                    self._until_clear(bit, axis, deadline, timeout)
                    clock.sleep(0.005)
                    self._until_clear(bit, axis, deadline, timeout)
            except KeyboardInterrupt as interrupt:  # no other lands until the stop is made
                self.korva._stop_for(interrupt)
                raise

    def _until_clear(self, bits: Status, axis: Axis, deadline: Optional[float],
                     timeout: Optional[float]) -> None:
        clock, korva = self.korva.clock, self.korva
        while True:
            saved = korva._stepwise == self.number
            if not self._raw.KORVA3_MSC(self.number) & bits and not saved:
                return
            if deadline is not None and clock.now() >= deadline:
                what = "a path runs" if bits == Status.BUSY else f"axis {axis.name} moves"
                raise KorvaTimeout(f"card {self.number}: {what} still after {timeout} s")
            if saved:
                korva.continue_path()
            if clock.poll_interval:
                clock.sleep(clock.poll_interval)

    def is_stopped(self, axis: AxisLike) -> bool:
        """True when the axis is idle (``KORVA3_IS_X_STOP``...); False while it moves,
        the card is busy, or the card has no link."""
        return getattr(self._raw, f"KORVA3_IS_{checks.axis(axis).name}_STOP")(self.number) == 1

    def reset(self) -> None:
        """Resets the controller through its reset line, ends any path, and resets the
        system (``KORVA3_RESET_SYSTEM``); the outputs are 0 afterwards."""
        self._raw.KORVA3_RESET_SYSTEM(self.number)

    def emergency_stop(self) -> None:
        """Resets the controller at once, keeping the outputs, and ends any path, also
        one running in another thread (``KORVA3_EMG_STOP``); safe from any thread. A
        blocking path it ends raises KorvaError in the thread that ran it."""
        if self._path_running:
            self._stopped = True
        self._raw.KORVA3_EMG_STOP(self.number)

    # ---- configuration ---------------------------------------------------------------
    def set_control_modes(self, x: int, y: int, z: int) -> None:
        """The axes' control mode bytes, 0..255 (0 = stepper; ``KORVA3_SET_CONTROL_MODE``)."""
        x, y, z = (checks.integer(n, v, checks.BYTE) for n, v in (("x", x), ("y", y), ("z", z)))
        self._raw.KORVA3_SET_CONTROL_MODE(self.number, x, y, z)

    def set_speeds(self, card_var: int, accel: int, start_speed: int, high_speed: int,
                   spare: int = 0) -> None:
        """Speed parameters (``KORVA3_SET_VAR``) within what the library would clamp
        them to: card_var 1..254, accel 1..250, start_speed 1..500, high_speed
        start_speed..2040 (ValueError outside). accel and start_speed shape every
        later path on every card."""
        values = dict(card_var=card_var, accel=accel, start_speed=start_speed)
        values = {n: checks.integer(n, v, checks.SPEED_PARAMETERS[n]) for n, v in values.items()}
        high_speed = checks.integer("high_speed", high_speed, (values["start_speed"], 2040))
        spare = checks.integer("spare", spare, (0, 2 ** 32 - 1))
        self._raw.KORVA3_SET_VAR(self.number, values["card_var"], values["accel"],
                                 values["start_speed"], high_speed, spare)

    def set_default_directions(self, x: bool, y: bool, z: bool) -> None:
        """Turns the axes' own moves around (``KORVA3_SET_DEFDIR``)."""
        self._raw.KORVA3_SET_DEFDIR(self.number, checks.flag(x), checks.flag(y), checks.flag(z))

    def set_servo_on(self, x: bool, y: bool, z: bool) -> None:
        """Servo-on flags of the three axes (``KORVA3_SET_SERVO_ON``)."""
        self._raw.KORVA3_SET_SERVO_ON(self.number, checks.flag(x), checks.flag(y), checks.flag(z))

    def zero(self, axis: AxisLike) -> None:
        """Makes the axis's position 0 (``KORVA3_SET_ZERO``)."""
        self._raw.KORVA3_SET_ZERO(self.number, checks.axis(axis))

    def preset(self, axis: AxisLike, position: int) -> None:
        """Sets the axis's position in pulses, a signed 32-bit value
        (``KORVA3_PRESET_POSITION``)."""
        self._raw.KORVA3_PRESET_POSITION(self.number, checks.axis(axis),
                                         checks.pulses("position", position))

    def set_nc(self, value: int) -> None:
        """The NC byte (0..255), passed to the card unchanged (``KORVA3_SET_NC``)."""
        self._raw.KORVA3_SET_NC(self.number, checks.integer("value", value, checks.BYTE))

    # ---- single-axis motion ----------------------------------------------------------
    def stop(self, axis: Optional[AxisLike] = None, *, decelerate: bool = False) -> None:
        """Stops an axis at once, or braking by ``accel`` with ``decelerate=True``
        (``KORVA3_STOP``, ``KORVA3_DEC_STOP``). Without an axis: the card's emergency
        stop (:meth:`emergency_stop`, safe from any thread), or with
        ``decelerate=True`` a decelerating stop of the three axes."""
        if axis is None:
            if not decelerate:
                self.emergency_stop()
                return
            for each in Axis:
                self._raw.KORVA3_DEC_STOP(self.number, each)
            return
        function = self._raw.KORVA3_DEC_STOP if decelerate else self._raw.KORVA3_STOP
        function(self.number, checks.axis(axis))

    def home(self, axis: AxisLike, home_byte1: int, home_byte2: Optional[int] = None) -> None:
        """Homing with one or two homing bytes, 0..255 (``KORVA3_BACK_HOME01``,
        ``KORVA3_BACK_HOME``)."""
        axis = checks.axis(axis)
        home_byte1 = checks.integer("home_byte1", home_byte1, checks.BYTE)
        self._motion_sent = True
        if home_byte2 is None:
            self._raw.KORVA3_BACK_HOME01(self.number, axis, home_byte1)
        else:
            home_byte2 = checks.integer("home_byte2", home_byte2, checks.BYTE)
            self._raw.KORVA3_BACK_HOME(self.number, axis, home_byte1, home_byte2)

    def move(self, axis: AxisLike, pulses: int, speed: int) -> None:
        """Relative move of ``pulses`` (signed 32-bit; sign = direction) at ``speed``
        1..2040 (``KORVA3_PULSE_MOVE``); returns at once, the card runs it."""
        axis = checks.axis(axis)
        pulses, speed = checks.pulses("pulses", pulses), checks.speed(speed)
        self._motion_sent = True
        self._raw.KORVA3_PULSE_MOVE(self.number, axis, pulses, speed)

    def move_to(self, axis: AxisLike, position: int, speed: int,
                timeout: Optional[float] = STATUS_TIMEOUT) -> None:
        """Moves the axis to ``position`` (absolute, pulses) at ``speed`` 1..2040: reads
        where it stands from a fresh status report (``timeout`` as :meth:`poll`), then
        moves by the difference. KorvaError while the axis moves or a path runs."""
        axis = checks.axis(axis)
        position, speed = checks.pulses("position", position), checks.speed(speed)
        if self.status & (Status.BUSY | _MOVING_BITS[axis]):
            raise KorvaError(f"card {self.number}: move_to while axis {axis.name} moves or "
                             f"a path runs: wait first")
        self.poll(timeout=timeout)
        here = self._reported()[axis - 1]
        pulses = position - here
        if not checks.INT32[0] <= pulses <= checks.INT32[1]:
            raise ValueError(f"position {position}: {pulses} pulses from {here}, out of "
                             f"range {checks.INT32[0]}..{checks.INT32[1]} for one move")
        self.move(axis, pulses, speed)

    def jog(self, axis: AxisLike, direction: JogDirection, speed: int) -> None:
        """Runs the axis at constant ``speed`` (1..2040) until stopped
        (``KORVA3_CONSTANT_SPEED``)."""
        axis = checks.axis(axis)
        direction = JogDirection(checks.integer("direction", direction, (0, 1)))
        speed = checks.speed(speed)
        self._motion_sent = True
        self._raw.KORVA3_CONSTANT_SPEED(self.number, axis, direction, speed)

    def send_slice(self, x: int, y: int, z: int) -> None:
        """Sends one interpolation slice of pulses per axis (``KORVA3_INTP_PULSE``).
        Raises ValueError outside -2047..2047, which the card would not be sent."""
        x, y, z = (checks.integer("slice pulses", v, checks.SLICE_PULSES) for v in (x, y, z))
        self._motion_sent = True
        self._raw.KORVA3_INTP_PULSE(self.number, x, y, z)


    # ---- status --------------------------------------------------------------------------
    def poll(self, timeout: Optional[float] = None) -> Status:
        """Runs a stepwise path on by one batch and reads the status reports waiting in
        the mailbox (``KORVA3_GET_CARD``). With ``timeout`` (seconds) it then waits for
        the card's next report, so that what the readers give is current, and raises
        KorvaTimeout when none comes. Returns the status register (0 when the link
        failed)."""
        timeout = checks.timeout(timeout)
        clock = self.korva.clock
        status = self._get_card()
        if timeout is None:
            return status
        deadline = clock.now() + timeout
        while not self._raw.KORVA3_MSC(self.number) & Status.RX_READY:
            if clock.now() >= deadline:
                raise KorvaTimeout(f"card {self.number}: no status report within {timeout} s")
            if clock.poll_interval:
                clock.sleep(clock.poll_interval)
        return self._get_card()

    def _get_card(self) -> Status:
        korva = self.korva
        if korva._stepwise is not None:
            korva._pumped = True
        return Status(self._raw.KORVA3_GET_CARD(self.number))

    def _reported(self) -> Position:
        r, n = self._raw, self.number
        return Position(r.KORVA3_GET_XC(n), r.KORVA3_GET_YC(n), r.KORVA3_GET_ZC(n))

    @property
    def position(self) -> Position:
        """Commanded positions, current: from a status report the card wrote after this
        read began (:meth:`poll` with ``timeout`` STATUS_TIMEOUT; KorvaTimeout when the
        card sends none)."""
        self.poll(timeout=STATUS_TIMEOUT)
        return self._reported()

    @property
    def reported_position(self) -> Position:
        """Commanded positions of the last status report read (``KORVA3_GET_XC``...),
        which may be old: the card is not asked."""
        return self._reported()

    @property
    def feedback(self) -> Position:
        """Feedback positions of a fresh status report (``KORVA3_GET_XP``...; as
        :attr:`position`)."""
        self.poll(timeout=STATUS_TIMEOUT)
        r, n = self._raw, self.number
        return Position(r.KORVA3_GET_XP(n), r.KORVA3_GET_YP(n), r.KORVA3_GET_ZP(n))

    @property
    def system_status(self) -> Status:
        """The system byte of the last status report read (``KORVA3_GET_SYS``)."""
        return Status(self._raw.KORVA3_GET_SYS(self.number))

    @property
    def limits(self) -> int:
        """The limit-switch byte of the last status report read (``KORVA3_GET_LIMIT``)."""
        return self._raw.KORVA3_GET_LIMIT(self.number)

    @property
    def p1(self) -> int:
        """The P1 byte of the last status report read (``KORVA3_GET_P1``)."""
        return self._raw.KORVA3_GET_P1(self.number)

    # ---- leaving -------------------------------------------------------------------------
    def _stop_if_moving(self) -> None:
        """Leaving normally: an axis still moving gets a decelerating stop, a path still
        running an emergency stop (a path has no other), each with a warning."""
        if not self._motion_sent:
            return
        self.korva.clock.sleep(0.010)  # a command's motion bit shows within 10 ms
        status = self.status
        if status & Status.BUSY:
            self.emergency_stop()
            warnings.warn(f"card {self.number}: a path was still running when the context "
                          f"ended: emergency stop (wait() before leaving)", stacklevel=4)
            return
        moving = [a for a in Axis if status & _MOVING_BITS[a]]
        for axis in moving:
            self._raw.KORVA3_DEC_STOP(self.number, axis)
        if moving:
            names = ", ".join(a.name for a in moving)
            warnings.warn(f"card {self.number}: axis {names} still moving when the context "
                          f"ended: decelerating stop (wait() or stop() before leaving)",
                          stacklevel=4)

