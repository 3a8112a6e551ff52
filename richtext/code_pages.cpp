#include "richtext/code_pages.h"

#include <QStringDecoder>
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

namespace marlo::richtext {

namespace {

// The converter's name for a Windows code page.
QByteArray converterName(int number) {
  switch (number) {
    case 437:
    case 850:
    case 852:
    case 855:
    case 857:
    case 860:
    case 861:
    case 862:
    case 863:
    case 864:
    case 865:
    case 866:
    case 869:
      return "IBM" + QByteArray::number(number);
    case 932:
      return "Shift_JIS";
    case 936:
      return "GBK";
    case 949:
      return "windows-949";
    case 950:
      return "Big5";
    case 10000:
      return "macintosh";
    case 65001:
      return "UTF-8";
    default:
      return "windows-" + QByteArray::number(number);
  }
}

bool hasLeadBytes(int number) {
  return number == 932 || number == 936 || number == 949 || number == 950 || number == 1361 ||
         number == 65001;
}

}  // namespace

CodePage::CodePage(int number, bool singleByte) : number_(number), singleByte_(singleByte) {
  for (int b = 0; b < 256; ++b) table_[b] = static_cast<char16_t>(b < 0x80 ? b : 0xFFFD);
  if (!singleByte_) return;
  QStringDecoder decoder(converterName(number).constData());
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

namespace {

// The pages Windows documents name; any other number is no page. Keeping to these also bounds
// the cache, whatever numbers a file makes up.
bool isKnownPage(int number) {
  switch (number) {
    case 437:
    case 850:
    case 852:
    case 855:
    case 857:
    case 860:
    case 861:
    case 862:
    case 863:
    case 864:
    case 865:
    case 866:
    case 869:
    case 874:
    case 932:
    case 936:
    case 949:
    case 950:
    case 1250:
    case 1251:
    case 1252:
    case 1253:
    case 1254:
    case 1255:
    case 1256:
    case 1257:
    case 1258:
    case 1361:
    case 10000:
    case 65001:
      return true;
    default:
      return false;
  }
}

}  // namespace

const CodePage& CodePage::get(int number) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<CodePage>> pages;
  if (!isKnownPage(number)) number = 1252;
  const std::lock_guard lock(mutex);
  auto found = pages.find(number);
  if (found != pages.end()) return *found->second;
  int usable = number;
  if (!QStringDecoder(converterName(number).constData()).isValid()) usable = 1252;
  auto& page = pages[number];
  page = std::make_unique<CodePage>(usable, !hasLeadBytes(usable));
  return *page;
}

QString CodePage::decode(QByteArrayView bytes) const {
  if (singleByte_) {
    QString s(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(s.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) out[i] = map(static_cast<unsigned char>(bytes[i]));
    return s;
  }
  QStringDecoder decoder(converterName(number_).constData());
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
