'use strict';
// compareMany(): results in the order of the pairs, each failure kept to
// its pair, a worker that dies costing only the pair it ran.

const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const test = require('node:test');

const morvex = require('..');
const { fx, scratch, SAME_1, TEXT_CHANGED } = require('./helpers');

test('results come in the order of the pairs, whatever the chunks and workers', async () => {
  const kinds = [
    [['hello.pdf', 'goodbye.pdf'], 'different'],
    [['hello.pdf', 'hello-copy.pdf'], 'identical'],
    [['missing.pdf', 'hello.pdf'], 'error'],
    [['hello.pdf', 'hello-2pages.pdf'], 'different'],
    [['encrypted.pdf', 'hello.pdf'], 'error'],
  ];
  const pairs = [];
  const expected = [];
  for (let i = 0; i < 23; i++) {
    const [[a, b], status] = kinds[(i * 3) % kinds.length];
    pairs.push([fx(a), fx(b)]);
    expected.push(status);
  }
  for (const settings of [{ concurrency: 1 }, { concurrency: 3, chunkSize: 1 }, { concurrency: 2, chunkSize: 4 }]) {
    const results = await morvex.compareMany(pairs, settings);
    assert.ok(results instanceof morvex.BatchResults);
    assert.deepEqual(results.map((r) => r.status), expected, JSON.stringify(settings));
    results.forEach((r, i) => {
      assert.deepEqual([r.a, r.b], pairs[i]);
      if (r.status === 'error') {
        assert.equal(r.report, null);
        assert.equal(r.error, pairs[i][0].endsWith('missing.pdf')
          ? `cannot open file: ${pairs[i][0]}` : `encrypted PDFs are not supported: ${pairs[i][0]}`);
      } else {
        assert.equal(r.error, null);
        assert.equal(r.report.identical, r.status === 'identical');
      }
    });
    const tally = (status) => expected.filter((e) => e === status).length;
    assert.deepEqual(results.counts(), { identical: tally('identical'), different: tally('different'), error: tally('error') });
    assert.equal(results.summary(),
      `23 pairs compared: ${tally('identical')} identical, ${tally('different')} different, ${tally('error')} errors`);
  }
});

test('the report kind and options apply to every pair', async () => {
  const pairs = [[fx('hello.pdf'), fx('goodbye.pdf')], [fx('hello.pdf'), fx('hello-copy.pdf')]];
  const text = await morvex.compareMany(pairs, { report: 'text', concurrency: 2 });
  assert.deepEqual(text.map((r) => r.report), [await morvex.text(...pairs[0]), SAME_1]);
  const ignored = await morvex.compareMany(pairs, { options: { ignore_text: ['Hello|Goodbye'] } });
  assert.deepEqual(ignored.map((r) => r.status), ['identical', 'identical']);
  const detail = await morvex.compareMany(pairs.slice(0, 1), { report: 'detail' });
  assert.deepEqual(detail[0].report, await morvex.detail(...pairs[0]));
  assert.deepEqual((await morvex.compareMany([])).length, 0);
  assert.equal((await morvex.compareMany(pairs.slice(0, 1)))[0].report.differences[0].type,
    TEXT_CHANGED.differences[0].type);
});

test('bad settings reject before any pair runs', async () => {
  const pair = [[fx('hello.pdf'), fx('goodbye.pdf')]];
  const cases = [
    [pair, { report: 'summary' }, TypeError],
    [pair, { concurrency: 0 }, RangeError],
    [pair, { chunkSize: 1.5 }, RangeError],
    [pair, { retries: -1 }, RangeError],
    [[fx('hello.pdf')], {}, TypeError],
    [[[fx('hello.pdf'), 7]], {}, TypeError],
    ['a.pdf', {}, TypeError],
    [pair, { options: { report: 'text' } }, TypeError],
    [pair, { options: { pairng: 'content' } }, morvex.OptionsError],
  ];
  for (const [pairs, settings, kind] of cases) {
    await assert.rejects(morvex.compareMany(pairs, settings), kind, JSON.stringify(settings));
  }
});

// The worker of this process that waits in opening a FIFO (a thread of it:
// the library runs on a thread of koffi's), or 0.
function workerInFifoOpen() {
  for (const pid of fs.readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const ppid = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (ppid !== process.pid) continue;
      for (const tid of fs.readdirSync(`/proc/${pid}/task`)) {
        if (fs.readFileSync(`/proc/${pid}/task/${tid}/wchan`, 'utf8') === 'wait_for_partner') return Number(pid);
      }
    } catch (_) {
      // a process that ended meanwhile
    }
  }
  return 0;
}

test('a worker that dies costs only the pair it was running', async (t) => {
  // Opening a FIFO waits for a writer: the worker that reads it stays in
  // that pair until it is killed.
  const fifo = path.join(scratch(t), 'stuck.pdf');
  execFileSync('mkfifo', [fifo]);
  const pairs = [
    [fx('hello.pdf'), fx('goodbye.pdf')],
    [fx('hello.pdf'), fifo],
    [fx('hello.pdf'), fx('hello-copy.pdf')],
    [fx('missing.pdf'), fx('hello.pdf')],
    [fx('hello.pdf'), fx('hello-2pages.pdf')],
  ];
  for (const retries of [0, 1]) {
    const killed = new Set();
    let waited = 0;
    const killer = setInterval(() => {
      const pid = workerInFifoOpen();
      if (pid && !killed.has(pid)) {
        process.kill(pid, 'SIGKILL');
        killed.add(pid);
      } else if (++waited === 500) {
        // Never seen waiting (a kernel that names the wait otherwise): a
        // writer lets the pair go on, and the assertions below fail.
        fs.closeSync(fs.openSync(fifo, fs.constants.O_WRONLY | fs.constants.O_NONBLOCK));
      }
    }, 20);
    const results = await morvex.compareMany(pairs, { concurrency: 2, chunkSize: 2, retries });
    clearInterval(killer);
    // Once in its chunk of two (both pairs then run again alone), then
    // alone as many times as it may fail.
    assert.equal(killed.size, retries + 2);
    assert.deepEqual(results.map((r) => r.status), ['different', 'error', 'identical', 'error', 'different']);
    assert.equal(results[1].error, 'worker died (signal SIGKILL)');
    assert.equal(results[3].error, `cannot open file: ${fx('missing.pdf')}`);
  }
});

test('a worker that cannot load the library fails each pair with the reason', (t) => {
  const { spawnSync } = require('node:child_process');
  const missing = path.join(scratch(t), 'libnone.so');
  const r = spawnSync(process.execPath, ['-e', `
    require('.').compareMany([[process.argv[1], process.argv[1]], [process.argv[1], process.argv[2]]], { concurrency: 2 })
      .then((rs) => console.log(JSON.stringify(rs.map((x) => [x.status, x.error]))))`, fx('hello.pdf'), fx('goodbye.pdf')],
  { cwd: path.join(__dirname, '..'), env: { ...process.env, MORVEX_LIBRARY: missing }, encoding: 'utf8' });
  assert.equal(r.status, 0, r.stderr);
  const results = JSON.parse(r.stdout);
  assert.equal(results.length, 2);
  for (const [status, error] of results) {
    assert.equal(status, 'error');
    assert.ok(error.startsWith(`cannot load the morvex library named by MORVEX_LIBRARY: ${missing}: `), error);
  }
});
