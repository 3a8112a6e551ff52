// The file-selection object: a title, a starting folder and file, a list of file types and the
// dialog flags; `ask` shows the dialog and returns the chosen file's full name, or empty text
// when the person cancels.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/text.h"

namespace marlo {

class FileDialog {
 public:
  static constexpr std::string_view kDefaultTitle = "Odaberi datoteku";
  static constexpr std::string_view kAllFiles = "Sve datoteke|*.*";

  CString<260> DEFAULTDIRECTORY;  // where the dialog starts; blank = the current directory
  CString<256> DEFAULTFILE;       // the proposed file name
  std::uint8_t FLAGS = 0;         // passed to the file dialog as they are
  CString<255> MASKSTRING;        // description|pattern|description|pattern...
  CString<260> SAVEPATH;          // the current directory while the dialog runs
  CString<80> PWINDOWTITLE;

  void init();
  // The single type `description` with `pattern`.
  void setMask(std::string_view description, std::string_view pattern);
  // One more description|pattern pair (or several) after the ones there are.
  void addMask(std::string_view mask);
  // Shows the dialog. With keepDirectory the current directory is the same afterwards;
  // otherwise it is where the person chose the file. A name longer than the usual 259
  // characters is returned whole, never cut into the name of some other file.
  [[nodiscard]] std::string ask(bool keepDirectory);
};

}  // namespace marlo
