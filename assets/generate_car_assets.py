#!/usr/bin/env python3
"""Writes the JSON sources of the sample cars next to this script.

    rally_car.zkh.json             a rally car with a gear lever: body, four wheels with their
                                   suspension links and aim points, wipers, steering wheel,
                                   seats, the driver's hand points and three detachable parts
    rally_car_sequential.zkh.json  the same car without the gear dummies (a sequential or
                                   paddle shift: the driver keeps both hands on the wheel)
    car_idle.zka.json              a 2-second scene for either car: the body shakes at idle and
                                   the steering wheel turns a little each way; every other node
                                   stands at its rest place (load it as scene "car_idle")

Space: Z up, the car facing -Y, so its left side is +X, as the sample skeleton. Units: metres.
The people are authored in millimetres and scaled by 0.001 into the car's world, and the car's
points for them are multiplied by 1000 back into theirs; so the car is in metres, and the seated
skeleton (hips at its origin) fits the driver's seat: its hands meet the steering wheel and the
gear and handbrake dummies at the points the skeleton's own poses use (imported from
generate_assets.py, so the two stay in step).

The hierarchy holds world transforms; the scene holds local transforms (relative to the parent).
The wheel hubs ("e_wheelgrunk_<w>") have no controller in the scene: the car places them from
the host's wheel states, and their children (the tyre and the links' aim points) follow.
Each link of a wheel stands on the body and is turned each frame so that one of its axes points
at its aim point on the hub; the hierarchy gives it the axes that turn makes at rest.

Run it again after changing it; the JSON files are the sources the build turns into assets.
"""

import math

from generate_assets import (GEAR, GEAR_PUSHED, HANDBRAKE, HANDBRAKE_PULLED, WHEEL_CENTRE,
                             WHEEL_UP, add, cross, dot, frame_from, identity_scale, key_aa,
                             matmul, mul, norm, real, rot_axis, rows, scene_object, sub, track,
                             transpose, vecmat, write)

IDENTITY = [[1, 0, 0], [0, 1, 0], [0, 0, 1]]
HALF_TURN_Y = [[-1, 0, 0], [0, 1, 0], [0, 0, -1]]  # a right wheel: a left one turned about Y

DRIVER_SEAT = [0.37, 0.05, 0.48]     # the driver's hip point, left-hand drive
CODRIVER_SEAT = [-0.37, 0.12, 0.46]  # the co-driver sits lower and further back
TRACK_HALF, AXLE_Y, WHEEL_RADIUS = 0.78, 1.26, 0.31
WHEELS = {'lf': (1, -AXLE_Y), 'rf': (-1, -AXLE_Y), 'lb': (1, AXLE_Y), 'rb': (-1, AXLE_Y)}
# The windscreen's lower edge and the wipers' pivots on it, and its normal (out and up).
SCREEN_UP = norm([0.0, 0.58, 0.35])
SCREEN_NORMAL = norm(cross([1, 0, 0], SCREEN_UP))
WIPER_PIVOTS = {'l': [0.42, -0.80, 0.93], 'r': [-0.08, -0.80, 0.93]}


def seat_point(mm):
    """A point of the skeleton (millimetres from its hips) in the car."""
    return add(DRIVER_SEAT, mul(mm, 0.001))


def link_axes(position, target, aim_axis, keep_axis, flip, right):
    """The axes the car gives a link: the aim row at the target (away with flip), the kept row
    from the reference frame (negated on the right), the third from the two as the car does."""
    rws = [None, None, None]
    aim = norm(sub(target, position))
    rws[aim_axis] = mul(aim, -1.0) if flip else aim
    rws[keep_axis] = mul(IDENTITY[keep_axis], -1.0 if right else 1.0)
    u = (aim_axis + 1) % 3
    if u == keep_axis:
        u = (u + 1) % 3
    rws[u] = norm(cross(rws[(u + 2) % 3], rws[(u + 1) % 3]))
    k = keep_axis
    rws[k] = norm(cross(rws[(k + 2) % 3], rws[(k + 1) % 3]))
    return rws


