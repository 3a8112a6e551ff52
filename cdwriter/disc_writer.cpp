#include "cdwriter/disc_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <limits>
#include <string_view>
#include <system_error>

namespace cdwriter {

using marlo::activex::CallError;
using marlo::activex::CallKind;
using marlo::activex::CallResult;
using marlo::activex::Value;

namespace {

constexpr std::int64_t kMegabyte = 1024 * 1024;
constexpr std::int64_t kBlock = 2048;
constexpr int kAboutBox = -552;
constexpr std::size_t kVolumeIdLength = 32;

// "text, number" for the signature "tn".
std::string argumentList(std::string_view types) {
  std::string out;
  for (const char a : types) {
    if (!out.empty()) out += ", ";
    out += a == 't' ? "text" : "number";
  }
  return out.empty() ? "no arguments" : out;
}

// Checks a member's arguments against what it takes ('t' a text, 'n' a number); the failure to
// return, or success.
CallResult checkArguments(int member, const std::vector<Value>& args, std::string_view types) {
  if (args.size() != types.size()) {
    return CallResult::failure(CallError::WrongCount, "member " + std::to_string(member) +
                                                          " takes " + argumentList(types) +
                                                          ", not " + std::to_string(args.size()) +
                                                          " argument(s)");
  }
  for (std::size_t i = 0; i < types.size(); ++i) {
    const bool text = types[i] == 't';
    const Value& v = args[i];
    if (text ? !v.isText() : !v.isNumber()) {
      return CallResult::failure(CallError::WrongType, "argument " + std::to_string(i + 1) +
                                                           " of member " + std::to_string(member) +
                                                           " must be a " +
                                                           (text ? "text" : "number"));
    }
  }
  return CallResult::success();
}

std::string megabytes(std::int64_t bytes) {
  return std::to_string((bytes + kMegabyte - 1) / kMegabyte) + " MB";
}

// What identifies one state of an image file: a rewrite or a rebuild changes it.
std::string imageSignature(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return path + "|" + std::to_string(st.st_size) + "|" + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec);
}

// The types of the properties, by number.
enum class PropType { Byte, Short, Long, Text };
struct Property {
  PropType type;
  bool writable;
};
constexpr Property kProperties[] = {
    {PropType::Short, true},  {PropType::Short, true},  {PropType::Short, true},
    {PropType::Short, false}, {PropType::Text, false},  {PropType::Text, false},
    {PropType::Text, false},  {PropType::Short, false}, {PropType::Text, true},
    {PropType::Text, true},   {PropType::Text, false},  {PropType::Long, false},
    {PropType::Byte, true},   {PropType::Short, true},  {PropType::Byte, true},
    {PropType::Long, false},  {PropType::Byte, true},
};
constexpr int kPropertyCount = static_cast<int>(std::size(kProperties));

bool inRange(PropType type, std::int64_t v) {
  switch (type) {
    case PropType::Byte:
      return v >= 0 && v <= 255;
    case PropType::Short:
      return v >= -32768 && v <= 32767;
    case PropType::Long:
      return v >= std::numeric_limits<std::int32_t>::min() &&
             v <= std::numeric_limits<std::int32_t>::max();
    case PropType::Text:
      return true;
  }
  return false;
}

}  // namespace

DiscWriter::DiscWriter() : worker_([this] { workerLoop(); }) {}

DiscWriter::~DiscWriter() {
  {
    std::lock_guard lock(queueMutex_);
    stopping_ = true;
    jobs_.clear();
  }
  cancel_ = true;
  queueWake_.notify_all();
  worker_.join();
}

std::shared_ptr<marlo::activex::Control> DiscWriter::make() {
  return std::make_shared<DiscWriter>();
}

