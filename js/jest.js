'use strict';
// Adds expect(pdf).toMatchPdfSnapshot(options, name) to Jest: list this
// file in setupFilesAfterEnv ("morvex/jest").
const { toMatchPdfSnapshot } = require('./lib/jest-matcher');

if (typeof expect === 'undefined' || typeof expect.extend !== 'function') {
  throw new Error('morvex/jest extends Jest\'s expect: list it in setupFilesAfterEnv of the Jest configuration');
}
expect.extend({ toMatchPdfSnapshot });

module.exports = { toMatchPdfSnapshot };
