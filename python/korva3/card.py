"""The Pythonic layer: a loaded library (``Korva``) and the cards registered on it.

Arguments are checked here (``checks``) before the library sees them; waits poll with
sleeps in between and give up with KorvaTimeout; blocking paths run in a worker thread
while the caller's thread watches for Ctrl-C, another thread's stop and the time limit.
"""
from __future__ import annotations

import ctypes
import errno
import os
import threading
import time
import warnings
from typing import Callable, Dict, Iterable, List, Optional, Union

from . import checks
from .enums import Axis, Direction, JogDirection, Plane, Status
from .errors import KorvaError, KorvaTimeout
from .frames import Position

AxisLike = Union[Axis, int, str]

#: Card numbers an application may register.
CARD_NUMBERS = range(checks.CARD_NUMBERS[0], checks.CARD_NUMBERS[1] + 1)
#: Pulses per axis that one interpolation slice carries at most.
MAX_SLICE_PULSES = checks.SLICE_PULSES[1]
#: Seconds :meth:`Card.wait` waits by default before raising KorvaTimeout.
WAIT_TIMEOUT = 60.0
#: Seconds a fresh status report is waited for (reports come every 20 ms by default).
STATUS_TIMEOUT = 1.0
#: Seconds between two looks of the thread that waits for a blocking path.
PATH_LOOK = 0.05
#: Seconds a blocking call is given to return after the emergency stop that ends it.
STOP_GRACE = 5.0

_MOVING_BITS = {Axis.X: Status.X_MOVING, Axis.Y: Status.Y_MOVING, Axis.Z: Status.Z_MOVING}
_ANY_MOTION = Status.BUSY | Status.X_MOVING | Status.Y_MOVING | Status.Z_MOVING


def _axis(axis: AxisLike) -> Axis:
    if isinstance(axis, str):
        try:
            return Axis[axis.upper()]
        except KeyError:
            raise ValueError(f"no axis {axis!r} (X, Y or Z)") from None
    return Axis(checks.integer("axis", axis, (1, 3)))


def _plane(plane: Plane) -> Plane:
    return Plane(checks.integer("plane", plane, (1, 3)))


def _direction(direction: Direction) -> Direction:
    return Direction(checks.integer("direction", direction, (0, 1)))


def _flag(value: bool) -> int:
    return 1 if value else 0


def _timeout(timeout: Optional[float]) -> Optional[float]:
    if timeout is not None and not timeout > 0:
        raise ValueError(f"timeout {timeout!r}: a number of seconds above 0, or None")
    return timeout


class WallClock:
    """The host's time: waits sleep, time limits count seconds of the steady clock."""

    #: Seconds between two looks at the card in a wait.
    poll_interval = 0.005

    def now(self) -> float:
        """Seconds, for the thread that drives the card."""
        return time.monotonic()

    def view(self) -> float:
        """Seconds, for a thread that watches another one driving the card."""
        return time.monotonic()

    def sleep(self, seconds: float) -> None:
        time.sleep(seconds)