void DiscWriter::advise(std::shared_ptr<marlo::activex::EventSink> sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

// --- Members -------------------------------------------------------------------------------------

// One member: its dispatch number, the arguments it takes ('t' a text, 'n' a number, in order),
// whether it gives a result (read) or is only executed, and what it does once its arguments
// have been checked.
struct DiscWriter::Member {
  int number;
  const char* arguments;
  bool hasResult;
  CallResult (*run)(DiscWriter& writer, const std::vector<Value>& args);
};

namespace {

CallResult started(bool queued) {
  return CallResult::success(Value(queued ? 1 : 0));
}

CallResult yesNo(bool yes) {
  return CallResult::success(Value(yes ? 1 : 0));
}

}  // namespace

const DiscWriter::Member DiscWriter::kMembers[] = {
    {18, "t", true,
     [](DiscWriter& w, const std::vector<Value>& a) {
       const std::string label = a[0].toText();
       if (label.size() > kVolumeIdLength) return yesNo(false);
       std::lock_guard lock(w.mutex_);
       w.volumeId_ = label;
       return yesNo(true);
     }},
    {19, "t", true,
     [](DiscWriter& w, const std::vector<Value>& a) {
       const std::string source = a[0].toText();
       std::lock_guard lock(w.mutex_);
       const auto dropped =
           std::erase_if(w.entries_, [&](const ImageEntry& e) { return e.source == source; });
       return yesNo(dropped != 0);
     }},
    {20, "", true,
     [](DiscWriter& w, const std::vector<Value>&) {
       return started(w.submit([&w] { w.ejectJob(); }));
     }},
    {21, "", true,
     [](DiscWriter& w, const std::vector<Value>&) {
       return started(w.submit([&w] { w.blankJob(); }));
     }},
    {22, "", false,
     [](DiscWriter& w, const std::vector<Value>&) {
       std::lock_guard lock(w.mutex_);
       w.lastError_.clear();
       w.lastMegabytes_ = -1;
       return CallResult::success();
     }},
    {23, "n", false,
     [](DiscWriter& w, const std::vector<Value>& a) {
       std::lock_guard lock(w.mutex_);
       w.speed_ = static_cast<int>(std::clamp<std::int64_t>(a[0].toInteger(), 0, 1 << 20));
       return CallResult::success();
     }},
    {24, "t", true,
     [](DiscWriter& w, const std::vector<Value>& a) {
       return started(w.startImageJob(&DiscWriter::writeJob, a[0].toText()));
     }},
    {25, "t", true,
     [](DiscWriter& w, const std::vector<Value>& a) {
       return started(w.startImageJob(&DiscWriter::buildJob, a[0].toText()));
     }},
    {26, "tnt", true,
     [](DiscWriter& w, const std::vector<Value>& a) {
       return yesNo(w.addEntry(a[0].toText(), a[2].toText(), a[1].toInteger() != 0, false));
     }},
    {27, "", false,
     [](DiscWriter& w, const std::vector<Value>&) {
       std::lock_guard lock(w.mutex_);
       w.entries_.clear();
       return CallResult::success();
     }},
    {28, "", false,
     [](DiscWriter& w, const std::vector<Value>&) {
       w.cancel_ = true;
       return CallResult::success();
     }},
    {29, "t", true,
     [](DiscWriter& w, const std::vector<Value>& a) {
       return started(w.startImageJob(&DiscWriter::verifyJob, a[0].toText()));
     }},
    {30, "tt", true,
     [](DiscWriter& w, const std::vector<Value>& a) {
       return yesNo(w.addEntry(a[0].toText(), a[1].toText(), true, true));
     }},
    {31, "", true, [](DiscWriter& w, const std::vector<Value>&) { return w.scanNow(); }},
    {32, "n", true,
     [](DiscWriter& w, const std::vector<Value>& a) {
       return CallResult::success(Value(w.describeDrive(a[0].toInteger())));
     }},
    {33, "", true,
     [](DiscWriter& w, const std::vector<Value>&) { return yesNo(w.busyReading()); }},
    {kAboutBox, "", false,
     [](DiscWriter& w, const std::vector<Value>&) {
       w.status(Status::About, "Marlo BACKUP disc writer on libburn " + Burner::version() +
                                   " and libisofs " + isofsVersion());
       return CallResult::success();
     }},
};

const DiscWriter::Member* DiscWriter::findMember(int number) {
  for (const Member& m : kMembers) {
    if (m.number == number) return &m;
  }
  return nullptr;
}

CallResult DiscWriter::member(int number, const std::vector<Value>& args) {
  const Member* m = findMember(number);
  if (m == nullptr) {
    return CallResult::failure(CallError::UnknownMember,
                               "the disc writer has no member " + std::to_string(number));
  }
  if (CallResult check = checkArguments(number, args, m->arguments); !check.ok()) return check;
  return m->run(*this, args);
}

bool DiscWriter::startImageJob(void (DiscWriter::*job)(const std::string& imagePath),
                               std::string imagePath) {
  return submit([this, job, image = std::move(imagePath)] { (this->*job)(image); });
}

// The scan runs on the worker, so its events come from the same thread as every other event;
// the caller waits for the count.
CallResult DiscWriter::scanNow() {
  auto promise = std::make_shared<std::promise<int>>();
  std::future<int> count = promise->get_future();
  if (!submit([this, promise] { promise->set_value(scanDrives()); }, false)) {
    return CallResult::failure(CallError::Busy, "the disc writer is busy; scan later");
  }
  return CallResult::success(Value(count.get()));
}

std::string DiscWriter::describeDrive(std::int64_t n) {
  std::lock_guard lock(mutex_);
  if (n < 1 || n > static_cast<std::int64_t>(drives_.size())) return {};
  const DriveInfo& d = drives_[static_cast<std::size_t>(n - 1)];
  return std::to_string(d.adapter) + " " + std::to_string(d.id) + " " + std::to_string(d.lun) +
         " " + d.vendor + " " + d.product + " " + d.revision + " " + d.address;
}

// --- Calls ---------------------------------------------------------------------------------------

CallResult DiscWriter::call(int number, CallKind kind, const std::vector<Value>& args) {
  if (number >= 1 && number <= kPropertyCount) {
    if (kind == CallKind::Execute) {
      return CallResult::failure(CallError::UnknownMember,
                                 "property " + std::to_string(number) + " cannot be executed");
    }
    if (kind == CallKind::Get) {
      if (!args.empty()) {
        return CallResult::failure(CallError::WrongCount,
                                   "property " + std::to_string(number) + " takes no arguments");
      }
      return getProperty(number);
    }
    if (args.size() != 1) {
      return CallResult::failure(CallError::WrongCount,
                                 "property " + std::to_string(number) + " takes one value");
    }
    return putProperty(number, args.front());
  }
  if (kind == CallKind::Put) {
    return CallResult::failure(CallError::UnknownMember,
                               "member " + std::to_string(number) + " cannot be assigned");
  }
  CallResult result = member(number, args);
  const Member* m = findMember(number);
  if (result.ok() && kind == CallKind::Get && m != nullptr && !m->hasResult) {
    return CallResult::failure(
        CallError::UnknownMember,
        "member " + std::to_string(number) + " has no result; it is executed, not read");
  }
  return result;
}

// --- Properties ----------------------------------------------------------------------------------

CallResult DiscWriter::getProperty(int number) {
  std::lock_guard lock(mutex_);
  const DriveInfo* chosen = nullptr;
  for (const DriveInfo& d : drives_) {
    if (d.adapter == adapter_ && d.id == id_ && d.lun == lun_) chosen = &d;
  }
  if (chosen == nullptr && adapter_ == 1 && id_ == 0 && lun_ == 0 && !drives_.empty()) {
    chosen = &drives_.front();
  }
  const DriveInfo none;
  const DriveInfo& drive = chosen != nullptr ? *chosen : none;
  switch (number) {
    case 1:
      return CallResult::success(Value(adapter_));
    case 2:
      return CallResult::success(Value(id_));
    case 3:
      return CallResult::success(Value(lun_));
    case 4:
      return CallResult::success(Value(static_cast<int>(drives_.size())));
    case 5:
      return CallResult::success(Value(drive.vendor));
    case 6:
      return CallResult::success(Value(drive.product));
    case 7:
      return CallResult::success(Value(drive.revision));
    case 8:
      return CallResult::success(Value(chosen != nullptr ? drive.type : 0));
    case 9:
      return CallResult::success(Value(address_));
    case 10:
      return CallResult::success(Value(volumeId_));
    case 11:
      return CallResult::success(Value(lastError_));
    case 12:
      return CallResult::success(
          Value(imageBytes_ < 0 ? std::int64_t{0} : (imageBytes_ + kBlock - 1) / kBlock));
    case 13:
      return CallResult::success(Value(simulate_ ? 1 : 0));
    case 14:
      return CallResult::success(Value(blankMode_));
    case 15:
      return CallResult::success(Value(verify_ ? 1 : 0));
    case 16:
      return CallResult::success(
          Value(std::min<std::int64_t>(roomBlocks_, std::numeric_limits<std::int32_t>::max())));
    case 17:
      return CallResult::success(Value(ejectAfter_ ? 1 : 0));
    default:
      break;
  }
  return CallResult::failure(CallError::UnknownMember, "no property " + std::to_string(number));
}

CallResult DiscWriter::putProperty(int number, const Value& value) {
  const Property property = kProperties[number - 1];
  if (!property.writable) {
    return CallResult::failure(CallError::ReadOnly,
                               "property " + std::to_string(number) + " can only be read");
  }
  const bool text = property.type == PropType::Text;
  if (text ? !value.isText() : !value.isNumber()) {
    return CallResult::failure(CallError::WrongType, "property " + std::to_string(number) +
                                                         " takes a " + (text ? "text" : "number"));
  }
  const std::int64_t n = text ? 0 : value.toInteger();
  if (!inRange(property.type, n)) {
    return CallResult::failure(CallError::WrongType, "the value " + std::to_string(n) +
                                                         " is out of range for property " +
                                                         std::to_string(number));
  }
  std::lock_guard lock(mutex_);
  switch (number) {
    case 1:
      adapter_ = static_cast<int>(n);
      break;
    case 2:
      id_ = static_cast<int>(n);
      break;
    case 3:
      lun_ = static_cast<int>(n);
      break;
    case 9:
      // A new address means a new scan: the drives found for the old one no longer apply.
      if (value.toText() != address_) {
        address_ = value.toText();
        drives_.clear();
        scanned_ = false;
      }
      break;
    case 10:
      if (value.toText().size() > kVolumeIdLength) {
        return CallResult::failure(
            CallError::WrongType,
            "a volume label holds at most " + std::to_string(kVolumeIdLength) + " characters");
      }
      volumeId_ = value.toText();
      break;
    case 13:
      simulate_ = n != 0;
      break;
    case 14:
      blankMode_ = static_cast<int>(n);
      break;
    case 15:
      verify_ = n != 0;
      break;
    case 17:
      ejectAfter_ = n != 0;
      break;
    default:
      break;
  }
  return CallResult::success();
}

bool DiscWriter::addEntry(const std::string& source, const std::string& folder, bool replace,
                          bool wholeFolder) {
  std::error_code ec;
  const bool there = wholeFolder ? std::filesystem::is_directory(source, ec)
                                 : std::filesystem::is_regular_file(source, ec);
  if (!there) {
    error(Failure::FileMissing, (wholeFolder ? "The folder " : "The file ") + source +
                                    " does not exist and was not added to the image");
    return false;
  }
  const std::string name = std::filesystem::path(source).filename().string();
  const std::vector<std::string> folderPath = imageFolderPath(folder);
  std::lock_guard lock(mutex_);
  const auto same = std::find_if(entries_.begin(), entries_.end(), [&](const ImageEntry& e) {
    return !e.wholeFolder && !wholeFolder &&
           std::filesystem::path(e.source).filename().string() == name &&
           imageFolderPath(e.folder) == folderPath;
  });
  if (same != entries_.end()) {
    if (!replace) return false;
    entries_.erase(same);
  }
  entries_.push_back(ImageEntry{source, folder, wholeFolder});
  return true;
}

// --- The worker ----------------------------------------------------------------------------------

bool DiscWriter::submit(Job job, bool latch) {
  {
    std::lock_guard lock(queueMutex_);
    if (stopping_) return false;
    if (!latch && pending_ > 0) return false;
    jobs_.push_back(std::move(job));
    ++pending_;
    if (latch) unseen_ = true;
  }
  queueWake_.notify_one();
  return true;
}

bool DiscWriter::busyReading() {
  std::lock_guard lock(queueMutex_);
  const bool busy = pending_ > 0 || unseen_;
  if (pending_ == 0) unseen_ = false;
  return busy;
}

void DiscWriter::workerLoop() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(queueMutex_);
      queueWake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    cancel_ = false;
    job();
    fire("CommandDone", {});
    std::lock_guard lock(queueMutex_);
    --pending_;
  }
}

