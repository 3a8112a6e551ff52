// The standard messages. They are kept as the packed block that addErrors takes, so that the
// built-in table and any table a program adds later go through the same reader; the block is
// packed by the compiler, which also refuses a title or text too long for its length byte.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>

#include "framework/error_manager.h"
#include "framework/messages.h"

namespace marlo {

namespace {

struct BuiltinMessage {
  std::uint16_t id;
  std::uint8_t level;
  std::string_view title;
  std::string_view message;
};

// Order matters: lookups search from the last entry backwards.
constexpr BuiltinMessage kBuiltinMessages[] = {
    {msg::InvalidKey, 5, "Invalid Key", "%File key file is invalid. Key must be rebuilt."},
    {msg::KeyNotBuilt, 3, "Key was not built", "Error: (%ErrorText) repairing key for %File."},
    {msg::FileCreationError, 3, "File Creation Error", "Error: (%ErrorText) creating %File."},
    {msg::ProcedureNotDefined, 5, "Procedure not defined",
     "The Procedure %Message has not been defined."},
    {msg::ValueTooHigh, 5, "Range Error", "The value of %Field must be lower than %Message."},
    {msg::ValueTooLow, 5, "Range Error", "The value of %Field must be higher than %Message."},
    {msg::ValueOutOfRange, 5, "Range Error", "The value of %Field must be in range %Message."},
    {msg::FieldNotInFile, 5, "Field contents error",
     "The value of %Field must be found in the %Message file."},
    {msg::ReferencedNoChange, 5, "Referential Integrity Update Error",
     "This record is referenced from the file %File. Linking field(s) have been restricted from "
     "change and have been reset to original values."},
    {msg::ReferencedNoDelete, 5, "Referential Integrity Delete Error",
     "This record is referenced from the file %File. This record cannot be deleted while these "
     "references exist."},
    {msg::RecordInsertError, 5, "Record Insert Error",
     "An error was experienced during the creation of a record.|File: %File|Error: %ErrorText."},
    {msg::ChangedElsewhere, 5, "Record Was Not Updated",
     "This record was changed by another station."},
    {msg::ChangedElsewhereShown, 5, "Record Was Not Updated",
     "This record was changed by another station. Those changes will now be displayed. Use the "
     "Ditto Button or Ctrl+' to recall your changes."},
    {msg::UpdateFailedRetry, 1, "Record Update Error",
     "An error was experienced changing this record. Do you want to try to save again?"},
    {msg::DeleteFailedRetry, 1, "Record Delete Error",
     "An error was experienced deleting this record. Do you want to try to delete it again?"},
    {msg::InsertNotAllowed, 5, "Invalid Request", "This form cannot be used to insert a record"},
    {msg::UpdateNotAllowed, 5, "Invalid Request", "This form cannot be used to update a record"},
    {msg::DeleteNotAllowed, 5, "Invalid Request", "This form cannot be used to delete a record"},
    {msg::ConfirmCancel, 1, "Changes will be lost!", "Are you sure you want to cancel?"},
    {msg::DuplicateKey, 5, "Duplicate Key Error",
     "Adding this record creates a duplicate entry for the key: %Message"},
    {msg::AutoIncrementError, 1, "Auto Increment Error",
     "Attempts to automatically number this record have failed.|File: %File|Error: "
     "%ErrorText.|Try Again?"},
    {msg::FileLoadError, 5, "File Load Error", "%File File Load Error.  Error: %ErrorText."},
    {msg::BeginningOfFile, 1, "Beginning of File Error",
     "The beginning of the file %File was encountered. Do you want to start again from the end "
     "of the file?"},
    {msg::EndOfFile, 1, "End of File Error",
     "The end of the file %File was encountered. Do you want to start again from the "
     "beginning?"},
    {msg::FileAccessError, 3, "File Access Error",
     "File %File could not be opened.  Error: %ErrorText."},
    {msg::RecordNotUpdated, 5, "Record was not updated",
     "An error (%ErrorText) was experienced when making changes to the %File file."},
    {msg::RecordNotDeleted, 5, "Record was not deleted",
     "An error (%ErrorText) was experienced when deleting a record from the %File file."},
    {msg::ConfirmDelete, 1, "Confirm Delete",
     "Are you sure you want to delete the highlighted record?"},
    {msg::SaveChanges, 1, "Save Record", "Do you want to save the changes to this record?"},
    {msg::TransactionCancelled, 5, "Transaction cancelled",
     "Error: (%ErrorText) attempting to frame the transaction on %File."},
    {msg::RecordRetrievalError, 5, "Record Retrieval Error",
     "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to "
     "previous window."},
    {msg::ViewOpenError, 5, "View Open Error",
     "Error: (%ErrorText) attempting to open the current VIEW. Filter and Range Limits "
     "ignored."},
    {msg::RecordAdded, 1, "Record Added",
     "This record has been added to the file. Do you want to add another record?"},
    {msg::RecordHeld, 5, "Record not read",
     "A record held by another station was encountered reading from the %File file."},
    {msg::AddNewRecord, 5, "Add New Record?",
     "Record match not found, do you wish to add a new one?"},
    {msg::ValueNotInList, 5, "Value Error", "The value of %Field must be in the list : %Message."},
    {msg::NoRecords, 5, "No Records", "There are no records available to process."},
    {msg::AccessDenied, 5, "Access Denied",
     "Could not get write access to %File so trying read-only."},
    {msg::FileNotOpen, 2, "File Usage Error", "Attempt to use file (%File) before it was opened"},
    {msg::UnsupportedQueryColumn, 5, "Unsupported QBE Column",
     "The saved QBE column, %Field is not supported. It will be dropped from the query."},
    {msg::SmtpError, 5, "SMTP Error", "The following SMTP Error occurred: %Message "},
    {msg::NntpError, 5, "NNTP Error", "%Message "},
    {msg::WinsockError, 5, "Winsock Error", "%Message "},
};

constexpr std::size_t packedSize() {
  std::size_t size = 2;
  for (const BuiltinMessage& m : kBuiltinMessages)
    size += 2 + 1 + 1 + m.title.size() + 1 + m.message.size();
  return size;
}

constexpr std::array<std::uint8_t, packedSize()> pack() {
  std::array<std::uint8_t, packedSize()> block{};
  std::size_t at = 0;
  const auto put16 = [&](std::size_t value) {
    block[at++] = static_cast<std::uint8_t>(value & 0xFFU);
    block[at++] = static_cast<std::uint8_t>((value >> 8U) & 0xFFU);
  };
  const auto putText = [&](std::string_view text) {
    if (text.size() > 255) throw std::length_error("a packed text holds at most 255 characters");
    block[at++] = static_cast<std::uint8_t>(text.size());
    for (const char c : text) block[at++] = static_cast<std::uint8_t>(c);
  };
  put16(std::size(kBuiltinMessages));
  for (const BuiltinMessage& m : kBuiltinMessages) {
    put16(m.id);
    block[at++] = m.level;
    putText(m.title);
    putText(m.message);
  }
  return block;
}

constexpr auto kBuiltinBlock = pack();

}  // namespace

std::span<const std::uint8_t> builtinMessageBlock() {
  return kBuiltinBlock;
}

}  // namespace marlo
