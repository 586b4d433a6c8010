#pragma once
// Everything that opens a window or touches the desktop goes through this one
// interface: dialogs, message boxes, clipboard, printer, screen pixel, sound, event
// processing and sleeping. The program uses QtDesktop (src/app); tests use
// ScriptedDesktop (tests/scripted), which answers from a script and records calls.
// Plain C++ apart from the forward-declared QPrinter, so the core library can hold
// a reference to it without linking Qt Widgets.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/bitmap.h"

class QPrinter;

namespace zelk {

enum class SystemSound { kQuestion, kInformation };

struct FileDialogRequest {
  std::string title;
  // Qt name filters, e.g. "All (*.jpg *.jpeg *.bmp ...)".
  std::vector<std::string> filters;
  std::string initial_dir;   // empty: the dialog's own choice
  std::string initial_name;  // save dialog only
};

enum class ClipboardImageStatus { kImage, kNoImage, kUnreadable };

// Fetches the bytes of a file another program offers; runs on the decoding thread,
// so a long transfer never holds the window. nullopt, with error set, when the
// transfer fails or cancel was set.
using ClipboardFetch = std::function<std::optional<std::vector<std::uint8_t>>(
    const std::atomic<bool>& cancel, std::string& error)>;

// A picture on the clipboard: pixels ready to show (this program's own copy, or a
// format only the toolkit reads), or the bytes of a PNG, BMP or JPEG file that another
// program offered - at hand, or still to be fetched - which are decoded off the GUI
// thread like a file.
struct ClipboardPicture {
  Bitmap pixels;
  std::vector<std::uint8_t> file_bytes;
  ClipboardFetch fetch_file_bytes;
};

class Desktop {
 public:
  virtual ~Desktop() = default;

  // Modal box with one OK button; caption is the application title.
  virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
  // Modal question. notice_form: OK/Cancel information dialog; otherwise Yes/No
  // confirmation. The second button has the keyboard focus. True for Yes or OK.
  virtual bool AskQuestion(const std::string& text, bool notice_form) = 0;
  // Shows an exception that reached an event handler and lets the program run on.
  virtual void ShowException(const std::string& caption, const std::string& what) = 0;

  virtual void ProcessEvents() = 0;
  virtual void SleepMs(int ms) = 0;
  virtual void PlaySystemSound(SystemSound sound) = 0;
  virtual void BringToFront() = 0;

  // Absolute paths chosen, empty when cancelled.
  virtual std::vector<std::string> ChooseFilesToOpen(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> ChooseFileToSave(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> ChooseFolder(const std::string& title,
                                                  const std::string& start_folder) = 0;
  // 0x00RRGGBB; nullopt when cancelled.
  virtual std::optional<std::uint32_t> ChooseColour(std::uint32_t initial_rgb) = 0;
  // The standard one-line input box; nullopt on Cancel.
  virtual std::optional<std::string> InputText(const std::string& caption,
                                               const std::string& prompt,
                                               const std::string& value) = 0;
  // The print dialog over printer; false when cancelled.
  virtual bool ChoosePrinter(QPrinter& printer) = 0;

  virtual void SetClipboardText(const std::string& text) = 0;
  virtual void SetClipboardImage(const Bitmap& image) = 0;
  virtual ClipboardImageStatus GetClipboardImage(ClipboardPicture& out, std::string& error) = 0;

  // 0x00RRGGBB of the screen pixel at global position (x, y), nullopt where the
  // platform cannot read the screen (then the view's own pixel is used).
  virtual std::optional<std::uint32_t> ScreenPixel(int global_x, int global_y) = 0;
};

// The process-wide desktop used by the support library; set once at start (and by
// tests). Never null after SetDesktop.
Desktop& CurrentDesktop();
void SetDesktop(Desktop* desktop);

}  // namespace zelk
