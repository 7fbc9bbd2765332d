#!/usr/bin/env python3
"""Writes a random stage that zelkar-drive accepts, the same one for the same seed.

    random_stage.py SEED OUT.json [--root ROOT]

Prints the host rate to drive it at (30 to 60 Hz). The stage is 1 to 4 s of the sample assets
(ROOT, default "..": the build's assets folder as seen from OUT.json's folder) with random
steering, gear changes up and down, the handbrake pulled and released, wipers, the car's path,
rough road, shake, windscreen records, detaches, solid and ghost pins, and the cast changing
mid-drive: characters created and removed, and session clean-ups. Only what the stage reader
accepts is written: the cast is followed through the timeline so that every creation, removal,
detach and pin finds its character where the reader expects it.
"""
import json
import math
import random
import sys

SCENES = [('samples/car_idle.zka', 'car_idle'), ('samples/driver_steer.zka', 'driver_steer'),
          ('samples/codriver_notes.zka', 'codriver_notes'), ('samples/idle_loop.zka', 'idle_loop')]
HUMAN = 'samples/human_skeleton.zkh'
# Nodes the sample scenes bind to an animated object, which a detach or pin needs.
CAR_NODES = ['e_bumper_r', 'e_bumper_f', 'e_bonnet', 'e_wiper_l', 'e_wiper_r', 'e_wheel_lf',
             'e_wheel_rb', 'body', 'zDi_steeringwheel']
HUMAN_NODES = ['D_look', 'B_head', 'B_hand R', 'B_spine01', 'B_pelvis', 'B_calf L']


def r3(rng, scale):
    return [round(rng.uniform(-scale, scale), 4) for _ in range(3)]


def cast(rng):
    """The characters: the car and its crew, spectators, now and then a second car."""
    chars = [{'name': 'Car', 'kind': 'Car', 'hierarchy': 'samples/rally_car.zkh',
              'scenes': ['car_idle']},
             {'name': 'Driver', 'kind': 'Driver', 'hierarchy': HUMAN,
              'scenes': ['driver_steer'] if rng.random() < 0.9 else []},
             {'name': 'CoDriver', 'kind': 'CoDriver', 'hierarchy': HUMAN,
              'scenes': ['codriver_notes'] if rng.random() < 0.9 else []}]
    if rng.random() < 0.15:
        chars.append({'name': 'Car2', 'kind': 'Car', 'hierarchy': 'samples/rally_car_sequential.zkh',
                      'scenes': ['car_idle']})
    if rng.random() < 0.1:  # a car's node tree as a plain character: a parked car
        chars.append({'name': 'Parked', 'kind': 'Character', 'hierarchy': 'samples/rally_car.zkh',
                      'scenes': ['car_idle'], 'position': [12.0, -3.0, 0.0], 'heading': 30.0})
    for i in range(rng.randint(0, 2)):
        scenes = rng.choice([['idle_loop'], ['idle_loop', 'driver_steer'], []])
        chars.append({'name': 'Marshal%d' % i, 'kind': rng.choice(['Spectator', 'Character']),
                      'hierarchy': HUMAN, 'scenes': scenes,
                      'position': [round(rng.uniform(-50, 50), 2), round(rng.uniform(-50, 50), 2),
                                   0.0],
                      'heading': round(rng.uniform(-180, 180), 1),
                      'scale': rng.choice([0.001, 0.001, 0.0012, 1.0])})
    return chars


class Cast:
    """Who is in the drive, as the stage reader follows it."""

    def __init__(self, chars, present):
        self.chars = chars
        self.present = present

    def seated_ok(self, present):
        car = False
        for c, here in zip(self.chars, present):
            if not here:
                continue
            if c['kind'] in ('Driver', 'CoDriver') and not car:
                return False
            car = car or c['kind'] == 'Car'
        return True

    def car_present(self):
        return any(h and c['kind'] == 'Car' for c, h in zip(self.chars, self.present))

    def change(self, rng):
        """A valid change of cast now, as a timeline entry's keys, or None."""
        options = []
        for i, c in enumerate(self.chars):
            if self.present[i]:
                options.append(('remove', i))
            elif c['kind'] not in ('Driver', 'CoDriver') or self.car_present():
                options.append(('create', i))
        if self.seated_ok(self.present):
            options.append(('cleanup', None))
        if not options:
            return None
        what, i = rng.choice(options)
        if what == 'cleanup':
            return {'cleanup': True}
        self.present[i] = what == 'create'
        return {what: self.chars[i]['name']}


def node_event(rng, chars, present):
    """A detach or pin of a node bound to an animated object, of someone in the drive."""
    who = [i for i, c in enumerate(chars) if present[i] and c['scenes']]
    if not who:
        return None
    c = chars[rng.choice(who)]
    node = rng.choice(CAR_NODES if c['hierarchy'] != HUMAN else HUMAN_NODES)
    if rng.random() < 0.3:
        return {'detach': {'character': c['name'], 'node': node}}
    return {'pin': {'character': c['name'], 'node': node, 'position': r3(rng, 3000),
                    'signal': rng.choice(['solid', 'ghost'])}}


def shake(rng, amount):
    return {'vectors': [r3(rng, amount) for _ in range(5)], 'body': r3(rng, amount / 2)}


