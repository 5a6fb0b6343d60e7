"""The Card class on the virtual card: frames, refusals, status, inputs and outputs."""
import pytest

from korva3 import Axis, Direction, KorvaError, KorvaTimeout, Plane, Position, Status
from korva3.sim import CardSetup, Fault, Limit, Machine


def test_worked_example_line_sends_three_slices(machine, card):
    card.line(3, 4, speed=10)
    assert machine.cards[0].take_slices(array=False) == [(1, 1, 0), (1, 2, 0), (1, 1, 0)]


@pytest.mark.parametrize("method, args, slices_sum", [
    ("line", (300, -400, 50, Plane.XZ), (300, 0, -400)),
    ("line_xyz", (-100, 200, 300, 40), (-100, 200, 300)),
    ("circle", (500, 0, Direction.CLOCKWISE, 60), (0, 0, 0)),
    ("arc", (0, 1000, 500, Direction.COUNTER_CLOCKWISE, 80, Plane.YZ), (0, 0, 1000)),
])
def test_blocking_paths_reach_their_targets(machine, card, method, args, slices_sum):
    getattr(card, method)(*args)
    slices = machine.cards[0].take_slices(array=False)
    assert tuple(map(sum, zip(*slices))) == slices_sum


@pytest.mark.parametrize("call, match", [
    (lambda m, c: m.register(1, id_switch=5), r"REGISTRATION\(1, 5\)"),
    (lambda m, c: c.start_line(0, 0, 10), "INTP_LINE02: stepwise path refused"),
    (lambda m, c: c.start_line_xyz(0, 0, 0, 10), "INTP_XYZ02"),
])
def test_refusals_raise_with_the_reason(machine, card, call, match):
    with pytest.raises(KorvaError, match=match):
        call(machine, card)


def test_registration_without_link_is_refused():
    with Machine([CardSetup(id_switch=2, link=False)], slice_period_us=0,
                 status_period_ms=0) as m:
        with pytest.raises(KorvaError, match="link test failed"):
            m.register(0)
        m.cards[0].set_link(True)
        assert m.register(0).number == 0


def test_a_missing_card_shows_the_libraries_message(machine):
    with pytest.raises(KorvaError):
        machine.register(0, id_switch=9)
    assert machine.take_messages() == ["DLL: GetCard==0"]


@pytest.mark.parametrize("value", [1.5, "w", 4, 0])
def test_bad_axes_are_refused_before_the_library(card, value):
    with pytest.raises((ValueError, TypeError)):
        card.move(value, 100, 10)


def test_a_slice_beyond_a_frame_is_refused(card):
    with pytest.raises(ValueError, match="-2047..2047"):
        card.send_slice(0, 2048, 0)


def test_stepwise_path_runs_on_polls_and_reads_signed_positions():
    with Machine(status_period_ms=5) as m:
        card = m.register(0)
        card.start_line(-30000, -40000, 200)
        polls = 0
        while card.continue_path() and polls < 10000:
            m.advance(2)
            polls += 1
        assert 0 < polls < 10000
        card.wait()
        card.poll()  # drains the reports that waited in the mailbox
        m.advance(20)
        card.poll()
        assert m.cards[0].position == card.position == Position(-30000, -40000, 0)
        assert not card.poll() & (Status.BUSY | Status.X_MOVING)


def test_inputs_outputs_and_reset(machine, card):
    machine.cards[0].inputs = 0xA5
    assert card.inputs == 0xA5
    card.set_outputs(0xFF)
    assert machine.cards[0].outputs == 0x7F  # bit 7, the reset line, is never driven
    card.reset()
    assert machine.cards[0].resets == 1 and machine.cards[0].outputs == 0


def test_a_limit_switch_stops_the_axis_and_shows_in_the_status():
    with Machine([CardSetup(limits={Axis.X: (-100, 500)})], status_period_ms=5) as m:
        card = m.register(0)
        card.move("x", 2000, 10)
        card.wait(Axis.X)
        m.advance(20)
        card.poll()
        assert m.cards[0].position.x == 500 and Limit(card.limits) == Limit.X_HIGH
        assert card.is_stopped("X")


def test_a_silent_controller_gives_no_status(machine, card):
    machine.cards[0].fault(Fault.SILENT)
    machine.advance(100)
    card.poll()
    assert card.system_status == 0 and card.reported_position == (0, 0, 0)
    start = machine.clock_ms
    with pytest.raises(KorvaTimeout, match="card 0: no status report within 1.0 s"):
        card.position
    assert 1000 <= machine.clock_ms - start < 1010


def test_one_machine_at_a_time(machine):
    with pytest.raises(KorvaError, match="already running"):
        with Machine():
            pass
    outside = Machine()
    with pytest.raises(KorvaError, match="not running"):
        outside.register(0)
