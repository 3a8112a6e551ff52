#include "app/globals.h"

#include <vector>

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

namespace {

std::vector<void (*)()>& resets() {
  static std::vector<void (*)()> all;
  return all;
}

const Reset kReset{[] {
  PAT = "";
  SAJZ = 0;
  CEK_SATI = 0;
  CEK = 0;
  USPOREDNI_SAT_ = marlo::kNoTime;
  CMD.clear();
  OUT_.clear();
  RESULT.clear();
  HWND.clear();
  FOLDER.clear();
  LogFileName = "";
  RBR = 0;
  PATTERN = "";
}};

}  // namespace

Reset::Reset(void (*reset)()) {
  resets().push_back(reset);
}

void resetAll() {
  for (void (*reset)() : resets()) reset();
}

}  // namespace glo
