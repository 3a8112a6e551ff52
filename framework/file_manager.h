// The table manager: one object per keyed table, shared by every window that works on it.
//
// It opens and closes the table (counting nested opens, deferring the physical open when asked,
// falling back to read-only, creating a missing file, rebuilding damaged keys), numbers new
// records, writes and reads with uniform reporting through the error manager, and keeps copies
// of record buffers and table states so that a window can detect and undo its changes.
//
// Results are SeverityLevel values: 0 done; 5 not done and already reported (or nothing to
// report); 3 the table could not be used; 1 failed and the caller should offer a retry.
// Reporting operations show their message; the try variants only record it (lastError()).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "framework/error_manager.h"
#include "framework/severity.h"
#include "platform/storage/keyed_table.h"

namespace marlo {

class RelationSet;

// How the caller of useFile uses the table; only kUseUnregistered is special (see useFile).
inline constexpr int kUseDefault = 0;
inline constexpr int kUseUnregistered = 4;

// Modes of update().
inline constexpr int kUpdateTry = 0;
inline constexpr int kUpdateReport = 1;
// Reports the collision in the form's words (ChangedElsewhereShown).
inline constexpr int kUpdateForm = 2;

class FileManager {
 public:
  // One key of the table as the manager knows it.
  struct KeyInfo {
    std::size_t KEY = 0;       // index of the key in the table declaration
    std::string PDESCRIPTION;  // shown in the duplicate-key message, up to 80 characters
    std::size_t AUTOINC = 0;   // number (from 1) of the auto-numbered component; 0 none
    bool DUPS = false;
    bool NOCASE = false;
  };

  // The table's state as seen by one thread (by every thread when the table is shared).
  struct ThreadState {
    int ID = 1;
    bool USED = false;
    std::int16_t OPENED = 0;
    bool ATEOF = false;
    bool AUTOINCDONE = false;
    std::int16_t LASTERROR = 0;
    std::string autoIncPosition;   // where the record added by numbering is
    RecordImage lastRead;          // the record as stored when this manager last read or wrote it
    std::string lastReadPosition;  // and where it is
  };

  FileManager();
  virtual ~FileManager();
  FileManager(const FileManager&) = delete;
  FileManager& operator=(const FileManager&) = delete;

  // Binds the manager to its table and registers it under the table's label (its prefix).
  void init(KeyedTable& table, ErrorManager& errors = globalErrors);
  // Closes the table for good and leaves the registry.
  void kill();
  // Describes key `keyIndex` of the declaration; `autoIncComponent` (from 1) marks the
  // component numbered by primeAutoInc.
  void addKey(std::size_t keyIndex, std::string_view description, std::size_t autoIncComponent = 0);

  // --- settings
  bool CREATE = false;             // create the file when it does not exist
  bool LAZYOPEN = false;           // defer the physical open to the first use
  std::uint16_t LOCKRECOVER = 10;  // seconds to wait for a busy file after access is denied
  std::uint8_t OPENMODE = 0x42;    // read/write, deny none
  std::uint8_t PRIMARYKEY = 0;
  bool SKIPHELDRECORDS = false;  // reading passes over records held by another station
  bool THREADED = false;         // each thread keeps its own state (else all share ID 1)

  // --- opening
  SeverityLevel open() { return open(true, false); }
  SeverityLevel open(bool report, bool force);
  SeverityLevel close();
  // Makes the table ready for a read or write, performing a deferred open.
  SeverityLevel useFile(int mode = kUseDefault);

  // --- writing
  SeverityLevel insert() { return insert(true); }
  SeverityLevel tryInsert() { return insert(false); }
  SeverityLevel update(int mode = kUpdateReport);
  SeverityLevel tryUpdate() { return update(kUpdateTry); }
  SeverityLevel primeAutoInc() { return primeAutoInc(true); }
  // Removes the record added by numbering when the new record is abandoned.
  SeverityLevel cancelAutoInc(RelationSet* relations = nullptr);
  // Refuses an insert or update when not 0.
  virtual int validateRecord() { return 0; }

