#include "framework/error_manager.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "framework/runtime_error.h"
#include "platform/core/number.h"
#include "platform/core/picture.h"
#include "platform/core/text.h"

namespace marlo {

ErrorManager globalErrors;

namespace {

std::string clipped(std::string_view text, std::size_t capacity) {
  return std::string(clip(text.substr(0, std::min(text.size(), capacity))));
}

char lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::size_t findNoCase(std::string_view text, std::string_view what, std::size_t from) {
  if (what.empty() || from > text.size()) return std::string_view::npos;
  const auto it =
      std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), what.begin(),
                  what.end(), [](char a, char b) { return lower(a) == lower(b); });
  return it == text.end() ? std::string_view::npos : static_cast<std::size_t>(it - text.begin());
}

// Replaces every occurrence of `placeholder`, searching on after each inserted value (so a value
// that contains the placeholder itself is not expanded again). The text never grows past
// `capacity`: what would not fit in the message buffer is cut, never written past it.
void replaceAll(std::string& text, std::string_view placeholder, std::string_view value,
                std::size_t capacity) {
  std::size_t at = 0;
  while ((at = findNoCase(text, placeholder, at)) != std::string::npos) {
    text.replace(at, placeholder.size(), value);
    at += value.size();
    if (text.size() > capacity) text.resize(capacity);
  }
}

std::uint16_t read16(std::span<const std::uint8_t> block, std::size_t at) {
  return static_cast<std::uint16_t>(block[at] | (block[at + 1] << 8U));
}

}  // namespace

// --- ErrorLog ---------------------------------------------------------------------------------

ErrorLog::ErrorLog(std::string fileName)
    : fileName_(std::move(fileName)), file_("", kLineCapacity) {}

int ErrorLog::open() {
  if (opened_ > 0) {
    ++opened_;
    return 0;
  }
  int rc = file_.open(fileName_, kAccessReadWrite | kDenyNone);
  if (rc == 2) {  // not there yet: make it, then open it shared like any other time
    if (file_.create(fileName_) != 0) return 5;
    file_.close();
    rc = file_.open(fileName_, kAccessReadWrite | kDenyNone);
  }
  if (rc != 0) return 5;
  opened_ = 1;
  return 0;
}

int ErrorLog::close(bool force) {
  if (opened_ == 0) return 5;
  if (force || --opened_ <= 0) {
    opened_ = 0;
    file_.close();
  }
  return 0;
}

int ErrorLog::append(std::string_view line) {
  if (opened_ == 0) return 5;
  return file_.append(line) == 0 ? 0 : 5;
}

// --- ErrorManager -----------------------------------------------------------------------------

ErrorManager::ErrorManager() = default;
ErrorManager::~ErrorManager() = default;

void ErrorManager::init() {
  {
    std::lock_guard lock(mutex_);
    STDERRORLOG = std::make_unique<ErrorLog>("DaxError.Log");
    DEFAULTCATEGORY = "Dax";
  }
  HISTORYTHRESHOLD = 0;
  HISTORYVIEWLEVEL = SevFatal;
  HISTORYRESETONVIEW = false;
  init(STDERRORLOG.get());
}

void ErrorManager::init(ErrorLog* log) {
  {
    std::lock_guard lock(mutex_);
    ERRORLOG = log;
    ERRORS.clear();
    PROCNAMES.clear();
  }
  addErrors(builtinMessageBlock());
}

void ErrorManager::kill() {
  std::lock_guard lock(mutex_);
  ERRORS.clear();
  HISTORY.clear();
  PROCNAMES.clear();
  if (ERRORLOG == STDERRORLOG.get()) ERRORLOG = nullptr;
  STDERRORLOG.reset();
}

