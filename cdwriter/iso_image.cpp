// libisofs has its own copy of libburn's burn_source declaration, so this file never includes
// libburn.h; the two meet only through the image file.
#include "cdwriter/iso_image.h"

#include <stdint.h>  // libisofs.h needs the fixed-width types first
// The image stream's type comes from libisofs' own copy of it.
#define LIBISOFS_WITHOUT_LIBBURN 1
// clang-format off
#include <libisofs/libisofs.h>
// clang-format on

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>

namespace cdwriter {
namespace {

constexpr int kBlock = 2048;

void initialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    iso_init();
    // Messages are collected, never printed: the control reports them in its own words.
    char queue[] = "ALL";
    char print[] = "NEVER";
    char id[] = "";
    iso_set_msgs_severities(queue, print, id);
  });
}

// The newest message of libisofs worth showing, or the text of the error code.
std::string isofsMessage(int code) {
  std::string last;
  int error = 0;
  int image = 0;
  char text[ISO_MSGS_MESSAGE_LEN];
  char severity[80];
  char minimum[] = "SORRY";
  while (iso_obtain_msgs(minimum, &error, &image, text, severity) == 1) last = text;
  if (!last.empty()) return last;
  const char* message = iso_error_to_msg(code);
  return message != nullptr ? message : "error " + std::to_string(code);
}

struct ImageDeleter {
  void operator()(IsoImage* image) const { iso_image_unref(image); }
};
struct OptsDeleter {
  void operator()(IsoWriteOpts* opts) const { iso_write_opts_free(opts); }
};
struct SourceDeleter {
  void operator()(burn_source* source) const {
    if (--source->refcount > 0) return;
    source->free_data(source);
    std::free(source);
  }
};

// The image folder for a folder text, made as needed.
int imageFolder(IsoImage* image, const std::string& folder, IsoDir** out) {
  IsoDir* dir = iso_image_get_root(image);
  for (const std::string& name : imageFolderPath(folder)) {
    IsoNode* node = nullptr;
    if (iso_dir_get_node(dir, name.c_str(), &node) == 1) {
      if (iso_node_get_type(node) != LIBISO_DIR) return ISO_NODE_NAME_NOT_UNIQUE;
      dir = reinterpret_cast<IsoDir*>(node);
      continue;
    }
    IsoDir* made = nullptr;
    if (const int r = iso_tree_add_new_dir(dir, name.c_str(), &made); r < 0) return r;
    dir = made;
  }
  *out = dir;
  return 1;
}

ImageOutcome failure(std::string error) {
  return ImageOutcome{false, 0, std::move(error)};
}

// Puts every entry into the image, under its folder. Empty when all went in; otherwise what
// failed.
std::string addEntries(IsoImage* image, const std::vector<ImageEntry>& entries) {
  for (const ImageEntry& entry : entries) {
    std::error_code ec;
    const std::filesystem::path source = std::filesystem::absolute(entry.source, ec);
    if (ec || !std::filesystem::exists(source, ec)) {
      return "the file " + entry.source + " does not exist";
    }
    IsoDir* dir = nullptr;
    if (const int r = imageFolder(image, entry.folder, &dir); r < 0) {
      return "cannot make the image folder " + entry.folder + ": " + isofsMessage(r);
    }
    const int r = entry.wholeFolder ? iso_tree_add_dir_rec(image, dir, source.c_str())
                                    : iso_tree_add_new_node(image, dir, source.filename().c_str(),
                                                            source.c_str(), nullptr);
    if (r < 0) return "cannot add " + entry.source + ": " + isofsMessage(r);
  }
  return {};
}

// The stream's generator runs on a thread of its own; leaving early must stop it.
void cancelSource(burn_source* source) {
  if (source->version >= 1 && source->cancel != nullptr) source->cancel(source);
}

