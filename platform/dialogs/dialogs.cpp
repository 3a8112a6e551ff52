#include "platform/dialogs/dialogs.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/window/engine.h"

namespace marlo::dialogs {

namespace {

unsigned firstButton(unsigned buttons) {
  for (unsigned b = 1; b <= button::Help; b <<= 1) {
    if (buttons & b) return b;
  }
  return button::Ok;
}

// The folder a chosen path leaves current: the file's folder, or the folder itself.
void enterFolderOf(const std::string& path, bool isFolder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path p(path);
  const fs::path folder = isFolder ? p : p.parent_path();
  if (!folder.empty()) fs::current_path(folder, ec);  // a folder that vanished leaves it alone
}

}  // namespace

unsigned messageBox(std::string_view text, std::string_view caption, MessageIcon icon,
                    unsigned buttons, unsigned defaultButton) {
  std::string lines(text);
  std::replace(lines.begin(), lines.end(), '|', '\n');
  return messageBoxOfLines(lines, caption, icon, buttons, defaultButton);
}

unsigned messageBoxOfLines(std::string_view text, std::string_view caption, MessageIcon icon,
                           unsigned buttons, unsigned defaultButton) {
  if (buttons == 0) buttons = button::Ok;
  if ((buttons & defaultButton) == 0 || (defaultButton & (defaultButton - 1)) != 0) {
    defaultButton = firstButton(buttons);
  }
  win::DialogRequest r;
  r.kind = win::DialogRequest::Kind::Message;
  r.title = std::string(caption);
  r.text = std::string(text);
  r.icon = icon;
  r.buttons = buttons;
  r.defaultButton = defaultButton;
  const unsigned pressed = win::Engine::instance().runDialog(std::move(r)).button;
  // A view that answered with a button the box did not offer gets the default instead.
  return (pressed & buttons) != 0 ? pressed : defaultButton;
}

void beep(BeepKind kind) {
  win::Engine::instance().beep(kind);
}

std::vector<FileMask> parseMaskList(std::string_view masks) {
  std::vector<FileMask> out;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= masks.size()) {
    const auto bar = masks.find('|', start);
    const auto end = bar == std::string_view::npos ? masks.size() : bar;
    parts.emplace_back(masks.substr(start, end - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    if (parts[i].empty() && (i + 1 >= parts.size() || parts[i + 1].empty())) continue;
    FileMask m;
    m.description = parts[i];
    m.pattern = i + 1 < parts.size() && !parts[i + 1].empty() ? parts[i + 1] : "*.*";
    out.push_back(std::move(m));
  }
  return out;
}

std::string fileDialog(const FileDialogOptions& options) {
  win::DialogRequest r;
  r.kind = options.save ? win::DialogRequest::Kind::SaveFile : win::DialogRequest::Kind::OpenFile;
  r.title = options.title;
  r.masks = options.masks;
  std::error_code ec;
  r.directory =
      options.directory.empty() ? std::filesystem::current_path(ec).string() : options.directory;
  r.fileName = options.fileName;
  r.defaultButton = button::Cancel;
  std::string path = win::Engine::instance().runDialog(std::move(r)).path;
  if (!path.empty()) {
    // The program gets a full name, as the Windows dialog gives one.
    path = std::filesystem::absolute(path, ec).lexically_normal().string();
    if (!options.keepDirectory) enterFolderOf(path, false);
  }
  return path;
}

std::string folderDialog(std::string_view title, std::string_view startFolder, bool keepDirectory) {
  win::DialogRequest r;
  r.kind = win::DialogRequest::Kind::Folder;
  r.title = std::string(title);
  std::error_code ec;
  r.directory =
      startFolder.empty() ? std::filesystem::current_path(ec).string() : std::string(startFolder);
  r.defaultButton = button::Cancel;
  std::string path = win::Engine::instance().runDialog(std::move(r)).path;
  if (!path.empty()) {
    path = std::filesystem::absolute(path, ec).lexically_normal().string();
    if (!keepDirectory) enterFolderOf(path, true);
  }
  return path;
}

void stop(std::string_view text) {
  if (messageBox(text, "Stop", MessageIcon::Hand, button::Abort | button::Ignore, button::Abort) ==
      button::Abort) {
    halt(0, text);
  }
}

void halt(int code, std::string_view text) {
  if (!text.empty()) std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  win::Engine::instance().halt(code, text);
}

}  // namespace marlo::dialogs
