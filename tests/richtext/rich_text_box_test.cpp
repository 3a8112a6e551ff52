// The editor in place of a text control: its start and end, files, the save question, the
// variable it saves into, and printing. Under the headless view, driven as a person and a
// program would.
#include <gtest/gtest.h>

#include <QProcess>
#include <cerrno>

#include "framework/runtime_error.h"
#include "tests/richtext/editor_fixture.h"

namespace richtext_test {
namespace {

using marlo::richtext::RichTextBox;

TEST_F(EditorTest, AnEditorNeverCreatedHasNothingToCloseFindOrSave) {
  RichTextBox unused;
  EXPECT_EQ(unused.close(0), 1);
  EXPECT_EQ(unused.close(1), 1);
  EXPECT_EQ(unused.find("word", 0), 0);
  EXPECT_EQ(unused.askSave(1), 0);
  unused.save("never.rtf");
  EXPECT_FALSE(fs::exists("never.rtf"));
  EXPECT_TRUE(view.beeps().empty());
  EXPECT_TRUE(driver.dialogs().empty());
}

TEST_F(EditorTest, TheEditorLiesOverItsTextControlTakesItsStylesAndFollowsIt) {
  openHost({.toolbar = 0, .formatBar = 0, .textFlags = flag::VScroll | flag::ReadOnly});
  const ControlState editor = driver.control(host, kEditor);
  EXPECT_EQ(editor.kind, ControlKind::RichText);
  EXPECT_EQ(editor.rect, driver.control(host, kText).rect);
  EXPECT_TRUE(editor.has(flag::ReadOnly));
  EXPECT_TRUE(editor.has(flag::VScroll)) << "the editor takes the text control's scroll bar";
  EXPECT_FALSE(driver.control(host, kText).has(flag::VScroll));
  EXPECT_EQ(editor.fillColour, 16777215) << "a text control without a fill colour gives white";
  EXPECT_TRUE(editor.visible());
  // Without bars the container window stays out of sight, and the host keeps the focus.
  ASSERT_NE(container, 0);
  EXPECT_FALSE(driver.screen(container).props.visible);
  EXPECT_EQ(view.active(), host);
  EXPECT_EQ(box->OPENED.load(), 1);

  ASSERT_TRUE(driver.resize(host, {0, 0, 400, 260}));
  EXPECT_EQ(driver.control(host, kText).rect, (Rect{10, 10, 300, 160}));
  EXPECT_EQ(driver.control(host, kEditor).rect, driver.control(host, kText).rect);

  ASSERT_TRUE(driver.press(host, kClose));
  ASSERT_TRUE(driver.waitEnded()) << "the container thread ends with the editor";
  EXPECT_TRUE(engine.runningThreads().empty());
}

TEST_F(EditorTest, AHiddenTextControlGetsAHiddenEditorAndCloseGivesBackItsScrollBars) {
  openHost({.toolbar = 0, .formatBar = 0, .textFlags = flag::Hidden | flag::HScroll});
  EXPECT_FALSE(driver.control(host, kEditor).visible());
  EXPECT_TRUE(driver.control(host, kEditor).has(flag::HScroll));
  onHost([&] { EXPECT_EQ(box->close(0), 1); });
  EXPECT_TRUE(driver.control(host, kText).has(flag::HScroll));
  EXPECT_FALSE(box->hasEditor());
  EXPECT_FALSE(driver.control(host, kEditor).document);
  onHost([&] { EXPECT_EQ(box->close(0), 1) << "closed already: nothing more to close"; });
  EXPECT_FALSE(driver.isOpen(container));
}

TEST_F(EditorTest, AnEditorWithoutItsTextControlFailsWithError95AndLeavesNothing) {
  openHost({.toolbar = 0, .formatBar = 0});
  int error = 0;
  std::uint8_t closed = 0;
  onHost([&] {
    RichTextBox other;
    other.init(*box->RWINDOW, 99, 0, 1, 1);
    error = marlo::currentRuntimeError().code;
    closed = other.close(0);
  });
  EXPECT_EQ(error, 95);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(driver.screen(host).controls.size(), 3u) << "no second editor";
  EXPECT_EQ(engine.runningThreads().size(), 2u) << "the host's and the first editor's only";
}

TEST_F(EditorTest, EachStyleCodeTogglesItsEffect) {
  openHost();
  ASSERT_TRUE(type("styled"));
  ASSERT_TRUE(select(0, 6));
  namespace style = marlo::richtext::style;
  namespace effect = marlo::richtext::effect;
  const std::pair<std::int32_t, unsigned> codes[] = {{style::Bold, effect::Bold},
                                                     {style::Italic, effect::Italic},
                                                     {style::Underline, effect::Underline},
                                                     {style::Strike, effect::Strike},
                                                     {style::Protected, effect::Protected}};
  for (const auto& [code, bit] : codes) {
    onHost([&] { box->toggleEffect(code); });
    EXPECT_EQ(charFormat().effects, bit) << code;
    onHost([&] { box->toggleEffect(code); });
    EXPECT_EQ(charFormat().effects, 0u) << code;
  }
  EXPECT_EQ(box->LFONTSTRIKE, 0);
  onHost([&] { box->toggleEffect(1234); });
  EXPECT_EQ(charFormat().effects, 0u) << "an unknown code changes nothing";
}

TEST_F(EditorTest, TheTextTakesTheTextControlsFontAndTheEditorIsUnchangedAfterStart) {
  openHost({.font = {"Courier New", 12, true}});
  ASSERT_TRUE(type("Hello"));
  EXPECT_EQ(text(), "Hello");
  const auto format = charFormat();
  EXPECT_EQ(format.face, "Courier New");
  EXPECT_EQ(format.twips, 240);
  EXPECT_EQ(format.effects, marlo::richtext::effect::Bold);
  onHost([&] { EXPECT_EQ(box->askSave(0), 1) << "typing modified it"; });
}

// --- Files --------------------------------------------------------------------------------------

TEST_F(EditorTest, SavingAnEmptyTextBeepsAndWritesNothing) {
  openHost();
  onHost([&] { box->save("empty.rtf"); });
  EXPECT_EQ(exclamationBeeps(), 1u);
  EXPECT_FALSE(fs::exists("empty.rtf"));
  EXPECT_TRUE(driver.dialogs().empty()) << "not even the save dialog";
}

TEST_F(EditorTest, ANameWithoutExtensionIsSavedAsRtfAndOnlyRtfOrTxtAreTaken) {
  openHost();
  ASSERT_TRUE(type("Report"));
  onHost([&] { box->save("report"); });
  ASSERT_TRUE(fs::exists("report.RTF"));
  EXPECT_EQ(readFile("report.RTF").rfind("{\\rtf1", 0), 0u);
  EXPECT_EQ(box->SFILENAME.view(), "report.RTF");
  onHost([&] { EXPECT_EQ(box->askSave(0), 0) << "saved: no longer modified"; });

  ASSERT_TRUE(type(" again"));
  driver.answerNextMessage(button::Ok);
  onHost([&] { box->save("letter.doc"); });
  EXPECT_FALSE(fs::exists("letter.doc"));
  const auto shown = messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Format Error");
  EXPECT_EQ(shown[0].text, "Unknown file format: \".DOC\"\nExtension must be .RTF or .TXT.");
  EXPECT_EQ(box->SFILENAME.view(), "report.RTF");

  // A blank name asks for one; .TXT is written as plain text.
  driver.answerNextSaveFile((dir() / "notes.txt").string());
  onHost([&] { box->save(""); });
  EXPECT_EQ(readFile(dir() / "notes.txt"), "Report again");
}

TEST_F(EditorTest, AFileIsReadAsRtfByItsContentWhateverItsName) {
  std::ofstream("looks-plain.TXT") << "{\\rtf1\\ansi {\\b Bold} text\\par}";
  std::ofstream("plain.rtf") << "{not rtf at all";
  openHost();
  onHost([&] { box->open("looks-plain.TXT"); });
  EXPECT_EQ(text(), "Bold text");
  ASSERT_TRUE(select(0, 4));
  EXPECT_EQ(charFormat().effects & marlo::richtext::effect::Bold, marlo::richtext::effect::Bold);
  EXPECT_EQ(box->SFILENAME.view(), "looks-plain.TXT");

  onHost([&] { box->open("plain.rtf"); });
  EXPECT_EQ(text(), "{not rtf at all");
}

TEST_F(EditorTest, AFileThatCannotBeReadLeavesTheDocumentAndSetsTheError) {
  openHost();
  ASSERT_TRUE(type("kept"));
  onHost([&] { box->save("kept.rtf"); });
  int runtimeError = 0;
  onHost([&] {
    box->open("missing.rtf");
    runtimeError = marlo::currentRuntimeError().code;
  });
  EXPECT_EQ(runtimeError, 95);
  EXPECT_EQ(box->ERRORCODE, ENOENT);
  EXPECT_EQ(box->ERROR_.view(), "No such file or directory");
  EXPECT_EQ(text(), "kept");
  EXPECT_EQ(box->SFILENAME.view(), "kept.rtf");
}

// --- The save question ---------------------------------------------------------------------------

TEST_F(EditorTest, TheSaveQuestionKeepsAskingUntilYesNoOrCancel) {
  openHost();
  ASSERT_TRUE(type("draft"));
  onHost([&] { box->save("draft.rtf"); });
  ASSERT_TRUE(type(" more"));
  std::uint8_t answer = 9;
  driver.answerNextMessage(button::Ok);  // not one of its buttons: asked again
  driver.answerNextMessage(button::Retry);
  driver.answerNextMessage(button::Yes);
  onHost([&] { answer = box->askSave(1); });
  EXPECT_EQ(answer, 1);
  const auto shown = messages();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].title, "Save Document");
  EXPECT_EQ(shown[0].text, "Do you want to save modified document?");
  EXPECT_EQ(shown[0].buttons, button::Yes | button::No | button::Cancel);
  EXPECT_EQ(exclamationBeeps(), 3u) << "each time it asks";
  EXPECT_NE(readFile("draft.rtf").find("draft more"), std::string::npos) << "Yes saved it";

