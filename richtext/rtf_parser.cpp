#include "richtext/rtf_parser.h"

#include <algorithm>
#include <climits>
#include <string_view>
#include <unordered_map>

#include "richtext/code_pages.h"

namespace marlo::richtext {

namespace {

// Where the text of a group goes.
enum class Dest : std::uint8_t {
  text,  // the document
  skip,  // nowhere: a destination we do not read
  fontTable,
  colorTable,
  listTable,
  listOverrideTable,
  pn,   // old-style paragraph numbering of the enclosing paragraph
  upr,  // an ANSI copy whose Unicode twin (`\ud`) follows
};

struct State {
  CharProps chars;
  ParaProps para;
  Dest dest = Dest::text;
  Dest uprOuter = Dest::text;  // where `\ud` inside an `\upr` group sends its text
  std::int32_t uc = 1;         // fallback characters that follow each `\uN`
};

// Every control word the reader acts on; the rest are read past.
enum class Word : std::uint8_t {
  unknown,
  // document
  ansi,
  mac,
  pc,
  pca,
  ansicpg,
  deff,
  uc,
  u,
  bin,
  // destinations read past
  skipDest,
  // destinations read
  fonttbl,
  colortbl,
  listtable,
  listoverridetable,
  pn,
  upr,
  ud,
  field,
  fldrslt,
  result,
  object,
  // font and colour tables
  f,
  fcharset,
  cpg,
  red,
  green,
  blue,
  // list tables
  list,
  listlevel,
  levelnfc,
  listid,
  listoverride,
  ls,
  ilvl,
  // old-style numbering
  pnlvlblt,
  pnlvlbody,
  pnlvl,
  pnlvlcont,
  pndec,
  pnucrm,
  pnlcrm,
  pnucltr,
  pnlcltr,
  // text
  par,
  line,
  tab,
  page,
  sect,
  cell,
  nestcell,
  row,
  nestrow,
  intbl,
  emdash,
  endash,
  bullet,
  lquote,
  rquote,
  ldblquote,
  rdblquote,
  emspace,
  enspace,
  qmspace,
  zwj,
  zwnj,
  ltrmark,
  rtlmark,
  // character format
  plain,
  b,
  i,
  ul,
  ulnone,
  strike,
  striked,
  fs,
  cf,
  cb,
  highlight,
  super,
  sub,
  nosupersub,
  v,
  // paragraph format
  pard,
  ql,
  qc,
  qr,
  qj,
  li,
  ri,
  fi,
  sb,
  sa,
};

const std::unordered_map<std::string_view, Word>& words() {
  static const std::unordered_map<std::string_view, Word> table = [] {
    std::unordered_map<std::string_view, Word> t = {
        {"ansi", Word::ansi},
        {"mac", Word::mac},
        {"pc", Word::pc},
        {"pca", Word::pca},
        {"ansicpg", Word::ansicpg},
        {"deff", Word::deff},
        {"uc", Word::uc},
        {"u", Word::u},
        {"bin", Word::bin},
        {"fonttbl", Word::fonttbl},
        {"colortbl", Word::colortbl},
        {"listtable", Word::listtable},
        {"listoverridetable", Word::listoverridetable},
        {"pn", Word::pn},
        {"upr", Word::upr},
        {"ud", Word::ud},
        {"field", Word::field},
        {"fldrslt", Word::fldrslt},
        {"result", Word::result},
        {"object", Word::object},
        {"f", Word::f},
        {"fcharset", Word::fcharset},
        {"cpg", Word::cpg},
        {"red", Word::red},
        {"green", Word::green},
        {"blue", Word::blue},
        {"list", Word::list},
        {"listlevel", Word::listlevel},
        {"levelnfc", Word::levelnfc},
        {"levelnfcn", Word::levelnfc},
        {"listid", Word::listid},
        {"listoverride", Word::listoverride},
        {"ls", Word::ls},
        {"ilvl", Word::ilvl},
        {"pnlvlblt", Word::pnlvlblt},
        {"pnlvlbody", Word::pnlvlbody},
        {"pnlvl", Word::pnlvl},
        {"pnlvlcont", Word::pnlvlcont},
        {"pndec", Word::pndec},
        {"pncard", Word::pndec},
        {"pnord", Word::pndec},
        {"pnordt", Word::pndec},
        {"pncardt", Word::pndec},
        {"pnucrm", Word::pnucrm},
        {"pnlcrm", Word::pnlcrm},
        {"pnucltr", Word::pnucltr},
        {"pnlcltr", Word::pnlcltr},
        {"par", Word::par},
        {"line", Word::line},
        {"tab", Word::tab},
        {"page", Word::page},
        {"sect", Word::sect},
        {"column", Word::page},
        {"cell", Word::cell},
        {"nestcell", Word::nestcell},
        {"row", Word::row},
        {"nestrow", Word::nestrow},
        {"intbl", Word::intbl},
        {"emdash", Word::emdash},
        {"endash", Word::endash},
        {"bullet", Word::bullet},
        {"lquote", Word::lquote},
        {"rquote", Word::rquote},
        {"ldblquote", Word::ldblquote},
        {"rdblquote", Word::rdblquote},
        {"emspace", Word::emspace},
        {"enspace", Word::enspace},
        {"qmspace", Word::qmspace},
        {"zwj", Word::zwj},
        {"zwnj", Word::zwnj},
        {"ltrmark", Word::ltrmark},
        {"rtlmark", Word::rtlmark},
        {"plain", Word::plain},
        {"b", Word::b},
        {"i", Word::i},
        {"ul", Word::ul},
        {"ulnone", Word::ulnone},
        {"strike", Word::strike},
        {"striked", Word::striked},
        {"fs", Word::fs},
        {"cf", Word::cf},
        {"cb", Word::cb},
        {"chcbpat", Word::cb},
        {"highlight", Word::highlight},
        {"super", Word::super},
        {"sub", Word::sub},
        {"nosupersub", Word::nosupersub},
        {"v", Word::v},
        {"pard", Word::pard},
        {"ql", Word::ql},
        {"qc", Word::qc},
        {"qr", Word::qr},
        {"qj", Word::qj},
        {"qd", Word::qj},
        {"li", Word::li},
        {"lin", Word::li},
        {"ri", Word::ri},
        {"rin", Word::ri},
        {"fi", Word::fi},
        {"sb", Word::sb},
        {"sa", Word::sa},
    };
    // Every kind of underline the file may ask for shows as the one underline the editor has.
    for (std::string_view w :
         {"uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth", "ulthd",
          "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw", "ulwave"})
      t.emplace(w, Word::ul);
    // Destinations whose text is not part of the document: headers, notes, pictures, document
    // information, tables of styles and the like, and the number text of list paragraphs
    // (the list itself carries the numbering).
    for (std::string_view w : {"aftncn",
                               "aftnsep",
                               "aftnsepc",
                               "annotation",
                               "atnauthor",
                               "atndate",
                               "atnicn",
                               "atnid",
                               "atnparent",
                               "atnref",
                               "atntime",
                               "atrfend",
                               "atrfstart",
                               "author",
                               "bkmkend",
                               "bkmkstart",
                               "buptim",
                               "category",
                               "comment",
                               "company",
                               "creatim",
                               "datafield",
                               "do",
                               "doccomm",
                               "docvar",
                               "falt",
                               "fldinst",
                               "fname",
                               "footer",
                               "footerf",
                               "footerl",
                               "footerr",
                               "footnote",
                               "formfield",
                               "ftncn",
                               "ftnsep",
                               "ftnsepc",
                               "generator",
                               "header",
                               "headerf",
                               "headerl",
                               "headerr",
                               "hlinkbase",
                               "info",
                               "keywords",
                               "levelnumbers",
                               "leveltext",
                               "lfolevel",
                               "listname",
                               "listpicture",
                               "listtext",
                               "manager",
                               "nesttableprops",
                               "nextfile",
                               "nonesttables",
                               "nonshppict",
                               "objclass",
                               "objdata",
                               "objname",
                               "operator",
                               "panose",
                               "pict",
                               "pntext",
                               "pntxta",
                               "pntxtb",
                               "printim",
                               "private",
                               "propname",
                               "revtbl",
                               "revtim",
                               "rsidtbl",
                               "rxe",
                               "shp",
                               "shpinst",
                               "shppict",
                               "shprslt",
                               "shptxt",
                               "sn",
                               "sp",
                               "staticval",
                               "stylesheet",
                               "subject",
                               "sv",
                               "tc",
                               "template",
                               "title",
                               "txe",
                               "userprops",
                               "xe",
                               "xmlnstbl",
                               "filetbl",
                               "latentstyles",
                               "themedata",
                               "colorschememapping",
                               "datastore",
                               "pgdsctbl"})
      t.emplace(w, Word::skipDest);
    return t;
  }();
  return table;
}

// Destinations a `\*` may introduce that the reader still takes in.
bool readsStarred(Word w) {
  switch (w) {
    case Word::listtable:
    case Word::listoverridetable:
    case Word::pn:
    case Word::ud:
      return true;
    default:
      return false;
  }
}

ListStyle styleOfLevelNumbering(std::int32_t nfc) {
  switch (nfc) {
    case 1:
      return ListStyle::upperRoman;
    case 2:
      return ListStyle::lowerRoman;
    case 3:
      return ListStyle::upperLetter;
    case 4:
      return ListStyle::lowerLetter;
    case 23:
      return ListStyle::bullet;
    case 255:
      return ListStyle::none;
    default:
      return ListStyle::decimal;
  }
}

std::int32_t clampTwips(std::int32_t v) {
  // About 56 cm either way: more than any page, and a hostile value cannot make the layout huge.
  return std::clamp<std::int32_t>(v, -32000, 32000);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isPlainAscii(unsigned char c) {
  return c >= 0x20 && c < 0x80 && c != '\\' && c != '{' && c != '}';
}

struct ListDef {
  std::vector<ListStyle> levels;
};

class Parser {
 public:
  Parser(QByteArrayView in, RtfSink& sink)
      : p_(in.data()), end_(in.data() + in.size()), sink_(sink) {
    stack_.reserve(64);
    stack_.emplace_back();
    documentPage_ = &CodePage::get(1252);
  }

  void run();

 private:
  State& state() { return stack_.back(); }
  bool skipping() const { return skipDepth_ > 0 || stack_.back().dest == Dest::skip; }

  void openGroup();
  void closeGroup();
  void readControl();
  void skipControlInSkippedGroup();
  void controlWord(std::string_view name, bool hasParam, std::int32_t param);
  void controlSymbol(char c);
  void destinationWord(Word w);
  void tableWord(Word w, bool hasParam, std::int32_t param);
  void textWord(Word w, bool hasParam, std::int32_t param);
  void textRun();

  const CodePage& pageOf(std::int32_t fontEntry) const;
  const CodePage& currentPage() const;
  void byte(unsigned char b);
  void flushBytes();
  void unicode(std::int32_t value);
  void character(char16_t c);
  void dropHighSurrogate();
  void toParagraph(const char16_t* s, qsizetype n);
  void toParagraph(QLatin1StringView s);
  void beforeParagraphText();
  void endParagraph();
  void finish();
  void commitFont();
  void applyPn();
  std::int32_t colorAt(std::int32_t index) const;

  const char* p_;
  const char* end_;
  RtfSink& sink_;
  std::vector<State> stack_;
  int skipDepth_ = 0;  // braces open inside a group being read past
  bool done_ = false;
  bool starPending_ = false;
  int ucSkip_ = 0;
  char16_t highSurrogate_ = 0;
  const CodePage* documentPage_;
  QByteArray pendingBytes_;  // bytes of a page with lead bytes, decoded together
  const CodePage* pendingPage_ = nullptr;

  RtfTables tables_;
  std::vector<const CodePage*> fontPages_;
  std::unordered_map<std::int32_t, std::int32_t> fontByNumber_;
  std::int32_t defaultFontNumber_ = 0;
  bool fontOpen_ = false;
  std::int32_t fontNumber_ = 0;
  std::int32_t fontCodePage_ = 0;
  QString fontName_;

  std::vector<std::uint32_t> colors_;
  std::int32_t red_ = 0, green_ = 0, blue_ = 0;
  bool colorGiven_ = false;

  std::vector<ListDef> lists_;
  std::unordered_map<std::int32_t, std::size_t> listById_;
  std::unordered_map<std::int32_t, std::int32_t> overrides_;  // \ls number -> \listid
  std::int32_t overrideListId_ = 0;

  bool pnBullet_ = false;
  bool pnNumbered_ = false;
  bool pnContinue_ = false;
  ListStyle pnStyle_ = ListStyle::decimal;

  QString text_;
  std::vector<Run> runs_;
  int pendingTabs_ = 0;
  bool pendingLineBreak_ = false;
};

void Parser::run() {
  while (p_ < end_ && !done_) {
    const unsigned char c = static_cast<unsigned char>(*p_);
    if (skipping()) {
      ++p_;
      if (c == '{') {
        ++skipDepth_;
      } else if (c == '}') {
        if (skipDepth_ > 0)
          --skipDepth_;
        else
          closeGroup();
      } else if (c == '\\') {
        skipControlInSkippedGroup();
      }
      continue;
    }
    switch (c) {
      case '{':
        ++p_;
        openGroup();
        break;
      case '}':
        ++p_;
        closeGroup();
        break;
      case '\\':
        ++p_;
        readControl();
        break;
      case '\r':
      case '\n':
        ++p_;
        break;
      default:
        textRun();
        break;
    }
  }
  finish();
}

void Parser::openGroup() {
  flushBytes();
  starPending_ = false;
  ucSkip_ = 0;
  if (static_cast<int>(stack_.size()) > kMaxGroupDepth) {
    skipDepth_ = 1;
    return;
  }
  State copy = stack_.back();
  stack_.push_back(copy);
}

void Parser::closeGroup() {
  flushBytes();
  starPending_ = false;
  ucSkip_ = 0;
  if (stack_.size() <= 1) return;  // a stray closing brace
  // A last paragraph without its mark takes the document group's paragraph format.
  if (stack_.size() == 2) finish();
  const Dest closing = stack_.back().dest;
  stack_.pop_back();
  if (closing == Dest::fontTable && fontOpen_) commitFont();
  if (closing == Dest::pn && stack_.back().dest != Dest::pn) applyPn();
  if (stack_.size() == 1) done_ = true;  // the document's own group has ended
}

// Inside a group read past only `\bin` data and escaped braces matter.
void Parser::skipControlInSkippedGroup() {
  if (p_ >= end_) return;
  const char c = *p_;
  if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
    ++p_;  // a control symbol: `\{`, `\}`, `\\` are no braces
    return;
  }
  const char* start = p_;
  while (p_ < end_ && ((*p_ >= 'a' && *p_ <= 'z') || (*p_ >= 'A' && *p_ <= 'Z'))) ++p_;
  const std::string_view name(start, static_cast<std::size_t>(p_ - start));
  bool negative = false;
  if (p_ < end_ && *p_ == '-') {
    negative = true;
    ++p_;
  }
  std::int64_t value = 0;
  while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
    if (value < INT_MAX) value = value * 10 + (*p_ - '0');
    ++p_;
  }
  if (p_ < end_ && *p_ == ' ') ++p_;
  if (name == "bin" && !negative) p_ += std::min<std::int64_t>(value, end_ - p_);
}

void Parser::readControl() {
  if (p_ >= end_) return;
  const char c = *p_;
  if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
    ++p_;
    controlSymbol(c);
    return;
  }
  const char* start = p_;
  while (p_ < end_ && ((*p_ >= 'a' && *p_ <= 'z') || (*p_ >= 'A' && *p_ <= 'Z'))) ++p_;
  // Names are at most 32 letters; a longer one is no word the reader knows.
  std::string_view name(start, static_cast<std::size_t>(p_ - start));
  if (name.size() > 32) name = {};
  bool hasParam = false;
  bool negative = false;
  std::int64_t value = 0;
  if (p_ < end_ && *p_ == '-' && p_ + 1 < end_ && p_[1] >= '0' && p_[1] <= '9') {
    negative = true;
    ++p_;
  }
  while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
    hasParam = true;
    if (value <= INT_MAX) value = value * 10 + (*p_ - '0');
    ++p_;
  }
  if (p_ < end_ && *p_ == ' ') ++p_;
  value = std::min<std::int64_t>(value, INT_MAX);
  const auto param = static_cast<std::int32_t>(negative ? -value : value);
  if (name == "bin") {
    // Binary data is never text, wherever it stands.
    flushBytes();
    if (hasParam && param > 0) p_ += std::min<std::int64_t>(param, end_ - p_);
    return;
  }
  if (ucSkip_ > 0 && name != "u") {
    --ucSkip_;
    return;
  }
  controlWord(name, hasParam, param);
}

