// The outputs of one stage driven by two builds (zelkar-drive output folders A and B, each with
// one .csv and one .glb of the same name): the CSV's rows (the same time, character and node,
// positions numerically) and every animation sampler of the .glb (times and values, read straight
// from its binary chunk). Prints how many values differ and the largest differences with where
// they are; exits 1 when the files differ in shape or a difference passes the limit, measured as
// |a - b| / max(|a|, |b|, 1): values below 1 (metres, unit quaternion parts, seconds) against 1,
// since nearly equal values near zero differ hugely in plain relative terms.
//   node compare-drives.cjs A B [limit, default 1e-6]
'use strict';
const fs = require('fs');
const path = require('path');
const [dirA, dirB, limitText] = process.argv.slice(2);
const limit = limitText ? Number(limitText) : 1e-6;
const only = (dir, ext) => {
  const files = fs.readdirSync(dir).filter(f => f.endsWith(ext));
  if (files.length !== 1) throw new Error(`${dir}: ${files.length} ${ext} files, not one`);
  return path.join(dir, files[0]);
};

function comparer(what) {
  const c = { values: 0, differ: 0, worst: 0, plain: 0, at: '' };
  c.add = (a, b, where) => {
    ++c.values;
    if (a === b) return;
    ++c.differ;
    const d = Math.abs(a - b), m = Math.max(Math.abs(a), Math.abs(b));
    c.plain = Math.max(c.plain, d / m);
    if (d / Math.max(m, 1) > c.worst) { c.worst = d / Math.max(m, 1); c.at = `${where}: ${a} vs ${b}`; }
  };
  c.report = () => {
    console.log(`${what}: ${c.values} values, ${c.differ} differ; largest ${c.worst.toExponential(2)}` +
      ` against max(|value|, 1)${c.at ? ' at ' + c.at : ''}; plain relative ${c.plain.toExponential(2)}`);
    return c.worst <= limit;
  };
  return c;
}

function csvRows(file) {
  return fs.readFileSync(file, 'utf8').trim().split('\n').slice(1).map(l => l.split(','));
}

// Every sampler's input and output floats, keyed by animation, target node and path.
function samplers(file) {
  const bytes = fs.readFileSync(file);
  const jsonLength = bytes.readUInt32LE(12);
  const json = JSON.parse(bytes.subarray(20, 20 + jsonLength).toString('utf8'));
  const bin = bytes.subarray(20 + jsonLength + 8);
  const floats = index => {
    const a = json.accessors[index], view = json.bufferViews[a.bufferView];
    if (a.componentType !== 5126) throw new Error(`${file}: accessor ${index} is not float`);
    const width = { SCALAR: 1, VEC3: 3, VEC4: 4 }[a.type];
    const start = bin.byteOffset + (view.byteOffset || 0) + (a.byteOffset || 0);
    return new Float32Array(bin.buffer.slice(start, start + 4 * width * a.count));
  };
  const out = new Map();
  (json.animations || []).forEach((animation, i) => animation.channels.forEach(channel => {
    const sampler = animation.samplers[channel.sampler];
    const key = `animation ${i} ${json.nodes[channel.target.node].name} ${channel.target.path}`;
    out.set(key, [floats(sampler.input), floats(sampler.output)]);
  }));
  return out;
}

let same = true;
const csv = comparer('CSV');
const [rowsA, rowsB] = [csvRows(only(dirA, '.csv')), csvRows(only(dirB, '.csv'))];
if (rowsA.length !== rowsB.length) { console.log(`CSV: ${rowsA.length} rows against ${rowsB.length}`); same = false; }
rowsA.forEach((a, r) => {
  const b = rowsB[r] || [];
  if (a[0] !== b[0] || a[1] !== b[1] || a[2] !== b[2]) { same = false; return; }
  for (let i = 3; i < 6; ++i) csv.add(Number(a[i]), Number(b[i]), `t=${a[0]} ${a[1]}/${a[2]} ${'xyz'[i - 3]}`);
});
same = csv.report() && same;

const glb = comparer('glb animations');
const [samplersA, samplersB] = [samplers(only(dirA, '.glb')), samplers(only(dirB, '.glb'))];
for (const [key, [timesA, valuesA]] of samplersA) {
  const other = samplersB.get(key);
  if (!other || other[0].length !== timesA.length || other[1].length !== valuesA.length) {
    console.log(`glb: ${key} differs in shape`);
    same = false;
    continue;
  }
  timesA.forEach((t, i) => glb.add(t, other[0][i], `${key} time ${i}`));
  valuesA.forEach((v, i) => glb.add(v, other[1][i], `${key} value ${i}`));
}
if (samplersB.size !== samplersA.size) { console.log('glb: the channels differ'); same = false; }
same = glb.report() && same;
process.exit(same ? 0 : 1);