  // --- reading
  SeverityLevel next() { return read(true, true); }
  SeverityLevel tryNext() { return read(true, false); }
  SeverityLevel previous() { return read(false, true); }
  SeverityLevel tryPrevious() { return read(false, false); }
  // The record whose key `keyIndex` equals the buffer's values: 0 found, 5 not found (nothing
  // shown) or failed (RecordRetrievalError recorded).
  SeverityLevel tryFetch(std::size_t keyIndex);
  [[nodiscard]] std::string getPosition() const;
  // Reads the record at `position`; returns the storage error (0 when read).
  int reget(std::string_view position);
  // Takes the buffer as this manager's last-read record (for a caller that read the table
  // directly), so that RelationSet can tell which linking fields changed.
  void noteRead();

  // --- buffers and states
  int saveBuffer();
  void restoreBuffer(int id, bool release = true);
  [[nodiscard]] bool equalBuffer(int id) const;
  int saveFile();
  void restoreFile(int id);

  // --- errors
  SeverityLevel throw_(std::uint16_t id);
  SeverityLevel throwLastError();
  SeverityLevel throwMessage(std::uint16_t id, std::string_view text);
  void setError(std::uint16_t id);
  // Changes the number of the recorded message, keeping the error values captured with it.
  void setLastError(std::uint16_t id);

  // --- inspection
  [[nodiscard]] KeyedTable& table() const { return *FILE_; }
  [[nodiscard]] ErrorManager& errors() const { return *ERRORS; }
  [[nodiscard]] const std::vector<KeyInfo>& keys() const { return KEYS; }
  [[nodiscard]] int openCount();
  [[nodiscard]] bool atEof();
  [[nodiscard]] bool autoIncDone();
  [[nodiscard]] int lastError();
  // The current record as stored when this manager last read or wrote it; empty when the
  // table's current record was read some other way (see noteRead).
  [[nodiscard]] RecordImage lastReadImage();
  [[nodiscard]] std::string fileName() const;  // the name messages show for "%File"

 protected:
  ThreadState& state();

 private:
  struct SavedBuffer {
    int id = 0;
    RecordImage image;
  };
  struct SavedState {
    int BUFFER = 0;
    int ID = 0;
    bool AUTOINCDONE = false;
    std::string POS;
  };

  SeverityLevel physicalOpen(bool report);
  SeverityLevel insert(bool report);
  SeverityLevel primeAutoInc(bool report);
  SeverityLevel read(bool forward, bool report);
  // Numbers the auto-numbered component of key `info` in the buffer: 0, or the storage error.
  int numberKey(const KeyInfo& info);
  const KeyInfo* duplicatedKey(const std::string& own);
  void rememberRead(ThreadState& st);
  int note(int code);  // takes the table's error as the thread's runtime error

  KeyedTable* FILE_ = nullptr;
  ErrorManager* ERRORS = nullptr;
  std::vector<KeyInfo> KEYS;
  bool HASAUTOINC = false;
  bool CLEANEDUP = false;
  [[nodiscard]] bool openedByAnyThread();

  std::mutex infoMutex_;
  std::mutex openMutex_;             // the open counts and the physical open and close
  mutable std::mutex buffersMutex_;  // BUFFERS and SAVED
  std::deque<ThreadState> INFO;
  std::vector<SavedBuffer> BUFFERS;
  std::vector<SavedState> SAVED;
};

// The program-wide list of table managers and of who uses each table.
class FileRegistry {
 public:
  struct User {
    int THREAD = 0;
    std::string PROC;
    int ID = 0;
    int USTAT = 0;
    bool HOLD = false;
    int SCOPELEVEL = 0;
    int NESTEDOPEN = 0;
  };

  void add(std::string_view label, FileManager& manager);
  void remove(const FileManager& manager);
  [[nodiscard]] FileManager* find(std::string_view label) const;
  // Records that the calling thread's procedure uses the table (once per thread and procedure).
  void use(const FileManager& manager, int mode);
  // Counts an open (+1) or a close (-1) of the calling thread's procedure.
  void countOpen(const FileManager& manager, int delta);
  [[nodiscard]] std::vector<User> users(const FileManager& manager) const;

 private:
  struct Entry {
    std::string FILELABEL;
    FileManager* FILEMANAGER = nullptr;
    std::vector<User> users;
  };
  User& userLocked(Entry& entry);
  Entry* entryLocked(const FileManager& manager);

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  int lastUserId_ = 0;
};

FileRegistry& fileRegistry();

}  // namespace marlo
