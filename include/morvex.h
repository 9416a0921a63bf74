/*
 * morvex: compare two PDF files.
 *
 * The library reads two PDF files given by path and reports what differs
 * between them, page by page: page size and rotation, image placements,
 * the text (word by word) and the content bytes.  Three comparisons are
 * offered:
 *
 *   morvex_compare  JSON list of every difference, page by page
 *   morvex_text     JSON list of the text differences and of added or
 *                   removed pages, each text difference with its text
 *   morvex_visual   a new PDF file showing every page with the
 *                   differences marked in red
 *
 * morvex_compare_opts and morvex_visual_opts do the same with options
 * given as a JSON text: pages matched by content, page ranges, regions
 * and texts to ignore, a detailed report with coordinates.
 *
 * The two files of a call are called A (first path) and B (second path).
 *
 * Calling order
 *   1. Call morvex_init() once after loading the library.
 *   2. Call morvex_compare(), morvex_text() or morvex_visual() as often as
 *      needed, one call at a time.
 *   3. When a comparison returns NULL (or 0 for morvex_visual), read
 *      morvex_last_error() for the reason.
 *   4. Use or copy a returned JSON text before the next morvex_compare(),
 *      morvex_text() or morvex_cleanup() call; never free it.
 *   5. Call morvex_cleanup() before unloading the library.
 *
 * Ownership
 *   Every pointer the library returns belongs to the library.  The JSON
 *   text stays valid until the next morvex_compare() or morvex_text() call
 *   that loads both of its files, or until morvex_cleanup().  A call that
 *   fails while loading leaves the previous JSON text valid.
 *
 * Threads
 *   The library keeps one process-wide error text and one process-wide
 *   JSON buffer, without locks.  Call it from one thread at a time; a host
 *   that uses several threads must serialize its calls.
 *
 * Errors
 *   A failed call stores one message, for example "cannot open file: a.pdf"
 *   or "encrypted PDFs are not supported: a.pdf"; a successful call leaves
 *   the message empty.  No call ever aborts the host process on bad input.
 */
#ifndef MORVEX_H
#define MORVEX_H

#define MORVEX_VERSION_MAJOR 1
#define MORVEX_VERSION_MINOR 1
#define MORVEX_VERSION_PATCH 0
#define MORVEX_VERSION_STRING "1.1.0"

#if defined(_WIN32)
#  define MORVEX_API __declspec(dllimport)
#elif defined(__GNUC__)
#  define MORVEX_API __attribute__((visibility("default")))
#else
#  define MORVEX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * morvex_init - prepare the library for use.
 *
 * Clears the stored error message.  Allocates nothing.
 *
 * Returns 1, always.
 */
MORVEX_API int morvex_init(void);

/*
 * morvex_cleanup - release the memory the library holds between calls.
 *
 * Releases the last JSON text and clears the error message.  Every JSON
 * pointer handed out before becomes invalid.  The library stays usable:
 * later calls work and allocate anew.  Safe to call more than once.
 */
MORVEX_API void morvex_cleanup(void);

/*
 * morvex_last_error - the message of the last failed call.
 *
 * Returns a pointer to a 0-terminated text, never NULL; the text is empty
 * when the last call succeeded.  The text belongs to the library: do not
 * free it, and do not use it after the next library call.
 */
MORVEX_API const char *morvex_last_error(void);

/*
 * morvex_compare - list every difference between the PDF files at path_a
 * and path_b.
 *
 * path_a, path_b: 0-terminated file paths (A and B).
 *
 * Returns a 0-terminated, single-line JSON text such as
 *   {"identical":false,"pages_compared":2,"differences":[
 *     {"page":1,"type":"text_changed"},{"page":2,"type":"image_added"}]}
 * (without the line breaks), or NULL on failure: a file that cannot be
 * read, an encrypted file that needs a password, or no memory;
 * morvex_last_error() then tells why.  "identical" is true when no
 * difference was found; "pages_compared" is the larger of the two page
 * counts.  The kinds of difference are
 * dimensions_changed, rotation_changed, image_added, image_removed,
 * image_changed, text_added, text_removed, text_changed, content_changed,
 * page_added (page numbered in B) and page_removed (page numbered in A).
 *
 * The text belongs to the library (see Ownership above).
 */
MORVEX_API const char *morvex_compare(const char *path_a, const char *path_b);

/*
 * morvex_text - list the text differences between the PDF files at path_a
 * and path_b, with the text itself.
 *
 * path_a, path_b: 0-terminated file paths (A and B).
 *
 * Returns a JSON text like morvex_compare's, limited to the kinds
 * text_added, text_removed, text_changed, page_added and page_removed.
 * Each text difference carries a "diff" member: "- " and A's page text,
 * a line feed, then "+ " and B's page text (a side whose page shows no
 * text is left out).  "identical" is true when no such difference exists,
 * so a pair that differs only in images or layout is identical here.
 * Returns NULL on failure, as morvex_compare does.
 *
 * The text belongs to the library (see Ownership above).
 */
MORVEX_API const char *morvex_text(const char *path_a, const char *path_b);

