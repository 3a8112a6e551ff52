#include "framework/window/windowed_interface.h"

#include <cstdlib>

#include <algorithm>

#include "framework/window/message_window.h"
#include "platform/dialogs/dialogs.h"
#include "platform/window/engine.h"

namespace marlo {

unsigned WindowedInterface::messageBox(const MessageBoxRequest& request) {
  if (!win::Engine::exists()) return request.defaultButton;
  win::DialogRequest dialog;
  dialog.kind = win::DialogRequest::Kind::Message;
  dialog.thread = win::Engine::currentThread();
  dialog.title = request.caption;
  dialog.text = request.text;
  std::replace(dialog.text.begin(), dialog.text.end(), '|', '\n');
  dialog.icon = request.icon;
  dialog.buttons = request.buttons;
  dialog.defaultButton = request.defaultButton;
  const win::DialogAnswer answer = win::Engine::instance().runDialog(std::move(dialog));
  // A button the box does not have (a view that answered oddly) counts as the default; a
  // dialog ended by a halt or shutdown comes back with a refusing button the box has.
  return (answer.button & request.buttons) != 0 ? answer.button : request.defaultButton;
}

unsigned WindowedInterface::historyWindow(const HistoryRequest& request) {
  return showMessageWindow(request);
}

std::optional<std::string> WindowedInterface::fileDialog(const FileDialogRequest& request) {
  if (!win::Engine::exists()) return std::nullopt;
  win::DialogRequest dialog;
  const bool folder = (request.flags & file_dialog_flag::kDirectory) != 0;
  const bool save = (request.flags & file_dialog_flag::kSave) != 0;
  dialog.kind =
      folder ? win::DialogRequest::Kind::Folder
             : (save ? win::DialogRequest::Kind::SaveFile : win::DialogRequest::Kind::OpenFile);
  dialog.thread = win::Engine::currentThread();
  dialog.title = request.title;
  dialog.fileName = request.fileName;
  dialog.masks = dialogs::parseMaskList(request.masks);
  const win::DialogAnswer answer = win::Engine::instance().runDialog(std::move(dialog));
  if (answer.path.empty()) return std::nullopt;
  return answer.path;
}

void WindowedInterface::halt(int exitCode, std::string_view text) {
  if (win::Engine::exists()) {
    win::Engine::instance().halt(exitCode, text);
    return;
  }
  // Without an engine there is no loop to end: the halt must still end the program rather
  // than let it carry on after the message that said it cannot.
  std::exit(exitCode);
}

void WindowedInterface::beep() {
  if (win::Engine::exists()) win::Engine::instance().beep();
}

void WindowedInterface::waitCursor(bool /*on*/) {
  // The window controller sets the wait cursor on its own window; a table manager working
  // outside any window shows none.
}

int WindowedInterface::threadNumber() {
  return win::Engine::currentThread();
}

}  // namespace marlo
