// The RTF reader's first half: bytes in, paragraphs with formatted runs out. It knows RTF's
// syntax (groups, control words, destinations, code pages, Unicode with its fallbacks) and the
// handful of properties the editor can show; everything else is read past. It never recurses, so
// neither nesting nor size of a hostile file can exhaust the stack, and it never fails: whatever
// it cannot make sense of is skipped.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

namespace marlo::richtext {

// Character properties of a run, resolved against the tables at the time they were set, so two
// runs format alike exactly when their properties compare equal.
struct CharProps {
  std::int32_t font = -1;        // index into RtfTables::fonts, -1: none given
  std::uint32_t color = 0;       // 0: automatic, else 0xFF000000 | 0xRRGGBB
  std::uint32_t background = 0;  // the same
  std::int16_t halfPoints = 24;  // font size in half points
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  std::int8_t vertical = 0;  // 0 baseline, 1 superscript, -1 subscript
  bool hidden = false;
  bool operator==(const CharProps&) const = default;
};

enum class ParaAlign : std::uint8_t { left, center, right, justify };

// The numbering styles a paragraph can carry; `none` for a plain paragraph.
enum class ListStyle : std::uint8_t {
  none,
  bullet,
  decimal,
  lowerLetter,
  upperLetter,
  lowerRoman,
  upperRoman
};

struct ParaProps {
  ParaAlign align = ParaAlign::left;
  ListStyle list = ListStyle::none;
  bool inTable = false;
  // Word-style lists (`\lsN`) join by override number and level wherever they appear; old-style
  // numbering (`\pn`) joins only neighbouring paragraphs. `listOverride` is 0 for the latter.
  std::int32_t listOverride = 0;
  std::int32_t listLevel = 0;
  // Indents and spacing in twips.
  std::int32_t leftIndent = 0;
  std::int32_t rightIndent = 0;
  std::int32_t firstIndent = 0;
  std::int32_t spaceBefore = 0;
  std::int32_t spaceAfter = 0;
};

struct Run {
  qsizetype start = 0;
  qsizetype length = 0;
  CharProps props;
};

struct RtfTables {
  std::vector<QString> fonts;     // family names by entry
  std::int32_t defaultFont = -1;  // the entry of `\deff`, -1 when the table has none
};

// One finished paragraph. Its text holds no paragraph separators; a line break inside it is
// U+2028, as the text document keeps it.
struct ParsedParagraph {
  QStringView text;
  std::span<const Run> runs;
  const ParaProps& props;
  const CharProps& mark;  // the paragraph mark's own format (the height of an empty line)
};

class RtfSink {
 public:
  virtual ~RtfSink() = default;
  virtual void paragraph(const ParsedParagraph& paragraph, const RtfTables& tables) = 0;
};

// Deeper groups than this are read past as if they were unknown destinations.
inline constexpr int kMaxGroupDepth = 512;

// Reads `rtf` from its first byte (which should open the document's group) and hands every
// paragraph to `sink` in order. Text after the document's closing brace is ignored; a file cut
// short ends its last paragraph where the bytes end.
void parseRtf(QByteArrayView rtf, RtfSink& sink);

}  // namespace marlo::richtext