// --- Events
// ---------------------------------------------------------------------------------------

void DiscWriter::fire(const char* name, std::vector<Value> parameters) {
  std::shared_ptr<marlo::activex::EventSink> sink;
  {
    std::lock_guard lock(mutex_);
    sink = sink_;
  }
  if (sink) sink->fire(name, std::move(parameters));
}

void DiscWriter::status(Status code, const std::string& message) {
  fire("OnStatus", {Value(static_cast<int>(code)), Value(message)});
}

void DiscWriter::error(Failure code, const std::string& message) {
  {
    std::lock_guard lock(mutex_);
    lastError_ = message;
  }
  fire("OnError", {Value(static_cast<int>(code)), Value(message)});
}

void DiscWriter::writingProcess(std::int64_t done, std::int64_t total) {
  if (total <= 0) return;
  const int totalMb = static_cast<int>((total + kMegabyte - 1) / kMegabyte);
  const int doneMb = done >= total ? totalMb : static_cast<int>(done / kMegabyte);
  {
    std::lock_guard lock(mutex_);
    if (doneMb == lastMegabytes_) return;
    lastMegabytes_ = doneMb;
  }
  const int percent = static_cast<int>(std::min<std::int64_t>(100, done * 100 / total));
  fire("OnWritingProcess", {Value(percent), Value(doneMb), Value(totalMb)});
}

