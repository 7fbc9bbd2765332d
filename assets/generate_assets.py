#!/usr/bin/env python3
"""Writes the JSON sources of the sample assets next to this script.

    human_skeleton.zkh.json  a seated adult, 60 nodes, in millimetres
    driver_steer.zka.json    the driver's pose scene: steering over frames 0..10, then gear lever,
                             handbrake and wheel gesture poses at the frames the driver settings
                             name by default (load it as scene "driver_steer")
    idle_loop.zka.json       a 4-second seated idle that loops, on TCB and Bezier tracks
                             (identity scales on linear tracks)
                             (load it as scene "idle_loop")
    codriver_notes.zka.json  the co-driver reading pace notes: head down to the notebook on the
                             lap and up to the road, the right hand turning a page, 424 frames
                             that loop (load it as scene "codriver_notes")

The in-car people sit at the car's seat dummies: the skeleton's origin (D_mother, under the
pelvis) is the seat point, and the library scales the millimetres to metres.

Space: 3ds Max's, Z up, the person facing -Y, so the left side is +X. Bones point along their own
X axis. The hierarchy holds the world transforms of the neutral pose (frame 5 of driver_steer);
the scenes hold local transforms (relative to the parent), as the nodes evaluate them.

Scene objects are named "<node>::PRS", "<node>::Position" and "<node>::Scale", the names the node
connectors ask for under the scene name. Link targets are not prefixed by the loader, so the gear
knob's link to the right hand names "driver_steer::B_hand R".

Run it again after changing it; the JSON files are the sources the build turns into assets.
"""

import json
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
FRAME = 0.033333335


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def frame_time(frame):
    # The library converts frames with single-precision arithmetic; so do the key times.
    return f32(f32(frame) * f32(FRAME))


# --- vectors and rotations (rows are the rotated axes; points are row vectors) ----------------

def add(a, b): return [a[i] + b[i] for i in range(3)]
def sub(a, b): return [a[i] - b[i] for i in range(3)]
def mul(a, s): return [a[i] * s for i in range(3)]
def dot(a, b): return sum(a[i] * b[i] for i in range(3))
def cross(a, b): return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]
def length(a): return math.sqrt(dot(a, a))
def norm(a): return mul(a, 1.0 / length(a))
def lerp(a, b, t): return [a[i] + (b[i] - a[i]) * t for i in range(3)]


def frame_from(x_dir, y_hint):
    """Rotation whose X row points along x_dir and whose Y row leans towards y_hint."""
    x = norm(x_dir)
    y = sub(y_hint, mul(x, dot(y_hint, x)))
    if length(y) < 1e-6:
        y = cross([0, 0, 1], x) if abs(x[2]) < 0.9 else cross([0, 1, 0], x)
    y = norm(y)
    return [x, y, cross(x, y)]


def matmul(a, b):
    return [[sum(a[r][k] * b[k][c] for k in range(3)) for c in range(3)] for r in range(3)]


def transpose(m):
    return [[m[c][r] for c in range(3)] for r in range(3)]


def vecmat(v, m):
    return [sum(v[k] * m[k][c] for k in range(3)) for c in range(3)]


def rot_axis(axis, angle):
    """The row-vector matrix of QuaternionFromAxisAngle(axis, angle)."""
    return quat_to_mat(axis_angle_quat(axis, angle))


def rot_x(a):
    c, s = math.cos(a), math.sin(a)
    return [[1, 0, 0], [0, c, s], [0, -s, c]]


def rot_y(a):
    c, s = math.cos(a), math.sin(a)
    return [[c, 0, -s], [0, 1, 0], [s, 0, c]]


def rot_z(a):
    c, s = math.cos(a), math.sin(a)
    return [[c, s, 0], [-s, c, 0], [0, 0, 1]]


def euler_xyz(x, y, z):
    return matmul(matmul(rot_x(x), rot_y(y)), rot_z(z))


def axis_angle_quat(axis, angle):
    s = math.sin(angle / 2)
    return [axis[0] * s, axis[1] * s, axis[2] * s, math.cos(angle / 2)]


def quat_to_mat(q):
    x, y, z, w = q
    return [[1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)],
            [2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w)],
            [2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)]]


def mat_to_quat(m):
    t = m[0][0] + m[1][1] + m[2][2]
    if t > 0:
        s = math.sqrt(t + 1) * 2
        q = [(m[1][2] - m[2][1]) / s, (m[2][0] - m[0][2]) / s, (m[0][1] - m[1][0]) / s, s / 4]
    elif m[0][0] > m[1][1] and m[0][0] > m[2][2]:
        s = math.sqrt(1 + m[0][0] - m[1][1] - m[2][2]) * 2
        q = [s / 4, (m[0][1] + m[1][0]) / s, (m[2][0] + m[0][2]) / s, (m[1][2] - m[2][1]) / s]
    elif m[1][1] > m[2][2]:
        s = math.sqrt(1 + m[1][1] - m[0][0] - m[2][2]) * 2
        q = [(m[0][1] + m[1][0]) / s, s / 4, (m[1][2] + m[2][1]) / s, (m[2][0] - m[0][2]) / s]
    else:
        s = math.sqrt(1 + m[2][2] - m[0][0] - m[1][1]) * 2
        q = [(m[2][0] + m[0][2]) / s, (m[1][2] + m[2][1]) / s, s / 4, (m[0][1] - m[1][0]) / s]
    if q[3] < 0:
        q = [-c for c in q]
    return q


