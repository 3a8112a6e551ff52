#include "platform/storage/keyed_table.h"

#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <limits>

#include "platform/core/number.h"
#include "platform/storage/profile.h"
#include "platform/storage/share_lock.h"
#include "platform/storage/storage_faults.h"

namespace marlo {

namespace se = storage_error;

namespace {

constexpr int kDefaultBusyMs = 2000;
constexpr std::int64_t kLowestRow = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kHighestRow = std::numeric_limits<std::int64_t>::max();

std::string sqlName(std::string_view name) {
  std::string out = "\"";
  for (const char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

const char* sqlType(FieldType type) {
  switch (type) {
    case FieldType::Integer:
      return "INTEGER";
    case FieldType::Real:
      return "REAL";
    case FieldType::Text:
      return "TEXT";
  }
  return "TEXT";
}

// A prepared statement that finalises itself.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  [[nodiscard]] bool ok() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() { return stmt_; }
  void bind(int index, const FieldValue& value) {
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
      sqlite3_bind_int64(stmt_, index, *i);
    } else if (const auto* d = std::get_if<double>(&value)) {
      sqlite3_bind_double(stmt_, index, *d);
    } else {
      const auto& s = std::get<std::string>(value);
      sqlite3_bind_text(stmt_, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
  }
  void bind(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
  int step() { return sqlite3_step(stmt_); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

FieldValue columnValue(sqlite3_stmt* stmt, int column, FieldType type) {
  switch (type) {
    case FieldType::Integer:
      return FieldValue(std::int64_t{sqlite3_column_int64(stmt, column)});
    case FieldType::Real:
      return FieldValue(sqlite3_column_double(stmt, column));
    case FieldType::Text: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
      return FieldValue(std::string(text != nullptr ? text : "",
                                    static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))));
    }
  }
  return FieldValue(std::string());
}

bool processAlive(std::int64_t pid) {
  return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The low two bits of an open mode byte are its access: 0 reads only, 1 writes, 2 reads and
// writes (see text_file.h).
bool writes(int mode) {
  return (mode & 0x3) != 0;
}

std::string newHolderId() {
  static std::atomic<std::uint64_t> counter{0};
  return std::to_string(::getpid()) + ":" + std::to_string(++counter);
}

}  // namespace

// Where reading along a key goes on from: the key values and row id of an anchor, or one of
// the two ends. next() reads the first record after the anchor, previous() the last before it.
struct Anchor {
  enum class Kind { First, Last, At } kind = Kind::First;
  std::vector<FieldValue> values;
  std::int64_t row = 0;
};

struct KeyedTable::Impl {
  sqlite3* db = nullptr;
  bool readOnly = false;
  ShareLock share;
  std::string openedName;
  std::int64_t currentRow = 0;  // the record last read or added; 0 = none
  RecordImage readImage;        // its values as stored when read, for the change check
  std::size_t key = 0;          // the key being read along
  Anchor anchor;
  std::string holder = newHolderId();
  bool holdsTable = false;
  int busyMs = kDefaultBusyMs;

  ~Impl() { sqlite3_close_v2(db); }
};

FieldBinding bindField(std::string name, std::int32_t& variable) {
  return {std::move(name),
          FieldType::Integer,
          0,
          [&variable] { return FieldValue(std::int64_t{variable}); },
          [&variable](const FieldValue& v) {
            if (const auto* i = std::get_if<std::int64_t>(&v))
              variable = static_cast<std::int32_t>(*i);
          },
          [&variable] { variable = 0; }};
}

FieldBinding bindField(std::string name, std::int16_t& variable) {
  return {std::move(name),
          FieldType::Integer,
          0,
          [&variable] { return FieldValue(std::int64_t{variable}); },
          [&variable](const FieldValue& v) {
            if (const auto* i = std::get_if<std::int64_t>(&v))
              variable = static_cast<std::int16_t>(*i);
          },
          [&variable] { variable = 0; }};
}

FieldBinding bindField(std::string name, std::uint8_t& variable) {
  return {std::move(name),
          FieldType::Integer,
          0,
          [&variable] { return FieldValue(std::int64_t{variable}); },
          [&variable](const FieldValue& v) {
            if (const auto* i = std::get_if<std::int64_t>(&v))
              variable = static_cast<std::uint8_t>(*i);
          },
          [&variable] { variable = 0; }};
}

FieldBinding bindField(std::string name, double& variable) {
  return {std::move(name),
          FieldType::Real,
          0,
          [&variable] { return FieldValue(variable); },
          [&variable](const FieldValue& v) {
            if (const auto* d = std::get_if<double>(&v)) variable = *d;
          },
          [&variable] { variable = 0.0; }};
}

KeyedTable::KeyedTable(TableDeclaration declaration)
    : decl_(std::move(declaration)), impl_(std::make_unique<Impl>()) {}

KeyedTable::~KeyedTable() {
  close();
}

std::string KeyedTable::fileName() const {
  return decl_.fileName + std::string(kExtension);
}

int KeyedTable::ok() {
  error_ = se::kNone;
  errorText_.clear();
  driverError_ = 0;
  driverErrorText_.clear();
  return se::kNone;
}

int KeyedTable::fail(int code, std::string text) {
  error_ = code;
  errorText_ = std::move(text);
  return code;
}

int KeyedTable::failSqlite(int defaultCode, std::string_view what) {
  sqlite3* db = impl_->db;
  driverError_ = db != nullptr ? sqlite3_extended_errcode(db) : SQLITE_ERROR;
  driverErrorText_ = db != nullptr ? sqlite3_errmsg(db) : "no database";
  int code = defaultCode;
  switch (driverError_ & 0xFF) {
    case SQLITE_CONSTRAINT:
      if (driverError_ == SQLITE_CONSTRAINT_UNIQUE) code = se::kDuplicateKey;
      break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      code = se::kAccessDenied;
      break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      code = se::kAccessDenied;
      break;
    default:
      break;
  }
  return fail(code, std::string(what) + ": " + driverErrorText_);
}

// --- schema -----------------------------------------------------------------------------

namespace {

std::string indexName(const KeyDeclaration& key) {
  return sqlName("key_" + key.name);
}

std::string keyColumnList(const TableDeclaration& decl, const KeyDeclaration& key,
                          bool withDirection) {
  std::string out;
  for (const KeyComponent& c : key.components) {
    const FieldBinding& field = decl.fields[c.field];
    if (!out.empty()) out += ", ";
    out += sqlName(field.name);
    if (key.noCase && field.type == FieldType::Text) out += " COLLATE NOCASE";
    if (withDirection) out += c.ascending ? " ASC" : " DESC";
  }
  return out;
}

std::string createIndexSql(const TableDeclaration& decl, const KeyDeclaration& key) {
  return std::string("CREATE ") + (key.duplicates ? "" : "UNIQUE ") + "INDEX IF NOT EXISTS " +
         indexName(key) + " ON records (" + keyColumnList(decl, key, true) + ")";
}

bool execute(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

int KeyedTable::create() {
  const std::string name = fileName();
  close();
  std::error_code error;
  std::filesystem::remove(nativePath(name), error);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(nativePath(name).c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      storage_faults::sqliteFileLayer()) != SQLITE_OK) {
    impl_->db = db;
    const int code = failSqlite(se::kAccessDenied, "cannot create " + name);
    sqlite3_close_v2(db);
    impl_->db = nullptr;
    return code;
  }
  impl_->db = db;
  std::string sql = "BEGIN; CREATE TABLE records (";
  for (std::size_t i = 0; i < decl_.fields.size(); ++i) {
    if (i != 0) sql += ", ";
    sql += sqlName(decl_.fields[i].name) + " " + sqlType(decl_.fields[i].type) + " NOT NULL";
  }
  sql +=
      "); CREATE TABLE held (row INTEGER PRIMARY KEY, holder TEXT NOT NULL, pid INTEGER NOT NULL);";
  for (const KeyDeclaration& key : decl_.keys) sql += createIndexSql(decl_, key) + ";";
  sql += "COMMIT;";
  const bool made = execute(db, sql);
  const int code = made ? ok() : failSqlite(se::kDriverError, "cannot create " + name);
  sqlite3_close_v2(db);
  impl_->db = nullptr;
  return code;
}

int KeyedTable::open(int mode) {
  if (isOpen()) return fail(se::kAlreadyOpen, "already open");
  const std::string name = fileName();
  const std::filesystem::path path = nativePath(name);
  const bool wantsWrite = writes(mode);
  if (const int refused = claimFile(path, name, mode); refused != se::kNone) return refused;
  if (const int failed = openDatabase(path, name, wantsWrite); failed != se::kNone) return failed;
  if (const int foreign = checkLayout(name); foreign != se::kNone) return foreign;
  // From here the table stays open even when a key needs rebuilding (buildKeys).
  impl_->readOnly = !wantsWrite;
  if (const int damaged = checkKeys(name); damaged != se::kNone) return damaged;
  impl_->openedName = name;
  impl_->currentRow = 0;
  impl_->anchor = {};
  return ok();
}

// The file must be there, writable when the opener writes, and its sharing must allow us.
int KeyedTable::claimFile(const std::filesystem::path& path, const std::string& name, int mode) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return fail(se::kNotFound, name + " not found");
  if (writes(mode) && ::access(path.c_str(), W_OK) != 0)
    return fail(se::kAccessDenied, "no write access to " + name);
  const std::filesystem::path lockFile =
      path.parent_path() / ("." + path.filename().string() + ".share");
  if (impl_->share.acquire(lockFile, mode) != se::kNone) {
    return fail(se::kAccessDenied, name + " is in use by another user");
  }
  return se::kNone;
}

int KeyedTable::openDatabase(const std::filesystem::path& path, const std::string& name,
                             bool wantsWrite) {
  sqlite3* db = nullptr;
  const int flags =
      (wantsWrite ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags, storage_faults::sqliteFileLayer());
  impl_->db = db;
  if (rc != SQLITE_OK) {
    const int code = failSqlite(se::kDriverError, "cannot open " + name);
    close();
    return code;
  }
  sqlite3_busy_timeout(db, impl_->busyMs);
  execute(db, "PRAGMA synchronous=FULL");
  return se::kNone;
}

// A file that is no table of ours, or not this table, is refused before anything is read.
int KeyedTable::checkLayout(const std::string& name) {
  Statement info(impl_->db, "PRAGMA table_info(records)");
  if (!info.ok()) {
    const int code = failSqlite(se::kDriverError, name + " is not a table file");
    close();
    return code;
  }
  std::size_t columns = 0;
  bool matches = true;
  while (info.step() == SQLITE_ROW) {
    const auto* column = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
    const std::size_t at = columns++;
    matches =
        matches && at < decl_.fields.size() && column != nullptr && decl_.fields[at].name == column;
  }
  if (matches && columns == decl_.fields.size()) return se::kNone;
  close();
  driverError_ = 0;
  driverErrorText_ = "the record layout of " + name + " differs from its declaration";
  return fail(se::kDriverError, driverErrorText_);
}

// A key whose index is missing or damaged must be rebuilt before the table is used: the table
// stays open for buildKeys.
int KeyedTable::checkKeys(const std::string& name) {
  sqlite3* db = impl_->db;
  for (const KeyDeclaration& key : decl_.keys) {
    Statement probe(db, "SELECT 1 FROM sqlite_master WHERE type='index' AND name=" +
                            std::string("'key_") + key.name + "'");
    if (!probe.ok() || probe.step() != SQLITE_ROW) {
      return fail(se::kInvalidKey, "key " + key.name + " of " + name + " is missing");
    }
  }
  Statement check(db, "PRAGMA quick_check");
  if (!check.ok()) {
    const int code = failSqlite(se::kDriverError, name + " is damaged");
    close();
    return code;
  }
  if (check.step() == SQLITE_ROW) {
    const auto* verdict = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
    if (verdict == nullptr || std::string_view(verdict) != "ok") {
      return fail(se::kInvalidKey,
                  std::string(name) + " keys are damaged: " + (verdict ? verdict : ""));
    }
  }
  return se::kNone;
}

void KeyedTable::close() {
  if (impl_->db != nullptr) {
    release();
    sqlite3_close_v2(impl_->db);
  }
  impl_->db = nullptr;
  impl_->share.release();
  impl_->currentRow = 0;
}

bool KeyedTable::isOpen() const {
  return impl_->db != nullptr;
}
bool KeyedTable::isReadOnly() const {
  return impl_->readOnly;
}

int KeyedTable::buildKeys() {
  if (!isOpen()) return fail(se::kNotOpen, "not open");
  std::string sql = "BEGIN;";
  for (const KeyDeclaration& key : decl_.keys) {
    sql += "DROP INDEX IF EXISTS " + indexName(key) + ";" + createIndexSql(decl_, key) + ";";
  }
  sql += "COMMIT;";
  if (!execute(impl_->db, sql)) {
    const int code = failSqlite(se::kInvalidKey, "keys not built");
    execute(impl_->db, "ROLLBACK");
    return code;
  }
  return ok();
}

int KeyedTable::sendOption(std::string_view option) {
  constexpr std::string_view kRecover = "Recover=";
  if (option.substr(0, kRecover.size()) == kRecover) {
    const auto seconds =
        std::clamp<std::int64_t>(toInteger(option.substr(kRecover.size())), 0, 3600);
    impl_->busyMs = static_cast<int>(seconds * 1000);
    if (isOpen()) sqlite3_busy_timeout(impl_->db, impl_->busyMs);
  }
  return ok();
}

std::int64_t KeyedTable::records() {
  if (!isOpen()) return 0;
  Statement count(impl_->db, "SELECT count(*) FROM records");
  return count.ok() && count.step() == SQLITE_ROW ? sqlite3_column_int64(count.get(), 0) : 0;
}

// --- the buffer -------------------------------------------------------------------------

void KeyedTable::clearBuffer() {
  for (const FieldBinding& field : decl_.fields) field.clear();
}

RecordImage KeyedTable::image() const {
  RecordImage values;
  values.reserve(decl_.fields.size());
  for (const FieldBinding& field : decl_.fields) values.push_back(field.get());
  return values;
}

void KeyedTable::restoreImage(const RecordImage& values) {
  for (std::size_t i = 0; i < decl_.fields.size() && i < values.size(); ++i) {
    decl_.fields[i].set(values[i]);
  }
}

namespace {

std::string columnList(const TableDeclaration& decl) {
  std::string out = "rowid";
  for (const FieldBinding& field : decl.fields) out += ", " + sqlName(field.name);
  return out;
}

}  // namespace

int KeyedTable::loadRow(void* statement) {
  auto* stmt = static_cast<sqlite3_stmt*>(statement);
  impl_->currentRow = sqlite3_column_int64(stmt, 0);
  impl_->readImage.clear();
  for (std::size_t i = 0; i < decl_.fields.size(); ++i) {
    impl_->readImage.push_back(columnValue(stmt, static_cast<int>(i) + 1, decl_.fields[i].type));
  }
  restoreImage(impl_->readImage);
  return ok();
}

// --- writes -----------------------------------------------------------------------------

int KeyedTable::add() {
  if (!isOpen()) return fail(se::kNotOpen, "not open");
  std::string sql = "INSERT INTO records (";
  std::string values;
  for (std::size_t i = 0; i < decl_.fields.size(); ++i) {
    sql += (i ? ", " : "") + sqlName(decl_.fields[i].name);
    values += i ? ", ?" : "?";
  }
  Statement insert(impl_->db, sql + ") VALUES (" + values + ")");
  if (!insert.ok()) return failSqlite(se::kDriverError, "cannot add");
  const RecordImage values_ = image();
  for (std::size_t i = 0; i < values_.size(); ++i) insert.bind(static_cast<int>(i) + 1, values_[i]);
  if (insert.step() != SQLITE_DONE) return failSqlite(se::kDriverError, "cannot add");
  impl_->currentRow = sqlite3_last_insert_rowid(impl_->db);
  impl_->readImage = values_;
  return ok();
}

int KeyedTable::put() {
  if (!isOpen()) return fail(se::kNotOpen, "not open");
  if (impl_->currentRow == 0) return fail(se::kNoRecord, "no record was read");
  // The row is written only while it still holds what we read: one statement, so no other
  // station can slip in between the check and the write.
  std::string sql = "UPDATE records SET ";
  for (std::size_t i = 0; i < decl_.fields.size(); ++i) {
    sql += (i ? ", " : "") + sqlName(decl_.fields[i].name) + " = ?";
  }
  sql += " WHERE rowid = ?";
  for (const FieldBinding& field : decl_.fields) sql += " AND " + sqlName(field.name) + " IS ?";
  Statement update(impl_->db, sql);
  if (!update.ok()) return failSqlite(se::kDriverError, "cannot write");
  const RecordImage values = image();
  int index = 1;
  for (const FieldValue& value : values) update.bind(index++, value);
  update.bind(index++, impl_->currentRow);
  for (const FieldValue& value : impl_->readImage) update.bind(index++, value);
  if (update.step() != SQLITE_DONE) return failSqlite(se::kDriverError, "cannot write");
  if (sqlite3_changes(impl_->db) == 0) {
    return fail(se::kChangedByAnother, "the record was changed by another station");
  }
  impl_->readImage = values;
  return ok();
}

int KeyedTable::erase() {
  if (!isOpen()) return fail(se::kNotOpen, "not open");
  if (impl_->currentRow == 0) return fail(se::kNoRecord, "no record was read");
  Statement remove(impl_->db, "DELETE FROM records WHERE rowid = ?");
  if (!remove.ok()) return failSqlite(se::kDriverError, "cannot delete");
  remove.bind(1, impl_->currentRow);
  if (remove.step() != SQLITE_DONE) return failSqlite(se::kDriverError, "cannot delete");
  if (sqlite3_changes(impl_->db) == 0) return fail(se::kNoRecord, "the record is gone");
  release();
  impl_->currentRow = 0;
  return ok();
}

// --- reading along a key ----------------------------------------------------------------

namespace {

// SQL that is true for rows after (forward) or before the anchor in key order, row id last.
std::string anchorCondition(const TableDeclaration& decl, const KeyDeclaration& key, bool forward) {
  std::string out = "(";
  std::string equalSoFar;
  for (std::size_t i = 0; i <= key.components.size(); ++i) {
    const bool last = i == key.components.size();
    std::string column = last ? "rowid" : sqlName(decl.fields[key.components[i].field].name);
    if (!last && key.noCase && decl.fields[key.components[i].field].type == FieldType::Text) {
      column += " COLLATE NOCASE";
    }
    const bool ascending = last || key.components[i].ascending;
    const char* op = ascending == forward ? " > ?" : " < ?";
    if (i != 0) out += " OR ";
    out += "(" + equalSoFar + column + op + ")";
    equalSoFar += column + " = ? AND ";
  }
  return out + ")";
}

std::string orderBy(const TableDeclaration& decl, const KeyDeclaration& key, bool forward) {
  std::string out = " ORDER BY ";
  for (const KeyComponent& c : key.components) {
    const FieldBinding& field = decl.fields[c.field];
    out += sqlName(field.name);
    if (key.noCase && field.type == FieldType::Text) out += " COLLATE NOCASE";
    out += c.ascending == forward ? " ASC, " : " DESC, ";
  }
  return out + (forward ? "rowid ASC" : "rowid DESC");
}

}  // namespace

int KeyedTable::setBefore(std::size_t key) {
  if (key >= decl_.keys.size()) return fail(se::kDriverError, "no such key");
  impl_->key = key;
  impl_->anchor = {Anchor::Kind::First, {}, 0};
  return ok();
}

int KeyedTable::setAfter(std::size_t key) {
  if (key >= decl_.keys.size()) return fail(se::kDriverError, "no such key");
  impl_->key = key;
  impl_->anchor = {Anchor::Kind::Last, {}, 0};
  return ok();
}

namespace {
std::vector<FieldValue> keyValues(const TableDeclaration& decl, const KeyDeclaration& key) {
  std::vector<FieldValue> values;
  for (const KeyComponent& c : key.components) values.push_back(decl.fields[c.field].get());
  return values;
}
}  // namespace

int KeyedTable::setAtKeyValue(std::size_t key) {
  if (key >= decl_.keys.size()) return fail(se::kDriverError, "no such key");
  impl_->key = key;
  impl_->anchor = {Anchor::Kind::At, keyValues(decl_, decl_.keys[key]), kLowestRow};
  return ok();
}

int KeyedTable::setAfterKeyValue(std::size_t key) {
  if (key >= decl_.keys.size()) return fail(se::kDriverError, "no such key");
  impl_->key = key;
  impl_->anchor = {Anchor::Kind::At, keyValues(decl_, decl_.keys[key]), kHighestRow};
  return ok();
}

int KeyedTable::setAtPosition(std::string_view position) {
  const int found = reget(position);
  if (found != se::kNone) return found;
  impl_->anchor = {Anchor::Kind::At, keyValues(decl_, decl_.keys[impl_->key]),
                   impl_->currentRow - 1};
  return ok();
}

int KeyedTable::next() {
  return readAlong(true);
}
int KeyedTable::previous() {
  return readAlong(false);
}

int KeyedTable::readAlong(bool forward) {
  if (!isOpen()) return fail(se::kNotOpen, "not open");
  if (decl_.keys.empty()) return fail(se::kDriverError, "the table has no key");
  const KeyDeclaration& key = decl_.keys[impl_->key];
  for (;;) {
    Anchor& anchor = impl_->anchor;
    const bool pastEnd = (anchor.kind == Anchor::Kind::Last && forward) ||
                         (anchor.kind == Anchor::Kind::First && !forward);
    if (pastEnd) return fail(se::kNoRecord, "no more records");
    std::string sql = "SELECT " + columnList(decl_) + " FROM records";
    if (anchor.kind == Anchor::Kind::At) sql += " WHERE " + anchorCondition(decl_, key, forward);
    sql += orderBy(decl_, key, forward) + " LIMIT 1";
    Statement select(impl_->db, sql);
    if (!select.ok()) return failSqlite(se::kDriverError, "cannot read");
    if (anchor.kind == Anchor::Kind::At) {
      int index = 1;
      for (std::size_t i = 0; i <= anchor.values.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) select.bind(index++, anchor.values[j]);
        if (i < anchor.values.size()) {
          select.bind(index++, anchor.values[i]);
        } else {
          select.bind(index++, anchor.row);
        }
      }
    }
    const int step = select.step();
    if (step == SQLITE_DONE) return fail(se::kNoRecord, "no more records");
    if (step != SQLITE_ROW) return failSqlite(se::kDriverError, "cannot read");

    // Move the anchor first, so a held record is passed over by the next read either way.
    const std::int64_t row = sqlite3_column_int64(select.get(), 0);
    anchor.kind = Anchor::Kind::At;
    anchor.row = row;
    anchor.values.clear();
    for (const KeyComponent& c : key.components) {
      anchor.values.push_back(
          columnValue(select.get(), static_cast<int>(c.field) + 1, decl_.fields[c.field].type));
    }

    Statement held(impl_->db, "SELECT holder, pid FROM held WHERE row = ?");
    bool heldByOther = false;
    if (held.ok()) {
      held.bind(1, row);
      if (held.step() == SQLITE_ROW) {
        const auto* holder = reinterpret_cast<const char*>(sqlite3_column_text(held.get(), 0));
        heldByOther = holder != nullptr && impl_->holder != holder &&
                      processAlive(sqlite3_column_int64(held.get(), 1));
      }
    }
    if (!heldByOther) return loadRow(select.get());
    if (!skipHeld_) return fail(se::kRecordHeld, "the record is held by another station");
  }
}

int KeyedTable::get(std::size_t keyIndex) {
  if (!isOpen()) return fail(se::kNotOpen, "not open");
  if (keyIndex >= decl_.keys.size()) return fail(se::kDriverError, "no such key");
  const KeyDeclaration& key = decl_.keys[keyIndex];
  std::string sql = "SELECT " + columnList(decl_) + " FROM records WHERE ";
  for (std::size_t i = 0; i < key.components.size(); ++i) {
    const FieldBinding& field = decl_.fields[key.components[i].field];
    sql += (i ? " AND " : "") + sqlName(field.name) +
           (key.noCase && field.type == FieldType::Text ? " = ? COLLATE NOCASE" : " = ?");
  }
  Statement select(impl_->db, sql + " ORDER BY rowid LIMIT 1");
  if (!select.ok()) return failSqlite(se::kDriverError, "cannot read");
  const std::vector<FieldValue> values = keyValues(decl_, key);
  for (std::size_t i = 0; i < values.size(); ++i) select.bind(static_cast<int>(i) + 1, values[i]);
  const int step = select.step();
  if (step == SQLITE_DONE) return fail(se::kNoRecord, "record not found");
  if (step != SQLITE_ROW) return failSqlite(se::kDriverError, "cannot read");
  impl_->key = keyIndex;
  loadRow(select.get());
  impl_->anchor = {Anchor::Kind::At, keyValues(decl_, key), impl_->currentRow};
  return ok();
}

std::string KeyedTable::position() const {
  return impl_->currentRow == 0 ? std::string() : toText(impl_->currentRow);
}

int KeyedTable::reget(std::string_view position) {
  if (!isOpen()) return fail(se::kNotOpen, "not open");
  const std::int64_t row = toInteger(position);
  if (row == 0) return fail(se::kNoRecord, "no such position");
  Statement select(impl_->db, "SELECT " + columnList(decl_) + " FROM records WHERE rowid = ?");
  if (!select.ok()) return failSqlite(se::kDriverError, "cannot read");
  select.bind(1, row);
  const int step = select.step();
  if (step == SQLITE_DONE) return fail(se::kNoRecord, "record not found");
  if (step != SQLITE_ROW) return failSqlite(se::kDriverError, "cannot read");
  loadRow(select.get());
  if (!decl_.keys.empty()) {
    impl_->anchor = {Anchor::Kind::At, keyValues(decl_, decl_.keys[impl_->key]), row};
  }
  return ok();
}

KeyedTable::ReadState KeyedTable::readState() const {
  return {position(), impl_->readImage};
}

void KeyedTable::restoreReadState(const ReadState& state) {
  impl_->currentRow = toInteger(state.position);
  impl_->readImage = state.stored;
}

const RecordImage& KeyedTable::readImage() const {
  return impl_->readImage;
}

int KeyedTable::duplicatedKey(bool asNewRecord) {
  if (!isOpen()) return -1;
  for (std::size_t k = 0; k < decl_.keys.size(); ++k) {
    const KeyDeclaration& key = decl_.keys[k];
    if (key.duplicates) continue;
    std::string sql = "SELECT 1 FROM records WHERE rowid <> ?";
    for (const KeyComponent& c : key.components) {
      const FieldBinding& field = decl_.fields[c.field];
      sql += " AND " + sqlName(field.name) +
             (key.noCase && field.type == FieldType::Text ? " = ? COLLATE NOCASE" : " = ?");
    }
    Statement select(impl_->db, sql + " LIMIT 1");
    if (!select.ok()) continue;
    select.bind(1, asNewRecord ? std::int64_t{0} : impl_->currentRow);
    const std::vector<FieldValue> values = keyValues(decl_, key);
    for (std::size_t i = 0; i < values.size(); ++i) select.bind(static_cast<int>(i) + 2, values[i]);
    if (select.step() == SQLITE_ROW) return static_cast<int>(k);
  }
  return -1;
}

// --- holding ----------------------------------------------------------------------------

int KeyedTable::hold() {
  if (!isOpen()) return fail(se::kNotOpen, "not open");
  if (impl_->currentRow == 0) return fail(se::kNoRecord, "no record was read");
  const bool ownTransaction = sqlite3_get_autocommit(impl_->db) != 0;
  if (ownTransaction && !execute(impl_->db, "BEGIN IMMEDIATE")) {
    return failSqlite(se::kRecordHeld, "cannot hold");
  }
  auto finish = [&](int code) {
    if (ownTransaction) execute(impl_->db, code == se::kNone ? "COMMIT" : "ROLLBACK");
    return code;
  };
  Statement held(impl_->db, "SELECT holder, pid FROM held WHERE row = ?");
  if (!held.ok()) return finish(failSqlite(se::kDriverError, "cannot hold"));
  held.bind(1, impl_->currentRow);
  if (held.step() == SQLITE_ROW) {
    const auto* holder = reinterpret_cast<const char*>(sqlite3_column_text(held.get(), 0));
    if (holder != nullptr && impl_->holder != holder &&
        processAlive(sqlite3_column_int64(held.get(), 1))) {
      return finish(fail(se::kRecordHeld, "the record is held by another station"));
    }
  }
  Statement take(impl_->db, "INSERT OR REPLACE INTO held (row, holder, pid) VALUES (?, ?, ?)");
  if (!take.ok()) return finish(failSqlite(se::kDriverError, "cannot hold"));
  take.bind(1, impl_->currentRow);
  take.bind(2, FieldValue(impl_->holder));
  take.bind(3, std::int64_t{::getpid()});
  if (take.step() != SQLITE_DONE) return finish(failSqlite(se::kDriverError, "cannot hold"));
  impl_->holdsTable = true;
  return finish(ok());
}

void KeyedTable::release() {
  if (!isOpen() || !impl_->holdsTable) return;
  Statement drop(impl_->db, "DELETE FROM held WHERE holder = ?");
  if (drop.ok()) {
    drop.bind(1, FieldValue(impl_->holder));
    drop.step();
  }
  impl_->holdsTable = false;
}

// --- transactions -----------------------------------------------------------------------

int KeyedTable::beginTransaction(const std::vector<KeyedTable*>& tables) {
  for (std::size_t i = 0; i < tables.size(); ++i) {
    KeyedTable* table = tables[i];
    if (!table->isOpen() || !execute(table->impl_->db, "BEGIN IMMEDIATE")) {
      const int code = table->isOpen()
                           ? table->failSqlite(se::kAccessDenied, "cannot start a transaction")
                           : table->fail(se::kNotOpen, "not open");
      for (std::size_t j = 0; j < i; ++j) execute(tables[j]->impl_->db, "ROLLBACK");
      return code;
    }
  }
  return 0;
}

int KeyedTable::commit(const std::vector<KeyedTable*>& tables) {
  int result = 0;
  for (KeyedTable* table : tables) {
    if (table->isOpen() && !execute(table->impl_->db, "COMMIT") && result == 0) {
      result = table->failSqlite(se::kDriverError, "cannot commit");
    }
  }
  return result;
}

int KeyedTable::rollback(const std::vector<KeyedTable*>& tables) {
  for (KeyedTable* table : tables) {
    if (table->isOpen()) execute(table->impl_->db, "ROLLBACK");
  }
  return 0;
}

}  // namespace marlo
