'use strict';
// PDF snapshots: the first run stores the PDF itself as the snapshot, later
// runs compare the new PDF with it (the snapshot is A, the new file B).
//
// The snapshot is the PDF file, not a report or a rendering of it: only the
// file keeps everything a later comparison needs (the words with their
// places and fonts, the images, the drawings), so a later run can say which
// words changed where, and the side-by-side report can show both pages.

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const { writeReview } = require('./review');

const KIND_WORDS = {
  dimensions_changed: 'page size changed',
  rotation_changed: 'rotation changed',
  image_added: 'image added',
  image_removed: 'image removed',
  image_changed: 'image changed',
  text_added: 'text added',
  text_removed: 'text removed',
  text_changed: 'text changed',
  content_changed: 'content changed',
  page_added: 'page added',
  page_removed: 'page removed',
  page_moved: 'page moved',
};

function count(n, one, many) {
  return `${n} ${n === 1 ? one : many}`;
}

// Control characters (but tab) and the C1 range as visible escapes, so a
// changed word cannot move the cursor of the terminal that shows it.
function printable(text) {
  let out = '';
  for (const ch of String(text)) {
    const o = ch.codePointAt(0);
    if ((o < 0x20 && ch !== '\t') || o === 0x7f) out += `\\x${o.toString(16).padStart(2, '0')}`;
    else if (o >= 0x80 && o <= 0x9f) out += `\\u${o.toString(16).padStart(4, '0')}`;
    else if (o >= 0xd800 && o <= 0xdfff) out += '\ufffd';
    else out += ch;
  }
  return out;
}

/** "2 differences on 2 of 5 pages" or "identical (5 pages)". */
function summary(report) {
  const pages = report.pages_compared || 0;
  if (report.identical) return `identical (${count(pages, 'page', 'pages')})`;
  const diffs = report.differences || [];
  const on = new Set(diffs.map((d) => d.page)).size;
  let line = `${count(diffs.length, 'difference', 'differences')} on ${on} of ${count(pages, 'page', 'pages')}`;
  if (report.document) line += `, ${count(report.document.length, 'document difference', 'document differences')}`;
  return line;
}

/**
 * The differences as the command's text format shows them: "page 1: text
 * changed", then "    ... before [-old-]{+new+} after ...".
 */
function changedWords(report, maxDifferences = 10) {
  const lines = [];
  const diffs = report.differences || [];
  for (const d of diffs.slice(0, maxDifferences)) {
    let where = `page ${d.page}`;
    if (d.page_a && d.page_b && d.page_a !== d.page_b) where += ` (page ${d.page_a} in A)`;
    lines.push(`${where}: ${KIND_WORDS[d.type] || printable(d.type).replace(/_/g, ' ')}`);
    for (const c of d.changes || []) {
      let line = '    ';
      if (c.before) line += `... ${printable(c.before)} `;
      if (c.old) line += `[-${printable(c.old)}-]`;
      if (c.new) line += `{+${printable(c.new)}+}`;
      if (c.after) line += ` ${printable(c.after)} ...`;
      lines.push(line);
    }
  }
  if (diffs.length > maxDifferences) {
    lines.push(`... ${count(diffs.length - maxDifferences, 'more difference', 'more differences')}`);
  }
  for (const d of report.document || []) {
    lines.push(`document: ${printable(d.type).replace(/_/g, ' ')}${d.key ? ` (${printable(d.key)})` : ''}`);
  }
  return lines.join('\n');
}

// The PDF under test as a file: a path as it is, bytes written to a
// temporary file that `release` removes.
function asFile(received) {
  if (typeof received === 'string') {
    if (!fs.existsSync(received)) throw new Error(`no such PDF file: ${received}`);
    return { file: received, bytes: null, release() {} };
  }
  if (received instanceof URL) return asFile(require('node:url').fileURLToPath(received));
  if (received instanceof Uint8Array || received instanceof ArrayBuffer) {
    const bytes = received instanceof ArrayBuffer ? new Uint8Array(received) : received;
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'morvex-snapshot-'));
    const file = path.join(dir, 'received.pdf');
    fs.writeFileSync(file, bytes);
    return { file, bytes, release() { fs.rmSync(dir, { recursive: true, force: true }); } };
  }
  throw new TypeError('the PDF must be a path, a file: URL, or its bytes (Buffer, Uint8Array)');
}