void Parser::controlSymbol(char c) {
  if (c == '\'') {
    // `\'hh`: one byte of the current code page.
    int hi = p_ < end_ ? hexValue(*p_) : -1;
    int lo = p_ + 1 < end_ ? hexValue(p_[1]) : -1;
    if (hi < 0 || lo < 0) {
      if (hi >= 0) ++p_;
      return;
    }
    p_ += 2;
    if (ucSkip_ > 0) {
      --ucSkip_;
      return;
    }
    byte(static_cast<unsigned char>(hi * 16 + lo));
    return;
  }
  flushBytes();
  if (c == '*') {
    starPending_ = true;
    return;
  }
  if (ucSkip_ > 0) {
    --ucSkip_;
    return;
  }
  starPending_ = false;
  switch (c) {
    case '\\':
    case '{':
    case '}':
      character(static_cast<char16_t>(c));
      break;
    case '~':
      character(0x00A0);
      break;
    case '-':
      character(0x00AD);
      break;
    case '_':
      character(0x2011);
      break;
    case '\r':
    case '\n':
      if (state().dest == Dest::text) textWord(Word::par, false, 0);
      break;
    case '\t':
      character(u'\t');
      break;
    default:
      break;  // `\|`, `\:` and unknown symbols have no text
  }
}

