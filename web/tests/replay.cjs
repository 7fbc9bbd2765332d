// Replays the sample stage through the WebAssembly library under node and compares every frame's
// positions of the stage's CSV nodes with the native drive's CSV.
//   node replay.cjs zelkar-live.js rally_stage.csv [tolerance metres, default 1e-5]
'use strict';
const fs = require('fs');
const [moduleFile, csvFile, toleranceText] = process.argv.slice(2);
const tolerance = toleranceText ? parseFloat(toleranceText) : 1e-5;

// The native CSV: time,character,node,x,y,z rows, a frame's nodes in a row.
const rows = fs.readFileSync(csvFile, 'utf8').trim().split('\n').slice(1).map(line => {
  const f = line.split(',');
  return { name: f[1] + '/' + f[2], xyz: f.slice(3).map(Number) };
});

require(moduleFile)().then(M => {
  const call = (name, ret, args) => M.cwrap(name, ret, args || []);
  const start = call('zk_live_start', 'number', ['number']);
  const step = call('zk_live_step', 'number', ['number']);
  if (start(1) !== 0) throw new Error(call('zk_live_error', 'string')());
  const layout = JSON.parse(call('zk_live_layout', 'string')());
  const csv = call('zk_live_csv', 'number');
  const per = layout.csv.length;
  if (rows.length !== layout.frames * per)
    throw new Error(`the CSV has ${rows.length} rows, the replay makes ${layout.frames} frames of ${per}`);
  let worst = 0, worstAt = '', printedAlike = true;
  for (let frame = 0; frame < layout.frames; ++frame) {
    if (step(0) !== frame + 1) throw new Error('step ' + frame + ': ' + call('zk_live_error', 'string')());
    const got = new Float32Array(M.HEAPF32.buffer, csv(), per * 3);
    for (let k = 0; k < per; ++k) {
      const row = rows[frame * per + k];
      if (row.name !== layout.csv[k]) throw new Error(`frame ${frame}: ${row.name} against ${layout.csv[k]}`);
      for (let i = 0; i < 3; ++i) {
        const d = Math.abs(got[3 * k + i] - row.xyz[i]);
        // The CSV prints six decimals: the same float prints the same text.
        printedAlike = printedAlike && got[3 * k + i].toFixed(6) === row.xyz[i].toFixed(6);
        if (d > worst) { worst = d; worstAt = `frame ${frame} ${row.name} axis ${'xyz'[i]}`; }
      }
    }
  }
  console.log(`${layout.frames} frames of ${per} nodes: largest difference ${worst.toExponential(2)} m` +
    (worst ? ` (${worstAt})` : '') + `; printed alike: ${printedAlike}; ` +
    `last frame's checksum ${call('zk_live_checksum', 'string')()}; ` +
    `the library's time per frame ${call('zk_live_mean_micros', 'number')().toFixed(1)} us`);
  process.exit(worst <= tolerance ? 0 : 1);
}).catch(e => { console.error('replay: ' + e.message); process.exit(1); });