  ASSERT_TRUE(type("!"));
  driver.answerNextMessage(button::No);
  onHost([&] { answer = box->askSave(1); });
  EXPECT_EQ(answer, 0);
  driver.answerNextMessage(button::Cancel);
  onHost([&] { answer = box->close(1); });
  EXPECT_EQ(answer, 2);
  EXPECT_TRUE(box->hasEditor()) << "asking is all close(1) does";
}

TEST_F(EditorTest, YesWithoutASaveKeepsTheChangesThatANewDocumentWouldDrop) {
  openHost();
  ASSERT_TRUE(type("unsaved work"));
  driver.answerNextMessage(button::Yes);
  driver.answerNextSaveFile("");  // the person cancels the save dialog
  onHost([&] { box->newDocument(); });
  EXPECT_EQ(text(), "unsaved work");

  driver.answerNextMessage(button::No);
  onHost([&] { box->newDocument(); });
  EXPECT_EQ(text(), "");
  onHost([&] { EXPECT_EQ(box->askSave(0), 0); });
}

TEST_F(EditorTest, SavingIntoAVariableFitsOrLeavesItAlone) {
  openHost();
  ASSERT_TRUE(type("into a variable"));
  std::string roomy;
  onHost([&] { box->saveToField(roomy); });
  EXPECT_EQ(roomy.rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(roomy.find("into a variable"), std::string::npos);
  onHost([&] { EXPECT_EQ(box->askSave(0), 0); });

  marlo::CString<40> tight("what it held");
  ASSERT_TRUE(type("!"));
  driver.answerNextMessage(button::Ok);
  onHost([&] { box->saveToField(tight); });
  EXPECT_EQ(tight.view(), "what it held");
  const auto shown = messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Stream Error");
  EXPECT_EQ(shown[0].text, "The variable is to small to hold the data.");

  // Bound, the save question speaks of data and saves there.
  driver.answerNextMessage(button::Cancel);
  onHost([&] { box->askSave(1); });
  EXPECT_EQ(messages().back().title, "Save Data");
  EXPECT_EQ(messages().back().text, "Do you want to save modified data?");
}

// --- Printing ------------------------------------------------------------------------------------

std::string pdfText(const fs::path& pdf) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QString::fromStdString(pdf.string()), QStringLiteral("-")});
  if (!p.waitForFinished(60000)) return {};
  return p.readAllStandardOutput().toStdString();
}

