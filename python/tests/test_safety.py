"""What keeps a machine safe from Python: arguments refused before the library sees
them, waits that give up, paths that Ctrl-C and stop() end, contexts that stop the cards
(also checked in the virtual machine's trace after the Python process has gone)."""
import json
import os
import signal
import subprocess
import sys
import threading
import time
import warnings

import pytest

import korva3
from korva3 import Axis, Direction, JogDirection, KorvaError, KorvaTimeout
from korva3.sim import Machine

PACKAGE = os.path.dirname(os.path.dirname(korva3.__file__))
STOP, DEC_STOP = 0x31, 0x33


@pytest.mark.parametrize("call, error, match", [
    (lambda m, c: c.move(Axis.X, 2 ** 31, 10), ValueError,
     r"pulses 2147483648 out of range -2147483648\.\.2147483647"),
    (lambda m, c: c.move(Axis.X, 2 ** 40, 10), ValueError, "pulses 1099511627776 out of"),
    (lambda m, c: c.move(Axis.X, 100, -5), ValueError, r"speed -5 out of range 1\.\.2040"),
    (lambda m, c: c.jog(Axis.X, JogDirection.FORWARD, 0), ValueError, "speed 0 out of"),
    (lambda m, c: c.jog(Axis.X, 2, 10), ValueError, r"direction 2 out of range 0\.\.1"),
    (lambda m, c: c.move(4, 100, 10), ValueError, r"axis 4 out of range 1\.\.3"),
    (lambda m, c: c.move(Axis.X, 1.5, 10), TypeError, "pulses must be an integer"),
    (lambda m, c: c.line(100, 100, 0), ValueError, "speed 0 out of"),
    (lambda m, c: c.line(100, 100, 2041), ValueError, "speed 2041 out of"),
    (lambda m, c: c.line(100, 100, 10, plane=4), ValueError, r"plane 4 out of range 1\.\.3"),
    (lambda m, c: c.line_xyz(0, -2 ** 31 - 1, 0, 10), ValueError, "dy -2147483649 out of"),
    (lambda m, c: c.circle(0, 0, Direction.CLOCKWISE, 10), ValueError, "centre is the start"),
    (lambda m, c: c.circle(10, 0, 2, 10), ValueError, "direction 2 out of"),
    (lambda m, c: c.arc(1000, 0, 400, Direction.CLOCKWISE, 10), ValueError,
     r"radius 400 is shorter than half the chord \(500\)"),
    (lambda m, c: c.start_arc(0, 10, 0, Direction.CLOCKWISE, 10), ValueError, "radius 0"),
    (lambda m, c: c.start_circle(0, 0, Direction.CLOCKWISE, 10), ValueError, "start point"),
    (lambda m, c: c.start_line(10, 10, -1), ValueError, "speed -1 out of"),
    (lambda m, c: c.set_path_speed(0), ValueError, "speed 0 out of"),
    (lambda m, c: c.preset(Axis.Z, 2 ** 31), ValueError, "position 2147483648 out of"),
    (lambda m, c: c.set_speeds(10, 10, 100, 50), ValueError,
     r"high_speed 50 out of range 100\.\.2040"),
    (lambda m, c: c.set_speeds(10, 251, 10, 400), ValueError, r"accel 251 out of range 1\.\.250"),
    (lambda m, c: c.home(Axis.X, 256), ValueError, r"home_byte1 256 out of range 0\.\.255"),
    (lambda m, c: m.register(16), ValueError, r"card number 16 out of range 0\.\.15"),
    (lambda m, c: m.register(-1), ValueError, "card number -1 out of"),
    (lambda m, c: m.korva.register(1, id_switch=16), ValueError, r"id_switch 16 out of range"),
], ids=lambda v: v if isinstance(v, str) else "")
def test_a_value_out_of_range_is_refused_before_the_library(machine, card, call, error, match):
    with pytest.raises(error, match=match):
        call(machine, card)
    assert machine.cards[0].take_frames() == []


@pytest.mark.parametrize("start, axes, timeout, still", [
    (lambda c: c.move(Axis.X, 100000, 10), (), 0.5, "axis X moves"),  # 10 s of moving
    (lambda c: c.move(Axis.Z, -100000, 20), ("z",), 2.0, "axis Z moves"),
    (lambda c: c.line(20000, 0, 100), ("y", "x"), 0.1, "a path runs"),
])
def test_a_wait_gives_up_at_its_timeout(start, axes, timeout, still):
    with Machine() as m:
        card = m.register(0)
        start(card)
        begin = m.clock_ms
        with pytest.raises(KorvaTimeout, match=f"card 0: {still} still after {timeout} s"):
            card.wait(*axes, timeout=timeout)
        assert timeout * 1000 <= m.clock_ms - begin < timeout * 1000 + 20
        assert card.moving
        card.stop(decelerate=True)
        card.wait(timeout=1)
        assert not card.moving and not card.busy


