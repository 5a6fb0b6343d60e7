"""The virtual machine's results as lists or NumPy arrays, and the plot as a person sees it."""
import shutil
import subprocess
import sys

import pytest

from korva3 import MotionRecord
from korva3.sim import Machine, arrays, plot
from korva3.errors import KorvaError


def _square(machine):
    card = machine.register(0)
    for du, dv in ((2000, 0), (0, 2000), (-2000, 0), (0, -2000)):
        card.line(du, dv, 100)
    card.wait()
    return machine.cards[0]


def test_motion_as_lists_without_numpy(machine, monkeypatch):
    monkeypatch.setattr(arrays, "numpy_or_none", lambda: None)
    motion = _square(machine).take_motion()
    assert isinstance(motion, list) and isinstance(motion[0], MotionRecord)
    assert motion[-1][1:] == (0, 0, 0) and max(r.x for r in motion) == 2000
    with pytest.raises(ImportError, match="python3-numpy"):
        machine.cards[0].take_motion(array=True)


def test_motion_and_slices_as_numpy_arrays(machine):
    numpy = pytest.importorskip("numpy")
    card = machine.register(0)
    card.line(3, 4, 10)
    slices = machine.cards[0].take_slices()
    assert isinstance(slices, numpy.ndarray)
    assert slices.tolist() == [[1, 1, 0], [1, 2, 0], [1, 1, 0]]
    motion = machine.cards[0].take_motion()
    assert motion.shape == (3, 4) and motion[-1, 1:].tolist() == [3, 4, 0]


def test_plot_without_matplotlib_says_what_to_install(monkeypatch):
    monkeypatch.setitem(sys.modules, "matplotlib.figure", None)
    with pytest.raises(KorvaError, match="python3-matplotlib"):
        plot([(0, 0, 0, 0)])


@pytest.mark.skipif(not shutil.which("rsvg-convert"), reason="needs rsvg-convert")
def test_plot_renders_the_path(tmp_path):
    pytest.importorskip("matplotlib")
    image = pytest.importorskip("matplotlib.image")
    with Machine(slice_period_us=0) as m:
        motion = _square(m).take_motion()
    plot(motion, str(tmp_path / "square.svg"))
    png = tmp_path / "square.png"
    subprocess.run(["rsvg-convert", "-o", str(png), str(tmp_path / "square.svg")], check=True)
    pixels = image.imread(str(png))
    # The path is drawn in Matplotlib's first colour (tab:blue, #1f77b4) in the left half.
    blue = ((abs(pixels[..., 0] - 0x1F / 255) < 0.05) & (abs(pixels[..., 1] - 0x77 / 255) < 0.05)
            & (abs(pixels[..., 2] - 0xB4 / 255) < 0.05))
    height, width = blue.shape
    left = blue[:, :width // 2]
    rows, columns = left.nonzero()
    assert left.sum() > 500
    # a square: its blue spans about as many rows as columns
    assert 0.8 < (rows.max() - rows.min()) / (columns.max() - columns.min()) < 1.25
