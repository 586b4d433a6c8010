#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "scripted_desktop.h"
#include "support/support.h"
#include "temp_folder.h"

namespace zelk {
namespace {

using test::FileBytes;
using test::TempFolder;

TEST(ReportMessage, TrimsControlCharactersAtTheEndsOnlyAndUsesTheTitleAsCaption) {
  ScopedScriptedDesktop scripted;
  ScriptedDesktop& desktop = scripted.desktop;
  SetApplicationTitle("PHOTO.JPG");
  ReportMessage("  \tfirst line\r\nsecond  line \r\n\r\n");
  ReportMessage(" \r\n \r\n ");
  ReportMessage("\xC3\xA9t\xC3\xA9");  // bytes above 127 are text, never trimmed
  SetApplicationTitle("Zelk Zoomer");
  ReportMessage("");
  ASSERT_EQ(desktop.messages.size(), 4u);
  EXPECT_EQ(desktop.messages[0].text, "first line\r\nsecond  line");
  EXPECT_EQ(desktop.messages[0].caption, "PHOTO.JPG");
  EXPECT_EQ(desktop.messages[1].text, "");
  EXPECT_EQ(desktop.messages[2].text, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(desktop.messages[3].caption, "Zelk Zoomer");
  EXPECT_EQ(desktop.bring_to_front_calls, 4);
}

TEST(MessageLog, EntriesAreTwoLinesWithDateUserAndCurrentFolder) {
  EXPECT_EQ(MessageLogHeading("1/2/24 10:11:12", "ann", "/home/ann"),
            "1/2/24 10:11:12 User ann in /home/ann");
  // An unknown user leaves the field empty between the two words.
  EXPECT_EQ(MessageLogHeading("d", "", "/"), "d User  in /");
  EXPECT_EQ(MessageLogEntry("head", "a\r\nb"), "head\r\na\r\nb\r\n");

  // Midnight shows the date alone; any other time follows it after one blank.
  const std::string date_only = DateTimeToText(2024, 3, 5, 0, 0, 0);
  const std::string with_time = DateTimeToText(2024, 3, 5, 13, 4, 5);
  EXPECT_FALSE(date_only.empty());
  EXPECT_EQ(date_only.back() == ' ', false);
  EXPECT_EQ(with_time.rfind(date_only + " ", 0), 0u);
  EXPECT_GT(DateTimeToText(2024, 3, 5, 0, 0, 1).size(), date_only.size() + 1);
  EXPECT_NE(with_time.find("13"), std::string::npos);
  EXPECT_NE(with_time.find("04"), std::string::npos);
  EXPECT_NE(with_time.find("05"), std::string::npos);
}

TEST(MessageLog, AppendsEntriesToTheLogInTheProgramFolder) {
  ScopedScriptedDesktop scripted;
  TempFolder folder;
  testing::SetProgramFolderForTesting(folder.Path());
  const std::string log_path = folder.File("orvowebserve_msgs.log");
  AppendMessageLog("Cannot Close File Handle");
  const std::string one = FileBytes(log_path);
  AppendMessageLog("two\r\nlines");
  const std::string both = FileBytes(log_path);
  testing::SetProgramFolderForTesting("");

  const std::string tail = " User " + GetLoginUserName() + " in " +
                           std::filesystem::current_path().string() +
                           "\r\nCannot Close File Handle\r\n";
  ASSERT_GT(one.size(), tail.size());
  EXPECT_EQ(one.substr(one.size() - tail.size()), tail);
  EXPECT_EQ(one.find("\r\n"), one.size() - tail.size() + tail.find("\r\n"));
  ASSERT_EQ(both.rfind(one, 0), 0u);
  const std::string second = both.substr(one.size());
  EXPECT_EQ(second.substr(second.size() - 12), "two\r\nlines\r\n");
  EXPECT_TRUE(scripted.desktop.messages.empty());
}

TEST(MessageLog, ALogThatCannotBeOpenedIsReportedOnce) {
  ScopedScriptedDesktop scripted;
  TempFolder folder;
  const std::string missing_folder = folder.File("gone") + "/";
  testing::SetProgramFolderForTesting(missing_folder);
  AppendMessageLog("entry");
  testing::SetProgramFolderForTesting("");
  ASSERT_EQ(scripted.desktop.messages.size(), 1u);
  EXPECT_EQ(
      scripted.desktop.messages[0].text,
      "Could not Open " + missing_folder + "orvowebserve_msgs.log\r\nNo such file or directory");
}

TEST(LoginUserName, NamesTheEffectiveUser) {
  EXPECT_FALSE(GetLoginUserName().empty());
}

}  // namespace
}  // namespace zelk
