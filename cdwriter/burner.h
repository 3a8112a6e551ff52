// Drives, blanking, writing and reading back (libburn). One Burner holds at most one drive.
// Every call blocks until its work is done; the control runs them on its worker thread.
//
// libburn's failure modes are handled here, so no caller can mistake them for success: a write
// that fails reports an idle drive before its worker has ended (we wait for the worker's last
// word), a write that runs out of room fails only mid-way (callers check room() first), and a
// job refused because the drive is still busy says so only in a message.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// libburn declares its C API inside this namespace when it is compiled as C++.
namespace burn {
struct burn_drive;
struct burn_drive_info;
}  // namespace burn

namespace cdwriter {

struct DriveInfo {
  std::string address;  // what libburn grabs it by: "/dev/sr0", "stdio:/media/usb/backup.iso"
  int adapter = -1;     // the SCSI address of a real drive; -1 for a pseudo-drive
  int id = -1;
  int lun = -1;
  std::string vendor;
  std::string product;
  std::string revision;
  int type = 5;  // the SCSI device type: 5 = a CD/DVD drive
};

struct Medium {
  int role = 0;  // 1 a real drive; 2 a file; 3, 5 a write-only target; 4 read-only
  bool blank = false;
  bool erasable = false;
  bool readable = false;   // can be read back after writing
  std::int64_t room = 0;   // bytes that can be written now
  std::int64_t space = 0;  // bytes that can be written once the medium is blanked
  std::string profile;     // "CD-RW", "stdio file" ...
};

class Burner {
 public:
  Burner();
  ~Burner();
  Burner(const Burner&) = delete;
  Burner& operator=(const Burner&) = delete;

  // The drives on the machine; with an address, only that one (it must be there). A failure
  // is described in `error` (with libburn's own words).
  static std::vector<DriveInfo> scan(const std::string& address, std::string* error);

  // Grabs the drive; false with `error` when it cannot be had.
  bool open(const std::string& address, std::string* error);
  void close(bool eject = false);
  [[nodiscard]] bool isOpen() const { return drive_ != nullptr; }
  [[nodiscard]] Medium medium();

  // Each returns empty text on success, else what went wrong in plain words.
  // Blanking a medium that needs none (a blank disc, a file) sets `notNeeded` and succeeds.
  std::string blank(bool fast, bool* notNeeded, const std::function<void(int permille)>& progress,
                    const std::atomic<bool>& cancel);
  struct WriteOptions {
    bool simulate = false;
    int speed = 0;  // kB/s; 0 = the fastest
  };
  std::string write(const std::string& imagePath, const WriteOptions& options,
                    const std::function<void(std::int64_t done, std::int64_t total)>& progress,
                    const std::atomic<bool>& cancel);
  // Reads the first bytes of the medium back and compares them with the image file.
  std::string verify(const std::string& imagePath,
                     const std::function<void(std::int64_t done, std::int64_t total)>& progress,
                     const std::atomic<bool>& cancel);
  bool eject();

  static std::string version();

 private:
  burn::burn_drive_info* infos_ = nullptr;
  burn::burn_drive* drive_ = nullptr;
};

}  // namespace cdwriter
