// Writes the test's glTF files with @gltf-transform/core, a writer other than the project's:
//   arm.glb        a skinned arm under a turned, scaled, moved node that is not a joint, with
//                  LINEAR, STEP and CUBICSPLINE channels, a quaternion channel whose keys change
//                  sign, a static non-joint node between two joints, and a channel starting late
//   arm.gltf       the same with an external arm.bin, and the top node given as node.matrix
//   twoskins.glb   two skins over one node tree
//   walk.glb       root motion: a skinned body under an animated node that is not a joint, itself
//                  under a static one, with a STEP channel starting late and an animated node
//                  that is no ancestor of a joint
//   walk.gltf      the same with its buffer inlined as base64
//   armbody.glb    arm.glb with a skinned, coloured mesh: a quad at each joint, its vertices
//                  bound to that joint alone or shared with the next by uneven float weights
// Usage: node build.mjs OUTDIR
import { Document, Format, NodeIO, VertexLayout } from '@gltf-transform/core';
import { readFile, writeFile } from 'node:fs/promises';
import path from 'node:path';

const out = process.argv[2];

function axisAngle(x, y, z, a) {
  const s = Math.sin(a / 2);
  return [x * s, y * s, z * s, Math.cos(a / 2)];
}

// Float accessors in the document's one buffer: acc(type, values).
function accessorMaker(doc) {
  const buffer = doc.createBuffer();
  return (type, values) =>
    doc.createAccessor().setType(type).setArray(new Float32Array(values)).setBuffer(buffer);
}

// Channels of an animation, each with its own sampler.
function channelMaker(doc, anim, acc) {
  return (node, pathName, times, values, interpolation, type) => {
    const sampler = doc.createAnimationSampler()
      .setInput(acc('SCALAR', times)).setOutput(acc(type, values)).setInterpolation(interpolation);
    anim.addSampler(sampler).addChannel(
      doc.createAnimationChannel().setTargetNode(node).setTargetPath(pathName).setSampler(sampler));
  };
}

function arm() {
  const doc = new Document();
  const acc = accessorMaker(doc);
  const top = doc.createNode('Armature')
    .setTranslation([0.2, 1.1, -0.3])
    .setRotation(axisAngle(1, 0, 0, -Math.PI / 2))
    .setScale([0.5, 0.5, 0.5]);
  const shoulder = doc.createNode('upperarm L').setTranslation([0.4, 0, 1.2]);
  const elbow = doc.createNode('forearm L').setTranslation([0.6, 0, 0]);
  const twist = doc.createNode('twist helper')
    .setTranslation([0.1, 0.05, 0]).setRotation(axisAngle(0, 0.6, 0.8, 0.7));
  const hand = doc.createNode('hand L').setTranslation([0.5, 0, 0]);
  top.addChild(shoulder);
  shoulder.addChild(elbow);
  elbow.addChild(twist);
  twist.addChild(hand);
  doc.createScene('scene').addChild(top);
  doc.createSkin('arm').addJoint(shoulder).addJoint(elbow).addJoint(hand);

  const anim = doc.createAnimation('wave');
  const channel = channelMaker(doc, anim, acc);
  // Keys that flip sign: q and -q' are 0.4 rad apart the short way, 2π - 0.4 the long way.
  const q = (a) => axisAngle(0, 0, 1, a);
  const neg = (v) => v.map((c) => -c);
  channel(shoulder, 'rotation', [0, 0.5, 1, 1.5],
          [...q(0), ...neg(q(0.4)), ...q(0.8), ...neg(q(1.2))], 'LINEAR', 'VEC4');
  channel(shoulder, 'translation', [0.5, 1.5], [0.4, 0, 1.2, 0.4, 0.3, 1.0], 'LINEAR', 'VEC3');
  // Cubic: per key in-tangent, value, out-tangent.
  const r0 = axisAngle(0, 1, 0, 0.2), r1 = axisAngle(0, 1, 0, 1.4), r2 = axisAngle(1, 0, 0, 0.5);
  channel(elbow, 'rotation', [0, 0.8, 2], [
    0, 0, 0, 0, ...r0, 0, 0.9, 0, 0,
    0, 0.3, 0.2, 0, ...r1, 0, -0.4, 0.2, 0,
    0.2, 0, 0, 0, ...r2, 0, 0, 0, 0], 'CUBICSPLINE', 'VEC4');
  channel(elbow, 'translation', [0, 1, 2], [
    0, 0, 0, 0.6, 0, 0, 0.3, 0.4, 0,
    0.2, -0.5, 0.1, 0.7, 0.2, 0.1, 0.2, -0.5, 0.1,
    0, 0, 0, 0.6, 0.1, 0, 0, 0, 0], 'CUBICSPLINE', 'VEC3');
  channel(hand, 'translation', [0, 0.7, 1.3], [0.5, 0, 0, 0.55, 0.1, 0, 0.45, -0.1, 0.05],
          'STEP', 'VEC3');
  channel(hand, 'scale', [0, 2], [1, 1, 1, 1.5, 0.8, 1.2], 'LINEAR', 'VEC3');
  return doc;
}