bool ErrorManager::addErrors(std::span<const std::uint8_t> block) {
  if (block.size() < 2) return false;
  const std::size_t count = read16(block, 0);
  std::vector<ErrorEntry> added;
  std::size_t at = 2;
  bool whole = true;
  for (std::size_t n = 0; n < count; ++n) {
    if (at + 4 > block.size()) {
      whole = false;
      break;
    }
    ErrorEntry entry;
    entry.ID = read16(block, at);
    entry.FATALITY = block[at + 2];
    std::size_t titleLength = block[at + 3];
    at += 4;
    if (at + titleLength + 1 > block.size()) {
      whole = false;
      break;
    }
    entry.TITLE.assign(reinterpret_cast<const char*>(block.data() + at), titleLength);
    at += titleLength;
    const std::size_t messageLength = block[at++];
    if (at + messageLength > block.size()) {
      whole = false;
      break;
    }
    entry.MESSAGE.assign(reinterpret_cast<const char*>(block.data() + at), messageLength);
    at += messageLength;
    added.push_back(std::move(entry));
  }
  std::lock_guard lock(mutex_);
  ERRORS.insert(ERRORS.end(), std::make_move_iterator(added.begin()),
                std::make_move_iterator(added.end()));
  return whole;
}

void ErrorManager::setProcedureName(std::string_view name, bool pop) {
  const int thread = userInterface().threadNumber();
  std::lock_guard lock(mutex_);
  if (!pop) {
    PROCNAMES.push_back({thread, std::string(clip(name))});
    return;
  }
  for (auto it = PROCNAMES.rbegin(); it != PROCNAMES.rend(); ++it) {
    if (it->THREAD == thread) {
      PROCNAMES.erase(std::next(it).base());
      return;
    }
  }
}

void ErrorManager::setFile(std::string_view name) {
  std::lock_guard lock(mutex_);
  FILENAME = clipped(name, kValueCapacity);
}

void ErrorManager::setField(std::string_view name) {
  std::lock_guard lock(mutex_);
  FIELDNAME = clipped(name, kValueCapacity);
}

void ErrorManager::setMessageText(std::string_view text) {
  std::lock_guard lock(mutex_);
  MESSAGETEXT = clipped(text, kValueCapacity);
}

void ErrorManager::setCategory(std::uint16_t id, std::string_view category) {
  std::lock_guard lock(mutex_);
  if (id == kDefaultCategoryId) {
    DEFAULTCATEGORY = std::string(category);
    return;
  }
  const std::ptrdiff_t row = selectEntry(id);
  if (row >= 0 && ERRORS[static_cast<std::size_t>(row)].ID == id) {
    ERRORS[static_cast<std::size_t>(row)].CATEGORY = std::string(category);
  }
}

std::string ErrorManager::getCategory(std::uint16_t id) const {
  std::lock_guard lock(mutex_);
  return categoryLocked(selectEntry(id));
}

std::string ErrorManager::categoryLocked(std::ptrdiff_t row) const {
  if (row >= 0 && !ERRORS[static_cast<std::size_t>(row)].CATEGORY.empty()) {
    return ERRORS[static_cast<std::size_t>(row)].CATEGORY;
  }
  return DEFAULTCATEGORY;
}

void ErrorManager::captureErrors() {
  const RuntimeError& error = currentRuntimeError();
  std::lock_guard lock(mutex_);
  SAVEERRORCODE = error.code;
  SAVEERROR = clipped(error.text, kValueCapacity);
  SAVEFILEERROR = clipped(error.fileError, kValueCapacity);
  SAVEFILEERRORCODE = clipped(error.fileErrorCode, kValueCapacity);
}

// The last row with that number. A number the table does not hold ends the search on the first
// row, which is then the one shown; an empty table selects nothing (-1).
std::ptrdiff_t ErrorManager::selectEntry(std::uint16_t id) const {
  if (ERRORS.empty()) return -1;
  for (std::ptrdiff_t row = static_cast<std::ptrdiff_t>(ERRORS.size()) - 1; row > 0; --row) {
    if (ERRORS[static_cast<std::size_t>(row)].ID == id) return row;
  }
  return 0;
}

bool ErrorManager::findEntry(std::uint16_t id, ErrorEntry& entry) const {
  std::lock_guard lock(mutex_);
  const std::ptrdiff_t row = selectEntry(id);
  if (row < 0) return false;
  entry = ERRORS[static_cast<std::size_t>(row)];
  return true;
}

