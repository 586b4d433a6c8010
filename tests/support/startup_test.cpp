#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "scripted_desktop.h"
#include "support/support.h"
#include "temp_folder.h"

namespace zelk {
namespace {

using test::PutFile;
using test::TempFolder;

std::string CurrentFolder() {
  return std::filesystem::current_path().string();
}

TEST(ProgramFolder, IsTheAbsoluteFolderOfTheExecutableWithItsDelimiter) {
  EXPECT_EQ(ProgramFolderFromExecutablePath("/opt/tools/viewer"), "/opt/tools/");
  EXPECT_EQ(ProgramFolderFromExecutablePath("/opt/tools/../bin/viewer"), "/opt/bin/");
  EXPECT_EQ(ProgramFolderFromExecutablePath("/viewer"), "/");
  const std::string here = CurrentFolder() == "/" ? "/" : CurrentFolder() + "/";
  EXPECT_EQ(ProgramFolderFromExecutablePath("viewer"), here);
  EXPECT_EQ(ProgramFolderFromExecutablePath(""), here);
  EXPECT_EQ(ProgramFolderFromExecutablePath("./sub/viewer"), here + "sub/");
}

TEST(ProgramFolder, LongPathPrefixesFollowTheWindowsRulesInOrder) {
  EXPECT_EQ(ApplyLongPathPrefixRules("\\\\?\\C:\\Tools\\"), "C:\\Tools\\");
  EXPECT_EQ(ApplyLongPathPrefixRules("\\\\?\\UNC\\server\\share\\"), "\\\\server\\share\\");
  EXPECT_EQ(ApplyLongPathPrefixRules("\\\\?\\Unc\\server\\share\\"), "\\\\server\\share\\");
  EXPECT_EQ(ApplyLongPathPrefixRules("unc\\server\\"), "\\\\server\\");
  EXPECT_EQ(ApplyLongPathPrefixRules("uncle\\"), "uncle\\");
  EXPECT_EQ(ApplyLongPathPrefixRules("C:\\Tools\\"), "C:\\Tools\\");
  EXPECT_EQ(ApplyLongPathPrefixRules("/opt/tools/"), "/opt/tools/");
  EXPECT_EQ(ApplyLongPathPrefixRules(""), "");
}

TEST(RandomSeed, ReversesTheDigitsOfTheTimeOfDay) {
  EXPECT_EQ(RandomSeedFromDayFraction(0.5L), 5);
  EXPECT_EQ(RandomSeedFromDayFraction(0.25L), 52);
  EXPECT_EQ(RandomSeedFromDayFraction(0.0L), 0);
  EXPECT_EQ(RandomSeedFromDayFraction(45296789 / 86400000.0L), 193862425);  // 12:34:56.789
  // One and two milliseconds after midnight: 11 and 23 before reversal.
  EXPECT_EQ(RandomSeedFromDayFraction(1 / 86400000.0L), 11);
  EXPECT_EQ(RandomSeedFromDayFraction(2 / 86400000.0L), 32);
  EXPECT_EQ(RandomSeedFromDayFraction(0.999999999999L), 999999999);
}

TEST(RandomLetters, DrawsCapitalsFromTheSeededGenerator) {
  EXPECT_EQ(RandomLetters(0), "");
  EXPECT_EQ(RandomLetters(-3), "");
  std::srand(7);
  const std::string first = RandomLetters(2600);
  std::srand(7);
  EXPECT_EQ(RandomLetters(2600), first);
  ASSERT_EQ(first.size(), 2600u);
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    EXPECT_NE(first.find(letter), std::string::npos) << letter;
  }
  EXPECT_EQ(first.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
}

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    executable = folder.File("Viewer.exe");
    testing::SetCommandLineForTesting({executable, "first arg"});
    testing::ResetRedirection();
  }
  void TearDown() override {
    testing::SetCommandLineForTesting({});
    testing::ResetRedirection();
  }

  ScopedScriptedDesktop scripted;
  ScriptedDesktop& desktop = scripted.desktop;
  TempFolder folder;
  std::string executable;
};

TEST_F(CommandLine, TheFileArgumentIsTheFirstArgumentOrTheOneAfterDashDash) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"zelk", "a.png", "-h"}, "a.png"},   {{"zelk", "a.png", "b.png"}, "a.png"},
      {{"zelk", "--version", "a.png"}, ""}, {{"zelk", "--", "-h"}, "-h"},
      {{"zelk", "--", "--", "x"}, "--"},    {{"zelk", "-h"}, ""},
  };
  for (const auto& [arguments, expected] : cases) {
    testing::SetCommandLineForTesting(arguments);
    EXPECT_EQ(FileArgument(), expected) << arguments[1];
  }
}

