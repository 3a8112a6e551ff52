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

std::string withThousands(std::uint32_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  out.reserve(digits.size() + digits.size() / 3);
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

}  // namespace

std::string ListingQueue::cell(int row, int column) const {
  if (row < 1 || row > rowCount()) return {};
  const ListingEntry& e = entries_[static_cast<std::size_t>(row - 1)];
  switch (column) {
    case 0: return e.FILE_NAME_;
    case 1: return e.ORIGINAL_SIZE;
    case 2: return marlo::toText(e.COMPR_SIZE);
    case 3: return marlo::toText(e.CRC_);
    default: return {};
  }
}

std::string originalSizeText(std::uint32_t size) {
  if (size == 0) return "<DIR>";
  const std::string text = withThousands(size);
  if (text.size() >= kSizeColumnWidth) return text;
  return std::string(kSizeColumnWidth - text.size(), ' ') + text;
}

ListingEntry entryFrom(ArchiveHandle archive, const ArchiveEntry& record) {
  // Cleared first: when the library has no current member it writes nothing, and the entry
  // must not show the name of the member before.
  std::string name(ListingEntry::kNameCapacity + 1, '\0');
  UnlhaGetFileName(archive, name.data(), static_cast<int>(ListingEntry::kNameCapacity));
  name.resize(name.find('\0'));
  ListingEntry entry;
  entry.FILE_NAME_ = std::move(name);
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
    UnlhaFindFirst(handle, kFindAll, glo::FirstEntry);
    glo::ListingQueue.add(entryFrom(handle, glo::FirstEntry));
    for (std::int32_t n = 1; n < glo::FILE_COUNT; ++n) {
      UnlhaFindNext(handle, glo::NextEntry);
      glo::ListingQueue.add(entryFrom(handle, glo::NextEntry));
    }
  }
  glo::ARC_FILE_SIZE = UnlhaGetArcFileSize(handle);
  glo::UNLHAGETARCORIGINALSIZE_ = UnlhaGetArcOriginalSize(handle);
  UnlhaCloseArchive(handle);
  glo::FILE_COUNT = UnlhaGetFileCount(archive);
}

}  // namespace app