// --- Jobs
// ------------------------------------------------------------------------------------------

int DiscWriter::scanDrives() {
  std::string address;
  {
    std::lock_guard lock(mutex_);
    address = address_;
  }
  status(Status::Scanning, address.empty() ? "Looking for disc writers ..."
                                           : "Looking for the drive " + address + " ...");
  std::string failure;
  std::vector<DriveInfo> found = Burner::scan(address, &failure);
  {
    std::lock_guard lock(mutex_);
    drives_ = found;
    scanned_ = true;
  }
  if (!failure.empty()) {
    error(Failure::NoDrive, "No drive: " + failure);
  } else if (found.empty()) {
    error(Failure::NoDrive, "No disc writer was found");
  }
  for (const DriveInfo& d : found) {
    fire("OnSCSIScan", {Value(d.adapter), Value(d.id), Value(d.lun), Value(d.vendor),
                        Value(d.product), Value(d.revision), Value(d.type)});
    status(Status::DriveFound,
           "Drive found: " + d.vendor + " " + d.product + " " + d.revision + " at " + d.address);
  }
  return static_cast<int>(found.size());
}

std::string DiscWriter::chooseDrive(std::string* failure) {
  bool scanned = false;
  {
    std::lock_guard lock(mutex_);
    scanned = scanned_;
  }
  if (!scanned) scanDrives();
  std::lock_guard lock(mutex_);
  for (const DriveInfo& d : drives_) {
    if (d.adapter == adapter_ && d.id == id_ && d.lun == lun_) return d.address;
  }
  if (adapter_ == 1 && id_ == 0 && lun_ == 0 && !drives_.empty()) return drives_.front().address;
  *failure = drives_.empty() ? "No disc writer was found"
                             : "No drive at adapter " + std::to_string(adapter_) + ", id " +
                                   std::to_string(id_) + ", lun " + std::to_string(lun_);
  return {};
}

