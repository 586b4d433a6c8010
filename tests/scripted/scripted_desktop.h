#pragma once
// A desktop for tests: every dialog answers from a queue the test fills, every
// visible effect is recorded, and sleeping only adds to a clock.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/desktop.h"

namespace zelk {

class ScriptedDesktop final : public Desktop {
 public:
  struct Message {
    std::string caption;
    std::string text;
  };
  struct Question {
    std::string text;
    bool notice_form;
  };

  // Answers, taken front first; an empty queue answers "cancel".
  std::deque<bool> question_answers;
  std::deque<std::vector<std::string>> open_answers;
  std::deque<std::optional<std::string>> save_answers;
  std::deque<std::optional<std::string>> folder_answers;
  std::deque<std::optional<std::uint32_t>> colour_answers;
  std::deque<std::optional<std::string>> input_answers;
  // Called with the printer when the print dialog would show; return false to
  // cancel. Unset: the dialog is cancelled.
  std::function<bool(QPrinter&)> on_choose_printer;
  // Called each time a message box would show (e.g. to act while it is "open").
  std::function<void(const Message&)> on_message;
  std::function<void()> on_process_events;
  std::optional<std::uint32_t> screen_pixel;

  // What happened.
  std::vector<Message> messages;
  std::vector<Message> exceptions;
  std::vector<Question> questions;
  std::vector<FileDialogRequest> open_requests;
  std::vector<FileDialogRequest> save_requests;
  std::vector<std::uint32_t> colour_requests;
  std::vector<SystemSound> sounds;
  std::vector<int> sleeps;
  int process_events_calls = 0;
  int bring_to_front_calls = 0;
  long long slept_ms = 0;

  // The clipboard as other programs would see it.
  std::optional<std::string> clipboard_text;
  std::optional<Bitmap> clipboard_image;
  // An image file's bytes as another program offers them (used when no clipboard_image).
  std::optional<std::vector<std::uint8_t>> clipboard_file_bytes;
  ClipboardFetch clipboard_fetch;  // another program's bytes still to be fetched
  bool clipboard_unreadable = false;

  void ShowMessage(const std::string& caption, const std::string& text) override;
  bool AskQuestion(const std::string& text, bool notice_form) override;
  void ShowException(const std::string& caption, const std::string& what) override;
  void ProcessEvents() override;
  void SleepMs(int ms) override;
  void PlaySystemSound(SystemSound sound) override { sounds.push_back(sound); }
  void BringToFront() override { ++bring_to_front_calls; }
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
  std::optional<std::uint32_t> ScreenPixel(int, int) override { return screen_pixel; }
};

// Installs a fresh ScriptedDesktop as the current desktop for one test's lifetime.
class ScopedScriptedDesktop {
 public:
  ScopedScriptedDesktop() { SetDesktop(&desktop); }
  ~ScopedScriptedDesktop() { SetDesktop(nullptr); }
  ScriptedDesktop desktop;
};

}  // namespace zelk
