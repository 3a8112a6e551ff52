#include "framework/file_manager.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "framework/messages.h"
#include "framework/relation_set.h"
#include "framework/runtime_error.h"
#include "platform/core/number.h"

namespace marlo {

namespace se = storage_error;

namespace {
constexpr int kAutoIncAttempts = 3;
constexpr int kOpenPasses = 2;
constexpr std::size_t kDescriptionCapacity = 80;
}  // namespace

FileManager::FileManager() = default;

FileManager::~FileManager() {
  if (FILE_ != nullptr && !CLEANEDUP) kill();
}

void FileManager::init(KeyedTable& table, ErrorManager& errors) {
  FILE_ = &table;
  ERRORS = &errors;
  CLEANEDUP = false;
  KEYS.clear();
  HASAUTOINC = false;
  for (std::size_t k = 0; k < table.declaration().keys.size(); ++k)
    addKey(k, table.declaration().keys[k].name);
  fileRegistry().add(table.declaration().prefix, *this);
}

void FileManager::kill() {
  if (CLEANEDUP || FILE_ == nullptr) return;
  CLEANEDUP = true;
  FILE_->close();
  fileRegistry().remove(*this);
  std::lock_guard lock(infoMutex_);
  INFO.clear();
}

void FileManager::addKey(std::size_t keyIndex, std::string_view description,
                         std::size_t autoIncComponent) {
  const auto& declared = FILE_->declaration().keys;
  if (keyIndex >= declared.size()) return;
  KeyInfo info;
  info.KEY = keyIndex;
  info.PDESCRIPTION =
      std::string(description.substr(0, std::min(description.size(), kDescriptionCapacity)));
  info.AUTOINC = autoIncComponent <= declared[keyIndex].components.size() ? autoIncComponent : 0;
  info.DUPS = declared[keyIndex].duplicates;
  info.NOCASE = declared[keyIndex].noCase;
  const auto existing =
      std::find_if(KEYS.begin(), KEYS.end(), [&](const KeyInfo& k) { return k.KEY == keyIndex; });
  if (existing != KEYS.end()) {
    *existing = std::move(info);
  } else {
    KEYS.push_back(std::move(info));
    std::sort(KEYS.begin(), KEYS.end(),
              [](const KeyInfo& a, const KeyInfo& b) { return a.KEY < b.KEY; });
  }
  HASAUTOINC =
      std::any_of(KEYS.begin(), KEYS.end(), [](const KeyInfo& k) { return k.AUTOINC != 0; });
}

FileManager::ThreadState& FileManager::state() {
  const int id = THREADED ? userInterface().threadNumber() : 1;
  std::lock_guard lock(infoMutex_);
  for (ThreadState& s : INFO) {
    if (s.ID == id) return s;
  }
  ThreadState& added = INFO.emplace_back();
  added.ID = id;
  added.USED = true;
  return added;
}

int FileManager::note(int code) {
  noteRuntimeError(*FILE_);
  return code;
}

std::string FileManager::fileName() const {
  return FILE_->fileName();
}

// --- errors -----------------------------------------------------------------------------------

void FileManager::setError(std::uint16_t id) {
  ERRORS->setFile(fileName());
  ERRORS->captureErrors();
  state().LASTERROR = static_cast<std::int16_t>(id);
}

void FileManager::setLastError(std::uint16_t id) {
  state().LASTERROR = static_cast<std::int16_t>(id);
}

SeverityLevel FileManager::throwLastError() {
  ERRORS->setFile(fileName());
  return ERRORS->throwCaptured(static_cast<std::uint16_t>(state().LASTERROR));
}

SeverityLevel FileManager::throw_(std::uint16_t id) {
  setError(id);
  return throwLastError();
}

SeverityLevel FileManager::throwMessage(std::uint16_t id, std::string_view text) {
  ERRORS->setMessageText(text);
  return throw_(id);
}

// --- opening ----------------------------------------------------------------------------------

SeverityLevel FileManager::open(bool report, bool force) {
  ThreadState& st = state();
  std::lock_guard lock(openMutex_);
  if (force || (!LAZYOPEN && st.OPENED == 0)) {
    const SeverityLevel opened = physicalOpen(report);
    if (opened != SevBenign) return opened;
  }
  ++st.OPENED;
  fileRegistry().countOpen(*this, +1);
  return SevBenign;
}

// With a state per thread, each thread counts its own opens, but the table is one: it closes
// with the last close of all threads, never under a thread that still has it open.
SeverityLevel FileManager::close() {
  ThreadState& st = state();
  std::lock_guard lock(openMutex_);
  if (st.OPENED <= 0) return SevNotify;
  fileRegistry().countOpen(*this, -1);
  --st.OPENED;
  if (!openedByAnyThread()) FILE_->close();
  return SevBenign;
}

bool FileManager::openedByAnyThread() {
  std::lock_guard lock(infoMutex_);
  return std::any_of(INFO.begin(), INFO.end(), [](const ThreadState& s) { return s.OPENED > 0; });
}

// At most two passes: the second after dropping to read-only, creating the file or rebuilding
// the keys. What still fails then is reported as the table's failure (FileAccessError, or
// FileCreationError when the file could not even be created).
SeverityLevel FileManager::physicalOpen(bool report) {
  int mode = OPENMODE;
  bool recorded = false;  // an error more telling than FileAccessError is set
  for (int pass = 0; pass < kOpenPasses; ++pass) {
    int rc = note(FILE_->open(mode));
    if (rc == se::kAccessDenied) {
      FILE_->sendOption("Recover=" + toText(LOCKRECOVER));
      rc = note(FILE_->open(mode));
    }
    if (rc == se::kNone || rc == se::kAlreadyOpen) {
      ThreadState& st = state();
      st.ATEOF = false;
      st.AUTOINCDONE = false;
      return SevBenign;
    }
    const bool lastPass = pass + 1 == kOpenPasses;
    if (rc == se::kAccessDenied && (mode & 0x3) != 0 && !lastPass) {
      mode &= ~0x3;  // read only, sharing kept
      throw_(msg::AccessDenied);
      continue;
    }
    if (rc == se::kNotFound && CREATE && !lastPass) {
      if (note(FILE_->create()) == se::kNone) continue;
      setError(msg::FileCreationError);
      recorded = true;
      break;
    }
    if (rc == se::kInvalidKey && !lastPass) {
      setError(msg::InvalidKey);
      if (!report) {
        FILE_->close();
        return SevNotify;
      }
      throwLastError();
      if (note(FILE_->buildKeys()) == se::kNone) continue;
      FILE_->close();
      setError(msg::KeyNotBuilt);
      return throwLastError();
    }
    break;
  }
  if (FILE_->isOpen()) FILE_->close();  // half-open after a key failure on the last pass
  if (!recorded) setError(msg::FileAccessError);
  return report ? throwLastError() : SevNotify;
}

SeverityLevel FileManager::useFile(int mode) {
  ThreadState& st = state();
  if (mode != kUseUnregistered) fileRegistry().use(*this, mode);
  if (!LAZYOPEN) return SevBenign;
  std::unique_lock lock(openMutex_);
  if (FILE_->isOpen()) return SevBenign;
  if (st.OPENED < 1) {
    lock.unlock();
    return throw_(msg::FileNotOpen);
  }
  // Opening reads nothing into the buffer, but a rebuild or a message might: keep the record.
  const RecordImage buffer = FILE_->image();
  const SeverityLevel opened = physicalOpen(true);
  FILE_->restoreImage(buffer);
  return opened;
}

// --- numbering --------------------------------------------------------------------------------

namespace {

// The highest value the variable behind an integer field can hold: each candidate is stored and
// read back, and the first that survives the trip fits.
FieldValue highestValue(const FieldBinding& field) {
  for (const std::int64_t candidate : {std::int64_t{std::numeric_limits<std::int32_t>::max()},
                                       std::int64_t{std::numeric_limits<std::int16_t>::max()},
                                       std::int64_t{std::numeric_limits<std::uint8_t>::max()},
                                       std::int64_t{std::numeric_limits<std::int8_t>::max()}}) {
    field.set(FieldValue(candidate));
    if (field.get() == FieldValue(candidate)) return FieldValue(candidate);
  }
  return FieldValue(std::int64_t{0});
}

std::int64_t integerOf(const FieldValue& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return *i;
  if (const auto* d = std::get_if<double>(&value)) return static_cast<std::int64_t>(*d);
  return toInteger(std::get<std::string>(value));
}

}  // namespace

int FileManager::numberKey(const KeyInfo& info) {
  const TableDeclaration& decl = FILE_->declaration();
  const KeyDeclaration& key = decl.keys[info.KEY];
  const std::size_t autoAt = info.AUTOINC - 1;
  const FieldBinding& autoField = decl.fields[key.components[autoAt].field];

  const RecordImage saved = FILE_->image();
  FILE_->clearBuffer();
  for (std::size_t i = 0; i < autoAt; ++i) {
    const std::size_t f = key.components[i].field;
    decl.fields[f].set(saved[f]);
  }
  // Place the search just past the group that shares the leading components: the highest
  // number sorts last in an ascending component and first in a descending one.
  highestValue(autoField);
  int rc;
  if (key.components[autoAt].ascending) {
    rc = note(FILE_->setAfterKeyValue(info.KEY));
    if (rc == se::kNone) rc = note(FILE_->previous());
  } else {
    rc = note(FILE_->setAtKeyValue(info.KEY));
    if (rc == se::kNone) rc = note(FILE_->next());
  }
  std::int64_t number = 1;
  if (rc == se::kNone) {
    const RecordImage found = FILE_->image();
    bool sameGroup = true;
    for (std::size_t i = 0; i < autoAt; ++i) {
      const std::size_t f = key.components[i].field;
      sameGroup = sameGroup && found[f] == saved[f];
    }
    if (sameGroup) number = integerOf(found[key.components[autoAt].field]) + 1;
  } else if (rc != se::kNoRecord) {
    FILE_->restoreImage(saved);
    return rc;
  }
  FILE_->restoreImage(saved);
  autoField.set(FieldValue(number));
  return se::kNone;
}

SeverityLevel FileManager::primeAutoInc(bool report) {
  if (useFile() != SevBenign) return SevFatal;
  ThreadState& st = state();
  if (!HASAUTOINC || st.AUTOINCDONE) return SevBenign;
  int failedAdds = 0;
  for (;;) {
    for (const KeyInfo& info : KEYS) {
      if (info.AUTOINC == 0) continue;
      if (numberKey(info) != se::kNone) {
        setError(msg::RecordRetrievalError);
        return report ? throwLastError() : SevNotify;
      }
    }
    if (note(FILE_->add()) == se::kNone) {
      st.AUTOINCDONE = true;
      st.autoIncPosition = FILE_->position();
      rememberRead(st);
      return SevBenign;
    }
    if (++failedAdds < kAutoIncAttempts) continue;
    setError(msg::AutoIncrementError);
    if (report && throwLastError() == SevBenign) {
      failedAdds = 0;  // the person wants more attempts
      continue;
    }
    return SevNotify;
  }
}

// --- writing ----------------------------------------------------------------------------------

SeverityLevel FileManager::insert(bool report) {
  if (useFile() != SevBenign) return SevFatal;
  if (validateRecord() != 0) return SevNotify;
  ThreadState& st = state();
  int rc = se::kNone;
  if (HASAUTOINC) {
    if (st.AUTOINCDONE) {
      // Write over the record that numbering added; find it again by its position, since the
      // table may have been read elsewhere since then.
      const RecordImage record = FILE_->image();
      rc = note(FILE_->reget(st.autoIncPosition));
      FILE_->restoreImage(record);
      if (rc == se::kNone) rc = note(FILE_->put());
    } else {
      const SeverityLevel primed = primeAutoInc(report);
      if (primed != SevBenign) return SevNotify;
    }
  } else {
    rc = note(FILE_->add());
  }
  if (rc == se::kNone) {
    st.AUTOINCDONE = false;
    st.autoIncPosition.clear();
    rememberRead(st);
    return SevBenign;
  }
  if (rc == se::kDuplicateKey) {
    setError(msg::DuplicateKey);
    const KeyInfo* owner = duplicatedKey(HASAUTOINC ? st.autoIncPosition : std::string());
    if (owner != nullptr) ERRORS->setMessageText(owner->PDESCRIPTION);
    if (report && owner != nullptr) throwLastError();
    return SevNotify;
  }
  setError(msg::RecordInsertError);
  return report ? throwLastError() : SevNotify;
}

// The first unique key (in key order) whose values in the buffer another record already has;
// the record at `own` (the one being written) does not count. The table is looked up key by
// key, and the buffer and the reading position are put back afterwards.
const FileManager::KeyInfo* FileManager::duplicatedKey(const std::string& own) {
  const RecordImage record = FILE_->image();
  const std::string position = FILE_->position();
  const KeyInfo* found = nullptr;
  for (const KeyInfo& info : KEYS) {
    if (info.DUPS) continue;
    if (FILE_->get(info.KEY) == se::kNone && (own.empty() || FILE_->position() != own)) {
      found = &info;
      break;
    }
  }
  if (!position.empty()) FILE_->reget(position);
  FILE_->restoreImage(record);
  return found;
}

SeverityLevel FileManager::update(int mode) {
  if (useFile() != SevBenign) return SevFatal;
  if (validateRecord() != 0) return SevUser;
  ThreadState& st = state();
  const std::string position = FILE_->position();
  const int rc = note(FILE_->put());
  if (rc == se::kNone) {
    rememberRead(st);
    return SevBenign;
  }
  if (rc == se::kChangedByAnother) {
    setError(mode == kUpdateForm ? msg::ChangedElsewhereShown : msg::ChangedElsewhere);
    if (mode != kUpdateTry) throwLastError();
    // Show the other station's version: the person's own values are gone from the buffer
    // (a form can recall them from its saved copy).
    if (FILE_->reget(position) == se::kNone) rememberRead(st);
    return SevNotify;
  }
  setError(msg::RecordNotUpdated);
  return mode != kUpdateTry ? throwLastError() : SevNotify;
}

SeverityLevel FileManager::cancelAutoInc(RelationSet* relations) {
  ThreadState& st = state();
  if (!HASAUTOINC || !st.AUTOINCDONE) return SevBenign;
  if (note(FILE_->reget(st.autoIncPosition)) != se::kNone) {
    setError(msg::RecordNotDeleted);
    return throwLastError();
  }
  SeverityLevel result;
  if (relations != nullptr) {
    result = relations->delete_(false);
  } else if (note(FILE_->erase()) == se::kNone) {
    result = SevBenign;
  } else {
    setError(msg::RecordNotDeleted);
    result = throwLastError();
  }
  if (result == SevBenign) {
    st.AUTOINCDONE = false;
    st.autoIncPosition.clear();
  }
  return result;
}

// --- reading ----------------------------------------------------------------------------------

SeverityLevel FileManager::read(bool forward, bool report) {
  if (useFile() != SevBenign) return SevFatal;
  ThreadState& st = state();
  st.ATEOF = false;
  FILE_->setSkipHeld(SKIPHELDRECORDS);
  for (;;) {
    const int rc = note(forward ? FILE_->next() : FILE_->previous());
    if (rc == se::kNone) {
      rememberRead(st);
      return SevBenign;
    }
    if (rc == se::kNoRecord) {
      st.ATEOF = true;
      return SevNotify;
    }
    if (rc == se::kRecordHeld) {
      if (SKIPHELDRECORDS) continue;
      setError(msg::RecordHeld);
      return report ? throwLastError() : SevNotify;
    }
    setError(msg::RecordRetrievalError);
    return report ? throwLastError() : SevFatal;
  }
}

SeverityLevel FileManager::tryFetch(std::size_t keyIndex) {
  if (useFile() != SevBenign) return SevFatal;
  const int rc = note(FILE_->get(keyIndex));
  if (rc == se::kNone) {
    rememberRead(state());
    return SevBenign;
  }
  if (rc != se::kNoRecord) setError(msg::RecordRetrievalError);
  return SevNotify;
}

std::string FileManager::getPosition() const {
  return FILE_->position();
}

int FileManager::reget(std::string_view position) {
  const int rc = note(FILE_->reget(position));
  if (rc == se::kNone) rememberRead(state());
  return rc;
}

void FileManager::noteRead() {
  rememberRead(state());
}

void FileManager::rememberRead(ThreadState& st) {
  st.lastRead = FILE_->image();
  st.lastReadPosition = FILE_->position();
}

// --- buffers and states -----------------------------------------------------------------------

// The lists of saved buffers and states are shared by every window of every thread that uses
// the table: each change of a list is made under its lock.
int FileManager::saveBuffer() {
  RecordImage image = FILE_->image();
  std::lock_guard lock(buffersMutex_);
  const int id = BUFFERS.empty() ? 1 : BUFFERS.back().id + 1;
  BUFFERS.push_back({id, std::move(image)});
  return id;
}

void FileManager::restoreBuffer(int id, bool release) {
  RecordImage image;
  {
    std::lock_guard lock(buffersMutex_);
    const auto it = std::find_if(BUFFERS.begin(), BUFFERS.end(),
                                 [&](const SavedBuffer& b) { return b.id == id; });
    if (it == BUFFERS.end()) return;
    image = release ? std::move(it->image) : it->image;
    if (release) BUFFERS.erase(it);
  }
  FILE_->restoreImage(image);
}

bool FileManager::equalBuffer(int id) const {
  const RecordImage current = FILE_->image();
  std::lock_guard lock(buffersMutex_);
  const auto it = std::find_if(BUFFERS.begin(), BUFFERS.end(),
                               [&](const SavedBuffer& b) { return b.id == id; });
  return it != BUFFERS.end() && it->image == current;
}

int FileManager::saveFile() {
  SavedState saved;
  saved.AUTOINCDONE = state().AUTOINCDONE;
  saved.POS = FILE_->position();
  saved.BUFFER = saveBuffer();
  std::lock_guard lock(buffersMutex_);
  saved.ID = SAVED.empty() ? 1 : SAVED.back().ID + 1;
  SAVED.push_back(std::move(saved));
  return SAVED.back().ID;
}

void FileManager::restoreFile(int id) {
  SavedState saved;
  {
    std::lock_guard lock(buffersMutex_);
    const auto it =
        std::find_if(SAVED.begin(), SAVED.end(), [&](const SavedState& s) { return s.ID == id; });
    if (it == SAVED.end()) return;
    saved = std::move(*it);
    SAVED.erase(it);
  }
  if (!saved.POS.empty() && FILE_->isOpen()) reget(saved.POS);  // reading goes on from there
  restoreBuffer(saved.BUFFER, true);
  state().AUTOINCDONE = saved.AUTOINCDONE;
}

// --- inspection -------------------------------------------------------------------------------

int FileManager::openCount() {
  return state().OPENED;
}
bool FileManager::atEof() {
  return state().ATEOF;
}
bool FileManager::autoIncDone() {
  return state().AUTOINCDONE;
}
int FileManager::lastError() {
  return state().LASTERROR;
}
RecordImage FileManager::lastReadImage() {
  ThreadState& st = state();
  // A record read past this manager is unknown here: better no answer than another record's.
  if (st.lastReadPosition.empty() || st.lastReadPosition != FILE_->position()) return {};
  return st.lastRead;
}

// --- the registry -----------------------------------------------------------------------------

FileRegistry& fileRegistry() {
  static FileRegistry registry;
  return registry;
}

void FileRegistry::add(std::string_view label, FileManager& manager) {
  std::lock_guard lock(mutex_);
  for (Entry& entry : entries_) {
    if (entry.FILEMANAGER == &manager) {
      entry.FILELABEL = std::string(label);
      return;
    }
  }
  entries_.push_back({std::string(label), &manager, {}});
}

void FileRegistry::remove(const FileManager& manager) {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [&](const Entry& e) { return e.FILEMANAGER == &manager; });
}