bool DiscWriter::openDrive(Burner& burner, std::string* chosen) {
  std::string failure;
  const std::string address = chooseDrive(&failure);
  if (chosen != nullptr) *chosen = address;
  if (address.empty()) {
    error(Failure::NoDrive, failure);
    return false;
  }
  if (!burner.open(address, &failure)) {
    error(Failure::DriveUnusable, "Cannot use the drive: " + failure);
    return false;
  }
  return true;
}

void DiscWriter::buildJob(const std::string& imagePath) {
  std::vector<ImageEntry> entries;
  std::string volumeId;
  {
    std::lock_guard lock(mutex_);
    entries = entries_;
    volumeId = volumeId_;
    imageBytes_ = -1;
    writtenImage_.clear();
  }
  if (entries.empty()) {
    error(Failure::NoFiles, "No files were added, so no disc image was built");
    return;
  }
  status(Status::Building, "Building the disc image ...");
  const ImageOutcome outcome = buildImage(entries, imagePath, volumeId, {}, cancel_);
  if (!outcome.ok) {
    error(Failure::ImageBuild, "Cannot build the disc image: " + outcome.error);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    imageBytes_ = outcome.bytes;
    imagePath_ = imagePath;
  }
  status(Status::ImageReady, "Disc image ready: " + megabytes(outcome.bytes));
}

bool DiscWriter::fits(Burner& burner, std::int64_t imageBytes, bool afterBlanking) {
  const Medium medium = burner.medium();
  const std::int64_t room = afterBlanking ? medium.space : medium.room;
  {
    std::lock_guard lock(mutex_);
    roomBlocks_ = room / kBlock;
  }
  return imageBytes <= room;
}

