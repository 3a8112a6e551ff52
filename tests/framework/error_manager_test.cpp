#include "framework/error_manager.h"

#include <array>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/messages.h"
#include "framework/runtime_error.h"
#include "platform/core/picture.h"
#include "scripted_interface.h"

namespace marlo {
namespace {

using test::FrameworkTest;

// Packs entries the way addErrors reads them.
std::vector<std::uint8_t> pack(const std::vector<ErrorEntry>& entries) {
  std::vector<std::uint8_t> block;
  block.push_back(static_cast<std::uint8_t>(entries.size() & 0xFF));
  block.push_back(static_cast<std::uint8_t>(entries.size() >> 8));
  for (const ErrorEntry& e : entries) {
    block.push_back(static_cast<std::uint8_t>(e.ID & 0xFF));
    block.push_back(static_cast<std::uint8_t>(e.ID >> 8));
    block.push_back(e.FATALITY);
    block.push_back(static_cast<std::uint8_t>(e.TITLE.size()));
    block.insert(block.end(), e.TITLE.begin(), e.TITLE.end());
    block.push_back(static_cast<std::uint8_t>(e.MESSAGE.size()));
    block.insert(block.end(), e.MESSAGE.begin(), e.MESSAGE.end());
  }
  return block;
}

class ErrorManagerTest : public FrameworkTest {
 protected:
  void SetUp() override {
    FrameworkTest::SetUp();
    errors.init(nullptr);
    clearRuntimeError();
  }
  // Adds one entry of our own, which then wins over any built-in one with the same number.
  void add(std::uint16_t id, int level, std::string title, std::string message) {
    ASSERT_TRUE(errors.addErrors(
        pack({{id, std::move(message), std::move(title), static_cast<std::uint8_t>(level), ""}})));
  }

