'use strict';
// The review page of a failed snapshot comparison, written by the morvex
// command (`morvex compare A B --html FILE`) when it is installed: the page
// the command, the Python package and this package's users all read alike,
// with its side-by-side report beside it (FILE.html -> FILE.pdf).

const { execFile } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

// MORVEX_CLI, else `morvex` on PATH, else null.
function findCommand(env = process.env) {
  if (env.MORVEX_CLI) return env.MORVEX_CLI;
  for (const dir of (env.PATH || '').split(path.delimiter)) {
    if (!dir) continue;
    const file = path.join(dir, 'morvex');
    try {
      fs.accessSync(file, fs.constants.X_OK);
      if (fs.statSync(file).isFile()) return file;
    } catch (_) {
      // not there
    }
  }
  return null;
}

const PASSWORD_VARS = { password: 'MORVEX_REVIEW_PASSWORD', password_a: 'MORVEX_REVIEW_PASSWORD_A', password_b: 'MORVEX_REVIEW_PASSWORD_B' };

// The command's flags for the options, the side-by-side layout and the
// library's default pairing; null when an option has no flag (a region of
// one side only), so the page never shows another comparison than the
// one that failed.  Passwords travel in the environment, never the
// process list.
function commandArgs(options) {
  const args = ['--layout=side-by-side'];
  const env = {};
  let pairing = 'position';
  let pagesA = null;
  let pagesB = null;
  for (const [key, value] of Object.entries(options || {})) {
    if (value === undefined || value === null) continue;
    switch (key) {
      case 'pairing': pairing = String(value); break;
      case 'pages_a': pagesA = String(value); break;
      case 'pages_b': pagesB = String(value); break;
      case 'ignore_regions':
        for (const r of value) {
          if (r.side !== undefined && r.side !== 'both') return null;
          args.push('--ignore-rect', r.rect.join(',') + (r.pages !== undefined ? `@${r.pages}` : ''));
        }
        break;
      case 'ignore_text':
        for (const t of value) args.push('--ignore-text', String(t));
        break;
      case 'ignore_kinds':
        if (value.length) args.push('--ignore-kinds', value.join(','));
        break;
      case 'document':
        args.push(`--document=${value.length ? value.join(',') : 'none'}`);
        break;
      case 'threads':
        if (value !== 0) args.push('--threads', String(value));
        break;
      case 'changed_only':
        if (value) args.push('--changed-only');
        break;
      case 'layout':
        break;
      case 'password': case 'password_a': case 'password_b':
        env[PASSWORD_VARS[key]] = String(value);
        args.push(`--${key.replace('_', '-')}-env`, PASSWORD_VARS[key]);
        break;
      default:
        return null;
    }
  }
  args.push(`--pairing=${pairing}`);
  if (pagesA !== null || pagesB !== null) args.push('--pages', `${pagesA ?? '1-'}:${pagesB ?? '1-'}`);
  return { args, env };
}

// Writes the review page of a (the snapshot) and b to html, and the
// side-by-side report beside it.  Resolves to true when the command wrote
// both, false when there is no command or no flag for an option.
function writeReview(a, b, html, options, env = process.env) {
  const command = findCommand(env);
  const flags = command && commandArgs(options);
  if (!flags) return Promise.resolve(false);
  return new Promise((resolve, reject) => {
    execFile(command, ['compare', ...flags.args, '--html', html, '--', a, b],
      { env: { ...env, ...flags.env }, maxBuffer: 64 * 1024 * 1024 }, (err, _stdout, stderr) => {
        // Exit status 1 says the files differ: the page is written.
        if (err && err.code !== 1) {
          reject(new Error(`${command} could not write the review page: ${String(stderr).trim() || err.message}`));
          return;
        }
        resolve(true);
      });
  });
}

module.exports = { findCommand, commandArgs, writeReview };
