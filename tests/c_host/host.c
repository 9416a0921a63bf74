/* A C host that loads the shared library with dlopen, finds the six
 * functions by their unmangled names and drives the documented calling
 * order.  usage: host LIBRARY A.pdf B.pdf SCRATCH_DIR */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int (*init_fn)(void);
typedef void (*cleanup_fn)(void);
typedef const char *(*error_fn)(void);
typedef const char *(*json_fn)(const char *, const char *);
typedef int (*visual_fn)(const char *, const char *, const char *);

static int failures = 0;

#define CHECK(cond)                                                      \
    do {                                                                 \
        if (!(cond)) {                                                   \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                  \
        }                                                                \
    } while (0)

static void *must(void *lib, const char *name) {
    void *f = dlsym(lib, name);
    if (!f) {
        fprintf(stderr, "missing symbol %s: %s\n", name, dlerror());
        exit(1);
    }
    return f;
}

int main(int argc, char **argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: host LIBRARY A.pdf B.pdf SCRATCH_DIR\n");
        return 2;
    }
    void *lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    init_fn init = (init_fn)must(lib, "morvex_init");
    cleanup_fn cleanup = (cleanup_fn)must(lib, "morvex_cleanup");
    error_fn last_error = (error_fn)must(lib, "morvex_last_error");
    json_fn compare = (json_fn)must(lib, "morvex_compare");
    json_fn text = (json_fn)must(lib, "morvex_text");
    visual_fn visual = (visual_fn)must(lib, "morvex_visual");
    CHECK(dlsym(lib, "doc_load") == NULL);
    CHECK(dlsym(lib, "_ZN6morvex8doc_loadEPKcPNS_11PdfDocumentE") == NULL);

    const char *a = argv[2], *b = argv[3];
    char missing[4096];
    snprintf(missing, sizeof missing, "%s/does-not-exist.pdf", argv[4]);

    /* Before anything: an empty message, never null. */
    CHECK(last_error() != NULL && last_error()[0] == 0);
    CHECK(init() == 1);

    const char *report = compare(a, b);
    CHECK(report != NULL);
    char *copy = strdup(report ? report : "");
    CHECK(strncmp(copy, "{\"identical\":false,", 19) == 0);
    CHECK(last_error()[0] == 0);

    /* A failed call leaves its message, and the earlier report readable. */
    CHECK(compare(a, missing) == NULL);
    char want[4200];
    snprintf(want, sizeof want, "cannot open file: %s", missing);
    CHECK(strcmp(last_error(), want) == 0);
    CHECK(report != NULL && strcmp(report, copy) == 0);
    CHECK(text(missing, b) == NULL);
    CHECK(report != NULL && strcmp(report, copy) == 0);

    /* A successful call clears the message. */
    const char *same = text(a, a);
    CHECK(same != NULL && strncmp(same, "{\"identical\":true,", 18) == 0);
    CHECK(last_error()[0] == 0);

    CHECK(visual(a, b, NULL) == 0);
    CHECK(strcmp(last_error(), "NULL output path") == 0);
    CHECK(compare(NULL, b) == NULL);
    CHECK(strcmp(last_error(), "NULL path") == 0);

    /* Cleanup twice, then the library still works. */
    cleanup();
    cleanup();
    CHECK(last_error()[0] == 0);
    report = compare(a, b);
    CHECK(report != NULL && strcmp(report, copy) == 0);
    cleanup();

    free(copy);
    dlclose(lib);
    if (failures) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    printf("c host: all checks passed\n");
    return 0;
}