def mat_to_axis_angle(m):
    q = mat_to_quat(m)
    w = max(-1.0, min(1.0, q[3]))
    angle = 2 * math.acos(w)
    s = math.sqrt(max(0.0, 1 - w * w))
    if s < 1e-9:
        return 0.0, [0.0, 0.0, 1.0]
    return angle, [q[0] / s, q[1] / s, q[2] / s]


def check_conventions():
    for axis, angle in (([0, 0, 1], 0.7), (norm([1, 2, 3]), 2.5), (norm([-1, 0.2, 0.1]), 3.0)):
        m = rot_axis(axis, angle)
        back = quat_to_mat(mat_to_quat(m))
        assert all(abs(m[r][c] - back[r][c]) < 1e-9 for r in range(3) for c in range(3))
    # A quarter turn about Z carries the X axis to Y (row vectors: x * M).
    assert max(abs(a - b) for a, b in zip(vecmat([1, 0, 0], rot_axis([0, 0, 1], math.pi / 2)),
                                          [0, 1, 0])) < 1e-9
    assert max(abs(a - b) for a, b in zip(vecmat([1, 0, 0], rot_z(math.pi / 2)), [0, 1, 0])) < 1e-9


# --- the skeleton ------------------------------------------------------------------------------

UPPER_ARM, LOWER_ARM = 290.0, 260.0
UP = norm([0, math.sin(math.radians(15)), math.cos(math.radians(15))])  # reclined seat back
FORWARD = [0, -1, 0]
SIDE = {'L': 1.0, 'R': -1.0}  # +X is the left side
WHEEL_CENTRE = [0.0, -330.0, 330.0]
WHEEL_RADIUS = 185.0
WHEEL_TILT = math.radians(25)
WHEEL_UP = [0.0, math.sin(WHEEL_TILT), math.cos(WHEEL_TILT)]
WHEEL_NORMAL = cross([1, 0, 0], WHEEL_UP)  # towards the driver
GEAR = [-260.0, -260.0, 150.0]
GEAR_PUSHED = [-260.0, -330.0, 150.0]
HANDBRAKE = [-290.0, -150.0, 200.0]
HANDBRAKE_PULLED = [-290.0, -60.0, 180.0]
LOOK_TARGET = [0.0, -2500.0, 600.0]
FINGERS = [  # name, knuckle in the hand's frame (x forward, y to the thumb side for R), lengths
    ('thumb', [25.0, 30.0, -15.0], [40.0, 32.0, 25.0]),
    ('index', [85.0, 25.0, 0.0], [45.0, 27.0, 20.0]),
    ('middle', [88.0, 5.0, 0.0], [50.0, 30.0, 22.0]),
    ('ring', [84.0, -14.0, 0.0], [46.0, 28.0, 21.0]),
    ('little', [76.0, -30.0, 0.0], [36.0, 22.0, 18.0]),
]

# name, parent, kind, node type (47 transform / 48 position and scale)
NODES = [('D_mother', None, 0, 47), ('D_world', None, 1, 47), ('B_pelvis', 'D_mother', 2, 47),
         ('B_spine01', 'B_pelvis', 2, 47), ('B_spine02', 'B_spine01', 2, 47),
         ('B_neck', 'B_spine02', 2, 47), ('B_head', 'B_neck', 2, 47), ('B_jaw', 'B_head', 2, 47),
         ('D_look', 'B_head', 3, 47)]
for side in 'LR':
    NODES += [('B_clavicle ' + side, 'B_spine02', 2, 47),
              ('B_upper arm ' + side, 'B_clavicle ' + side, 2, 47),
              ('B_lower arm ' + side, 'B_upper arm ' + side, 2, 47),
              ('B_hand rotation ' + side, 'B_lower arm ' + side, 2, 47),
              ('B_hand ' + side, 'B_hand rotation ' + side, 2, 47)]
    for finger, _, _ in FINGERS:
        for joint in (1, 2, 3):
            parent = 'B_hand ' + side if joint == 1 else 'B_%s %d %s' % (finger, joint - 1, side)
            NODES.append(('B_%s %d %s' % (finger, joint, side), parent, 2, 47))
for side in 'LR':
    NODES += [('B_thigh ' + side, 'B_pelvis', 2, 47), ('B_calf ' + side, 'B_thigh ' + side, 2, 47),
              ('B_foot ' + side, 'B_calf ' + side, 2, 47), ('B_toe ' + side, 'B_foot ' + side, 2, 47)]
NODES += [('D_steeringwheel', 'D_mother', 0, 47), ('D_lookat', 'D_mother', 0, 48),
          ('D_gearknob', 'D_mother', 3, 47)]
