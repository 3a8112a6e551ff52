// Building an ISO 9660 image file (libisofs): ISO level 3 with Joliet and Rock Ridge, so long
// and accented names survive on every reader.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cdwriter {

// One entry of an image: a file or a whole folder on disc, and the image folder it goes into
// ("\Backup\", "/Backup", "" for the root).
struct ImageEntry {
  std::string source;
  std::string folder;
  bool wholeFolder = false;
};

struct ImageOutcome {
  bool ok = false;
  std::int64_t bytes = 0;  // the image's size
  std::string error;       // plain words, when not ok
};

// Writes the image to `imagePath`. The image is written beside it first and renamed over it
// only when complete, so a failed build never leaves a partial image under the name.
// `progress` gets (bytes done, bytes in all); `cancel` stops the build.
ImageOutcome buildImage(const std::vector<ImageEntry>& entries, const std::string& imagePath,
                        const std::string& volumeId,
                        const std::function<void(std::int64_t, std::int64_t)>& progress,
                        const std::atomic<bool>& cancel);

// The folder names of an image folder text: "\Backup\sub/x" gives Backup, sub, x.
std::vector<std::string> imageFolderPath(const std::string& folder);

// "1.5.4" of libisofs.
std::string isofsVersion();

}  // namespace cdwriter
