#pragma once
// The prompt dialog: a modal one-line question with a drop-down history of the texts
// entered since the program started. One instance lives for the whole run (see
// zelkgrabstr()), so the history survives between requests; it is never stored.

#include <QDialog>
#include <string>

class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zelk {

class Tzelkgrabstr final : public QDialog {
  Q_OBJECT

 public:
  // The designed client area; the height never changes, the width may.
  static constexpr int kClientWidth = 480;
  static constexpr int kClientHeight = 101;
  // Texts this long or longer are returned but kept out of the history.
  static constexpr int kHistoryTextLimit = 4096;

  explicit Tzelkgrabstr(QWidget* main_window = nullptr);

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

  // Form event handlers.
  void FormShow();
  void FormResize();
  void FormClose();
  void xbtnClick();
  // Key handling for the drop-down list of Edit1; true when the key was consumed.
  bool Edit1KeyDown(QKeyEvent* event);

  // The controls, in tab order (Panel1 holds them all).
  QFrame* Panel1 = nullptr;
  QPushButton* xbtn = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QComboBox* Edit1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddToHistory(const QString& text);
  void CentreOverMainWindow();
};

// The one prompt dialog of the program. CreatePromptDialog is called once at start,
// right after the main window exists; the dialog is then owned by the main window and
// centred over it. zelkgrabstr() creates an unowned one on first use if that has not
// happened (it is then deleted when the application object goes).
void CreatePromptDialog(QWidget* main_window);
Tzelkgrabstr& zelkgrabstr();

}  // namespace zelk
