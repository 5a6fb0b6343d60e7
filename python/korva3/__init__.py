"""korva3: drive the KORVA three-axis PCI motion card from Python.

Pure Python over ctypes. Two layers over the same library:

- ``korva3.raw()`` / ``korva3.sim.raw()``: the C functions of ``korva3.h`` (and
  ``korva3_sim.h``), declared with their exact types.
- ``Korva`` and ``Card``: the library opened and initialised, cards registered on it,
  methods named for what they do, enums instead of numbers, ``KorvaError`` on refusal.

The card's library (``libkorva32.so`` / ``korva32.dll``) is loaded by :func:`open`,
never on import. The virtual card is in :mod:`korva3.sim`.
"""
from __future__ import annotations

import ctypes
from typing import Optional

from . import _loader
from .card import Card
from .library import Korva
from .enums import Axis, Direction, JogDirection, Plane, Status
from .errors import KorvaError, KorvaTimeout, LibraryNotFoundError
from .frames import Frame, MotionRecord, Position

#: The package's version: the library's (``KORVA3_VERSION_*`` of ``korva3.h``).
__version__ = "1.0.0"

__all__ = ["Axis", "Card", "Direction", "Frame", "JogDirection", "Korva", "KorvaError",
           "KorvaTimeout", "LibraryNotFoundError", "MotionRecord", "Plane", "Position",
           "Status", "open", "raw"]


def raw(path: Optional[str] = None) -> ctypes.CDLL:
    """The card's library with its 52 functions declared (``argtypes``, ``restype``).

    Looks at ``path`` if given (the file, or its folder), else at the file or folder
    named by ``KORVA3_LIBRARY``, else in the package's folder, else asks the system's
    loader. Raises LibraryNotFoundError saying where it looked."""
    return _loader.load("hardware", path)


def open(path: Optional[str] = None) -> Korva:  # noqa: A001 - the package's verb
    """Loads the card's library (as :func:`raw`) and initialises it
    (``KORVA3_INITIAL``). On Linux that asks the kernel for port access: it needs root
    or ``CAP_SYS_RAWIO``, else KorvaError with what the kernel said."""
    return Korva(raw(path))
