// Windows code pages as RTF files use them: `\ansicpg`, a font's `\fcharset` or `\cpg`, and the
// 8-bit text of `\'hh`. Single-byte pages decode through a 256-entry table built once from the
// system's converter; pages with lead bytes (the East Asian ones) go through the converter
// itself, a whole byte sequence at a time.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <array>
#include <utility>

namespace marlo::richtext {

class CodePage {
 public:
  // The page for a Windows code-page number; a number that names no page, or one the system
  // cannot convert, gives 1252, the page most files without a usable declaration were written in.
  static const CodePage& get(int number);

  [[nodiscard]] int number() const { return number_; }
  [[nodiscard]] bool singleByte() const { return singleByte_; }
  // Single-byte pages only.
  [[nodiscard]] char16_t map(unsigned char byte) const { return table_[byte]; }
  // Any page: a whole sequence, so lead and trail bytes meet.
  [[nodiscard]] QString decode(QByteArrayView bytes) const;
  // The byte that stands for `c` on this single-byte page, or 0 when it has none.
  [[nodiscard]] unsigned char encode(char16_t c) const;

  CodePage(int number, bool singleByte);

 private:
  int number_;
  bool singleByte_;
  char16_t table_[256];
  // The upper half again, sorted by character, for `encode`.
  std::array<std::pair<char16_t, unsigned char>, 128> reverse_{};
};

// The code page of a font's `\fcharset`; 0 when the charset names none (the default charset),
// so the document's page applies.
int codePageForCharset(int charset);

}  // namespace marlo::richtext
