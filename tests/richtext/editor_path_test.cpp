// A person's way through the editor: a letter a word processor wrote is opened, looked at,
// edited, saved, opened again, printed and searched, all through the toolbar and format bar.
#include <gtest/gtest.h>

#include <QProcess>

#include "tests/richtext/editor_fixture.h"

namespace richtext_test {
namespace {

using C = ContainerControl;
using F = marlo::richtext::FindControl;
namespace rt = marlo::richtext;

class PersonsPath : public EditorTest {
 protected:
  int at(std::string_view word) { return static_cast<int>(text().find(word)); }
  // The format of the word's first character and of its paragraph.
  std::pair<rt::CharFormat, rt::ParaFormat> formatOf(std::string_view word) {
    const int start = at(word);
    select(start, start + static_cast<int>(word.size()));
    return {charFormat(), paraFormat()};
  }
  void expectTheLettersFormats() {
    const auto [heading, headingPara] = formatOf("Backup report");
    EXPECT_EQ(heading.face, "Arial");
    EXPECT_EQ(heading.twips, 320);
    EXPECT_EQ(heading.effects, rt::effect::Bold);
    EXPECT_EQ(headingPara.alignment, rt::alignment::Center);
    EXPECT_EQ(formatOf("Monday").first.effects, rt::effect::Bold);
    const auto late = formatOf("late").first;
    EXPECT_EQ(late.effects, rt::effect::Italic);
    EXPECT_EQ(late.colour, 192) << "dark red";
    EXPECT_EQ(formatOf("stored").first.effects, rt::effect::Underline);
    EXPECT_EQ(formatOf("Photos").second.numbering, rt::numbering::Bullet);
    const auto [signature, signaturePara] = formatOf("Marlo");
    EXPECT_EQ(signature.colour, 0xFF0000) << "blue";
    EXPECT_EQ(signature.twips, 200);
    EXPECT_EQ(signaturePara.alignment, rt::alignment::Right);
  }
};

std::string pdfText(const fs::path& pdf) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QString::fromStdString(pdf.string()), QStringLiteral("-")});
  if (!p.waitForFinished(60000)) return {};
  return p.readAllStandardOutput().toStdString();
}

TEST_F(PersonsPath, OpenLookEditSaveOpenAgainPrintAndFind) {
  fs::copy_file(RICHTEXT_TEST_DATA "/letter.rtf", dir() / "letter.rtf");
  openHost();
  driver.answerNextOpenFile((dir() / "letter.rtf").string());
  ASSERT_TRUE(driver.press(container, n(C::Open)));
  EXPECT_EQ(text(),
            "Backup report\nDear Ana,\nthe backup of Monday finished late, all folders "
            "stored.\nDocuments\nPhotos\nMarlo");
  expectTheLettersFormats();

  // Two more words, and one made bold from the format bar.
  ASSERT_TRUE(select(at("Ana,") + 3, at("Ana,") + 3));
  ASSERT_TRUE(type(" and Ivo"));
  ASSERT_TRUE(select(at("finished"), at("finished") + 8));
  ASSERT_TRUE(driver.press(container, n(C::Bold)));
  ASSERT_TRUE(driver.press(container, n(C::Save)));

  driver.answerNextOpenFile((dir() / "letter.rtf").string());
  ASSERT_TRUE(driver.press(container, n(C::Open)));
  EXPECT_TRUE(messages().empty()) << "saved: opening again asks nothing";
  EXPECT_NE(text().find("Dear Ana and Ivo,"), std::string::npos);
  expectTheLettersFormats();
  EXPECT_EQ(formatOf("finished").first.effects, rt::effect::Bold);

  driver.answerNextPrint((dir() / "letter.pdf").string());
  ASSERT_TRUE(driver.press(container, n(C::Print)));
  const std::string printed = pdfText(dir() / "letter.pdf");
  for (const char* words :
       {"Backup report", "Dear Ana and Ivo,", "late, all folders stored.", "Photos"})
    EXPECT_NE(printed.find(words), std::string::npos) << words << " in:\n" << printed;

  ASSERT_TRUE(select(at("Monday"), at("Monday")));
  ASSERT_TRUE(driver.press(container, n(C::Find)));
  const WindowHandle find = driver.window(rt::kFindTitle);
  ASSERT_TRUE(driver.type(find, n(F::SearchString), "backup"));
  driver.answerNextMessage(button::Ok);
  ASSERT_TRUE(driver.press(find, n(F::FindNext)));
  EXPECT_EQ(messages().back().text, "\"backup\" not found.") << "nothing further down";
  ASSERT_TRUE(driver.press(find, n(F::Up)));
  ASSERT_TRUE(driver.press(find, n(F::FindNext)));
  EXPECT_EQ(selection(), (TextSelection{at("backup of"), at("backup of") + 6}));
  ASSERT_TRUE(driver.press(find, n(F::FindNext)));
  EXPECT_EQ(selection(), (TextSelection{0, 6})) << "\"Backup report\", case aside";
  ASSERT_TRUE(driver.press(find, n(F::Cancel)));
}

}  // namespace
}  // namespace richtext_test
