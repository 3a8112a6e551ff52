// Numbered messages: the message table, placeholder substitution, the level that decides
// whether the person is asked, informed or the program ends, the error log and the history.
//
// Every framework class reports its failures by number through the one global `globalErrors`;
// window procedures push their names on its procedure-name stack so that "%Procedure" names the
// window that failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/severity.h"
#include "framework/user_interface.h"
#include "platform/core/clock.h"
#include "platform/storage/text_file.h"

namespace marlo {

// One row of the message table.
struct ErrorEntry {
  std::uint16_t ID = 0;
  std::string MESSAGE;
  std::string TITLE;
  std::uint8_t FATALITY = SevNotify;  // a SeverityLevel
  std::string CATEGORY;               // empty: the default category applies
};

// The built-in message table as one packed block: a 16-bit little-endian count, then per
// entry the 16-bit little-endian number, the level byte, the title and the message, each as
// one length byte followed by its characters.
[[nodiscard]] std::span<const std::uint8_t> builtinMessageBlock();

// The text file every raised message is appended to when logging is on. Opens nest: the file
// closes when the last opener closes it. Every operation returns 0, or 5 on failure.
class ErrorLog {
 public:
  static constexpr std::size_t kLineCapacity = 1024;

  explicit ErrorLog(std::string fileName = "DaxError.Log");
  virtual ~ErrorLog() = default;
  ErrorLog(const ErrorLog&) = delete;
  ErrorLog& operator=(const ErrorLog&) = delete;

  virtual int open();
  virtual int close(bool force = false);
  virtual int append(std::string_view line);

  [[nodiscard]] const std::string& fileName() const { return fileName_; }

 private:
  std::string fileName_;
  TextFile file_;
  int opened_ = 0;
};

class ErrorManager {
 public:
  // The substitution buffer: a message never grows past this many characters.
  static constexpr std::size_t kMessageCapacity = 2000;
  // Texts of the placeholders' values are kept in 255-byte buffers.
  static constexpr std::size_t kValueCapacity = 254;
  static constexpr std::size_t kHistoryTextCapacity = 1023;
  static constexpr std::uint16_t kDefaultCategoryId = 65535;
  static constexpr std::string_view kFatalSuffix = "  Press OK to end this application";

  ErrorManager();
  ~ErrorManager();
  ErrorManager(const ErrorManager&) = delete;
  ErrorManager& operator=(const ErrorManager&) = delete;

  // --- settings (set at start, read while raising)
  bool SILENT = false;       // show nothing; questions answer with their default button
  bool LOGERRORS = false;    // append every raised message to the log
  int HISTORYTHRESHOLD = 0;  // 0 no history, > 0 keep at most this many, < 0 keep all
  int HISTORYVIEWLEVEL = 3;  // level shown in the history window while there is a history
  bool HISTORYRESETONVIEW = false;

  // --- life
  // Creates the built-in log "DaxError.Log" and starts with it.
  void init();
  // Starts with `log` (not owned; may be null): loads the built-in table, keeps the history.
  void init(ErrorLog* log);
  void kill();

  // Appends a packed block of entries (format of builtinMessageBlock). A block that ends early
  // is taken up to its last whole entry; the result says whether all of it was whole.
  bool addErrors(std::span<const std::uint8_t> block);

  // --- context of the next message
  // Pushes `name` (blank-clipped) for the calling thread, or with pop removes that thread's
  // top-most name.
  void setProcedureName(std::string_view name, bool pop = false);
  void setFile(std::string_view name);
  void setField(std::string_view name);
  void setMessageText(std::string_view text);
  void setCategory(std::uint16_t id, std::string_view category);
  [[nodiscard]] std::string getCategory(std::uint16_t id) const;

  // Takes the calling thread's current runtime error into the saved error values.
  void captureErrors();

  // --- raising
  // Captures the runtime error and handles message `id` by its level.
  SeverityLevel throw_(std::uint16_t id);
  // As throw_, with the error values captured earlier (a recorded error shown later).
  SeverityLevel throwCaptured(std::uint16_t id);
  // Asks message `id` with `buttons`; returns the pressed button (the default when silent).
  unsigned message(std::uint16_t id, unsigned buttons, unsigned defaultButton);
  void resetHistory();

  // --- inspection
  // The text message `id` would show now (the substituted message).
  [[nodiscard]] std::string substitutedText(std::uint16_t id);
  // The entry message `id` selects, if the table has any entry at all.
  [[nodiscard]] bool findEntry(std::uint16_t id, ErrorEntry& entry) const;
  [[nodiscard]] std::vector<ErrorEntry> entries() const;
  [[nodiscard]] std::vector<HistoryEntry> history() const;
  [[nodiscard]] std::string procedureName() const;  // the calling thread's current one
  [[nodiscard]] std::string fileName() const;
  [[nodiscard]] std::string fieldName() const;
  [[nodiscard]] std::string messageText() const;
  [[nodiscard]] std::string defaultCategory() const;
  [[nodiscard]] int saveErrorCode() const;
  [[nodiscard]] ErrorLog* errorLog() const { return ERRORLOG; }

  // The clock that dates the log lines (the system clock unless a test gives one).
  void setClock(const Clock* clock) { clock_ = clock != nullptr ? clock : &ownClock_; }

 private:
  struct ProcName {
    int THREAD = 0;
    std::string NAME;
  };
  struct Prepared {
    bool found = false;
    std::uint16_t id = 0;
    int level = SevNotify;
    std::string title;
    std::string text;
    std::string category;
  };

  [[nodiscard]] std::ptrdiff_t selectEntry(std::uint16_t id) const;  // needs mutex_
  [[nodiscard]] std::string procedureNameLocked(int thread) const;
  [[nodiscard]] std::string substituteLocked(std::ptrdiff_t row) const;
  [[nodiscard]] std::string categoryLocked(std::ptrdiff_t row) const;
  Prepared prepare(std::uint16_t id);
  unsigned present(const Prepared& message, std::string_view shownText, MessageIcon icon,
                   unsigned buttons, unsigned defaultButton);
  void writeLog(std::string_view text);

  mutable std::mutex mutex_;
  std::string DEFAULTCATEGORY = "Dax";
  std::vector<ErrorEntry> ERRORS;
  ErrorLog* ERRORLOG = nullptr;
  std::string FIELDNAME;
  std::string FILENAME;
  std::vector<HistoryEntry> HISTORY;
  std::string MESSAGETEXT;
  std::vector<ProcName> PROCNAMES;
  std::string SAVEERROR;
  int SAVEERRORCODE = 0;
  std::string SAVEFILEERROR;
  std::string SAVEFILEERRORCODE;
  std::unique_ptr<ErrorLog> STDERRORLOG;
  Clock ownClock_;
  const Clock* clock_ = &ownClock_;
};

// The program's one error manager.
extern ErrorManager globalErrors;

}  // namespace marlo
