/*
 * Lists an archive through the library's C functions exactly as the Restore window does (a
 * probe open, the member count, then UnlhaFindFirst/UnlhaFindNext and UnlhaGetFileName for
 * every member, the archive's sizes, the count again), keeping each row as the window keeps it.
 *
 *   listing_bench ARCHIVE [--runs N] [--no-rows]
 *
 * Prints the members, the time of the fastest run, and the peak memory of the process with
 * the memory the rows themselves take; --no-rows drops each row at once, which leaves the
 * library's own memory.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

#include "unlha32.h"

typedef struct {
    char* name;
    DWORD original, packed, crc;
} Row;

static double now(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

static void add_row(Row** rows, size_t* n, size_t* cap, HARC h, const INDIVIDUALINFO* info,
                    int keep, size_t* row_bytes) {
    char name[UNLHA_NAME_SIZE];
    name[0] = '\0';
    UnlhaGetFileName(h, name, (int)sizeof name);
    if (!keep) return;
    if (*n == *cap) {
        *cap = *cap ? *cap * 2 : 1024;
        *rows = realloc(*rows, *cap * sizeof **rows);
        if (!*rows) exit(1);
    }
    Row* r = &(*rows)[(*n)++];
    r->name = strdup(name);
    r->original = info->dwOriginalSize;
    r->packed = info->dwCompressedSize;
    r->crc = info->dwCRC;
    *row_bytes += sizeof *r + strlen(name) + 1;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s ARCHIVE [--runs N] [--no-rows]\n", argv[0]);
        return 2;
    }
    const char* archive = argv[1];
    int runs = 1, keep = 1;
    for (int i = 2; i < argc; ++i) {
        if (strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = atoi(argv[++i]);
        if (strcmp(argv[i], "--no-rows") == 0) keep = 0;
    }
    double best = 1e9;
    size_t members = 0, row_bytes = 0;
    for (int run = 0; run < runs; ++run) {
        Row* rows = NULL;
        size_t n = 0, cap = 0;
        row_bytes = 0;
        const double t0 = now();
        HARC probe = UnlhaOpenArchive(NULL, archive, 5);
        if (UnlhaGetRunning() || probe) UnlhaCloseArchive(probe);
        const int count = UnlhaGetFileCount(archive);
        HARC h = UnlhaOpenArchive(NULL, archive, 0);
        INDIVIDUALINFO info;
        if (count >= 1 && UnlhaFindFirst(h, "*.*", &info) == 0) {
            add_row(&rows, &n, &cap, h, &info, keep, &row_bytes);
            for (int i = 1; i < count; ++i) {
                if (UnlhaFindNext(h, &info) != 0) break;
                add_row(&rows, &n, &cap, h, &info, keep, &row_bytes);
            }
        }
        volatile DWORD sizes = UnlhaGetArcFileSize(h) + UnlhaGetArcOriginalSize(h);
        (void)sizes;
        UnlhaCloseArchive(h);
        if (UnlhaGetFileCount(archive) != count) fprintf(stderr, "the count changed\n");
        const double t = now() - t0;
        if (t < best) best = t;
        members = keep ? n : (size_t)count;
        for (size_t i = 0; i < n; ++i) free(rows[i].name);
        free(rows);
    }
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    printf("%zu members, %.3f s, peak %ld KB, rows %zu KB\n", members, best, ru.ru_maxrss,
           row_bytes / 1024);
    return 0;
}
