'use strict';
// A worker process of compareMany(): runs the chunks of pairs it receives,
// one pair at a time, each failure kept to its pair, until the parent
// disconnects.

let rawReport = null;
let loadError = null;
try {
  const morvex = require('./index');
  rawReport = morvex._internal.rawReport;
  require('./library').library();
} catch (e) {
  // Every pair then fails with the reason, rather than the worker dying
  // again and again.
  loadError = String(e && e.message ? e.message : e);
}

// Ctrl-C reaches the whole process group; the parent decides what stops.
process.on('SIGINT', () => {});

async function runChunk({ report, options, pairs }) {
  const outcomes = [];
  for (const [a, b] of pairs) {
    if (loadError !== null) {
      outcomes.push(['error', loadError]);
      continue;
    }
    try {
      // options is the JSON text the parent made, or null for none.
      outcomes.push(['ok', await rawReport(report, a, b, options)]);
    } catch (e) {
      outcomes.push(['error', e && e.name === 'MorvexError' || e && e.name === 'OptionsError'
        ? e.message : `${e && e.name ? e.name : 'Error'}: ${e && e.message ? e.message : e}`]);
    }
  }
  process.send(outcomes);
}

// Chunks answer in the order they came: the parent matches answers to
// chunks by that order.
let chain = Promise.resolve();
process.on('message', (task) => {
  chain = chain.then(() => runChunk(task));
});

process.on('disconnect', () => process.exit(0));
