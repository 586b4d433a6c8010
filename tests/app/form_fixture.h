#pragma once
// A main window on the scripted desktop, with a temporary folder of test images.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/unit1.h"
#include "core/bitmap.h"
#include "scripted_desktop.h"

namespace zelk {

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A form whose view (Image1) is view_w x view_h device pixels.
  TForm1& MakeForm(int view_w, int view_h);
  void ResizeView(int view_w, int view_h);
  // Writes an image of w x h whose pixel (x, y) has colour(x, y) (0x00RRGGBB), in the
  // format of name's extension; returns its full path.
  std::string WriteImage(const std::string& name, int w, int h,
                         const std::function<std::uint32_t(int, int)>& colour);
  std::string WriteBytes(const std::string& name, const std::string& bytes);
  // Loads these files as the open dialog would, and lets the mouse-move handler attach.
  void OpenThroughDialog(const std::vector<std::string>& paths);
  std::string Caption() const;
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
  std::unique_ptr<TForm1> form_;
};

}  // namespace zelk
