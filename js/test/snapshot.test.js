'use strict';
// PDF snapshots with the plain function, as a runner other than Jest uses
// them: store, pass, fail with the changed words and a report, update.

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const test = require('node:test');

const morvex = require('..');
const { commandArgs } = require('../lib/review');
const { changedWords } = require('../lib/snapshot');
const { safeName, snapshotFileFor } = require('../lib/jest-matcher');
const { fx, scratch } = require('./helpers');

// Runs with the morvex command found (cli) or not: the review page is the
// command's.
function withCommand(t, cli) {
  const saved = { MORVEX_CLI: process.env.MORVEX_CLI, PATH: process.env.PATH };
  if (cli) process.env.MORVEX_CLI = cli; else delete process.env.MORVEX_CLI;
  process.env.PATH = '/nonexistent';
  t.after(() => {
    for (const [k, v] of Object.entries(saved)) {
      if (v === undefined) delete process.env[k]; else process.env[k] = v;
    }
  });
}

test('a snapshot is stored, matched, failed with the changed words, and updated', async (t) => {
  withCommand(t, null);
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
  withCommand(t, null);
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

test('with the morvex command, a failure writes its review page beside the report', { skip: !process.env.MORVEX_TEST_CLI && 'MORVEX_TEST_CLI names no morvex command' }, async (t) => {
  withCommand(t, process.env.MORVEX_TEST_CLI);
  const dir = scratch(t);
  const snap = path.join(dir, 'greeting.pdf');
  await morvex.matchPdfSnapshot(fx('hello.pdf'), snap);
  const r = await morvex.matchPdfSnapshot(fx('goodbye.pdf'), snap);
  const html = path.join(dir, '__diff_output__', 'greeting.diff.html');
  assert.deepEqual([r.status, r.reviewFile, r.reportFile], ['different', html, path.join(dir, '__diff_output__', 'greeting.diff.pdf')]);
  assert.ok(r.message.includes(`\nreview page: ${html}\nside-by-side report: ${r.reportFile}\n`), r.message);
  const page = fs.readFileSync(html, 'utf8');
  assert.match(page, /^<!DOCTYPE html>/);
  assert.match(page, /<del>Hello<\/del> <ins>Goodbye<\/ins>/);
  assert.equal(fs.readFileSync(r.reportFile).subarray(0, 5).toString(), '%PDF-');
  // A region of one side has no flag: the report alone, from the library.
  const one = await morvex.matchPdfSnapshot(fx('goodbye.pdf'), snap, { options: { ignore_regions: [{ rect: [0, 0, 1, 1], side: 'a' }] } });
  assert.deepEqual([one.status, one.reviewFile], ['different', null]);
  assert.equal(fs.existsSync(html), false);
  assert.ok(fs.existsSync(one.reportFile));
  await morvex.matchPdfSnapshot(fx('hello-copy.pdf'), snap);
  assert.deepEqual(fs.readdirSync(path.join(dir, '__diff_output__')), []);
});

test('options become the command\'s flags, or none when one has no flag', () => {
  const cases = [
    [{}, ['--layout=side-by-side', '--pairing=position']],
    [{ pairing: 'content', pages_b: '2-', threads: 0, layout: 'overlay', changed_only: true, ignore_kinds: [] },
      ['--layout=side-by-side', '--changed-only', '--pairing=content', '--pages', '1-:2-']],
    [{ ignore_regions: [{ rect: [1, 2.5, 3, 4], pages: '1-3', side: 'both' }, { rect: [0, 0, 9, 9] }],
      ignore_text: ['a|b'], ignore_kinds: ['style', 'drawing'], document: [], threads: 2 },
    ['--layout=side-by-side', '--ignore-rect', '1,2.5,3,4@1-3', '--ignore-rect', '0,0,9,9', '--ignore-text', 'a|b',
      '--ignore-kinds', 'style,drawing', '--document=none', '--threads', '2', '--pairing=position']],
    [{ document: ['links', 'outline'], pages_a: '1' }, ['--layout=side-by-side', '--document=links,outline', '--pairing=position', '--pages', '1:1-']],
  ];
  for (const [options, args] of cases) assert.deepEqual(commandArgs(options).args, args, JSON.stringify(options));
  const pw = commandArgs({ password: 's3cret', password_b: 'b' });
  assert.deepEqual(pw.args.filter((a) => a.startsWith('--password')), ['--password-env', '--password-b-env']);
  assert.deepEqual(pw.env, { MORVEX_REVIEW_PASSWORD: 's3cret', MORVEX_REVIEW_PASSWORD_B: 'b' });
  assert.ok(!pw.args.includes('s3cret'));
  assert.equal(commandArgs({ ignore_regions: [{ rect: [0, 0, 1, 1], side: 'b' }] }), null);
  assert.equal(commandArgs({ future_option: 1 }), null);
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
