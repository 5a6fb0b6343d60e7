"""A virtual machine to run programs on: cards with their switches, inputs, faults and
timing; virtual time; what each card received and did."""
from __future__ import annotations

import ctypes
import enum
from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Tuple

from .. import _loader, checks
from ..card import AxisLike, Card
from ..library import Korva
from ..errors import KorvaError
from ..frames import Frame, MotionRecord, Position
from .arrays import rows

#: PCI identity of a supported card (vendor, device, subsystem vendor, subsystem): the
#: KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR and KSIM_PCI_SUBSYSTEM of the header.
PCI_IDS = (0xE159, 0x0002, 0x0081, 0x0004)
FRAME_SIZE = 13
_BATCH = 1024


class Fault(enum.IntEnum):
    """Faults a virtual card's controller can be given (``KSIM_FAULT``)."""
    NONE = 0            #: clear every fault
    SILENT = 1          #: offers no byte to the host (no status, no link echo)
    STALL_STATUS = 2    #: the next status report stops after n of its bytes
    CORRUPT_STATUS = 3  #: the next n status reports carry a wrong check byte
    NEVER_READY = 4     #: never takes a byte again


class Limit(enum.IntFlag):
    """Bits of the virtual card's limit byte (``KORVA3_GET_LIMIT``): an axis at its
    low or high limit switch."""
    X_LOW = 0x01
    X_HIGH = 0x02
    Y_LOW = 0x04
    Y_HIGH = 0x08
    Z_LOW = 0x10
    Z_HIGH = 0x20


@dataclass
class CardSetup:
    """One card of the machine. ``device`` None places card i at device i + 1 of bus
    0. Timing fields left None keep the machine's. ``limits`` maps an axis to its (low,
    high) limit switches, ``home`` an axis to its home switch."""
    id_switch: int = 0
    bus: int = 0
    device: Optional[int] = None
    inputs: int = 0
    link: bool = True
    limits: Dict[AxisLike, Tuple[int, int]] = field(default_factory=dict)
    home: Dict[AxisLike, int] = field(default_factory=dict)
    slice_period_us: Optional[int] = None
    queue_size: Optional[int] = None
    status_period_ms: Optional[int] = None