// The inverse of a column-major affine 4×4.
function inverseAffine(m) {
  const [a, b, c, d, e, f, g, h, i] = [m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]];
  const det = a * (e * i - f * h) - d * (b * i - c * h) + g * (b * f - c * e);
  const r = [
    (e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det,
    (f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det,
    (d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det];
  const t = [0, 1, 2].map((k) => -(r[k] * m[12] + r[k + 3] * m[13] + r[k + 6] * m[14]));
  return [r[0], r[1], r[2], 0, r[3], r[4], r[5], 0, r[6], r[7], r[8], 0, ...t, 1];
}

function armBody() {
  const doc = arm();
  const buffer = doc.getRoot().listBuffers()[0];
  const skin = doc.getRoot().listSkins()[0];
  const joints = skin.listJoints();
  const positions = [], normals = [], jointIds = [], weights = [], indices = [];
  joints.forEach((joint, k) => {
    const w = joint.getWorldMatrix();
    const base = positions.length / 3;
    for (const [dx, dy, dz] of [[0.05, 0, 0], [0, 0.07, 0], [-0.04, 0, 0.02], [0, -0.06, 0.03]]) {
      positions.push(w[12] + dx, w[13] + dy, w[14] + dz);
      normals.push(0, 0, 1);
    }
    // Two vertices bound to this joint alone, two shared with the next (or the one before).
    const other = k + 1 < joints.length ? k + 1 : k - 1;
    jointIds.push(k, 0, 0, 0, k, 0, 0, 0, k, other, 0, 0, other, k, 0, 0);
    weights.push(1, 0, 0, 0, 1, 0, 0, 0, 0.613, 0.387, 0, 0, 0.271, 0.729, 0, 0);
    indices.push(base, base + 1, base + 2, base, base + 2, base + 3);
  });
  const ibm = joints.flatMap((joint) => inverseAffine(joint.getWorldMatrix()));
  skin.setInverseBindMatrices(
    doc.createAccessor().setType('MAT4').setArray(new Float32Array(ibm)).setBuffer(buffer));
  const attribute = (type, array) =>
    doc.createAccessor().setType(type).setArray(array).setBuffer(buffer);
  const primitive = doc.createPrimitive()
    .setAttribute('POSITION', attribute('VEC3', new Float32Array(positions)))
    .setAttribute('NORMAL', attribute('VEC3', new Float32Array(normals)))
    .setAttribute('JOINTS_0', attribute('VEC4', new Uint8Array(jointIds)))
    .setAttribute('WEIGHTS_0', attribute('VEC4', new Float32Array(weights)))
    .setIndices(attribute('SCALAR', new Uint16Array(indices)))
    .setMaterial(doc.createMaterial('skin').setBaseColorFactor([0.8, 0.5, 0.4, 1]));
  const body = doc.createNode('body').setMesh(doc.createMesh('arm').addPrimitive(primitive))
    .setSkin(skin);
  doc.getRoot().listScenes()[0].addChild(body);
  return doc;
}

function twoSkins() {
  const doc = new Document();
  const acc = accessorMaker(doc);
  const root = doc.createNode('root').setScale([2, 2, 2]);
  const a1 = doc.createNode('a1').setTranslation([1, 0, 0]);
  const a2 = doc.createNode('a2').setTranslation([0, 1, 0]);
  const b1 = doc.createNode('b1').setTranslation([-1, 0, 0]).setRotation(axisAngle(0, 0, 1, 0.3));
  const b2 = doc.createNode('b2').setTranslation([0, 0, 1]);
  root.addChild(a1).addChild(b1);
  a1.addChild(a2);
  b1.addChild(b2);
  doc.createScene('scene').addChild(root);
  doc.createSkin('A').addJoint(a1).addJoint(a2);
  doc.createSkin('B').addJoint(b1).addJoint(b2);
  const channel = channelMaker(doc, doc.createAnimation('bend'), acc);
  for (const [node, axis] of [[a2, [1, 0, 0]], [b2, [0, 1, 0]]])
    channel(node, 'rotation', [0, 1], [...axisAngle(...axis, 0), ...axisAngle(...axis, 1.2)],
            'LINEAR', 'VEC4');
  return doc;
}

function walk() {
  const doc = new Document();
  const acc = accessorMaker(doc);
  const sceneRoot = doc.createNode('Scene root')
    .setTranslation([0.1, 0, 0.5]).setRotation(axisAngle(0, 1, 0, 0.3)).setScale([1.5, 1.5, 1.5]);
  const armature = doc.createNode('Armature').setScale([0.5, 0.5, 0.5]);
  const hips = doc.createNode('hips').setTranslation([0, 1, 0]);
  const spine = doc.createNode('spine').setTranslation([0, 0.5, 0]);
  const foot = doc.createNode('foot').setTranslation([0.1, -1, 0]);
  const prop = doc.createNode('prop');
  sceneRoot.addChild(armature).addChild(prop);
  armature.addChild(hips);
  hips.addChild(spine).addChild(foot);
  doc.createScene('scene').addChild(sceneRoot);
  doc.createSkin('body').addJoint(hips).addJoint(spine).addJoint(foot);

  const anim = doc.createAnimation('walk');
  const channel = channelMaker(doc, anim, acc);
  // Key times on a 1/30 s grid, so that an export at 30 frames per second holds every key.
  channel(armature, 'translation', [0, 1, 2], [0, 0, 0, 0, 0, 1.5, 0.3, 0, 3], 'LINEAR', 'VEC3');
  channel(armature, 'rotation', [0, 2], [...axisAngle(0, 1, 0, 0), ...axisAngle(0, 1, 0, 1)],
          'LINEAR', 'VEC4');
  channel(hips, 'rotation', [0, 0.5, 1.5],
          [...axisAngle(1, 0, 0, 0), ...axisAngle(1, 0, 0, 0.4), ...axisAngle(1, 0, 0, -0.2)],
          'LINEAR', 'VEC4');
  channel(foot, 'translation', [0.5, 0.7, 1.3], [0.1, -1, 0, 0.1, -0.9, 0.2, 0.1, -1, 0.1],
          'STEP', 'VEC3');
  channel(prop, 'translation', [0, 1], [0, 0, 0, 1, 0, 0], 'LINEAR', 'VEC3');
  return doc;
}

const io = new NodeIO();
await io.write(path.join(out, 'walk.glb'), walk());
// Inlined: the JSON with the binary chunk as a data URI.
const walkJson = await io.writeJSON(walk(), { format: Format.GLTF });
for (const buffer of walkJson.json.buffers) {
  const bin = Buffer.from(walkJson.resources[buffer.uri]);
  buffer.uri = 'data:application/octet-stream;base64,' + bin.toString('base64');
}
await writeFile(path.join(out, 'walk.gltf'), JSON.stringify(walkJson.json));
await io.write(path.join(out, 'arm.glb'), arm());
await io.write(path.join(out, 'twoskins.glb'), twoSkins());
// Attributes in buffer views of their own, as sample.mjs reads them.
await new NodeIO().setVertexLayout(VertexLayout.SEPARATE)
  .write(path.join(out, 'armbody.glb'), armBody());
const armGltf = arm();
armGltf.getRoot().listBuffers()[0].setURI('arm.bin');
await io.write(path.join(out, 'arm.gltf'), armGltf);
// The top node as a matrix (column-major T·R·S), which this writer does not produce itself.
const json = JSON.parse(await readFile(path.join(out, 'arm.gltf'), 'utf8'));
const node = json.nodes.find((n) => n.name === 'Armature');
const [x, y, z, w] = node.rotation, s = node.scale[0], t = node.translation;
node.matrix = [
  s * (1 - 2 * (y * y + z * z)), s * 2 * (x * y + z * w), s * 2 * (x * z - y * w), 0,
  s * 2 * (x * y - z * w), s * (1 - 2 * (x * x + z * z)), s * 2 * (y * z + x * w), 0,
  s * 2 * (x * z + y * w), s * 2 * (y * z - x * w), s * (1 - 2 * (x * x + y * y)), 0,
  t[0], t[1], t[2], 1];
delete node.translation;
delete node.rotation;
delete node.scale;
await writeFile(path.join(out, 'arm.gltf'), JSON.stringify(json));
