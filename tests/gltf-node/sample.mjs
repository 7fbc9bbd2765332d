// Samples a glTF file's first animation as a glTF viewer plays it, with three.js (Debian's
// libjs-three: its GLTFLoader and animation mixer), and prints every named node's world matrix
// (column-major, glTF's frame) at each time as JSON: {"name": [[16 numbers] per time], ...}.
// Usage: node sample.mjs FILE T1,T2,... [loop]
// Each channel holds its end values outside its keys (the mixer plays the clip once, clamped),
// or with "loop" the clip repeats from 0 to its last key.
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

const [file, timeList, mode] = process.argv.slice(2);
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
}
console.log(JSON.stringify(result));
