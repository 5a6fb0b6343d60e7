#!/usr/bin/env python3
"""stepwise_path.py - a stepwise circle pumped by a status-polling loop, its speed raised
on the way; with Matplotlib installed, `stepwise_path.py --plot circle.svg` draws it."""
import argparse

from korva3 import Direction, Status
from korva3.sim import Machine, plot

parser = argparse.ArgumentParser(description=__doc__)
parser.add_argument("--plot", metavar="FILE", help="draw the executed path (needs Matplotlib)")
args = parser.parse_args()

with Machine(status_period_ms=10) as machine:
    card = machine.register(0)
    card.set_speeds(card_var=10, accel=10, start_speed=10, high_speed=400)
    card.start_circle(20000, 0, Direction.CLOCKWISE, speed=100)  # nothing sent yet
    polls = 0
    while card.poll() & Status.BUSY or polls == 0:   # each poll sends the next batch
        machine.advance(5)                           # the program's 5 ms sleep
        polls += 1
        if polls == 2:
            card.set_path_speed(400)                 # faster, from here on
    card.wait()
    x, y, z = machine.cards[0].position
    print(f"circle done after {polls} polls, {machine.clock_ms} ms: card at ({x}, {y}, {z})")
    assert (x, y, z) == (0, 0, 0)
    if args.plot:
        plot(machine.cards[0].take_motion(), args.plot, title="stepwise circle")
        print("wrote", args.plot)
