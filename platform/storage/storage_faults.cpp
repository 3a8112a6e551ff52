#include "platform/storage/storage_faults.h"

#include <sqlite3.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>

namespace marlo::storage_faults {

namespace {

constexpr std::size_t kKinds = 4;

std::array<std::atomic<int>, kKinds> counts{};
std::atomic<int> armedKind{-1};
std::atomic<int> armedAt{0};
std::atomic<bool> hasFailed{false};

std::size_t index(Call call) {
  return static_cast<std::size_t>(call);
}

}  // namespace

void failNth(Call call, int n) {
  reset();
  if (n <= 0) return;
  armedAt = n;
  armedKind = static_cast<int>(index(call));
}

void reset() {
  armedKind = -1;
  armedAt = 0;
  hasFailed = false;
  for (auto& count : counts) count = 0;
}

int calls(Call call) {
  return counts[index(call)].load();
}

bool failed() {
  return hasFailed.load();
}

bool shouldFail(Call call) {
  const int made = ++counts[index(call)];
  if (armedKind.load() != static_cast<int>(index(call)) || made != armedAt.load()) return false;
  hasFailed = true;
  return true;
}

// --- the SQLite file layer ----------------------------------------------------------------
//
// A file layer over the platform's own (the default one), passing every call through and
// counting those that change what is on the disk.

namespace {

sqlite3_vfs* below = nullptr;
sqlite3_vfs layer{};

// Our file: the lower layer's file lives right behind it.
struct File {
  sqlite3_file base;
  sqlite3_file* lower;
};

sqlite3_file* lowerOf(sqlite3_file* file) {
  return reinterpret_cast<File*>(file)->lower;
}

const sqlite3_io_methods& lowerMethods(sqlite3_file* file) {
  return *lowerOf(file)->pMethods;
}

int fileClose(sqlite3_file* file) {
  return lowerMethods(file).xClose(lowerOf(file));
}
int fileRead(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
  return lowerMethods(file).xRead(lowerOf(file), buffer, amount, offset);
}
int fileWrite(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
  if (shouldFail(Call::Write)) return SQLITE_IOERR_WRITE;
  return lowerMethods(file).xWrite(lowerOf(file), buffer, amount, offset);
}
int fileTruncate(sqlite3_file* file, sqlite3_int64 size) {
  if (shouldFail(Call::Write)) return SQLITE_IOERR_TRUNCATE;
  return lowerMethods(file).xTruncate(lowerOf(file), size);
}
int fileSync(sqlite3_file* file, int flags) {
  if (shouldFail(Call::Sync)) return SQLITE_IOERR_FSYNC;
  return lowerMethods(file).xSync(lowerOf(file), flags);
}
int fileSize(sqlite3_file* file, sqlite3_int64* size) {
  return lowerMethods(file).xFileSize(lowerOf(file), size);
}
int fileLock(sqlite3_file* file, int level) {
  return lowerMethods(file).xLock(lowerOf(file), level);
}
int fileUnlock(sqlite3_file* file, int level) {
  return lowerMethods(file).xUnlock(lowerOf(file), level);
}
int fileCheckReservedLock(sqlite3_file* file, int* result) {
  return lowerMethods(file).xCheckReservedLock(lowerOf(file), result);
}
int fileControl(sqlite3_file* file, int op, void* argument) {
  return lowerMethods(file).xFileControl(lowerOf(file), op, argument);
}
int fileSectorSize(sqlite3_file* file) {
  return lowerMethods(file).xSectorSize(lowerOf(file));
}
int fileDeviceCharacteristics(sqlite3_file* file) {
  return lowerMethods(file).xDeviceCharacteristics(lowerOf(file));
}
int fileShmMap(sqlite3_file* file, int page, int pageSize, int extend, void volatile** out) {
  const sqlite3_io_methods& m = lowerMethods(file);
  if (m.iVersion < 2 || m.xShmMap == nullptr) return SQLITE_IOERR_SHMMAP;
  return m.xShmMap(lowerOf(file), page, pageSize, extend, out);
}
int fileShmLock(sqlite3_file* file, int offset, int n, int flags) {
  const sqlite3_io_methods& m = lowerMethods(file);
  if (m.iVersion < 2 || m.xShmLock == nullptr) return SQLITE_IOERR_SHMLOCK;
  return m.xShmLock(lowerOf(file), offset, n, flags);
}
void fileShmBarrier(sqlite3_file* file) {
  const sqlite3_io_methods& m = lowerMethods(file);
  if (m.iVersion >= 2 && m.xShmBarrier != nullptr) m.xShmBarrier(lowerOf(file));
}
int fileShmUnmap(sqlite3_file* file, int deleteFlag) {
  const sqlite3_io_methods& m = lowerMethods(file);
  if (m.iVersion < 2 || m.xShmUnmap == nullptr) return SQLITE_OK;
  return m.xShmUnmap(lowerOf(file), deleteFlag);
}
int fileFetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
  const sqlite3_io_methods& m = lowerMethods(file);
  if (m.iVersion < 3 || m.xFetch == nullptr) {
    *out = nullptr;
    return SQLITE_OK;
  }
  return m.xFetch(lowerOf(file), offset, amount, out);
}
int fileUnfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
  const sqlite3_io_methods& m = lowerMethods(file);
  if (m.iVersion < 3 || m.xUnfetch == nullptr) return SQLITE_OK;
  return m.xUnfetch(lowerOf(file), offset, page);
}

