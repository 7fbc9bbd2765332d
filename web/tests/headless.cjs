// Opens a page in headless chromium, waits (in real time, not the browser's virtual time, which
// would run out while the WebAssembly compiles) until its status box says "ready" or "error",
// then prints the box's data attributes as JSON and, if asked, saves a screenshot. Talks to the
// browser over the DevTools protocol on a pipe (--remote-debugging-pipe), so it needs no package.
//   node headless.cjs URL [SCREENSHOT.png] [WIDTH HEIGHT]
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const [url, screenshot, width = '1000', height = '640'] = process.argv.slice(2);
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zk-headless-'));
const browser = spawn('chromium', ['--headless', '--no-sandbox', '--hide-scrollbars',
  `--window-size=${width},${height}`, `--user-data-dir=${profile}`, '--remote-debugging-pipe',
  'about:blank'], { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'] });

let nextId = 1, buffered = '';
const waiting = new Map();
browser.stdio[4].on('data', chunk => {
  buffered += chunk.toString();
  let end;
  while ((end = buffered.indexOf('\0')) >= 0) {
    const message = JSON.parse(buffered.slice(0, end));
    buffered = buffered.slice(end + 1);
    const reply = waiting.get(message.id);
    if (!reply) continue;
    waiting.delete(message.id);
    if (message.error) reply.reject(new Error(message.error.message));
    else reply.resolve(message.result);
  }
});
function send(method, params = {}, sessionId) {
  const id = nextId++;
  browser.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + '\0');
  return new Promise((resolve, reject) => waiting.set(id, { resolve, reject }));
}
const sleep = ms => new Promise(resolve => setTimeout(resolve, ms));

async function main() {
  const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
  const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
  await send('Page.enable', {}, sessionId);
  await send('Page.navigate', { url }, sessionId);
  const read = `(() => { const s = document.getElementById('status');
    return s ? JSON.stringify(Object.assign({ text: s.textContent }, s.dataset)) : null; })()`;
  for (let waited = 0; ; waited += 100) {
    const { result } = await send('Runtime.evaluate', { expression: read, returnByValue: true },
      sessionId);
    const status = result.value ? JSON.parse(result.value) : {};
    if (status.state === 'ready' || status.state === 'error') {
      if (screenshot) {
        await sleep(300);  // a few display frames, so the last one is on the screen
        const { data } = await send('Page.captureScreenshot', { format: 'png' }, sessionId);
        fs.writeFileSync(screenshot, Buffer.from(data, 'base64'));
      }
      console.log(JSON.stringify(status));
      return status.state === 'ready' ? 0 : 1;
    }
    if (waited > 120000) throw new Error('not ready after two minutes: ' + JSON.stringify(status));
    await sleep(100);
  }
}

main().then(code => finish(code), e => { console.error('headless: ' + e.message); finish(1); });
function finish(code) {
  // The profile goes once the browser has let go of it.
  browser.on('exit', () => {
    try { fs.rmSync(profile, { recursive: true, force: true }); } catch (e) { /* left in tmp */ }
    process.exit(code);
  });
  browser.kill();
}
