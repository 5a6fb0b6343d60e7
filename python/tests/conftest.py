"""Runs the tests on the package in this folder's parent and the virtual card's library
named by KORVA3_SIM_LIBRARY (CTest sets it; else ../build is tried)."""
import os
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
REPO = os.path.dirname(os.path.dirname(HERE))
if not os.environ.get("KORVA3_SIM_LIBRARY"):
    os.environ["KORVA3_SIM_LIBRARY"] = os.path.join(REPO, "build")

from korva3.sim import Machine  # noqa: E402


@pytest.fixture
def machine():
    """One card (ID switch 0) on an ideal bus: slices take effect as they arrive."""
    with Machine(slice_period_us=0) as m:
        yield m


@pytest.fixture
def card(machine):
    """Card number 0, registered, its registration frames taken."""
    c = machine.register(0)
    machine.cards[0].take_frames()
    return c
