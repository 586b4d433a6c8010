// The program's entry: command-line answers that need no window (--help, --version,
// --diff), the support library's start-up, then the main window and the prompt dialog.

#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "app/decode_job.h"
#include "app/diff_command.h"
#include "app/exception_net.h"
#include "app/main_window.h"
#include "app/prompt_dialog.h"
#include "app/qt_desktop.h"
#include "codecs/image_formats.h"
#include "core/files/file_spec.h"
#include "support/file_replacement.h"
#include "support/support.h"

namespace {

// The formats come from the codecs' table, so the list cannot fall behind it.
std::string Usage() {
  return "Usage: zelkzoomer [FILE|FOLDER]\n"
         "       zelkzoomer --diff A B [OUT] [--tolerance N]\n"
         "Zelk Lossless Image Zoomer: look at images down to the single pixel.\n"
         "\n"
         "With a file, its folder's images (" +
         zelk::OpenableFormatNames() +
         ") become the\n"
         "browsing list and the file is shown; with a folder, its first image is shown.\n"
         "\n"
         "In the window: drag a box and press Zoom In to see it pixel for pixel, drag to\n"
         "pan, Escape zooms out; Left/Right or Page Up/Page Down step through the folder.\n"
         "Right-clicks: Load Image changes colours, Zoom In copies the box as an SVG path,\n"
         "Print copies the image, Actual Size pastes one, Convert saves the visible view.\n"
         "\n"
         "  --help     show this text and exit\n"
         "  --version  show the version and exit\n"
         "  --diff     compare image A with image B pixel for pixel, without a window\n"
         "             (only as the first argument). Prints one line:\n"
         "               differing=N size=WxH box=L,T,R,B largest=R,G,B\n"
         "             N pixels of the W x H canvas differ (the two images laid over each\n"
         "             other at the top-left corner; what only one covers differs), box\n"
         "             holds them all (right and bottom exclusive; box=none when none\n"
         "             does), largest is the largest difference per channel where both\n"
         "             have a pixel. Exits 0 when equal, 1 when they differ, 2 on trouble\n"
         "             (the reason on stderr). OUT: write the difference picture there\n"
         "             (differences magenta, the rest A in light grey).\n"
         "  --tolerance N  with --diff: a channel differing by at most N (0..255, default\n"
         "             0) still counts as equal\n"
         "  --compare A B  open A in the window, compared with B (B leaves the\n"
         "             comparison; F, S and D flip, split and show the differences)\n";
}

// Keeps exceptions from crossing Qt's event loop: whatever a handler did not catch is
// shown with the standard exception display and the program runs on.
class ZelkApplication final : public QApplication {
 public:
  ZelkApplication(int& argc, char** argv, zelk::Desktop& desktop)
      : QApplication(argc, argv), desktop_(desktop) {}

  bool notify(QObject* receiver, QEvent* event) override {
    bool handled = false;
    zelk::RunShowingExceptions(desktop_, [&] { handled = QApplication::notify(receiver, event); });
    return handled;
  }

 private:
  zelk::Desktop& desktop_;
};

// Read as PNG, and only as PNG: left to guess, the toolkit loads every image plugin
// it has (memory and start-up time the program never uses again).
QIcon WindowIcon() {
  QImageReader reader(QStringLiteral(":/zelkzoomer.png"), "png");
  reader.setAutoDetectImageFormat(false);
  return QIcon(QPixmap::fromImage(reader.read()));
}

// The file named on the command line starts decoding before the toolkit and the
// window exist, so the two overlap; the window takes the result when it is shown.
std::unique_ptr<zelk::DecodeJob> StartEarlyDecode() {
  const std::string argument = zelk::FileArgument();
  if (argument.empty()) return nullptr;
  const std::string path = zelk::ExpandFileSpec(argument);
  const zelk::ImageFormat* format = zelk::FormatOfExtension(zelk::UpperExtension(path));
  std::error_code error;
  if (format == nullptr || format->needs_toolkit || !std::filesystem::is_regular_file(path, error))
    return nullptr;
  return std::make_unique<zelk::DecodeJob>(path);
}

}  // namespace

int main(int argc, char** argv) {
  // An option counts only as the first argument; otherwise the first argument is the
  // file or folder to open, and the rest are not looked at.
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("zelkzoomer %s\n", ZELK_VERSION);
    return 0;
  }

  if (argc > 1 && std::strcmp(argv[1], "--diff") == 0)
    return zelk::RunDiffCommand({argv + 2, argv + argc}, std::cout, std::cerr);
  // --compare A B: the window opens A and compares it with B.
  std::optional<std::pair<std::string, std::string>> compare;
  if (argc > 1 && std::strcmp(argv[1], "--compare") == 0) {
    if (argc != 4) {
      std::fputs("zelkzoomer: --compare needs two files: --compare A B\n", stderr);
      return 2;
    }
    compare.emplace(argv[2], argv[3]);
  }

  zelk::SetCommandLine(argc, argv);
  // A write killed mid-way is undone before anything is read: the early decode may
  // be of the very file being put back. What cannot be put back is said once there
  // is a window to say it.
  const std::vector<std::string> unrestored = zelk::RestoreUnfinishedReplacements();
  std::unique_ptr<zelk::DecodeJob> early_decode = StartEarlyDecode();
  zelk::QtDesktop desktop;
  zelk::SetDesktop(&desktop);
  ZelkApplication app(argc, argv, desktop);
  // Qt has taken its own options (-platform, -style, ...) out of argv.
  zelk::SetCommandLine(argc, argv);
  try {
    zelk::SupportLibraryStartup();
    for (const std::string& problem : unrestored) zelk::ReportMessage(problem);
    zelk::SetApplicationTitle("Zelk Zoomer");
    QApplication::setApplicationName(QStringLiteral("zelkzoomer"));
    QApplication::setWindowIcon(WindowIcon());
    zelk::MainWindow window(desktop);
    desktop.SetMainWindow(&window);
    zelk::SetPromptDialogOwner(&window);
    window.AdoptEarlyDecode(std::move(early_decode));
    window.show();
    if (compare) {
      window.StartComparingFromCommandLine(compare->first, compare->second);
    } else {
      window.StartOpeningCommandLineArgument();
    }
    app.exec();
    // The window is gone: a decode still running ends with the process instead of
    // holding it up.
    zelk::DecodeJob::AbandonUnfinishedJobs();
  } catch (const std::exception& e) {
    desktop.ShowException(zelk::ApplicationTitle(), e.what());
  }
  return 0;
}
