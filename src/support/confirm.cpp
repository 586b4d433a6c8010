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

// Unicode upper case where the bytes are UTF-8; other bytes are left as they are.
std::string UpperCaseName(const std::string& name) {
  const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  if (text.toUtf8().toStdString() == name) return text.toUpper().toUtf8().toStdString();
  std::string upper = name;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return upper;
}
}  // namespace

bool ConfirmWithSound(std::string text) {
  // An empty text is a caller error; it is asked as an empty question.
  const bool notice = !text.empty() && text.front() == '@';
  if (notice) text.erase(0, 1);
  const std::string executable = RedirectedParamStr(0);
  const std::string lower_executable = support_internal::AsciiLower(executable);
  const std::string heading = UpperCaseName(
      support_internal::WithoutExtension(support_internal::FileNamePartOf(executable)));
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
