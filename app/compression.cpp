#include "app/compression.h"

#include <unlha32.h>

#include <algorithm>
#include <string>

#include "platform/core/number.h"

namespace app {

static_assert(sizeof(ArchiveEntry) == sizeof(INDIVIDUALINFO));
static_assert(kUnlhaNoFiles == UNLHA_ERROR_NO_FILES && kUnlhaCancelled == UNLHA_ERROR_CANCELLED);

namespace {

HWND ownerWindow(std::string_view handleText) {
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(marlo::toInteger(handleText)));
}

INDIVIDUALINFO* asLibraryEntry(ArchiveEntry& entry) {
  return reinterpret_cast<INDIVIDUALINFO*>(&entry);
}

DWORD outputSize(const marlo::HeapText& output, std::int32_t capacity) {
  return static_cast<DWORD>(
      std::clamp<std::int64_t>(capacity, 0, static_cast<std::int64_t>(output.capacity())));
}

int WINAPI tellProgress(const UNLHA_PROGRESS* step, void* context) {
  MemberProgress progress;
  progress.done = step->nStage == UNLHA_PROGRESS_DONE;
  progress.member = step->szMember;
  progress.filesDone = step->ullFilesDone;
  progress.filesTotal = step->ullFilesTotal;
  progress.bytesDone = step->ullBytesDone;
  progress.bytesTotal = step->ullBytesTotal;
  progress.packedDone = step->ullPackedDone;
  const bool goOn = (*static_cast<const ProgressFn*>(context))(progress);
  return goOn ? UNLHA_PROGRESS_CONTINUE : UNLHA_PROGRESS_STOP;
}

}  // namespace

int Unlha(std::string_view ownerHandle, const marlo::HeapText& commandLine, marlo::HeapText& output,
          std::int32_t capacity) {
  return ::Unlha(ownerWindow(ownerHandle), commandLine.c_str(), output.data(),
                 outputSize(output, capacity));
}

int UnlhaWithProgress(std::string_view ownerHandle, const marlo::HeapText& commandLine,
                      marlo::HeapText& output, std::int32_t capacity, const ProgressFn& progress) {
  return ::UnlhaWithProgress(ownerWindow(ownerHandle), commandLine.c_str(), output.data(),
                             outputSize(output, capacity), progress ? &tellProgress : nullptr,
                             const_cast<ProgressFn*>(&progress));
}

int UnlhaCountFiles(std::string_view commandLine, std::uint64_t& files, std::uint64_t& bytes) {
  return ::UnlhaCountFiles(std::string(commandLine).c_str(), &files, &bytes);
}

ArchiveHandle UnlhaOpenArchive(std::string_view ownerHandle, std::string_view archive,
                               std::uint32_t mode) {
  return ::UnlhaOpenArchive(ownerWindow(ownerHandle), std::string(archive).c_str(), mode);
}

int UnlhaCloseArchive(ArchiveHandle archive) {
  return ::UnlhaCloseArchive(archive);
}
bool UnlhaGetRunning() {
  return ::UnlhaGetRunning() == 1;
}
int UnlhaGetFileCount(std::string_view archive) {
  return ::UnlhaGetFileCount(std::string(archive).c_str());
}
int UnlhaFindFirst(ArchiveHandle archive, std::string_view wildName, ArchiveEntry& entry) {
  return ::UnlhaFindFirst(archive, std::string(wildName).c_str(), asLibraryEntry(entry));
}
int UnlhaFindNext(ArchiveHandle archive, ArchiveEntry& entry) {
  return ::UnlhaFindNext(archive, asLibraryEntry(entry));
}
int UnlhaGetFileName(ArchiveHandle archive, char* buffer, int capacity) {
  return ::UnlhaGetFileName(archive, buffer, capacity);
}
std::int32_t UnlhaGetArcFileSize(ArchiveHandle archive) {
  return static_cast<std::int32_t>(::UnlhaGetArcFileSize(archive));
}
std::int32_t UnlhaGetArcOriginalSize(ArchiveHandle archive) {
  return static_cast<std::int32_t>(::UnlhaGetArcOriginalSize(archive));
}
std::uint16_t UnlhaGetArcDate(ArchiveHandle archive) {
  return ::UnlhaGetArcDate(archive);
}

std::vector<std::string_view> reportLines(std::string_view report) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < report.size()) {
    std::size_t end = report.find('\n', start);
    if (end == std::string_view::npos) end = report.size();
    const std::string_view line = marlo::clip(report.substr(start, end - start));
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::vector<std::string_view> failureLines(const std::vector<std::string_view>& lines) {
  std::vector<std::string_view> failing;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i)
    if (lines[i].starts_with("Error:") || lines[i].starts_with("Refused:"))
      failing.push_back(lines[i]);
  return failing;
}

}  // namespace app
