'use strict';
// The package as npm packs and installs it: what the tarball holds, and a
// project that installs it (with the library bundled) comparing files
// with no MORVEX_LIBRARY set.

const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const test = require('node:test');

const { fx, scratch } = require('./helpers');

const PACKAGE = path.join(__dirname, '..');

function npm(args, cwd, env = process.env) {
  return spawnSync('npm', args, { cwd, env, encoding: 'utf8' });
}

test('the tarball holds the package and its types, no tests', () => {
  const r = npm(['pack', '--dry-run', '--json', '--ignore-scripts'], PACKAGE);
  assert.equal(r.status, 0, r.stderr);
  const files = JSON.parse(r.stdout)[0].files.map((f) => f.path).sort();
  for (const wanted of ['package.json', 'index.d.ts', 'jest.js', 'jest.d.ts', 'lib/index.js', 'lib/library.js',
    'lib/batch.js', 'lib/batch-worker.js', 'lib/snapshot.js', 'lib/jest-matcher.js', 'lib/bundle.js']) {
    assert.ok(files.includes(wanted), `${wanted} in ${files.join(', ')}`);
  }
  assert.deepEqual(files.filter((f) => /^(test|node_modules)\//.test(f)), []);
});

test('a project installs the packed package, or the folder with --install-links, and uses its library', (t) => {
  const dir = scratch(t);
  const copy = path.join(dir, 'pkg');
  for (const name of ['lib', 'package.json', 'index.d.ts', 'jest.js', 'jest.d.ts']) {
    fs.cpSync(path.join(PACKAGE, name), path.join(copy, name), { recursive: true });
  }
  execFileSync(process.execPath, [path.join(copy, 'lib', 'bundle.js'), process.env.MORVEX_LIBRARY]);
  let r = npm(['pack', '--json', '--pack-destination', dir], copy);
  assert.equal(r.status, 0, r.stderr);
  const tarball = path.join(dir, JSON.parse(r.stdout)[0].filename);
  assert.ok(JSON.parse(r.stdout)[0].files.some((f) => f.path === 'native/libmorvex.so.1'));

  // The tarball, and the folder as `npm install --install-links DIR` takes
  // it from a checkout: both copy the package and install koffi beside it.
  for (const [name, source, flags] of [['from-tarball', tarball, []], ['from-folder', copy, ['--install-links']]]) {
    const project = path.join(dir, name);
    fs.mkdirSync(project);
    fs.writeFileSync(path.join(project, 'package.json'), '{"name": "user", "private": true}\n');
    // koffi comes from npm's cache, where npm ci in js/ put it: no download.
    r = npm(['install', '--offline', '--no-audit', '--no-fund', ...flags, source], project);
    if (r.status !== 0 && /ENOTCACHED/.test(r.stderr)) {
      t.skip('koffi is not in npm\'s cache: run npm ci in js/ first');
      return;
    }
    assert.equal(r.status, 0, r.stderr);
    assert.equal(fs.lstatSync(path.join(project, 'node_modules', 'morvex')).isSymbolicLink(), false);
    const env = { ...process.env };
    delete env.MORVEX_LIBRARY;
    r = spawnSync(process.execPath, ['-e', `
      const m = require('morvex');
      m.compare(process.argv[1], process.argv[2]).then((r) => console.log(JSON.stringify([m.libraryPath, r])));`,
    fx('hello.pdf'), fx('goodbye.pdf')], { cwd: project, env, encoding: 'utf8' });
    assert.equal(r.status, 0, r.stderr);
    const [library, report] = JSON.parse(r.stdout);
    assert.equal(library, path.join(project, 'node_modules', 'morvex', 'native', 'libmorvex.so.1'));
    assert.deepEqual(report.differences, [{ page: 1, type: 'text_changed' }]);
  }
});
