#include "core/text/field_scanner.h"

#include <gtest/gtest.h>

#include "scripted_desktop.h"

namespace zelk {
namespace {

TEST(NthDelimitedFieldTest, ReadsFieldsInOrderAndSkipsThoseInBetween) {
  ScopedScriptedDesktop scripted;
  const std::string text = "R(0xf0:0xff) G(1:2) B(3:4)";
  EXPECT_EQ(NthDelimitedField(text, "(:)", 1), "R");
  EXPECT_EQ(NthDelimitedField(text, "(:)", 2), "0xf0");
  EXPECT_EQ(NthDelimitedField(text, "(:)", 3), "0xff");
  EXPECT_EQ(NthDelimitedField(text, "(:)", 4), " G");
  EXPECT_EQ(NthDelimitedField(text, "(:)", 6), "2");  // 5 skipped
  EXPECT_EQ(NthDelimitedField(text, "(:)", 9), "4");
  EXPECT_EQ(NthDelimitedField(text, "(:)", 10), "");  // after the last delimiter
  EXPECT_EQ(NthDelimitedField(text, "(:)", 11), "\n");
  EXPECT_EQ(NthDelimitedField(text, "(:)", 1), "R");
  EXPECT_EQ(NthDelimitedField(text, "(:)", 40), "\n");  // ends early, far index
  EXPECT_TRUE(scripted.desktop.messages.empty());
}

TEST(NthDelimitedFieldTest, EmptyFieldsRepeatsAndRestarts) {
  ScopedScriptedDesktop scripted;
  const std::string text = "a,,b,";
  EXPECT_EQ(NthDelimitedField(text, ",", 1), "a");
  EXPECT_EQ(NthDelimitedField(text, ",", 1), "a");  // index 1 always starts again
  EXPECT_EQ(NthDelimitedField(text, ",", 2), "");
  EXPECT_EQ(NthDelimitedField(text, ",", 2), "");  // the same field again: empty
  EXPECT_EQ(NthDelimitedField(text, ",", 3), "b");
  EXPECT_EQ(NthDelimitedField(text, ",", 3), "");
  EXPECT_EQ(NthDelimitedField(text, ",", 4), "");
  EXPECT_EQ(NthDelimitedField(text, ",", 5), "\n");

  EXPECT_EQ(NthDelimitedField("", ",", 1), "");
  EXPECT_EQ(NthDelimitedField("", ",", 2), "\n");
  EXPECT_EQ(NthDelimitedField("no delimiters", "", 1), "no delimiters");
  EXPECT_EQ(NthDelimitedField("no delimiters", "", 2), "\n");
  EXPECT_TRUE(scripted.desktop.messages.empty());
}

TEST(NthDelimitedFieldTest, OtherTextIsReportedAndTheRememberedOneContinues) {
  ScopedScriptedDesktop scripted;
  std::string text = "one two three";
  EXPECT_EQ(NthDelimitedField(text, " ", 1), "one");
  // An equal copy is the same text: no report.
  const std::string copy = text;
  EXPECT_EQ(NthDelimitedField(copy, " ", 2), "two");
  EXPECT_TRUE(scripted.desktop.messages.empty());
  // The caller's string changed: reported, and the scan goes on over the original.
  text = "x y z w";
  EXPECT_EQ(NthDelimitedField(text, " ", 3), "three");
  ASSERT_EQ(scripted.desktop.messages.size(), 1u);
  EXPECT_EQ(scripted.desktop.messages[0].text, "Pointer mismatch in sqgetdelimel4");
}

TEST(NthDelimitedFieldTest, FieldsLongerThanTheWorkingBufferComeBackWhole) {
  ScopedScriptedDesktop scripted;
  std::string long_field;
  for (int i = 0; i < 120007; ++i) long_field.push_back(static_cast<char>('a' + i % 26));
  const std::string text = "x:" + long_field + ":y";
  NthDelimitedField("", ":", 1);
  EXPECT_EQ(NthDelimitedField(text, ":", 2), "\n");  // no scan of this text yet: reported
  EXPECT_EQ(scripted.desktop.messages.size(), 1u);
  EXPECT_EQ(NthDelimitedField(text, ":", 1), "x");
  EXPECT_EQ(NthDelimitedField(text, ":", 2), long_field);
  EXPECT_EQ(NthDelimitedField(text, ":", 3), "y");
  for (std::size_t size : {50000u, 50001u, 50002u}) {
    const std::string field(size, 'q');
    EXPECT_EQ(NthDelimitedField(field, ":", 1), field) << size;
  }
}

}  // namespace
}  // namespace zelk
