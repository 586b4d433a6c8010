#pragma once
// `TForm1`, the main window: its controls, the viewing state every command shares,
// and the event handlers that wire the modules together. The pixel, geometry,
// colour, text and file logic lives in the core library; this class only decides
// which of it runs when.

#include <QCheckBox>
#include <QFrame>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "app/image_view.h"
#include "core/bitmap.h"
#include "core/files/file_list.h"
#include "core/view/geometry.h"

namespace zelk {

class Desktop;

// The top bar: children placed at fixed positions, some anchored to its right edge.
class TopPanel final : public QFrame {
 public:
  explicit TopPanel(QWidget* parent);
  void AnchorRight(QWidget* child, int right_margin);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::vector<std::pair<QWidget*, int>> right_anchored_;
};

class TForm1 final : public QWidget {
  Q_OBJECT
 public:
  explicit TForm1(Desktop& desktop, QWidget* parent = nullptr);
  ~TForm1() override;

  // Controls, in declaration order.
  TopPanel* Panel1;
  QPushButton* Button1;
  QPushButton* Button3;
  QPushButton* Button4;
  ImageView* Image1;
  QCheckBox* CheckBox1;
  QPushButton* prvimg;
  QPushButton* nxtimg;
  QPushButton* Button2;
  QPushButton* Button5;
  QCheckBox* CheckBox2;
  QTimer* Timer1;
  QStatusBar* StatusBar1;
  QTimer* Timer3;

  // Shared viewing state.
  Bitmap SourceBitmap;
  zelk::FileList FileList;
  int ImageWidth = 0;
  int ImageHeight = 0;
  zelk::ZoomBox ZoomBox;
  zelk::PanAnchor PanAnchor;
  int FileIndex = 0;
  bool Loading = true;
  bool Zoomed = false;
  bool LoadFromList = false;
  double ViewScale = -1.0;

  // Event handlers.
  void Button3Click();
  void Button1Click();
  void CheckBox2Click();
  void FormResize();
  void Image1MouseDown(Qt::MouseButton button, int x, int y);
  void Image1MouseMove(Qt::MouseButtons buttons, int x, int y);
  void Button5Click();
  bool Button5ContextPopup();
  void Button2Click();
  bool Button2ContextPopup();
  bool CheckBox2ContextPopup();
  bool Button3ContextPopup();
  bool Button1ContextPopup();
  void prvimgClick();
  void nxtimgClick();
  void Timer1Timer();
  void Button4Click();
  bool FormCloseQuery();
  void Timer3Timer();

  // Loads these files as if they had been chosen together in the open dialog (also
  // used for files dropped on the window).
  void LoadSelection(const std::vector<std::string>& paths);

  // Runs a handler; an exception that reaches here is shown with the standard
  // exception display and the program runs on.
  void Guarded(const std::function<void()>& handler);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void ConnectHandlers();
  void UpdateNavButtons();
  void RenderView();
  void RenderZoomed();
  bool PointOutsideImage(int x, int y) const;
  void DrawZoomBox();
  void ShowColourReadout(int x, int y);
  bool HasCurrentEntry() const { return FileIndex >= 0 && FileIndex < FileList.Count(); }
  void LoadCurrentEntry();
  void ShowStatusLine(double magnification);
  void EnsurePictureMatchesView();
  void SetContextPopup(QWidget* control, std::function<bool()> handler);
  void AddShortcut(int key, void (TForm1::*handler)());
  void ZoomOutKey();

  Desktop& desktop_;
  std::string caption_text_;  // the status line as bytes (the print title comes from it)
  std::string colour_range_text_;
  bool colour_range_text_used_ = false;
  std::uint32_t last_colour_ = 0xC0C0C0;  // the colour dialog starts silver
  std::string open_dialog_initial_dir_;
  bool sized_for_frame_ = false;
};

}  // namespace zelk
