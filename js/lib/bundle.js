'use strict';
// Copies a built libmorvex into the package's native/ folder, where the
// package looks for it before the system's: run before `npm pack` to ship
// the library inside the package.
//
//   node lib/bundle.js [LIBRARY]   (default: $MORVEX_LIBRARY)

const fs = require('node:fs');
const path = require('node:path');

const source = process.argv[2] || process.env.MORVEX_LIBRARY;
if (!source) {
  console.error('usage: node lib/bundle.js LIBRARY   (the built libmorvex.so, e.g. build/rel/libmorvex.so)');
  process.exit(2);
}
const native = path.join(__dirname, '..', 'native');
fs.mkdirSync(native, { recursive: true });
// The file itself, not a symbolic link into a build folder that a packed
// or installed copy would not have.
const target = path.join(native, 'libmorvex.so.1');
fs.copyFileSync(fs.realpathSync(source), `${target}.tmp`);
fs.renameSync(`${target}.tmp`, target);
console.log(`bundled ${fs.realpathSync(source)} as ${target}`);
