// The folder form `up_folder`: inserts, changes, shows or deletes one record of the folder table,
// on the request the main list left in pendingRequest. Returns the response it leaves in
// lastResponse.
#pragma once

#include <cstddef>
#include <cstdint>

namespace app {

// The longest folder path the table keeps (NAZIV_FOLDERA holds 221 characters).
inline constexpr std::size_t kFolderPathCapacity = 221;

enum class FolderFormControl : int {
  NumberPrompt = 1,
  Number,
  FolderPrompt,
  Folder,
  Browse,
  Ok,
  Cancel,
  ActionMessage,
};

inline constexpr const char* kFolderFormCaption = "Add folder";

std::uint8_t up_folder();

}  // namespace app
