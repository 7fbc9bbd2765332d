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
// Usage: node build.mjs OUTDIR
import { Document, Format, NodeIO } from '@gltf-transform/core';
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