function store(source, snapshotFile) {
  fs.mkdirSync(path.dirname(snapshotFile), { recursive: true });
  // Written beside the snapshot and renamed, so an interrupted run never
  // leaves half a snapshot that a later run would trust.
  const temp = `${snapshotFile}.${process.pid}.tmp`;
  if (source.bytes) fs.writeFileSync(temp, source.bytes);
  else fs.copyFileSync(source.file, temp);
  fs.renameSync(temp, snapshotFile);
}

/**
 * Compares the PDF `received` with the snapshot file, or stores it there.
 *
 * settings.update: "new" (default: store a missing snapshot, compare an
 * existing one), "all" (store in any case: jest -u), "none" (never store:
 * a missing snapshot fails, as Jest does with --ci); true means "all".
 * settings.options: the options of compare().  settings.outputDir: where a
 * failed comparison writes its side-by-side report and, when the morvex
 * command is installed (MORVEX_CLI, or on PATH), its review page
 * (default: the folder __diff_output__ beside the snapshot).
 *
 * Resolves to {pass, status, message, snapshotFile, reportFile, reviewFile,
 * report}:
 * status "stored", "updated", "matched", "different" or "missing".
 */
async function matchPdfSnapshot(received, snapshotFile, settings = {}) {
  const morvex = require('./index');
  if (typeof snapshotFile !== 'string' || snapshotFile === '') throw new TypeError('the snapshot file must be a path');
  let update = settings.update === undefined || settings.update === false ? 'new' : settings.update;
  if (update === true) update = 'all';
  if (!['new', 'all', 'none'].includes(update)) throw new TypeError('update must be "new", "all", "none" or a boolean');
  const options = settings.options || {};
  const outputDir = settings.outputDir || path.join(path.dirname(snapshotFile), '__diff_output__');
  const stem = path.join(outputDir, path.basename(snapshotFile).replace(/\.pdf$/i, '') + '.diff');
  const reportFile = `${stem}.pdf`;
  const reviewFile = `${stem}.html`;
  const base = { snapshotFile, reportFile: null, reviewFile: null, report: null };
  // The reports of an earlier failure would mislead a reviewer.
  const removeReports = () => {
    fs.rmSync(reportFile, { force: true });
    fs.rmSync(reviewFile, { force: true });
  };

  const source = asFile(received);
  try {
    const exists = fs.existsSync(snapshotFile);
    if (update === 'all' || (!exists && update === 'new')) {
      store(source, snapshotFile);
      removeReports();
      const status = exists ? 'updated' : 'stored';
      return { ...base, pass: true, status, message: `${status} the PDF snapshot ${snapshotFile}` };
    }
    if (!exists) {
      return {
        ...base, pass: false, status: 'missing',
        message: `the PDF snapshot ${snapshotFile} does not exist, and this run writes none ` +
          '(Jest with --ci); run the tests without --ci, or with -u, to store it',
      };
    }
    const report = await morvex.detail(snapshotFile, source.file, options);
    if (report.identical) {
      removeReports();
      return { ...base, report, pass: true, status: 'matched', message: `matches the PDF snapshot ${snapshotFile}` };
    }
    fs.mkdirSync(outputDir, { recursive: true });
    removeReports();
    let reviewed = false;
    let why = '';
    try {
      reviewed = await writeReview(snapshotFile, source.file, reviewFile, options);
    } catch (e) {
      why = `review page not written: ${e.message}\n`;
    }
    if (!reviewed) await morvex.visual(snapshotFile, source.file, reportFile, { ...options, layout: 'side_by_side' });
    const name = typeof received === 'string' ? received : 'the PDF';
    return {
      ...base, report, reportFile, reviewFile: reviewed ? reviewFile : null, pass: false, status: 'different',
      message: `${name} differs from the PDF snapshot ${snapshotFile}: ${summary(report)}\n` +
        `${changedWords(report)}\n` +
        (reviewed ? `review page: ${reviewFile}\n` : why) +
        `side-by-side report: ${reportFile}\n` +
        '(run jest with -u to store the new file as the snapshot)',
    };
  } finally {
    source.release();
  }
}

module.exports = { matchPdfSnapshot, changedWords, summary, printable };