// Copies the image stream into `out` block by block, counting into `done`. Empty when the
// stream ended; otherwise why the copy stopped.
std::string copyStream(burn_source* source, std::FILE* out, const std::string& outName,
                       std::int64_t total,
                       const std::function<void(std::int64_t, std::int64_t)>& progress,
                       const std::atomic<bool>& cancel, std::int64_t& done) {
  unsigned char block[kBlock];
  for (;;) {
    if (cancel.load()) return "the image build was cancelled";
    const int n = source->read_xt != nullptr ? source->read_xt(source, block, kBlock)
                                             : source->read(source, block, kBlock);
    if (n == 0) return {};
    if (n < 0) return "cannot make the image: " + isofsMessage(n);
    if (std::fwrite(block, 1, static_cast<std::size_t>(n), out) != static_cast<std::size_t>(n)) {
      return "cannot write " + outName + ": " + std::strerror(errno);
    }
    done += n;
    if (progress && done % (256 * kBlock) == 0) progress(done, total);
  }
}

// Writes the stream beside `imagePath` and renames it into place once it is complete and on
// the disc.
ImageOutcome writeImageFile(burn_source* source, const std::string& imagePath,
                            const std::function<void(std::int64_t, std::int64_t)>& progress,
                            const std::atomic<bool>& cancel) {
  const std::int64_t total = source->get_size(source);
  const std::filesystem::path target(imagePath);
  const std::filesystem::path partial = target.string() + ".partial";
  std::FILE* out = std::fopen(partial.c_str(), "wb");
  if (out == nullptr) {
    cancelSource(source);
    return failure("cannot create " + partial.string() + ": " + std::strerror(errno));
  }
  std::int64_t done = 0;
  std::string error = copyStream(source, out, partial.string(), total, progress, cancel, done);
  if (!error.empty()) cancelSource(source);
  if (std::fflush(out) != 0 || ::fsync(::fileno(out)) != 0) {
    if (error.empty()) error = "cannot write " + partial.string() + ": " + std::strerror(errno);
  }
  std::fclose(out);
  std::error_code ec;
  if (!error.empty()) {
    std::filesystem::remove(partial, ec);
    return failure(error);
  }
  std::filesystem::rename(partial, target, ec);
  if (ec) {
    std::filesystem::remove(partial, ec);
    return failure("cannot write " + imagePath + ": " + ec.message());
  }
  if (progress) progress(done, total);
  return ImageOutcome{true, done, {}};
}

}  // namespace

std::vector<std::string> imageFolderPath(const std::string& folder) {
  std::vector<std::string> names;
  std::string name;
  for (const char c : folder + "/") {
    if (c != '\\' && c != '/') {
      name += c;
      continue;
    }
    if (!name.empty() && name != ".") names.push_back(name);
    name.clear();
  }
  return names;
}

std::string isofsVersion() {
  int major = 0;
  int minor = 0;
  int micro = 0;
  iso_lib_version(&major, &minor, &micro);
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro);
}

ImageOutcome buildImage(const std::vector<ImageEntry>& entries, const std::string& imagePath,
                        const std::string& volumeId,
                        const std::function<void(std::int64_t, std::int64_t)>& progress,
                        const std::atomic<bool>& cancel) {
  initialiseOnce();
  if (entries.empty()) return failure("no files were added to the image");
  if (imagePath.empty()) return failure("no image file was named");

  IsoImage* raw = nullptr;
  if (const int r = iso_image_new(volumeId.c_str(), &raw); r < 0) {
    return failure(isofsMessage(r));
  }
  const std::unique_ptr<IsoImage, ImageDeleter> image(raw);
  iso_image_set_application_id(image.get(), "MARLO BACKUP");
  if (std::string error = addEntries(image.get(), entries); !error.empty()) {
    return failure(std::move(error));
  }

  IsoWriteOpts* rawOpts = nullptr;
  if (const int r = iso_write_opts_new(&rawOpts, 1); r < 0) return failure(isofsMessage(r));
  const std::unique_ptr<IsoWriteOpts, OptsDeleter> opts(rawOpts);
  iso_write_opts_set_iso_level(opts.get(), 3);
  iso_write_opts_set_rockridge(opts.get(), 1);
  iso_write_opts_set_joliet(opts.get(), 1);
  iso_write_opts_set_joliet_longer_paths(opts.get(), 1);

  burn_source* rawSource = nullptr;
  if (const int r = iso_image_create_burn_source(image.get(), opts.get(), &rawSource); r < 0) {
    return failure(isofsMessage(r));
  }
  const std::unique_ptr<burn_source, SourceDeleter> source(rawSource);
  return writeImageFile(source.get(), imagePath, progress, cancel);
}

}  // namespace cdwriter
