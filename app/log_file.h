// The log-file declaration `LogFile`: a plain text file of one-line records, the record being
// one text field `TL` of 948000 characters. The backup run writes "Back_Log.TXT" through it, the
// Restore window "outfile.txt", the disc writer its status log. Every user makes its own
// LogFile object, so a backup and a restore running at once never share a file handle.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/core/text.h"
#include "platform/storage/text_file.h"

namespace app {

class LogFile {
 public:
  static constexpr std::size_t kRecordCapacity = 948000;
  static constexpr const char* kDriverOptions = "/FILEBUFFERS=20";

  // `fileName` is read at each create and open, as the declaration takes its name from a
  // variable at that moment.
  explicit LogFile(const marlo::BlankString<255>& fileName);

  int remove();
  int create();
  int open(int mode);
  // Appends TL: the text up to its first zero byte, at most 948000 characters.
  int append();
  void close();

  marlo::HeapText TL{kRecordCapacity};

 private:
  const marlo::BlankString<255>& fileName_;
  marlo::TextFile file_;
};

}  // namespace app
