#pragma once
// A private X server (Xvfb) and the viewer running in it, driven the way a user would:
// pointer and keys through xdotool, the clipboard through xclip, and what is on the
// screen through window captures.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/bitmap.h"

namespace zelk::e2e {

// Tools the suite needs; the reason when one is missing (the test then skips).
std::string MissingTool();

// Xvfb on a display number it picks itself, 1280 x 1024 (or screen) at 24 bits, so
// captured colours are exact.
class XServer {
 public:
  explicit XServer(const std::string& log_file, const std::string& screen = "1280x1024x24");
  const std::string& Display() const { return display_; }
  Environment Env() const { return {{"DISPLAY", display_}}; }

 private:
  std::unique_ptr<ChildProcess> process_;
  std::string display_;
};

// Polls check every 40 ms until it answers true or the time is up.
bool WaitUntil(const std::function<bool()>& check,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

class Viewer {
 public:
  // Starts the program with args in working_dir; home is a private folder for the
  // program's environment (HOME, XDG folders).
  // extra_env is added to (or overrides) the program's environment.
  Viewer(const XServer& x, const std::string& program, const std::vector<std::string>& args,
         const std::string& working_dir, const std::string& home,
         const Environment& extra_env = {});
  ~Viewer();

  // The main window's id; empty until it is shown.
  const std::string& Window() const { return window_; }
  std::string Caption() const;
  // The main window's own (client) size, as X reports it: "768x576".
  std::string ClientSize() const;
  // Waits until the caption satisfies check; the last caption seen otherwise.
  bool WaitForCaption(const std::function<bool(const std::string&)>& check,
                      std::string* last = nullptr);

  // Visible windows of the program other than the main window (message boxes, dialogs).
  std::vector<std::string> OtherWindows() const;
  bool WaitForOtherWindows(std::size_t count);

  // Pointer and keyboard, in main-window client coordinates.
  void MoveTo(int x, int y);
  void Click(int x, int y, int button = 1);
  void Drag(int x0, int y0, int x1, int y1, int button = 1);
  // Keys go to the topmost window of the program: an open dialog, else the main window.
  void Key(const std::string& keysym);
  void Type(const std::string& text);
  void Resize(int width, int height);
  // Drags files from another program (drag_source, an XDND drag source) and drops them
  // at (x, y) of the main window; what that program says the drop did ("copy", ...).
  std::string DropFiles(const std::string& drag_source, const std::vector<std::string>& files,
                        int x, int y);
  void Focus();

  // The main window as it is on the screen.
  Bitmap Capture() const;
  // The image area: below the 41-pixel control panel, above the 19-pixel status bar.
  static Bitmap ViewPart(const Bitmap& window);

  // The clipboard as another program sees it.
  std::string ClipboardText() const;
  bool ClipboardImage(const std::string& png_path) const;
  // Offers a PNG file on the clipboard from xclip until the returned process ends.
  std::unique_ptr<ChildProcess> OfferClipboardImage(const std::string& png_path) const;

  // The window carries an icon for the task bar (_NET_WM_ICON), at least size x size.
  bool HasWindowIcon(int size) const;

  // Presses Quit and waits for the program to end; its exit status (-1 if it did not).
  int Quit();
  std::string ErrorOutput() const;

 private:
  // Runs one tool against this display; ZELK_E2E_TRACE=1 in the environment logs each
  // call with its time, to see where a slow run waits.
  RunResult Tool(const std::vector<std::string>& argv) const;
  void FocusTop();

  Environment env_;
  std::string stderr_file_;
  std::string capture_file_;
  std::unique_ptr<ChildProcess> process_;
  std::string window_;
};

}  // namespace zelk::e2e
