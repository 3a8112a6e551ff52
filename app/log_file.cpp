#include "app/log_file.h"

namespace app {

LogFile::LogFile(const marlo::BlankString<255>& fileName)
    : fileName_(fileName), file_(kDriverOptions, kRecordCapacity) {}

int LogFile::remove() {
  return marlo::TextFile::remove(fileName_.clipped());
}
int LogFile::create() {
  return file_.create(fileName_.clipped());
}
int LogFile::open(int mode) {
  return file_.open(fileName_.clipped(), mode);
}
int LogFile::append() {
  return file_.append(TL.view());
}
void LogFile::close() {
  file_.close();
}

}  // namespace app