PARENT = {name: parent for name, parent, _, _ in NODES}
NODE_ID = {name: i for i, (name, _, _, _) in enumerate(NODES)}


def rim_point(angle):
    """Point of the wheel rim at the angle from the top, clockwise as the driver sees it."""
    right = [-1.0, 0.0, 0.0]
    return add(WHEEL_CENTRE, add(mul(right, WHEEL_RADIUS * math.sin(angle)),
                                 mul(WHEEL_UP, WHEEL_RADIUS * math.cos(angle))))


def solve_elbow(shoulder, wrist, bend):
    to = sub(wrist, shoulder)
    d = min(length(to), UPPER_ARM + LOWER_ARM - 1.0)
    x_axis = norm(to)
    y_axis = norm(sub(bend, mul(x_axis, dot(bend, x_axis))))
    a = (UPPER_ARM ** 2 - LOWER_ARM ** 2 + d * d) / (2 * d)
    h = math.sqrt(max(0.0, UPPER_ARM ** 2 - a * a))
    return add(shoulder, add(mul(x_axis, a), mul(y_axis, h))), add(shoulder, mul(x_axis, d))


def pose(p):
    """World (rotation, position) of every node for the pose parameters p."""
    w = {}
    w['D_mother'] = ([[1, 0, 0], [0, 1, 0], [0, 0, 1]], [0.0, 0.0, 0.0])
    w['D_world'] = w['D_mother']
    lean = rot_axis(FORWARD, p.get('lean', 0.0))  # roll towards a side
    up = vecmat(UP, lean)
    pelvis_pos = [p.get('shift', 0.0), 0.0, p.get('bob', 0.0)]
    w['B_pelvis'] = (frame_from(UP, FORWARD), pelvis_pos)
    spine01 = add(pelvis_pos, mul(UP, 100))
    w['B_spine01'] = (frame_from(up, FORWARD), spine01)
    chest_up = vecmat(up, lean)
    spine02 = add(spine01, mul(up, 150 + p.get('breath', 0.0)))
    w['B_spine02'] = (frame_from(chest_up, FORWARD), spine02)
    neck = add(spine02, mul(chest_up, 230))
    w['B_neck'] = (frame_from(chest_up, FORWARD), neck)
    head_rot = matmul(frame_from(chest_up, FORWARD),
                      rot_axis(chest_up, p.get('head_yaw', 0.0)))
    head_rot = matmul(rot_axis(head_rot[2], p.get('head_pitch', 0.0)), head_rot)
    # A nod about the head's own side axis (applied in the world, after the head's frame).
    head_rot = matmul(head_rot, rot_axis(head_rot[2], p.get('nod', 0.0)))
    head = add(neck, mul(chest_up, 100))
    w['B_head'] = (head_rot, head)
    w['B_jaw'] = (head_rot, add(head, vecmat([-30, 60, 0], head_rot)))
    w['D_look'] = (head_rot, add(head, vecmat([20, 90, 0], head_rot)))
    chest_rot = w['B_spine02'][0]
    for side, sign in SIDE.items():
        lateral = [sign, 0, 0]
        clav_start = add(spine02, add(vecmat([200, 0, 0], chest_rot), vecmat(mul(lateral, 25), lean)))
        shoulder = add(spine02, add(vecmat([200, 0, 0], chest_rot), vecmat(mul(lateral, 180), lean)))
        w['B_clavicle ' + side] = (frame_from(sub(shoulder, clav_start), up), clav_start)
        grip = p['grip_' + side]
        wrist = add(grip, mul(norm(sub(shoulder, grip)), 70.0))
        bend = add(mul(lateral, 0.6), [0, 0.2, -1.0])  # elbows down and a little out
        elbow, wrist = solve_elbow(shoulder, wrist, bend)
        upper = frame_from(sub(elbow, shoulder), up)
        lower = frame_from(sub(wrist, elbow), upper[1])
        twist = p.get('twist_' + side, 0.0)
        w['B_upper arm ' + side] = (upper, shoulder)
        w['B_lower arm ' + side] = (lower, elbow)
        w['B_hand rotation ' + side] = (matmul(rot_x(twist), lower), elbow)
        palm = p.get('palm_' + side, [0.0, 0.0, -1.0])
        hand = frame_from(sub(grip, wrist), palm)
        w['B_hand ' + side] = (hand, wrist)
        curl = p.get('curl_' + side, 0.6)
        for finger, knuckle, lengths in FINGERS:
            k = [knuckle[0], knuckle[1] * (1 if side == 'R' else -1), knuckle[2]]
            rot = hand
            if finger == 'thumb':
                rot = matmul(euler_xyz(0.8 * (1 if side == 'R' else -1), 0.0,
                                       0.5 * (1 if side == 'R' else -1)), hand)
            pos = add(wrist, vecmat(k, hand))
            for joint in (1, 2, 3):
                rot = matmul(rot_y(curl * (0.9, 0.8, 0.6)[joint - 1]), rot)
                w['B_%s %d %s' % (finger, joint, side)] = (rot, pos)
                pos = add(pos, vecmat([lengths[joint - 1], 0, 0], rot))
    for side, sign in SIDE.items():
        hip = [sign * 90.0 + p.get('shift', 0.0), 0.0, p.get('bob', 0.0)]
        knee = add(hip, mul(norm([sign * 0.08, -1.0, 0.25]), 430))
        ankle = add(knee, mul(norm([0.0, -0.45, -1.0]), 420))
        toe = add(ankle, mul(norm([0.0, -1.0, -0.2]), 140))
        w['B_thigh ' + side] = (frame_from(sub(knee, hip), [0, 0, 1]), hip)
        w['B_calf ' + side] = (frame_from(sub(ankle, knee), [0, -1, 0]), knee)
        w['B_foot ' + side] = (frame_from(sub(toe, ankle), [0, 0, 1]), ankle)
        w['B_toe ' + side] = (frame_from([0, -1, 0], [0, 0, 1]), toe)
    wheel = frame_from([-1, 0, 0], WHEEL_UP)
    w['D_steeringwheel'] = (matmul(wheel, rot_axis(WHEEL_NORMAL, -p.get('steer', 0.0))),
                            WHEEL_CENTRE)
    w['D_lookat'] = ([[1, 0, 0], [0, 1, 0], [0, 0, 1]], p.get('look', LOOK_TARGET))
    w['D_gearknob'] = ([[1, 0, 0], [0, 1, 0], [0, 0, 1]], p.get('knob', GEAR))
    return w