class Korva:
    """The library, loaded and initialised (``KORVA3_INITIAL``).

    Use :func:`korva3.open` for the card's library or :class:`korva3.sim.Machine` for
    the virtual card. As a context manager it stops the cards on leaving, then calls
    ``KORVA3_END``: left by an exception (Ctrl-C too), every registered card gets an
    emergency stop; left normally, an axis still moving gets a decelerating stop and a
    path still running an emergency stop, each with a warning.
    """

    def __init__(self, raw: ctypes.CDLL, *, initialise: bool = True,
                 clock: Optional[WallClock] = None) -> None:
        #: The raw layer: the C functions with their declared types.
        self.raw = raw
        #: Whose time waits sleep and count (the virtual machine's in korva3.sim).
        self.clock = clock or WallClock()
        #: The cards registered through this object, by card number.
        self.cards: Dict[int, Card] = {}
        # The stepwise request the library holds (one per library): its card, whether
        # it was pumped since it was saved.
        self._stepwise: Optional[int] = None
        self._pumped = False
        self._stopped_for: object = None  # the exception the cards were stopped for
        if initialise:
            self.initial()

    def initial(self) -> None:
        """Sets the library's start values and opens the port-access driver the system
        needs (``KORVA3_INITIAL``). Raises KorvaError when it cannot be opened, with what
        the system said (on Linux: the kernel's answer to the request for port access)."""
        if self.raw.KORVA3_INITIAL() != 0:
            raise KorvaError("KORVA3_INITIAL: the port-access driver could not be opened"
                             + _system_said(ctypes.get_errno()))

    def end(self) -> None:
        """Closes the library's device handle (``KORVA3_END``); card numbers stay bound."""
        self.raw.KORVA3_END()

    def register(self, card: int = 0, id_switch: int = 0) -> "Card":
        """Binds card number ``card`` (0..15) to the card whose ID switch is
        ``id_switch`` (0..15) and tests its link (``KORVA3_REGISTRATION``).

        Raises KorvaError when the card is not usable (no card with that ID switch, no
        port access, no device interface, or the link test failed)."""
        card = checks.integer("card number", card, checks.CARD_NUMBERS)
        id_switch = checks.integer("id_switch", id_switch, checks.ID_SWITCHES)
        if self.raw.KORVA3_REGISTRATION(card, id_switch) != 1:
            raise KorvaError(f"KORVA3_REGISTRATION({card}, {id_switch}): no usable card "
                             f"with ID switch {id_switch} (not found, no port access, or "
                             f"its link test failed)")
        self.cards[card] = Card(self, card)
        return self.cards[card]

    def stop(self) -> None:
        """Emergency stop of every registered card at once (``KORVA3_EMG_STOP``): the
        controllers are reset, any path ends, also one running in another thread. The
        one call another thread may make while a card is driven."""
        for card in list(self.cards.values()):
            card.emergency_stop()

    # ---- the stepwise request ----------------------------------------------------------
    def continue_path(self) -> bool:
        """Sends the next batch of slices of the stepwise path (``KORVA3_INTP_STOP``).
        Returns True while the path goes on."""
        return self._pump(self.raw.KORVA3_INTP_STOP())

    def set_path_speed(self, speed: int) -> bool:
        """Changes the stepwise path's speed cap (1..2040), then sends its next batch
        (``KORVA3_INTP_ONLINE_SETSPEED``). Returns True while the path goes on."""
        speed = checks.speed(speed)
        return self._pump(self.raw.KORVA3_INTP_ONLINE_SETSPEED(speed))

    def _pump(self, result: int) -> bool:
        self._pumped = True
        if result != 1:
            self._stepwise = None
        return result == 1

    def _saved(self, card: int) -> None:
        self._drop_stepwise("replaced by a new one")
        self._stepwise, self._pumped = card, False

    def _drop_stepwise(self, why: str) -> None:
        if self._stepwise is not None and not self._pumped:
            warnings.warn(f"the stepwise path of card {self._stepwise} was never pumped "
                          f"(continue_path, poll or wait): it did not run ({why})",
                          stacklevel=4)
        self._stepwise = None

    # ---- leaving -------------------------------------------------------------------------
    def _stop_for(self, failure: BaseException) -> None:
        """Stops every card for ``failure``, once: not again when a context is left
        by the same exception."""
        if failure is not self._stopped_for:
            self._stopped_for = failure
            self.stop()

    def _leave(self, failure: object, cards: Iterable["Card"]) -> None:
        if isinstance(failure, BaseException):
            self._stop_for(failure)
            return
        for card in cards:
            card._stop_if_moving()
        self._drop_stepwise("the context ended")

    def __enter__(self) -> "Korva":
        return self

    def __exit__(self, exc_type: object, exc: object, traceback: object) -> None:
        try:
            self._leave(exc, list(self.cards.values()))
        finally:
            self.end()


