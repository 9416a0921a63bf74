// expect(pdf).toMatchPdfSnapshot(options, name), added by listing
// "morvex/jest" in setupFilesAfterEnv.
import type { Options } from './index';

declare global {
  namespace jest {
    interface Matchers<R> {
      /**
       * Stores the PDF (a path, a file: URL or its bytes) as a snapshot on the
       * first run, in __pdf_snapshots__/<test file>/ beside the test file;
       * later runs compare it with the snapshot and fail with the changed
       * words, writing the side-by-side report.  jest -u stores it anew.
       */
      toMatchPdfSnapshot(options?: Options, name?: string): Promise<R>;
    }
  }
}

export function toMatchPdfSnapshot(
  this: unknown,
  received: unknown,
  options?: Options,
  name?: string,
): Promise<{ pass: boolean; message: () => string }>;