def test_a_wait_runs_a_stepwise_path_and_move_to_goes_to_a_position():
    with Machine(status_period_ms=5) as m:
        card = m.register(0)
        card.start_line(3000, -4000, 200)
        card.wait(timeout=10)
        assert m.cards[0].position == card.position == (3000, -4000, 0)
        card.move_to("y", 500, 100)
        card.wait(Axis.Y)
        assert card.position == (3000, 500, 0)


def _catch(leave):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            leave()
        except RuntimeError:
            pass
    return [str(w.message) for w in caught]


def _in_machine(body, raise_in_it, card_context=False):
    def leave():
        with Machine(2, status_period_ms=5) as m:
            leave.machine = m
            cards = [m.register(0), m.register(1)]
            if card_context:
                with cards[0]:
                    body(cards[0])
                    if raise_in_it:
                        raise RuntimeError("the program failed")
            else:
                body(cards[0])
                if raise_in_it:
                    raise RuntimeError("the program failed")
        leave.machine = m
    warned = _catch(leave)
    virtual = leave.machine.cards
    codes = [[f.code for f in c.take_frames()] for c in virtual]
    return warned, codes, [c.resets for c in virtual]


def _jog(card):
    card.jog(Axis.X, JogDirection.FORWARD, 20)


def _line_left_running(card):
    card.line(20000, 0, 100)  # 200 slices queued when it returns


def _done(card):
    card.move(Axis.Y, 300, 50)
    card.wait()


def _never_pumped(card):
    card.start_line(100, 100, 10)


@pytest.mark.parametrize("body, raise_in_it, card_context, warning, stops, resets", [
    (_jog, False, False, "card 0: axis X still moving when the context ended: "
     "decelerating stop", [DEC_STOP], [0, 0]),
    (_jog, False, True, "axis X still moving", [DEC_STOP], [0, 0]),
    (_line_left_running, False, False, "card 0: a path was still running when the context "
     "ended: emergency stop", [], [1, 0]),
    (_jog, True, False, None, [], [1, 1]),
    (_jog, True, True, None, [], [1, 1]),
    (_done, False, False, None, [], [0, 0]),
    (_done, True, False, None, [], [1, 1]),
    (_never_pumped, False, False, "the stepwise path of card 0 was never pumped", [], [0, 0]),
], ids=["jogging", "jogging, card context", "path queued", "exception", "exception, card "
        "context", "idle", "exception when idle", "stepwise never pumped"])
def test_leaving_a_context_stops_the_cards(body, raise_in_it, card_context, warning, stops,
                                           resets):
    warned, codes, reset_counts = _in_machine(body, raise_in_it, card_context)
    assert len(warned) == (warning is not None) and (warning is None or warning in warned[0])
    assert [c for c in codes[0] if c in (STOP, DEC_STOP)] == stops
    assert reset_counts == resets


# A line of 50 million slices: minutes on the virtual card, however fast the host.
LONG_LINE = 100_000_000


def test_a_blocking_path_ends_at_its_timeout_with_an_emergency_stop():
    with Machine() as m:
        card = m.register(0)
        with pytest.raises(KorvaTimeout, match=r"card 0: line still running after 0\.2 s"):
            card.line(LONG_LINE, 0, 2, timeout=0.2)
        assert m.cards[0].resets == 1 and 0 < m.cards[0].position.x < LONG_LINE


def test_another_threads_stop_ends_a_blocking_path():
    with Machine() as m:
        card = m.register(0)
        begin = m.raw.KSIM_CLOCK_MS()

        def stop_after_100_ms():
            while m.raw.KSIM_CLOCK_VIEW_MS() - begin < 100:
                time.sleep(0.001)
            card.stop()

        stopper = threading.Thread(target=stop_after_100_ms)
        stopper.start()
        with pytest.raises(KorvaError, match="card 0: line ended by an emergency stop"):
            card.line(LONG_LINE, 0, 2)
        stopper.join()
        assert m.cards[0].resets == 1 and 0 < m.cards[0].position.x < LONG_LINE


