/* The C interface used from C, as the backup program's binding does: the header compiles as C,
 * the record is 296 bytes, and listing walks every member. Returns 0 when all checks pass. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "unlha32.h"

typedef char check_record_size[sizeof(INDIVIDUALINFO) == 296 ? 1 : -1];
typedef char check_name_offset[offsetof(INDIVIDUALINFO, szFileName) == 22 ? 1 : -1];

#define CHECK(c)                                                            \
    do {                                                                    \
        if (!(c)) {                                                         \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #c); \
            return 1;                                                       \
        }                                                                   \
    } while (0)

/* archive: an archive holding `expected` members; folder: a folder holding a file "c.txt". */
int capi_c_checks(const char* archive, int expected, const char* folder) {
    static char out[999999];
    char cmd[4096];
    INDIVIDUALINFO first, next;
    char name[255];
    HARC h;
    int n, i;

    snprintf(cmd, sizeof cmd, "-l1 %s", archive);
    CHECK(Unlha((HWND)0, cmd, out, sizeof out) == UNLHA_OK);
    CHECK(strlen(out) > 0 && strlen(out) < sizeof out);
    CHECK(UnlhaGetRunning() == 0);

    n = UnlhaGetFileCount(archive);
    CHECK(n == expected);
    h = UnlhaOpenArchive((HWND)0, archive, 0);
    CHECK(h != NULL);
    CHECK(UnlhaFindFirst(h, "*.*", &first) == 0);
    CHECK(UnlhaGetFileName(h, name, sizeof name) == 0);
    CHECK(strcmp(name, first.szFileName) == 0);
    for (i = 1; i < n; ++i) {
        CHECK(UnlhaFindNext(h, &next) == 0);
        CHECK(UnlhaGetFileName(h, name, sizeof name) == 0);
        CHECK(strcmp(name, next.szFileName) == 0);
    }
    CHECK(UnlhaFindNext(h, &next) == -1);
    CHECK(UnlhaGetArcOriginalSize(h) > 0);
    CHECK(UnlhaGetArcFileSize(h) > 0);
    CHECK(UnlhaCloseArchive(h) == 0);
    CHECK(UnlhaCloseArchive(h) == UNLHA_ERROR_HANDLE); /* a closed handle is refused */
    CHECK(UnlhaFindFirst(h, "*.*", &first) == UNLHA_ERROR_HANDLE);

    /* A tiny buffer still ends in a zero byte; an unknown switch is an error. */
    memset(out, 'X', 16);
    CHECK(Unlha((HWND)0, "a x.lzh y -unknown", out, 16) == UNLHA_ERROR_USAGE);
    CHECK(memchr(out, '\0', 16) != NULL);

    snprintf(cmd, sizeof cmd, "u %s \"%s\"\\*.* -x1 -r", archive, folder);
    CHECK(Unlha((HWND)0, cmd, out, sizeof out) == UNLHA_OK);
    CHECK(UnlhaGetFileCount(archive) == expected + 1);
    return 0;
}
