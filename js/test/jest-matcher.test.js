'use strict';
// The Jest matcher in real Jest runs of a small project: the first run
// stores, the next passes, a changed PDF fails with its words and a
// report, `jest -u` updates, and `jest --ci` stores nothing.

const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const test = require('node:test');

const { fx, scratch } = require('./helpers');

const PACKAGE = path.join(__dirname, '..');
const JEST = path.join(PACKAGE, 'node_modules', 'jest', 'bin', 'jest.js');

const TEST_FILE = `
test('greeting', async () => {
  await expect(process.env.PDF).toMatchPdfSnapshot();
});

test('first page only', async () => {
  await expect(require('fs').readFileSync(process.env.PDF)).toMatchPdfSnapshot({ pages_a: '1', pages_b: '1' }, 'cover');
});
`;

function jest(project, pdf, ...flags) {
  const config = JSON.stringify({
    rootDir: project,
    testEnvironment: 'node',
    setupFilesAfterEnv: [path.join(PACKAGE, 'jest.js')],
    cacheDirectory: path.join(project, '.cache'),
    transform: {},
  });
  const r = spawnSync(process.execPath, [JEST, '--config', config, '--no-watchman', '--colors=false', '--runInBand', ...flags], {
    cwd: project, env: { ...process.env, PDF: pdf, CI: '', MORVEX_CLI: process.env.MORVEX_TEST_CLI || '' }, encoding: 'utf8',
  });
  return { status: r.status, out: r.stdout + r.stderr };
}

test('store, pass, fail with the changed words, update, and --ci', { skip: !fs.existsSync(JEST) && 'jest is not installed (npm ci in js/)' }, (t) => {
  const project = scratch(t);
  fs.writeFileSync(path.join(project, 'doc.test.js'), TEST_FILE);
  const folder = path.join(project, '__pdf_snapshots__', 'doc.test.js');
  const greeting = path.join(folder, 'greeting 1.pdf');
  const cover = path.join(folder, 'cover.pdf');

  let r = jest(project, fx('hello.pdf'));
  assert.equal(r.status, 0, r.out);
  assert.match(r.out, /2 snapshots written/);
  assert.deepEqual(fs.readFileSync(greeting), fs.readFileSync(fx('hello.pdf')));
  assert.deepEqual(fs.readFileSync(cover), fs.readFileSync(fx('hello.pdf')));

  r = jest(project, fx('hello-copy.pdf'));
  assert.equal(r.status, 0, r.out);
  assert.match(r.out, /2 passed/);

  // A second page is outside the pages the cover compares.
  r = jest(project, fx('hello-2pages.pdf'));
  assert.equal(r.status, 1, r.out);
  assert.match(r.out, /1 failed, 1 passed/);
  assert.match(r.out, /page 2: page added/);

  r = jest(project, fx('goodbye.pdf'));
  assert.equal(r.status, 1, r.out);
  assert.match(r.out, /differs from the PDF snapshot .*greeting 1\.pdf: 1 difference on 1 of 1 page/);
  assert.match(r.out, /\[-Hello-\]\{\+Goodbye\+\} World/);
  const report = path.join(folder, '__diff_output__', 'greeting 1.diff.pdf');
  assert.ok(r.out.includes(`side-by-side report: ${report}`), r.out);
  assert.ok(fs.existsSync(report));
  if (process.env.MORVEX_TEST_CLI) assert.ok(r.out.includes(`review page: ${report.replace(/pdf$/, 'html')}`), r.out);

  r = jest(project, fx('goodbye.pdf'), '-u');
  assert.equal(r.status, 0, r.out);
  assert.match(r.out, /2 snapshots updated/);
  assert.deepEqual(fs.readFileSync(greeting), fs.readFileSync(fx('goodbye.pdf')));
  assert.equal(fs.existsSync(report), false);

  fs.rmSync(cover);
  r = jest(project, fx('goodbye.pdf'), '--ci');
  assert.equal(r.status, 1, r.out);
  assert.match(r.out, /cover\.pdf does not exist, and this run writes none/);
  assert.equal(fs.existsSync(cover), false);
});
