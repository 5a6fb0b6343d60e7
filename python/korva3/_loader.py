"""Finding and loading the shared library.

The places, in order: the path the caller gives; the environment variable
(``KORVA3_LIBRARY`` for the card's library, ``KORVA3_SIM_LIBRARY`` for the virtual
card's), naming the file or the folder that holds it; the package's own folder (where
``cmake --install`` puts both libraries, and where the Windows zips carry the DLLs); the
system's loader (``LD_LIBRARY_PATH``, ``ldconfig``'s cache; on Windows the program's
folder and the system folders, not ``PATH``, which Python 3.8 and later leave out for
ctypes). The first place that is given is the
only one tried for an explicit path; an environment variable that is set must load.
"""
from __future__ import annotations

import ctypes
import os
import struct
import sys
from typing import Callable, Dict, List, Optional, Tuple

from ._declarations import KORVA3_FUNCTIONS, KSIM_FUNCTIONS, declare
from .errors import LibraryNotFoundError

PACKAGE_DIR = os.path.dirname(os.path.abspath(__file__))

#: Environment variable per library kind.
ENV_VARS = {"hardware": "KORVA3_LIBRARY", "sim": "KORVA3_SIM_LIBRARY"}


def library_file_name(kind: str, platform: str = sys.platform) -> str:
    """The file name of the library of ``kind`` ("hardware" or "sim") on ``platform``."""
    stem = "korva32sim" if kind == "sim" else "korva32"
    if platform == "win32" or platform == "cygwin":
        return stem + ".dll"
    if platform == "darwin":
        return "lib" + stem + ".dylib"
    return "lib" + stem + ".so"


def loader_name(platform: str = sys.platform, pointer_size: int = struct.calcsize("P")) -> str:
    """The name of the ctypes loader for the library's calling convention.

    32-bit Windows: the functions are ``__stdcall``, so ``WinDLL``; everywhere else
    (64-bit Windows included) there is one convention: ``CDLL``.
    """
    return "WinDLL" if platform == "win32" and pointer_size == 4 else "CDLL"


def loader_class() -> Callable[..., ctypes.CDLL]:
    """The ctypes loader of this Python (see :func:`loader_name`)."""
    return getattr(ctypes, loader_name())


def candidates(kind: str, path: Optional[str] = None,
               environ: Optional[Dict[str, str]] = None) -> List[Tuple[str, str]]:
    """The places to try, in order, as (what, path or name) pairs."""
    environ = os.environ if environ is None else environ
    name = library_file_name(kind)
    if path is not None:
        path = os.fspath(path)
        return [("path argument", os.path.join(path, name) if os.path.isdir(path) else path)]
    variable = ENV_VARS[kind]
    value = environ.get(variable)
    if value:
        return [(variable, os.path.join(value, name) if os.path.isdir(value) else value)]
    return [("package folder", os.path.join(PACKAGE_DIR, name)),
            ("system loader", name)]


_loaded: Dict[Tuple[str, str], ctypes.CDLL] = {}


def load(kind: str, path: Optional[str] = None) -> ctypes.CDLL:
    """Loads the library of ``kind`` and declares its functions (the ``KSIM_`` ones too
    for "sim"). Raises ``LibraryNotFoundError`` naming every place it looked at."""
    tried = []
    for what, where in candidates(kind, path):
        key = (kind, where)
        if key in _loaded:
            return _loaded[key]
        if what == "package folder" and not os.path.exists(where):
            tried.append(f"{what}: {where} (no such file)")
            continue
        try:
            library = loader_class()(where, use_errno=True)  # what the system said
        except OSError as e:
            tried.append(f"{what}: {where} ({e})")
            continue
        try:
            declare(library, KORVA3_FUNCTIONS)
            if kind == "sim":
                declare(library, KSIM_FUNCTIONS)
        except AttributeError as e:
            tried.append(f"{what}: {where} (not the {kind} library: {e})")
            continue
        _loaded[key] = library
        return library
    hint = (f"(set {ENV_VARS[kind]} to the file or its folder, pass its path, "
            f"or install the package with 'cmake --install')")
    raise LibraryNotFoundError(library_file_name(kind), tried, hint)
