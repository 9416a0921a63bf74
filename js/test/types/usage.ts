// Compiled (never run) by test/types.test.js with tsc --strict: the uses a
// TypeScript user writes type-check, and the misuses below are refused.
import * as morvex from '../..';
import type { DetailReport, Options, PairResult } from '../..';
import '../../jest';

async function uses(): Promise<void> {
  const options: Options = {
    pairing: 'content',
    pages_a: '1-3',
    ignore_regions: [{ rect: [0, 0, 595, 60], pages: '1-', side: 'b' }],
    ignore_text: ['\\d+'],
    ignore_kinds: ['style'],
    document: ['links', 'metadata_dates'],
    threads: 0,
  };
  const c = await morvex.compare('a.pdf', new URL('file:///b.pdf'), options);
  const kinds: string[] = c.differences.map((d) => d.type);
  const t = await morvex.text('a.pdf', 'b.pdf');
  const diff: string | undefined = t.differences[0]?.diff;
  const d: DetailReport = await morvex.detail('a.pdf', 'b.pdf');
  const words: string[] = d.differences.flatMap((x) => (x.changes ?? []).map((ch) => `${ch.op} ${ch.old} ${ch.new}`));
  const style = d.differences[0]?.paint_changes?.[0]?.new?.color;
  const rect: [number, number, number, number] | undefined = d.differences[0]?.rects_b[0];
  await morvex.visual('a.pdf', 'b.pdf', 'out.pdf', { layout: 'side_by_side', changed_only: true });
  const many = await morvex.compareMany([['a.pdf', 'b.pdf']], { concurrency: 2, report: 'detail' });
  const first: PairResult<DetailReport> | undefined = many[0];
  const line: string = many.summary() + many.counts().error;
  const snap = await morvex.matchPdfSnapshot(new Uint8Array(4), 'snap.pdf', { update: 'all', options });
  const status: 'stored' | 'updated' | 'matched' | 'different' | 'missing' = snap.status;
  try {
    await morvex.compare('a.pdf', 'b.pdf');
  } catch (e) {
    if (e instanceof morvex.OptionsError) console.log(e.message, e.name);
    else if (e instanceof morvex.MorvexError) console.log(e.message);
  }
  console.log(kinds, diff, words, style, rect, first, line, status, morvex.version, morvex.libraryPath,
    morvex.changedWords(d, 5));
}

declare const expect: (value: unknown) => jest.Matchers<Promise<void>>;
async function matcher(): Promise<void> {
  await expect('a.pdf').toMatchPdfSnapshot({ pairing: 'content' }, 'cover');
}

async function misuses(): Promise<void> {
  // @ts-expect-error an unknown option
  await morvex.compare('a.pdf', 'b.pdf', { pairng: 'content' });
  // @ts-expect-error a value the option does not take
  await morvex.compare('a.pdf', 'b.pdf', { pairing: 'pages' });
  // @ts-expect-error the report kind is the function's
  await morvex.compare('a.pdf', 'b.pdf', { report: 'detail' });
  // @ts-expect-error a path is a string or a URL
  await morvex.text(42, 'b.pdf');
  // @ts-expect-error compare reports have no word changes
  (await morvex.compare('a.pdf', 'b.pdf')).differences[0].changes;
  // @ts-expect-error pairs are [a, b]
  await morvex.compareMany([['a.pdf']]);
}

export { uses, matcher, misuses };
