#pragma once
// The prompt dialog: a modal one-line question with a drop-down history of the texts
// entered since the program started. One instance lives for the whole run (see
// SharedPromptDialog()), so the history survives between requests; it is never stored.

#include <QDialog>
#include <string>

class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zelk {

class PromptDialog final : public QDialog {
  Q_OBJECT

 public:
  // The client area; the height never changes, the width may.
  static constexpr int kClientWidth = 480;
  static constexpr int kClientHeight = 101;
  // Texts this long or longer are returned but kept out of the history.
  static constexpr int kHistoryTextLimit = 4096;

  explicit PromptDialog(QWidget* main_window = nullptr);

  // Shows the dialog modally with caption, prompt and value offered in the edit box.
  // True on OK, with value set to the entered text; false on Cancel or close, with
  // value untouched. A request made while the dialog is already showing is answered
  // by the desktop's standard input box instead.
  bool Query(const std::string& caption, const std::string& prompt, std::string& value);

  // The history, newest first.
  QStringList History() const;

  // Where the folder chooser opens: edit_text when it names an existing folder,
  // otherwise the current directory.
  static std::string FolderChooserStart(const std::string& edit_text);
  // The folder chooser's title for the given application title.
  static std::string FolderChooserTitle(const std::string& application_title);

  // The folder button: the folder chooser, its answer put into the text box.
  void ChooseFolderIntoText();

  // The controls, in tab order (the frame holds them all). The folder button and the
  // password edit stay hidden in this program; the hint label too.
  struct Controls {
    QFrame* frame = nullptr;
    QPushButton* folder_button = nullptr;
    QPushButton* ok_button = nullptr;
    QPushButton* cancel_button = nullptr;
    QLineEdit* password_edit = nullptr;
    QComboBox* text_box = nullptr;  // the entered text, with the history below it
    QLabel* prompt_label = nullptr;
    QLabel* hint_label = nullptr;
  };
  const Controls& controls() const { return controls_; }

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddToHistory(const QString& text);
  void CentreOverMainWindow();
  void FocusTextOnShow();
  void LayOutForWidth();
  void HideFolderButton();
  // Delete in the open history list removes the highlighted entry; true when the
  // key was consumed.
  bool DeleteHighlightedHistoryEntry(QKeyEvent* event);

  Controls controls_;
};

// The one prompt dialog of the program. SetPromptDialogOwner is called once at start,
// right after the main window exists; the dialog is built on the first
// SharedPromptDialog() call, then owned by the main window and centred over it.
// Without an owner (or once the owner is gone) the dialog made is unowned and is
// deleted when the application object goes.
void SetPromptDialogOwner(QWidget* main_window);
PromptDialog& SharedPromptDialog();

}  // namespace zelk