std::string ErrorManager::procedureNameLocked(int thread) const {
  for (auto it = PROCNAMES.rbegin(); it != PROCNAMES.rend(); ++it) {
    if (it->THREAD == thread) return it->NAME;
  }
  return {};
}

std::string ErrorManager::substituteLocked(std::ptrdiff_t row) const {
  const ErrorEntry& entry = ERRORS[static_cast<std::size_t>(row)];
  constexpr std::size_t cap = kMessageCapacity;
  std::string text = entry.MESSAGE.substr(0, std::min(entry.MESSAGE.size(), cap));
  replaceAll(text, "%FileErrorCode", SAVEFILEERRORCODE, cap);
  replaceAll(text, "%FileError", SAVEFILEERROR, cap);
  replaceAll(text, "%File", FILENAME, cap);
  replaceAll(text, "%ErrorCode", toText(SAVEERRORCODE), cap);
  // Error 90 is the driver's own failure: its text and code say more than the general one.
  const std::string errorText = SAVEERRORCODE == 90
                                    ? SAVEFILEERROR + " (" + SAVEFILEERRORCODE + ")"
                                    : SAVEERROR + " (" + toText(SAVEERRORCODE) + ")";
  replaceAll(text, "%ErrorText", errorText, cap);
  replaceAll(text, "%Error", SAVEERROR, cap);
  replaceAll(text, "%Message", MESSAGETEXT, cap);
  replaceAll(text, "%Field", FIELDNAME, cap);
  replaceAll(text, "%Procedure", procedureNameLocked(userInterface().threadNumber()), cap);
  replaceAll(text, "%Category", entry.CATEGORY, cap);
  if (findNoCase(text, "%Previous", 0) != std::string::npos) {
    std::string previous;
    for (std::ptrdiff_t older = row - 1; older >= 0; --older) {
      if (ERRORS[static_cast<std::size_t>(older)].ID == entry.ID) {
        previous = ERRORS[static_cast<std::size_t>(older)].MESSAGE;
        break;
      }
    }
    replaceAll(text, "%Previous", previous, cap);
  }
  return text;
}

ErrorManager::Prepared ErrorManager::prepare(std::uint16_t id) {
  std::lock_guard lock(mutex_);
  Prepared prepared;
  const std::ptrdiff_t row = selectEntry(id);
  if (row < 0) return prepared;
  const ErrorEntry& entry = ERRORS[static_cast<std::size_t>(row)];
  prepared.found = true;
  prepared.id = entry.ID;
  prepared.level = entry.FATALITY;
  prepared.title = entry.TITLE;
  prepared.text = substituteLocked(row);
  prepared.category = categoryLocked(row);
  return prepared;
}

std::string ErrorManager::substitutedText(std::uint16_t id) {
  return prepare(id).text;
}

SeverityLevel ErrorManager::throw_(std::uint16_t id) {
  captureErrors();
  return throwCaptured(id);
}

SeverityLevel ErrorManager::throwCaptured(std::uint16_t id) {
  const Prepared prepared = prepare(id);
  if (!prepared.found) return SevNotify;  // no table loaded: nothing that could be shown
  switch (prepared.level) {
    case SevBenign:
      return SevBenign;
    case SevUser:
    case SevCancel: {
      const unsigned pressed = present(prepared, prepared.text, MessageIcon::Exclamation,
                                       button::Yes | button::No, button::Yes);
      return pressed == button::Yes ? SevBenign : SevCancel;
    }
    case SevNotify:
      present(prepared, prepared.text, MessageIcon::Asterisk, button::Ok, button::Ok);
      return SevNotify;
    default: {
      const std::string shown = prepared.text + std::string(kFatalSuffix);
      present(prepared, shown, MessageIcon::Asterisk, button::Ok, button::Ok);
      userInterface().halt(kFatalExitCode, prepared.title);
      return SevFatal;
    }
  }
}

