// The editor under the Qt view (offscreen): the rich-text control is a real text editor over
// its text control, what the person types there is the program's document, and the bars are
// widgets whose clicks change the text. Only the mapping to widgets is tested here; the editor's
// behaviour is tested under the headless view.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPushButton>
#include <QTextEdit>

#include <functional>
#include <memory>

#include "platform/qt/qt_view.h"
#include "platform/window/window.h"
#include "richtext/container.h"
#include "richtext/rich_text_box.h"

namespace {

using namespace marlo::win;  // NOLINT
using marlo::richtext::ContainerControl;
using marlo::richtext::RichTextBox;

// Lets the GUI run what the program threads asked of it. The program threads wait for the GUI
// here (the editor's document lives there), so the GUI never waits for them to settle.
void settle(Engine&) {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool settleUntil(Engine& engine, const std::function<bool()>& ready) {
  QElapsedTimer guard;
  guard.start();
  while (!ready()) {
    if (guard.elapsed() > 20000) return false;
    settle(engine);
  }
  return true;
}

template <class T>
T* visibleChild(QWidget* parent) {
  for (T* w : parent->findChildren<T*>()) {
    if (w->isVisible()) return w;
  }
  return nullptr;
}

class EditorQtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine.start([this] {
      Window w("Host", {0, 0, 300, 200});
      w.add(ControlKind::TextBox, "", {10, 10, 200, 100}, flag::VScroll);
      w.open();
      box->init(w, 1, 0, 1, 1);
      while (const Event* e = w.accept()) {
        if (e->code == event::CloseWindow) box->close(0);
      }
      box.reset();
    });
    ASSERT_TRUE(settleUntil(engine, [&] {
      host = handleOf("Host");
      bars = handleOf(marlo::richtext::kContainerTitle);
      return editor() != nullptr && bars != 0 && view.windowWidget(bars) != nullptr &&
             box->OPENED.load() != 0;
    }));
    settle(engine);
  }
  void TearDown() override {
    for (const auto& w : engine.openWindows()) engine.post(w.handle, event::CloseWindow);
    EXPECT_TRUE(settleUntil(engine, [&] { return engine.runningThreads().empty(); }));
    engine.shutdown();
    settle(engine);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  WindowHandle handleOf(std::string_view title) const {
    for (const auto& w : engine.openWindows()) {
      if (w.title == title) return w.handle;
    }
    return 0;
  }
  QTextEdit* editor() { return qobject_cast<QTextEdit*>(view.controlWidget(host, 2)); }
  template <class T>
  T* bar(ContainerControl c) {
    return qobject_cast<T*>(view.controlWidget(bars, n(c)));
  }
  std::string programText() {
    std::string out;
    box->edit([&](QTextDocument& d, TextSelection&) { out = d.toPlainText().toStdString(); });
    return out;
  }

  marlo::qt::QtView view;
  Engine engine{view};
  std::unique_ptr<RichTextBox> box = std::make_unique<RichTextBox>();
  WindowHandle host = 0;
  WindowHandle bars = 0;
};

TEST_F(EditorQtTest, TheEditorIsARealTextEditorOverItsTextControlEditingTheProgramsDocument) {
  QTextEdit* edit = editor();
  EXPECT_EQ(edit->geometry(), view.controlWidget(host, 1)->geometry());
  EXPECT_TRUE(edit->isVisible());
  EXPECT_EQ(edit->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
  edit->insertPlainText(QStringLiteral("typed by a person"));
  EXPECT_EQ(programText(), "typed by a person");

  QTextCursor c = edit->textCursor();
  c.setPosition(0);
  c.setPosition(5, QTextCursor::KeepAnchor);
  edit->setTextCursor(c);
  bar<QAbstractButton>(ContainerControl::Bold)->click();
  ASSERT_TRUE(settleUntil(engine, [&] {
    QTextCursor first(edit->document());
    first.setPosition(1);
    return first.charFormat().fontWeight() == QFont::Bold;
  }));
  EXPECT_TRUE(bar<QAbstractButton>(ContainerControl::Bold)->isChecked())
      << "the latched button shows the selection's bold";
  EXPECT_EQ(edit->textCursor().selectedText(), QStringLiteral("typed")) << "selection kept";
}

TEST_F(EditorQtTest, TheBarsAreToolbarWidgetsWithTipsAndTheSystemsFonts) {
  auto* fonts = bar<QComboBox>(ContainerControl::Fonts);
  ASSERT_NE(fonts, nullptr) << "the font list drops down";
  EXPECT_GT(fonts->count(), 0);
  EXPECT_NE(fonts->findText(QStringLiteral("DejaVu Sans")), -1);
  auto* sizes = bar<QComboBox>(ContainerControl::FontSize);
  ASSERT_NE(sizes, nullptr);
  EXPECT_EQ(sizes->count(), 16);
  auto* bullets = bar<QPushButton>(ContainerControl::Bullets);
  ASSERT_NE(bullets, nullptr);
  EXPECT_TRUE(bullets->isCheckable());
  EXPECT_EQ(bar<QPushButton>(ContainerControl::Print)->toolTip(), QStringLiteral("Print"));
  EXPECT_TRUE(view.windowWidget(bars)->isVisible());

  // Picking a size from the list reaches the program and the text.
  editor()->insertPlainText(QStringLiteral("grow"));
  editor()->selectAll();
  const int twenty = sizes->findText(QStringLiteral("20"));
  sizes->setCurrentIndex(twenty);
  emit sizes->activated(twenty);
  ASSERT_TRUE(settleUntil(engine, [&] {
    QTextCursor first(editor()->document());
    first.setPosition(1);
    return first.charFormat().fontPointSize() == 20;
  }));
}

TEST_F(EditorQtTest, TheRightButtonOpensThePopupAndTheDialogsAreTheViewsOwn) {
  QWidget* viewport = editor()->viewport();
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5),
                      viewport->mapToGlobal(QPointF(5, 5)), Qt::RightButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(viewport, &release);
  QMenu* menu = nullptr;
  ASSERT_TRUE(settleUntil(
      engine, [&] { return (menu = visibleChild<QMenu>(view.windowWidget(bars))) != nullptr; }));
  EXPECT_EQ(menu->actions().first()->text(), QStringLiteral("New"));
  menu->hide();

  bar<QAbstractButton>(ContainerControl::FontColour)->click();
  QColorDialog* colour = nullptr;
  ASSERT_TRUE(settleUntil(engine, [&] {
    return (colour = visibleChild<QColorDialog>(view.windowWidget(bars))) != nullptr;
  }));
  colour->reject();
  ASSERT_TRUE(
      settleUntil(engine, [&] { return engine.status(box->LRTFTHREAD) == ThreadStatus::Idle; }));

  bar<QAbstractButton>(ContainerControl::Print)->click();
  QPrintDialog* print = nullptr;
  ASSERT_TRUE(settleUntil(engine, [&] {
    return (print = visibleChild<QPrintDialog>(view.windowWidget(bars))) != nullptr;
  }));
  EXPECT_EQ(print->windowModality(), Qt::WindowModal);
  EXPECT_FALSE(print->testOption(QAbstractPrintDialog::PrintPageRange));
  print->reject();
  ASSERT_TRUE(
      settleUntil(engine, [&] { return engine.status(box->LRTFTHREAD) == ThreadStatus::Idle; }));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