FileManager* FileRegistry::find(std::string_view label) const {
  std::lock_guard lock(mutex_);
  for (const Entry& entry : entries_) {
    if (entry.FILELABEL == label) return entry.FILEMANAGER;
  }
  return nullptr;
}

FileRegistry::Entry* FileRegistry::entryLocked(const FileManager& manager) {
  for (Entry& entry : entries_) {
    if (entry.FILEMANAGER == &manager) return &entry;
  }
  return nullptr;
}

FileRegistry::User& FileRegistry::userLocked(Entry& entry) {
  const int thread = userInterface().threadNumber();
  const std::string proc = globalErrors.procedureName();
  for (User& user : entry.users) {
    if (user.THREAD == thread && user.PROC == proc) return user;
  }
  User& added = entry.users.emplace_back();
  added.THREAD = thread;
  added.PROC = proc;
  added.ID = ++lastUserId_;
  return added;
}

void FileRegistry::use(const FileManager& manager, int mode) {
  std::lock_guard lock(mutex_);
  if (Entry* entry = entryLocked(manager)) userLocked(*entry).USTAT = mode;
}

void FileRegistry::countOpen(const FileManager& manager, int delta) {
  std::lock_guard lock(mutex_);
  Entry* entry = entryLocked(manager);
  if (entry == nullptr) return;
  User& user = userLocked(*entry);
  user.NESTEDOPEN += delta;
  if (user.NESTEDOPEN <= 0) {
    const int id = user.ID;
    std::erase_if(entry->users, [&](const User& u) { return u.ID == id; });
  }
}

std::vector<FileRegistry::User> FileRegistry::users(const FileManager& manager) const {
  std::lock_guard lock(mutex_);
  for (const Entry& entry : entries_) {
    if (entry.FILEMANAGER == &manager) return entry.users;
  }
  return {};
}

}  // namespace marlo