unsigned ErrorManager::message(std::uint16_t id, unsigned buttons, unsigned defaultButton) {
  if (SILENT) return defaultButton;
  const Prepared prepared = prepare(id);
  if (!prepared.found) return defaultButton;
  return present(prepared, prepared.text, MessageIcon::Exclamation, buttons, defaultButton);
}

unsigned ErrorManager::present(const Prepared& message, std::string_view shownText,
                               MessageIcon icon, unsigned buttons, unsigned defaultButton) {
  if (LOGERRORS) writeLog(message.text);

  std::vector<HistoryEntry> shownHistory;
  const bool withHistory = HISTORYTHRESHOLD != 0;
  if (withHistory) {
    std::lock_guard lock(mutex_);
    if (HISTORYTHRESHOLD > 0) {
      const auto keep = static_cast<std::size_t>(HISTORYTHRESHOLD) - 1;
      if (HISTORY.size() > keep) {
        HISTORY.erase(HISTORY.begin(), HISTORY.end() - static_cast<std::ptrdiff_t>(keep));
      }
    }
    HISTORY.push_back({message.category,
                       message.text.substr(0, std::min(message.text.size(), kHistoryTextCapacity)),
                       message.id});
    // A message after which the program ends is always shown: the person must learn why it
    // stopped, whatever level the history window is kept for.
    const bool endsProgram = message.level != SevBenign && message.level != SevUser &&
                             message.level != SevCancel && message.level != SevNotify;
    // So is a question whose default goes ahead: kept only, it would be answered by nobody,
    // and the Yes of "Confirm Delete" deletes. One whose default refuses changes nothing.
    const bool goesAhead = (buttons & ~button::Ok) != 0 && defaultButton != button::No &&
                           defaultButton != button::Cancel;
    if (message.level == HISTORYVIEWLEVEL || endsProgram || goesAhead) {
      shownHistory = HISTORY;
      if (HISTORYRESETONVIEW) HISTORY.clear();
    }
  }

  if (SILENT) return defaultButton;
  if (!withHistory) {
    return userInterface().messageBox(
        {std::string(shownText), message.title, icon, buttons, defaultButton});
  }
  if (shownHistory.empty()) return defaultButton;  // kept, not shown
  return userInterface().historyWindow(
      {std::move(shownHistory), message.title, icon, buttons, defaultButton});
}

// A log that cannot be opened or written is passed over in silence: the message itself matters
// more than its copy in the log.
void ErrorManager::writeLog(std::string_view text) {
  ErrorLog* log = ERRORLOG;
  if (log == nullptr) return;
  const Moment now = clock_->now();
  const std::string line = std::string(clip(formatPicture("@d17", toText(now.day)))) + "@" +
                           std::string(clip(formatPicture("@t4", toText(now.time)))) + " --> " +
                           std::string(text);
  const bool opened = log->open() == 0;
  log->append(line);
  if (opened) log->close();
}

void ErrorManager::resetHistory() {
  std::lock_guard lock(mutex_);
  HISTORY.clear();
}

std::vector<ErrorEntry> ErrorManager::entries() const {
  std::lock_guard lock(mutex_);
  return ERRORS;
}

std::vector<HistoryEntry> ErrorManager::history() const {
  std::lock_guard lock(mutex_);
  return HISTORY;
}

std::string ErrorManager::procedureName() const {
  const int thread = userInterface().threadNumber();
  std::lock_guard lock(mutex_);
  return procedureNameLocked(thread);
}

std::string ErrorManager::fileName() const {
  std::lock_guard lock(mutex_);
  return FILENAME;
}

std::string ErrorManager::fieldName() const {
  std::lock_guard lock(mutex_);
  return FIELDNAME;
}

std::string ErrorManager::messageText() const {
  std::lock_guard lock(mutex_);
  return MESSAGETEXT;
}

std::string ErrorManager::defaultCategory() const {
  std::lock_guard lock(mutex_);
  return DEFAULTCATEGORY;
}

int ErrorManager::saveErrorCode() const {
  std::lock_guard lock(mutex_);
  return SAVEERRORCODE;
}

}  // namespace marlo
