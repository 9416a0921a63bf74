// Types of the morvex npm package.  The report shapes follow
// docs/detail-report.schema.json of the repository; test/types.test.js
// checks every key and enumeration here against that schema.

/** A path, or a file: URL. */
export type PathLike = string | URL;

/** [x0, y0, x1, y1] in points from the top-left corner of the page as displayed (after /Rotate), y downward. */
export type Rect = [number, number, number, number];

export type DifferenceType =
  | 'dimensions_changed'
  | 'rotation_changed'
  | 'image_added'
  | 'image_removed'
  | 'image_changed'
  | 'text_added'
  | 'text_removed'
  | 'text_changed'
  | 'content_changed'
  | 'page_added'
  | 'page_removed'
  | 'page_moved';

export type DocumentKind =
  | 'metadata'
  | 'metadata_dates'
  | 'outline'
  | 'links'
  | 'annotations'
  | 'fields'
  | 'attachments'
  | 'page_labels';

export interface IgnoreRegion {
  rect: Rect;
  /** page ranges such as "1-3,7,10-"; default: every page */
  pages?: string;
  /** default "both" */
  side?: 'a' | 'b' | 'both';
}

/** The options of every function: the keys of the library's options JSON. */
export interface Options {
  /** "position" (default): page 1 with page 1; "content": pages matched by what they show */
  pairing?: 'position' | 'content' | null;
  /** page ranges of A such as "1-3,7,10-" */
  pages_a?: string | null;
  /** page ranges of B */
  pages_b?: string | null;
  ignore_regions?: IgnoreRegion[] | null;
  /** regular expressions: a text change whose old and new words each match one in full is left out */
  ignore_text?: string[] | null;
  /** kinds of painted changes left out */
  ignore_kinds?: Array<'style' | 'drawing'> | null;
  /** visual(): the report's layout */
  layout?: 'overlay' | 'side_by_side' | null;
  /** visual() side by side: leave identical page pairs out */
  changed_only?: boolean | null;
  /** 0 (default: the cores available) or 1 to 256 */
  threads?: number | null;
  password?: string | null;
  password_a?: string | null;
  password_b?: string | null;
  /** what is compared beside the pages; [] for nothing */
  document?: DocumentKind[] | null;
}

export interface Difference {
  /** B's page, A's for page_removed */
  page: number;
  type: DifferenceType;
  /** with pairing "content": the pages of A and B (null where none) */
  page_a?: number | null;
  page_b?: number | null;
}

export interface DocumentDifference {
  type:
    | 'metadata_changed'
    | 'outline_changed'
    | 'link_changed'
    | 'annotation_added'
    | 'annotation_removed'
    | 'annotation_changed'
    | 'field_changed'
    | 'attachment_added'
    | 'attachment_removed'
    | 'attachment_changed'
    | 'page_labels_changed';
  key?: string;
  page_a?: number | null;
  page_b?: number | null;
  rect_a?: Rect | null;
  rect_b?: Rect | null;
  old: unknown;
  new: unknown;
  problem?: string;
}

/** What compare() resolves to. */
export interface CompareReport {
  identical: boolean;
  pages_compared: number;
  differences: Difference[];
  /** present only when something beside the pages differs */
  document?: DocumentDifference[];
}

export interface TextDifference extends Difference {
  /** "- " and A's page text, a line feed, "+ " and B's page text */
  diff?: string;
}

/** What text() resolves to. */
export interface TextReport {
  identical: boolean;
  pages_compared: number;
  differences: TextDifference[];
}

export interface PageSize {
  width: number;
  height: number;
  rotation: number;
}

export interface Change {
  op: 'insert' | 'delete' | 'replace';
  old: string;
  new: string;
  before: string;
  after: string;
  rects_a: Rect[];
  rects_b: Rect[];
}

export interface PixelSize {
  width: number;
  height: number;
}

export interface ImageChange {
  kind: 'image';
  old: PixelSize;
  new: PixelSize;
}

export interface Look {
  font: string;
  size: number;
  /** "#rrggbb" */
  color: string;
}

export interface PaintChange {
  kind: 'style' | 'drawing';
  /** style only */
  text?: string;
  old?: Look;
  new?: Look;
  rects_a: Rect[];
  rects_b: Rect[];
}

