"""A card's paths (mixed into :class:`korva3.Card`): blocking ones run in a worker
thread while the caller's thread watches for their end, Ctrl-C, another thread's stop and
the time limit; stepwise ones are saved for the library to send as they are pumped.
"""
from __future__ import annotations

import threading
from typing import TYPE_CHECKING, Any, Callable, List, Optional

from . import _interrupts, checks
from .enums import Direction, Plane
from .errors import KorvaError, KorvaTimeout

if TYPE_CHECKING:
    from .library import Korva

#: Seconds between two looks of the thread that waits for a blocking path.
PATH_LOOK = 0.05
#: Seconds a blocking call is given to return after the emergency stop that ends it.
STOP_GRACE = 5.0
#: Seconds after which a blocking call still running is stopped again.
STOP_AGAIN = 1.0


class Paths:
    """Lines, circles and arcs of a card, blocking and stepwise."""

    # Kept by Card: its library, number and raw layer, and what a running path left.
    korva: Korva
    number: int
    _raw: Any
    _path_running: bool
    _stopped: bool
    _motion_sent: bool

    def _run_path(self, name: str, call: Callable[[], None], timeout: Optional[float]) -> None:
        """Runs a blocking library call in a worker thread; this thread looks every
        PATH_LOOK s for its end, Ctrl-C, the time limit and another thread's stop. A stop
        it makes is made whole and the worker has ended before an exception leaves, however
        many Ctrl-C arrive meanwhile (_interrupts)."""
        timeout = checks.timeout(timeout)
        korva, clock = self.korva, self.korva.clock
        korva._drop_stepwise(f"{name} ends a saved stepwise path")  # as the library does
        done, failure = threading.Event(), []  # type: threading.Event, List[BaseException]

        def run() -> None:
            try:
                if not self._stopped:  # a stop asked before the path began: none runs
                    call()
            except BaseException as e:  # noqa: B902 - handed to the caller's thread
                failure.append(e)
            finally:
                done.set()

        self._stopped, self._path_running, self._motion_sent = False, True, True
        worker = threading.Thread(target=run, name=f"korva3 card {self.number} {name}",
                                  daemon=True)
        with _interrupts.watched() as watch:
            try:
                start = clock.view()
                worker.start()
                while not done.wait(PATH_LOOK):
                    if timeout is not None and clock.view() - start > timeout:
                        if watch is not None:
                            watch.hold()
                        late = KorvaTimeout(f"card {self.number}: {name} still running after "
                                            f"{timeout} s: every card stopped (emergency stop)")
                        korva._stop_for(late)
                        self._join(worker, done, name)
                        raise late
            except KeyboardInterrupt as interrupt:  # no other lands until the block is left
                korva._stop_for(interrupt)
                self._join(worker, done, name)
                raise
            finally:
                self._path_running = False
        if failure:
            raise failure[0]
        if self._stopped:
            raise KorvaError(f"card {self.number}: {name} ended by an emergency stop")

    def _join(self, worker: threading.Thread, done: threading.Event, name: str) -> None:
        """Waits for the stopped path's worker to end, stopping the card again every
        STOP_AGAIN s meanwhile (a path that began just after the first stop)."""
        if worker.ident is None:  # never started
            return
        for _ in range(round(STOP_GRACE / STOP_AGAIN)):
            if done.wait(STOP_AGAIN):
                return
            self._raw.KORVA3_EMG_STOP(self.number)
        raise KorvaError(f"card {self.number}: {name} still blocks {STOP_GRACE} s after "
                         f"the emergency stop")

    def line(self, du: int, dv: int, speed: int, plane: Plane = Plane.XY, *,
             timeout: Optional[float] = None) -> None:
        """A straight line in ``plane`` (``KORVA3_INTP_LINE01``); returns when sent.
        Ctrl-C, another thread's :meth:`stop` or ``timeout`` seconds (None: no limit)
        end it with an emergency stop."""
        plane, du, dv = checks.plane(plane), checks.pulses("du", du), checks.pulses("dv", dv)
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
        plane, direction = checks.plane(plane), checks.direction(direction)
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
        plane, direction = checks.plane(plane), checks.direction(direction)
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
        plane, du, dv = checks.plane(plane), checks.pulses("du", du), checks.pulses("dv", dv)
        speed = checks.speed(speed)
        self.korva._saved(self.number)
        r = self._raw.KORVA3_INTP_LINE02(self.number, plane, du, dv, speed, checks.flag(not ramp))
        self._stepwise("KORVA3_INTP_LINE02", r, f"line ({du}, {dv}) at {speed}")

    def start_line_xyz(self, dx: int, dy: int, dz: int, speed: int, *, ramp: bool = True) -> None:
        """Saves a stepwise line in space (``KORVA3_INTP_XYZ02``)."""
        dx, dy, dz = (checks.pulses(n, v) for n, v in (("dx", dx), ("dy", dy), ("dz", dz)))
        speed = checks.speed(speed)
        self.korva._saved(self.number)
        r = self._raw.KORVA3_INTP_XYZ02(self.number, dx, dy, dz, speed, checks.flag(not ramp))
        self._stepwise("KORVA3_INTP_XYZ02", r, f"line ({dx}, {dy}, {dz}) at {speed}")

    def start_circle(self, center_u: int, center_v: int, direction: Direction, speed: int,
                     plane: Plane = Plane.XY, *, ramp: bool = True) -> None:
        """Saves a stepwise circle (``KORVA3_INTP_CIRCLE02``); ValueError as :meth:`circle`."""
        plane, direction = checks.plane(plane), checks.direction(direction)
        cu, cv = checks.pulses("center_u", center_u), checks.pulses("center_v", center_v)
        speed = checks.speed(speed)
        checks.circle(cu, cv)
        self.korva._saved(self.number)
        r = self._raw.KORVA3_INTP_CIRCLE02(self.number, plane, cu, cv, direction, speed,
                                           checks.flag(not ramp))
        self._stepwise("KORVA3_INTP_CIRCLE02", r, f"circle around ({cu}, {cv})")

    def start_arc(self, end_u: int, end_v: int, radius: int, direction: Direction, speed: int,
                  plane: Plane = Plane.XY, *, ramp: bool = True) -> None:
        """Saves a stepwise arc (``KORVA3_INTP_ARC02``); ValueError as :meth:`arc`."""
        plane, direction = checks.plane(plane), checks.direction(direction)
        eu, ev = checks.pulses("end_u", end_u), checks.pulses("end_v", end_v)
        radius, speed = checks.pulses("radius", radius), checks.speed(speed)
        checks.arc(eu, ev, radius)
        self.korva._saved(self.number)
        r = self._raw.KORVA3_INTP_ARC02(self.number, plane, eu, ev, radius, direction, speed,
                                        checks.flag(not ramp))
        self._stepwise("KORVA3_INTP_ARC02", r, f"arc to ({eu}, {ev}) radius {radius}")

    def continue_path(self) -> bool:
        """Sends the stepwise path's next batch; True while it goes on."""
        return self.korva.continue_path()

    def set_path_speed(self, speed: int) -> bool:
        """Changes the stepwise path's speed cap (1..2040); True while it goes on."""
        return self.korva.set_path_speed(speed)

