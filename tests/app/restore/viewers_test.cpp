// The log viewers: what they show and where they open again.
#include <gtest/gtest.h>

#include "app/restore/viewers.h"
#include "richtext/container.h"
#include "richtext/rich_text_box.h"
#include "tests/app/restore/restore_fixture.h"

namespace restore_test {
namespace {

class LogViewers : public RestoreTest {
 protected:
  WindowHandle show(void (*viewer)(), std::string_view procedure) {
    driver.start(viewer);
    return driver.waitForProcedure(procedure);
  }
};

TEST_F(LogViewers, PokaziShowsTheBackupsReportUpToItsEndWithTheRichTextPlaceHidden) {
  glo::OUT_ = std::string_view("Updating archive\r\n  a.txt\0stale text", 36);
  const WindowHandle w = show(&app::pokazi, "pokazi");
  ASSERT_NE(w, 0);
  EXPECT_EQ(driver.value(w, 1), "Updating archive\r\n  a.txt");
  EXPECT_FALSE(driver.control(w, 2).visible());
  EXPECT_EQ(driver.text(w, 3), "Cancel");
  ASSERT_TRUE(driver.press(w, 3));
  EXPECT_TRUE(driver.waitEnded());
  // A blank report (no backup yet) shows an empty box.
  glo::OUT_.clear();
  const WindowHandle again = show(&app::pokazi, "pokazi");
  EXPECT_EQ(driver.value(again, 1), "");
  ASSERT_TRUE(driver.closeBox(again));
  EXPECT_TRUE(driver.waitEnded());
}

TEST_F(LogViewers, PokaziCarriesAnEditorOnItsHiddenPlaceWithoutBarsUntilItCloses) {
  EXPECT_EQ(app::ViewerRichText, nullptr);
  const WindowHandle w = show(&app::pokazi, "pokazi");
  ASSERT_NE(app::ViewerRichText, nullptr);
  const ControlState editor = driver.control(w, 4);
  EXPECT_EQ(editor.kind, ControlKind::RichText);
  EXPECT_EQ(editor.rect, driver.control(w, 2).rect);
  EXPECT_FALSE(editor.visible()) << "its place is hidden, so is the editor";
  EXPECT_EQ(app::ViewerRichText->ITXTBOX, 2);
  EXPECT_EQ(app::ViewerRichText->TBACTIVE + app::ViewerRichText->FBACTIVE, 0);
  const WindowHandle bars = driver.window(marlo::richtext::kContainerTitle);
  ASSERT_NE(bars, 0);
  EXPECT_FALSE(driver.screen(bars).props.visible);
  EXPECT_EQ(view.active(), w) << "the viewer keeps the focus";
  EXPECT_EQ(engine.runningThreads().size(), 2u) << "the viewer's and the editor's";

  ASSERT_TRUE(driver.closeBox(w));
  ASSERT_TRUE(driver.waitEnded()) << "the editor's thread ends with the viewer";
  EXPECT_EQ(app::ViewerRichText, nullptr);
  EXPECT_FALSE(driver.isOpen(bars));
  EXPECT_TRUE(driver.dialogs().empty()) << "closed without asking to save";
}

TEST_F(LogViewers, EachViewerOpensWhereThePersonLeftItUnderItsOwnName) {
  const Rect pokaziPlace{20, 30, 500, 300};
  const Rect pokazi1Place{60, 70, 450, 280};
  {
    const WindowHandle w = show(&app::pokazi, "pokazi");
    driver.resize(w, pokaziPlace);
    ASSERT_TRUE(driver.press(w, 3));
    ASSERT_TRUE(driver.waitEnded());
  }
  {
    const WindowHandle w = show(&app::pokazi1, "pokazi1");
    EXPECT_NE(driver.screen(w).props.rect, pokaziPlace);  // the other viewer's place is not its own
    driver.resize(w, pokazi1Place);
    ASSERT_TRUE(driver.closeBox(w));
    ASSERT_TRUE(driver.waitEnded());
  }
  EXPECT_EQ(marlo::globalIni.fetch("pokazi", "XPos"), "20");
  EXPECT_EQ(marlo::globalIni.fetch("pokazi", "Width"), "500");
  EXPECT_EQ(marlo::globalIni.fetch("pokazi1", "YPos"), "70");
  EXPECT_EQ(marlo::globalIni.fetch("pokazi1", "Height"), "280");

  const WindowHandle first = show(&app::pokazi, "pokazi");
  EXPECT_EQ(driver.screen(first).props.rect, pokaziPlace);
  ASSERT_TRUE(driver.press(first, 3));
  ASSERT_TRUE(driver.waitEnded());
  const WindowHandle second = show(&app::pokazi1, "pokazi1");
  EXPECT_EQ(driver.screen(second).props.rect, pokazi1Place);
  ASSERT_TRUE(driver.press(second, 2));
  ASSERT_TRUE(driver.waitEnded());
}

}  // namespace
}  // namespace restore_test
