'use strict';
// index.d.ts against what it describes: the report shapes of
// docs/detail-report.schema.json (every key, which are required, every
// enumeration), the option keys of the README's options table, and the
// functions the package exports.

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const test = require('node:test');

const ROOT = path.join(__dirname, '..', '..');
const DTS = fs.readFileSync(path.join(__dirname, '..', 'index.d.ts'), 'utf8');
const SCHEMA = JSON.parse(fs.readFileSync(path.join(ROOT, 'docs', 'detail-report.schema.json'), 'utf8'));

// The members of each interface: name -> {optional, type}.  Handles the
// declarations index.d.ts holds: one member per line, types on that line
// or continued on lines that start with "|".
function interfaces(text) {
  const out = {};
  const re = /export interface (\w+)(?:<[^>]*>)?(?: extends ([\w<>, ]+))? \{\n([\s\S]*?)\n\}/g;
  for (const m of text.matchAll(re)) {
    const members = {};
    let last = null;
    for (const raw of m[3].split('\n')) {
      const line = raw.trim();
      if (line.startsWith('//') || line.startsWith('/*') || line.startsWith('*') || line === '') continue;
      const member = /^(\w+)(\?)?:\s*(.*?);?$/.exec(line);
      if (member) {
        last = members[member[1]] = { optional: !!member[2], type: member[3] };
      } else if (line.startsWith('|') && last) {
        last.type += ` ${line.replace(/;$/, '')}`;
      }
    }
    out[m[1]] = { members, base: m[2] ? m[2].trim() : null };
  }
  return out;
}

// The string literals of a type, through one named alias.
function literals(type) {
  if (/^\w+$/.test(type.trim()) && DTS.includes(`export type ${type.trim()} =`)) type = typeAlias(type.trim());
  return [...type.matchAll(/'([^']*)'/g)].map((m) => m[1]).sort();
}

function typeAlias(name) {
  const m = new RegExp(`export type ${name} =([\\s\\S]*?);\\n`).exec(DTS);
  assert.ok(m, `type ${name} in index.d.ts`);
  return m[1];
}

// Which interface describes which object of the schema.
const defs = SCHEMA.$defs;
const SHAPES = [
  ['DetailReport', SCHEMA],
  ['PagePair', SCHEMA.properties.pairs.items],
  ['PageSize', defs.size.oneOf.find((s) => s.type === 'object')],
  ['Change', defs.change],
  ['PixelSize', defs.pixel_size],
  ['ImageChange', defs.image_change],
  ['DocumentDifference', defs.document_difference],
  ['Look', defs.look],
  ['PaintChange', defs.paint_change],
  ['DetailDifference', defs.difference],
];

test('every object of the detail report schema has its interface, key for key', () => {
  const found = interfaces(DTS);
  for (const [name, schema] of SHAPES) {
    const iface = found[name];
    assert.ok(iface, `interface ${name}`);
    assert.deepEqual(Object.keys(iface.members).sort(), Object.keys(schema.properties).sort(), name);
    const required = Object.keys(iface.members).filter((k) => !iface.members[k].optional).sort();
    assert.deepEqual(required, [...(schema.required || [])].sort(), `${name}: required keys`);
    for (const [key, prop] of Object.entries(schema.properties)) {
      const values = prop.enum || (prop.const !== undefined ? [prop.const] : null);
      if (values && values.every((v) => typeof v === 'string')) {
        assert.deepEqual(literals(iface.members[key].type), [...values].sort(), `${name}.${key}`);
      }
    }
  }
  assert.deepEqual(literals(typeAlias('DifferenceType')), [...defs.difference.properties.type.enum].sort());
  // The compare report is the detail report without its detail.
  for (const key of ['identical', 'pages_compared', 'differences', 'document']) {
    assert.ok(found.CompareReport.members[key], `CompareReport.${key}`);
  }
});

test('Options has exactly the keys the library documents and knows, "report" left to the function', async () => {
  // The keys of the README's options table and of the header's comment.
  const readme = fs.readFileSync(path.join(ROOT, 'README.md'), 'utf8');
  const table = readme.slice(readme.indexOf('### Options'), readme.indexOf('### A complete host program'));
  const keys = new Set();
  for (const row of table.split('\n').filter((l) => l.startsWith('| `"'))) {
    for (const m of row.split(' | ')[0].matchAll(/`"(\w+)"`/g)) keys.add(m[1]);
  }
  const header = fs.readFileSync(path.join(ROOT, 'include', 'morvex.h'), 'utf8');
  for (const line of header.split('\n')) {
    const lead = /^ \*   ((?:"\w+"(?:, )?)+)/.exec(line);
    if (lead) for (const m of lead[1].matchAll(/"(\w+)"/g)) keys.add(m[1]);
  }
  keys.delete('report');
  assert.ok(keys.size >= 10, 'the options table is where this test expects it');
  const options = interfaces(DTS).Options.members;
  assert.deepEqual(Object.keys(options).sort(), [...keys].sort());
  // The library knows each one: a value of the wrong kind is refused by
  // name, never as an unknown key.
  const { checkOptions } = require('..')._internal;
  for (const key of Object.keys(options)) {
    await assert.rejects(checkOptions('compare', { [key]: { wrong: true } }),
      (e) => e.name === 'OptionsError' && !e.message.includes('unknown key'), key);
  }
  assert.ok(Object.values(options).every((m) => m.optional));
  assert.deepEqual(literals(typeAlias('DocumentKind')),
    ['annotations', 'attachments', 'fields', 'links', 'metadata', 'metadata_dates', 'outline', 'page_labels']);
});

test('every export of the package is declared, and every declared function exported', () => {
  const morvex = require('..');
  const declared = new Set([...DTS.matchAll(/export (?:function|const|class) (\w+)/g)].map((m) => m[1]));
  // libraryPath is a getter that loads the library: named, not called.
  const exported = Object.keys(morvex);
  assert.deepEqual([...declared].sort(), exported.sort());
  const jest = fs.readFileSync(path.join(__dirname, '..', 'jest.d.ts'), 'utf8');
  assert.match(jest, /toMatchPdfSnapshot\(options\?: Options, name\?: string\): Promise<R>;/);
});

const TSC = path.join(__dirname, '..', 'node_modules', 'typescript', 'bin', 'tsc');

test('TypeScript accepts the uses of test/types/usage.ts and refuses its misuses', { skip: !fs.existsSync(TSC) && 'typescript is not installed (npm ci in js/)' }, () => {
  const { spawnSync } = require('node:child_process');
  const r = spawnSync(process.execPath, [TSC, '-p', path.join(__dirname, 'types', 'tsconfig.json')], { encoding: 'utf8' });
  assert.equal(r.status, 0, r.stdout + r.stderr);
});
