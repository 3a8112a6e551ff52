// The numbers of the standard messages (framework/message_table.cpp holds their titles, texts
// and levels). Code names a message by what it says; the number is what a program's own message
// table and the error log use, so it never changes.
#pragma once

#include <cstdint>

namespace marlo::msg {

enum Message : std::uint16_t {
  RecordRetrievalError = 1,     // a record could not be read
  AccessDenied = 2,             // no write access: opened read-only
  RecordAdded = 3,              // added; add another?
  RecordInsertError = 4,        // a record could not be added
  AddNewRecord = 5,             // no match: add a new record?
  ChangedElsewhere = 6,         // the record was changed by another station
  ChangedElsewhereShown = 7,    // ... and their values are now shown (a form's save)
  ConfirmCancel = 8,            // changes will be lost: cancel?
  ConfirmDelete = 9,            // delete the highlighted record?
  FileCreationError = 10,       // a table could not be created
  RecordNotDeleted = 11,        // a delete failed
  DeleteNotAllowed = 12,        // this form cannot delete
  DuplicateKey = 13,            // adding would duplicate a unique key
  FieldNotInFile = 14,          // a value must be found in another table
  ValueNotInList = 15,          // a value must be one of a list
  ValueOutOfRange = 16,         // a value must lie in a range
  ValueTooHigh = 17,            // a value must be lower than a limit
  ValueTooLow = 18,             // a value must be higher than a limit
  FileLoadError = 19,           // a table could not be loaded
  InsertNotAllowed = 20,        // this form cannot insert
  TransactionCancelled = 21,    // a transaction could not be framed
  NoRecords = 22,               // nothing to process
  FileAccessError = 23,         // a table could not be opened
  ProcedureNotDefined = 24,     // a procedure that does not exist was asked for
  RecordNotUpdated = 25,        // a change could not be written
  KeyNotBuilt = 26,             // repairing a key failed
  InvalidKey = 27,              // a key must be rebuilt
  RecordHeld = 28,              // a record held by another station was met
  ReferencedNoDelete = 30,      // related records forbid the delete
  ReferencedNoChange = 31,      // related records forbid changing the linking fields
  AutoIncrementError = 32,      // numbering a new record failed: try again?
  DeleteFailedRetry = 33,       // a delete failed: try again?
  UpdateFailedRetry = 34,       // a change failed: try again?
  SaveChanges = 35,             // save the changes to this record?
  BeginningOfFile = 36,         // start again from the end?
  EndOfFile = 37,               // start again from the beginning?
  UpdateNotAllowed = 38,        // this form cannot change
  FileNotOpen = 39,             // a table was used before it was opened
  ViewOpenError = 40,           // a list's view opened without its filter
  UnsupportedQueryColumn = 41,  // a saved query column is dropped
  SmtpError = 42,
  NntpError = 43,
  WinsockError = 44,
};

}  // namespace marlo::msg
