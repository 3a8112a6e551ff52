#include "cdwriter/burner.h"

#include <libburn/libburn.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace cdwriter {
namespace {

using namespace burn;  // NOLINT: libburn's C API

constexpr int kBlock = 2048;
// Codes of libburn messages the control acts on.
constexpr int kWriteThreadEnded = 0x20178;
constexpr int kBurnRunFailed = 0x2010b;
constexpr int kDriveBusy = 0x20102;
constexpr int kCannotWrite = 0x20148;
constexpr int kUnsuitableForBlanking = 0x20130;
// After a failed write the drive says idle before its worker has ended; this long at most we
// wait for the worker's last message.
constexpr auto kWorkerGrace = std::chrono::seconds(3);
constexpr auto kPoll = std::chrono::milliseconds(50);

// libburn keeps process-wide state: initialise it once, and let one drive operation talk to it
// at a time, so each job reads only its own messages.
std::mutex& libraryMutex() {
  static std::mutex m;
  return m;
}

void initialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    burn_initialize();
    char queue[] = "ALL";
    char print[] = "NEVER";
    char id[] = "";
    burn_msgs_set_severities(queue, print, id);
  });
}

struct Message {
  int code = 0;
  int osError = 0;
  std::string severity;
  std::string text;
};

std::vector<Message> takeMessages() {
  std::vector<Message> out;
  char minimum[] = "ALL";
  int code = 0;
  int osError = 0;
  char text[BURN_MSGS_MESSAGE_LEN];
  char severity[80];
  while (burn_msgs_obtain(minimum, &code, text, &osError, severity) == 1) {
    out.push_back(Message{code, osError, severity, text});
  }
  return out;
}

bool isFailure(const Message& m) {
  return m.severity == "FATAL" || m.severity == "ABORT" || m.severity == "FAILURE" ||
         m.code == kDriveBusy || m.code == kCannotWrite || m.code == kBurnRunFailed;
}

std::string describe(const Message& m) {
  std::string text = m.text;
  if (m.osError != 0) text += " (" + std::string(std::strerror(m.osError)) + ")";
  return text;
}

// The failures among `messages` in one line: the first cause, then the rest.
std::string failureText(const std::vector<Message>& messages) {
  std::string out;
  for (const Message& m : messages) {
    if (!isFailure(m) && m.severity != "SORRY") continue;
    if (!out.empty()) out += "; ";
    out += describe(m);
  }
  return out;
}

std::string trimmed(const char* text, std::size_t size) {
  std::string s(text, strnlen(text, size));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

DriveInfo describeDrive(burn_drive_info& info) {
  DriveInfo d;
  char adr[BURN_DRIVE_ADR_LEN] = {};
  if (burn_drive_get_adr(&info, adr) > 0) d.address = adr;
  d.vendor = trimmed(info.vendor, sizeof info.vendor);
  d.product = trimmed(info.product, sizeof info.product);
  d.revision = trimmed(info.revision, sizeof info.revision);
  if (burn_drive_get_drive_role(info.drive) != 1) {
    // A pseudo-drive: libburn reports its file path; the address it is grabbed by has the
    // prefix, so both forms of the name lead to it.
    if (d.address.rfind("stdio:", 0) != 0) d.address = "stdio:" + d.address;
    return d;
  }
  int bus = 0;
  int host = 0;
  int channel = 0;
  int target = 0;
  int lun = 0;
  if (burn_drive_obtain_scsi_adr(adr, &bus, &host, &channel, &target, &lun) == 1) {
    d.adapter = host;
    d.id = target;
    d.lun = lun;
  }
  return d;
}

struct DiscParts {
  burn_disc* disc = nullptr;
  burn_session* session = nullptr;
  burn_track* track = nullptr;
  burn_source* file = nullptr;
  burn_source* fifo = nullptr;
  burn_write_opts* opts = nullptr;
  ~DiscParts() {
    if (opts != nullptr) burn_write_opts_free(opts);
    if (fifo != nullptr) burn_source_free(fifo);
    if (file != nullptr) burn_source_free(file);
    if (track != nullptr) burn_track_free(track);
    if (session != nullptr) burn_session_free(session);
    if (disc != nullptr) burn_disc_free(disc);
  }
};

}  // namespace