def local(world, name):
    rot, pos = world[name]
    parent = PARENT[name]
    if parent is None:
        return rot, pos
    prot, ppos = world[parent]
    inv = transpose(prot)
    return matmul(rot, inv), vecmat(sub(pos, ppos), inv)


# --- JSON --------------------------------------------------------------------------------------

def real(x):
    """The shortest decimal that reads back as the same single-precision value."""
    x = f32(x)
    if x == 0:
        return 0.0
    for digits in range(6, 10):
        text = '%.*g' % (digits, x)
        if f32(float(text)) == x:
            return float(text)
    return x


def rows(rot, pos):
    return [[real(v) for v in r] for r in rot] + [[real(v) for v in pos]]


def key_aa(rot):
    angle, axis = mat_to_axis_angle(rot)
    return real(angle), [real(a) for a in axis]


TCB_ZERO = {'tension': 0.0, 'continuity': 0.0, 'bias': 0.0, 'easeIn': 0.0, 'easeOut': 0.0}


def tcb_key(time, **fields):
    """A TCB key with the plain curve parameters: no tension, continuity, bias or easing."""
    key = {'time': time}
    key.update(fields)
    key.update(TCB_ZERO)
    return key


def track(key_type, keys, before='hold', after='hold'):
    return {'keyType': key_type, 'before': before, 'after': after, 'keys': keys}


def identity_scale(key_type, times):
    keys = []
    for t in times:
        key = {'time': real(t), 'scale': [1.0, 1.0, 1.0], 'angle': 0.0, 'axis': [0.0, 0.0, 1.0]}
        if key_type == 'tcbScale':
            key.update(TCB_ZERO)
        keys.append(key)
    return {'type': 'scale', 'track': track(key_type, keys)}


def bezier_tangents(values, index):
    """(in, out) tangents of a smooth curve through values at one key, per segment."""
    prev = values[max(index - 1, 0)]
    nxt = values[min(index + 1, len(values) - 1)]
    slope = (nxt - prev) / (2.0 if 0 < index < len(values) - 1 else 1.0)
    return [-1.0 / 3, -slope / 3], [1.0 / 3, slope / 3]


def scene_object(name, controller):
    return {'type': 'object', 'name': name, 'controller': controller}


def look_object(look_local):
    """The eyes' dummy "D_look": held at its local place, its rotation looking at D_lookat."""
    return scene_object('D_look::PRS', {
        'type': 'prs',
        'position': {'type': 'positionVector', 'track': track('linearPosition', [
            {'time': 0.0, 'value': [real(v) for v in look_local[1]]}])},
        'rotation': {'type': 'lookAt', 'targets': [{'name': 'D_lookat', 'weight': 1.0}],
                     'params': {'lookAtParam0': 0, 'flipLookAt': 0, 'flipUp': 0, 'upNodeMode': 0,
                                'lookAtParam4': 0, 'lookAtAxis': 1, 'upNodeAxis': 2,
                                'sourceAxis': 0, 'upAxisMode': 0}},
        'scale': identity_scale('linearScale', [0.0])})


def write(name, document):
    with open(os.path.join(HERE, name), 'w') as out:
        out.write(layout(document))
        out.write('\n')


def layout(value, indent=0, column=0):
    flat = json.dumps(value, separators=(', ', ': '))
    is_key = isinstance(value, dict) and 'time' in value  # a key or a sample: one line each
    if not isinstance(value, (dict, list)) or not value or column + len(flat) <= 100 or is_key:
        return flat
    pad = ' ' * (indent + 2)
    if isinstance(value, list):
        items = [pad + layout(v, indent + 2, indent + 2) for v in value]
        return '[\n' + ',\n'.join(items) + '\n' + ' ' * indent + ']'
    items = []
    for k, v in value.items():
        key = json.dumps(k) + ': '
        items.append(pad + key + layout(v, indent + 2, indent + 2 + len(key)))
    return '{\n' + ',\n'.join(items) + '\n' + ' ' * indent + '}'


