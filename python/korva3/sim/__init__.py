"""The virtual card: ``libkorva32sim.so`` / ``korva32sim.dll``, the library over a
virtual machine (PCI bus, card controllers, virtual clock), with its ``KSIM_`` control
functions. This module loads only that library, never the card's.

>>> from korva3.sim import Machine
>>> with Machine() as machine:          # one card, ID switch 0
...     card = machine.register(0)      # card number 0
...     card.line(3000, 4000, speed=100)
...     card.wait()
...     machine.cards[0].position
Position(x=3000, y=4000, z=0)
"""
from __future__ import annotations

import ctypes
from typing import Optional

from .. import _loader
from .machine import CardSetup, Fault, Limit, Machine, VirtualCard
from .plot import plot

__all__ = ["CardSetup", "Fault", "Limit", "Machine", "VirtualCard", "plot", "raw"]


def raw(path: Optional[str] = None) -> ctypes.CDLL:
    """The virtual card's library with its 52 ``KORVA3_`` and its ``KSIM_`` functions
    declared. Looks at ``path`` if given, else ``KORVA3_SIM_LIBRARY``, else the package
    folder, else the system's loader; raises LibraryNotFoundError saying where."""
    return _loader.load("sim", path)
