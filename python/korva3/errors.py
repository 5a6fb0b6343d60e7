"""The exceptions of the korva3 package."""
from __future__ import annotations

from typing import Sequence


class KorvaError(Exception):
    """A call the library refused or reported as failed; the message says why."""


class LibraryNotFoundError(KorvaError, OSError):
    """The shared library could not be loaded from any of the places looked at.

    ``tried`` holds one line per place: the path or name, and why it failed.
    """

    def __init__(self, library: str, tried: Sequence[str], hint: str = "") -> None:
        self.library = library
        self.tried = list(tried)
        lines = "".join("\n  " + t for t in self.tried)
        super().__init__(f"cannot load {library}; looked at:{lines}" + (f"\n{hint}" if hint else ""))


class KorvaTimeout(KorvaError, TimeoutError):
    """A wait, a poll for a fresh status report or a path that did not end in time."""
