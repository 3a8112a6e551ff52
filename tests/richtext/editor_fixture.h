// Shared set-up of the editor's tests: a headless view, an engine and a driver per test, a
// fresh current folder, and a host window on thread 1 whose text control the editor replaces.
// The test runs the editor's commands on the host's thread (`onHost`), as a program would, or
// presses the container's buttons, as a person would.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTextDocument>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/error_manager.h"
#include "framework/window/windowed_interface.h"
#include "platform/headless/headless_view.h"
#include "platform/headless/test_driver.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"
#include "richtext/container.h"
#include "richtext/find.h"
#include "richtext/rich_edit.h"
#include "richtext/rich_text_box.h"

namespace richtext_test {

namespace fs = std::filesystem;
using namespace marlo::win;       // NOLINT
using namespace marlo::headless;  // NOLINT
namespace button = marlo::button;
using marlo::richtext::ContainerControl;
using marlo::richtext::RichTextBox;

// The host window's controls; the editor adds its own as the next number.
inline constexpr int kText = 1;
inline constexpr int kClose = 2;
inline constexpr int kEditor = 3;
inline constexpr EventCode kRunOnHost = 0x500;

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct HostOptions {
  std::uint8_t toolbar = 1;
  std::uint8_t formatBar = 1;
  std::uint32_t textFlags = flag::VScroll;
  Font font{"Tahoma", 10};
};

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "marlo-editor-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = fs::canonical(pattern);
    fs::current_path(dir_);
    marlo::globalErrors.init(nullptr);
    marlo::setUserInterface(&ui_);
    marlo::richtext::FindWhat = "";
    marlo::richtext::FindWholeWords = 0;
    marlo::richtext::FindCaseSensitive = 0;
    marlo::richtext::FindDirection = 1;
  }

  void TearDown() override {
    if (host != 0 && driver.isOpen(host)) {
      driver.closeBox(host);
      driver.waitEnded();
    }
    engine.shutdown();
    marlo::setUserInterface(nullptr);
    marlo::globalErrors.kill();
    fs::current_path(previous_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Opens the host window with the editor on its text control.
  void openHost(HostOptions options = {}) {
    options_ = options;
    driver.start([this] { hostProcedure(); });
    host = driver.waitForWindow("Host");
    ASSERT_NE(host, 0);
    container = driver.window(marlo::richtext::kContainerTitle);
  }

  // Runs `call` on the host's thread, as the program calls the editor, and settles.
  void onHost(std::function<void()> call) {
    {
      std::lock_guard lock(mutex_);
      calls_.push_back(std::move(call));
    }
    engine.post(host, kRunOnHost);
    driver.settle();
  }

  // What a person does in the text.
  bool type(const std::string& text) {
    return driver.editText(host, kEditor, [&](QTextDocument& d, TextSelection& s) {
      const marlo::richtext::DocumentTurn turn(d);
      QTextCursor c = marlo::richtext::cursorOn(d, s);
      c.insertText(QString::fromStdString(text));
      s = marlo::richtext::selectionOf(c);
    });
  }
  bool select(int anchor, int caret) {
    return driver.editText(host, kEditor, [&](QTextDocument& d, TextSelection& s) {
      const marlo::richtext::DocumentTurn turn(d);
      s = marlo::richtext::selectionOf(marlo::richtext::cursorOn(d, {anchor, caret}));
    });
  }

  [[nodiscard]] std::string text() {
    std::string out;
    box->edit([&](QTextDocument& d, TextSelection&) { out = d.toPlainText().toStdString(); });
    return out;
  }
  [[nodiscard]] TextSelection selection() {
    TextSelection out;
    box->edit([&](QTextDocument&, TextSelection& s) { out = s; });
    return out;
  }
  [[nodiscard]] marlo::richtext::CharFormat charFormat() {
    marlo::richtext::CharFormat out;
    box->edit([&](QTextDocument& d, TextSelection& s) {
      out = marlo::richtext::selectionCharFormat(d, s);
    });
    return out;
  }
  [[nodiscard]] marlo::richtext::ParaFormat paraFormat() {
    marlo::richtext::ParaFormat out;
    box->edit([&](QTextDocument& d, TextSelection& s) {
      out = marlo::richtext::selectionParaFormat(d, s);
    });
    return out;
  }

  // Message boxes shown so far, oldest first.
  [[nodiscard]] std::vector<DialogRequest> messages() const {
    std::vector<DialogRequest> out;
    for (const auto& shown : driver.dialogs()) {
      if (shown.request.kind == DialogRequest::Kind::Message) out.push_back(shown.request);
    }
    return out;
  }
  [[nodiscard]] std::size_t exclamationBeeps() const {
    std::size_t count = 0;
    for (const BeepKind b : view.beeps()) count += b == BeepKind::Exclamation ? 1 : 0;
    return count;
  }

  [[nodiscard]] const fs::path& dir() const { return dir_; }

  HeadlessView view;
  Engine engine{view};
  TestDriver driver{engine, view};
  WindowHandle host = 0;
  WindowHandle container = 0;
  std::unique_ptr<RichTextBox> box = std::make_unique<RichTextBox>();

 private:
  void hostProcedure() {
    Window w("Host", {0, 0, 300, 200});
    w.setResizable(true);
    w.setFont({"MS Sans Serif", 8});
    const int text = w.add(ControlKind::TextBox, "", {10, 10, 200, 100}, options_.textFlags);
    w.setFont(text, options_.font);
    w.add(ControlKind::Button, "Close", {240, 170, 50, 14});
    w.open();
    box->init(w, kText, 0, options_.formatBar, options_.toolbar);
    while (const Event* e = w.accept()) {
      if (e->code == kRunOnHost) runCalls();
      // The text control keeps its margins when the window changes size, as a resizer would.
      if (e->code == event::Sized)
        w.setControlRect(kText, {10, 10, w.rect().width - 100, w.rect().height - 100});
      if (e->code == event::Accepted && e->control == kClose) w.post(event::CloseWindow);
      if (e->code == event::CloseWindow) box->close(0);
    }
    box.reset();
  }
  void runCalls() {
    for (;;) {
      std::function<void()> call;
      {
        std::lock_guard lock(mutex_);
        if (calls_.empty()) return;
        call = std::move(calls_.front());
        calls_.pop_front();
      }
      call();
    }
  }

  HostOptions options_;
  marlo::WindowedInterface ui_;
  std::mutex mutex_;
  std::deque<std::function<void()>> calls_;
  fs::path previous_;
  fs::path dir_;
};

}  // namespace richtext_test
