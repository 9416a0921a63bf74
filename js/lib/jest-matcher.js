'use strict';
// expect(pdf).toMatchPdfSnapshot(options, name): the Jest matcher.
//
// Snapshots are PDF files in __pdf_snapshots__/<test file>/ beside the test
// file, one per assertion: "<test name> <n>.pdf", n counting the
// assertions of a test as Jest counts its own snapshots.  Jest's
// snapshot state decides whether to store: -u ("all") stores every file,
// --ci ("none") stores none, and the default ("new") stores missing ones.

const path = require('node:path');
const { matchPdfSnapshot } = require('./snapshot');

// Assertions made so far per test, for the default names.
const counters = new Map();

// A test name as a file name: path separators, control characters and
// the characters file systems refuse become "_".
function safeName(name) {
  // eslint-disable-next-line no-control-regex
  const cleaned = String(name).replace(/[\x00-\x1f\x7f/\\:*?"<>|]+/g, '_').replace(/^[.\s]+|[.\s]+$/g, '');
  return (cleaned || '_').slice(0, 200);
}

function snapshotFileFor(testPath, testName, name) {
  const folder = path.join(path.dirname(testPath), '__pdf_snapshots__', path.basename(testPath));
  if (name !== undefined) {
    if (typeof name !== 'string' || name === '' || /[/\\\0]/.test(name) || name === '.' || name === '..') {
      throw new TypeError(`a snapshot name is a plain file name, not ${JSON.stringify(name)}`);
    }
    return path.join(folder, name.toLowerCase().endsWith('.pdf') ? name : `${name}.pdf`);
  }
  const key = `${testPath}\0${testName}`;
  const n = (counters.get(key) || 0) + 1;
  counters.set(key, n);
  return path.join(folder, `${safeName(testName)} ${n}.pdf`);
}

async function toMatchPdfSnapshot(received, options, name) {
  const state = this.snapshotState;
  if (!this.testPath || !state) {
    throw new Error('toMatchPdfSnapshot runs inside a Jest test; elsewhere use matchPdfSnapshot()');
  }
  const update = state._updateSnapshot || 'new';
  const snapshotFile = snapshotFileFor(this.testPath, this.currentTestName || 'snapshot', name);
  const result = await matchPdfSnapshot(received, snapshotFile, { update, options: options || {} });
  // Jest's summary counts these ("1 snapshot written").
  if (result.status === 'stored') state.added++;
  else if (result.status === 'updated') state.updated++;
  else if (result.status === 'matched') state.matched++;
  else state.unmatched++;
  const hint = this.utils && this.utils.matcherHint ? this.utils.matcherHint('toMatchPdfSnapshot', 'pdf', 'options') + '\n\n' : '';
  return { pass: result.pass, message: () => hint + result.message };
}

module.exports = { toMatchPdfSnapshot, snapshotFileFor, safeName };
