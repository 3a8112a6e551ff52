// A view without widgets: it keeps what each window would show in memory, answers dialogs from
// a script or leaves them waiting for the test, and keeps a notification area that a test can
// switch off. Tests read the screen through it (usually through TestDriver).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/window/view.h"

namespace marlo::headless {

using namespace marlo::win;  // NOLINT: the view is written in the engine's terms

class HeadlessView : public View {
 public:
  struct Screen {
    WindowProps props;
    std::map<int, ControlState> controls;
    int focus = 0;
    std::map<int, TextSelection> selections;  // of the rich-text controls
  };
  struct ShownDialog {
    DialogRequest request;
    DialogAnswer answer;
    bool answered = false;
  };

  // --- View ------------------------------------------------------------------------------
  void windowOpened(const WindowSnapshot& window) override;
  void windowChanged(const WindowProps& props) override;
  void controlChanged(WindowHandle window, const ControlState& control) override;
  void windowClosed(WindowHandle window) override;
  void activateWindow(WindowHandle window) override;
  void focusControl(WindowHandle window, int control) override;
  void showDialog(const DialogRequest& request, AnswerFn answer) override;
  bool trayAdd(const TrayIcon& icon) override;
  bool trayRemove(WindowHandle window, unsigned id) override;
  bool trayMessage(const TrayMessage& message) override;
  void beep(BeepKind kind) override;
  void programEnded() override;
  // Runs the edit at once on the calling thread; edits of any documents take turns.
  void editDocument(WindowHandle window, int control, DocumentEdit edit,
                    std::function<void(bool)> done) override;

  // --- Screen ----------------------------------------------------------------------------
  [[nodiscard]] std::optional<Screen> screen(WindowHandle window) const;
  // Open windows whose title is `title`, oldest first.
  [[nodiscard]] std::vector<WindowHandle> windowsTitled(std::string_view title) const;
  [[nodiscard]] WindowHandle active() const;
  // Titles of every window opened so far, in order (closed ones too).
  [[nodiscard]] std::vector<std::string> openedTitles() const;
  // Waits (guarded) until `ready` holds for the screen; used by the driver's wait calls.
  bool waitFor(const std::function<bool()>& ready, int guardSeconds);

  // --- Dialogs -----------------------------------------------------------------------------
  // Answers the next dialog of this kind when it appears (in the order scripted).
  void script(DialogRequest::Kind kind, DialogAnswer answer);
  // Dialogs shown so far, answered or not, oldest first.
  [[nodiscard]] std::vector<ShownDialog> dialogs() const;
  // The oldest dialog still waiting for an answer.
  [[nodiscard]] std::optional<DialogRequest> waitingDialog() const;
  // Answers the oldest waiting dialog; false when none waits.
  bool answerWaiting(DialogAnswer answer);

  // --- Tray, beeps -----------------------------------------------------------------------------
  // Whether the desktop offers a notification area (on by default).
  void setTrayAvailable(bool available);
  [[nodiscard]] std::vector<TrayIcon> trayIcons() const;
  // Messages shown at icons so far, oldest first.
  [[nodiscard]] std::vector<TrayMessage> trayMessages() const;
  [[nodiscard]] std::vector<BeepKind> beeps() const;
  [[nodiscard]] bool programHasEnded() const;

 private:
  void changed();  // wakes waitFor; called with mutex_ held

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<WindowHandle, Screen> screens_;
  std::vector<std::string> opened_;
  WindowHandle active_ = 0;
  std::deque<std::pair<DialogRequest::Kind, DialogAnswer>> script_;
  std::vector<ShownDialog> shown_;
  std::deque<std::pair<std::size_t, AnswerFn>> waiting_;  // index into shown_, answer
  bool trayAvailable_ = true;
  std::vector<TrayIcon> tray_;
  std::vector<TrayMessage> trayMessages_;
  std::vector<BeepKind> beeps_;
  bool ended_ = false;
  std::uint64_t version_ = 0;
  std::mutex editing_;  // held while an edit runs, never together with mutex_
};

}  // namespace marlo::headless
