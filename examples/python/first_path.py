#!/usr/bin/env python3
"""first_path.py - a path on the virtual card: register card 0, set the speeds, run a
line and an arc, wait until the card has run them, print its positions."""
from korva3 import Direction
from korva3.sim import Machine

with Machine() as machine:               # a virtual PC with one card, ID switch 0
    card = machine.register(0)           # card number 0 = the card whose ID switch is 0
    card.set_speeds(card_var=10, accel=10, start_speed=10, high_speed=400)
    card.line(10000, 0, speed=300)       # pulses, pulses of path per slice
    card.arc(0, 10000, 10000, Direction.COUNTER_CLOCKWISE, speed=300)
    card.wait()                          # until the card has run every slice
    card.poll()                          # read the reports that waited in the mailbox
    machine.advance(40)                  # 40 ms later: fresh reports
    card.poll()
    print("card 0 at", tuple(card.position), "after", machine.clock_ms, "ms")
    assert card.position == (10000, 10000, 0)
