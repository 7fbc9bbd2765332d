// Validates glTF files with the glTF validator and prints one line per file:
//   <path> errors=<n> warnings=<n> [first error messages]
// Exit code 1 when a file has an error.
import { readFile } from 'node:fs/promises';
import path from 'node:path';
import validator from 'gltf-validator';

let failed = false;
for (const file of process.argv.slice(2)) {
  const bytes = new Uint8Array(await readFile(file));
  const report = await validator.validateBytes(bytes, {
    uri: path.basename(file),
    externalResourceFunction: (uri) =>
      readFile(path.join(path.dirname(file), decodeURIComponent(uri))).then((b) => new Uint8Array(b)),
  });
  const { numErrors, numWarnings, messages } = report.issues;
  const errors = messages.filter((m) => m.severity === 0).slice(0, 5)
    .map((m) => `${m.code} ${m.pointer ?? ''} ${m.message}`);
  console.log(`${file} errors=${numErrors} warnings=${numWarnings}` +
              (errors.length ? ' ' + errors.join(' | ') : ''));
  if (numErrors > 0) failed = true;
}
process.exit(failed ? 1 : 0);
