#!/usr/bin/env python3
"""Writes the sample stage, stages/rally_stage.json, next to this script.

About 20 s of a rally car with its driver and co-driver, and a marshal at the hairpin:

    0 - 4 s    a straight, accelerating in second gear
    4 - 8 s    a left-right chicane, a change up to third in the middle
    8 - 12 s   a left hairpin: down to second, the handbrake pulled, held and released
    12 - 15 s  rain: the windscreen is measured and the wipers sweep
    15 - 18 s  a rough section: the road shakes both people and the wheels
    18 - 20 s  the rear bumper comes off

The car's path is integrated from the steering, so the car turns the way its driver steers:
negative steering turns left, which raises the heading (degrees about the up axis; at 0 the car
faces -Y). Positions are metres in the library's axes, Z up; the drive hands them to the library
in the host's axes.
"""

import json
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
DURATION = 20.0
STEP = 0.1  # seconds between the car's keys


def speed(t):
    """m/s: up to 17 on the straight, 7 through the hairpin, 14 after."""
    if t < 4.0:
        return 6.0 + 11.0 * t / 4.0
    if t < 8.0:
        return 17.0 - 2.5 * (t - 4.0) / 4.0
    if t < 9.0:
        return 14.5 - 7.5 * (t - 8.0)
    if t < 11.5:
        return 7.0
    return min(14.0, 7.0 + 3.0 * (t - 11.5))


# Steering keys (time, value): the chicane, the hairpin, straight otherwise.
STEERING = [(0.0, 0.0), (4.0, 0.0), (4.6, -0.55), (5.4, -0.55), (6.0, 0.0), (6.6, 0.6),
            (7.4, 0.6), (8.0, 0.0), (8.6, -0.9), (11.0, -0.9), (11.6, 0.0), (20.0, 0.0)]
# Degrees of heading per metre at full steering: the hairpin turns about 180 degrees.
TURN_PER_METRE = 9.4


def steering_at(t):
    for (t0, v0), (t1, v1) in zip(STEERING, STEERING[1:]):
        if t0 <= t <= t1:
            return v0 + (v1 - v0) * (t - t0) / (t1 - t0)
    return STEERING[-1][1]


def car_keys():
    keys, x, y, heading = [], 0.0, 60.0, 0.0
    t, dt = 0.0, 0.01
    next_key = 0.0
    while t <= DURATION + 1e-9:
        if t >= next_key - 1e-9:
            keys.append({'time': round(next_key, 3), 'car': {
                'position': [round(x, 4), round(y, 4), 0.0], 'heading': round(heading, 3)}})
            next_key += STEP
        v = speed(t)
        heading -= steering_at(t) * TURN_PER_METRE * v * dt
        h = math.radians(heading)
        x += math.sin(h) * v * dt
        y -= math.cos(h) * v * dt
        t += dt
    return keys


def shake(amount):
    """Shake vectors for one person: spine, upper spine, head, left and right upper arm."""
    return {'vectors': [[0.05 * amount, 0.0, 0.03 * amount], [0.04 * amount, 0.0, 0.0],
                        [0.08 * amount, 0.02 * amount, 0.0], [0.0, 0.0, 0.05 * amount],
                        [0.0, 0.0, -0.05 * amount]],
            'body': [0.0, 0.0, 0.02 * amount]}


def main():
    timeline = car_keys()
    timeline += [{'time': t, 'steering': v} for t, v in STEERING]
    timeline += [
        {'time': 0.0, 'handbrake': 0.0, 'wipers': [0.0, 0.0], 'rough': 0.0,
         'shake': {'driver': shake(0.0), 'coDriver': shake(0.0)}},
        {'time': 5.5, 'gear': 'up'},
        # The marshal watches the car come into the hairpin, then follows the ghost of the
        # leader past it.
        {'time': 8.0, 'pin': {'character': 'Marshal', 'node': 'D_look',
                              'position': [-900.0, -2600.0, 700.0], 'signal': 'solid'}},
        {'time': 8.4, 'gear': 'down'},
        {'time': 9.0, 'handbrake': 1.0},
        {'time': 10.5, 'handbrake': 0.0},
        {'time': 11.0, 'pin': {'character': 'Marshal', 'node': 'D_look',
                               'position': [1200.0, -2200.0, 600.0], 'signal': 'ghost'}},
        {'time': 12.0, 'windscreen': [[0.65, -0.80, 0.93], [-0.65, -0.80, 0.93],
                                      [0.60, -0.29, 1.24], [-0.60, -0.29, 1.24]]},
        {'time': 15.0, 'rough': 0.0, 'shake': {'driver': shake(0.0), 'coDriver': shake(0.0)}},
        {'time': 15.6, 'rough': 0.8, 'shake': {'driver': shake(1.0), 'coDriver': shake(-1.0)}},
        {'time': 17.4, 'rough': 0.8, 'shake': {'driver': shake(-1.0), 'coDriver': shake(1.0)}},
        {'time': 18.0, 'rough': 0.0, 'shake': {'driver': shake(0.0), 'coDriver': shake(0.0)}},
        {'time': 18.5, 'gear': 'up'},
        {'time': 19.0, 'detach': {'character': 'Car', 'node': 'e_bumper_r'}},
    ]
    # The wipers: parked until the rain, then a sweep every 0.9 s, then parked again.
    sweep = [(12.0, 0.0)]
    t = 12.0
    while t + 0.9 <= 15.2:
        sweep += [(round(t + 0.45, 3), 1.5), (round(t + 0.9, 3), 0.0)]
        t += 0.9
    timeline += [{'time': t, 'wipers': [a, a]} for t, a in sweep]
    timeline.sort(key=lambda e: e['time'])  # stable: keys of one time keep their order

    stage = {
        'comment': 'The sample stage: a straight, a chicane with a gear change, a hairpin with the '
                   'handbrake, rain, a rough section and a lost bumper. Written by '
                   'generate_stage.py; zelkar-drive plays it.',
        'root': '..',
        'duration': DURATION,
        'firstGear': 2,
        'scenes': [{'file': 'samples/car_idle.zka', 'name': 'car_idle'},
                   {'file': 'samples/driver_steer.zka', 'name': 'driver_steer'},
                   {'file': 'samples/codriver_notes.zka', 'name': 'codriver_notes'},
                   {'file': 'samples/idle_loop.zka', 'name': 'idle_loop'}],
        'characters': [
            {'name': 'Car', 'kind': 'Car', 'hierarchy': 'samples/rally_car.zkh',
             'scenes': ['car_idle']},
            {'name': 'Driver', 'kind': 'Driver', 'hierarchy': 'samples/human_skeleton.zkh',
             'scenes': ['driver_steer']},
            {'name': 'CoDriver', 'kind': 'CoDriver', 'hierarchy': 'samples/human_skeleton.zkh',
             'scenes': ['codriver_notes']},
            {'name': 'Marshal', 'kind': 'Spectator', 'hierarchy': 'samples/human_skeleton.zkh',
             'scenes': ['idle_loop'], 'position': [62.0, -14.0, 0.0], 'heading': -90.0,
             'scale': 0.001},
        ],
        'csv': [{'character': 'Driver', 'nodes': ['B_hand L', 'B_hand R', 'B_head']},
                {'character': 'CoDriver', 'nodes': ['B_head']},
                {'character': 'Car', 'nodes': ['body', 'e_wheelgrunk_lf', 'e_bumper_r']}],
        'timeline': timeline,
    }
    with open(os.path.join(HERE, 'stages', 'rally_stage.json'), 'w') as f:
        json.dump(stage, f, indent=1)
        f.write('\n')


if __name__ == '__main__':
    main()