# --- the hierarchy -----------------------------------------------------------------------------

def neutral_params():
    return {'grip_L': rim_point(math.radians(-60)), 'grip_R': rim_point(math.radians(60)),
            'palm_L': [0.0, 0.3, -1.0], 'palm_R': [0.0, 0.3, -1.0], 'curl_L': 0.6, 'curl_R': 0.6}


def hierarchy():
    world = pose(neutral_params())
    nodes = []
    for name, parent, kind, node_type in NODES:
        rot, pos = world[name]
        nodes.append({'name': name, 'type': 'transform' if node_type == 47 else 'positionScale',
                      'kind': kind, 'id': NODE_ID[name],
                      'parent': NODE_ID[parent] if parent else -1, 'transform': rows(rot, pos)})
    return {'comment': 'Seated adult, millimetres, Z up, facing -Y; written by generate_assets.py',
            'chunks': [{'type': 'hierarchy', 'nodes': nodes}]}


# --- the driver's pose scene -------------------------------------------------------------------

MAX_STEER = math.radians(60)


def driver_frames():
    """(frame, pose parameters) of every key of the driver's scene."""
    frames = []
    for f in range(11):  # steering from full left (frame 0) to full right (frame 10)
        steer = MAX_STEER * (f - 5) / 5.0
        p = neutral_params()
        p.update({'steer': steer, 'grip_L': rim_point(math.radians(-60) + steer),
                  'grip_R': rim_point(math.radians(60) + steer), 'lean': -0.08 * steer / MAX_STEER,
                  'head_yaw': -0.25 * steer / MAX_STEER, 'shift': -10.0 * steer / MAX_STEER,
                  'look': [-800.0 * steer / MAX_STEER, -2500.0, 600.0]})
        frames.append((f, p))

    def reach(target, palm, curl, lean, knob=GEAR, look=None):
        p = neutral_params()
        p.update({'grip_R': target, 'palm_R': palm, 'curl_R': curl, 'lean': lean, 'knob': knob,
                  'head_pitch': 0.1})
        if look:
            p['look'] = look
        return p

    neutral = neutral_params()
    down_palm = [0.0, -0.2, -1.0]
    side_palm = [1.0, 0.0, -0.3]
    frames += [
        (15, dict(neutral)),                                                      # Gear Start
        (20, reach(GEAR, down_palm, 1.1, -0.05)),                                 # Gear
        (25, reach(GEAR_PUSHED, down_palm, 1.2, -0.06, knob=GEAR_PUSHED)),        # Gear Pushed
        (30, dict(neutral)),                                                      # Handbrake Start
        (35, reach(HANDBRAKE, side_palm, 1.0, -0.06)),                            # Handbrake
        (40, reach(HANDBRAKE_PULLED, side_palm, 1.2, -0.07)),                     # Handbrake Pulled
        (45, reach(GEAR, down_palm, 1.1, -0.05)),                                 # Gear to Handbrake
        (50, reach(HANDBRAKE, side_palm, 1.0, -0.06)),                            # Handbrake from Gear
        (55, dict(neutral)),                                                      # Steeringwheel Gear Start
        (60, dict(neutral, grip_R=add(rim_point(math.radians(60)), [0.0, 30.0, 25.0]),
                  curl_R=0.15)),                                                  # Steeringwheel Gear
    ]
    return frames


def prs_linear(name, locals_by_frame):
    """PRS of linear tracks: one position key (the bone's length does not change) and a rotation
    key per frame."""
    position = {'type': 'positionVector', 'track': track('linearPosition',
                                                          position_keys(locals_by_frame))}
    keys = []
    for frame, (rot, _) in locals_by_frame:
        angle, axis = key_aa(rot)
        keys.append({'time': real(frame_time(frame)), 'angle': angle, 'axis': axis})
    rotation = {'type': 'rotationQuaternion', 'track': track('linearRotation', keys)}
    return scene_object(name + '::PRS', {'type': 'prs', 'position': position, 'rotation': rotation,
                                         'scale': identity_scale('linearScale', [0.0])})


def position_keys(locals_by_frame):
    """One key when the bone keeps its place in its parent, else one per frame."""
    first = locals_by_frame[0][1][1]
    if all(length(sub(pos, first)) < 0.01 for _, (_, pos) in locals_by_frame):
        return [{'time': 0.0, 'value': [real(v) for v in first]}]
    return [{'time': real(frame_time(f)), 'value': [real(v) for v in pos]}
            for f, (_, pos) in locals_by_frame]


