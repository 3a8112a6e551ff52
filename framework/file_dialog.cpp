#include "framework/file_dialog.h"

#include <filesystem>
#include <system_error>

#include "framework/user_interface.h"
#include "platform/storage/profile.h"

namespace marlo {

namespace {

// Changes the current directory; a folder that cannot be entered leaves it where it was, which
// is what the person sees in the dialog then.
void enter(const std::filesystem::path& folder) {
  std::error_code ignored;
  if (!folder.empty()) std::filesystem::current_path(folder, ignored);
}

}  // namespace

void FileDialog::init() {
  PWINDOWTITLE = kDefaultTitle;
  FLAGS = 0;
}

void FileDialog::setMask(std::string_view description, std::string_view pattern) {
  MASKSTRING = std::string(clip(description)) + "|" + std::string(pattern);
}

void FileDialog::addMask(std::string_view mask) {
  if (MASKSTRING.clipped().empty()) {
    MASKSTRING = mask;
    return;
  }
  MASKSTRING = std::string(MASKSTRING.clipped()) + "|" + std::string(clip(mask));
}

std::string FileDialog::ask(bool keepDirectory) {
  // The field holds 259 characters; the folder is put back from the whole path, so a deep
  // folder is never exchanged for a cut-off one.
  std::error_code error;
  const std::filesystem::path saved =
      keepDirectory ? std::filesystem::current_path(error) : std::filesystem::path();
  SAVEPATH = saved.string();
  if (!DEFAULTDIRECTORY.clipped().empty()) enter(nativePath(DEFAULTDIRECTORY.clipped()));

  FileDialogRequest request;
  request.title = std::string(PWINDOWTITLE.clipped());
  request.fileName = std::string(DEFAULTFILE.clipped());
  request.masks =
      MASKSTRING.clipped().empty() ? std::string(kAllFiles) : std::string(MASKSTRING.clipped());
  request.flags = FLAGS;
  const std::optional<std::string> chosen = userInterface().fileDialog(request);

  std::string result;
  if (chosen.has_value() && !chosen->empty()) {
    result = *chosen;
    // As on the system the program comes from, the folder of the chosen file becomes current
    // unless the directory is to be kept.
    if (!keepDirectory && (FLAGS & file_dialog_flag::kKeepDirectory) == 0) {
      enter(std::filesystem::path(result).parent_path());
    }
  }
  if (keepDirectory) enter(saved);
  return result;
}

}  // namespace marlo
