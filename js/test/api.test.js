'use strict';
// The package's functions on the fixture pairs, through the library named
// by MORVEX_LIBRARY.

const assert = require('node:assert/strict');
const { execFileSync, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { pathToFileURL } = require('node:url');
const test = require('node:test');

const morvex = require('..');
const { fx, scratch, SAME_1, TEXT_CHANGED } = require('./helpers');

test('each report kind on identical, changed, longer and escaped pairs', async () => {
  const cases = [
    ['compare', 'hello.pdf', 'hello-copy.pdf', SAME_1],
    ['compare', 'hello.pdf', 'goodbye.pdf', TEXT_CHANGED],
    ['compare', 'hello.pdf', 'hello-2pages.pdf',
      { identical: false, pages_compared: 2, differences: [{ page: 2, type: 'page_added' }] }],
    ['compare', 'hello-2pages.pdf', 'hello.pdf',
      { identical: false, pages_compared: 2, differences: [{ page: 2, type: 'page_removed' }] }],
    ['compare', 'image-left.pdf', 'image-right.pdf',
      { identical: false, pages_compared: 1,
        differences: [{ page: 1, type: 'image_changed' }, { page: 1, type: 'content_changed' }] }],
    ['compare', 'no-pages.pdf', 'not-a-pdf.pdf', { identical: true, pages_compared: 0, differences: [] }],
    ['text', 'image-left.pdf', 'image-right.pdf', SAME_1],
    ['text', 'hello.pdf', 'goodbye.pdf',
      { identical: false, pages_compared: 1,
        differences: [{ page: 1, type: 'text_changed', diff: '- Hello World \n+ Goodbye World ' }] }],
    ['text', 'escapes-a.pdf', 'escapes-b.pdf',
      { identical: false, pages_compared: 1,
        differences: [{ page: 1, type: 'text_changed',
          diff: '- say "hi" \\ tab here \nnext \x01\x1b caf\u00e9 \n+ say "bye" \\ tab here \nnext \x01\x1b caf\u00e9 ' }] }],
  ];
  for (const [fn, a, b, expected] of cases) {
    assert.deepEqual(await morvex[fn](fx(a), fx(b)), expected, `${fn} ${a} ${b}`);
  }
});

test('the detail report carries rectangles, word changes and page pairs', async () => {
  const report = await morvex.detail(fx('hello.pdf'), fx('goodbye.pdf'));
  assert.equal(report.identical, false);
  assert.deepEqual(report.pairs, [{ page_a: 1, page_b: 1 }]);
  const [d] = report.differences;
  assert.equal(d.type, 'text_changed');
  assert.deepEqual(d.size_a, { width: 612, height: 792, rotation: 0 });
  assert.equal(d.changes.length, 1);
  assert.deepEqual([d.changes[0].op, d.changes[0].old, d.changes[0].new, d.changes[0].after],
    ['replace', 'Hello', 'Goodbye', 'World']);
  assert.equal(d.changes[0].rects_b[0].length, 4);
});

test('options reach the library under their own names', async () => {
  // Only the added page takes part: nothing differs.
  assert.deepEqual(await morvex.compare(fx('hello.pdf'), fx('hello-2pages.pdf'), { pages_b: '1' }),
    { identical: true, pages_compared: 1, differences: [] });
  const ignored = await morvex.compare(fx('hello.pdf'), fx('goodbye.pdf'), { ignore_text: ['Hello|Goodbye'] });
  assert.equal(ignored.identical, true);
  const content = await morvex.compare(fx('hello.pdf'), fx('hello-2pages.pdf'), { pairing: 'content' });
  assert.deepEqual(content.differences, [{ page: 2, type: 'page_added', page_a: null, page_b: 2 }]);
  // Undefined and null count as not given: the plain function's result.
  assert.deepEqual(await morvex.compare(fx('hello.pdf'), fx('goodbye.pdf'), { pairing: undefined, threads: null }),
    TEXT_CHANGED);
  assert.deepEqual(await morvex.text(fx('hello.pdf'), fx('goodbye.pdf'), { pairing: 'position' }),
    await morvex.text(fx('hello.pdf'), fx('goodbye.pdf')));
});

test('failed calls reject with the library message', async (t) => {
  const dir = scratch(t);
  const empty = path.join(dir, 'empty.pdf');
  fs.writeFileSync(empty, '');
  const out = path.join(dir, 'out.pdf');
  const cases = [
    [fx('missing.pdf'), `cannot open file: ${fx('missing.pdf')}`],
    [fx('encrypted.pdf'), `encrypted PDFs are not supported: ${fx('encrypted.pdf')}`],
    [empty, `empty file: ${empty}`],
  ];
  for (const [file, message] of cases) {
    for (const call of [
      () => morvex.compare(fx('hello.pdf'), file),
      () => morvex.text(file, fx('hello.pdf')),
      () => morvex.detail(file, fx('hello.pdf')),
      () => morvex.visual(fx('hello.pdf'), file, out),
    ]) {
      await assert.rejects(call(), (e) => e instanceof morvex.MorvexError && e instanceof Error &&
        !(e instanceof morvex.OptionsError) && e.name === 'MorvexError' && e.message === message);
    }
  }
  assert.equal(fs.existsSync(out), false);
  const noDir = path.join(dir, 'no-such-dir', 'out.pdf');
  await assert.rejects(morvex.visual(fx('hello.pdf'), fx('goodbye.pdf'), noDir),
    { name: 'MorvexError', message: `cannot open output file ${noDir}: No such file or directory` });
  await assert.rejects(morvex.visual(fx('no-pages.pdf'), fx('no-pages.pdf'), out),
    { name: 'MorvexError', message: 'no pages to compare' });
  // The next call succeeds: no error text lingers.
  assert.deepEqual(await morvex.compare(fx('hello.pdf'), fx('hello-copy.pdf')), SAME_1);
});

test('options the library refuses reject with OptionsError before any file is read', async () => {
  const cases = [
    [{ pairng: 'content' }, 'options: unknown key "pairng"'],
    [{ pairing: 'pages' }, 'options: "pairing" must be "position" or "content"'],
    [{ threads: 999 }, 'options: "threads" must be an integer from 1 to 256, or 0 for the default'],
  ];
  for (const [options, message] of cases) {
    for (const call of [
      () => morvex.compare(fx('missing.pdf'), fx('missing.pdf'), options),
      () => morvex.visual(fx('missing.pdf'), fx('missing.pdf'), '/nonexistent/out.pdf', options),
    ]) {
      await assert.rejects(call(), (e) => e instanceof morvex.OptionsError && e instanceof morvex.MorvexError &&
        e.name === 'OptionsError' && e.message === message);
    }
  }
});

test('arguments JavaScript cannot pass on are TypeErrors, thrown as rejections', async (t) => {
  const out = path.join(scratch(t), 'out.pdf');
  const cases = [
    () => morvex.compare(42, fx('hello.pdf')),
    () => morvex.compare(fx('hello.pdf'), null),
    () => morvex.compare(`${fx('hello.pdf')}\0x`, fx('hello.pdf')),
    () => morvex.compare(new URL('https://example.invalid/a.pdf'), fx('hello.pdf')),
    () => morvex.visual(fx('hello.pdf'), fx('hello.pdf'), undefined),
    () => morvex.compare(fx('hello.pdf'), fx('hello.pdf'), { report: 'detail' }),
    () => morvex.compare(fx('hello.pdf'), fx('hello.pdf'), 'pairing=content'),
    () => morvex.compare(fx('hello.pdf'), fx('hello.pdf'), { threads: Infinity }),
    () => morvex.compare(fx('hello.pdf'), fx('hello.pdf'), { pairing: () => 'content' }),
  ];
  for (const call of cases) {
    let promise;
    assert.doesNotThrow(() => { promise = call(); });
    await assert.rejects(promise, TypeError);
  }
  assert.equal(fs.existsSync(out), false);
});

test('paths may be file: URLs and non-ASCII names', async (t) => {
  const dir = scratch(t);
  const accented = path.join(dir, 'h\u00e9llo \u4e16\u754c.pdf');
  fs.copyFileSync(fx('hello.pdf'), accented);
  assert.deepEqual(await morvex.compare(pathToFileURL(accented), fx('hello-copy.pdf')), SAME_1);
  await assert.rejects(morvex.compare(fx('hello.pdf'), path.join(dir, 'n\u00f6.pdf')),
    { message: `cannot open file: ${path.join(dir, 'n\u00f6.pdf')}` });
});

test('visual writes a PDF whether or not the files differ, and a failure keeps the old file', async (t) => {
  const dir = scratch(t);
  const out = path.join(dir, 'report.pdf');
  for (const layout of [undefined, 'side_by_side']) {
    fs.rmSync(out, { force: true });
    assert.equal(await morvex.visual(fx('hello.pdf'), fx('hello-2pages.pdf'), out, { layout }), undefined);
    const data = fs.readFileSync(out);
    assert.equal(data.subarray(0, 5).toString(), '%PDF-');
    assert.match(data.subarray(-8).toString(), /%%EOF\s*$/);
  }
  await morvex.visual(fx('hello.pdf'), fx('hello-copy.pdf'), out);
  const before = fs.readFileSync(out);
  await assert.rejects(morvex.visual(fx('hello.pdf'), fx('missing.pdf'), out));
  assert.deepEqual(fs.readFileSync(out), before);
  assert.deepEqual(fs.readdirSync(dir), ['report.pdf']);
});

test('calls made at once each get their own report', async () => {
  // The library has one JSON buffer: without the queue, the reports would
  // overwrite each other, or a failure would read another call's error.
  const pairs = [];
  for (let i = 0; i < 40; i++) {
    pairs.push(i % 4 === 0 ? ['compare', 'hello.pdf', 'goodbye.pdf', TEXT_CHANGED]
      : i % 4 === 1 ? ['compare', 'hello.pdf', 'hello-copy.pdf', SAME_1]
        : i % 4 === 2 ? ['text', 'hello.pdf', 'missing.pdf', null]
          : ['detail', 'hello.pdf', 'hello-2pages.pdf', null]);
  }
  const settled = await Promise.allSettled(pairs.map(([fn, a, b]) => morvex[fn](fx(a), fx(b))));
  settled.forEach((s, i) => {
    const [fn, , b, expected] = pairs[i];
    if (b === 'missing.pdf') {
      assert.equal(s.status, 'rejected');
      assert.equal(s.reason.message, `cannot open file: ${fx('missing.pdf')}`);
    } else if (fn === 'detail') {
      assert.equal(s.value.differences[0].type, 'page_added');
    } else {
      assert.deepEqual(s.value, expected);
    }
  });
});

test('the event loop runs while a comparison does', async () => {
  let ticks = 0;
  const timer = setInterval(() => { ticks++; }, 1);
  const pairs = Array.from({ length: 30 }, () => morvex.detail(fx('hello.pdf'), fx('hello-2pages.pdf')));
  await Promise.all(pairs);
  clearInterval(timer);
  // Synchronous calls would have held the loop for all of them at once.
  assert.ok(ticks > 0);
});

function runNode(code, env) {
  return spawnSync(process.execPath, ['-e', code], {
    cwd: path.join(__dirname, '..'), env: { ...process.env, ...env }, encoding: 'utf8',
  });
}

test('the library is the one MORVEX_LIBRARY names, or a clear error', (t) => {
  const missing = path.join(scratch(t), 'libnone.so');
  const r = runNode("require('.').compare('a', 'b').catch((e) => { console.log(e.message); process.exit(3); })",
    { MORVEX_LIBRARY: missing });
  assert.equal(r.status, 3, r.stderr);
  assert.match(r.stdout, new RegExp(`^cannot load the morvex library named by MORVEX_LIBRARY: ${missing}: `));
  const ok = runNode("const m = require('.'); m.compare('x', 'y').catch(() => console.log(m.libraryPath))", {});
  assert.equal(ok.stdout.trim(), process.env.MORVEX_LIBRARY);
});

test('the package without MORVEX_LIBRARY uses its own copy in native/', (t) => {
  // A copy of the package with the library bundled as `npm run bundle` does.
  const dir = scratch(t);
  const pkg = path.join(dir, 'pkg');
  fs.cpSync(path.join(__dirname, '..', 'lib'), path.join(pkg, 'lib'), { recursive: true });
  fs.copyFileSync(path.join(__dirname, '..', 'package.json'), path.join(pkg, 'package.json'));
  fs.symlinkSync(path.join(__dirname, '..', 'node_modules'), path.join(pkg, 'node_modules'));
  execFileSync(process.execPath, [path.join(pkg, 'lib', 'bundle.js'), process.env.MORVEX_LIBRARY]);
  const env = { ...process.env };
  delete env.MORVEX_LIBRARY;
  const r = spawnSync(process.execPath, ['-e',
    "const m = require('.'); m.compare(process.argv[1], process.argv[1]).then((r) => console.log(m.libraryPath, r.identical))",
    fx('hello.pdf')], { cwd: pkg, env, encoding: 'utf8' });
  assert.equal(r.stdout.trim(), `${path.join(pkg, 'native', 'libmorvex.so.1')} true`, r.stderr);
});
