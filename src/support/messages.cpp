#include <pwd.h>
#include <unistd.h>

#include <utility>

#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {
std::string& TitleStore() {
  static std::string title = "Zelk Zoomer";
  return title;
}

bool IsControlOrBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}
}  // namespace

void SetApplicationTitle(std::string title) {
  TitleStore() = std::move(title);
}

std::string ApplicationTitle() {
  return TitleStore();
}

std::string TrimControlChars(const std::string& text) {
  std::string::size_type first = 0;
  std::string::size_type last = text.size();
  while (first < last && IsControlOrBlank(text[first])) ++first;
  while (last > first && IsControlOrBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

void ReportMessage(const std::string& text) {
  const std::string shown = TrimControlChars(text);
  BringAppToFront();
  CurrentDesktop().ShowMessage(ApplicationTitle(), shown);
}

void BringAppToFront() {
  CurrentDesktop().BringToFront();
}

std::string GetLoginUserName() {
  // getpwuid may return a static record; copy the name out at once.
  const passwd* record = getpwuid(geteuid());
  if (record == nullptr || record->pw_name == nullptr) return std::string();
  return std::string(record->pw_name);
}

}  // namespace zelk
