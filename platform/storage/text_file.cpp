#include "platform/storage/text_file.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/core/number.h"
#include "platform/core/text.h"
#include "platform/storage/profile.h"

namespace marlo {

namespace {

namespace se = storage_error;

// "/FILEBUFFERS=20" asks for 20 buffers of 512 bytes; anything else keeps the default.
std::size_t bufferBytesFor(std::string_view options) {
  constexpr std::string_view kKey = "/FILEBUFFERS=";
  const auto at = options.find(kKey);
  if (at == std::string_view::npos) return BUFSIZ;
  const auto count =
      toInteger(options.substr(at + kKey.size(), options.find(' ', at) - at - kKey.size()));
  return count > 0 && count < 4096 ? static_cast<std::size_t>(count) * 512 : BUFSIZ;
}

int codeForErrno(int error) {
  switch (error) {
    case ENOENT:
      return se::kNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return se::kAccessDenied;
    default:
      return se::kDriverError;
  }
}

}  // namespace

TextFile::TextFile(std::string driverOptions, std::size_t recordCapacity)
    : options_(std::move(driverOptions)),
      recordCapacity_(recordCapacity),
      bufferBytes_(bufferBytesFor(options_)) {}

TextFile::~TextFile() {
  close();
}

int TextFile::fail(int code) {
  lastError_ = code;
  return code;
}

int TextFile::create(std::string_view name) {
  close();
  std::FILE* file = std::fopen(nativePath(name).c_str(), "wb");
  if (file == nullptr) return fail(codeForErrno(errno));
  std::fclose(file);
  return fail(se::kNone);
}

int TextFile::open(std::string_view name, int mode) {
  close();
  const std::filesystem::path path = nativePath(name);
  if (!std::filesystem::exists(path)) return fail(se::kNotFound);
  const bool writing = (mode & 0x3) != 0;
  std::FILE* file = std::fopen(path.c_str(), writing ? "r+b" : "rb");
  if (file == nullptr) return fail(codeForErrno(errno));
  // The sharing state lives in advisory locks on the file itself; a file we may not write can
  // only be read, so nobody could be denied anything by it and it needs no lock.
  if (writing) {
    if (share_.acquire(path, mode) == se::kAccessDenied) {
      std::fclose(file);
      return fail(se::kAccessDenied);  // in use by another user
    }
  }
  std::setvbuf(file, nullptr, _IOFBF, bufferBytes_);
  file_ = file;
  return fail(se::kNone);
}

int TextFile::append(std::string_view record) {
  if (file_ == nullptr) return fail(se::kNotOpen);
  const auto zero = record.find('\0');
  if (zero != std::string_view::npos) record = record.substr(0, zero);
  record = clip(record.substr(0, recordCapacity_));
  // An empty record may have no storage at all, and fwrite must not see a null pointer.
  if (std::fseek(file_, 0, SEEK_END) != 0 ||
      (!record.empty() && std::fwrite(record.data(), 1, record.size(), file_) != record.size()) ||
      std::fwrite("\r\n", 1, 2, file_) != 2 || std::fflush(file_) != 0) {
    return fail(codeForErrno(errno));
  }
  return fail(se::kNone);
}

int TextFile::next(std::string& record) {
  if (file_ == nullptr) return fail(se::kNotOpen);
  record.clear();
  int c = 0;
  bool any = false;
  while ((c = std::fgetc(file_)) != EOF) {
    any = true;
    if (c == '\n') break;
    record.push_back(static_cast<char>(c));
  }
  if (!any) return fail(se::kNoRecord);
  if (!record.empty() && record.back() == '\r') record.pop_back();
  if (record.size() > recordCapacity_) record.resize(recordCapacity_);
  return fail(se::kNone);
}

void TextFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  share_.release();
}

int TextFile::remove(std::string_view name) {
  std::error_code error;
  if (std::filesystem::remove(nativePath(name), error)) return se::kNone;
  return error ? codeForErrno(error.value()) : se::kNotFound;
}

}  // namespace marlo
