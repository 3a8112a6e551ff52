#include "app/restore/listing.h"

#include "app/restore/restore_commands.h"
#include "app/restore/restore_state.h"
#include "platform/core/number.h"

namespace app {

namespace {

constexpr std::string_view kFindAll = "*.*";
constexpr std::uint32_t kListMode = 0;
// The mode of the first open: it only serves to ask whether the library is busy.
constexpr std::uint32_t kProbeMode = 5;
constexpr std::size_t kSizeColumnWidth = 12;

}  // namespace

std::string groupedNumber(std::int64_t value, std::size_t width) {
  const std::string digits = std::to_string(value < 0 ? -static_cast<std::uint64_t>(value)
                                                      : static_cast<std::uint64_t>(value));
  std::string out = value < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  if (out.size() >= width) return out;
  return std::string(width - out.size(), ' ') + out;
}

std::string ListingQueue::cell(int row, int column) const {
  if (row < 1 || row > rowCount()) return {};
  const ListingEntry& e = entries_[static_cast<std::size_t>(row - 1)];
  switch (column) {
    case 0:
      return e.FILE_NAME_;
    case 1:
      return e.ORIGINAL_SIZE;
    case 2:
      return marlo::toText(e.COMPR_SIZE);
    case 3:
      return marlo::toText(e.CRC_);
    default:
      return {};
  }
}

std::string originalSizeText(std::uint32_t size) {
  if (size == 0) return "<DIR>";
  return groupedNumber(size, kSizeColumnWidth);
}

std::string NameBuffer::read(ArchiveHandle archive) {
  // Emptied first: when the library has no current member it writes nothing, and the entry
  // must not show the name of the member before.
  text_[0] = '\0';
  UnlhaGetFileName(archive, text_.data(), static_cast<int>(ListingEntry::kNameCapacity));
  // A copy of the name alone: a row that kept the whole buffer would hold a hundred kilobytes
  // for every member, and a large archive could not be listed.
  return std::string(text_.c_str());
}

ListingEntry entryFrom(ArchiveHandle archive, const ArchiveEntry& record, NameBuffer& names) {
  ListingEntry entry;
  entry.FILE_NAME_ = names.read(archive);
  entry.ORIGINAL_SIZE = originalSizeText(record.DWORIGINALSIZE);
  entry.COMPR_SIZE = record.DWCOMPRESSEDSIZE;
  entry.CRC_ = record.DWCRC;
  return entry;
}

void runListCommand() {
  glo::RestoreCMD = listCommandLine(glo::NAZ_REST.view());
  glo::OUT.clear();
  const int result = Unlha(glo::HWND.view(), glo::RestoreCMD, glo::OUT, glo::RestoreOutSize);
  glo::RestoreRESULT = marlo::toText(result);
}

void readArchiveListing() {
  const std::string archive(glo::NAZ_REST.view());
  const std::string_view owner = glo::HWND.view();

  // The probe handle is closed whatever the busy answer: left open, every listing would leave
  // an archive's member list behind in the library.
  const ArchiveHandle probe = UnlhaOpenArchive(owner, archive, kProbeMode);
  const bool busy = UnlhaGetRunning();
  if (busy || probe != nullptr) UnlhaCloseArchive(probe);

  glo::FILE_COUNT = UnlhaGetFileCount(archive);
  glo::ListingQueue.clear();
  const ArchiveHandle handle = UnlhaOpenArchive(owner, archive, kListMode);
  if (glo::FILE_COUNT >= 1) {
    NameBuffer names;
    UnlhaFindFirst(handle, kFindAll, glo::FirstEntry);
    glo::ListingQueue.add(entryFrom(handle, glo::FirstEntry, names));
    for (std::int32_t n = 1; n < glo::FILE_COUNT; ++n) {
      UnlhaFindNext(handle, glo::NextEntry);
      glo::ListingQueue.add(entryFrom(handle, glo::NextEntry, names));
    }
  }
  glo::ARC_FILE_SIZE = UnlhaGetArcFileSize(handle);
  glo::UNLHAGETARCORIGINALSIZE_ = UnlhaGetArcOriginalSize(handle);
  UnlhaCloseArchive(handle);
  glo::FILE_COUNT = UnlhaGetFileCount(archive);
}

}  // namespace app
