/* A complete host of the morvex library: compares two PDF files, prints
 * the differences and writes a visual report.
 *
 *   cc host.c -o host $(pkg-config --cflags --libs morvex)
 *   ./host old.pdf new.pdf report.pdf
 */
#include <stdio.h>
#include <string.h>

#include <morvex.h>

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s A.pdf B.pdf REPORT.pdf\n", argv[0]);
        return 2;
    }
    morvex_init();

    /* Every difference, page by page.  The text belongs to the library and
     * stays valid until the next comparison or morvex_cleanup(). */
    const char *json = morvex_compare(argv[1], argv[2]);
    if (!json) {
        fprintf(stderr, "compare failed: %s\n", morvex_last_error());
        morvex_cleanup();
        return 2;
    }
    int identical = strncmp(json, "{\"identical\":true", 17) == 0;
    printf("%s\n", json);

    /* The text differences with the changed text itself. */
    const char *text = morvex_text(argv[1], argv[2]);
    if (text) printf("%s\n", text);

    /* A PDF with every page and its differences marked in red. */
    if (!morvex_visual(argv[1], argv[2], argv[3])) {
        fprintf(stderr, "visual report failed: %s\n", morvex_last_error());
        morvex_cleanup();
        return 2;
    }
    printf("report written to %s\n", argv[3]);

    morvex_cleanup();
    return identical ? 0 : 1;
}