def car_nodes(gear_lever=True):
    """(name, parent, kind, world rotation, world position) in file order, parents first."""
    nodes = [('parent', None, 0, IDENTITY, [0.0, 0.0, 0.0]),
             ('body', 'parent', 0, IDENTITY, [0.0, 0.0, 0.0])]
    for name, at in (('e_bumper_f', [0.0, -2.02, 0.42]), ('e_bumper_r', [0.0, 2.02, 0.44]),
                     ('e_bonnet', [0.0, -1.45, 0.86])):
        nodes.append((name, 'body', 0, IDENTITY, at))

    # The wheel the driver holds, as the skeleton has it: X to the driver's right, Y up the rim.
    nodes.append(('zDi_steeringwheel', 'body', 0, frame_from([-1, 0, 0], WHEEL_UP),
                  seat_point(WHEEL_CENTRE)))
    # Wipers turn about their own Y axis, the windscreen's normal; parked, the blades lie along
    # the lower edge towards the right. The inner pair is the cockpit's model, the outer pair
    # the exterior's, on the same pivots.
    wiper_frame = frame_from([-1, 0, 0], SCREEN_NORMAL)
    for model in 'ie':
        for side in 'rl':
            nodes.append(('%s_wiper_%s' % (model, side), 'body', 0, wiper_frame,
                          WIPER_PIVOTS[side]))

    # Dummies (kind 3: measured once, never placed).
    dummies = [('D_driver_use', DRIVER_SEAT), ('D_codriver_use', CODRIVER_SEAT),
               ('D_hand R_handbrake', seat_point(HANDBRAKE)),
               ('D_hand R_handbrake p', seat_point(HANDBRAKE_PULLED))]
    if gear_lever:
        dummies += [('D_hand R_gear', seat_point(GEAR)),
                    ('D_hand R_gear p', seat_point(GEAR_PUSHED))]
    for name, at in dummies:
        nodes.append((name, 'body', 3, IDENTITY, at))

    for wheel, (sx, y) in WHEELS.items():
        right = sx < 0
        hub_at = [sx * TRACK_HALF, y, WHEEL_RADIUS]
        hub_rot = HALF_TURN_Y if right else IDENTITY
        hub = 'e_wheelgrunk_' + wheel
        nodes.append((hub, 'parent', 0, hub_rot, hub_at))
        nodes.append(('e_wheel_' + wheel, hub, 0, hub_rot, hub_at))
        # name: (mount on the body, aim point on the hub, aim axis, keep axis, flip)
        flip = 0 if right else 1
        links = {
            'hang': ([sx * 0.35, y, 0.22], [sx * 0.70, y, 0.18], 0, 1, flip),  # lower arm
            'prop': ([sx * 0.15, y, 0.31], [sx * 0.70, y, 0.31], 0, 1, flip),  # drive shaft
            'stag': ([sx * 0.30, y + 0.15, 0.26], [sx * 0.68, y + 0.15, 0.27], 0, 1, flip),
            'susp': ([sx * 0.62, y, 0.76], [sx * 0.70, y, 0.40], 1, 0, 1),  # strut
        }
        for part, (mount, aim_at, aim_axis, keep_axis, part_flip) in links.items():
            nodes.append(('e_wheel%s_%s' % (part, wheel), 'body', 0,
                          link_axes(mount, aim_at, aim_axis, keep_axis, part_flip, right), mount))
            nodes.append(('Point_e_wheel%s_%s' % (part, wheel), hub, 0, hub_rot, aim_at))
    return nodes


def hierarchy(gear_lever, comment):
    nodes = car_nodes(gear_lever)
    ids = {name: i for i, (name, _, _, _, _) in enumerate(nodes)}
    out = []
    for name, parent, kind, rot, pos in nodes:
        out.append({'name': name, 'type': 'transform', 'kind': kind, 'id': ids[name],
                    'parent': ids[parent] if parent else -1, 'transform': rows(rot, pos)})
    return {'comment': comment, 'chunks': [{'type': 'hierarchy', 'nodes': out}]}


