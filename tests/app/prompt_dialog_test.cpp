#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/prompt_dialog.h"
#include "qt_test_application.h"
#include "scripted_desktop.h"

namespace zelk {
namespace {

const std::string kDefaultRanges = "R(0xf0:0xff) G(0xf0:0xff) B(0xf0:0xff)";

void SendKey(QWidget* target, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &release);
}

class PromptDialogTest : public ::testing::Test {
 protected:
  // Runs action once the modal dialog is up (the timer fires inside its event loop).
  static void WhenShown(std::function<void()> action) { QTimer::singleShot(0, action); }

  // Query with value offered; while shown, the edit text becomes typed (unless null)
  // and OK or Cancel is clicked.
  bool Answer(std::string& value, const char* typed, bool ok) {
    WhenShown([this, typed, ok] {
      if (typed) dialog.controls().text_box->setEditText(QString::fromUtf8(typed));
      (ok ? dialog.controls().ok_button : dialog.controls().cancel_button)->click();
    });
    return dialog.Query("Zelk Zoomer - Colours to Change",
                        "RGB Ranges in R(lo:hi) G(lo:hi) B(lo:hi) format.", value);
  }

  ScopedScriptedDesktop scripted;
  PromptDialog dialog;
};

TEST_F(PromptDialogTest, HistoryIsNewestFirstWithoutCaseInsensitiveDuplicates) {
  std::string value = kDefaultRanges;
  EXPECT_TRUE(Answer(value, nullptr, true));
  EXPECT_TRUE(Answer(value, nullptr, true));
  EXPECT_EQ(value, kDefaultRanges);
  EXPECT_EQ(dialog.History(), QStringList{QString::fromStdString(kDefaultRanges)});

  // A case variant is returned as typed but does not enter the history again.
  EXPECT_TRUE(Answer(value, "r(0XF0:0xFF) g(0xf0:0xff) b(0xf0:0xff)", true));
  EXPECT_EQ(value, "r(0XF0:0xFF) g(0xf0:0xff) b(0xf0:0xff)");
  EXPECT_EQ(dialog.History().size(), 1);

  // A new text goes to the top; the offered one was already there.
  value = "R(1:2)";
  EXPECT_TRUE(Answer(value, "R(3:4)", true));
  EXPECT_EQ(value, "R(3:4)");
  EXPECT_EQ(dialog.History(),
            (QStringList{"R(3:4)", "R(1:2)", QString::fromStdString(kDefaultRanges)}));

  // Non-ASCII text survives the round trip byte for byte.
  value = "gr\xC3\xBCn";
  EXPECT_TRUE(Answer(value, nullptr, true));
  EXPECT_EQ(value, "gr\xC3\xBCn");
  EXPECT_EQ(dialog.History().front(), QString::fromUtf8("gr\xC3\xBCn"));
}

TEST_F(PromptDialogTest, EmptyAndOverlongTextsAreReturnedButNotKept) {
  std::string value;
  EXPECT_TRUE(Answer(value, nullptr, true));
  EXPECT_EQ(value, "");
  EXPECT_TRUE(dialog.History().isEmpty());

  // Clearing an offered value: OK returns the empty text; only the offer is kept.
  value = "offered";
  EXPECT_TRUE(Answer(value, "", true));
  EXPECT_EQ(value, "");
  EXPECT_EQ(dialog.History(), QStringList{"offered"});

  const std::string too_long(PromptDialog::kHistoryTextLimit, 'x');
  value = too_long;
  EXPECT_TRUE(Answer(value, nullptr, true));
  EXPECT_EQ(value, too_long);
  EXPECT_EQ(dialog.History().size(), 1);

  const std::string just_fits(PromptDialog::kHistoryTextLimit - 1, 'y');
  value = just_fits;
  EXPECT_TRUE(Answer(value, nullptr, true));
  EXPECT_EQ(dialog.History().size(), 2);
}

TEST_F(PromptDialogTest, CancelAndCloseKeepTheOldValue) {
  std::string value = kDefaultRanges;
  EXPECT_FALSE(Answer(value, "R(1:1)", false));
  EXPECT_EQ(value, kDefaultRanges);
  // The offered value entered the history when it was offered; the typed one did not.
  EXPECT_EQ(dialog.History(), QStringList{QString::fromStdString(kDefaultRanges)});

  WhenShown([this] {
    dialog.controls().text_box->setEditText("R(2:2)");
    dialog.close();
  });
  EXPECT_FALSE(dialog.Query("c", "p", value));
  EXPECT_EQ(value, kDefaultRanges);
  EXPECT_FALSE(dialog.isVisible());
}

TEST_F(PromptDialogTest, ShowingSelectsTheOfferedTextAndEnterMeansOk) {
  std::string value = "abc";
  QString selected;
  QWidget* focused = nullptr;
  WhenShown([&] {
    selected = dialog.controls().text_box->lineEdit()->selectedText();
    focused = dialog.focusWidget();
    EXPECT_EQ(dialog.windowTitle(), "Caption");
    EXPECT_EQ(dialog.controls().prompt_label->text(), "Prompt");
    SendKey(dialog.focusWidget(), Qt::Key_Return);
  });
  EXPECT_TRUE(dialog.Query("Caption", "Prompt", value));
  EXPECT_EQ(selected, "abc");
  EXPECT_TRUE(focused == dialog.controls().text_box ||
              focused == dialog.controls().text_box->lineEdit());
  // Enter must not have added an entry of the combo box's own making.
  EXPECT_EQ(dialog.History(), QStringList{"abc"});
}

TEST_F(PromptDialogTest, DeleteRemovesTheHighlightedEntryOnlyWhileTheListIsOpen) {
  for (const char* text : {"first", "second", "third"}) {
    std::string value = text;
    Answer(value, nullptr, false);
  }
  ASSERT_EQ(dialog.History(), (QStringList{"third", "second", "first"}));

  std::string value = "abc";
  WhenShown([this] {
    QComboBox* combo = dialog.controls().text_box;
    QAbstractItemView* list = combo->view();
    combo->showPopup();
    if (!list->isVisible()) {
      ADD_FAILURE() << "the drop-down list did not open";
      dialog.controls().cancel_button->click();
      return;
    }

    // Row 2 is "second" now that "abc" was offered at the top.
    list->setCurrentIndex(combo->model()->index(2, 0));
    SendKey(list, Qt::Key_Delete);
    EXPECT_EQ(dialog.History(), (QStringList{"abc", "third", "first"}));
    EXPECT_EQ(combo->currentText(), "abc");

    list->setCurrentIndex(QModelIndex());
    SendKey(list, Qt::Key_Delete);
    EXPECT_EQ(dialog.History().size(), 3);

    // Deleting the current entry leaves the text being edited alone.
    list->setCurrentIndex(combo->model()->index(0, 0));
    SendKey(list, Qt::Key_Delete);
    EXPECT_EQ(dialog.History(), (QStringList{"third", "first"}));
    EXPECT_EQ(combo->currentText(), "abc");

    combo->hidePopup();
    EXPECT_FALSE(list->isVisible());
    combo->lineEdit()->setCursorPosition(0);
    SendKey(combo->lineEdit(), Qt::Key_Delete);
    EXPECT_EQ(combo->currentText(), "bc");
    EXPECT_EQ(dialog.History().size(), 2);
    dialog.controls().ok_button->click();
  });
  EXPECT_TRUE(dialog.Query("c", "p", value));
  EXPECT_EQ(value, "bc");
  EXPECT_EQ(dialog.History(), (QStringList{"bc", "third", "first"}));
}

TEST_F(PromptDialogTest, OnlyTheWidthFollowsAResize) {
  dialog.show();
  EXPECT_EQ(dialog.size(), QSize(PromptDialog::kClientWidth, PromptDialog::kClientHeight));
  const int cancel_gap = dialog.width() - dialog.controls().cancel_button->geometry().right();

  dialog.resize(700, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(dialog.height(), PromptDialog::kClientHeight);
  EXPECT_EQ(dialog.width(), 700);
  EXPECT_EQ(dialog.controls().text_box->width(), 670);
  EXPECT_EQ(dialog.controls().password_edit->width(), 670);
  EXPECT_EQ(dialog.controls().frame->size(), dialog.size());
  EXPECT_EQ(dialog.width() - dialog.controls().cancel_button->geometry().right(), cancel_gap);
  EXPECT_EQ(dialog.controls().cancel_button->x() - dialog.controls().ok_button->x(), 76);

  dialog.resize(400, 20);
  QCoreApplication::processEvents();
  EXPECT_EQ(dialog.height(), PromptDialog::kClientHeight);
  EXPECT_EQ(dialog.controls().text_box->width(), 370);
  EXPECT_EQ(dialog.width() - dialog.controls().cancel_button->geometry().right(), cancel_gap);
  dialog.hide();
}

TEST_F(PromptDialogTest, ASecondRequestWhileShowingUsesTheStandardInputBox) {
  std::string outer = "outer";
  bool inner_ok = false;
  bool inner_cancel = true;
  std::string inner = "inner";
  std::string inner_cancelled = "kept";
  scripted.desktop.input_answers.push_back(std::string("typed"));
  WhenShown([&] {
    inner_ok = dialog.Query("c2", "p2", inner);
    inner_cancel = dialog.Query("c3", "p3", inner_cancelled);
    dialog.controls().cancel_button->click();
  });
  EXPECT_FALSE(dialog.Query("c", "p", outer));
  EXPECT_TRUE(inner_ok);
  EXPECT_EQ(inner, "typed");
  EXPECT_FALSE(inner_cancel);
  EXPECT_EQ(inner_cancelled, "kept");
  EXPECT_EQ(outer, "outer");
  EXPECT_EQ(dialog.History(), QStringList{"outer"});
  EXPECT_EQ(dialog.windowTitle(), "c");
}

TEST_F(PromptDialogTest, FolderButtonTakesTheChosenFolder) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / "zelk_prompt_dialog_test";
  std::filesystem::create_directories(folder);
  const std::string current = std::filesystem::current_path().string();
  EXPECT_EQ(PromptDialog::FolderChooserStart(folder.string()), folder.string());
  EXPECT_EQ(PromptDialog::FolderChooserStart((folder / "missing").string()), current);
  EXPECT_EQ(PromptDialog::FolderChooserStart(""), current);
  EXPECT_EQ(PromptDialog::FolderChooserTitle("Zelk Zoomer"), "Zelk Zoomer\nChoose a Directory :-");
  std::filesystem::remove_all(folder);

  dialog.controls().text_box->setEditText("before");
  scripted.desktop.folder_answers = {std::string("/chosen/folder"), std::nullopt, std::string()};
  dialog.ChooseFolderIntoText();
  EXPECT_EQ(dialog.controls().text_box->currentText(), "/chosen/folder");
  dialog.ChooseFolderIntoText();  // cancelled
  EXPECT_EQ(dialog.controls().text_box->currentText(), "/chosen/folder");
  dialog.ChooseFolderIntoText();  // nothing chosen
  EXPECT_EQ(dialog.controls().text_box->currentText(), "/chosen/folder");
  EXPECT_TRUE(scripted.desktop.folder_answers.empty());

  // A caller that shows the button must show it again for the next request.
  dialog.controls().folder_button->show();
  std::string value = "v";
  bool shown_during = false;
  WhenShown([&] {
    shown_during = dialog.controls().folder_button->isVisible();
    dialog.controls().ok_button->click();
  });
  EXPECT_TRUE(dialog.Query("c", "p", value));
  EXPECT_TRUE(shown_during);
  EXPECT_FALSE(dialog.controls().folder_button->isVisibleTo(&dialog));
}

TEST(PromptDialogInstance, LivesWithTheMainWindowAndIsRecreatedAfterIt) {
  auto main_window = std::make_unique<QWidget>();
  SetPromptDialogOwner(main_window.get());
  PromptDialog* first = &SharedPromptDialog();
  EXPECT_EQ(first, &SharedPromptDialog());
  EXPECT_EQ(first->parentWidget(), main_window.get());
  EXPECT_TRUE(first->isWindow());
  EXPECT_FALSE(first->isVisible());

  main_window.reset();  // takes the dialog with it
  PromptDialog& second = SharedPromptDialog();
  EXPECT_EQ(second.parentWidget(), nullptr);
  EXPECT_EQ(&second, &SharedPromptDialog());
}

}  // namespace
}  // namespace zelk
