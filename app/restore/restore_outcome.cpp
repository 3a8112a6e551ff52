#include "app/restore/restore_outcome.h"

#include <vector>

#include "app/compression.h"
#include "app/restore/viewers.h"
#include "platform/core/text.h"
#include "platform/dialogs/dialogs.h"

namespace app {

namespace {

namespace button = marlo::button;
using marlo::MessageIcon;

constexpr std::size_t kMembersNamed = 10;

}  // namespace

bool confirmRestoreTarget(std::string_view extractFolder) {
  if (!marlo::clip(extractFolder).empty()) return true;
  const unsigned answer = marlo::dialogs::messageBox(
      "The Extract Folder is empty: every file of the archive will be put back in its original "
      "place, overwriting the file there, also when that file is newer.||Restore into the "
      "original places?",
      kRestoreCaption, MessageIcon::Exclamation, button::Yes | button::No, button::No);
  return answer == button::Yes;
}

std::string archiveOutcomeText(int result, std::string_view report) {
  const std::vector<std::string_view> lines = reportLines(marlo::clip(report));
  std::string text = lines.empty() ? "The compression library gave result " +
                                         std::to_string(result) + " and no report."
                                   : std::string(lines.back());
  if (result == 0) return text;
  const std::vector<std::string_view> failing = failureLines(lines);
  if (!failing.empty()) text += "\n";
  for (std::size_t i = 0; i < failing.size() && i < kMembersNamed; ++i)
    text += "\n" + std::string(failing[i]);
  if (failing.size() > kMembersNamed)
    text += "\n... and " + std::to_string(failing.size() - kMembersNamed) + " more.";
  return text + "\n\nShow the log?";
}

void tellArchiveOutcome(bool testing, int result, std::string_view report) {
  const std::string text = archiveOutcomeText(result, report);
  const std::string_view caption = testing ? kTestCaption : kRestoreCaption;
  if (result == 0) {
    marlo::dialogs::messageBoxOfLines(text, caption, MessageIcon::Asterisk);
    return;
  }
  if (marlo::dialogs::messageBoxOfLines(text, caption, MessageIcon::Hand, button::Yes | button::No,
                                        button::No) == button::Yes)
    pokazi1();
}

}  // namespace app
