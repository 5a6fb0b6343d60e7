"""Rows as NumPy arrays when NumPy is present, as lists of tuples otherwise."""
from __future__ import annotations

from typing import Any, Optional, Sequence


def numpy_or_none() -> Any:
    """The numpy module, or None when it is not installed."""
    try:
        import numpy
    except ImportError:
        return None
    return numpy


def rows(values: Sequence[tuple], columns: int, array: Optional[bool]) -> Any:
    """``values`` as an (n, columns) int64 NumPy array if ``array`` is True, or None and
    NumPy is present; else the list itself."""
    if array is False:
        return list(values)
    numpy = numpy_or_none()
    if numpy is None:
        if array:
            raise ImportError("NumPy is not installed (Debian: python3-numpy)")
        return list(values)
    return numpy.array(values, dtype=numpy.int64).reshape(-1, columns)
