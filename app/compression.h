// The program's binding to the compression library: the library's C functions called with the
// arguments the program keeps for them (the owner window's handle held as decimal text, the
// command line, the output buffer and its capacity).
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/core/text.h"

namespace app {

// The record the library's find calls fill; packed, 296 bytes. Only the first three fields
// are read by the program.
#pragma pack(push, 1)
struct ArchiveEntry {
  std::uint32_t DWORIGINALSIZE;
  std::uint32_t DWCOMPRESSEDSIZE;
  std::uint32_t DWCRC;
  std::uint16_t UFLAG;
  std::uint16_t UOSTYPE;
  std::uint16_t WRATIO;
  std::uint16_t WDATE;
  std::uint16_t WTIME;
  char SZFILENAME[255];
  char DUMMY1[3];
  char SZATTRIBUTE[8];
  char SZMODE[8];
};
#pragma pack(pop)
static_assert(sizeof(ArchiveEntry) == 296, "the library fills exactly 296 bytes");

using ArchiveHandle = void*;

// How the library gets on with one command, told before and after each member.
struct MemberProgress {
  bool done = false;        // false: the member is about to be stored; true: it has been
  std::string_view member;  // valid during the call only
  std::uint64_t filesDone = 0, filesTotal = 0;
  std::uint64_t bytesDone = 0, bytesTotal = 0;  // original sizes
  std::uint64_t packedDone = 0;                 // compressed bytes written so far
};
// Returns false to ask the library to stop after the member (the result is then
// kUnlhaCancelled, and an update leaves the archive as it was).
using ProgressFn = std::function<bool(const MemberProgress&)>;

inline constexpr int kUnlhaNoFiles = 8;
inline constexpr int kUnlhaCancelled = 13;

// Runs one command line. The capacity given to the library never exceeds the buffer's own,
// whatever `capacity` says, so the report can never be written past the buffer.
int Unlha(std::string_view ownerHandle, const marlo::HeapText& commandLine, marlo::HeapText& output,
          std::int32_t capacity);
// The same, telling `progress` (called on this thread) each member.
int UnlhaWithProgress(std::string_view ownerHandle, const marlo::HeapText& commandLine,
                      marlo::HeapText& output, std::int32_t capacity, const ProgressFn& progress);
// What the command line would store (files, folders and links) and the bytes of its files,
// without storing anything; the library's result.
int UnlhaCountFiles(std::string_view commandLine, std::uint64_t& files, std::uint64_t& bytes);

ArchiveHandle UnlhaOpenArchive(std::string_view ownerHandle, std::string_view archive,
                               std::uint32_t mode);
int UnlhaCloseArchive(ArchiveHandle archive);
bool UnlhaGetRunning();
int UnlhaGetFileCount(std::string_view archive);
int UnlhaFindFirst(ArchiveHandle archive, std::string_view wildName, ArchiveEntry& entry);
int UnlhaFindNext(ArchiveHandle archive, ArchiveEntry& entry);
int UnlhaGetFileName(ArchiveHandle archive, char* buffer, int capacity);
std::int32_t UnlhaGetArcFileSize(ArchiveHandle archive);
std::int32_t UnlhaGetArcOriginalSize(ArchiveHandle archive);
std::uint16_t UnlhaGetArcDate(ArchiveHandle archive);

// The lines of a library report, without the blank ones; they point into `report`.
std::vector<std::string_view> reportLines(std::string_view report);
// Of those lines, the ones that name what failed ("Error: ...", "Refused: ..."), without the
// closing line.
std::vector<std::string_view> failureLines(const std::vector<std::string_view>& lines);

}  // namespace app
