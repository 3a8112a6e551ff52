// A list window and a form window over a test table, used as a person would use them.
#include <gtest/gtest.h>

#include <atomic>
#include <ostream>

#include "framework/window/window_controller.h"
#include "tests/framework/window/folder_app.h"
#include "tests/framework/window/window_fixture.h"

namespace marlo::test {
namespace {

using Row = std::vector<std::string>;

class ListAndForm : public WindowFrameworkTest {
 protected:
  void SetUp() override {
    WindowFrameworkTest::SetUp();
    other_ = std::make_unique<OtherStation>();  // in the test's folder; also creates the table
  }
  void TearDown() override {
    other_.reset();
    WindowFrameworkTest::TearDown();
  }
  // Starts the list window on a program thread and waits for it.
  WindowHandle startList(std::uint8_t request = 0) {
    list_ = std::make_unique<FolderList>(app);
    driver.start([this, request] {
      pendingRequest = request;
      result_ = list_->run();
    });
    return driver.waitForWindow("Folders");
  }
  void closeList(WindowHandle w) {
    if (driver.isOpen(w)) driver.press(w, n(ListControl::Close));
    ASSERT_TRUE(driver.waitEnded());
  }
  [[nodiscard]] std::vector<Row> rows(WindowHandle w) const {
    return driver.rows(w, n(ListControl::List));
  }
  [[nodiscard]] int highlighted(WindowHandle w) const {
    return driver.selection(w, n(ListControl::List));
  }
  [[nodiscard]] WindowHandle form() const { return driver.window("Folder"); }
  [[nodiscard]] bool formWasOpened() const {
    for (const auto& title : view.openedTitles()) {
      if (title == "Folder") return true;
    }
    return false;
  }
  void pressList(WindowHandle w, ListControl c) { ASSERT_TRUE(driver.press(w, n(c))); }
  // Two folders in a list whose deletes the form does on its OK button; the form is opened
  // on `row`. Gives the list and the form.
  std::pair<WindowHandle, WindowHandle> openDeleteForm(int row) {
    addFolders(2);
    app.deleteAction = 1;
    const WindowHandle w = startList();
    driver.pickRow(w, n(ListControl::List), row);
    driver.press(w, n(ListControl::Delete));
    return {w, form()};
  }

  // Opens the change form on the first folder, has another station rename it to "Theirs"
  // meanwhile and saves "Mine" over it, answering the collision's message. Gives the form.
  WindowHandle saveOverTheirs(WindowHandle w) {
    pressList(w, ListControl::Change);
    const WindowHandle f = form();
    EXPECT_TRUE(other_->rename(1, "Theirs"));
    driver.type(f, n(FormControl::Name), "Mine");
    driver.answerNextMessage(marlo::button::Ok);  // ChangedElsewhereShown
    driver.press(f, n(FormControl::Ok));
    return f;
  }