class VirtualCard:
    """A card on the virtual machine, seen from outside: its switches and inputs, what
    it received and the path it executed. Its ``index`` is its place on the machine,
    not a card number the application registers."""

    def __init__(self, raw: ctypes.CDLL, index: int) -> None:
        self._raw = raw
        #: The card's place on the machine (0, 1, ... in the order added).
        self.index = index

    def __repr__(self) -> str:
        return f"<korva3.sim.VirtualCard {self.index}>"

    @property
    def position(self) -> Position:
        """Where the card's axes stand now, in pulses (``KSIM_POSITION``)."""
        r, i = self._raw, self.index
        return Position(r.KSIM_POSITION(i, 1), r.KSIM_POSITION(i, 2), r.KSIM_POSITION(i, 3))

    @property
    def outputs(self) -> int:
        """The last value written to the digital outputs (``KSIM_OUTPUTS``)."""
        return self._raw.KSIM_OUTPUTS(self.index)

    @property
    def inputs(self) -> int:
        """Not readable here; set the digital inputs the card shows (``KSIM_SET_INPUTS``)."""
        raise AttributeError("inputs is write-only on the virtual card; read Card.inputs")

    @inputs.setter
    def inputs(self, value: int) -> None:
        self._raw.KSIM_SET_INPUTS(self.index, value)

    @property
    def resets(self) -> int:
        """How often the controller was reset through its reset line."""
        return self._raw.KSIM_RESETS(self.index)

    def set_link(self, answers: bool) -> None:
        """Whether the controller answers the link test (registration needs it)."""
        self._raw.KSIM_SET_LINK(self.index, 1 if answers else 0)

    def set_limits(self, axis: AxisLike, low: int, high: int) -> None:
        """Places the axis's limit switches; reaching one stops the axis."""
        self._raw.KSIM_SET_LIMITS(self.index, checks.axis(axis), low, high)

    def set_home(self, axis: AxisLike, position: int) -> None:
        """Places the axis's home switch, where homing stops."""
        self._raw.KSIM_SET_HOME(self.index, checks.axis(axis), position)

    def fault(self, fault: Fault, n: int = 0) -> None:
        """Injects a fault (``Fault.NONE`` clears them all)."""
        self._raw.KSIM_FAULT(self.index, Fault(fault), n)

    def set_timing(self, slice_period_us: Optional[int] = None, queue_size: Optional[int] = None,
                   status_period_ms: Optional[int] = None) -> None:
        """This card's slice period (0 = ideal), queue length and status report period."""
        _set_timing(self._raw, self.index, slice_period_us, queue_size, status_period_ms)

    def value(self, name: str, axis: int = 0) -> int:
        """A value the controller keeps, by name ("high_speed", "position", ...; see
        ``KSIM_CARD_VALUE``); 0 for unknown names."""
        return self._raw.KSIM_CARD_VALUE(self.index, name.encode("ascii"), axis)

    def take_frames(self) -> List[Frame]:
        """The command frames the controller took since the last call, in order."""
        out: List[Frame] = []
        buffer = (ctypes.c_uint8 * (FRAME_SIZE * _BATCH))()
        while True:
            n = self._raw.KSIM_TAKE_FRAMES(self.index, buffer, _BATCH)
            data = bytes(buffer)
            out.extend(Frame(data[k * FRAME_SIZE:(k + 1) * FRAME_SIZE]) for k in range(n))
            if n < _BATCH:
                return out

    def take_slices(self, array: Optional[bool] = None) -> Any:
        """The X, Y, Z pulses of the interpolation slices received since the last call
        (other frames are dropped): an (n, 3) NumPy array, or a list of tuples when
        NumPy is absent or ``array`` is False."""
        slices = [f.slice for f in self.take_frames() if f.slice is not None]
        return rows(slices, 3, array)

    def take_motion(self, array: Optional[bool] = None) -> Any:
        """The path executed since the last call: (time ms, x, y, z) each time a
        position changed. An (n, 4) NumPy array, or a list of MotionRecord when NumPy
        is absent or ``array`` is False."""
        records: List[MotionRecord] = []
        buffer = (ctypes.c_int32 * (4 * _BATCH))()
        while True:
            n = self._raw.KSIM_TAKE_MOTION(self.index, buffer, _BATCH)
            records.extend(MotionRecord(*buffer[4 * k:4 * k + 4]) for k in range(n))
            if n < _BATCH:
                return rows(records, 4, array)


def _set_timing(raw: ctypes.CDLL, index: int, slice_period_us: Optional[int],
                queue_size: Optional[int], status_period_ms: Optional[int]) -> None:
    if slice_period_us is not None:
        raw.KSIM_SET_SLICE_PERIOD_US(index, slice_period_us)
    if queue_size is not None:
        raw.KSIM_SET_QUEUE_SIZE(index, queue_size)
    if status_period_ms is not None:
        raw.KSIM_SET_STATUS_PERIOD_MS(index, status_period_ms)


class VirtualClock:
    """The virtual machine's time: a sleep lets virtual time pass
    (``KSIM_ADVANCE_MS``), time limits count the machine's milliseconds. Waits look at
    the card without sleeping in between: each look lets virtual time run on to the
    card's next event, as the library's own waits do, and costs no wall-clock time."""

    poll_interval = 0.0

    def __init__(self, raw: ctypes.CDLL) -> None:
        self._raw = raw

    def now(self) -> float:
        return self._raw.KSIM_CLOCK_MS() / 1000

    def view(self) -> float:
        """The clock as the thread driving the machine left it (``KSIM_CLOCK_VIEW_MS``),
        read from another thread without entering the machine."""
        return self._raw.KSIM_CLOCK_VIEW_MS() / 1000

    def sleep(self, seconds: float) -> None:
        self._raw.KSIM_ADVANCE_MS(max(1, round(seconds * 1000)))


_active: List["Machine"] = []