def local(world, name):
    rot, pos = world[name][2], world[name][3]
    parent = world[name][0]
    if parent is None:
        return rot, pos
    inv = transpose(world[parent][2])
    return matmul(rot, inv), vecmat(sub(pos, world[parent][3]), inv)


IDLE_TIMES = [0.0, 0.5, 1.0, 1.5, 2.0]


def prs(name, locals_by_time, before='loop', after='loop'):
    position = {'type': 'positionVector', 'track': track('linearPosition', [
        {'time': real(t), 'value': [real(v) for v in pos]} for t, (_, pos) in locals_by_time],
        before, after)}
    keys = []
    for t, (rot, _) in locals_by_time:
        angle, axis = key_aa(rot)
        keys.append({'time': real(t), 'angle': angle, 'axis': axis})
    rotation = {'type': 'rotationQuaternion', 'track': track('linearRotation', keys, before,
                                                             after)}
    return scene_object(name + '::PRS', {'type': 'prs', 'position': position,
                                         'rotation': rotation,
                                         'scale': identity_scale('linearScale', [0.0])})


def idle_scene():
    world = {name: (parent, kind, rot, pos) for name, parent, kind, rot, pos in car_nodes(True)}
    chunks = []
    for name in world:
        if name.startswith('e_wheelgrunk_'):
            continue  # placed by the car from the host's wheel states
        rest = local(world, name)
        if name == 'body':
            # Engine idle: a small roll and bounce, two cycles over the scene.
            keyed = [(t, (rot_axis([0, 1, 0], 0.004 * math.sin(2 * math.pi * t)),
                          [0.0, 0.0, 0.003 * math.sin(2 * math.pi * t)])) for t in IDLE_TIMES]
        elif name == 'zDi_steeringwheel':
            # A few degrees each way about the column (the wheel's own Z axis).
            turns = [0.0, 0.12, 0.0, -0.12, 0.0]
            keyed = [(t, (matmul(rot_axis([0, 0, 1], a), rest[0]), rest[1]))
                     for t, a in zip(IDLE_TIMES, turns)]
        else:
            keyed = [(0.0, rest)]
        chunks.append(prs(name, keyed))
    chunks.append({'type': 'range', 'start': 0.0, 'end': real(IDLE_TIMES[-1])})
    return {'comment': 'Car idle of 2 s that loops: body shake, steering wheel turning a little. '
                       'Written by generate_car_assets.py; load as scene "car_idle".',
            'chunks': chunks}


def check_links():
    """Each link's rest axes are orthonormal and its aim row points along its aim line."""
    world = {name: (rot, pos) for name, _, _, rot, pos in car_nodes(True)}
    for name, (rot, pos) in world.items():
        if not name.startswith('e_wheel') or name.startswith(('e_wheelgrunk', 'e_wheel_')):
            continue
        for a in range(3):
            for b in range(3):
                assert abs(dot(rot[a], rot[b]) - (1 if a == b else 0)) < 1e-9, name
        target = world['Point_' + name][1]
        aim_row = 1 if 'susp' in name else 0
        assert abs(abs(dot(rot[aim_row], norm(sub(target, pos)))) - 1) < 1e-9, name


def main():
    check_links()
    write('rally_car.zkh.json', hierarchy(
        True, 'Rally car with a gear lever, metres, Z up, facing -Y; written by '
              'generate_car_assets.py'))
    write('rally_car_sequential.zkh.json', hierarchy(
        False, 'Rally car with a sequential shift (no gear dummies), metres, Z up, facing -Y; '
               'written by generate_car_assets.py'))
    write('car_idle.zka.json', idle_scene())


if __name__ == '__main__':
    main()