void Parser::controlWord(std::string_view name, bool hasParam, std::int32_t param) {
  flushBytes();
  const auto found = words().find(name);
  const Word w = found == words().end() ? Word::unknown : found->second;
  const bool starred = starPending_;
  starPending_ = false;
  State& s = state();
  if (s.dest == Dest::upr) {
    // Only the Unicode twin of the group is read; the ANSI copy is not.
    if (w == Word::ud) s.dest = s.uprOuter;
    return;
  }
  if (starred && !readsStarred(w)) {
    s.dest = Dest::skip;
    return;
  }
  if (w == Word::upr && s.dest != Dest::skip) {
    destinationWord(w);
    return;
  }
  if (w == Word::u) {
    unicode(param);
    return;
  }
  if (w == Word::uc) {
    s.uc = std::clamp<std::int32_t>(hasParam ? param : 1, 0, 16);
    return;
  }
  switch (s.dest) {
    case Dest::text:
      if (w >= Word::skipDest && w <= Word::object)
        destinationWord(w);
      else
        textWord(w, hasParam, param);
      return;
    case Dest::fontTable:
    case Dest::colorTable:
    case Dest::listTable:
    case Dest::listOverrideTable:
    case Dest::pn:
      if (w == Word::skipDest)
        s.dest = Dest::skip;
      else
        tableWord(w, hasParam, param);
      return;
    case Dest::skip:
    case Dest::upr:
      return;
  }
}

