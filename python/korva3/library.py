"""The library, loaded and initialised (``Korva``): registering cards, stopping every
card at once, the stepwise request the library holds (one per library), and what leaving
a context stops; with the host's clock that waits sleep and count by.
"""
from __future__ import annotations

import ctypes
import errno
import os
import time
import warnings
from typing import Dict, Iterable, Optional

from . import _interrupts, checks
from .card import Card
from .errors import KorvaError


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

    def register(self, card: int = 0, id_switch: int = 0) -> Card:
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
        by the same exception. No Ctrl-C cuts the stop short (_interrupts); one that cut
        it before it began leaves it to be made when the context is left."""
        if failure is not self._stopped_for:
            with _interrupts.held():
                self.stop()
                self._stopped_for = failure

    def _leave(self, failure: object, cards: Iterable[Card]) -> None:
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


def _system_said(error: int) -> str:
    """What the system answered a refused KORVA3_INITIAL, for its message: the error's
    text, and the way to port access only where the answer was "not permitted"."""
    if not error:
        return ""
    hint = "; run as root or grant CAP_SYS_RAWIO" if error == errno.EPERM else ""
    return f" ({os.strerror(error)}{hint})"
