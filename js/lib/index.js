'use strict';
// Compare two PDF files with the morvex library.
//
//   const morvex = require('morvex');
//   await morvex.compare('a.pdf', 'b.pdf');
//   // { identical: false, pages_compared: 1,
//   //   differences: [ { page: 1, type: 'text_changed' } ] }
//   await morvex.detail('a.pdf', 'b.pdf', { pairing: 'content' });
//   await morvex.visual('a.pdf', 'b.pdf', 'report.pdf', { layout: 'side_by_side' });
//
// Options are the keys of the library's options JSON, under the same
// names as the Python keyword arguments.  A call without options (or with
// every option undefined or null) is the plain C function and gives
// exactly its result.  A failed call rejects with a MorvexError whose
// message is exactly the library's ("cannot open file: a.pdf"); options
// the library refuses reject with its subclass OptionsError.

const { run, library } = require('./library');

class MorvexError extends Error {
  constructor(message, options) {
    super(message, options);
    this.name = 'MorvexError';
  }
}

// Options the library refused: the message names the key ("options:
// unknown key \"pairng\"").
class OptionsError extends MorvexError {
  constructor(message, options) {
    super(message, options);
    this.name = 'OptionsError';
  }
}

const REPORTS = ['compare', 'text', 'detail'];

function errorFor(message, fallback) {
  const text = message || `${fallback} failed`;
  return text.startsWith('options: ') ? new OptionsError(text) : new MorvexError(text);
}

function checkPath(value, what) {
  if (value instanceof URL) {
    if (value.protocol !== 'file:') throw new TypeError(`${what} must be a file: URL, not ${value.protocol}`);
    value = require('node:url').fileURLToPath(value);
  }
  if (typeof value !== 'string') {
    throw new TypeError(`${what} must be a path string or a file: URL, not ${value === null ? 'null' : typeof value}`);
  }
  if (value.includes('\0')) throw new TypeError(`${what} holds a NUL character`);
  return value;
}

// The options object as the library's JSON text, or null when no option
// is given; keys are passed through so that the library, not this
// package, is the one judge of what it accepts.
function optionsJson(report, options) {
  if (options === undefined || options === null) options = {};
  if (typeof options !== 'object' || Array.isArray(options)) {
    throw new TypeError('options must be a plain object');
  }
  if (Object.prototype.hasOwnProperty.call(options, 'report')) {
    throw new TypeError('the report kind is chosen by the function: compare(), text() or detail()');
  }
  const given = {};
  for (const [key, value] of Object.entries(options)) {
    if (value === undefined || value === null) continue;
    given[key] = value;
  }
  if ((report === 'compare' || report === 'text') && Object.keys(given).length === 0) return null;
  const full = report === 'compare' ? given : { report, ...given };
  let text;
  try {
    text = JSON.stringify(full, (key, value) => {
      if (typeof value === 'number' && !Number.isFinite(value)) throw new TypeError(`option ${key}: ${value} is not a JSON number`);
      if (typeof value === 'bigint') return Number(value);
      if (typeof value === 'function' || typeof value === 'symbol') throw new TypeError(`option ${key}: a ${typeof value} is not JSON`);
      return value;
    });
  } catch (e) {
    throw new TypeError(e.message);
  }
  return text;
}

function needOptions(f, name) {
  if (!f.compareOpts) {
    throw new MorvexError(`options need a morvex library with ${name}; ${library().file} has none (it is older than this package)`);
  }
}

// The library's JSON text of one report, as a string; opts is the options
// JSON text optionsJson() made, or null for the plain function.
function rawReport(report, a, b, opts) {
  if (!REPORTS.includes(report)) {
    return Promise.reject(new TypeError(`report must be one of ${REPORTS.join(', ')}, not ${String(report)}`));
  }
  let pa, pb;
  try {
    pa = checkPath(a, 'a');
    pb = checkPath(b, 'b');
  } catch (e) {
    return Promise.reject(e);
  }
  return run((f, done) => {
    let fn, name, args;
    if (opts === null) {
      name = report === 'text' ? 'morvex_text' : 'morvex_compare';
      fn = report === 'text' ? f.text : f.compare;
      args = [pa, pb];
    } else {
      needOptions(f, 'morvex_compare_opts');
      name = 'morvex_compare_opts';
      fn = f.compareOpts;
      args = [pa, pb, opts];
    }
    fn.async(...args, (err, json) => {
      if (err) return done(err);
      if (json === null) return done(errorFor(f.lastError(), name));
      done(null, json);
    });
  });
}

async function parsed(report, a, b, options) {
  return JSON.parse(await rawReport(report, a, b, optionsJson(report, options)));
}

/** Every difference between the PDF files a and b. */
function compare(a, b, options) {
  return parsed('compare', a, b, options);
}

/** The text differences, each with A's and B's page text in "diff". */
function text(a, b, options) {
  return parsed('text', a, b, options);
}

/** The detail report: rectangles, word-level changes, page sizes. */
function detail(a, b, options) {
  return parsed('detail', a, b, options);
}

/** Writes the PDF report of a and b to out; resolves to undefined. */
function visual(a, b, out, options) {
  let pa, pb, po, opts;
  try {
    pa = checkPath(a, 'a');
    pb = checkPath(b, 'b');
    po = checkPath(out, 'out');
    opts = optionsJson('compare', options);
  } catch (e) {
    return Promise.reject(e);
  }
  return run((f, done) => {
    let fn, name, args;
    if (opts === null) {
      fn = f.visual; name = 'morvex_visual'; args = [pa, pb, po];
    } else {
      needOptions(f, 'morvex_visual_opts');
      fn = f.visualOpts; name = 'morvex_visual_opts'; args = [pa, pb, po, opts];
    }
    fn.async(...args, (err, ok) => {
      if (err) return done(err);
      if (!ok) return done(errorFor(f.lastError(), name));
      done(null, undefined);
    });
  });
}

// Rejects with the library's OptionsError for options it refuses, before
// any file is read: the library checks options before it opens a file.
function checkOptions(report, options) {
  let opts;
  try {
    opts = optionsJson(report, options);
  } catch (e) {
    return Promise.reject(e);
  }
  if (opts === null) return Promise.resolve();
  return run((f, done) => {
    needOptions(f, 'morvex_compare_opts');
    f.compareOpts.async('', '', opts, (err, json) => {
      if (err) return done(err);
      const message = json === null ? f.lastError() : '';
      done(message.startsWith('options: ') ? new OptionsError(message) : null);
    });
  });
}

const version = require('../package.json').version;

module.exports = {
  compare,
  text,
  detail,
  visual,
  MorvexError,
  OptionsError,
  REPORTS,
  version,
  get libraryPath() {
    return library().file;
  },
};

// Internal helpers for the batch runner and the snapshot matcher.
Object.defineProperty(module.exports, '_internal', {
  value: { rawReport, optionsJson, checkOptions, checkPath },
  enumerable: false,
});

const batch = require('./batch');
module.exports.compareMany = batch.compareMany;
module.exports.BatchResults = batch.BatchResults;
const snapshot = require('./snapshot');
module.exports.matchPdfSnapshot = snapshot.matchPdfSnapshot;
module.exports.changedWords = snapshot.changedWords;