  ErrorManager errors;
};

// --- the message table ------------------------------------------------------------------------

struct Expected {
  std::uint16_t id;
  int level;
  const char* title;
  const char* text;
};

// Written out in full on purpose: the table is what the person reads, so a changed title, text
// or level must show here.
const Expected kTable[] = {
    {27, 5, "Invalid Key", "%File key file is invalid. Key must be rebuilt."},
    {26, 3, "Key was not built", "Error: (%ErrorText) repairing key for %File."},
    {10, 3, "File Creation Error", "Error: (%ErrorText) creating %File."},
    {24, 5, "Procedure not defined", "The Procedure %Message has not been defined."},
    {17, 5, "Range Error", "The value of %Field must be lower than %Message."},
    {18, 5, "Range Error", "The value of %Field must be higher than %Message."},
    {16, 5, "Range Error", "The value of %Field must be in range %Message."},
    {14, 5, "Field contents error", "The value of %Field must be found in the %Message file."},
    {31, 5, "Referential Integrity Update Error",
     "This record is referenced from the file %File. Linking field(s) have been restricted from "
     "change and have been reset to original values."},
    {30, 5, "Referential Integrity Delete Error",
     "This record is referenced from the file %File. This record cannot be deleted while these "
     "references exist."},
    {4, 5, "Record Insert Error",
     "An error was experienced during the creation of a record.|File: %File|Error: %ErrorText."},
    {6, 5, "Record Was Not Updated", "This record was changed by another station."},
    {7, 5, "Record Was Not Updated",
     "This record was changed by another station. Those changes will now be displayed. Use the "
     "Ditto Button or Ctrl+' to recall your changes."},
    {34, 1, "Record Update Error",
     "An error was experienced changing this record. Do you want to try to save again?"},
    {33, 1, "Record Delete Error",
     "An error was experienced deleting this record. Do you want to try to delete it again?"},
    {20, 5, "Invalid Request", "This form cannot be used to insert a record"},
    {38, 5, "Invalid Request", "This form cannot be used to update a record"},
    {12, 5, "Invalid Request", "This form cannot be used to delete a record"},
    {8, 1, "Changes will be lost!", "Are you sure you want to cancel?"},
    {13, 5, "Duplicate Key Error",
     "Adding this record creates a duplicate entry for the key: %Message"},
    {32, 1, "Auto Increment Error",
     "Attempts to automatically number this record have failed.|File: %File|Error: %ErrorText.|Try "
     "Again?"},
    {19, 5, "File Load Error", "%File File Load Error.  Error: %ErrorText."},
    {36, 1, "Beginning of File Error",
     "The beginning of the file %File was encountered. Do you want to start again from the end of "
     "the file?"},
    {37, 1, "End of File Error",
     "The end of the file %File was encountered. Do you want to start again from the beginning?"},
    {23, 3, "File Access Error", "File %File could not be opened.  Error: %ErrorText."},
    {25, 5, "Record was not updated",
     "An error (%ErrorText) was experienced when making changes to the %File file."},
    {11, 5, "Record was not deleted",
     "An error (%ErrorText) was experienced when deleting a record from the %File file."},
    {9, 1, "Confirm Delete", "Are you sure you want to delete the highlighted record?"},
    {35, 1, "Save Record", "Do you want to save the changes to this record?"},
    {21, 5, "Transaction cancelled",
     "Error: (%ErrorText) attempting to frame the transaction on %File."},
    {1, 5, "Record Retrieval Error",
     "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to "
     "previous window."},
    {40, 5, "View Open Error",
     "Error: (%ErrorText) attempting to open the current VIEW. Filter and Range Limits ignored."},
    {3, 1, "Record Added",
     "This record has been added to the file. Do you want to add another record?"},
    {28, 5, "Record not read",
     "A record held by another station was encountered reading from the %File file."},
    {5, 5, "Add New Record?", "Record match not found, do you wish to add a new one?"},
    {15, 5, "Value Error", "The value of %Field must be in the list : %Message."},
    {22, 5, "No Records", "There are no records available to process."},
    {2, 5, "Access Denied", "Could not get write access to %File so trying read-only."},
    {39, 2, "File Usage Error", "Attempt to use file (%File) before it was opened"},
    {41, 5, "Unsupported QBE Column",
     "The saved QBE column, %Field is not supported. It will be dropped from the query."},
    {42, 5, "SMTP Error", "The following SMTP Error occurred: %Message "},
    {43, 5, "NNTP Error", "%Message "},
    {44, 5, "Winsock Error", "%Message "},
};

TEST_F(ErrorManagerTest, BuiltInTableHoldsEveryMessageInOrder) {
  const std::vector<ErrorEntry> entries = errors.entries();
  ASSERT_EQ(entries.size(), std::size(kTable));
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(kTable[i].id);
    EXPECT_EQ(entries[i].ID, kTable[i].id);
    EXPECT_EQ(entries[i].FATALITY, kTable[i].level);
    EXPECT_EQ(entries[i].TITLE, kTable[i].title);
    EXPECT_EQ(entries[i].MESSAGE, kTable[i].text);
    EXPECT_EQ(entries[i].CATEGORY, "");
  }
}

TEST_F(ErrorManagerTest, BuiltInBlockIsPackedLittleEndianWithLengthBytes) {
  const auto block = builtinMessageBlock();
  ASSERT_GE(block.size(), 8U);
  EXPECT_EQ(block[0], std::size(kTable));
  EXPECT_EQ(block[1], 0);
  EXPECT_EQ(block[2], 27);  // first entry: number 27, level 5, title "Invalid Key"
  EXPECT_EQ(block[3], 0);
  EXPECT_EQ(block[4], 5);
  EXPECT_EQ(block[5], std::string_view("Invalid Key").size());
  EXPECT_EQ(std::string(block.begin() + 6, block.begin() + 17), "Invalid Key");
}

TEST_F(ErrorManagerTest, LaterEntriesWinAndUnknownNumbersFallToTheFirstRow) {
  add(2, SevNotify, "Mine", "My own text for %File");
  ErrorEntry entry;
  ASSERT_TRUE(errors.findEntry(2, entry));
  EXPECT_EQ(entry.TITLE, "Mine");
  ASSERT_TRUE(errors.findEntry(999, entry));
  EXPECT_EQ(entry.ID, 27);

  // "%Previous" reaches the older entry with the same number.
  add(2, SevNotify, "Mine again", "[%Previous]");
  errors.setFile("F");
  EXPECT_EQ(errors.substitutedText(msg::AccessDenied), "[My own text for %File]");
  add(77, SevNotify, "Lonely", "a%PREVIOUS|b");
  EXPECT_EQ(errors.substitutedText(77), "a|b");
}

TEST_F(ErrorManagerTest, TruncatedBlockKeepsItsWholeEntriesOnly) {
  auto block = pack({{60, "first", "T1", 5, ""}, {61, "second", "T2", 5, ""}});
  block.resize(block.size() - 3);
  const std::size_t before = errors.entries().size();
  EXPECT_FALSE(errors.addErrors(block));
  EXPECT_EQ(errors.entries().size(), before + 1);
  EXPECT_FALSE(errors.addErrors(std::span<const std::uint8_t>()));
}

TEST_F(ErrorManagerTest, WithoutATableNothingIsShown) {
  ErrorManager empty;
  EXPECT_EQ(empty.throw_(msg::FileAccessError), SevNotify);
  EXPECT_EQ(empty.message(msg::ConfirmDelete, button::Yes | button::No, button::No), button::No);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(ui.halts.empty());
}

// --- substitution -----------------------------------------------------------------------------

TEST_F(ErrorManagerTest, PlaceholdersAreReplacedEverywhereWithoutRegardToCase) {
  add(100, SevNotify, "T", "%File and %file and %FILE; %Field/%field; %Message %message");
  errors.setFile("FILES.db   ");
  errors.setField("NAZIV_FOLDERA");
  errors.setMessageText("hello");
  EXPECT_EQ(errors.substitutedText(100),
            "FILES.db and FILES.db and FILES.db; NAZIV_FOLDERA/NAZIV_FOLDERA; hello hello");
}

TEST_F(ErrorManagerTest, LongerPlaceholdersAreReplacedBeforeTheirPrefixes) {
  add(100, SevNotify, "T", "%FileErrorCode|%FileError|%File|%ErrorCode|%Error|%Category");
  setRuntimeError({37, "File Not Open", "19", "constraint failed"});
  errors.setFile("T.db");
  errors.captureErrors();
  errors.setCategory(100, "Storage");
  EXPECT_EQ(errors.substitutedText(100), "19|constraint failed|T.db|37|File Not Open|Storage");
}

TEST_F(ErrorManagerTest, ErrorTextNamesTheDriverErrorOnlyForCode90) {
  add(100, SevNotify, "T", "(%ErrorText)");
  setRuntimeError({90, "File System Error", "11", "database disk image is malformed"});
  errors.captureErrors();
  EXPECT_EQ(errors.substitutedText(100), "(database disk image is malformed (11))");
  setRuntimeError({5, "Access Denied", "8", "attempt to write a readonly database"});
  errors.captureErrors();
  EXPECT_EQ(errors.substitutedText(100), "(Access Denied (5))");
}

TEST_F(ErrorManagerTest, AValueContainingItsOwnPlaceholderIsNotExpandedAgain) {
  add(100, SevNotify, "T", "<%File>");
  errors.setFile("a%Fileb");
  EXPECT_EQ(errors.substitutedText(100), "<a%Fileb>");
}

TEST_F(ErrorManagerTest, LongValuesAreCutAtTheMessageBufferNotWrittenPastIt) {
  std::string text;
  for (int i = 0; i < 45; ++i) text += "%File";  // 225 characters, each becoming 254
  add(100, SevNotify, "T", text);
  errors.setFile(std::string(400, 'x'));  // kept as 254 characters, like its buffer
  EXPECT_EQ(errors.fileName().size(), ErrorManager::kValueCapacity);
  const std::string shown = errors.substitutedText(100);
  EXPECT_EQ(shown, std::string(ErrorManager::kMessageCapacity, 'x'));

  EXPECT_EQ(errors.throw_(100), SevNotify);
  ASSERT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(ui.boxes[0].text.size(), ErrorManager::kMessageCapacity);
}

TEST_F(ErrorManagerTest, ProcedureNamesStackPerThread) {
  add(100, SevNotify, "T", "in %Procedure");
  EXPECT_EQ(errors.substitutedText(100), "in ");
  errors.setProcedureName("Trayicon  ");
  errors.setProcedureName("up_folder");
  EXPECT_EQ(errors.substitutedText(100), "in up_folder");

  std::string seenOnOtherThread;
  std::thread other([&] {
    errors.setProcedureName("rest");
    seenOnOtherThread = errors.substitutedText(100);
    errors.setProcedureName("", true);
  });
  other.join();
  EXPECT_EQ(seenOnOtherThread, "in rest");
  EXPECT_EQ(errors.substitutedText(100), "in up_folder");
  errors.setProcedureName("", true);
  EXPECT_EQ(errors.procedureName(), "Trayicon");
  errors.setProcedureName("", true);
  errors.setProcedureName("", true);  // popping an empty stack is harmless
  EXPECT_EQ(errors.procedureName(), "");
}

TEST_F(ErrorManagerTest, CategoriesFallBackToTheDefault) {
  EXPECT_EQ(errors.getCategory(2), "Dax");
  errors.setCategory(ErrorManager::kDefaultCategoryId, "Backup");
  EXPECT_EQ(errors.getCategory(2), "Backup");
  errors.setCategory(2, "Files");
  EXPECT_EQ(errors.getCategory(2), "Files");
  EXPECT_EQ(errors.getCategory(4), "Backup");
}

// --- levels -----------------------------------------------------------------------------------

TEST_F(ErrorManagerTest, NotifyShowsAnAsteriskBoxWithOk) {
  errors.setFile("FILES.db");
  EXPECT_EQ(errors.throw_(msg::AccessDenied), SevNotify);
  ASSERT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(ui.boxes[0].caption, "Access Denied");
  EXPECT_EQ(ui.boxes[0].text, "Could not get write access to FILES.db so trying read-only.");
  EXPECT_EQ(ui.boxes[0].icon, MessageIcon::Asterisk);
  EXPECT_EQ(ui.boxes[0].buttons, button::Ok);
  EXPECT_TRUE(ui.halts.empty());
}

TEST_F(ErrorManagerTest, QuestionsAskYesNoAndMapTheAnswer) {
  ui.answers = {button::Yes, button::No};
  EXPECT_EQ(errors.throw_(msg::ConfirmCancel), SevBenign);
  EXPECT_EQ(errors.throw_(msg::ConfirmCancel), SevCancel);
  ASSERT_EQ(ui.boxes.size(), 2U);
  EXPECT_EQ(ui.boxes[0].caption, "Changes will be lost!");
  EXPECT_EQ(ui.boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(ui.boxes[0].buttons, button::Yes | button::No);
  EXPECT_EQ(ui.boxes[0].defaultButton, button::Yes);

  add(100, SevCancel, "Cancel level", "asked like a question");
  ui.answers = {button::No};
  EXPECT_EQ(errors.throw_(100), SevCancel);
  EXPECT_EQ(ui.boxes.back().buttons, button::Yes | button::No);
}

TEST_F(ErrorManagerTest, FatalMessagesEndTheProgramWithAFailingExitCode) {
  setRuntimeError({2, "File Not Found", "", ""});
  errors.setFile("FILES.db");
  EXPECT_EQ(errors.throw_(msg::FileAccessError),
            SevFatal);  // control only returns because the test's halt does
  ASSERT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(ui.boxes[0].text,
            "File FILES.db could not be opened.  Error: File Not Found (2).  Press OK to end this "
            "application");
  EXPECT_EQ(ui.boxes[0].caption, "File Access Error");
  EXPECT_EQ(ui.boxes[0].icon, MessageIcon::Asterisk);
  EXPECT_EQ(ui.boxes[0].buttons, button::Ok);
  ASSERT_EQ(ui.halts.size(), 1U);
  EXPECT_NE(ui.halts[0].exitCode, 0);
  EXPECT_EQ(ui.halts[0].text, "File Access Error");

  EXPECT_EQ(errors.throw_(msg::FileNotOpen), SevFatal);  // SevProgram is handled the same way
  add(100, 9, "Odd level", "unknown levels end the program too");
  EXPECT_EQ(errors.throw_(100), SevFatal);
  EXPECT_EQ(ui.halts.size(), 3U);
}

TEST_F(ErrorManagerTest, BenignMessagesShowNothing) {
  add(100, SevBenign, "Quiet", "never seen");
  EXPECT_EQ(errors.throw_(100), SevBenign);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ErrorManagerTest, MessageAsksWithTheGivenButtons) {
  ui.answers = {button::Cancel};
  EXPECT_EQ(errors.message(msg::SaveChanges, 70, button::Cancel), button::Cancel);
  ASSERT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(ui.boxes[0].buttons, 70U);
  EXPECT_EQ(ui.boxes[0].defaultButton, button::Cancel);
  EXPECT_EQ(ui.boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(ui.boxes[0].caption, "Save Record");
}

TEST_F(ErrorManagerTest, SilentAnswersWithTheDefaultButtonAndShowsNothing) {
  errors.SILENT = true;
  errors.LOGERRORS = true;
  EXPECT_EQ(errors.message(msg::SaveChanges, 70, button::Cancel), button::Cancel);
  EXPECT_FALSE(std::filesystem::exists(dir / "DaxError.Log"));  // not even logged
  ui.answers = {button::No};                                    // would be No, but nobody is asked
  EXPECT_EQ(errors.throw_(msg::ConfirmCancel), SevBenign);
  EXPECT_EQ(errors.throw_(msg::AccessDenied), SevNotify);
  EXPECT_TRUE(ui.boxes.empty());
  // A silent fatal message still ends the program: the table cannot be used either way.
  EXPECT_EQ(errors.throw_(msg::FileAccessError), SevFatal);
  EXPECT_EQ(ui.halts.size(), 1U);
}

// --- history ----------------------------------------------------------------------------------

TEST_F(ErrorManagerTest, HistoryKeepsAtMostTheThreshold) {
  errors.HISTORYTHRESHOLD = 3;
  for (std::uint16_t id : {2, 28, 22, 6}) errors.throw_(id);
  const auto history = errors.history();
  ASSERT_EQ(history.size(), 3U);
  EXPECT_EQ(history[0].ID, 28);
  EXPECT_EQ(history[2].ID, 6);
  EXPECT_EQ(history[2].CATEGORY, "Dax");
  EXPECT_EQ(history[2].TXT, "This record was changed by another station.");
  // Notify messages are below the view level (3): kept, not shown.
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(ui.historyWindows.empty());

  errors.HISTORYTHRESHOLD = -1;
  for (int i = 0; i < 10; ++i) errors.throw_(msg::NoRecords);
  EXPECT_EQ(errors.history().size(), 13U);
  errors.resetHistory();
  EXPECT_TRUE(errors.history().empty());
}

TEST_F(ErrorManagerTest, HistoryWindowShowsMessagesOfTheViewLevel) {
  errors.HISTORYTHRESHOLD = -1;
  errors.HISTORYVIEWLEVEL = SevNotify;
  errors.HISTORYRESETONVIEW = true;
  ui.answers = {button::No};
  // A question whose default refuses is kept only, and answers with that default.
  EXPECT_EQ(errors.message(msg::SaveChanges, 70, button::Cancel), button::Cancel);
  EXPECT_EQ(errors.throw_(msg::NoRecords), SevNotify);
  ASSERT_EQ(ui.historyWindows.size(), 1U);
  const HistoryRequest& shown = ui.historyWindows[0];
  ASSERT_EQ(shown.history.size(), 2U);
  EXPECT_EQ(shown.history[0].ID, 35);
  EXPECT_EQ(shown.history[1].ID, 22);
  EXPECT_EQ(shown.caption, "No Records");
  EXPECT_EQ(shown.buttons, button::Ok);
  EXPECT_TRUE(errors.history().empty());  // emptied after it was shown
  EXPECT_TRUE(ui.boxes.empty());
}

// Kept only in the history, a question would be answered by nobody with its default, and the
// Yes of "Confirm Delete" deletes the record.
TEST_F(ErrorManagerTest, AQuestionThatGoesAheadByDefaultIsShownEvenWithAHistoryKept) {
  errors.HISTORYTHRESHOLD = -1;  // the history window is kept for fatal messages only
  ui.answers = {button::No, button::Cancel};
  EXPECT_EQ(errors.throw_(msg::ConfirmDelete), SevCancel);
  ASSERT_EQ(ui.historyWindows.size(), 1U);
  EXPECT_EQ(ui.historyWindows[0].caption, "Confirm Delete");
  EXPECT_EQ(ui.historyWindows[0].buttons, button::Yes | button::No);
  EXPECT_EQ(ui.historyWindows[0].history.back().ID, 9);
  EXPECT_EQ(errors.message(msg::UpdateFailedRetry, 70, button::Yes), button::Cancel);
  EXPECT_EQ(ui.historyWindows.size(), 2U);
  // Notices are still kept only.
  EXPECT_EQ(errors.throw_(msg::NoRecords), SevNotify);
  EXPECT_EQ(ui.historyWindows.size(), 2U);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ErrorManagerTest, AMessageThatEndsTheProgramIsShownWhateverTheViewLevel) {
  errors.HISTORYTHRESHOLD = -1;
  errors.HISTORYVIEWLEVEL = SevNotify;
  errors.setFile("FILES.db");
  EXPECT_EQ(errors.throw_(msg::FileNotOpen), SevFatal);
  ASSERT_EQ(ui.historyWindows.size(), 1U);
  EXPECT_EQ(ui.historyWindows[0].caption, "File Usage Error");
  EXPECT_EQ(ui.halts.size(), 1U);
}

TEST_F(ErrorManagerTest, HistoryTextIsCutAtItsCapacity) {
  errors.HISTORYTHRESHOLD = 5;
  add(100, SevNotify, "T", "%File%File%File%File%File");
  errors.setFile(std::string(254, 'y'));
  errors.throw_(100);
  ASSERT_EQ(errors.history().size(), 1U);
  EXPECT_EQ(errors.history()[0].TXT.size(), ErrorManager::kHistoryTextCapacity);
}

// --- the error log ----------------------------------------------------------------------------

class ErrorLogTest : public ErrorManagerTest {
 protected:
  void SetUp() override {
    ErrorManagerTest::SetUp();
    setShortDateFormat("%d.%m.%Y");
    clock.setManual({toDayNumber({2026, 12, 7}), toStandardTime({10, 11, 12, 0})});
    errors.init();  // the built-in "DaxError.Log" in the current folder
    errors.setClock(&clock);
    errors.LOGERRORS = true;
  }
  Clock clock;
};

TEST_F(ErrorLogTest, EveryRaisedMessageIsAppendedWithDateAndTime) {
  errors.setFile("FILES.db");
  errors.throw_(msg::AccessDenied);
  ui.answers = {button::No};
  errors.message(msg::ConfirmDelete, button::Yes | button::No, button::No);
  EXPECT_EQ(
      test::readWholeFile(dir / "DaxError.Log"),
      "07.12.2026@10:11:12 --> Could not get write access to FILES.db so trying read-only.\r\n"
      "07.12.2026@10:11:12 --> Are you sure you want to delete the highlighted record?\r\n");
}

TEST_F(ErrorLogTest, NothingIsLoggedWhenLoggingIsOff) {
  errors.LOGERRORS = false;
  errors.throw_(msg::AccessDenied);
  EXPECT_FALSE(std::filesystem::exists(dir / "DaxError.Log"));
}

TEST_F(ErrorLogTest, ALogThatCannotBeOpenedIsPassedOverInSilence) {
  std::filesystem::create_directory(dir / "DaxError.Log");
  EXPECT_EQ(errors.throw_(msg::AccessDenied), SevNotify);
  ASSERT_EQ(ui.boxes.size(), 1U);
  EXPECT_EQ(ui.boxes[0].caption, "Access Denied");
}

TEST_F(ErrorLogTest, LogOpensNest) {
  ErrorLog* log = errors.errorLog();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->open(), 0);
  EXPECT_EQ(log->open(), 0);
  EXPECT_EQ(log->close(), 0);
  EXPECT_EQ(log->append("still open"), 0);
  EXPECT_EQ(log->close(), 0);
  EXPECT_EQ(log->append("closed"), 5);
  EXPECT_EQ(log->close(), 5);
  EXPECT_EQ(test::readWholeFile(dir / "DaxError.Log"), "still open\r\n");
}

}  // namespace
}  // namespace marlo

namespace marlo {
namespace {

// Without a window engine the default interface still ends the program, and never with the
// exit code of success.
TEST(DefaultInterfaceDeathTest, AFatalMessageEndsTheProgramWithAFailingExitCode) {
  EXPECT_EXIT(
      {
        ErrorManager errors;
        errors.init(nullptr);
        errors.throw_(msg::FileAccessError);
        std::exit(0);
      },
      ::testing::ExitedWithCode(kFatalExitCode), "File Access Error");
}

}  // namespace
}  // namespace marlo
