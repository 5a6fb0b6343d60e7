"""Ctrl-C while the cards are being stopped.

CPython runs a signal's Python handler in the main thread, between two bytecodes: a
second Ctrl-C could raise KeyboardInterrupt in the middle of the emergency stop the first
one asked for, before ``KORVA3_EMG_STOP`` is called, and the path would run on. While a
blocking path or a wait runs in the main thread (:func:`watched`), the SIGINT handler in
place (Python's own, which raises KeyboardInterrupt, or the program's) is wrapped: the
first SIGINT goes to it as before, and once it has raised, later ones are held back
(dropped) until the block is left, by which time the stop is made and the path's worker
has ended. :func:`held` holds them from its start, for a stop made outside such a block.

Nothing changes in another thread (no signal handler runs there), nor where the handler
is ``SIG_IGN`` or ``SIG_DFL``.
"""
from __future__ import annotations

import signal
import threading
from contextlib import contextmanager
from typing import Any, Iterator, Optional


class Watch:
    """The SIGINT handler in place while a path or wait runs: the program's, until it
    raises; then none until the block is left."""

    def __init__(self, previous: Any, stopping: bool) -> None:
        self.previous = previous
        #: A stop is under way: SIGINT is held back.
        self.stopping = stopping
        #: SIGINTs held back.
        self.held = 0

    def __call__(self, signum: int, frame: Any) -> None:
        if self.stopping:
            self.held += 1
            return
        self.stopping = True  # what the handler raises asks for a stop
        self.previous(signum, frame)
        self.stopping = False  # it raised nothing: no stop asked

    def hold(self) -> None:
        """From now on SIGINT is held back (a stop begins for another reason)."""
        self.stopping = True


@contextmanager
def watched(stopping: bool = False) -> Iterator[Optional[Watch]]:
    """Wraps the SIGINT handler for the block (main thread, a callable handler only;
    else yields None and changes nothing)."""
    previous = signal.getsignal(signal.SIGINT)
    if threading.current_thread() is not threading.main_thread() or not callable(previous):
        yield None
        return
    watch = Watch(previous, stopping)
    try:
        signal.signal(signal.SIGINT, watch)
        yield watch
    finally:
        signal.signal(signal.SIGINT, previous)


def held() -> Any:
    """A block in which no SIGINT raises (a stop that must be made whole)."""
    return watched(stopping=True)