void Parser::destinationWord(Word w) {
  State& s = state();
  switch (w) {
    case Word::skipDest:
      s.dest = Dest::skip;
      break;
    case Word::fonttbl:
      s.dest = Dest::fontTable;
      fontOpen_ = false;
      break;
    case Word::colortbl:
      s.dest = Dest::colorTable;
      colors_.clear();
      red_ = green_ = blue_ = 0;
      colorGiven_ = false;
      break;
    case Word::listtable:
      s.dest = Dest::listTable;
      break;
    case Word::listoverridetable:
      s.dest = Dest::listOverrideTable;
      break;
    case Word::pn:
      s.dest = Dest::pn;
      pnBullet_ = pnNumbered_ = pnContinue_ = false;
      pnStyle_ = ListStyle::decimal;
      break;
    case Word::upr:
      s.uprOuter = s.dest;
      s.dest = Dest::upr;
      break;
    default:
      break;  // `\field`, `\fldrslt`, `\object`, `\result`, `\ud`: their text is the document's
  }
}

// Control words inside the font, colour and list tables and the old-style numbering group.
void Parser::tableWord(Word w, bool hasParam, std::int32_t param) {
  State& s = state();
  switch (s.dest) {
    case Dest::fontTable:
      if (w == Word::f) {
        if (fontOpen_) commitFont();
        fontOpen_ = true;
        fontNumber_ = param;
        fontCodePage_ = 0;
        fontName_.clear();
      } else if (w == Word::fcharset && fontOpen_) {
        if (fontCodePage_ <= 0) fontCodePage_ = -codePageForCharset(param);
      } else if (w == Word::cpg && fontOpen_ && hasParam) {
        fontCodePage_ = param;  // an explicit page wins over the charset's
      }
      return;
    case Dest::colorTable:
      if (w == Word::red || w == Word::green || w == Word::blue) {
        const std::int32_t v = std::clamp(param, 0, 255);
        (w == Word::red ? red_ : w == Word::green ? green_ : blue_) = v;
        colorGiven_ = true;
      }
      return;
    case Dest::listTable:
      if (w == Word::list) {
        lists_.emplace_back();
      } else if (w == Word::listlevel && !lists_.empty()) {
        if (lists_.back().levels.size() < 9) lists_.back().levels.push_back(ListStyle::decimal);
      } else if (w == Word::levelnfc && !lists_.empty() && !lists_.back().levels.empty()) {
        lists_.back().levels.back() = styleOfLevelNumbering(param);
      } else if (w == Word::listid && !lists_.empty()) {
        listById_.try_emplace(param, lists_.size() - 1);  // the first list of an id counts
      }
      return;
    case Dest::listOverrideTable:
      if (w == Word::listoverride) overrideListId_ = 0;
      if (w == Word::listid) overrideListId_ = param;
      if (w == Word::ls) overrides_[param] = overrideListId_;
      return;
    case Dest::pn:
      switch (w) {
        case Word::pnlvlblt:
          pnBullet_ = true;
          break;
        case Word::pnlvlbody:
        case Word::pnlvl:
          pnNumbered_ = true;
          break;
        case Word::pnlvlcont:
          pnContinue_ = true;
          break;
        case Word::pndec:
          pnStyle_ = ListStyle::decimal;
          break;
        case Word::pnucrm:
          pnStyle_ = ListStyle::upperRoman;
          break;
        case Word::pnlcrm:
          pnStyle_ = ListStyle::lowerRoman;
          break;
        case Word::pnucltr:
          pnStyle_ = ListStyle::upperLetter;
          break;
        case Word::pnlcltr:
          pnStyle_ = ListStyle::lowerLetter;
          break;
        default:
          break;
      }
      return;
    default:
      return;
  }
}