Burner::Burner() {
  initialiseOnce();
}

Burner::~Burner() {
  close();
}

std::string Burner::version() {
  int major = 0;
  int minor = 0;
  int micro = 0;
  burn_version(&major, &minor, &micro);
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro);
}

std::vector<DriveInfo> Burner::scan(const std::string& address, std::string* error) {
  initialiseOnce();
  std::lock_guard lock(libraryMutex());
  takeMessages();
  std::vector<DriveInfo> found;
  burn_drive_info* infos = nullptr;
  if (!address.empty()) {
    std::vector<char> adr(address.begin(), address.end());
    adr.push_back('\0');
    if (burn_drive_scan_and_grab(&infos, adr.data(), 0) != 1) {
      const std::string why = failureText(takeMessages());
      *error = "drive " + address + " not found" + (why.empty() ? "" : ": " + why);
      return found;
    }
    found.push_back(describeDrive(infos[0]));
    burn_drive_release(infos[0].drive, 0);
    burn_drive_info_free(infos);
    return found;
  }
  unsigned count = 0;
  int r = 0;
  while ((r = burn_drive_scan(&infos, &count)) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (r < 0) {
    *error = "the drive scan failed: " + failureText(takeMessages());
    return found;
  }
  for (unsigned i = 0; i < count; ++i) found.push_back(describeDrive(infos[i]));
  burn_drive_info_free(infos);
  return found;
}

bool Burner::open(const std::string& address, std::string* error) {
  close();
  std::lock_guard lock(libraryMutex());
  takeMessages();
  std::vector<char> adr(address.begin(), address.end());
  adr.push_back('\0');
  if (burn_drive_scan_and_grab(&infos_, adr.data(), 1) != 1) {
    infos_ = nullptr;
    const std::string why = failureText(takeMessages());
    *error = "cannot use the drive " + address + (why.empty() ? "" : ": " + why);
    return false;
  }
  drive_ = infos_[0].drive;
  return true;
}

void Burner::close(bool ejectDisc) {
  if (drive_ == nullptr) return;
  std::lock_guard lock(libraryMutex());
  burn_drive_release(drive_, ejectDisc ? 1 : 0);
  burn_drive_info_free(infos_);
  drive_ = nullptr;
  infos_ = nullptr;
  takeMessages();
}

bool Burner::eject() {
  if (drive_ == nullptr) return false;
  close(true);
  return true;
}

Medium Burner::medium() {
  Medium m;
  if (drive_ == nullptr) return m;
  std::lock_guard lock(libraryMutex());
  m.role = burn_drive_get_drive_role(drive_);
  const burn_disc_status status = burn_disc_get_status(drive_);
  m.blank = status == BURN_DISC_BLANK;
  m.erasable = burn_disc_erasable(drive_) != 0;
  m.readable = m.role == 1 || m.role == 2 || m.role == 4;
  int profile = 0;
  char name[80] = {};
  if (burn_disc_get_profile(drive_, &profile, name) == 1) m.profile = name;
  burn_write_opts* opts = burn_write_opts_new(drive_);
  m.room = burn_disc_available_space(drive_, opts);
  burn_write_opts_free(opts);
  m.space = m.room;
  if (m.role == 1 && !m.blank && m.erasable) {
    // A written rewritable disc: what it will hold once blanked comes from its ATIP.
    int start = 0;
    int end = 0;
    if (burn_disc_read_atip(drive_) == 1 &&
        burn_drive_get_start_end_lba(drive_, &start, &end, 0) == 1 && end > 0) {
      m.space = static_cast<std::int64_t>(end) * kBlock;
    } else {
      m.space = 0;  // unknown: the caller treats the disc as too small rather than guess
    }
  }
  takeMessages();
  return m;
}

std::string Burner::blank(bool fast, bool* notNeeded, const std::function<void(int)>& progress,
                          const std::atomic<bool>&) {
  *notNeeded = false;
  if (drive_ == nullptr) return "no drive is open";
  const Medium m = medium();
  if (m.blank || m.role == 2) {
    // A blank disc needs nothing; a file is overwritten from its start (libburn refuses to blank
    // one, 0x20130), so it needs nothing either.
    *notNeeded = true;
    return {};
  }
  if (!m.erasable) return "the disc in the drive cannot be blanked";
  std::lock_guard lock(libraryMutex());
  takeMessages();
  burn_disc_erase(drive_, fast ? 1 : 0);
  burn_progress p{};
  std::vector<Message> messages;
  while (burn_drive_get_status(drive_, &p) != BURN_DRIVE_IDLE) {
    if (progress && p.sectors > 0) progress(static_cast<int>(1000LL * p.sector / p.sectors));
    for (Message& msg : takeMessages()) messages.push_back(std::move(msg));
    // A blank cannot be stopped safely once the drive has it, so `cancel` is not looked at.
    std::this_thread::sleep_for(kPoll);
  }
  for (Message& msg : takeMessages()) messages.push_back(std::move(msg));
  for (const Message& msg : messages) {
    if (msg.code == kUnsuitableForBlanking) {
      *notNeeded = true;
      return {};
    }
  }
  if (burn_drive_wrote_well(drive_) == 0 || !failureText(messages).empty()) {
    const std::string why = failureText(messages);
    return "blanking failed" + (why.empty() ? std::string() : ": " + why);
  }
  return {};
}

std::string Burner::write(const std::string& imagePath, const WriteOptions& options,
                          const std::function<void(std::int64_t, std::int64_t)>& progress,
                          const std::atomic<bool>& cancel) {
  if (drive_ == nullptr) return "no drive is open";
  std::lock_guard lock(libraryMutex());
  takeMessages();
  DiscParts parts;
  parts.file = burn_file_source_new(imagePath.c_str(), nullptr);
  if (parts.file == nullptr) {
    const std::string why = failureText(takeMessages());
    return "cannot read the image " + imagePath + (why.empty() ? "" : ": " + why);
  }
  const std::int64_t total = parts.file->get_size(parts.file);
  parts.fifo = burn_fifo_source_new(parts.file, kBlock, 2048, 0);
  if (parts.fifo == nullptr) return "cannot read the image " + imagePath;
  parts.disc = burn_disc_create();
  parts.session = burn_session_create();
  burn_disc_add_session(parts.disc, parts.session, BURN_POS_END);
  parts.track = burn_track_create();
  burn_track_define_data(parts.track, 0, 0, 1, BURN_MODE1);
  if (burn_track_set_source(parts.track, parts.fifo) != BURN_SOURCE_OK) {
    return "cannot read the image " + imagePath;
  }
  burn_session_add_track(parts.session, parts.track, BURN_POS_END);
  parts.opts = burn_write_opts_new(drive_);
  burn_write_opts_set_multi(parts.opts, 0);
  burn_write_opts_set_simulate(parts.opts, options.simulate ? 1 : 0);
  burn_write_opts_set_underrun_proof(parts.opts, 1);
  // A file target is synced once, at the end: often enough for the data to be safe, seldom
  // enough not to stall the write.
  burn_write_opts_set_stdio_fsync(parts.opts, 1);
  char reasons[BURN_REASONS_LEN] = {};
  if (burn_write_opts_auto_write_type(parts.opts, parts.disc, reasons, 0) == BURN_WRITE_NONE) {
    const std::string why = failureText(takeMessages());
    return std::string("the drive cannot write this disc: ") + (why.empty() ? reasons : why);
  }
  burn_drive_set_speed(drive_, 0, options.speed);

  burn_disc_write(parts.opts, parts.disc);
  std::vector<Message> messages;
  auto collect = [&messages] {
    for (Message& m : takeMessages()) messages.push_back(std::move(m));
  };
  burn_progress p{};
  bool cancelled = false;
  for (;;) {
    const burn_drive_status status = burn_drive_get_status(drive_, &p);
    if (status == BURN_DRIVE_IDLE) break;
    if (status != BURN_DRIVE_SPAWNING && progress && p.sectors > 0) {
      progress(static_cast<std::int64_t>(p.sector) * kBlock, total);
    }
    if (cancel.load() && !cancelled) {
      cancelled = true;
      burn_drive_cancel(drive_);
    }
    collect();
    std::this_thread::sleep_for(kPoll);
  }
  // Idle is said before the write thread has ended when the write failed: wait for its last
  // message (or a fatal one) before believing the outcome.
  const auto deadline = std::chrono::steady_clock::now() + kWorkerGrace;
  for (;;) {
    collect();
    bool ended = false;
    for (const Message& m : messages) {
      if (m.code == kWriteThreadEnded || m.code == kBurnRunFailed) ended = true;
    }
    if (ended || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPoll);
  }
  if (cancelled) return "the write was cancelled";
  const std::string why = failureText(messages);
  bool failed = burn_drive_wrote_well(drive_) == 0;
  for (const Message& m : messages) failed = failed || isFailure(m);
  if (failed) return "writing failed" + (why.empty() ? std::string() : ": " + why);
  if (progress) progress(total, total);
  return {};
}

std::string Burner::verify(const std::string& imagePath,
                           const std::function<void(std::int64_t, std::int64_t)>& progress,
                           const std::atomic<bool>& cancel) {
  if (drive_ == nullptr) return "no drive is open";
  std::ifstream image(imagePath, std::ios::binary);
  if (!image) return "cannot read the image " + imagePath + " to compare";
  image.seekg(0, std::ios::end);
  const std::int64_t total = image.tellg();
  image.seekg(0);
  std::lock_guard lock(libraryMutex());
  takeMessages();
  if (burn_drive_get_drive_role(drive_) == 1) {
    // A real drive learns what was written only when grabbed again.
    burn_drive_release(drive_, 0);
    if (burn_drive_grab(drive_, 1) != 1) {
      drive_ = nullptr;
      burn_drive_info_free(infos_);
      infos_ = nullptr;
      return "cannot read the disc back: " + failureText(takeMessages());
    }
  }
  constexpr std::int64_t kChunk = 32 * kBlock;
  std::vector<char> expected(kChunk);
  std::vector<char> read(kChunk);
  for (std::int64_t at = 0; at < total; at += kChunk) {
    if (cancel.load()) return "the comparison was cancelled";
    const std::int64_t size = std::min<std::int64_t>(kChunk, total - at);
    image.read(expected.data(), size);
    if (image.gcount() != size) return "cannot read the image " + imagePath + " to compare";
    // Reads are done in whole blocks; an image is always a whole number of them.
    const std::int64_t blocks = (size + kBlock - 1) / kBlock * kBlock;
    off_t count = 0;
    if (burn_read_data(drive_, at, read.data(), blocks, &count, 2) != 1 || count < size) {
      const std::string why = failureText(takeMessages());
      return "cannot read the disc back at byte " + std::to_string(at + count) +
             (why.empty() ? "" : ": " + why);
    }
    if (std::memcmp(expected.data(), read.data(), static_cast<std::size_t>(size)) != 0) {
      std::int64_t first = 0;
      while (expected[static_cast<std::size_t>(first)] == read[static_cast<std::size_t>(first)]) {
        ++first;
      }
      return "the disc differs from the image at byte " + std::to_string(at + first);
    }
    if (progress) progress(at + size, total);
  }
  return {};
}

}  // namespace cdwriter