TEST_F(CommandLine, WithoutRedirectionTheArgumentsAreAsGiven) {
  EXPECT_EQ(CommandLineArgument(0), executable);
  EXPECT_EQ(CommandLineArgument(1), "first arg");
  EXPECT_EQ(CommandLineArgument(2), "");
  EXPECT_EQ(CommandLineArgument(-1), "");
  EXPECT_EQ(GetProgramFolder(), folder.Path());
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(CommandLine, RedirectionFileMovesTheExecutableOnceAndVerbatim) {
  const std::string redirect = folder.File("redirect_exes.txt");
  PutFile(redirect, "/apps");
  EXPECT_EQ(CommandLineArgument(0), "/apps/Viewer.exe");
  EXPECT_EQ(CommandLineArgument(1), "first arg");
  // Read once per process: later changes have no effect.
  PutFile(redirect, "/elsewhere");
  EXPECT_EQ(CommandLineArgument(0), "/apps/Viewer.exe");

  testing::ResetRedirection();
  PutFile(redirect, "/apps/");
  EXPECT_EQ(CommandLineArgument(0), "/apps/Viewer.exe");

  testing::ResetRedirection();
  PutFile(redirect, "/apps\r\n");
  EXPECT_EQ(CommandLineArgument(0), "/apps\r\n/Viewer.exe");

  testing::ResetRedirection();
  PutFile(redirect, folder.File("moved"));
  EXPECT_EQ(GetProgramFolder(), folder.File("moved") + "/");

  // An empty file is no redirection.
  testing::ResetRedirection();
  PutFile(redirect, "");
  EXPECT_EQ(CommandLineArgument(0), executable);
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(CommandLine, ConfirmationAsksUnderTheExecutableName) {
  desktop.question_answers = {true, true, false};
  EXPECT_TRUE(ConfirmWithSound("@Proceed"));
  EXPECT_TRUE(ConfirmWithSound("Print Titling"));
  EXPECT_FALSE(ConfirmWithSound("Proceed"));
  EXPECT_FALSE(ConfirmWithSound("Proceed"));  // closed without an answer
  ASSERT_EQ(desktop.questions.size(), 4u);
  EXPECT_EQ(desktop.questions[0].text, "VIEWER\r\n\r\nProceed");
  EXPECT_TRUE(desktop.questions[0].notice_form);
  EXPECT_EQ(desktop.questions[1].text, "VIEWER\r\n\r\nPrint Titling ?");
  EXPECT_FALSE(desktop.questions[1].notice_form);
  EXPECT_EQ(desktop.sounds,
            (std::vector<SystemSound>{SystemSound::kInformation, SystemSound::kQuestion,
                                      SystemSound::kQuestion, SystemSound::kQuestion}));
  EXPECT_EQ(desktop.bring_to_front_calls, 4);

  // Only the last extension goes; letters beyond ASCII are upper-cased too.
  testing::SetCommandLineForTesting({"/opt/caf\xC3\xA9.viewer.bin"});
  testing::ResetRedirection();
  ConfirmWithSound("Go");
  EXPECT_EQ(desktop.questions.back().text, "CAF\xC3\x89.VIEWER\r\n\r\nGo ?");
}

TEST(CommandLineFromMain, ArgumentZeroIsTheRunningExecutable) {
  char program[] = "not-the-real-name";
  char argument[] = "/pictures/a.jpg";
  char* argv[] = {program, argument, nullptr};
  SetCommandLine(2, argv);
  testing::ResetRedirection();
  const auto running = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(CommandLineArgument(0), running.string());
  EXPECT_EQ(CommandLineArgument(1), "/pictures/a.jpg");
  testing::SetCommandLineForTesting({});
  testing::ResetRedirection();
}

TEST(Locale, SeparatorsComeFromTheUserLocaleAndTheCLibraryKeepsItsNotation) {
  ScopedScriptedDesktop scripted;
  SetNumberSeparators("#", "#");
  EXPECT_TRUE(SetUpLocale());
  const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(numeric, nullptr);
  EXPECT_STREQ(numeric, "C");
  EXPECT_FALSE(ThousandsSeparator().empty());
  EXPECT_FALSE(DecimalSeparator().empty());
  EXPECT_NE(ThousandsSeparator(), "#");
  const char* lang = std::getenv("LC_ALL");
  if (lang == nullptr || *lang == '\0') lang = std::getenv("LANG");
  if (lang == nullptr || std::strncmp(lang, "C", 1) == 0 || std::strcmp(lang, "POSIX") == 0) {
    EXPECT_EQ(ThousandsSeparator(), ",");
    EXPECT_EQ(DecimalSeparator(), ".");
  }
  SetNumberSeparators(",", ".");
}

}  // namespace
}  // namespace zelk