  FolderApp app;
  std::unique_ptr<OtherStation> other_;
  std::unique_ptr<FolderList> list_;
  std::atomic<int> result_{-1};
};

// --- insert
// ---------------------------------------------------------------------------------------

TEST_F(ListAndForm, InsertShowsTheNextNumberAndOkWritesTheRecord) {
  addFolders(2);
  const WindowHandle w = startList();
  ASSERT_EQ(rows(w).size(), 2u);
  pressList(w, ListControl::Insert);
  const WindowHandle f = form();
  ASSERT_NE(f, 0);
  EXPECT_EQ(driver.value(f, n(FormControl::Number)), "3");
  EXPECT_EQ(driver.value(f, n(FormControl::Name)), "New folder");  // primed by the form
  ASSERT_TRUE(driver.type(f, n(FormControl::Name), "Documents"));
  ASSERT_TRUE(driver.press(f, n(FormControl::Ok)));
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_EQ(other_->nameOf(3), "Documents");
  EXPECT_EQ(rows(w), (std::vector<Row>{{"1", "Folder 1"}, {"2", "Folder 2"}, {"3", "Documents"}}));
  EXPECT_EQ(highlighted(w), 3);  // the list stands on the new record
  EXPECT_TRUE(captions().empty());
  closeList(w);
  EXPECT_EQ(result_, ResponseCancelled);
}

TEST_F(ListAndForm, CancelWithdrawsThePrimedRecord) {
  addFolders(2);
  const WindowHandle w = startList();
  pressList(w, ListControl::Insert);
  ASSERT_NE(form(), 0);
  EXPECT_TRUE(other_->exists(3));  // numbered and held while the form is open
  ASSERT_TRUE(driver.press(form(), n(FormControl::Cancel)));
  EXPECT_EQ(form(), 0);
  EXPECT_FALSE(other_->exists(3));
  EXPECT_EQ(other_->count(), 2);
  EXPECT_EQ(rows(w).size(), 2u);
  EXPECT_TRUE(captions().empty());  // nothing typed, nothing asked
  closeList(w);
}

TEST_F(ListAndForm, AFormThatRefusesToPrimeNeverOpensAndLeavesNoRecord) {
  addFolders(2);
  app.refuseInsert = true;
  const WindowHandle w = startList();
  pressList(w, ListControl::Insert);
  EXPECT_FALSE(formWasOpened());
  EXPECT_EQ(app.formsOpened, 1);
  EXPECT_EQ(other_->count(), 2);
  EXPECT_EQ(rows(w).size(), 2u);
  closeList(w);
}

TEST_F(ListAndForm, InsertActionThreeStartsTheNextInsertAtOnce) {
  addFolders(2);
  app.insertAction = 3;
  const WindowHandle w = startList();
  pressList(w, ListControl::Insert);
  const WindowHandle f = form();
  driver.type(f, n(FormControl::Name), "Three");
  driver.press(f, n(FormControl::Ok));
  ASSERT_TRUE(driver.isOpen(f));  // the same form, primed again
  EXPECT_EQ(driver.value(f, n(FormControl::Number)), "4");
  EXPECT_EQ(driver.value(f, n(FormControl::Name)), "New folder");
  EXPECT_EQ(driver.screen(f).focus, n(FormControl::Name));
  driver.type(f, n(FormControl::Name), "Four");
  driver.press(f, n(FormControl::Ok));
  EXPECT_EQ(driver.value(f, n(FormControl::Number)), "5");
  driver.press(f, n(FormControl::Cancel));  // the fifth is withdrawn, the two kept
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_EQ(other_->nameOf(3), "Three");
  EXPECT_EQ(other_->nameOf(4), "Four");
  EXPECT_FALSE(other_->exists(5));
  EXPECT_EQ(rows(w).size(), 4u);
  EXPECT_EQ(highlighted(w), 4);  // on the last record inserted
  closeList(w);
}

TEST_F(ListAndForm, InsertActionFourAsksWhetherToAddAnother) {
  app.insertAction = 4;
  const WindowHandle w = startList();
  pressList(w, ListControl::Insert);
  const WindowHandle f = form();
  driver.type(f, n(FormControl::Name), "One");
  driver.answerNextMessage(marlo::button::Yes);
  driver.press(f, n(FormControl::Ok));
  ASSERT_TRUE(driver.isOpen(f));
  EXPECT_EQ(driver.value(f, n(FormControl::Number)), "2");
  driver.type(f, n(FormControl::Name), "Two");
  driver.answerNextMessage(marlo::button::No);
  driver.press(f, n(FormControl::Ok));
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_EQ(captions(), (std::vector<std::string>{"Record Added", "Record Added"}));
  EXPECT_EQ(driver.dialogs()[0].request.text,
            "This record has been added to the file. Do you want to add another record?");
  EXPECT_EQ(rows(w), (std::vector<Row>{{"1", "One"}, {"2", "Two"}}));
  closeList(w);
}

// --- change
// -----------------------------------------------------------------------------------------

TEST_F(ListAndForm, AnUnchangedRecordClosesSilently) {
  addFolders(3);
  const WindowHandle w = startList();
  driver.pickRow(w, n(ListControl::List), 2);
  pressList(w, ListControl::Change);
  const WindowHandle f = form();
  ASSERT_NE(f, 0);
  EXPECT_EQ(driver.value(f, n(FormControl::Number)), "2");
  EXPECT_EQ(driver.value(f, n(FormControl::Name)), "Folder 2");
  driver.press(f, n(FormControl::Ok));
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_TRUE(captions().empty());
  EXPECT_EQ(highlighted(w), 2);
  closeList(w);
}

TEST_F(ListAndForm, AChangedRecordIsWritten) {
  addFolders(3);
  const WindowHandle w = startList();
  driver.pickRow(w, n(ListControl::List), 2);
  pressList(w, ListControl::Change);
  driver.type(form(), n(FormControl::Name), "Renamed");
  driver.press(form(), n(FormControl::Ok));
  EXPECT_EQ(form(), 0);
  EXPECT_EQ(other_->nameOf(2), "Renamed");
  EXPECT_EQ(rows(w)[1], (Row{"2", "Renamed"}));
  EXPECT_EQ(highlighted(w), 2);
  closeList(w);
}

// A save that meets another station's change says so and shows their record, and theirs stays
// in the table: nothing is written over it unless the person saves once more.
TEST_F(ListAndForm, AChangeByAnotherStationShowsTheirsAndKeepsTheirRecord) {
  addFolders(2);
  const WindowHandle w = startList();
  const WindowHandle f = saveOverTheirs(w);
  EXPECT_EQ(captions(), (std::vector<std::string>{"Record Was Not Updated"}));
  EXPECT_NE(driver.dialogs()[0].request.text.find("Use the Ditto Button"), std::string::npos);
  ASSERT_TRUE(driver.isOpen(f));
  EXPECT_EQ(driver.screen(f).focus, n(FormControl::Name));
  EXPECT_EQ(driver.value(f, n(FormControl::Name)), "Theirs");  // their values on the screen
  EXPECT_EQ(other_->nameOf(1), "Theirs");
  // Ctrl+' brings back what the person typed; saving now is their own choice.
  driver.focus(f, n(FormControl::Name));
  driver.pressKey(f, n(FormControl::Name), 734);
  EXPECT_EQ(driver.value(f, n(FormControl::Name)), "Mine");
  driver.press(f, n(FormControl::Ok));
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_EQ(other_->nameOf(1), "Mine");
  EXPECT_EQ(captions().size(), 1U);
  closeList(w);
}

TEST_F(ListAndForm, AfterACollisionClosingTheFormAsksNothingAndKeepsTheirs) {
  addFolders(2);
  const WindowHandle w = startList();
  const WindowHandle f = saveOverTheirs(w);
  driver.press(f, n(FormControl::Cancel));
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_EQ(captions(), (std::vector<std::string>{"Record Was Not Updated"}));
  EXPECT_EQ(other_->nameOf(1), "Theirs");
  EXPECT_EQ(rows(w)[0], (Row{"1", "Theirs"}));
  closeList(w);
}

TEST_F(ListAndForm, TheHistoryKeyRecallsWhatTheLastFormSaved) {
  addFolders(1);
  const WindowHandle w = startList();
  pressList(w, ListControl::Insert);
  driver.type(form(), n(FormControl::Name), "Alpha");
  driver.press(form(), n(FormControl::Ok));
  pressList(w, ListControl::Insert);
  const WindowHandle f = form();
  EXPECT_EQ(driver.value(f, n(FormControl::Name)), "New folder");
  driver.focus(f, n(FormControl::Name));
  driver.pressKey(f, n(FormControl::Name), 734);
  EXPECT_EQ(driver.value(f, n(FormControl::Name)), "Alpha");
  EXPECT_EQ(driver.value(f, n(FormControl::Number)), "3");  // only the field is recalled
  driver.type(f, n(FormControl::Name), "Beta");
  driver.focus(f, n(FormControl::Name));
  engine.post(f, event::Accepted, 3012);  // the toolbar's history button does the same
  driver.settle();
  EXPECT_EQ(driver.value(f, n(FormControl::Name)), "Alpha");
  driver.press(f, n(FormControl::Ok));
  EXPECT_EQ(other_->nameOf(3), "Alpha");
  closeList(w);
}

// --- closing a changed form ----------------------------------------------------------------------

class CancelAction : public ListAndForm {
 protected:
  WindowHandle openChangedForm(WindowHandle w) {
    pressList(w, ListControl::Change);
    driver.type(form(), n(FormControl::Name), "Edited");
    driver.press(form(), n(FormControl::Cancel));
    return form();
  }
};

// Yes saves what was typed, No drops it; either way the form closes and the list shows what
// the table holds.
struct CancelAnswer {
  unsigned button;
  const char* stored;
  friend void PrintTo(const CancelAnswer& answer, std::ostream* out) {
    *out << "button " << answer.button << ", stored \"" << answer.stored << '"';
  }
};

class CancelAnswered : public CancelAction, public ::testing::WithParamInterface<CancelAnswer> {};

TEST_P(CancelAnswered, ClosesTheFormKeepingOrDroppingTheChanges) {
  addFolders(1);
  const WindowHandle w = startList();
  const WindowHandle f = openChangedForm(w);
  const auto asked = driver.waitForDialog();
  ASSERT_TRUE(asked.has_value());
  EXPECT_EQ(asked->title, "Save Record");
  EXPECT_EQ(asked->text, "Do you want to save the changes to this record?");
  EXPECT_EQ(asked->buttons, marlo::button::Yes | marlo::button::No | marlo::button::Cancel);
  EXPECT_EQ(asked->defaultButton, marlo::button::Cancel);
  driver.answerMessage(GetParam().button);
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_EQ(other_->nameOf(1), GetParam().stored);
  EXPECT_EQ(rows(w)[0], (Row{"1", GetParam().stored}));
  closeList(w);
}

INSTANTIATE_TEST_SUITE_P(YesOrNo, CancelAnswered,
                         ::testing::Values(CancelAnswer{marlo::button::Yes, "Edited"},
                                           CancelAnswer{marlo::button::No, "Folder 1"}),
                         [](const ::testing::TestParamInfo<CancelAnswer>& answer) {
                           return answer.param.button == marlo::button::Yes ? "YesSaves"
                                                                            : "NoDiscards";
                         });

TEST_F(CancelAction, CancelKeepsTheFormOnItsFirstField) {
  addFolders(1);
  const WindowHandle w = startList();
  const WindowHandle f = openChangedForm(w);
  driver.answerMessage(marlo::button::Cancel);
  ASSERT_TRUE(driver.isOpen(f));
  EXPECT_EQ(driver.screen(f).focus, n(FormControl::Name));
  EXPECT_EQ(driver.value(f, n(FormControl::Name)), "Edited");
  driver.answerNextMessage(marlo::button::No);
  driver.closeBox(f);
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_EQ(other_->nameOf(1), "Folder 1");
  closeList(w);
}

TEST_F(CancelAction, SaveWithoutAskingWhenOnlyTheSaveBitIsSet) {
  addFolders(1);
  app.cancelAction = 1;
  const WindowHandle w = startList();
  const WindowHandle f = openChangedForm(w);
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_TRUE(captions().empty());
  EXPECT_EQ(other_->nameOf(1), "Edited");
  closeList(w);
}

// --- delete and view -----------------------------------------------------------------------------

TEST_F(ListAndForm, DeleteAsksConfirmDeleteWithoutOpeningTheForm) {
  addFolders(3);
  const WindowHandle w = startList();
  driver.pickRow(w, n(ListControl::List), 2);
  driver.answerNextMessage(marlo::button::No);
  pressList(w, ListControl::Delete);
  EXPECT_TRUE(other_->exists(2));
  driver.answerNextMessage(marlo::button::Yes);
  pressList(w, ListControl::Delete);
  EXPECT_EQ(captions(), (std::vector<std::string>{"Confirm Delete", "Confirm Delete"}));
  EXPECT_EQ(driver.dialogs()[0].request.text,
            "Are you sure you want to delete the highlighted record?");
  EXPECT_FALSE(formWasOpened());
  EXPECT_FALSE(other_->exists(2));
  EXPECT_EQ(rows(w), (std::vector<Row>{{"1", "Folder 1"}, {"3", "Folder 3"}}));
  EXPECT_EQ(highlighted(w), 2);
  closeList(w);
}

TEST_F(ListAndForm, DeleteThroughTheFormWhenTheActionSaysSo) {
  const auto [w, f] = openDeleteForm(2);
  ASSERT_NE(f, 0);
  EXPECT_EQ(driver.value(f, n(FormControl::Number)), "2");
  driver.press(f, n(FormControl::Ok));  // the form deletes on its OK button, without a question
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_TRUE(captions().empty());
  EXPECT_FALSE(other_->exists(2));
  EXPECT_EQ(rows(w), (std::vector<Row>{{"1", "Folder 1"}}));
  closeList(w);
}

// A delete that fails from the form: the table manager's retry question, then the form's own,
// whose Cancel keeps the form open and whose No closes it.
TEST_F(ListAndForm, AFailedDeleteFromTheFormAsksWhetherToTryAgainAndCancelStays) {
  const auto [w, f] = openDeleteForm(2);
  ASSERT_NE(f, 0);
  ASSERT_TRUE(other_->remove(2));                   // gone before the form deletes it
  driver.answerNextMessage(marlo::button::Ok);      // "Record was not deleted"
  driver.answerNextMessage(marlo::button::No);      // the table manager's "try again?"
  driver.answerNextMessage(marlo::button::Cancel);  // the form's
  driver.press(f, n(FormControl::Ok));
  EXPECT_EQ(captions(), (std::vector<std::string>{"Record was not deleted", "Record Delete Error",
                                                  "Record Delete Error"}));
  const auto asked = driver.dialogs().back().request;
  EXPECT_EQ(asked.buttons, marlo::button::Yes | marlo::button::No | marlo::button::Cancel);
  EXPECT_EQ(asked.defaultButton, marlo::button::Cancel);
  ASSERT_TRUE(driver.isOpen(f));
  EXPECT_EQ(driver.screen(f).focus, n(FormControl::Name));

  driver.answerNextMessage(marlo::button::Ok);
  driver.answerNextMessage(marlo::button::No);
  driver.answerNextMessage(marlo::button::No);  // the form's: give up
  driver.press(f, n(FormControl::Ok));
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_EQ(captions().size(), 6U);
  EXPECT_EQ(rows(w), (std::vector<Row>{{"1", "Folder 1"}}));
  closeList(w);
}

TEST_F(ListAndForm, ViewShowsTheRecordWithoutLettingItChange) {
  addFolders(2);
  const WindowHandle w = startList();
  driver.pickRow(w, n(ListControl::List), 2);
  ASSERT_TRUE(driver.pressKey(w, n(ListControl::List), key::ShiftEnter));
  const WindowHandle f = form();
  ASSERT_NE(f, 0);
  EXPECT_EQ(app.lastFormRequest, RequestView);
  EXPECT_EQ(driver.value(f, n(FormControl::Name)), "Folder 2");
  EXPECT_FALSE(driver.type(f, n(FormControl::Name), "No"));
  driver.press(f, n(FormControl::Ok));
  EXPECT_FALSE(driver.isOpen(f));
  EXPECT_EQ(other_->nameOf(2), "Folder 2");
  EXPECT_TRUE(captions().empty());
  closeList(w);
}

// --- the toolbar's navigation --------------------------------------------------------------------

TEST_F(ListAndForm, NextRecordSavesAndReopensTheFormOnTheNextRecord) {
  addFolders(3);
  const WindowHandle w = startList();
  pressList(w, ListControl::Change);
  WindowHandle f = form();
  driver.type(f, n(FormControl::Name), "First");
  engine.post(f, event::Accepted, 3009);
  driver.settle();
  EXPECT_EQ(other_->nameOf(1), "First");
  f = form();
  ASSERT_NE(f, 0);
  EXPECT_EQ(driver.value(f, n(FormControl::Number)), "2");
  EXPECT_EQ(highlighted(w), 2);
  // Unchanged, and on again.
  engine.post(f, event::Accepted, 3009);
  driver.settle();
  EXPECT_EQ(driver.value(form(), n(FormControl::Number)), "3");
  driver.press(form(), n(FormControl::Cancel));
  EXPECT_EQ(form(), 0);
  EXPECT_EQ(app.formsOpened, 3);
  EXPECT_EQ(highlighted(w), 3);
  closeList(w);
}

TEST_F(ListAndForm, SaveAndAddAnotherReopensTheFormForANewRecord) {
  addFolders(1);
  const WindowHandle w = startList();
  pressList(w, ListControl::Change);
  engine.post(form(), event::Accepted, 3001);
  driver.settle();
  ASSERT_NE(form(), 0);
  EXPECT_EQ(app.lastFormRequest, RequestInsert);
  EXPECT_EQ(driver.value(form(), n(FormControl::Number)), "2");
  driver.type(form(), n(FormControl::Name), "Added");
  // In an insert form the next-record button also adds another.
  engine.post(form(), event::Accepted, 3009);
  driver.settle();
  EXPECT_EQ(other_->nameOf(2), "Added");
  EXPECT_EQ(driver.value(form(), n(FormControl::Number)), "3");
  driver.press(form(), n(FormControl::Cancel));
  EXPECT_FALSE(other_->exists(3));
  EXPECT_EQ(rows(w).size(), 2u);
  closeList(w);
}

// --- the list's keys, mouse and popup ------------------------------------------------------------

TEST_F(ListAndForm, KeysOnTheListPressItsButtons) {
  addFolders(3);
  const WindowHandle w = startList();
  const int list = n(ListControl::List);
  driver.pressKey(w, list, key::Insert);
  EXPECT_EQ(app.lastFormRequest, RequestInsert);
  driver.press(form(), n(FormControl::Cancel));

  driver.pickRow(w, list, 3);
  driver.pressKey(w, list, key::CtrlEnter);
  EXPECT_EQ(app.lastFormRequest, RequestChange);
  EXPECT_EQ(driver.value(form(), n(FormControl::Number)), "3");
  driver.press(form(), n(FormControl::Cancel));

  driver.doubleClickRow(w, list, 2);
  EXPECT_EQ(app.lastFormRequest, RequestChange);
  EXPECT_EQ(driver.value(form(), n(FormControl::Number)), "2");
  driver.press(form(), n(FormControl::Cancel));

  driver.answerNextMessage(marlo::button::Yes);
  driver.pressKey(w, list, key::Delete);
  EXPECT_EQ(captions(), std::vector<std::string>{"Confirm Delete"});
  EXPECT_FALSE(other_->exists(2));
  EXPECT_EQ(app.formsOpened, 4);
  closeList(w);
}

TEST_F(ListAndForm, AKeyOnAnEmptyListStartsAnInsert) {
  const WindowHandle w = startList();
  ASSERT_TRUE(rows(w).empty());
  driver.pressKey(w, n(ListControl::List), 'D');
  ASSERT_NE(form(), 0);
  EXPECT_EQ(app.lastFormRequest, RequestInsert);
  EXPECT_EQ(driver.value(form(), n(FormControl::Number)), "1");
  driver.press(form(), n(FormControl::Ok));
  EXPECT_EQ(rows(w), (std::vector<Row>{{"1", "New folder"}}));
  closeList(w);
}

TEST_F(ListAndForm, RightClickMovesTheHighlightThenShowsTheButtonsAsItems) {
  addFolders(3);
  const WindowHandle w = startList();
  EXPECT_EQ(highlighted(w), 1);
  driver.answerNextPopup(0);  // dismissed
  driver.rightClickRow(w, n(ListControl::List), 3);
  EXPECT_EQ(highlighted(w), 3);
  const auto shown = driver.dialogs();
  ASSERT_EQ(shown.size(), 1u);
  ASSERT_EQ(shown[0].request.kind, DialogRequest::Kind::Popup);
  const auto& menu = shown[0].request.menu;
  ASSERT_EQ(menu.size(), 3u);  // Insert, Change, Delete: the view button has no item
  EXPECT_EQ(menu[0].text, "&Insert");
  EXPECT_EQ(menu[1].text, "&Change");
  EXPECT_EQ(menu[2].text, "&Delete");
  EXPECT_EQ(app.formsOpened, 0);  // dismissing posts nothing

  driver.answerNextPopup(2);
  driver.rightClickRow(w, n(ListControl::List), 2);
  ASSERT_NE(form(), 0);
  EXPECT_EQ(app.lastFormRequest, RequestChange);
  EXPECT_EQ(driver.value(form(), n(FormControl::Number)), "2");
  driver.press(form(), n(FormControl::Cancel));
  EXPECT_EQ(list_->list.popup().LASTSELECTION, "&Promjena");
  closeList(w);
}

TEST_F(ListAndForm, ADisabledButtonGreysItsItemAndIgnoresItsKey) {
  addFolders(2);
  app.deleteDisabled = true;
  const WindowHandle w = startList();
  driver.answerNextPopup(3);  // the greyed item: choosing it does nothing
  driver.rightClickRow(w, n(ListControl::List), 1);
  const auto menu = driver.dialogs().at(0).request.menu;
  ASSERT_EQ(menu.size(), 3u);
  EXPECT_TRUE(menu[0].enabled);
  EXPECT_FALSE(menu[2].enabled);
  driver.pressKey(w, n(ListControl::List), key::Delete);
  EXPECT_EQ(driver.dialogs().size(), 1u);
  EXPECT_EQ(other_->count(), 2);
  closeList(w);
}

TEST_F(ListAndForm, TheBrowseActionsToolboxPressesTheListsButtons) {
  addFolders(2);
  app.withTools = true;
  app.deleteDisabled = true;
  const WindowHandle w = startList();
  driver.answerNextPopup(0);
  driver.rightClickRow(w, n(ListControl::List), 2);
  const auto menu = driver.dialogs().at(0).request.menu;
  ASSERT_EQ(menu.size(), 5u);
  EXPECT_TRUE(menu[3].separator);
  EXPECT_EQ(menu[4].text, "&Tools");
  driver.press(w, n(ListControl::Tools));
  const WindowHandle box = driver.waitForWindow("Browse Actions");
  ASSERT_NE(box, 0);
  EXPECT_NE(driver.screen(box).props.thread, driver.screen(w).props.thread);  // a thread of its own
  EXPECT_EQ(driver.text(box, 1), "&Insert");
  EXPECT_EQ(driver.text(box, 2), "&Change");
  EXPECT_EQ(driver.text(box, 3), "&Delete");
  EXPECT_FALSE(driver.control(box, 3).enabled());
  driver.press(box, 2);
  ASSERT_NE(driver.waitForWindow("Folder"), 0);
  EXPECT_EQ(app.lastFormRequest, RequestChange);
  EXPECT_EQ(driver.value(form(), n(FormControl::Number)), "2");
  driver.press(form(), n(FormControl::Cancel));
  closeList(w);  // the toolbox goes with its list
  EXPECT_FALSE(driver.isOpen(box));
}

// --- selecting -----------------------------------------------------------------------------------

TEST_F(ListAndForm, SelectingModeLeavesTheChosenRecordForTheCaller) {
  addFolders(3);
  const WindowHandle w = startList(RequestSelect);
  EXPECT_TRUE(list_->list.SELECTING);
  driver.answerNextPopup(0);
  driver.rightClickRow(w, n(ListControl::List), 1);
  const auto menu = driver.dialogs().at(0).request.menu;
  ASSERT_EQ(menu.size(), 4u);
  EXPECT_EQ(menu[3].text, "&Select");
  driver.doubleClickRow(w, n(ListControl::List), 2);  // selects instead of changing
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_EQ(result_, ResponseCompleted);
  EXPECT_EQ(app.formsOpened, 0);
  EXPECT_EQ(app.record.RBR, 2);
  EXPECT_EQ(app.record.NAZIV.str(), "Folder 2");
}

TEST_F(ListAndForm, SelectingModeClosedWithoutChoiceRestoresTheBuffer) {
  addFolders(3);
  app.record.RBR = 77;
  app.record.NAZIV = "caller's record";
  const WindowHandle w = startList(RequestSelect);
  driver.pickRow(w, n(ListControl::List), 3);
  driver.closeBox(w);
  ASSERT_TRUE(driver.waitEnded());
  EXPECT_EQ(result_, ResponseCancelled);
  EXPECT_EQ(app.record.RBR, 77);
  EXPECT_EQ(app.record.NAZIV.str(), "caller's record");
}

// --- a list that holds one page ------------------------------------------------------------------

TEST_F(ListAndForm, APagedListFetchesAsItScrolls) {
  addFolders(12);
  app.fileLoaded = false;
  const WindowHandle w = startList();
  const int list = n(ListControl::List);
  const auto firstColumn = [&] {
    std::string out;
    for (const auto& r : rows(w)) out += r[0] + " ";
    return out;
  };
  EXPECT_EQ(firstColumn(), "1 2 3 4 5 ");
  for (int i = 0; i < 4; ++i) driver.scroll(w, list, event::ScrollDown);
  EXPECT_EQ(highlighted(w), 5);
  driver.scroll(w, list, event::ScrollDown);  // on the last row: one record more
  EXPECT_EQ(firstColumn(), "2 3 4 5 6 ");
  EXPECT_EQ(highlighted(w), 5);
  driver.scroll(w, list, event::PageDown);
  EXPECT_EQ(firstColumn(), "7 8 9 10 11 ");
  EXPECT_EQ(highlighted(w), 5);
  driver.scroll(w, list, event::PageDown);  // only one record left
  EXPECT_EQ(firstColumn(), "8 9 10 11 12 ");
  EXPECT_EQ(highlighted(w), 5);
  driver.scroll(w, list, event::PageUp);
  EXPECT_EQ(firstColumn(), "3 4 5 6 7 ");
  driver.scroll(w, list, event::ScrollTop);
  EXPECT_EQ(firstColumn(), "1 2 3 4 5 ");
  EXPECT_EQ(highlighted(w), 1);
  driver.scroll(w, list, event::ScrollUp);  // nothing above the first record
  EXPECT_EQ(firstColumn(), "1 2 3 4 5 ");
  driver.scroll(w, list, event::ScrollBottom);
  EXPECT_EQ(firstColumn(), "8 9 10 11 12 ");
  EXPECT_EQ(highlighted(w), 5);
  driver.scroll(w, list, event::ScrollDrag, 50);  // half way: the sixth record of twelve
  EXPECT_EQ(rows(w)[static_cast<std::size_t>(highlighted(w) - 1)][0], "6");
  driver.scroll(w, list, event::ScrollDrag, 1);
  EXPECT_EQ(firstColumn(), "1 2 3 4 5 ");
  driver.scroll(w, list, event::ScrollDrag, 100);
  EXPECT_EQ(firstColumn(), "8 9 10 11 12 ");
  // The highlighted record is the one the buttons work on.
  driver.press(w, n(ListControl::Change));
  EXPECT_EQ(driver.value(form(), n(FormControl::Number)), "12");
  driver.press(form(), n(FormControl::Cancel));
  closeList(w);
}

TEST_F(ListAndForm, ATypedDigitMovesToTheFirstRecordFromThatNumberOn) {
  addFolders(12);
  app.fileLoaded = false;
  const WindowHandle w = startList();
  const auto highlightedNumber = [&] {
    return rows(w).at(static_cast<std::size_t>(highlighted(w) - 1))[0];
  };
  driver.pressKey(w, n(ListControl::List), '7');
  EXPECT_EQ(highlightedNumber(), "7");
  driver.pressKey(w, n(ListControl::List), '2');
  EXPECT_EQ(highlightedNumber(), "2");
  driver.pressKey(w, n(ListControl::List), 'X');  // not a number: nothing moves
  EXPECT_EQ(highlightedNumber(), "2");
  EXPECT_EQ(app.formsOpened, 0);
  closeList(w);
}

TEST_F(ListAndForm, APagedListShowsAnInsertedRecordAndClosesTheGapOfADeletedOne) {
  addFolders(12);
  app.fileLoaded = false;
  const WindowHandle w = startList();
  pressList(w, ListControl::Insert);
  driver.type(form(), n(FormControl::Name), "Thirteen");
  driver.press(form(), n(FormControl::Ok));
  ASSERT_EQ(rows(w).size(), 5u);
  EXPECT_EQ(rows(w).back(), (Row{"13", "Thirteen"}));
  EXPECT_EQ(highlighted(w), 5);
  driver.scroll(w, n(ListControl::List), event::ScrollTop);
  driver.pickRow(w, n(ListControl::List), 2);
  driver.answerNextMessage(marlo::button::Yes);
  pressList(w, ListControl::Delete);
  EXPECT_EQ(rows(w)[1], (Row{"3", "Folder 3"}));
  EXPECT_EQ(rows(w).back(), (Row{"6", "Folder 6"}));
  closeList(w);
}

// --- the controller without a window -----------------------------------------------------------

class CountingComponent : public WINDOWCOMPONENT {
 public:
  void kill() override { ++kills; }
  void reset(std::uint8_t) override {}
  bool resetRequired() override { return false; }
  void setAlerts() override {}
  SeverityLevel takeEvent() override { return SevBenign; }
  void update() override {}
  void updateWindow() override {}
  int kills = 0;
};

TEST(WindowControllerLife, KillDoesItsWorkOnce) {
  WindowController controller;
  CountingComponent component;
  EXPECT_EQ(controller.kill(), SevNotify);  // never initialised: nothing to do
  controller.init();
  controller.addComponent(component);
  EXPECT_EQ(controller.kill(), SevBenign);
  EXPECT_TRUE(controller.DEAD);
  EXPECT_EQ(controller.kill(), SevNotify);
  EXPECT_EQ(component.kills, 1);
}

TEST(WindowControllerLife, InitSetsTheDefaults) {
  WindowController controller;
  controller.REQUEST = RequestChange;
  controller.INSERTACTION = 9;
  controller.CANCELACTION = 0;
  EXPECT_EQ(controller.init(), SevBenign);
  EXPECT_EQ(controller.ORIGINALREQUEST, RequestChange);
  EXPECT_EQ(controller.INSERTACTION, 2);
  EXPECT_EQ(controller.DELETEACTION, 2);
  EXPECT_EQ(controller.CHANGEACTION, 1);
  EXPECT_EQ(controller.CANCELACTION, 3);
  EXPECT_TRUE(controller.AUTOTOOLBAR);
  EXPECT_TRUE(controller.AUTOREFRESH);
  EXPECT_EQ(controller.runProcedure(1, RequestInsert), ResponseCancelled);
  controller.kill();
}

}  // namespace
}  // namespace marlo::test
