#include "richtext/code_pages.h"

#include <QStringDecoder>
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace marlo::richtext {

namespace {

// The pages Windows documents name, with the system converter's name for each. Any other number
// is no page; keeping to these also bounds the page cache, whatever numbers a file makes up.
struct KnownPage {
  int number;
  const char* converter;
  bool leadBytes;  // characters of two bytes
};

constexpr KnownPage kKnownPages[] = {
    {437, "IBM437", false},        {850, "IBM850", false},
    {852, "IBM852", false},        {855, "IBM855", false},
    {857, "IBM857", false},        {860, "IBM860", false},
    {861, "IBM861", false},        {862, "IBM862", false},
    {863, "IBM863", false},        {864, "IBM864", false},
    {865, "IBM865", false},        {866, "IBM866", false},
    {869, "IBM869", false},        {874, "windows-874", false},
    {932, "Shift_JIS", true},      {936, "GBK", true},
    {949, "windows-949", true},    {950, "Big5", true},
    {1250, "windows-1250", false}, {1251, "windows-1251", false},
    {1252, "windows-1252", false}, {1253, "windows-1253", false},
    {1254, "windows-1254", false}, {1255, "windows-1255", false},
    {1256, "windows-1256", false}, {1257, "windows-1257", false},
    {1258, "windows-1258", false}, {1361, "johab", true},
    {10000, "macintosh", false},   {65001, "UTF-8", true},
};

const KnownPage* knownPage(int number) {
  for (const KnownPage& page : kKnownPages)
    if (page.number == number) return &page;
  return nullptr;
}

}  // namespace

CodePage::CodePage(int number, bool singleByte) : number_(number), singleByte_(singleByte) {
  for (int b = 0; b < 256; ++b) table_[b] = static_cast<char16_t>(b < 0x80 ? b : 0xFFFD);
  if (!singleByte_) return;
  QStringDecoder decoder(knownPage(number)->converter);
  for (int b = 0x80; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    const QString s = decoder(QByteArrayView(&byte, 1));
    decoder.resetState();
    // A byte the page leaves undefined keeps its own value, as Windows maps it.
    table_[b] = s.size() == 1 && s[0] != QChar::ReplacementCharacter ? s[0].unicode()
                                                                     : static_cast<char16_t>(b);
  }
  for (int b = 0x80; b < 256; ++b) reverse_[b - 0x80] = {table_[b], static_cast<unsigned char>(b)};
  std::sort(reverse_.begin(), reverse_.end());
}

const CodePage& CodePage::get(int number) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<CodePage>> pages;
  const KnownPage* known = knownPage(number);
  if (known == nullptr) known = knownPage(1252);
  const std::lock_guard lock(mutex);
  auto& page = pages[known->number];
  if (!page) {
    // A page this system's converter lacks reads as 1252 too.
    if (!QStringDecoder(known->converter).isValid()) known = knownPage(1252);
    page = std::make_unique<CodePage>(known->number, !known->leadBytes);
  }
  return *page;
}

QString CodePage::decode(QByteArrayView bytes) const {
  if (singleByte_) {
    QString s(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(s.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) out[i] = map(static_cast<unsigned char>(bytes[i]));
    return s;
  }
  QStringDecoder decoder(knownPage(number_)->converter);
  return decoder(bytes);
}

unsigned char CodePage::encode(char16_t c) const {
  if (c < 0x80) return static_cast<unsigned char>(c);
  if (!singleByte_) return 0;
  const auto found =
      std::lower_bound(reverse_.begin(), reverse_.end(), std::pair<char16_t, unsigned char>(c, 0));
  return found != reverse_.end() && found->first == c ? found->second : 0;
}

int codePageForCharset(int charset) {
  switch (charset) {
    case 0:  // ANSI
    case 2:  // symbol fonts: their glyphs sit on the ANSI byte values
      return 1252;
    case 77:
      return 10000;
    case 128:
      return 932;
    case 129:
      return 949;
    case 130:
      return 1361;
    case 134:
      return 936;
    case 136:
      return 950;
    case 161:
      return 1253;
    case 162:
      return 1254;
    case 163:
      return 1258;
    case 177:
      return 1255;
    case 178:
      return 1256;
    case 186:
      return 1257;
    case 204:
      return 1251;
    case 222:
      return 874;
    case 238:
      return 1250;
    case 254:
      return 437;
    case 255:
      return 850;
    default:
      return 0;
  }
}

}  // namespace marlo::richtext