CTRL_C_CHILD = """
import os
import signal
import sys
import threading
import time
from korva3.sim import Machine

left = False


def interrupt(signum, frame):                # Python's own, until the motion has been left
    if not left:
        raise KeyboardInterrupt


signal.signal(signal.SIGINT, interrupt)
with Machine() as m:
    m.set_pace(100)                          # virtual time at most as fast as the wall's
    card = m.register(0)
    if sys.argv[1] == "wait":
        card.jog("x", 0, 25)                 # runs until stopped
    stop = m.korva.stop

    def stop_pressed_again():                # Ctrl-C again just as the stop begins
        os.kill(os.getpid(), signal.SIGINT)
        stop()

    m.korva.stop = stop_pressed_again
    begun = m.raw.KSIM_CLOCK_VIEW_MS()

    def say_inside():                        # the clock moves only while the card is driven
        while m.raw.KSIM_CLOCK_VIEW_MS() < begun + 50:
            time.sleep(0.001)
        print("inside", flush=True)

    threading.Thread(target=say_inside, daemon=True).start()
    try:
        if sys.argv[1] == "wait":
            card.wait(timeout=None)
        else:
            card.line(200000, 0, 25)         # 8000 slices of 1 ms: 8 s
        print("the motion ended")
    except KeyboardInterrupt:
        left = True
        workers = [t for t in threading.enumerate() if t.name.startswith("korva3 card")]
        print("interrupted", m.cards[0].resets, m.clock_ms, len(workers), flush=True)
"""


@pytest.mark.parametrize("during", ["line", "wait"])
def test_ctrl_c_ends_a_path_or_a_wait_at_once_with_an_emergency_stop(during):
    """A burst of Ctrl-C while the card is driven, one of them just as the stop begins:
    the first asks for the emergency stop, the others cannot cut it short, and the path's
    worker has ended when KeyboardInterrupt reaches the program."""
    env = dict(os.environ, PYTHONPATH=PACKAGE)
    child = subprocess.Popen([sys.executable, "-c", CTRL_C_CHILD, during], env=env, text=True,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        assert child.stdout.readline() == "inside\n"
        sent = time.monotonic()
        for _ in range(100):  # a held-down Ctrl-C
            child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=60)
        took = time.monotonic() - sent
    finally:
        child.kill()
    words = out.split()
    assert words[:1] == ["interrupted"], (out, err)
    resets, clock_ms, workers = (int(w) for w in words[1:])
    assert (resets, workers) == (1, 0), (out, err)
    assert clock_ms < 4000 and took < 3.0, took  # the line alone takes 8 s, the jog for ever


TRACE_CHILD = """
import sys
import time
import korva3
try:
    with korva3.open() as korva:              # the card's library: the virtual one in its place
        card = korva.register(0, 0)
        card.set_speeds(card_var=10, accel=10, start_speed=10, high_speed=400)
        card.jog("x", korva3.JogDirection.FORWARD, 40)
        if sys.argv[1] == "error":
            raise RuntimeError("the program failed")
finally:
    time.sleep(0.3)                           # the machine runs on in wall time meanwhile
"""


@pytest.mark.parametrize("how, returncode, stop_event", [
    ("normal", 0, ("frame", "dec_stop")),
    ("error", 1, ("reset", "controller")),
])
def test_the_machine_stands_after_the_program_has_gone(tmp_path, how, returncode, stop_event):
    (tmp_path / "machine.toml").write_text('trace = "run.jsonl"\n[[card]]\nid = 0\n')
    env = dict(os.environ, PYTHONPATH=PACKAGE, KORVA3_LIBRARY=os.environ["KORVA3_SIM_LIBRARY"],
               KORVA32_MACHINE=str(tmp_path / "machine.toml"))
    run = subprocess.run([sys.executable, "-c", TRACE_CHILD, how], env=env, text=True,
                         capture_output=True, timeout=60)
    assert run.returncode == returncode, run.stderr
    assert ("decelerating stop" in run.stderr) == (how == "normal")
    events = [json.loads(line) for line in (tmp_path / "run.jsonl").read_text().splitlines()]
    events = [e for e in events if e.get("card") == 0]
    names = [(e["ev"], e.get("name", e.get("kind"))) for e in events]
    jog = names.index(("frame", "constant_speed"))
    stop = events[names.index(stop_event, jog)]
    # jogging on, X would move every ms until the process ends, 300 ms after the stop
    moves = [e for e in events if e["ev"] == "motion"]
    assert moves[-1]["t"] < stop["t"] + 100
