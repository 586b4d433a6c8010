#include <QString>
#include <algorithm>
#include <array>
#include <string_view>

#include "platform/desktop.h"
#include "support/support.h"
#include "support/support_internal.h"

namespace zelk {

namespace {
// Executables of other programs that share this library and bring their own sound;
// this program ships alone, so none is silenced.
constexpr std::array<std::string_view, 0> kSiblingExecutables{};

}  // namespace

bool ConfirmWithSound(std::string text) {
  // An empty text is a caller error; it is asked as an empty question.
  const bool notice = !text.empty() && text.front() == '@';
  if (notice) text.erase(0, 1);
  const std::string executable = CommandLineArgument(0);
  const std::string lower_executable = LowerCaseAscii(executable);
  const std::string heading = UpperCaseText(RemoveExtension(FileNamePart(executable)));
  text = heading + "\r\n\r\n" + text;
  const bool play_sound = std::none_of(
      kSiblingExecutables.begin(), kSiblingExecutables.end(),
      [&](std::string_view name) { return lower_executable.find(name) != std::string::npos; });

  BringAppToFront();
  Desktop& desktop = CurrentDesktop();
  if (play_sound) {
    desktop.PlaySystemSound(notice ? SystemSound::kInformation : SystemSound::kQuestion);
  }
  // The desktop gives the second button (No or Cancel) the keyboard focus.
  if (notice) return desktop.AskQuestion(text, true);
  return desktop.AskQuestion(text + " ?", false);
}

}  // namespace zelk
