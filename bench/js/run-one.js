'use strict';
// One measurement, in a process of its own (so /usr/bin/time sees only it):
//   node run-one.js TOOL A B WORK
// TOOL: morvex | compare-pdf | compare-pdf-native | pdf-visual-diff-store |
// pdf-visual-diff
// (pdf-visual-diff compares with a snapshot: "-store" renders A as the
// snapshot, the other compares B with it).  Prints one JSON line: the
// tool's verdict.

const fs = require('node:fs');
const path = require('node:path');

const [tool, a, b, work] = process.argv.slice(2);

async function main() {
  fs.mkdirSync(work, { recursive: true });
  if (tool === 'morvex') {
    const morvex = require('../../js');
    const report = await morvex.detail(a, b);
    const words = report.differences.reduce((n, d) => n + (d.changes ? d.changes.length : 0), 0);
    return { identical: report.identical, differences: report.differences.length, word_changes: words };
  }
  if (tool === 'compare-pdf' || tool === 'compare-pdf-native') {
    const ComparePdf = require('compare-pdf');
    const dirs = {};
    for (const name of ['actualPdfRootFolder', 'baselinePdfRootFolder', 'actualPngRootFolder', 'baselinePngRootFolder', 'diffPngRootFolder']) {
      dirs[name] = path.join(work, name);
      fs.mkdirSync(dirs[name], { recursive: true });
    }
    fs.copyFileSync(a, path.join(dirs.baselinePdfRootFolder, 'pair.pdf'));
    fs.copyFileSync(b, path.join(dirs.actualPdfRootFolder, 'pair.pdf'));
    const config = {
      paths: dirs,
      settings: {
        // The default engine runs GraphicsMagick (and through it
        // Ghostscript); "native" renders with pdf.js and canvas from npm.
        imageEngine: tool === 'compare-pdf' ? 'graphicsMagick' : 'native', density: 100, quality: 70, tolerance: 0, threshold: 0.05,
        cleanPngPaths: process.env.KEEP_PNG ? false : true, matchPageCount: true, disableFontFace: true, verbosity: 0,
        diffColor: [255, 0, 0], diffColorAlt: null, outputPngDifferences: true,
      },
    };
    const result = await new ComparePdf(config).actualPdfFile('pair.pdf').baselinePdfFile('pair.pdf').compare();
    return { status: result.status, pages_differing: (result.details || []).length };
  }
  if (tool === 'pdf-visual-diff-store' || tool === 'pdf-visual-diff') {
    const { comparePdfToSnapshot } = require('pdf-visual-diff');
    const snapshots = path.join(work, 'snapshots');
    const same = await comparePdfToSnapshot(tool.endsWith('-store') ? a : b, snapshots, 'pair');
    return { matches_snapshot: same };
  }
  throw new Error(`unknown tool ${tool}`);
}

main().then((r) => console.log(JSON.stringify(r)), (e) => {
  console.log(JSON.stringify({ error: String(e && e.message ? e.message : e).split('\n')[0] }));
  process.exitCode = 1;
});
