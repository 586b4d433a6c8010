// The program's entry: command-line answers that need no window, the support
// library's start-up, then the main window and the prompt dialog.

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>
#include <exception>

#include "app/qt_desktop.h"
#include "app/unit1.h"
#include "app/zelkdlgsrc.h"
#include "support/support.h"

namespace {

constexpr const char* kUsage =
    "Usage: zelkzoomer [FILE|FOLDER]\n"
    "Zelk Lossless Image Zoomer: look at images down to the single pixel.\n"
    "\n"
    "With a file, its folder's images (BMP, JPEG, PNG, ICO, EMF, WMF) become the\n"
    "browsing list and the file is shown; with a folder, its first image is shown.\n"
    "\n"
    "In the window: drag a box and press Zoom In to see it pixel for pixel, drag to\n"
    "pan, Escape zooms out; Left/Right or Page Up/Page Down step through the folder.\n"
    "Right-clicks: Load Image changes colours, Zoom In copies the box as an SVG path,\n"
    "Print copies the image, Actual Size pastes one, Convert saves the visible view.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

// Keeps exceptions from crossing Qt's event loop: whatever a handler did not catch is
// shown with the standard exception display and the program runs on.
class ZelkApplication final : public QApplication {
 public:
  ZelkApplication(int& argc, char** argv, zelk::Desktop& desktop)
      : QApplication(argc, argv), desktop_(desktop) {}

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      desktop_.ShowException(zelk::ApplicationTitle(), e.what());
    } catch (...) {
      desktop_.ShowException(zelk::ApplicationTitle(), "An unknown error occurred.");
    }
    return false;
  }

 private:
  zelk::Desktop& desktop_;
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("zelkzoomer %s\n", ZELK_VERSION);
      return 0;
    }
  }

  zelk::QtDesktop desktop;
  zelk::SetDesktop(&desktop);
  ZelkApplication app(argc, argv, desktop);
  zelk::SetCommandLine(argc, argv);
  try {
    zelk::SupportLibraryStartup();
    zelk::SetApplicationTitle("Zelk Zoomer");
    QApplication::setApplicationName(QStringLiteral("zelkzoomer"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zelkzoomer.png")));
    zelk::TForm1 form(desktop);
    desktop.SetMainWindow(&form);
    zelk::CreatePromptDialog(&form);
    form.show();
    app.exec();
  } catch (const std::exception& e) {
    desktop.ShowException(zelk::ApplicationTitle(), e.what());
  }
  return 0;
}