TEST_F(EditorTest, PrintingGoesToThePdfTheDialogChoseAndCancelPrintsNothing) {
  openHost();
  ASSERT_TRUE(type("Printed page one"));
  driver.answerNextPrint((dir() / "out.pdf").string());
  onHost([&] { box->print("RTF Data", 1); });
  const auto dialogs = driver.dialogs();
  ASSERT_FALSE(dialogs.empty());
  EXPECT_EQ(dialogs.back().request.kind, DialogRequest::Kind::Print);
  EXPECT_EQ(dialogs.back().request.title, "RTF Data");
  EXPECT_NE(pdfText(dir() / "out.pdf").find("Printed page one"), std::string::npos);

  driver.answerNextPrint("");
  onHost([&] { box->print("RTF Data", 1); });
  EXPECT_EQ(std::distance(fs::directory_iterator(dir()), fs::directory_iterator()), 1);
}

TEST_F(EditorTest, APrintJobThatCannotStartStopsWithItsErrorNumber) {
  openHost();
  ASSERT_TRUE(type("x"));
  driver.answerNextPrint((dir() / "no-such-folder" / "out.pdf").string());
  driver.answerNextMessage(button::Ignore);
  onHost([&] { box->print("RTF Data", 1); });
  const auto shown = messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Stop");
  EXPECT_EQ(shown[0].text.rfind("Error Starting Print Job ", 0), 0u) << shown[0].text;
}

}  // namespace
}  // namespace richtext_test
