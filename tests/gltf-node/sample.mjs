// Samples a glTF file's first animation as a glTF viewer plays it, with three.js (Debian's
// libjs-three: its GLTFLoader and animation mixer), and prints every named node's world matrix
// (column-major, glTF's frame) at each time as JSON: {"name": [[16 numbers] per time], ...}.
// Usage: node sample.mjs FILE T1,T2,... [loop] [skin=JOINT]
// Each channel holds its end values outside its keys (the mixer plays the clip once, clamped),
// or with "loop" the clip repeats from 0 to its last key. With skin=JOINT the output also holds
// "skinnedMeshes" (how many the file has) and "skinned": the world position at each time of the
// vertex of the skinned meshes nearest the node JOINT among those wholly bound to it, skinned as
// three.js's shader skins it.
import { readFile, writeFile, mkdtemp } from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const THREE_DIR = process.env.THREE_DIR ?? '/usr/share/javascript/three';
const threeUrl = pathToFileURL(path.join(THREE_DIR, 'three.module.js')).href;
// The loader imports three.js by a path of the source tree; point it at the installed file.
const loaderText = (await readFile(path.join(THREE_DIR, 'examples/jsm/loaders/GLTFLoader.js'), 'utf8'))
  .replace(/from\s+["'][^"']*three\.module\.js["']/g, `from "${threeUrl}"`);
const dir = await mkdtemp(path.join(os.tmpdir(), 'gltf-sample-'));
await writeFile(path.join(dir, 'GLTFLoader.mjs'), loaderText);
const THREE = await import(threeUrl);
const { GLTFLoader } = await import(pathToFileURL(path.join(dir, 'GLTFLoader.mjs')).href);

const [file, timeList, ...flags] = process.argv.slice(2);
const mode = flags.includes('loop') ? 'loop' : '';
const skinJoint = (flags.find((f) => f.startsWith('skin=')) ?? '').slice(5);
const times = timeList.split(',').map(Number);
let bytes = await readFile(file);
let data;
if (file.endsWith('.gltf')) {
  // External buffers inlined as data URIs: the loader reads those without a network.
  const json = JSON.parse(bytes.toString('utf8'));
  for (const buffer of json.buffers ?? []) {
    if (buffer.uri && !buffer.uri.startsWith('data:')) {
      const bin = await readFile(path.join(path.dirname(file), decodeURIComponent(buffer.uri)));
      buffer.uri = 'data:application/octet-stream;base64,' + bin.toString('base64');
    }
  }
  data = JSON.stringify(json);
} else {
  data = bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength);
}
const gltf = await new Promise((resolve, reject) =>
  new GLTFLoader().parse(data, '', resolve, reject));
const nodes = await gltf.parser.getDependencies('node');
const names = gltf.parser.json.nodes.map((n) => n.name);
const root = gltf.scene;
const mixer = new THREE.AnimationMixer(root);
const action = gltf.animations.length > 0 ? mixer.clipAction(gltf.animations[0]) : null;
if (action) {
  if (mode === 'loop') {
    action.setLoop(THREE.LoopRepeat, Infinity);
  } else {
    action.setLoop(THREE.LoopOnce);
    action.clampWhenFinished = true;
  }
  action.play();
}
const result = {};
for (const name of names) if (name !== undefined) result[name] = [];
const meshes = [];
root.traverse((object) => { if (object.isSkinnedMesh) meshes.push(object); });
// Element k of a vertex's attribute, 0..1 where the attribute is normalized (this three.js hands
// out stored values as they are).
function component(attribute, v, k) {
  const value = attribute.array[v * attribute.itemSize + k];
  return attribute.normalized ? value / (attribute.array.BYTES_PER_ELEMENT === 1 ? 255 : 65535) : value;
}
// The vertex wholly bound to the joint and nearest it, found at the first time.
let chosen = null;
function choose() {
  const joint = nodes[names.indexOf(skinJoint)];
  const at = new THREE.Vector3().setFromMatrixPosition(joint.matrixWorld);
  for (const mesh of meshes) {
    const bone = mesh.skeleton.bones.indexOf(joint);
    const { skinIndex, skinWeight } = mesh.geometry.attributes;
    for (let v = 0; bone >= 0 && v < skinIndex.count; ++v) {
      for (let k = 0; k < 4; ++k) {
        if (component(skinIndex, v, k) !== bone || component(skinWeight, v, k) < 0.999) continue;
        const d = skinned(mesh, v).distanceTo(at);
        if (!chosen || d < chosen.d) chosen = { mesh, v, d };
      }
    }
  }
  if (!chosen) throw new Error(`no vertex is bound to ${skinJoint} alone`);
}
// modelMatrix · bindMatrixInverse · Σ weight · bone world · bone inverse · bindMatrix · position
function skinned(mesh, v) {
  const { position, skinIndex, skinWeight } = mesh.geometry.attributes;
  const p = new THREE.Vector3().fromBufferAttribute(position, v).applyMatrix4(mesh.bindMatrix);
  const sum = new THREE.Vector3(), m = new THREE.Matrix4();
  for (let k = 0; k < 4; ++k) {
    const w = component(skinWeight, v, k);
    if (w === 0) continue;
    const j = component(skinIndex, v, k);
    m.multiplyMatrices(mesh.skeleton.bones[j].matrixWorld, mesh.skeleton.boneInverses[j]);
    sum.add(p.clone().applyMatrix4(m).multiplyScalar(w));
  }
  return sum.applyMatrix4(mesh.bindMatrixInverse).applyMatrix4(mesh.matrixWorld);
}
if (skinJoint) {
  result.skinnedMeshes = meshes.length;
  result.skinned = [];
}
for (const t of times) {
  // Each time from the start: an action clamped at its end stays paused at its own time 0.
  if (action) action.reset();
  mixer.setTime(t);
  // glTF plays rotations as unit quaternions; this loader leaves its cubic spline results
  // unnormalised (linear results are unit already).
  root.traverse((object) => object.quaternion.normalize());
  root.updateMatrixWorld(true);
  nodes.forEach((node, i) => {
    if (names[i] !== undefined) result[names[i]].push(Array.from(node.matrixWorld.elements));
  });
  if (skinJoint) {
    if (!chosen) choose();
    result.skinned.push(skinned(chosen.mesh, chosen.v).toArray());
  }
}
console.log(JSON.stringify(result));