export interface DetailDifference {
  page: number;
  type: DifferenceType;
  page_a: number | null;
  page_b: number | null;
  size_a: PageSize | null;
  size_b: PageSize | null;
  rects_a: Rect[];
  rects_b: Rect[];
  /** text kinds only */
  changes?: Change[];
  image?: ImageChange;
  paint_changes?: PaintChange[];
}

export interface PagePair {
  page_a: number | null;
  page_b: number | null;
}

/** What detail() resolves to. */
export interface DetailReport {
  identical: boolean;
  pages_compared: number;
  differences: DetailDifference[];
  document?: DocumentDifference[];
  pairs: PagePair[];
}

/** A failed call; the message is exactly the library's ("cannot open file: a.pdf"). */
export class MorvexError extends Error {
  name: 'MorvexError' | 'OptionsError';
}

/** Options the library refused; the message names the key. */
export class OptionsError extends MorvexError {
  name: 'OptionsError';
}

export function compare(a: PathLike, b: PathLike, options?: Options): Promise<CompareReport>;
export function text(a: PathLike, b: PathLike, options?: Options): Promise<TextReport>;
export function detail(a: PathLike, b: PathLike, options?: Options): Promise<DetailReport>;
/** Writes the report PDF to out; resolves once it is written, whether or not the files differ. */
export function visual(a: PathLike, b: PathLike, out: PathLike, options?: Options): Promise<void>;

export type ReportKind = 'compare' | 'text' | 'detail';
export const REPORTS: ReportKind[];
export const version: string;
/** The library file in use (loaded on first use). */
export const libraryPath: string;

type ReportOf<K extends ReportKind> = K extends 'text' ? TextReport : K extends 'detail' ? DetailReport : CompareReport;

export interface PairResult<R = CompareReport> {
  a: string;
  b: string;
  status: 'identical' | 'different' | 'error';
  /** null when status is "error" */
  report: R | null;
  /** null unless status is "error" */
  error: string | null;
}

export class BatchResults<R = CompareReport> extends Array<PairResult<R>> {
  counts(): { identical: number; different: number; error: number };
  /** "3 pairs compared: 1 identical, 1 different, 1 error" */
  summary(): string;
}

export interface CompareManySettings<K extends ReportKind = 'compare'> {
  /** worker processes; default one per available core */
  concurrency?: number;
  report?: K;
  options?: Options;
  /** pairs per task; default enough chunks to keep every worker busy, at most 64 pairs */
  chunkSize?: number;
  /** runs of a pair whose worker died, before it gets an error result; default 1 */
  retries?: number;
}

export function compareMany<K extends ReportKind = 'compare'>(
  pairs: Iterable<[PathLike, PathLike]>,
  settings?: CompareManySettings<K>,
): Promise<BatchResults<ReportOf<K>>>;

/** The PDF under test: a path, a file: URL, or the file's bytes. */
export type PdfInput = PathLike | Uint8Array | ArrayBuffer;

export interface SnapshotSettings {
  /** "new" (default), "all" (always store: jest -u), "none" (never store: jest --ci); true is "all" */
  update?: 'new' | 'all' | 'none' | boolean;
  options?: Options;
  /** where a failed comparison writes its side-by-side report; default __diff_output__ beside the snapshot */
  outputDir?: string;
}

export interface SnapshotResult {
  pass: boolean;
  status: 'stored' | 'updated' | 'matched' | 'different' | 'missing';
  message: string;
  snapshotFile: string;
  /** the side-by-side report of a failed comparison */
  reportFile: string | null;
  /** the review page of a failed comparison, written by the morvex command when it is installed (MORVEX_CLI, or on PATH) */
  reviewFile: string | null;
  report: DetailReport | null;
}

/** Compares pdf with the snapshot PDF file, or stores it there. */
export function matchPdfSnapshot(pdf: PdfInput, snapshotFile: string, settings?: SnapshotSettings): Promise<SnapshotResult>;

/** The differences of a report as lines: "page 1: text changed", "    ... [-old-]{+new+} ...". */
export function changedWords(report: CompareReport | DetailReport, maxDifferences?: number): string;