def finger_euler(name, locals_by_frame):
    """A finger joint on Euler angles: the curl turns about the joint's own Y axis."""
    axes = {}
    # Local rotation = Rx * Ry * Rz; recover the three angles of each frame's matrix.
    series = []
    for frame, (rot, _) in locals_by_frame:
        y = math.asin(max(-1.0, min(1.0, -rot[0][2])))
        x = math.atan2(rot[1][2], rot[2][2])
        z = math.atan2(rot[0][1], rot[0][0])
        series.append((frame, (x, y, z)))
    for i, axis in enumerate('xyz'):
        axes[axis] = {'track': track('linearFloat', [
            {'time': real(frame_time(f)), 'value': real(v[i])} for f, v in series])}
    position = {'type': 'positionVector', 'track': track('linearPosition',
                                                          position_keys(locals_by_frame))}
    rotation = dict({'type': 'eulerXYZ'}, **axes)
    return scene_object(name + '::PRS', {'type': 'prs', 'position': position, 'rotation': rotation,
                                         'scale': identity_scale('linearScale', [0.0])})


def body_chunks(worlds, skip):
    """One scene object per body node not in skip: the finger joints as Euler tracks, the rest as
    linear position and rotation tracks, keyed at the given (frame, world pose) pairs."""
    chunks = []
    for name, _, _, _ in NODES:
        if name in skip:
            continue
        locals_by_frame = [(f, local(w, name)) for f, w in worlds]
        if ' 1 ' in name or ' 2 ' in name or ' 3 ' in name:
            chunks.append(finger_euler(name, locals_by_frame))
        else:
            chunks.append(prs_linear(name, locals_by_frame))
    return chunks


def driver_scene():
    frames = driver_frames()
    worlds = [(f, pose(p)) for f, p in frames]
    chunks = body_chunks(worlds, {'B_pelvis', 'D_lookat', 'D_look', 'D_gearknob'})

    # The pelvis as pre-sampled transforms, one per frame, blended linearly in between.
    samples = []
    for f in range(61):
        before = max(fr for fr, _ in frames if fr <= f)
        after = min((fr for fr, _ in frames if fr >= f), default=before)
        pb = dict(frames)[before]
        pa = dict(frames)[after]
        t = 0.0 if after == before else (f - before) / float(after - before)
        p = dict(pb, shift=pb.get('shift', 0.0) * (1 - t) + pa.get('shift', 0.0) * t,
                 bob=1.5 * math.sin((f - 5) * 0.7))  # the seat's small bounce, none at rest
        rot, pos = local(pose(p), 'B_pelvis')
        samples.append({'time': real(frame_time(f)), 'transform': rows(rot, pos)})
    chunks.append(scene_object('B_pelvis::PRS', {'type': 'prsSampled', 'samples': samples}))

    # The gaze target: a position-and-scale node on Bezier float axes.
    look = [(f, p.get('look', LOOK_TARGET)) for f, p in frames]
    axes = {}
    for i, axis in enumerate('xyz'):
        values = [v[i] for _, v in look]
        keys = []
        for k, (f, _) in enumerate(look):
            tin, tout = bezier_tangents(values, k)
            keys.append({'time': real(frame_time(f)), 'value': real(values[k]),
                         'inTangent': [real(x) for x in tin], 'outTangent': [real(x) for x in tout]})
        axes[axis] = {'track': track('bezierFloat', keys)}
    chunks.append(scene_object('D_lookat::Position', dict({'type': 'positionXYZ'}, **axes)))
    chunks.append(scene_object('D_lookat::Scale', identity_scale('linearScale', [0.0])))

    # The eyes' dummy looks at the gaze target.
    chunks.append(look_object(local(worlds[5][1], 'D_look')))

    # The gear knob: in the car until the hand takes it at frame 20, carried by the hand while
    # the lever is pushed, left in the car again from frame 30.
    hand_world = dict(worlds)[20]['B_hand R']
    knob_in_hand = vecmat(sub(GEAR, hand_world[1]), transpose(hand_world[0]))
    t20, t30 = frame_time(20), frame_time(30)
    just_before = lambda t: f32(t - 0.001)
    chunks.append(scene_object('D_gearknob::PRS', {
        'type': 'linkConstraints',
        'links': [{'parent': '__world_root__', 'start': 0.0},
                  {'parent': 'driver_steer::B_hand R', 'start': real(t20)},
                  {'parent': '__world_root__', 'start': real(t30)}],
        'position': {'type': 'positionVector', 'track': track('linearPosition', [
            {'time': 0.0, 'value': [real(v) for v in GEAR]},
            {'time': real(just_before(t20)), 'value': [real(v) for v in GEAR]},
            {'time': real(t20), 'value': [real(v) for v in knob_in_hand]},
            {'time': real(just_before(t30)), 'value': [real(v) for v in knob_in_hand]},
            {'time': real(t30), 'value': [real(v) for v in GEAR_PUSHED]}])},
        'rotation': {'type': 'rotationQuaternion', 'track': track('linearRotation', [
            {'time': 0.0, 'angle': 0.0, 'axis': [0.0, 0.0, 1.0]}])},
        'scale': identity_scale('linearScale', [0.0])}))

    # The steering input as a float, -1 (full left) to 1 (full right) over frames 0..10.
    chunks.append(scene_object('D_steeringwheel::Input', {'type': 'float', 'track': track(
        'linearFloat', [{'time': real(frame_time(f)), 'value': real((f - 5) / 5.0)}
                        for f in (0, 5, 10)])}))

    # The right arm's chain, with the lengths of its two segments.
    chunks.append(scene_object('IK arm R', {
        'type': 'ikChain',
        'joints': [{'name': n, 'id': NODE_ID[n]}
                   for n in ('B_upper arm R', 'B_lower arm R', 'B_hand R', 'D_gearknob')],
        'upperLength': UPPER_ARM, 'lowerLength': LOWER_ARM}))

    chunks.append({'type': 'range', 'start': 0.0, 'end': real(frame_time(60))})
    return {'comment': 'Driver poses: steering frames 0-10 (5 straight ahead), gear 15-25, '
                       'handbrake 30-40, gear to handbrake 45-50, wheel gesture 55-60. '
                       'Written by generate_assets.py; load as scene "driver_steer".',
            'chunks': chunks}


