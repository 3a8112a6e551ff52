// Keyed tables on SQLite: the store behind every table declaration of the program.
//
// A declaration lists the fields (bound to the program's own record variables, which are the
// record buffer) and the keys. One declaration maps to one SQLite database file named after the
// declaration plus ".db", holding one table `records` with a column for each field, a hidden row
// id, and an index for each key. Reads fill the bound variables; writes take their values.
//
// Error numbers are the ones the table manager relies on (storage_error.h); with 90, the
// driver error, driverError()/driverErrorText() say which.
// "Changed by another station" is detected, not assumed: put() writes only if the stored row
// still equals what this table object read, in one transaction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/core/text.h"
#include "platform/storage/storage_error.h"

struct sqlite3;

namespace marlo {

using FieldValue = std::variant<std::int64_t, double, std::string>;

enum class FieldType { Integer, Real, Text };

// One field of a declaration, bound to the variable that holds it.
struct FieldBinding {
  std::string name;  // e.g. "RBR"; the column name
  FieldType type = FieldType::Text;
  std::size_t capacity = 0;  // characters, for texts
  std::function<FieldValue()> get;
  std::function<void(const FieldValue&)> set;
  std::function<void()> clear;
};

// Bindings for the variable types records are made of.
FieldBinding bindField(std::string name, std::int32_t& variable);
FieldBinding bindField(std::string name, std::int16_t& variable);
FieldBinding bindField(std::string name, std::uint8_t& variable);
FieldBinding bindField(std::string name, double& variable);
template <std::size_t N>
FieldBinding bindField(std::string name, CString<N>& variable) {
  return {std::move(name),
          FieldType::Text,
          N - 1,
          [&variable] { return FieldValue(variable.str()); },
          [&variable](const FieldValue& v) {
            if (const auto* s = std::get_if<std::string>(&v)) variable = *s;
          },
          [&variable] { variable = ""; }};
}
template <std::size_t N>
FieldBinding bindField(std::string name, BlankString<N>& variable) {
  return {std::move(name),
          FieldType::Text,
          N,
          [&variable] { return FieldValue(std::string(variable.clipped())); },
          [&variable](const FieldValue& v) {
            if (const auto* s = std::get_if<std::string>(&v)) variable = *s;
          },
          [&variable] { variable = ""; }};
}

struct KeyComponent {
  std::size_t field = 0;  // index into the declaration's fields
  bool ascending = true;
};

struct KeyDeclaration {
  std::string name;  // e.g. "rbr_key"
  std::vector<KeyComponent> components;
  bool duplicates = false;  // a unique key refuses a second record with the same values
  bool noCase = false;      // text components compare without regard to case
};

struct TableDeclaration {
  std::string prefix;    // e.g. "files"
  std::string fileName;  // e.g. "FILES"; the file is fileName + ".db"
  std::vector<FieldBinding> fields;
  std::vector<KeyDeclaration> keys;
};

// A snapshot of a record's field values, for comparisons and restoring buffers.
using RecordImage = std::vector<FieldValue>;

class KeyedTable {
 public:
  static constexpr std::string_view kExtension = ".db";

  explicit KeyedTable(TableDeclaration declaration);
  ~KeyedTable();
  KeyedTable(const KeyedTable&) = delete;
  KeyedTable& operator=(const KeyedTable&) = delete;

  [[nodiscard]] const TableDeclaration& declaration() const { return decl_; }
  [[nodiscard]] std::string fileName() const;  // name plus extension, as opened

  // --- files
  // Access and sharing as in text_file.h; 52 when already open. A 46 (a key is missing or
  // damaged) leaves the table open, so that buildKeys() can mend it and the caller go on.
  int open(int mode);
  int create();  // an empty table; 5/90 when the file cannot be made
  void close();
  [[nodiscard]] bool isOpen() const;
  [[nodiscard]] bool isReadOnly() const;
  int buildKeys();  // rebuilds every index
  // "Recover=N": wait up to N seconds for a file another station is writing; it holds from the
  // next open on when sent to a closed table.
  int sendOption(std::string_view option);
  [[nodiscard]] std::int64_t records();

  // --- the record buffer
  void clearBuffer();
  [[nodiscard]] RecordImage image() const;
  void restoreImage(const RecordImage& image);

  // --- writes
  int add();    // inserts the buffer; 40 on a duplicate key
  int put();    // writes the buffer over the record last read; 89 when it changed meanwhile
  int erase();  // deletes the record last read

  // --- positioning and reads along a key (key index from 0)
  int setBefore(std::size_t key);         // before the first record in key order
  int setAfter(std::size_t key);          // after the last
  int setAtKeyValue(std::size_t key);     // so that next() reads the first record >= buffer
  int setAfterKeyValue(std::size_t key);  // so that previous() reads the last record <= buffer
  int setAtPosition(std::string_view position);  // so that next() reads that record
  int next();
  int previous();
  int get(std::size_t key);  // the record whose key equals the buffer's key values
  [[nodiscard]] std::string position() const;  // the record last read; "" when none
  int reget(std::string_view position);
  // The key (index) whose values the buffer would duplicate, or -1. For a record about to be
  // added every stored record counts; otherwise the record last read is not its own duplicate.
  [[nodiscard]] int duplicatedKey(bool asNewRecord = false);

  // What the last read left behind: the record's position and its values as stored then,
  // which put() compares against. Saving and restoring it lets a caller put a buffer back
  // without making a stale copy look fresh to the change check.
  struct ReadState {
    std::string position;
    RecordImage stored;
  };
  [[nodiscard]] ReadState readState() const;
  void restoreReadState(const ReadState& state);
  [[nodiscard]] const RecordImage& readImage() const;

  // --- holding a record against other stations
  int hold();  // holds the record last read (43 when another station holds it)
  void release();
  void setSkipHeld(bool skip) { skipHeld_ = skip; }

  // --- transactions over several tables (of the same thread)
  static int beginTransaction(const std::vector<KeyedTable*>& tables);
  static int commit(const std::vector<KeyedTable*>& tables);
  static int rollback(const std::vector<KeyedTable*>& tables);

  // --- errors of the last operation
  [[nodiscard]] int error() const { return error_; }
  [[nodiscard]] const std::string& errorText() const { return errorText_; }
  [[nodiscard]] int driverError() const { return driverError_; }
  [[nodiscard]] const std::string& driverErrorText() const { return driverErrorText_; }

 private:
  struct Impl;
  int ok();
  int fail(int code, std::string text);
  int failSqlite(int defaultCode, std::string_view what);
  // The steps of open(); each returns storage_error::kNone or the error it recorded.
  int claimFile(const std::filesystem::path& path, const std::string& name, int mode);
  int openDatabase(const std::filesystem::path& path, const std::string& name, bool wantsWrite);
  int checkLayout(const std::string& name);
  int checkKeys(const std::string& name);
  int readAlong(bool forward);
  int loadRow(void* statement);

  TableDeclaration decl_;
  std::unique_ptr<Impl> impl_;
  bool skipHeld_ = false;
  int error_ = 0;
  std::string errorText_;
  int driverError_ = 0;
  std::string driverErrorText_;
};

}  // namespace marlo