def stage(seed, root):
    rng = random.Random(seed)
    duration = round(rng.uniform(1.0, 4.0), 3)
    chars = cast(rng)
    # Some of the cast comes later: their first change is their creation.
    present = [True] * len(chars)
    for i, c in enumerate(chars):
        if rng.random() < 0.25:
            present[i] = False
    for i, c in enumerate(chars):  # the people in the car need a car at the start
        if c['kind'] in ('Driver', 'CoDriver') and not any(
                present[k] and chars[k]['kind'] == 'Car' for k in range(i)):
            present[i] = False
    timeline = []
    t = 0.0
    # The car's path: speed and heading wander.
    x, y, heading, speed = 0.0, 0.0, rng.uniform(-180, 180), rng.uniform(0, 30)
    steps = rng.randint(3, 12)
    for k in range(steps + 1):
        tk = round(duration * k / steps, 4)
        timeline.append((tk, {'car': {'position': [round(x, 3), round(y, 3), 0.0],
                                      'heading': round(heading, 2)}}))
        dt = duration / steps
        x += speed * dt * math.cos(math.radians(heading + 90))
        y += speed * dt * math.sin(math.radians(heading + 90))
        heading += rng.uniform(-60, 60)
        speed = max(0.0, speed + rng.uniform(-10, 10))

    def times(n):
        # Now and then several at once: they happen in the same frame.
        out = []
        for _ in range(n):
            out.append(rng.choice(out) if out and rng.random() < 0.2
                       else round(rng.uniform(0, duration), 4))
        return sorted(out)

    for tk in times(rng.randint(1, 10)):
        timeline.append((tk, {'steering': round(rng.uniform(-1, 1), 3)}))
    for tk in times(rng.randint(0, 6)):
        timeline.append((tk, {'handbrake': rng.choice([0, 1, round(rng.random(), 3)])}))
    for tk in times(rng.randint(0, 6)):
        timeline.append((tk, {'wipers': [round(rng.uniform(-2, 2), 3) for _ in range(2)]}))
    for tk in times(rng.randint(0, 4)):
        timeline.append((tk, {'rough': round(rng.random(), 3)}))
    for tk in times(rng.randint(0, 4)):
        people = rng.choice([['driver'], ['coDriver'], ['driver', 'coDriver']])
        timeline.append((tk, {'shake': {p: shake(rng, rng.choice([0.05, 0.5, 3.0]))
                                        for p in people}}))
    for tk in times(rng.randint(0, 8)):
        timeline.append((tk, {'gear': rng.choice(['up', 'down'])}))
    for tk in times(rng.randint(0, 3)):
        timeline.append((tk, {'windscreen': [r3(rng, 1.5) for _ in range(4)]}))
    # Changes of cast, detaches and pins depend on who is in the drive: placed now, filled in
    # below in time order.
    for tk in times(rng.randint(0, 6)):
        timeline.append((tk, 'cast'))
    for tk in times(rng.randint(0, 5)):
        timeline.append((tk, 'node'))
    # The ones who come later must come: their creation somewhere in the drive.
    for i, here in enumerate(present):
        if not here:
            timeline.append((round(rng.uniform(0, duration), 4), 'create %d' % i))
    timeline.sort(key=lambda e: e[0])  # stable: equal times keep their order

    following = Cast(chars, list(present))
    entries = []
    for tk, what in timeline:
        if what == 'cast':
            keys = following.change(rng)
        elif what == 'node':
            keys = node_event(rng, chars, following.present)
        elif isinstance(what, str):
            i = int(what.split()[1])
            c = chars[i]
            seated = c['kind'] in ('Driver', 'CoDriver')
            keys = None
            if not following.present[i] and (not seated or following.car_present()):
                following.present[i] = True
                keys = {'create': c['name']}
        else:
            keys = what
        if keys is not None:
            entries.append(dict({'time': tk}, **keys))
    # A character meant to come later whose creation could not be placed (no car then) starts
    # absent only when some creation of it comes before a removal; otherwise it is present from
    # the start, which the reader then requires to be valid: keep it out of the cast instead.
    first = {}
    for e in entries:
        for key in ('create', 'remove'):
            if key in e:
                first.setdefault(e[key], key)
    keep = [c for i, c in enumerate(chars)
            if present[i] or first.get(c['name']) == 'create']
    if len(keep) != len(chars):
        names = {c['name'] for c in keep}
        entries = [e for e in entries if all(
            (e[k] if k in ('create', 'remove') else e[k]['character']) in names
            for k in ('create', 'remove', 'detach', 'pin') if k in e)]
        chars = keep
    rate = rng.randint(30, 60)
    doc = {
        'comment': 'random stage %d from fuzz/random_stage.py, driven at %d Hz' % (seed, rate),
        'root': root,
        'duration': duration,
        'firstGear': rng.randint(-1, 6),
        'wheelRadius': round(rng.uniform(0.2, 0.5), 3),
        'steeringLock': round(rng.uniform(0, 1.2), 3),
        'scenes': [{'file': f, 'name': n} for f, n in SCENES],
        'characters': chars,
        'csv': [{'character': c['name'],
                 'nodes': ['body'] if c['hierarchy'] != HUMAN else ['B_head', 'B_hand R']}
                for c in chars if rng.random() < 0.5],
        'timeline': entries,
    }
    return doc, rate


def main(argv):
    if len(argv) not in (3, 5) or (len(argv) == 5 and argv[3] != '--root'):
        sys.stderr.write('usage: random_stage.py SEED OUT.json [--root ROOT]\n')
        return 2
    doc, rate = stage(int(argv[1]), argv[4] if len(argv) == 5 else '..')
    with open(argv[2], 'w') as out:
        json.dump(doc, out, indent=1)
        out.write('\n')
    print(rate)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
