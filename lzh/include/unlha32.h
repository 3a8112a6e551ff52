/*
 * unlha32.h - the C interface of the Marlo LZH library (shared library libunlha32.so).
 *
 * The functions keep the names, argument order and types of the classic UNLHA32 interface so
 * that callers written for it work unchanged. Windows types are given C equivalents below:
 *
 *   HWND   an opaque owner-window value. It is accepted and ignored: the library never shows a
 *          window or asks a question.
 *   HARC   an opaque archive handle from UnlhaOpenArchive; NULL means failure. Unknown or
 *          already closed handles are detected and rejected, never dereferenced.
 *   BOOL, WORD, DWORD, UINT, LPSTR, LPCSTR  as on Windows (DWORD and UINT are 32-bit).
 *   WINAPI expands to nothing (the platform's C calling convention).
 *
 * Text is single-byte (paths as bytes, names as stored in the archive). Member names are handed
 * out as a listing shows them: control characters, which no caller can show or pass back on a
 * command line, appear escaped (a line break as the two characters \n, ESC as \x1b), all other
 * bytes as stored. Commands accept a name in that form as a file pattern for the member.
 * Every function may be called from several threads at once; each handle is separate.
 *
 * Commands, switches, return codes and the report text are described in lzh/README.md.
 */
#ifndef MARLO_UNLHA32_H
#define MARLO_UNLHA32_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef WINAPI
#define WINAPI
#endif

#if defined(__GNUC__)
#define UNLHA_API __attribute__((visibility("default")))
#else
#define UNLHA_API
#endif

typedef void* HWND;
typedef void* HARC;
typedef int BOOL;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef char* LPSTR;
typedef const char* LPCSTR;

/* Return codes of Unlha() (and exit codes of the unlha tool). */
#define UNLHA_OK 0
#define UNLHA_ERROR_USAGE 2        /* unknown command or switch, no archive name */
#define UNLHA_ERROR_NO_ARCHIVE 3   /* the archive cannot be opened */
#define UNLHA_ERROR_NOT_ARCHIVE 4  /* the file is not an LZH archive */
#define UNLHA_ERROR_DAMAGED 5      /* a header or member data fails its checks */
#define UNLHA_ERROR_IO 6           /* a file could not be read or written */
#define UNLHA_ERROR_UNSAFE_PATH 7  /* members refused: they would land outside the destination */
#define UNLHA_ERROR_NO_FILES 8     /* no file or member matched */
#define UNLHA_ERROR_SKIPPED 9      /* existing files left alone (no -c) */
#define UNLHA_ERROR_UNSUPPORTED 10 /* a member's method cannot be decoded */
#define UNLHA_ERROR_NO_MEMORY 11
#define UNLHA_ERROR_HANDLE 12    /* an unknown archive handle or a null argument */
#define UNLHA_ERROR_CANCELLED 13 /* the progress callback asked to stop */

#define UNLHA_NAME_SIZE 255

/* One member as filled in by UnlhaFindFirst/UnlhaFindNext: packed, 296 bytes. */
#pragma pack(push, 1)
typedef struct {
    DWORD dwOriginalSize;   /* original size; a member of 4 GiB or more reads 0xFFFFFFFF */
    DWORD dwCompressedSize; /* packed size, likewise limited */
    DWORD dwCRC;            /* CRC-16 of the original data */
    WORD uFlag;             /* 0 */
    WORD uOSType;           /* 0 MS-DOS, 1 OS/2, 3 Unix, 4 Mac, 7 Windows, 0xFFFF other */
    WORD wRatio;            /* packed size in per mille of the original */
    WORD wDate;             /* DOS date of the member's time (local time) */
    WORD wTime;             /* DOS time */
    char szFileName[UNLHA_NAME_SIZE]; /* path as shown, '/'-separated, zero-terminated, cut */
    char dummy1[3];
    char szAttribute[8]; /* "d" folder, "l" link, "-" file, then "rw"/"r-" of the owner */
    char szMode[8];      /* method, e.g. "-lh5-" */
} INDIVIDUALINFO;
#pragma pack(pop)

/* Runs one command line (see README); writes the report into szOutput, always zero-terminated
 * within dwSize bytes. Returns UNLHA_OK or an error code. */
UNLHA_API int WINAPI Unlha(HWND hwnd, LPCSTR szCmdLine, LPSTR szOutput, DWORD dwSize);