const sqlite3_io_methods fileMethods = {
    3,
    fileClose,
    fileRead,
    fileWrite,
    fileTruncate,
    fileSync,
    fileSize,
    fileLock,
    fileUnlock,
    fileCheckReservedLock,
    fileControl,
    fileSectorSize,
    fileDeviceCharacteristics,
    fileShmMap,
    fileShmLock,
    fileShmBarrier,
    fileShmUnmap,
    fileFetch,
    fileUnfetch,
};

int layerOpen(sqlite3_vfs* /*self*/, sqlite3_filename name, sqlite3_file* file, int flags,
              int* outFlags) {
  File* ours = reinterpret_cast<File*>(file);
  ours->lower = reinterpret_cast<sqlite3_file*>(ours + 1);
  ours->base.pMethods = nullptr;
  const int rc = below->xOpen(below, name, ours->lower, flags, outFlags);
  // Without methods the file was never opened, and SQLite will not close it.
  if (ours->lower->pMethods != nullptr) ours->base.pMethods = &fileMethods;
  return rc;
}
int layerDelete(sqlite3_vfs* /*self*/, const char* name, int syncFolder) {
  if (shouldFail(Call::Remove)) return SQLITE_IOERR_DELETE;
  return below->xDelete(below, name, syncFolder);
}
int layerAccess(sqlite3_vfs* /*self*/, const char* name, int flags, int* result) {
  return below->xAccess(below, name, flags, result);
}
int layerFullPathname(sqlite3_vfs* /*self*/, const char* name, int size, char* out) {
  return below->xFullPathname(below, name, size, out);
}
void* layerDlOpen(sqlite3_vfs* /*self*/, const char* name) {
  return below->xDlOpen(below, name);
}
void layerDlError(sqlite3_vfs* /*self*/, int size, char* message) {
  below->xDlError(below, size, message);
}
void (*layerDlSym(sqlite3_vfs* /*self*/, void* handle, const char* symbol))(void) {
  return below->xDlSym(below, handle, symbol);
}
void layerDlClose(sqlite3_vfs* /*self*/, void* handle) {
  below->xDlClose(below, handle);
}
int layerRandomness(sqlite3_vfs* /*self*/, int size, char* out) {
  return below->xRandomness(below, size, out);
}
int layerSleep(sqlite3_vfs* /*self*/, int microseconds) {
  return below->xSleep(below, microseconds);
}
int layerCurrentTime(sqlite3_vfs* /*self*/, double* now) {
  return below->xCurrentTime(below, now);
}
int layerGetLastError(sqlite3_vfs* /*self*/, int size, char* out) {
  return below->xGetLastError(below, size, out);
}
int layerCurrentTimeInt64(sqlite3_vfs* /*self*/, sqlite3_int64* now) {
  return below->xCurrentTimeInt64(below, now);
}

}  // namespace

const char* sqliteFileLayer() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    below = sqlite3_vfs_find(nullptr);
    layer.iVersion = 2;
    layer.szOsFile = static_cast<int>(sizeof(File)) + below->szOsFile;
    layer.mxPathname = below->mxPathname;
    layer.zName = "marlo-counted";
    layer.xOpen = layerOpen;
    layer.xDelete = layerDelete;
    layer.xAccess = layerAccess;
    layer.xFullPathname = layerFullPathname;
    layer.xDlOpen = layerDlOpen;
    layer.xDlError = layerDlError;
    layer.xDlSym = layerDlSym;
    layer.xDlClose = layerDlClose;
    layer.xRandomness = layerRandomness;
    layer.xSleep = layerSleep;
    layer.xCurrentTime = layerCurrentTime;
    layer.xGetLastError = layerGetLastError;
    layer.xCurrentTimeInt64 = layerCurrentTimeInt64;
    sqlite3_vfs_register(&layer, 0);
  });
  return layer.zName;
}

}  // namespace marlo::storage_faults
