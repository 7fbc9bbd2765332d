// Writes zelkar-live.html: the page template with every script inlined (three.js, its glTF
// loader, the library's module with its WebAssembly, the page's own scripts) and the cast's .glb
// as base64, so that the one file runs from a file:// address.
//   node assemble-page.cjs TEMPLATE OUT THREE_DIR MODULE_JS CAST_GLB PAGE_SCRIPT...
'use strict';
const fs = require('fs');
const [template, out, threeDir, moduleJs, castGlb, ...pageScripts] = process.argv.slice(2);

// Text inside a <script> element: "</script" would end it early.
const scriptSafe = text => text.replace(/<\/(script)/gi, '<\\/$1');
const script = file => '<script>\n' + scriptSafe(fs.readFileSync(file, 'utf8')) + '\n</script>\n';

const parts = [
  script(threeDir + '/three.min.js'),
  script(threeDir + '/examples/js/loaders/GLTFLoader.js'),
  script(moduleJs),
  '<script id="zk-cast" type="application/octet-stream">' +
    fs.readFileSync(castGlb).toString('base64') + '</script>\n',
  ...pageScripts.map(script)
];
const page = fs.readFileSync(template, 'utf8');
if (!page.includes('<!--ZK_SCRIPTS-->')) throw new Error(template + ': no <!--ZK_SCRIPTS--> mark');
fs.writeFileSync(out + '.part', page.replace('<!--ZK_SCRIPTS-->', () => parts.join('')));
fs.renameSync(out + '.part', out);
