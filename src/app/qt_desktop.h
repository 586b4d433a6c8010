#pragma once
// The real desktop: Qt dialogs, message boxes, clipboard, printer and screen.

#include <QString>

#include "platform/desktop.h"

class QWidget;

namespace zelk {

class QtDesktop final : public Desktop {
 public:
  // Dialogs are parented to the main window once it exists.
  void SetMainWindow(QWidget* window) { main_window_ = window; }

  void ShowMessage(const std::string& caption, const std::string& text) override;
  bool AskQuestion(const std::string& text, bool notice_form) override;
  void ShowException(const std::string& caption, const std::string& what) override;
  void ProcessEvents() override;
  void SleepMs(int ms) override;
  void PlaySystemSound(SystemSound sound) override;
  void BringToFront() override;
  std::vector<std::string> ChooseFilesToOpen(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFileToSave(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(const std::string& title,
                                          const std::string& start_folder) override;
  std::optional<std::uint32_t> ChooseColour(std::uint32_t initial_rgb) override;
  std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                       const std::string& value) override;
  bool ChoosePrinter(QPrinter& printer) override;
  void SetClipboardText(const std::string& text) override;
  void SetClipboardImage(const Bitmap& image) override;
  ClipboardImageStatus GetClipboardImage(ClipboardPicture& out, std::string& error) override;
  std::optional<std::uint32_t> ScreenPixel(int global_x, int global_y) override;

 private:
  QWidget* main_window_ = nullptr;
};

// Paths stay bytes end to end; these convert at the widget boundary only.
QString PathToQString(const std::string& path);
std::string QStringToPath(const QString& path);
// For captions: invalid UTF-8 shows replacement characters.
QString DisplayText(const std::string& bytes);
// A window title shown exactly as given: Qt takes "[*]" as the place of its
// modified marker and drops it, unless it is doubled.
QString LiteralWindowTitle(QString title);
// The UTF-8 bytes of a text the user typed or a widget shows.
std::string BytesOfDisplayText(const QString& text);

}  // namespace zelk