# --- the idle loop -----------------------------------------------------------------------------

IDLE_FRAMES = [0, 30, 60, 90, 120]


def idle_params(k):
    phase = 2 * math.pi * k / 4.0
    rest_L = [150.0, -330.0, 120.0]
    rest_R = [-150.0, -330.0, 120.0]
    return {'grip_L': add(rest_L, [0.0, 15.0 * math.sin(phase), 5.0 * math.cos(phase)]),
            'grip_R': add(rest_R, [0.0, -12.0 * math.sin(phase), 4.0 * math.sin(phase)]),
            'palm_L': [0.0, 0.0, -1.0], 'palm_R': [0.0, 0.0, -1.0],
            'curl_L': 0.35 + 0.1 * math.sin(phase), 'curl_R': 0.35 - 0.1 * math.sin(phase),
            'breath': 4.0 * math.sin(phase * 2), 'head_yaw': 0.3 * math.sin(phase),
            'head_pitch': 0.05 * math.cos(phase), 'lean': 0.02 * math.sin(phase),
            'look': [900.0 * math.sin(phase), -2500.0, 600.0 + 100 * math.cos(phase)]}


def idle_scene():
    worlds = [(f, pose(idle_params(k))) for k, f in enumerate(IDLE_FRAMES)]
    times = [real(frame_time(f)) for f in IDLE_FRAMES]
    chunks = []
    arm_parts = ('B_upper arm', 'B_lower arm', 'B_hand rotation', 'B_hand ')
    for name, _, _, node_type in NODES:
        if name in ('D_lookat', 'D_look'):
            continue
        locs = [local(w, name) for _, w in worlds]
        if name.startswith(arm_parts):
            # Bezier tracks: positions with flat tangents, absolute rotations; the identity scale
            # on a linear track, since the library evaluates no Bezier scale track.
            position = {'type': 'positionVector', 'track': track('bezierPosition', [
                {'time': t, 'value': [real(v) for v in locs[0][1]],
                 'inTangent': [[real(-1.0 / 3), 0.0]] * 3, 'outTangent': [[real(1.0 / 3), 0.0]] * 3}
                for t in times], 'loop', 'loop')}
            rotation = {'type': 'rotationQuaternion', 'track': track('bezierRotation', [
                dict(zip(('time', 'angle', 'axis'), (t,) + key_aa(rot)))
                for t, (rot, _) in zip(times, locs)], 'loop', 'loop')}
            scale = identity_scale('linearScale', times[:1])
        elif ' 1 ' in name or ' 2 ' in name or ' 3 ' in name:
            # Fingers: position on TCB float axes, curl on Euler angles of TCB floats.
            position = {'type': 'positionXYZ'}
            rotation = {'type': 'eulerXYZ'}
            for i, axis in enumerate('xyz'):
                position[axis] = {'track': track('tcbFloat', [
                    tcb_key(time=0.0, value=real(locs[0][1][i]))])}
                angles = []
                for rot, _ in locs:
                    angles.append((math.atan2(rot[1][2], rot[2][2]),
                                   math.asin(max(-1.0, min(1.0, -rot[0][2]))),
                                   math.atan2(rot[0][1], rot[0][0]))[i])
                rotation[axis] = {'track': track('tcbFloat', [
                    tcb_key(time=t, value=real(a)) for t, a in zip(times, angles)],
                    'loop', 'loop')}
            scale = identity_scale('tcbScale', [0.0])
        else:
            # TCB tracks; rotation keys hold the turn from the previous key.
            position = {'type': 'positionVector', 'track': track('tcbPosition', [
                tcb_key(time=t, value=[real(v) for v in pos])
                for t, (_, pos) in zip(times, locs)], 'loop', 'loop')}
            keys = []
            previous = [[1, 0, 0], [0, 1, 0], [0, 0, 1]]
            for t, (rot, _) in zip(times, locs):
                angle, axis = key_aa(matmul(transpose(previous), rot))
                keys.append(tcb_key(time=t, relativeAngle=angle, axis=axis))
                previous = rot
            rotation = {'type': 'rotationQuaternion', 'track': track('tcbRotation', keys,
                                                                     'loop', 'loop')}
            scale = identity_scale('tcbScale', [0.0])
        chunks.append(scene_object(name + '::PRS', {'type': 'prs', 'position': position,
                                                    'rotation': rotation, 'scale': scale}))

    look = [p.get('look') for p in (idle_params(k) for k in range(len(IDLE_FRAMES)))]
    chunks.append(scene_object('D_lookat::Position', {'type': 'positionVector', 'track': track(
        'tcbPosition', [tcb_key(time=t, value=[real(v) for v in l])
                        for t, l in zip(times, look)], 'loop', 'loop')}))
    chunks.append(scene_object('D_lookat::Scale', identity_scale('linearScale', [0.0])))
    look_local = local(worlds[0][1], 'D_look')
    chunks.append(scene_object('D_look::PRS', {
        'type': 'prs',
        'position': {'type': 'positionVector', 'track': track('tcbPosition', [
            tcb_key(time=0.0, value=[real(v) for v in look_local[1]])])},
        'rotation': {'type': 'lookAt', 'targets': [{'name': 'D_lookat', 'weight': 1.0}],
                     'params': {'lookAtParam0': 0, 'flipLookAt': 0, 'flipUp': 0, 'upNodeMode': 0,
                                'lookAtParam4': 0, 'lookAtAxis': 1, 'upNodeAxis': 2,
                                'sourceAxis': 0, 'upAxisMode': 0}},
        'scale': identity_scale('tcbScale', [0.0])}))
    chunks.append({'type': 'range', 'start': 0.0, 'end': real(frame_time(IDLE_FRAMES[-1]))})
    return {'comment': 'Seated idle of 4 s that loops (breathing, looking around, hands resting '
                       'on the thighs). Written by generate_assets.py; load as scene "idle_loop".',
            'chunks': chunks}


