'use strict';
// What the tests share: the fixture files tests/tools/make_fixtures.cpp
// wrote (MORVEX_FIXTURES) and scratch folders (under MORVEX_TEST_TMP).

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const FIXTURES = process.env.MORVEX_FIXTURES || '';
if (!FIXTURES || !fs.existsSync(path.join(FIXTURES, 'hello.pdf'))) {
  throw new Error('MORVEX_FIXTURES must name the folder of the fixture PDF files (ctest sets it)');
}

function fx(name) {
  return path.join(FIXTURES, name);
}

function scratch(t) {
  const base = process.env.MORVEX_TEST_TMP || os.tmpdir();
  fs.mkdirSync(base, { recursive: true });
  const dir = fs.mkdtempSync(path.join(base, 'js-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

const SAME_1 = { identical: true, pages_compared: 1, differences: [] };
const TEXT_CHANGED = { identical: false, pages_compared: 1, differences: [{ page: 1, type: 'text_changed' }] };

module.exports = { fx, scratch, SAME_1, TEXT_CHANGED, FIXTURES };
