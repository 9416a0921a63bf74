'use strict';
// compareMany(): many pairs of PDF files in parallel child processes.
//
// The library keeps process-wide state, so worker threads (which share the
// process) could only take turns: pairs run in parallel only in separate
// processes.  Pairs travel in chunks, so the cost of a message stays small
// beside the comparisons; a chunk whose worker dies is run again one pair
// per task, so a pair that kills its worker fails alone and every other
// pair still gets its result.

const { fork } = require('node:child_process');
const os = require('node:os');
const path = require('node:path');

const MAX_CHUNK = 64;
// Tasks sent ahead to a worker: the next one waits in its pipe while the
// first runs, so a worker never idles while the parent reads a result.
const DEPTH = 2;

class BatchResults extends Array {
  static get [Symbol.species]() {
    return Array;
  }

  /** How many pairs are identical, different and failed. */
  counts() {
    const c = { identical: 0, different: 0, error: 0 };
    for (const r of this) c[r.status]++;
    return c;
  }

  /** "3 pairs compared: 1 identical, 1 different, 1 error" */
  summary() {
    const c = this.counts();
    return `${count(this.length, 'pair', 'pairs')} compared: ${c.identical} identical, ` +
      `${c.different} different, ${count(c.error, 'error', 'errors')}`;
  }
}

function count(n, one, many) {
  return `${n} ${n === 1 ? one : many}`;
}

function availableCores() {
  return typeof os.availableParallelism === 'function' ? os.availableParallelism() : os.cpus().length || 1;
}

function exitMessage(code, signal) {
  return signal ? `worker died (signal ${signal})` : `worker died (exit status ${code})`;
}

class Schedule {
  constructor(pairs, chunk, retries) {
    this.pairs = pairs;
    this.results = new Array(pairs.length).fill(null);
    this.failures = new Array(pairs.length).fill(0);
    this.retries = retries;
    this.todo = [];
    for (let i = 0; i < pairs.length; i += chunk) {
      const task = [];
      for (let j = i; j < Math.min(i + chunk, pairs.length); j++) task.push(j);
      this.todo.push(task);
    }
  }

  set(index, status, report, error) {
    const [a, b] = this.pairs[index];
    this.results[index] = { a, b, status, report, error };
  }

  complete(task, outcomes) {
    if (!Array.isArray(outcomes) || outcomes.length !== task.length) {
      this.fail(task, 'worker gave no result');
      return;
    }
    task.forEach((index, k) => {
      const [kind, payload] = outcomes[k];
      if (kind === 'ok') {
        const report = JSON.parse(payload);
        this.set(index, report.identical ? 'identical' : 'different', report, null);
      } else {
        this.set(index, 'error', null, payload);
      }
    });
  }

  // A task whose worker died: which of its pairs caused it is unknown, so
  // each runs again alone, ahead of the rest; a pair that failed alone
  // more than `retries` times gets an error result.
  fail(task, message) {
    const again = [];
    for (const index of task) {
      if (task.length === 1) this.failures[index]++;
      if (this.failures[index] > this.retries) this.set(index, 'error', null, message);
      else again.push([index]);
    }
    this.todo.unshift(...again);
  }
}

function startWorker() {
  const child = fork(path.join(__dirname, 'batch-worker.js'), [], {
    stdio: ['ignore', 'inherit', 'inherit', 'ipc'],
    serialization: 'json',
  });
  return { child, tasks: [], dead: false };
}

function runLocal(s, report, options, width) {
  return new Promise((resolve) => {
    const pool = [];
    const feed = (w) => {
      while (!w.dead && s.todo.length && w.tasks.length < DEPTH) {
        const task = s.todo.shift();
        w.tasks.push(task);
        try {
          w.child.send({ report, options, pairs: task.map((i) => s.pairs[i]) });
        } catch (_) {
          // It died: its exit puts the task back.
          break;
        }
      }
    };
    const finishIfDone = () => {
      if (s.todo.length === 0 && pool.every((w) => w.tasks.length === 0)) {
        for (const w of pool) {
          if (!w.dead) w.child.disconnect();
        }
        resolve();
        return true;
      }
      return false;
    };
    const spawn = () => {
      const w = startWorker();
      pool.push(w);
      w.child.on('message', (outcomes) => {
        const task = w.tasks.shift();
        if (task) s.complete(task, outcomes);
        feed(w);
        if (!finishIfDone()) pool.forEach(feed);
      });
      w.child.on('error', () => {});
      w.child.on('exit', (code, signal) => {
        w.dead = true;
        pool.splice(pool.indexOf(w), 1);
        if (w.tasks.length) {
          // Its first task was running; the others had not started.
          s.todo.unshift(...w.tasks.slice(1));
          s.fail(w.tasks[0], exitMessage(code, signal));
          w.tasks = [];
        }
        if (finishIfDone()) return;
        if (pool.length < width) spawn();
        pool.forEach(feed);
      });
      feed(w);
    };
    const n = Math.min(width, s.todo.length);
    if (n === 0) return resolve();
    for (let i = 0; i < n; i++) spawn();
  });
}

/**
 * Compares many pairs in parallel worker processes; one result per pair,
 * in the order of the pairs: {a, b, status, report, error}, with status
 * "identical", "different" or "error".
 */
async function compareMany(pairs, settings = {}) {
  const morvex = require('./index');
  const { checkPath, checkOptions, optionsJson } = morvex._internal;
  if (settings === null || typeof settings !== 'object') throw new TypeError('the settings of compareMany must be an object');
  const report = settings.report === undefined ? 'compare' : settings.report;
  if (!morvex.REPORTS.includes(report)) {
    throw new TypeError(`report must be one of ${morvex.REPORTS.join(', ')}, not ${String(report)}`);
  }
  const retries = settings.retries === undefined ? 1 : settings.retries;
  if (!Number.isInteger(retries) || retries < 0) throw new RangeError('retries must be an integer, 0 or more');
  const width = settings.concurrency === undefined ? availableCores() : settings.concurrency;
  if (!Number.isInteger(width) || width < 1) throw new RangeError('concurrency must be an integer, 1 or more');
  if (pairs === null || typeof pairs !== 'object' || typeof pairs[Symbol.iterator] !== 'function') {
    throw new TypeError('pairs must be an iterable of [a, b] path pairs');
  }
  const items = [];
  for (const pair of pairs) {
    if (!Array.isArray(pair) || pair.length !== 2) {
      throw new TypeError(`each pair must be an array [a, b] of two paths, not ${JSON.stringify(pair)}`);
    }
    items.push([checkPath(pair[0], 'a'), checkPath(pair[1], 'b')]);
  }
  const options = optionsJson(report, settings.options);
  await checkOptions(report, settings.options);
  const chunk = settings.chunkSize !== undefined ? settings.chunkSize
    : Math.max(1, Math.min(MAX_CHUNK, Math.ceil(items.length / (4 * width))));
  if (!Number.isInteger(chunk) || chunk < 1) throw new RangeError('chunkSize must be an integer, 1 or more');

  const s = new Schedule(items, chunk, retries);
  await runLocal(s, report, options, width);
  const results = new BatchResults();
  for (const r of s.results) results.push(r);
  return results;
}

module.exports = { compareMany, BatchResults };
