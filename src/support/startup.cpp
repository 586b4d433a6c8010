#include <QLocale>
#include <QTime>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "support/support.h"
#include "support/support_internal.h"

namespace zelk {

namespace {
std::string& ProgramFolderStore() {
  static std::string folder;
  return folder;
}

#ifdef _WIN32
constexpr const char* kCurrentFolder = ".\\";
#else
constexpr const char* kCurrentFolder = "./";
#endif
}  // namespace

void SupportLibraryStartup() {
  static bool started = false;
  if (started) return;
  started = true;
  ProgramFolderStore() = GetProgramFolder();
  SetUpLocale();
}

std::string GetProgramFolder() {
  return ProgramFolderFromExecutablePath(CommandLineArgument(0));
}

std::string ApplyLongPathPrefixRules(std::string folder) {
  if (folder.compare(0, 4, "\\\\?\\") == 0) folder.erase(0, 4);
  if (folder.size() >= 4 && LowerCaseAscii(folder.substr(0, 3)) == "unc" && folder[3] == '\\') {
    folder.replace(0, 3, "\\");
  }
  return folder;
}

std::string ProgramFolderFromExecutablePath(const std::string& executable_path) {
  std::string folder = ApplyLongPathPrefixRules(PathPart(executable_path));
  if (folder.empty()) folder = kCurrentFolder;
  std::error_code error;
  const auto absolute = std::filesystem::absolute(folder, error);
  if (error) return std::string();
  folder = absolute.lexically_normal().string();
  if (folder.empty() || folder.back() != '/') {
    folder += std::filesystem::path::preferred_separator;
  }
  return folder;
}

const std::string& ProgramFolder() {
  return ProgramFolderStore();
}

bool SetUpLocale() {
  const bool locale_set = std::setlocale(LC_ALL, "") != nullptr;
  // The C library's own conversions (sprintf, strtod) keep the "C" notation, so files
  // written and numbers parsed elsewhere do not change with the user's locale; the
  // user's separators are applied by our own formatting below.
  std::setlocale(LC_NUMERIC, "C");
  const QLocale locale = QLocale::system();
  std::string thousands = locale.groupSeparator().toStdString();
  std::string decimal = locale.decimalPoint().toStdString();
  // The C locale has no grouping, yet 1,234,567 reads better than 1234567.
  if (locale.language() == QLocale::C || thousands.empty()) thousands = ",";
  if (locale.language() == QLocale::C || decimal.empty()) decimal = ".";
  SetNumberSeparators(std::move(thousands), std::move(decimal));
  SeedRandomFromClock();
  return locale_set;
}

void SeedRandomFromClock() {
  const long double fraction = QTime::currentTime().msecsSinceStartOfDay() / 86400000.0L;
  std::srand(static_cast<unsigned>(RandomSeedFromDayFraction(FractionalPart(fraction))));
}

long RandomSeedFromDayFraction(long double fraction) {
  // The last digits change every millisecond; reversed, they lead, so starts a
  // millisecond apart get seeds far apart.
  long product = static_cast<long>(std::trunc(fraction * 1000000000.0L));
  product = std::clamp(product, 0L, 999999999L);
  char digits[32];
  std::snprintf(digits, sizeof digits, "%ld", product);
  std::string reversed(digits);
  std::reverse(reversed.begin(), reversed.end());
  return std::atol(reversed.c_str());
}

namespace testing {
void SetProgramFolderForTesting(std::string folder) {
  ProgramFolderStore() = std::move(folder);
}
}  // namespace testing

}  // namespace zelk