/* How a command started by UnlhaWithProgress() gets on, handed to its callback. */
typedef struct {
    DWORD dwStructSize;     /* sizeof(UNLHA_PROGRESS) */
    int nCommand;           /* the command letter: 'a', 'u', 't', 'x' or 'e' */
    int nStage;             /* UNLHA_PROGRESS_STARTING or UNLHA_PROGRESS_DONE */
    LPCSTR szMember;        /* the member, named as listings show it; valid during the call only */
    uint64_t ullFilesDone;  /* members done (files, folders and links count one each) */
    uint64_t ullFilesTotal; /* members the command will work on, counted before the first */
    uint64_t ullBytesDone;  /* original bytes of the members done */
    uint64_t ullBytesTotal; /* original bytes of all of them */
    uint64_t ullPackedDone; /* a, u: compressed bytes written for the members done; else 0 */
} UNLHA_PROGRESS;

#define UNLHA_PROGRESS_STARTING 0 /* the member is about to be stored, tested or extracted */
#define UNLHA_PROGRESS_DONE 1     /* it has been (or it failed: the report says why) */

/* Returns UNLHA_PROGRESS_CONTINUE to go on; UNLHA_PROGRESS_STOP (or any other value) ends the
 * command early. */
typedef int(WINAPI* UNLHA_PROGRESS_PROC)(const UNLHA_PROGRESS* progress, void* context);
#define UNLHA_PROGRESS_CONTINUE 0
#define UNLHA_PROGRESS_STOP 1

/* Unlha() with a progress callback (see README): `proc` is called with `context` before and
 * after every member that a, u, t, x or e works on, on the calling thread, never after the call
 * has returned. When it answers UNLHA_PROGRESS_STOP the command ends there and returns
 * UNLHA_ERROR_CANCELLED with a report line "Cancelled after N of M members": a and u leave the
 * archive exactly as it was, x and e keep the files already extracted, t tests no further.
 * With `proc` NULL this is Unlha(). */
UNLHA_API int WINAPI UnlhaWithProgress(HWND hwnd, LPCSTR szCmdLine, LPSTR szOutput, DWORD dwSize,
                                       UNLHA_PROGRESS_PROC proc, void* context);

/* What a command line would work on, without doing it: for a and u the files, folders and
 * links it would store and the bytes of the files (a walk over the folders and, for u, the
 * archive's headers), for t, x and e the members it selects and their original bytes (a walk
 * over the headers). The same totals the progress callback is given. Other commands count 0.
 * Returns UNLHA_OK, or the error that cut the count short (a bad command line, a missing or
 * damaged archive, a folder that does not exist); what was counted until then is given.
 * Either pointer may be NULL. */
UNLHA_API int WINAPI UnlhaCountFiles(LPCSTR szCmdLine, uint64_t* pullFiles, uint64_t* pullBytes);

/* 1 while a command started by Unlha() is running in any thread, else 0. */
UNLHA_API BOOL WINAPI UnlhaGetRunning(void);

/* Opens an archive for listing. `dwMode` is accepted for compatibility and has no effect (every
 * mode opens for reading). The headers are read as UnlhaFindFirst/UnlhaFindNext walk them, one
 * member at a time, from the archive as it was when it was opened. Returns NULL when the
 * archive cannot be opened or is not an LZH archive; members before any damage are listed. */
UNLHA_API HARC WINAPI UnlhaOpenArchive(HWND hwnd, LPCSTR szFileName, DWORD dwMode);
/* Returns 0, or UNLHA_ERROR_HANDLE for an unknown handle. */
UNLHA_API int WINAPI UnlhaCloseArchive(HARC harc);

/* Number of members, or -1 when the archive cannot be read. */
UNLHA_API int WINAPI UnlhaGetFileCount(LPCSTR szArcFile);

/* Finds the first member matching szWildName ("*.*" for all; NULL or "" also means all) and
 * fills *lpSubInfo (which may be NULL). Returns 0 when found, -1 at the end, or an error code. */
UNLHA_API int WINAPI UnlhaFindFirst(HARC harc, LPCSTR szWildName, INDIVIDUALINFO* lpSubInfo);
/* The next matching member; 0 found, -1 at the end. */
UNLHA_API int WINAPI UnlhaFindNext(HARC harc, INDIVIDUALINFO* lpSubInfo);

/* The current member's full path as shown (see above), zero-terminated and cut to nSize bytes.
 * Returns 0, or an error code (nothing is written when there is no current member). */
UNLHA_API int WINAPI UnlhaGetFileName(HARC harc, LPSTR lpBuffer, int nSize);

/* Totals over all members of the archive the handle opened (also when the file has been replaced
 * since); asking them does not move a walk. Callers often keep these as signed 32-bit numbers,
 * so a total above 2147483647 is reported as 2147483647 rather than wrapping negative. */
UNLHA_API DWORD WINAPI UnlhaGetArcFileSize(HARC harc);
UNLHA_API DWORD WINAPI UnlhaGetArcOriginalSize(HARC harc);
/* The archive file's modification date (DOS date, local time), 0 on error. */
UNLHA_API WORD WINAPI UnlhaGetArcDate(HARC harc);

#ifdef __cplusplus
}
#endif

#endif /* MARLO_UNLHA32_H */
