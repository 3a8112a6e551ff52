// The disc-writing control: builds an ISO image from files, blanks a rewritable disc, writes the
// image and reads it back to compare, on real drives and on libburn's "stdio:" pseudo-drives
// (a file or device written as if it were a disc).
//
// It is reached through the control host's contract only (dispatch numbers and events by name).
// Members:
//   18("label")   volume label of the next image          byte: 1 taken, 0 too long
//   19("file")    drops a file from the image list         byte: 1 dropped, 0 not there
//   20            ejects the disc (a job)                  byte: 1 started
//   21            blanks the disc (a job)                  byte: 1 started
//   22            forgets the last error and progress
//   23(n)         write speed in kB/s, 0 = the fastest
//   24("image")   writes the image file (a job)            byte: 1 started
//   25("image")   builds the image file (a job)            byte: 1 started
//   26("file",n,"folder")  adds a file under an image folder; n = 1 replaces an entry of the
//                 same name there, 0 keeps the earlier one   byte: 1 added
//   27            empties the image list
//   28            cancels the running job
//   29("image")   compares the disc with an image file (a job)   byte: 1 started
//   30("folder","image folder")  adds a whole folder       byte: 1 added
//   31            scans for drives; "OnSCSIScan" for each  16-bit: drives found
//   32(n)         drive n (from 1) in words                text
//   33            busy: non-zero while a job runs (and once more for a job that started and ended
//                 between two readings, so a slow poller sees every job)
//   -552          about: an "OnStatus" with the versions
// Properties: 1, 2, 3 adapter, id, lun of the drive to use (1, 0, 0: the first drive found);
// 4 drives found; 5, 6, 7 vendor, product, revision of the chosen drive; 8 its device type;
// 9 the drive's address (set it before 31 to name a drive: "/dev/sr1", "stdio:/x.iso");
// 10 volume label; 11 last error; 12 image size in blocks; 13 simulate (write nothing);
// 14 blank mode (0 fast, 1 full); 15 compare after writing; 16 room on the medium in blocks;
// 17 eject after writing.
// Events: "OnError"(code, message), "OnSCSIScan"(adapter, id, lun, vendor, product, revision,
// type), "CommandDone"() after every job, "OnWritingProcess"(percent, MB written, MB in all),
// "OnStatus"(code, message).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cdwriter/burner.h"
#include "cdwriter/iso_image.h"
#include "platform/activex/dispatch.h"

namespace cdwriter {

inline constexpr const char* kClassId = "{40B4C464-FE90-11D2-B1AA-E02862C10000}";
inline constexpr const char* kFileName = "vfcdwriter.ocx";

// Codes of "OnStatus".
enum class Status : std::int16_t {
  Scanning = 1,
  DriveFound,
  Building,
  ImageReady,
  Checking,
  Blanking,
  Blanked,
  NoBlankingNeeded,
  Writing,
  Written,
  Verifying,
  Verified,
  NotVerified,
  AlreadyWritten,
  Done,
  Ejected,
  About,
};

// Codes of "OnError".
enum class Failure : std::int16_t {
  NoDrive = 1,
  DriveUnusable,
  NoImage,
  ImageBuild,
  DoesNotFit,
  CannotBlank,
  WriteFailed,
  VerifyFailed,
  NotBlank,
  NoFiles,
  FileMissing,
  Cancelled,
  Busy,
};

class DiscWriter final : public marlo::activex::Control {
 public:
  DiscWriter();
  ~DiscWriter() override;
  DiscWriter(const DiscWriter&) = delete;
  DiscWriter& operator=(const DiscWriter&) = delete;

  marlo::activex::CallResult call(int member, marlo::activex::CallKind kind,
                                  const std::vector<marlo::activex::Value>& args) override;
  void advise(std::shared_ptr<marlo::activex::EventSink> sink) override;

  static std::shared_ptr<marlo::activex::Control> make();

 private:
  using Job = std::function<void()>;
  struct Member;  // one member of the table in disc_writer.cpp
  static const Member kMembers[];
  static const Member* findMember(int number);

  marlo::activex::CallResult member(int number, const std::vector<marlo::activex::Value>& args);
  marlo::activex::CallResult scanNow();
  // Queues a job on an image file (build, write, compare); false when it could not be queued.
  bool startImageJob(void (DiscWriter::*job)(const std::string& imagePath), std::string imagePath);
  // Drive n (from 1) in words; empty when there is none.
  std::string describeDrive(std::int64_t n);
  marlo::activex::CallResult getProperty(int number);
  marlo::activex::CallResult putProperty(int number, const marlo::activex::Value& value);

  bool submit(Job job, bool latch = true);
  void workerLoop();
  [[nodiscard]] bool busyReading();

  // Jobs, on the worker thread.
  int scanDrives();
  void buildJob(const std::string& imagePath);
  void blankJob();
  void writeJob(const std::string& imagePath);
  void verifyJob(const std::string& imagePath);
  void ejectJob();
  std::string chooseDrive(std::string* error);
  // Opens the chosen drive; its address goes to `chosen`.
  bool openDrive(Burner& burner, std::string* chosen = nullptr);
  bool fits(Burner& burner, std::int64_t imageBytes, bool afterBlanking);

  void status(Status code, const std::string& message);
  void error(Failure code, const std::string& message);
  void fire(const char* name, std::vector<marlo::activex::Value> parameters);
  void writingProcess(std::int64_t done, std::int64_t total);

  bool addEntry(const std::string& source, const std::string& folder, bool replace,
                bool wholeFolder);

  mutable std::mutex mutex_;  // guards everything below but the worker's own queue
  std::shared_ptr<marlo::activex::EventSink> sink_;
  std::vector<ImageEntry> entries_;
  std::vector<DriveInfo> drives_;
  bool scanned_ = false;
  int adapter_ = 1;
  int id_ = 0;
  int lun_ = 0;
  std::string address_;
  std::string volumeId_ = "BACKUP";
  std::string lastError_;
  std::int64_t imageBytes_ = -1;  // of the last image built; -1 = none
  std::string imagePath_;         // of the last image built
  bool simulate_ = false;
  int blankMode_ = 0;
  bool verify_ = true;
  bool ejectAfter_ = false;
  int speed_ = 0;
  std::int64_t roomBlocks_ = 0;
  std::string writtenImage_;  // the image the last good write put on `writtenDrive_`
  std::string writtenDrive_;
  int lastMegabytes_ = -1;

  std::mutex queueMutex_;
  std::condition_variable queueWake_;
  std::deque<Job> jobs_;
  int pending_ = 0;      // jobs queued or running
  bool unseen_ = false;  // a job started since the last busy reading
  bool stopping_ = false;
  std::atomic<bool> cancel_{false};
  std::thread worker_;
};

// Registers the control's class with a host: what the module's DllRegisterServer does, and
// what a program that links the control in calls itself.
int registerDiscWriter(marlo::activex::Registrar& registrar);

}  // namespace cdwriter
