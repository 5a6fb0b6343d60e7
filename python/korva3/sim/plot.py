"""Drawing an executed path with Matplotlib, when it is installed."""
from __future__ import annotations

from typing import Any, Optional

from ..errors import KorvaError


def plot(motion: Any, file: Optional[str] = None, title: str = "korva3") -> Any:
    """Draws ``motion`` (from ``VirtualCard.take_motion``: rows of time ms, x, y, z)
    as the path in the XY plane and the axes over time. Saves it to ``file`` if given
    (the format follows the extension: .svg, .png, ...). Returns the Matplotlib figure.

    Raises KorvaError when Matplotlib is not installed (Debian: python3-matplotlib)."""
    try:
        from matplotlib.figure import Figure
    except ImportError:
        raise KorvaError("plot() needs Matplotlib (Debian: python3-matplotlib)") from None
    records = [tuple(int(v) for v in row) for row in motion]
    t, x, y, z = (list(c) for c in zip(*records)) if records else ([], [], [], [])
    figure = Figure(figsize=(10, 4.5))
    path, axes = figure.subplots(1, 2)
    path.plot(x, y, color="tab:blue", linewidth=1.5)
    path.set_aspect("equal", adjustable="datalim")
    path.set(title=f"{title}: path (X, Y)", xlabel="X (pulses)", ylabel="Y (pulses)")
    for values, name in ((x, "X"), (y, "Y"), (z, "Z")):
        axes.plot(t, values, label=name)
    axes.set(title="positions", xlabel="time (ms)", ylabel="pulses")
    axes.legend()
    figure.tight_layout()
    if file is not None:
        figure.savefig(file)
    return figure
