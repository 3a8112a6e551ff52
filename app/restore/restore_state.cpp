#include "app/restore/restore_state.h"

namespace glo {

marlo::HeapText NAZ_REST(kLargeText);
marlo::HeapText RASPK(kLargeText);
marlo::HeapText OUT(kLargeText, marlo::HeapText::Fill::Blank);
std::int32_t RestoreOutSize = 0;
std::int32_t UNLHAGETARCORIGINALSIZE_ = 0;
std::int32_t ARC_FILE_SIZE = 0;
std::int32_t FILE_COUNT = 0;
std::atomic<marlo::win::ThreadId> RestoreThread{0};
app::ArchiveEntry FirstEntry{};
app::ArchiveEntry NextEntry{};
app::ListingQueue ListingQueue;

marlo::HeapText RestoreCMD(kLargeText);
marlo::HeapText RestoreRESULT(kLargeText);
marlo::BlankString<255> RestoreLogFileName;

namespace {

const Reset kReset{[] {
  NAZ_REST.clear();
  RASPK.clear();
  OUT.clear();
  RestoreOutSize = 0;
  UNLHAGETARCORIGINALSIZE_ = 0;
  ARC_FILE_SIZE = 0;
  FILE_COUNT = 0;
  RestoreThread = 0;
  FirstEntry = {};
  NextEntry = {};
  ListingQueue.clear();
  RestoreCMD.clear();
  RestoreRESULT.clear();
  RestoreLogFileName = "";
}};

}  // namespace

}  // namespace glo
