#include "app/globals.h"

namespace glo {

marlo::CString<255> PAT;
std::int32_t SAJZ = 0;
std::uint8_t CEK_SATI = 0;
std::uint8_t CEK = 0;
marlo::StandardTime USPOREDNI_SAT_ = marlo::kNoTime;
marlo::HeapText CMD(kLargeText);
marlo::HeapText OUT_(kLargeText, marlo::HeapText::Fill::Blank);
marlo::HeapText RESULT(kLargeText);
marlo::HeapText HWND(kLargeText);
marlo::HeapText FOLDER(kLargeText);
marlo::BlankString<255> LogFileName;
std::uint8_t RBR = 0;
marlo::CString<556> PATTERN;

}  // namespace glo
