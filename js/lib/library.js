'use strict';
// The morvex shared library, loaded once per process through koffi, and the
// queue that keeps its rule of one call at a time.
//
// The library keeps one process-wide error text and JSON buffer without
// locks.  Every call therefore goes through `run`, which starts the next
// call only once the previous one has returned and its JSON text (or its
// error message) has been copied into a JavaScript string.  The calls
// themselves run on koffi's worker threads, so the event loop never waits
// for a comparison.

const fs = require('node:fs');
const path = require('node:path');

const PACKAGE_DIR = path.dirname(__dirname);

function loadKoffi() {
  // koffi runs asynchronous calls on stacks of its own, 128 KiB by
  // default: far less than the main thread's 8 MiB that the library's
  // parsers are written for (their recursion is capped, not shallow).
  const koffi = require('koffi');
  try {
    koffi.config({ ...koffi.config(), async_stack_size: 8 * 1024 * 1024 });
  } catch (_) {
    // Another module of this process made a koffi call first: koffi then
    // refuses new settings, and keeps its own.
  }
  return koffi;
}

// Candidate files in the order they are tried; `explicit` when the
// environment names the one file to use.
function candidates(env) {
  if (env.MORVEX_LIBRARY) return { explicit: true, list: [env.MORVEX_LIBRARY] };
  const list = [];
  const own = path.join(PACKAGE_DIR, 'native');
  let names = [];
  try {
    names = fs.readdirSync(own).filter((n) => /^libmorvex\.so/.test(n)).sort();
  } catch (_) {
    // no copy of its own: the system's library is used
  }
  for (const n of names) list.push(path.join(own, n));
  // The dynamic loader's own search: LD_LIBRARY_PATH, the ldconfig cache,
  // then the folders an install to /usr/local or /usr puts it in.
  list.push('libmorvex.so.1', '/usr/local/lib/libmorvex.so.1', '/usr/lib/libmorvex.so.1');
  return { explicit: false, list };
}

function declare(lib) {
  const f = {
    init: lib.func('int morvex_init(void)'),
    cleanup: lib.func('void morvex_cleanup(void)'),
    lastError: lib.func('const char *morvex_last_error(void)'),
    compare: lib.func('const char *morvex_compare(const char *a, const char *b)'),
    text: lib.func('const char *morvex_text(const char *a, const char *b)'),
    visual: lib.func('int morvex_visual(const char *a, const char *b, const char *out)'),
    compareOpts: null,
    visualOpts: null,
  };
  // The options functions came with version 1.1; an older library still
  // serves every call made without options.
  try {
    f.compareOpts = lib.func('const char *morvex_compare_opts(const char *a, const char *b, const char *options)');
    f.visualOpts = lib.func('int morvex_visual_opts(const char *a, const char *b, const char *out, const char *options)');
  } catch (_) {
    f.compareOpts = f.visualOpts = null;
  }
  return f;
}

function load(env = process.env) {
  const koffi = loadKoffi();
  const { explicit, list } = candidates(env);
  const tried = [];
  for (const file of list) {
    try {
      const lib = koffi.load(file);
      return { lib, file, functions: declare(lib) };
    } catch (e) {
      tried.push(`${file}: ${String(e.message || e).split('\n')[0]}`);
      if (explicit) {
        throw new Error(`cannot load the morvex library named by MORVEX_LIBRARY: ${tried[0]}`);
      }
    }
  }
  throw new Error(`cannot load the morvex library; tried:\n  ${tried.join('\n  ')}\n` +
    '(set MORVEX_LIBRARY to the file, or put libmorvex.so.1 where the dynamic loader finds it)');
}

let loaded = null;
let tail = Promise.resolve();
let running = 0;

function library() {
  if (loaded === null) {
    loaded = load();
    loaded.functions.init();
    process.once('exit', () => {
      // A call still running on a worker thread owns the library's
      // buffers; the process ends without freeing them then.
      if (running === 0) loaded.functions.cleanup();
    });
  }
  return loaded;
}

// Runs fn(functions, done) as the only library call in flight.  fn starts
// one asynchronous call and hands its outcome to done(err, value) from the
// call's callback, where the error text is still the call's own.
function run(fn) {
  const f = library().functions;
  const job = () => new Promise((resolve, reject) => {
    running++;
    let finished = false;
    const done = (err, value) => {
      if (finished) return;
      finished = true;
      running--;
      if (err) reject(err); else resolve(value);
    };
    try {
      fn(f, done);
    } catch (e) {
      done(e);
    }
  });
  const result = tail.then(job, job);
  tail = result.catch(() => {});
  return result;
}

module.exports = { library, run, candidates, PACKAGE_DIR };
