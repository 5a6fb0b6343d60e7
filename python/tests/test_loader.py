"""Finding the library: the places in order, the loader per platform, the error."""
import os
import subprocess
import sys

import pytest

import korva3
import korva3.sim
from korva3 import _loader
from korva3.errors import LibraryNotFoundError

SIM_LIBRARY = os.environ["KORVA3_SIM_LIBRARY"]
HW_LIBRARY = os.environ.get("KORVA3_TEST_HW_LIBRARY")


@pytest.mark.parametrize("platform, pointer_size, loader, sim_name", [
    ("win32", 4, "WinDLL", "korva32sim.dll"),  # 32-bit Python on Windows: stdcall
    ("win32", 8, "CDLL", "korva32sim.dll"),
    ("linux", 8, "CDLL", "libkorva32sim.so"),
    ("linux", 4, "CDLL", "libkorva32sim.so"),
])
def test_loader_and_file_name_per_platform(platform, pointer_size, loader, sim_name):
    assert _loader.loader_name(platform, pointer_size) == loader
    assert _loader.library_file_name("sim", platform) == sim_name
    assert _loader.library_file_name("hardware", platform) == sim_name.replace("sim", "")


@pytest.mark.parametrize("path, environ, expected", [
    ("/x/lib.so", {"KORVA3_SIM_LIBRARY": "/y"}, [("path argument", "/x/lib.so")]),
    (None, {"KORVA3_SIM_LIBRARY": "/y/lib.so"}, [("KORVA3_SIM_LIBRARY", "/y/lib.so")]),
    (None, {"KORVA3_LIBRARY": "/y/lib.so"},
     [("package folder", os.path.join(_loader.PACKAGE_DIR, "libkorva32sim.so")),
      ("system loader", "libkorva32sim.so")]),
])
def test_places_in_order(path, environ, expected):
    assert _loader.candidates("sim", path, environ) == expected


def test_a_folder_stands_for_the_file_in_it(tmp_path):
    assert _loader.candidates("hardware", str(tmp_path), {}) == [
        ("path argument", str(tmp_path / "libkorva32.so"))]


def _run(code, **env):
    """Runs ``code`` in a fresh Python (no library loaded yet) with the package."""
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(korva3.__file__)), **env)
    env = {k: v for k, v in env.items() if v is not None}
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True)


def test_the_error_says_where_it_looked():
    package = os.path.dirname(korva3.__file__)
    run = _run("import korva3.sim; korva3.sim.raw()", KORVA3_SIM_LIBRARY="",
               LD_LIBRARY_PATH="")
    assert "LibraryNotFoundError: cannot load libkorva32sim.so; looked at:" in run.stderr
    assert f"package folder: {package}/libkorva32sim.so (no such file)" in run.stderr
    assert "system loader: libkorva32sim.so" in run.stderr
    assert "set KORVA3_SIM_LIBRARY to the file or its folder" in run.stderr
    with pytest.raises(LibraryNotFoundError, match="path argument: /nowhere/libkorva32.so"):
        korva3.raw("/nowhere/libkorva32.so")


@pytest.mark.skipif(not HW_LIBRARY, reason="KORVA3_TEST_HW_LIBRARY not set")
def test_the_sim_module_refuses_the_card_library(monkeypatch):
    monkeypatch.setenv("KORVA3_SIM_LIBRARY", HW_LIBRARY)
    with pytest.raises(LibraryNotFoundError, match="not the sim library"):
        korva3.sim.raw()


def test_import_loads_nothing_and_the_machine_only_the_sim_library():
    if not os.path.exists("/proc/self/maps"):
        pytest.skip("no /proc")
    code = ("import korva3, korva3.sim\n"
            "maps = lambda: open('/proc/self/maps').read()\n"
            "assert 'korva32' not in maps(), 'import loaded a library'\n"
            "with korva3.sim.Machine(): pass\n"
            "m = maps()\n"
            "assert 'libkorva32sim.so' in m and 'libkorva32.so' not in m\n")
    run = _run(code)
    assert run.returncode == 0, run.stderr
