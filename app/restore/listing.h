// The archive listing of the Restore window: one entry per member, filled from the records the
// library's find calls return, and the sequence of library calls that builds it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/compression.h"
#include "platform/window/binding.h"

namespace app {

// One member of the listing. Only the first four fields are shown and filled; the others keep
// the shape of the record the list was designed for.
struct ListingEntry {
  static constexpr std::size_t kNameCapacity = 99999;

  std::string FILE_NAME_;
  std::string ORIGINAL_SIZE;  // "<DIR>" or the size with thousands commas
  std::uint32_t COMPR_SIZE = 0;
  std::uint32_t CRC_ = 0;
  std::int32_t DATE_ = 0;
  std::uint16_t FLAG_ = 0;
  std::uint16_t OS_TYPE = 0;
  std::uint16_t RATIO = 0;
  std::int32_t TIME_ = 0;
  std::string DUMY;
  std::string ATRIBUTI;
  std::string MOD;
};

// A whole number with a comma between groups of three digits, right-aligned in `width`
// characters; a wider number is shown whole.
[[nodiscard]] std::string groupedNumber(std::int64_t value, std::size_t width);

// The members in listing order, as the list control reads them: the name, the original size
// text, and the compressed size and the CRC as raw values for their columns' pictures.
class ListingQueue : public marlo::win::ListSource {
 public:
  void clear() { entries_.clear(); }
  void add(ListingEntry entry) { entries_.push_back(std::move(entry)); }
  [[nodiscard]] const std::vector<ListingEntry>& entries() const { return entries_; }

  [[nodiscard]] int rowCount() const override { return static_cast<int>(entries_.size()); }
  [[nodiscard]] std::string cell(int row, int column) const override;

 private:
  std::vector<ListingEntry> entries_;
};

// The Original size column's text: "<DIR>" for 0, otherwise the size with a comma between
// groups of three digits, right-aligned in 12 characters. A size of a thousand million bytes
// or more no longer fits 12 characters and is shown whole, one character wider: cutting it
// would show another number.
[[nodiscard]] std::string originalSizeText(std::uint32_t size);

// Where the library writes a member's name: as long as the longest name a row can hold. One
// serves a whole listing; the rows keep only their names' own length.
class NameBuffer {
 public:
  NameBuffer() : text_(ListingEntry::kNameCapacity + 1, '\0') {}
  // The name of the archive's current member, or empty text when the library wrote none.
  [[nodiscard]] std::string read(ArchiveHandle archive);

 private:
  std::string text_;
};

// An entry from a record the find calls filled; the name is what the library gives for the
// archive's current member.
[[nodiscard]] ListingEntry entryFrom(ArchiveHandle archive, const ArchiveEntry& record,
                                     NameBuffer& names);

// Runs the list command for the chosen archive (glo::NAZ_REST) into glo::OUT, with its
// result in glo::RestoreRESULT.
void runListCommand();

// Reads the chosen archive's members into glo::ListingQueue and its totals and count into
// glo::ARC_FILE_SIZE, glo::UNLHAGETARCORIGINALSIZE_ and glo::FILE_COUNT.
void readArchiveListing();

}  // namespace app