class Machine:
    """A virtual machine with cards on its PCI bus, as a context manager.

    Entering resets the machine (``KSIM_RESET``), adds the cards and initialises the
    library (``KORVA3_INITIAL``); leaving stops the cards as :class:`korva3.Korva` does
    (an exception: emergency stop of every registered card; normally: a decelerating
    stop of an axis still moving, an emergency stop of a path still running, with a
    warning), then calls ``KORVA3_END``. Waits let virtual time pass. The library is one per
    process, so one machine at a time. ``cards`` is a number of cards (ID switches 0,
    1, ...) or a list of ``CardSetup``. Timing: slice period in microseconds (default
    1000; 0 = an ideal card that never holds the host up), slices the queue holds
    (default 256), status report period in ms (default 20; 0 = none).
    """

    def __init__(self, cards: Any = 1, *, slice_period_us: Optional[int] = None,
                 queue_size: Optional[int] = None, status_period_ms: Optional[int] = None,
                 library: Optional[str] = None) -> None:
        if isinstance(cards, int):
            cards = [CardSetup(id_switch=i) for i in range(cards)]
        self.setups: List[CardSetup] = list(cards)
        self.timing = (slice_period_us, queue_size, status_period_ms)
        #: The raw layer of the virtual card's library.
        self.raw = _loader.load("sim", library)
        self.cards: List[VirtualCard] = []
        self.korva: Optional[Korva] = None

    def __enter__(self) -> "Machine":
        if _active:
            raise KorvaError("a virtual machine is already running in this process")
        r = self.raw
        r.KSIM_RESET()
        _set_timing(r, -1, *self.timing)
        self.cards = [self._add(i, s) for i, s in enumerate(self.setups)]
        self.korva = Korva(r, clock=VirtualClock(r))
        _active.append(self)
        return self

    def _add(self, i: int, s: CardSetup) -> VirtualCard:
        device = i + 1 if s.device is None else s.device
        index = self.raw.KSIM_ADD_CARD(s.bus, device, *PCI_IDS, s.id_switch)
        if index < 0:
            raise KorvaError(f"cannot add a card at bus {s.bus} device {device} (bus and "
                             f"device 0..31, one card a place, 64 cards at most)")
        card = VirtualCard(self.raw, index)
        card.inputs = s.inputs
        card.set_link(s.link)
        for axis, (low, high) in s.limits.items():
            card.set_limits(axis, low, high)
        for axis, position in s.home.items():
            card.set_home(axis, position)
        card.set_timing(s.slice_period_us, s.queue_size, s.status_period_ms)
        return card

    def __exit__(self, exc_type: object, exc: object, traceback: object) -> None:
        try:
            if self.korva is not None:
                self.korva.__exit__(exc_type, exc, traceback)
        finally:
            if self in _active:
                _active.remove(self)

    def _korva(self) -> Korva:
        if self.korva is None or self not in _active:
            raise KorvaError("the machine is not running: use it in a 'with' block")
        return self.korva

    def register(self, card: int = 0, id_switch: Optional[int] = None) -> Card:
        """Registers card number ``card`` with the card whose ID switch is
        ``id_switch`` (default: the switch of the machine's card ``card``, else 0)."""
        card = checks.integer("card number", card, checks.CARD_NUMBERS)
        if id_switch is None:
            id_switch = self.setups[card].id_switch if card < len(self.setups) else 0
        return self._korva().register(card, id_switch)

    def advance(self, ms: int) -> None:
        """Lets ``ms`` milliseconds of virtual time pass, as a program's sleep."""
        self.raw.KSIM_ADVANCE_MS(checks.integer("ms", ms, (0, 2 ** 32 - 1)))

    def set_pace(self, percent: int) -> None:
        """Holds virtual time to at most ``percent`` % of the wall clock (100 = real
        time); 0 lets it run as fast as the host can (``KSIM_SET_PACE``)."""
        self.raw.KSIM_SET_PACE(checks.integer("percent", percent, (0, 2 ** 32 - 1)))

    @property
    def clock_ms(self) -> int:
        """The virtual clock in milliseconds."""
        return self.raw.KSIM_CLOCK_MS()

    def take_messages(self) -> List[str]:
        """Message boxes the library showed since the last call ("caption: text")."""
        text = ctypes.create_string_buffer(4096)
        self.raw.KSIM_TAKE_MESSAGES(text, len(text))
        return [line for line in text.value.decode("latin-1").split("\n") if line]

    def set_logging(self, on: bool) -> None:
        """Logging of frames and port accesses (off for long jobs; motion is kept)."""
        self.raw.KSIM_SET_LOGGING(1 if on else 0)


