#pragma once
// A main window on the scripted desktop, with a temporary folder of test images.

#include <gtest/gtest.h>

#include <QEvent>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "platform/bitmap.h"
#include "scripted_desktop.h"

namespace zelk {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A main window whose view is view_w x view_h device pixels.
  MainWindow& MakeWindow(int view_w, int view_h);
  void ResizeView(int view_w, int view_h);
  // Writes an image of w x h whose pixel (x, y) has colour(x, y) (0x00RRGGBB), in the
  // format of name's extension; returns its full path.
  std::string WriteImage(const std::string& name, int w, int h,
                         const std::function<std::uint32_t(int, int)>& colour);
  std::string WriteBytes(const std::string& name, const std::string& bytes);
  // Processes events until no load is in progress (a load decodes on a thread).
  void WaitForLoad();
  // Loads these files as the open dialog would, and lets the mouse-move handler attach.
  void OpenThroughDialog(const std::vector<std::string>& paths);
  std::string Caption() const;
  // Mouse events as the view receives them, at view pixel (x, y).
  static void SendMouse(QWidget* target, QEvent::Type type, int x, int y, Qt::MouseButton button,
                        Qt::MouseButtons buttons);
  // Press at (x0, y0), move through the middle to (x1, y1), release there.
  static void Drag(QWidget* view, int x0, int y0, int x1, int y1);
  std::string StatusText() const;

  static std::uint32_t Pattern(int x, int y) {
    return (static_cast<std::uint32_t>(x * 3 % 256) << 16) |
           (static_cast<std::uint32_t>(y * 5 % 256) << 8) |
           static_cast<std::uint32_t>((x + y) % 256);
  }

  ScopedScriptedDesktop scripted_;
  ScriptedDesktop& desktop_ = scripted_.desktop;
  std::filesystem::path dir_;
  std::filesystem::path old_cwd_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace zelk