void Parser::commitFont() {
  fontOpen_ = false;
  const auto entry = static_cast<std::int32_t>(tables_.fonts.size());
  tables_.fonts.push_back(fontName_.trimmed());
  // A negative page came from the charset (0: the document's page); a positive one from `\cpg`.
  const int page = fontCodePage_ < 0 ? -fontCodePage_ : fontCodePage_;
  fontPages_.push_back(page == 0 ? nullptr : &CodePage::get(page));
  fontByNumber_[fontNumber_] = entry;
  fontName_.clear();
}

void Parser::applyPn() {
  ParaProps& para = state().para;
  if (pnContinue_ || (!pnBullet_ && !pnNumbered_)) return;
  para.list = pnBullet_ ? ListStyle::bullet : pnStyle_;
}

std::int32_t Parser::colorAt(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= colors_.size()) return 0;
  return static_cast<std::int32_t>(colors_[static_cast<std::size_t>(index)]);
}

void Parser::textWord(Word w, bool hasParam, std::int32_t param) {
  State& s = state();
  CharProps& ch = s.chars;
  ParaProps& pa = s.para;
  const bool on = !hasParam || param != 0;
  switch (w) {
    case Word::ansi:
      documentPage_ = &CodePage::get(1252);
      break;
    case Word::mac:
      documentPage_ = &CodePage::get(10000);
      break;
    case Word::pc:
      documentPage_ = &CodePage::get(437);
      break;
    case Word::pca:
      documentPage_ = &CodePage::get(850);
      break;
    case Word::ansicpg:
      if (hasParam && param > 0) documentPage_ = &CodePage::get(param);
      break;
    case Word::deff:
      defaultFontNumber_ = param;
      break;
    case Word::f: {
      const auto found = fontByNumber_.find(param);
      ch.font = found == fontByNumber_.end() ? -1 : found->second;
      break;
    }
    case Word::ls:
      pa.listOverride = param;
      break;
    case Word::ilvl:
      pa.listLevel = std::clamp(param, 0, 8);
      break;
    case Word::par:
      if (pa.inTable) {
        if (!text_.isEmpty()) pendingLineBreak_ = true;
      } else {
        endParagraph();
      }
      break;
    case Word::line:
      character(0x2028);
      break;
    case Word::tab:
      character(u'\t');
      break;
    case Word::page:
    case Word::sect:
      if (!pa.inTable && !text_.isEmpty()) endParagraph();
      break;
    case Word::cell:
    case Word::nestcell:
      pendingLineBreak_ = false;
      if (pendingTabs_ < 64) ++pendingTabs_;
      break;
    case Word::row:
      pendingTabs_ = 0;
      pendingLineBreak_ = false;
      endParagraph();
      break;
    case Word::nestrow:
      pendingTabs_ = 0;
      pendingLineBreak_ = !text_.isEmpty();
      break;
    case Word::intbl:
      pa.inTable = true;
      break;
    case Word::emdash:
      character(0x2014);
      break;
    case Word::endash:
      character(0x2013);
      break;
    case Word::bullet:
      character(0x2022);
      break;
    case Word::lquote:
      character(0x2018);
      break;
    case Word::rquote:
      character(0x2019);
      break;
    case Word::ldblquote:
      character(0x201C);
      break;
    case Word::rdblquote:
      character(0x201D);
      break;
    case Word::emspace:
      character(0x2003);
      break;
    case Word::enspace:
      character(0x2002);
      break;
    case Word::qmspace:
      character(0x2005);
      break;
    case Word::zwj:
      character(0x200D);
      break;
    case Word::zwnj:
      character(0x200C);
      break;
    case Word::ltrmark:
      character(0x200E);
      break;
    case Word::rtlmark:
      character(0x200F);
      break;
    case Word::plain:
      ch = CharProps{};
      break;
    case Word::b:
      ch.bold = on;
      break;
    case Word::i:
      ch.italic = on;
      break;
    case Word::ul:
      ch.underline = on;
      break;
    case Word::ulnone:
      ch.underline = false;
      break;
    case Word::strike:
    case Word::striked:
      ch.strike = on;
      break;
    case Word::fs:
      // Half points; the editor's sizes run from 1 to 1638 points.
      ch.halfPoints = static_cast<std::int16_t>(hasParam && param > 0 ? std::min(param, 3276) : 24);
      break;
    case Word::cf:
      ch.color = static_cast<std::uint32_t>(colorAt(param));
      break;
    case Word::cb:
    case Word::highlight:
      ch.background = static_cast<std::uint32_t>(colorAt(param));
      break;
    case Word::super:
      ch.vertical = on ? 1 : 0;
      break;
    case Word::sub:
      ch.vertical = on ? -1 : 0;
      break;
    case Word::nosupersub:
      ch.vertical = 0;
      break;
    case Word::v:
      ch.hidden = on;
      break;
    case Word::pard:
      pa = ParaProps{};
      break;
    case Word::ql:
      pa.align = ParaAlign::left;
      break;
    case Word::qc:
      pa.align = ParaAlign::center;
      break;
    case Word::qr:
      pa.align = ParaAlign::right;
      break;
    case Word::qj:
      pa.align = ParaAlign::justify;
      break;
    case Word::li:
      pa.leftIndent = clampTwips(param);
      break;
    case Word::ri:
      pa.rightIndent = clampTwips(param);
      break;
    case Word::fi:
      pa.firstIndent = clampTwips(param);
      break;
    case Word::sb:
      pa.spaceBefore = std::clamp(param, 0, 32000);
      break;
    case Word::sa:
      pa.spaceAfter = std::clamp(param, 0, 32000);
      break;
    default:
      break;
  }
}