/*
 * morvex_visual - write a PDF report that shows the pages of the pair with
 * their differences marked.
 *
 * path_a, path_b: 0-terminated paths of the files to compare (A and B).
 * out_path:       0-terminated path of the report to write.
 *
 * The report has one page for every page position of the longer
 * document; each shows B's page (or A's page where B has none) with
 * differences of B marked by translucent red boxes, differences of A by
 * struck-through boxes, and pages that only one document has by a red
 * frame and band.  The report is written to a temporary file beside
 * out_path and renamed over it only when complete, so a failed call never
 * leaves a partial file nor destroys an existing one.
 *
 * Returns 1 when the report was written, 0 on failure; morvex_last_error()
 * then tells why (for example "no pages to compare" or
 * "cannot open output file out.pdf: No such file or directory").
 */
MORVEX_API int morvex_visual(const char *path_a, const char *path_b,
                             const char *out_path);

/*
 * morvex_compare_opts - compare the PDF files at path_a and path_b with
 * options.
 *
 * path_a, path_b: 0-terminated file paths (A and B).
 * options:        0-terminated JSON object text, or NULL.  Keys:
 *   "report"          "compare" (default): the JSON of morvex_compare;
 *                     "text": the JSON of morvex_text; "detail": every
 *                     difference with its rectangles, the word-level
 *                     changes of text differences and the page sizes
 *                     (format in docs/detail-report.schema.json)
 *   "pairing"         "position" (default): page 1 with page 1 and so on;
 *                     "content": pages matched by their content, so that
 *                     inserted, removed and moved pages are reported as
 *                     such ("page_moved"), and every difference carries
 *                     "page_a" and "page_b" (null where none)
 *   "pages_a", "pages_b"
 *                     page ranges such as "1-3,7,10-" (1-based): only
 *                     those pages of A (of B) take part
 *   "ignore_regions"  a list of {"rect": [x0, y0, x1, y1], "pages": "1-3",
 *                     "side": "a"|"b"|"both"}: points from the top-left
 *                     corner of the page as displayed (after /Rotate),
 *                     y downward; "pages" defaults to all, "side" to
 *                     both.  A difference lying wholly inside one is not
 *                     reported.
 *   "ignore_text"     a list of regular expressions: a text change whose
 *                     removed and inserted texts each match one of them
 *                     in full is not reported
 *   "layout", "changed_only"
 *                     the visual report's layout (morvex_visual_opts)
 *   "threads"         1 to 256 threads, 0 for the default
 *   "password", "password_a", "password_b"
 *                     the password of encrypted files (both, A, B)
 *   "document"        what is compared beside the pages, a list of
 *                     "metadata" (Title, Author, Subject, Keywords,
 *                     Creator; XMP title, creator, description),
 *                     "metadata_dates" (CreationDate, ModDate, Producer),
 *                     "outline", "links", "annotations", "fields",
 *                     "attachments", "page_labels"; default: all but
 *                     "metadata_dates"; [] for none.  What differs goes to
 *                     a "document" list of the compare and detail reports
 *                     (present only when something does; format in
 *                     docs/detail-report.schema.json) and makes
 *                     "identical" false.
 *
 * NULL or "{}" gives exactly the text of morvex_compare, except that a
 * file in which no page is found fails with "no pages found: PATH", and
 * that differences beside the pages add the "document" list.
 * Returns NULL on failure; morvex_last_error() then tells why.  Bad
 * options fail before any file is read, with a message that names the
 * key or the byte offset of a syntax error, such as
 *   options: "pairing" must be "position" or "content"
 *   options: unknown key "pairng"
 *   options: offset 12: expected ':'
 *
 * The text belongs to the library and lives like morvex_compare's.
 */
MORVEX_API const char *morvex_compare_opts(const char *path_a, const char *path_b,
                                           const char *options);

/*
 * morvex_visual_opts - write the visual report of the PDF files at path_a
 * and path_b with options.
 *
 * path_a, path_b: 0-terminated paths of the files to compare (A and B).
 * out_path:       0-terminated path of the report to write.
 * options:        0-terminated JSON object text, or NULL: the keys of
 *                 morvex_compare_opts ("report" is read and checked but
 *                 changes nothing here), and
 *   "layout"        "overlay" (default): the report of morvex_visual;
 *                   "side_by_side": A's and B's pages side by side
 *   "changed_only"  true: leave identical page pairs out of the
 *                   side-by-side report (default false)
 *
 * NULL or "{}" writes the file of morvex_visual with more marks where it
 * knows more: style and drawing changes, a moved image's old place, and
 * link and annotation changes on their page.  Where the documents differ
 * in none of these the bytes are the same.  A file in which no page is
 * found fails with "no pages found: PATH".
 * Returns 1 when the report was written, 0 on failure;
 * morvex_last_error() then tells why.
 */
MORVEX_API int morvex_visual_opts(const char *path_a, const char *path_b,
                                  const char *out_path, const char *options);

#ifdef __cplusplus
}
#endif

#endif /* MORVEX_H */