# --- the co-driver's pace notes ----------------------------------------------------------------

NOTES_LENGTH = 424  # frames: the co-driver's cycle
NOTEBOOK = [0.0, -300.0, 160.0]  # centre of the notebook on the lap


def notes_params(head_down, page=0.0):
    """The co-driver holding the notebook with both hands; head_down 1 reads, 0 watches the road;
    page 0..1 carries the right hand across the notebook to turn a page and back."""
    left = add(NOTEBOOK, [95.0, 0.0, 0.0])
    right = add(NOTEBOOK, [-95.0, 0.0, 0.0])
    lift = math.sin(math.pi * page)
    right = add(right, [190.0 * page * (1 - page) * 4 * 0.5, 20.0 * lift, 60.0 * lift])
    return {'grip_L': left, 'grip_R': right, 'palm_L': [0.0, 0.0, 1.0], 'palm_R': [0.0, 0.0, 1.0],
            'curl_L': 0.5, 'curl_R': 0.5 - 0.3 * lift, 'nod': 0.6 * head_down,
            'head_yaw': 0.0, 'lean': 0.0, 'breath': 2.0 * head_down,
            'look': add(NOTEBOOK, [0.0, -2200.0 * (1 - head_down), 440.0 * (1 - head_down)])}


def notes_frames():
    """(frame, pose parameters): read, look up, read, turn a page, read, look up, read."""
    return [(0, notes_params(1.0)), (40, notes_params(1.0)), (70, notes_params(0.0)),
            (110, notes_params(0.0)), (140, notes_params(1.0)), (200, notes_params(1.0)),
            (215, notes_params(1.0, 0.5)), (230, notes_params(1.0, 1.0)),
            (245, notes_params(1.0)), (300, notes_params(1.0)), (330, notes_params(0.0)),
            (370, notes_params(0.0)), (400, notes_params(1.0)), (NOTES_LENGTH, notes_params(1.0))]


def codriver_scene():
    frames = notes_frames()
    worlds = [(f, pose(p)) for f, p in frames]
    chunks = body_chunks(worlds, {'D_lookat', 'D_look'})
    chunks.append(scene_object('D_lookat::Position', {
        'type': 'positionVector', 'track': track('linearPosition', [
            {'time': real(frame_time(f)), 'value': [real(v) for v in p['look']]}
            for f, p in frames])}))
    chunks.append(scene_object('D_lookat::Scale', identity_scale('linearScale', [0.0])))
    chunks.append(look_object(local(worlds[0][1], 'D_look')))
    chunks.append({'type': 'range', 'start': 0.0, 'end': real(frame_time(NOTES_LENGTH))})
    return {'comment': 'Co-driver reading pace notes: head down to the notebook and up to the '
                       'road, a page turned at frames 200-245; 424 frames that loop. Written by '
                       'generate_assets.py; load as scene "codriver_notes".',
            'chunks': chunks}


def main():
    check_conventions()
    write('human_skeleton.zkh.json', hierarchy())
    write('driver_steer.zka.json', driver_scene())
    write('idle_loop.zka.json', idle_scene())
    write('codriver_notes.zka.json', codriver_scene())


if __name__ == '__main__':
    main()