// Plain text: a stretch of ASCII goes to the paragraph in one step; anything else byte by byte.
void Parser::textRun() {
  State& s = state();
  if (s.dest == Dest::text && ucSkip_ == 0 && !s.chars.hidden && currentPage().singleByte() &&
      !highSurrogate_ && pendingBytes_.isEmpty()) {
    const char* start = p_;
    while (p_ < end_ && isPlainAscii(static_cast<unsigned char>(*p_))) ++p_;
    if (p_ > start) {
      starPending_ = false;
      toParagraph(QLatin1StringView(start, p_ - start));
      return;
    }
  }
  const auto c = static_cast<unsigned char>(*p_++);
  starPending_ = false;
  if (c == '\t') {
    character(u'\t');
    return;
  }
  if (c < 0x20) return;  // control bytes are not text
  if (ucSkip_ > 0) {
    --ucSkip_;
    return;
  }
  byte(c);
}

const CodePage& Parser::pageOf(std::int32_t fontEntry) const {
  if (fontEntry >= 0 && static_cast<std::size_t>(fontEntry) < fontPages_.size() &&
      fontPages_[static_cast<std::size_t>(fontEntry)] != nullptr)
    return *fontPages_[static_cast<std::size_t>(fontEntry)];
  return *documentPage_;
}