void DiscWriter::blankJob() {
  std::int64_t imageBytes = 0;
  bool fast = true;
  {
    std::lock_guard lock(mutex_);
    imageBytes = imageBytes_;
    fast = blankMode_ == 0;
  }
  // Blanking erases the disc's last backup: it happens only when the new one will fit.
  if (imageBytes < 0) {
    error(Failure::NoImage, "There is no disc image to write, so the disc was not blanked");
    return;
  }
  Burner burner;
  if (!openDrive(burner)) return;
  status(Status::Checking, "Checking the disc ...");
  if (!fits(burner, imageBytes, true)) {
    std::int64_t roomBlocks = 0;
    {
      std::lock_guard lock(mutex_);
      roomBlocks = roomBlocks_;
    }
    error(Failure::DoesNotFit, "The disc image (" + megabytes(imageBytes) +
                                   ") does not fit on the disc (" + megabytes(roomBlocks * kBlock) +
                                   "); the disc was not blanked and nothing will be written");
    return;
  }
  status(Status::Blanking, "Blanking the disc ...");
  bool notNeeded = false;
  const std::string failure = burner.blank(fast, &notNeeded, {}, cancel_);
  if (!failure.empty()) {
    error(Failure::CannotBlank, "Cannot blank the disc: " + failure);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    writtenImage_.clear();
  }
  if (notNeeded) {
    status(Status::NoBlankingNeeded, "The disc needs no blanking");
  } else {
    status(Status::Blanked, "Disc blanked");
  }
}

void DiscWriter::writeJob(const std::string& imagePath) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(imagePath, ec);
  if (ec) {
    error(Failure::NoImage, "The disc image " + imagePath + " does not exist");
    return;
  }
  const auto imageBytes = static_cast<std::int64_t>(size);
  Burner burner;
  std::string address;
  if (!openDrive(burner, &address)) return;
  Burner::WriteOptions options;
  bool verify = true;
  bool ejectAfter = false;
  std::string written;
  {
    std::lock_guard lock(mutex_);
    options.simulate = simulate_;
    options.speed = speed_;
    verify = verify_;
    ejectAfter = ejectAfter_;
    written = writtenImage_;
    lastMegabytes_ = -1;
  }
  const std::string signature = imageSignature(imagePath) + "|" + address;
  // Writing the same image twice in a row would fail on a disc (it is no longer blank) and
  // gain nothing on a file: the first good write stands.
  if (!written.empty() && written == signature) {
    status(Status::AlreadyWritten, "The image is on the disc already");
    return;
  }
  const Medium medium = burner.medium();
  if (medium.role == 1 && !medium.blank) {
    error(Failure::NotBlank, "The disc is not blank; nothing was written");
    return;
  }
  if (!fits(burner, imageBytes, false)) {
    error(Failure::DoesNotFit, "The disc image (" + megabytes(imageBytes) +
                                   ") does not fit on the disc; nothing was written");
    return;
  }
  status(Status::Writing, "Writing " + megabytes(imageBytes) + " to " + address + " ...");
  std::string failure = burner.write(
      imagePath, options,
      [this](std::int64_t done, std::int64_t total) { writingProcess(done, total); }, cancel_);
  if (!failure.empty()) {
    error(cancel_ ? Failure::Cancelled : Failure::WriteFailed, "Writing failed: " + failure);
    return;
  }
  writingProcess(imageBytes, imageBytes);
  status(Status::Written, options.simulate ? "Simulated writing done" : "Writing done");
  if (!options.simulate && verify) {
    if (!medium.readable) {
      status(Status::NotVerified, "This target cannot be read back, so the copy was not compared");
    } else {
      status(Status::Verifying, "Verifying ...");
      failure = burner.verify(imagePath, {}, cancel_);
      if (!failure.empty()) {
        error(Failure::VerifyFailed, "Verifying failed: " + failure);
        return;
      }
      status(Status::Verified, "Verified: the disc matches the image");
    }
  }
  if (!options.simulate) {
    std::lock_guard lock(mutex_);
    writtenImage_ = signature;
  }
  if (ejectAfter) burner.eject();
  status(Status::Done, "Done");
}

void DiscWriter::verifyJob(const std::string& imagePath) {
  Burner burner;
  if (!openDrive(burner)) return;
  if (!burner.medium().readable) {
    error(Failure::VerifyFailed, "This target cannot be read back");
    return;
  }
  status(Status::Verifying, "Verifying ...");
  const std::string failure = burner.verify(imagePath, {}, cancel_);
  if (!failure.empty()) {
    error(Failure::VerifyFailed, "Verifying failed: " + failure);
    return;
  }
  status(Status::Verified, "Verified: the disc matches the image");
}

void DiscWriter::ejectJob() {
  Burner burner;
  if (!openDrive(burner)) return;
  burner.eject();
  status(Status::Ejected, "Disc ejected");
}

int registerDiscWriter(marlo::activex::Registrar& registrar) {
  return registrar.registerClass(kClassId, kFileName, &DiscWriter::make);
}

}  // namespace cdwriter