class Card:
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
        axes_ = [_axis(a) for a in axes] or list(Axis)
        timeout = _timeout(timeout)
        clock = self.korva.clock
        deadline = None if timeout is None else clock.now() + timeout
        try:
            for axis in axes_:
                bit = _MOVING_BITS[axis]
                clock.sleep(0.010)
                self._until_clear(Status.BUSY, axis, deadline, timeout)
                self._until_clear(bit, axis, deadline, timeout)
                clock.sleep(0.005)
                self._until_clear(bit, axis, deadline, timeout)
        except KeyboardInterrupt as interrupt:
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
        return getattr(self._raw, f"KORVA3_IS_{_axis(axis).name}_STOP")(self.number) == 1

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
        self._raw.KORVA3_SET_DEFDIR(self.number, _flag(x), _flag(y), _flag(z))

    def set_servo_on(self, x: bool, y: bool, z: bool) -> None:
        """Servo-on flags of the three axes (``KORVA3_SET_SERVO_ON``)."""
        self._raw.KORVA3_SET_SERVO_ON(self.number, _flag(x), _flag(y), _flag(z))

    def zero(self, axis: AxisLike) -> None:
        """Makes the axis's position 0 (``KORVA3_SET_ZERO``)."""
        self._raw.KORVA3_SET_ZERO(self.number, _axis(axis))

    def preset(self, axis: AxisLike, position: int) -> None:
        """Sets the axis's position in pulses, a signed 32-bit value
        (``KORVA3_PRESET_POSITION``)."""
        self._raw.KORVA3_PRESET_POSITION(self.number, _axis(axis),
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
        function(self.number, _axis(axis))

    def home(self, axis: AxisLike, home_byte1: int, home_byte2: Optional[int] = None) -> None:
        """Homing with one or two homing bytes, 0..255 (``KORVA3_BACK_HOME01``,
        ``KORVA3_BACK_HOME``)."""
        axis = _axis(axis)
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
        axis = _axis(axis)
        pulses, speed = checks.pulses("pulses", pulses), checks.speed(speed)
        self._motion_sent = True
        self._raw.KORVA3_PULSE_MOVE(self.number, axis, pulses, speed)

    def move_to(self, axis: AxisLike, position: int, speed: int,
                timeout: Optional[float] = STATUS_TIMEOUT) -> None:
        """Moves the axis to ``position`` (absolute, pulses) at ``speed`` 1..2040: reads
        where it stands from a fresh status report (``timeout`` as :meth:`poll`), then
        moves by the difference. KorvaError while the axis moves or a path runs."""
        axis = _axis(axis)
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
        axis = _axis(axis)
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

    # ---- blocking paths ----------------------------------------------------------------
    def _run_path(self, name: str, call: Callable[[], None], timeout: Optional[float]) -> None:
        """Runs a blocking library call in a worker thread; this thread looks every
        PATH_LOOK s for its end, Ctrl-C, the time limit and another thread's stop."""
        timeout = _timeout(timeout)
        korva, clock = self.korva, self.korva.clock
        korva._drop_stepwise(f"{name} ends a saved stepwise path")  # as the library does
        done, failure = threading.Event(), []  # type: threading.Event, List[BaseException]

        def run() -> None:
            try:
                call()
            except BaseException as e:  # noqa: B902 - handed to the caller's thread
                failure.append(e)
            finally:
                done.set()

        self._stopped, self._path_running, self._motion_sent = False, True, True
        worker = threading.Thread(target=run, name=f"korva3 card {self.number} {name}",
                                  daemon=True)
        start = clock.view()
        try:
            worker.start()
            while not done.wait(PATH_LOOK):
                if timeout is not None and clock.view() - start > timeout:
                    late = KorvaTimeout(f"card {self.number}: {name} still running after "
                                        f"{timeout} s: every card stopped (emergency stop)")
                    korva._stop_for(late)
                    self._join(done, name)
                    raise late
        except KeyboardInterrupt as interrupt:
            korva._stop_for(interrupt)
            self._join(done, name)
            raise
        finally:
            self._path_running = False
        if failure:
            raise failure[0]
        if self._stopped:
            raise KorvaError(f"card {self.number}: {name} ended by an emergency stop")

    def _join(self, done: threading.Event, name: str) -> None:
        if not done.wait(STOP_GRACE):
            raise KorvaError(f"card {self.number}: {name} still blocks {STOP_GRACE} s after "
                             f"the emergency stop")

    def line(self, du: int, dv: int, speed: int, plane: Plane = Plane.XY, *,
             timeout: Optional[float] = None) -> None:
        """A straight line in ``plane`` (``KORVA3_INTP_LINE01``); returns when sent.
        Ctrl-C, another thread's :meth:`stop` or ``timeout`` seconds (None: no limit)
        end it with an emergency stop."""
        plane, du, dv = _plane(plane), checks.pulses("du", du), checks.pulses("dv", dv)
        speed = checks.speed(speed)
        self._run_path("line", lambda: self._raw.KORVA3_INTP_LINE01(
            self.number, plane, du, dv, speed), timeout)

    def line_xyz(self, dx: int, dy: int, dz: int, speed: int, *,
                 timeout: Optional[float] = None) -> None:
        """A straight line in space (``KORVA3_INTP_XYZ``); returns when sent."""
        dx, dy, dz = (checks.pulses(n, v) for n, v in (("dx", dx), ("dy", dy), ("dz", dz)))
        speed = checks.speed(speed)
        self._run_path("line_xyz", lambda: self._raw.KORVA3_INTP_XYZ(
            self.number, dx, dy, dz, speed), timeout)

    def circle(self, center_u: int, center_v: int, direction: Direction, speed: int,
               plane: Plane = Plane.XY, *, timeout: Optional[float] = None) -> None:
        """A full circle around the centre, relative to the start point
        (``KORVA3_INTP_CIRCLE01``); returns when sent. ValueError for a centre on the
        start point, which the library would refuse by sending nothing."""
        plane, direction = _plane(plane), _direction(direction)
        cu, cv = checks.pulses("center_u", center_u), checks.pulses("center_v", center_v)
        speed = checks.speed(speed)
        checks.circle(cu, cv)
        self._run_path("circle", lambda: self._raw.KORVA3_INTP_CIRCLE01(
            self.number, plane, cu, cv, direction, speed), timeout)

    def arc(self, end_u: int, end_v: int, radius: int, direction: Direction, speed: int,
            plane: Plane = Plane.XY, *, timeout: Optional[float] = None) -> None:
        """An arc to the end point; a positive radius runs at most half a turn, a
        negative one the complementary arc (``KORVA3_INTP_ARC01``). ValueError for a
        radius 0 or shorter than half the chord, which the library would refuse."""
        plane, direction = _plane(plane), _direction(direction)
        eu, ev = checks.pulses("end_u", end_u), checks.pulses("end_v", end_v)
        radius, speed = checks.pulses("radius", radius), checks.speed(speed)
        checks.arc(eu, ev, radius)
        self._run_path("arc", lambda: self._raw.KORVA3_INTP_ARC01(
            self.number, plane, eu, ev, radius, direction, speed), timeout)

    # ---- stepwise paths ----------------------------------------------------------------
    def _stepwise(self, name: str, result: int, call: str) -> None:
        if result != 1:
            self.korva._stepwise = None
            raise KorvaError(f"{name}: stepwise path refused ({call}: nothing to do, or "
                             f"a path too long)")
        self._motion_sent = True

    def start_line(self, du: int, dv: int, speed: int, plane: Plane = Plane.XY, *,
                   ramp: bool = True) -> None:
        """Saves a stepwise line (``KORVA3_INTP_LINE02``): nothing is sent until
        :meth:`continue_path`, :meth:`poll` or :meth:`wait`. Raises KorvaError when
        refused."""
        plane, du, dv = _plane(plane), checks.pulses("du", du), checks.pulses("dv", dv)
        speed = checks.speed(speed)
        self.korva._saved(self.number)
        r = self._raw.KORVA3_INTP_LINE02(self.number, plane, du, dv, speed, _flag(not ramp))
        self._stepwise("KORVA3_INTP_LINE02", r, f"line ({du}, {dv}) at {speed}")

    def start_line_xyz(self, dx: int, dy: int, dz: int, speed: int, *, ramp: bool = True) -> None:
        """Saves a stepwise line in space (``KORVA3_INTP_XYZ02``)."""
        dx, dy, dz = (checks.pulses(n, v) for n, v in (("dx", dx), ("dy", dy), ("dz", dz)))
        speed = checks.speed(speed)
        self.korva._saved(self.number)
        r = self._raw.KORVA3_INTP_XYZ02(self.number, dx, dy, dz, speed, _flag(not ramp))
        self._stepwise("KORVA3_INTP_XYZ02", r, f"line ({dx}, {dy}, {dz}) at {speed}")

    def start_circle(self, center_u: int, center_v: int, direction: Direction, speed: int,
                     plane: Plane = Plane.XY, *, ramp: bool = True) -> None:
        """Saves a stepwise circle (``KORVA3_INTP_CIRCLE02``); ValueError as :meth:`circle`."""
        plane, direction = _plane(plane), _direction(direction)
        cu, cv = checks.pulses("center_u", center_u), checks.pulses("center_v", center_v)
        speed = checks.speed(speed)
        checks.circle(cu, cv)
        self.korva._saved(self.number)
        r = self._raw.KORVA3_INTP_CIRCLE02(self.number, plane, cu, cv, direction, speed,
                                           _flag(not ramp))
        self._stepwise("KORVA3_INTP_CIRCLE02", r, f"circle around ({cu}, {cv})")

    def start_arc(self, end_u: int, end_v: int, radius: int, direction: Direction, speed: int,
                  plane: Plane = Plane.XY, *, ramp: bool = True) -> None:
        """Saves a stepwise arc (``KORVA3_INTP_ARC02``); ValueError as :meth:`arc`."""
        plane, direction = _plane(plane), _direction(direction)
        eu, ev = checks.pulses("end_u", end_u), checks.pulses("end_v", end_v)
        radius, speed = checks.pulses("radius", radius), checks.speed(speed)
        checks.arc(eu, ev, radius)
        self.korva._saved(self.number)
        r = self._raw.KORVA3_INTP_ARC02(self.number, plane, eu, ev, radius, direction, speed,
                                        _flag(not ramp))
        self._stepwise("KORVA3_INTP_ARC02", r, f"arc to ({eu}, {ev}) radius {radius}")

    def continue_path(self) -> bool:
        """Sends the stepwise path's next batch; True while it goes on."""
        return self.korva.continue_path()

    def set_path_speed(self, speed: int) -> bool:
        """Changes the stepwise path's speed cap (1..2040); True while it goes on."""
        return self.korva.set_path_speed(speed)

    # ---- status --------------------------------------------------------------------------
    def poll(self, timeout: Optional[float] = None) -> Status:
        """Runs a stepwise path on by one batch and reads the status reports waiting in
        the mailbox (``KORVA3_GET_CARD``). With ``timeout`` (seconds) it then waits for
        the card's next report, so that what the readers give is current, and raises
        KorvaTimeout when none comes. Returns the status register (0 when the link
        failed)."""
        timeout = _timeout(timeout)
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


def _system_said(error: int) -> str:
    """What the system answered a refused KORVA3_INITIAL, for its message: the error's
    text, and the way to port access only where the answer was "not permitted"."""
    if not error:
        return ""
    hint = "; run as root or grant CAP_SYS_RAWIO" if error == errno.EPERM else ""
    return f" ({os.strerror(error)}{hint})"