const CodePage& Parser::currentPage() const {
  const State& s = stack_.back();
  if (s.dest == Dest::fontTable) {
    const int page = fontCodePage_ < 0 ? -fontCodePage_ : fontCodePage_;
    return page == 0 ? *documentPage_ : CodePage::get(page);
  }
  std::int32_t font = s.chars.font;
  if (font < 0) {
    const auto found = fontByNumber_.find(defaultFontNumber_);
    if (found != fontByNumber_.end()) font = found->second;
  }
  return pageOf(font);
}

void Parser::byte(unsigned char b) {
  const CodePage& page = currentPage();
  if (page.singleByte()) {
    flushBytes();
    character(page.map(b));
    return;
  }
  if (pendingPage_ != &page) flushBytes();
  pendingPage_ = &page;
  pendingBytes_.append(static_cast<char>(b));
}

void Parser::flushBytes() {
  if (pendingBytes_.isEmpty()) return;
  const QString s = pendingPage_->decode(pendingBytes_);
  pendingBytes_.clear();
  for (QChar c : s) character(c.unicode());
}

void Parser::unicode(std::int32_t value) {
  // Values above 32767 are written negative; anything outside 16 bits is no character.
  auto unit = value < -32768 || value > 65535
                  ? char16_t{0xFFFD}
                  : static_cast<char16_t>(value < 0 ? value + 65536 : value);
  ucSkip_ = state().uc;
  if (QChar::isHighSurrogate(unit)) {
    dropHighSurrogate();
    highSurrogate_ = unit;
    return;
  }
  if (QChar::isLowSurrogate(unit) && highSurrogate_) {
    const char16_t pair[2] = {highSurrogate_, unit};
    highSurrogate_ = 0;
    if (state().dest == Dest::text && !state().chars.hidden) toParagraph(pair, 2);
    return;
  }
  character(QChar::isLowSurrogate(unit) ? char16_t{0xFFFD} : unit);
}

