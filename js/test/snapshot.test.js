'use strict';
// PDF snapshots with the plain function, as a runner other than Jest uses
// them: store, pass, fail with the changed words and a report, update.

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const test = require('node:test');

const morvex = require('..');
const { changedWords } = require('../lib/snapshot');
const { safeName, snapshotFileFor } = require('../lib/jest-matcher');
const { fx, scratch } = require('./helpers');

test('a snapshot is stored, matched, failed with the changed words, and updated', async (t) => {
  const dir = scratch(t);
  const snap = path.join(dir, '__pdf_snapshots__', 'greeting.pdf');
  const report = path.join(dir, '__pdf_snapshots__', '__diff_output__', 'greeting.diff.pdf');

  let r = await morvex.matchPdfSnapshot(fx('hello.pdf'), snap);
  assert.deepEqual([r.pass, r.status], [true, 'stored']);
  assert.deepEqual(fs.readFileSync(snap), fs.readFileSync(fx('hello.pdf')));

  r = await morvex.matchPdfSnapshot(fx('hello-copy.pdf'), snap);
  assert.deepEqual([r.pass, r.status, r.reportFile], [true, 'matched', null]);

  r = await morvex.matchPdfSnapshot(fx('goodbye.pdf'), snap);
  assert.deepEqual([r.pass, r.status, r.reportFile], [false, 'different', report]);
  assert.equal(r.message,
    `${fx('goodbye.pdf')} differs from the PDF snapshot ${snap}: 1 difference on 1 of 1 page\n` +
    'page 1: text changed\n' +
    '    [-Hello-]{+Goodbye+} World ...\n' +
    `side-by-side report: ${report}\n` +
    '(run jest with -u to store the new file as the snapshot)');
  // The snapshot is left as it was; the report shows A's and B's page.
  assert.deepEqual(fs.readFileSync(snap), fs.readFileSync(fx('hello.pdf')));
  assert.equal(fs.readFileSync(report).subarray(0, 5).toString(), '%PDF-');

  // A pass removes the report of the earlier failure.
  r = await morvex.matchPdfSnapshot(fx('hello.pdf'), snap);
  assert.equal(r.status, 'matched');
  assert.equal(fs.existsSync(report), false);

  r = await morvex.matchPdfSnapshot(fx('goodbye.pdf'), snap, { update: 'all' });
  assert.deepEqual([r.pass, r.status], [true, 'updated']);
  assert.deepEqual(fs.readFileSync(snap), fs.readFileSync(fx('goodbye.pdf')));
  assert.deepEqual(fs.readdirSync(path.dirname(snap)).filter((n) => n.endsWith('.tmp')), []);
});

test('a missing snapshot fails when stores are off; options and bytes are taken', async (t) => {
  const dir = scratch(t);
  const snap = path.join(dir, 'two.pdf');
  let r = await morvex.matchPdfSnapshot(fx('hello-2pages.pdf'), snap, { update: 'none' });
  assert.deepEqual([r.pass, r.status], [false, 'missing']);
  assert.equal(fs.existsSync(snap), false);

  // Bytes made in memory are stored as they are.
  const bytes = new Uint8Array(fs.readFileSync(fx('hello-2pages.pdf')));
  r = await morvex.matchPdfSnapshot(bytes, snap);
  assert.equal(r.status, 'stored');
  r = await morvex.matchPdfSnapshot(fs.readFileSync(fx('hello.pdf')), snap);
  assert.equal(r.status, 'different');
  assert.match(r.message, /^the PDF differs from the PDF snapshot .*\npage 2: page removed\n/);
  // The options of compare() apply: only page 1 of the snapshot takes part.
  r = await morvex.matchPdfSnapshot(fx('hello.pdf'), snap, { options: { pages_a: '1' } });
  assert.equal(r.status, 'matched');
  await assert.rejects(morvex.matchPdfSnapshot(fx('hello.pdf'), snap, { options: { pairng: 'content' } }),
    morvex.OptionsError);
  await assert.rejects(morvex.matchPdfSnapshot(path.join(dir, 'none.pdf'), snap), /no such PDF file/);
  await assert.rejects(morvex.matchPdfSnapshot(42, snap), TypeError);
  await assert.rejects(morvex.matchPdfSnapshot(fx('hello.pdf'), snap, { update: 'sometimes' }), TypeError);
});

test('changed words read as the command prints them, escapes visible, long lists cut', () => {
  const report = {
    identical: false,
    pages_compared: 3,
    differences: [
      { page: 2, page_a: 3, page_b: 2, type: 'text_changed',
        changes: [{ op: 'replace', old: 'a\x1b[2J', new: 'b', before: 'x y', after: 'z' },
          { op: 'insert', old: '', new: 'new words', before: '', after: '' }] },
      { page: 3, type: 'page_added' },
      { page: 1, type: 'future_kind' },
    ],
    document: [{ type: 'metadata_changed', key: 'Title', old: 'A', new: 'B' }],
  };
  assert.equal(changedWords(report),
    'page 2 (page 3 in A): text changed\n' +
    '    ... x y [-a\\x1b[2J-]{+b+} z ...\n' +
    '    {+new words+}\n' +
    'page 3: page added\n' +
    'page 1: future kind\n' +
    'document: metadata changed (Title)');
  assert.equal(changedWords(report, 1).split('\n').slice(-2).join('\n'),
    '... 2 more differences\ndocument: metadata changed (Title)');
});

test('Jest snapshot files are named by test file, test name and count', () => {
  const testPath = path.join('/p', 'tests', 'report.test.js');
  const folder = path.join('/p', 'tests', '__pdf_snapshots__', 'report.test.js');
  assert.equal(snapshotFileFor(testPath, 'invoice / total: "x"', undefined), path.join(folder, 'invoice _ total_ _x_ 1.pdf'));
  assert.equal(snapshotFileFor(testPath, 'invoice / total: "x"', undefined), path.join(folder, 'invoice _ total_ _x_ 2.pdf'));
  assert.equal(snapshotFileFor(testPath, 'other', undefined), path.join(folder, 'other 1.pdf'));
  assert.equal(snapshotFileFor(testPath, 'other', 'cover'), path.join(folder, 'cover.pdf'));
  assert.equal(snapshotFileFor(testPath, 'other', 'cover.PDF'), path.join(folder, 'cover.PDF'));
  for (const bad of ['', '..', 'a/b', 'a\\b', 7]) {
    assert.throws(() => snapshotFileFor(testPath, 'other', bad), TypeError);
  }
  assert.equal(safeName('..'), '_');
  assert.equal(safeName('a\nb'), 'a_b');
  assert.equal(safeName('x'.repeat(300)).length, 200);
});