// A high surrogate that no low one followed stands as a replacement character.
void Parser::dropHighSurrogate() {
  if (!highSurrogate_) return;
  highSurrogate_ = 0;
  character(0xFFFD);
}

void Parser::character(char16_t c) {
  dropHighSurrogate();
  State& s = state();
  switch (s.dest) {
    case Dest::text:
      if (s.chars.hidden) return;
      // Characters the text document reserves for its own structure never enter it as text.
      if (c == 0x2029 || c == u'\n' || c == u'\r') c = 0x2028;
      if (c < 0x20 && c != u'\t') return;  // other control characters are not text
      if (c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC || c == 0 || QChar::isSurrogate(c)) c = 0xFFFD;
      toParagraph(&c, 1);
      return;
    case Dest::fontTable:
      // A name is one line of printable characters.
      if (!fontOpen_ || c < 0x20 || c == 0x2028 || c == 0x2029 || c == 0xFFFC) return;
      if (c == u';')
        commitFont();
      else if (fontName_.size() < 256)
        fontName_.append(QChar(c));
      return;
    case Dest::colorTable:
      if (c == u';') {
        colors_.push_back(
            colorGiven_ ? 0xFF000000u | static_cast<std::uint32_t>(red_ << 16 | green_ << 8 | blue_)
                        : 0u);
        red_ = green_ = blue_ = 0;
        colorGiven_ = false;
      }
      return;
    default:
      return;
  }
}

void Parser::beforeParagraphText() {
  if (pendingLineBreak_) {
    pendingLineBreak_ = false;
    const char16_t br = 0x2028;
    toParagraph(&br, 1);
  }
  while (pendingTabs_ > 0) {
    --pendingTabs_;
    const char16_t tab = u'\t';
    toParagraph(&tab, 1);
  }
}

void Parser::toParagraph(const char16_t* s, qsizetype n) {
  if (pendingLineBreak_ || pendingTabs_) beforeParagraphText();
  const CharProps& props = state().chars;
  if (runs_.empty() || !(runs_.back().props == props)) runs_.push_back({text_.size(), 0, props});
  text_.append(reinterpret_cast<const QChar*>(s), n);
  runs_.back().length += n;
}

void Parser::toParagraph(QLatin1StringView s) {
  if (pendingLineBreak_ || pendingTabs_) beforeParagraphText();
  const CharProps& props = state().chars;
  if (runs_.empty() || !(runs_.back().props == props)) runs_.push_back({text_.size(), 0, props});
  text_.append(s);
  runs_.back().length += s.size();
}

void Parser::endParagraph() {
  flushBytes();
  dropHighSurrogate();
  pendingTabs_ = 0;
  pendingLineBreak_ = false;
  ParaProps props = state().para;
  if (props.listOverride != 0) {
    // A Word-style list: its override names the list, the list's level names the style.
    props.list = ListStyle::none;
    const auto over = overrides_.find(props.listOverride);
    const auto def = over == overrides_.end() ? listById_.end() : listById_.find(over->second);
    if (def != listById_.end()) {
      const std::vector<ListStyle>& levels = lists_[def->second].levels;
      if (static_cast<std::size_t>(props.listLevel) < levels.size())
        props.list = levels[static_cast<std::size_t>(props.listLevel)];
      else if (!levels.empty())
        props.list = levels.back();
    }
    if (props.list == ListStyle::none) props.listOverride = 0;
  }
  const auto found = fontByNumber_.find(defaultFontNumber_);
  tables_.defaultFont = found == fontByNumber_.end() ? -1 : found->second;
  sink_.paragraph(ParsedParagraph{text_, runs_, props, state().chars}, tables_);
  text_.clear();
  runs_.clear();
}

void Parser::finish() {
  flushBytes();
  dropHighSurrogate();
  // A last paragraph without its mark still belongs to the document.
  if (!text_.isEmpty()) endParagraph();
}

}  // namespace

void parseRtf(QByteArrayView rtf, RtfSink& sink) {
  Parser parser(rtf, sink);
  parser.run();
}

}  // namespace marlo::richtext
