// Random sequences of user actions against the window, offscreen, with real decoding
// threads: opening selections, stepping, Escape, resizes, wheel steps and keys, box,
// left and middle drags, zooming, pasting, Convert, Print and colour replacement
// through the scripted dialogs, files deleted, rewritten or broken on disk. After
// every step the window must keep its promises (Check below). A failing sequence is
// shrunk to a short one by rapidcheck; RC_PARAMS fixes the seed and the count.

#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPrinter>
#include <QTimer>
#include <QWheelEvent>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "app/compare_session.h"
#include "app/prompt_dialog.h"
#include "codecs/image_loader.h"
#include "main_window_fixture.h"

namespace zelk {

struct Action {
  int kind = 0;
  int a = 0, b = 0, c = 0, d = 0;  // 0 ... 999, scaled as each kind needs
};

namespace {

enum Kind {
  kOpen,
  kDrop,
  kNext,
  kPrevious,
  kEscape,
  kResize,
  kWheel,
  kPlus,
  kMinus,
  kZero,
  kOne,
  kGrid,
  kInspector,
  kLeftDrag,
  kMiddleDrag,
  kToggleZoom,
  kPaste,
  kConvert,
  kPrint,
  kReplaceColours,
  kDeleteFile,
  kRewriteFile,
  kBreakFile,
  kMovePointer,
  kSettle,
  kCompare,
  kFlip,
  kSplit,
  kDifference,
  kTolerance,
  kNextDifference,
  kKinds
};
const char* const kKindNames[] = {
    "Open",           "Drop",           "Next",       "Previous",    "Escape",     "Resize",
    "Wheel",          "Plus",           "Minus",      "Zero",        "One",        "Grid",
    "Inspector",      "LeftDrag",       "MiddleDrag", "ToggleZoom",  "Paste",      "Convert",
    "Print",          "ReplaceColours", "DeleteFile", "RewriteFile", "BreakFile",  "MovePointer",
    "Settle",         "Compare",        "Flip",       "Split",       "Difference", "Tolerance",
    "NextDifference", "Compare",        "Flip",       "Split",       "Difference", "Tolerance",
    "NextDifference"};

constexpr int kFiles = 6;
constexpr std::uint32_t kEdited = 0x102030;  // what the colour replacement paints

// Every picture's red and green name its version; blue follows the position, so a
// pixel drawn from the wrong place shows. All of it lies in the colour replacement's
// default ranges (0xF0 to 0xFF in each channel).
std::uint32_t PixelOf(int version, int x, int y) {
  return 0xF0F0F0u | (static_cast<std::uint32_t>(version >> 4 & 0xF) << 16) |
         (static_cast<std::uint32_t>(version & 0xF) << 8) |
         static_cast<std::uint32_t>((3 * x + 5 * y) & 0xF);
}
int VersionOf(std::uint32_t rgb) {
  return static_cast<int>((rgb >> 16 & 0xF) << 4 | (rgb >> 8 & 0xF));
}

class RandomSession : public MainWindowTest {
 public:
  void TestBody() override {}
  void Start() {
    SetUp();
    MakeWindow(320, 240);
    for (int i = 0; i < kFiles; ++i) Rewrite(i, 40 + 37 * i, 30 + 23 * i);
    // The prompt dialog of the colour replacement is answered with its default text.
    confirm_.setInterval(5);
    QObject::connect(&confirm_, &QTimer::timeout, [] {
      if (SharedPromptDialog().isVisible()) SharedPromptDialog().controls().ok_button->click();
    });
    confirm_.start();
    desktop_.on_choose_printer = [this](QPrinter&) {
      if (window_->load_in_progress()) failures_ << "Print ran while an image loaded\n";
      return false;
    };
  }
  void Finish() {
    // For docs/testing.md's counts: how many steps the sequences took in all.
    static int total_steps = 0;
    total_steps += step_;
    if (std::getenv("ZELK_RANDOM_STEPS") != nullptr)
      std::fprintf(stderr, "steps so far: %d\n", total_steps);
    confirm_.stop();
    TearDown();
  }

  void Apply(const Action& act) {
    step_ += 1;
    const ImageView* view = window_->controls().view;
    const int w = std::max(view->DeviceWidth(), 1), h = std::max(view->DeviceHeight(), 1);
    const auto x = [w](int v) { return v * w / 1000; };
    const auto y = [h](int v) { return v * h / 1000; };
    switch (act.kind) {
      case kOpen:
      case kDrop: {
        std::vector<std::string> chosen;
        for (int i = 0; i < kFiles; ++i)
          if ((act.a >> (i % 10)) & 1) chosen.push_back(Path(i));
        if (chosen.empty()) chosen.push_back(Path(act.b % kFiles));
        for (const std::string& path : chosen) selections_[path] += 1;
        if (act.kind == kOpen) {
          desktop_.open_answers.push_back(chosen);
          window_->OpenFiles();
        } else {
          window_->OpenSelection(chosen);
        }
        break;
      }
      case kNext:
        window_->ShowNext();
        break;
      case kPrevious:
        window_->ShowPrevious();
        break;
      case kEscape:
        window_->Escape();
        break;
      case kResize:
        // The window keeps a size that shows its controls (and the inspector): the view
        // gets what is left.
        window_->resize(400 + act.a * 400 / 1000, 150 + act.b * 350 / 1000);
        break;
      case kWheel: {
        // The pointer moves there first, as a real one does.
        const QPointF at(x(act.a), y(act.b));
        pointer_ = QPoint(x(act.a), y(act.b));
        SendMouse(window_->controls().view, QEvent::MouseMove, pointer_.x(), pointer_.y(),
                  Qt::NoButton, Qt::NoButton);
        QWheelEvent event(at, window_->controls().view->mapToGlobal(at), QPoint(),
                          QPoint(0, 120 * (act.c % 7 - 3)), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(window_->controls().view, &event);
        break;
      }
      case kPlus:
        window_->ZoomInStep();
        break;
      case kMinus:
        window_->ZoomOutStep();
        break;
      case kZero:
        window_->ShowFitted();
        break;
      case kOne:
        window_->ShowActualPixelsAtPointer();
        break;
      case kGrid:
        window_->ToggleGrid();
        break;
      case kInspector:
        window_->ToggleInspector();
        break;
      case kLeftDrag:
        Drag(window_->controls().view, x(act.a), y(act.b), x(act.c), y(act.d));
        pointer_ = QPoint(x(act.c), y(act.d));
        break;
      case kMiddleDrag: {
        QWidget* target = window_->controls().view;
        SendMouse(target, QEvent::MouseButtonPress, x(act.a), y(act.b), Qt::MiddleButton,
                  Qt::MiddleButton);
        SendMouse(target, QEvent::MouseMove, x(act.c), y(act.d), Qt::NoButton, Qt::MiddleButton);
        SendMouse(target, QEvent::MouseButtonRelease, x(act.c), y(act.d), Qt::MiddleButton,
                  Qt::NoButton);
        pointer_ = QPoint(x(act.c), y(act.d));
        break;
      }
      case kToggleZoom:
        window_->ToggleZoom();
        break;
      case kPaste: {
        const int version = NewVersion();
        Bitmap pixels;
        pixels.Reset(1 + act.a % 90, 1 + act.b % 70);
        for (int py = 0; py < pixels.Height(); ++py)
          for (int px = 0; px < pixels.Width(); ++px)
            pixels.SetPixelRgb(px, py, PixelOf(version, px, py));
        desktop_.clipboard_image = std::move(pixels);
        window_->PasteImage();
        if (window_->browser().shown_path().find("/cb_") != std::string::npos)
          versions_[window_->browser().shown_path()].insert(version);
        break;
      }
      case kConvert: {
        const std::string target = (dir_ / ("c" + std::to_string(step_) + ".bmp")).string();
        desktop_.save_answers.push_back(target);
        const std::size_t asked = desktop_.save_requests.size();
        window_->ConvertCurrentFile();
        Settle();
        if (desktop_.save_requests.size() > asked && std::filesystem::exists(target)) {
          if (window_->browser().shown_path() != target)
            failures_ << "Convert wrote " << target << " but shows another\n";
          Bitmap written;
          LoadImageFile(target, written);
          if (written.Empty() || window_->image().Empty() ||
              written.PixelRgb(0, 0) != window_->image().PixelRgb(0, 0))
            failures_ << "Convert wrote other pixels than the image it shows\n";
          else
            versions_[target].insert(VersionOf(written.PixelRgb(0, 0)));
        }
        desktop_.save_answers.clear();
        break;
      }
      case kPrint:
        desktop_.question_answers.push_back(false);
        window_->Print();
        Settle();
        desktop_.question_answers.clear();
        break;
      case kReplaceColours: {
        const std::size_t asked = desktop_.colour_requests.size();
        desktop_.colour_answers.push_back(kEdited);
        window_->ReplaceColourRanges();
        Settle();
        desktop_.colour_answers.clear();
        // An edit confirmed is on the image shown, even one given during a load.
        if (desktop_.colour_requests.size() > asked && !window_->image().Empty() &&
            window_->image().PixelRgb(0, 0) != kEdited)
          failures_ << "a confirmed colour replacement is not on the image shown\n";
        break;
      }
      case kDeleteFile:
        std::filesystem::remove(Path(act.a % kFiles));
        break;
      case kRewriteFile:
        Rewrite(act.a % kFiles, 1 + act.b % 300, 1 + act.c % 200);
        break;
      case kBreakFile: {
        const std::string path = Path(act.a % kFiles);
        WriteBytes(std::filesystem::path(path).filename().string(), "BM not a bitmap");
        broken_.insert(path);
        break;
      }
      case kMovePointer:
        window_->AttachPointerReadout();
        pointer_ = QPoint(x(act.a), y(act.b));
        SendMouse(window_->controls().view, QEvent::MouseMove, pointer_.x(), pointer_.y(),
                  Qt::NoButton, Qt::NoButton);
        break;
      case kSettle:
        Settle();
        break;
      case kCompare:
        desktop_.open_answers.push_back({Path(act.a % kFiles)});
        window_->Compare();
        Settle();
        desktop_.open_answers.clear();
        break;
      case kFlip:
        window_->Flip();
        break;
      case kSplit:
        window_->ShowSplit();
        break;
      case kDifference:
        window_->ShowDifference();
        break;
      case kTolerance:
        if (act.a % 2) {
          window_->ToleranceUp();
        } else {
          window_->ToleranceDown();
        }
        break;
      case kNextDifference:
        if (act.a % 2) {
          window_->NextDifference();
        } else {
          window_->PreviousDifference();
        }
        break;
    }
    desktop_.open_answers.clear();
    QCoreApplication::processEvents();
    Check(act);
  }

  void Settle() {
    QElapsedTimer waited;
    waited.start();
    while (window_->load_in_progress() && waited.elapsed() < 20000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
  }

  // Every promise the window makes, whatever came before.
  void Check(const Action& act) {
    const ImageBrowser& browser = window_->browser();
    const Bitmap& image = window_->image();
    const Viewport& viewport = window_->viewport();
    const ImageView* view = window_->controls().view;
    const ViewImage& picture = view->Picture();
    if (!desktop_.exceptions.empty())
      failures_ << "an exception reached the user: " << desktop_.exceptions[0].text << "\n";

    const CompareSession& comparison = window_->comparison();
    const bool comparing = comparison.active() && !image.Empty() && !comparison.b().image().Empty();
    const Bitmap& b_image = comparison.b().image();
    if (comparing) {
      // Both named, A as the image shown, B as its own list's entry.
      if (Caption().find("A " + browser.shown_path() + "  W ") == std::string::npos ||
          Caption().find(" " + comparison.b().shown_path() + "  W ") == std::string::npos)
        failures_ << "the comparison's caption \"" << Caption() << "\" does not name A and B\n";
      if (viewport.image_width() != std::max(image.Width(), b_image.Width()) ||
          viewport.image_height() != std::max(image.Height(), b_image.Height()))
        failures_ << "the viewport does not span both images\n";
    } else if (!image.Empty()) {
      if (!browser.HasCurrentEntry()) {
        // Only while the first image of a new selection loads is the one shown not
        // listed; the caption still names it.
        if (!window_->load_in_progress()) failures_ << "an image is shown that is not listed\n";
        if (Caption().find(" " + browser.shown_path() + "  ") == std::string::npos)
          failures_ << "caption \"" << Caption() << "\" does not name the image shown\n";
      } else {
        const std::string& path = browser.files()[browser.index()];
        const std::string head = std::to_string(browser.index() + 1) + "/" +
                                 std::to_string(browser.files().Count()) + " " + path + "  ";
        if (path != browser.shown_path()) failures_ << "the position is not the image shown\n";
        if (Caption().rfind(head, 0) != 0)
          failures_ << "caption \"" << Caption() << "\" is not \"" << head << "...\"\n";
        const std::uint32_t rgb = image.PixelRgb(0, 0);
        if (rgb != kEdited && !versions_[path].count(VersionOf(rgb)))
          failures_ << "the pixels shown were never " << path << "'s\n";
      }
    }

    // The view's picture has the view's size and shows what the mapping says.
    if (picture.Width() != view->DeviceWidth() || picture.Height() != view->DeviceHeight())
      failures_ << "picture " << picture.Width() << "x" << picture.Height() << " in a view of "
                << view->DeviceWidth() << "x" << view->DeviceHeight() << "\n";
    if (viewport.view_width() != view->DeviceWidth() ||
        viewport.view_height() != view->DeviceHeight())
      failures_ << "the viewport does not know the view's size\n";
    const bool flip_view = comparing && comparison.view() == CompareView::kFlip;
    const Bitmap& drawn = flip_view && comparison.showing_b() ? b_image : image;
    if (comparing && !flip_view) {
      // Split and difference draw both; their pixels are checked by their own tests.
    } else if (!image.Empty() &&
               viewport.image_width() == (comparing ? viewport.image_width() : image.Width()) &&
               viewport.image_height() == (comparing ? viewport.image_height() : image.Height()) &&
               picture.Width() > 0) {
      const ZoomBox box = viewport.box();
      for (int i = 0; i < 24; ++i) {
        const int px = (i * 37 + step_) % picture.Width(), py = (i * 53 + step_) % picture.Height();
        if (viewport.zoomed() && viewport.grid_shown()) break;
        const bool on_box = !viewport.zoomed() && !box.Empty() &&
                            (px == box.Left || px == box.Right - 1 || py == box.Top ||
                             py == box.Bottom - 1 || px == box.Right || py == box.Bottom);
        if (on_box) continue;
        const SourcePoint p = viewport.PixelAt(px, py);
        const bool inside = p.X >= 0 && p.Y >= 0 && p.X < drawn.Width() && p.Y < drawn.Height();
        const std::uint32_t expected = inside ? drawn.PixelRgb(p.X, p.Y) : 0xFFFFFFu;
        if (picture.PixelRgb(px, py) != expected) {
          failures_ << "view pixel " << px << "," << py << " is not image pixel " << p.X << ","
                    << p.Y << "\n";
          break;
        }
      }
    } else if (!image.Empty() && !comparing) {
      failures_ << "the viewport's image is not the image shown\n";
    }

    // The readout names the pixel drawn under the pointer, also after a view change
    // (not while it names the difference N stepped to, until the pointer moves).
    const bool pointer_in_view = pointer_.x() >= 0 && pointer_.x() < view->DeviceWidth() &&
                                 pointer_.y() >= 0 && pointer_.y() < view->DeviceHeight();
    if (pointer_in_view && view->mouse_move_attached && !window_->load_in_progress() &&
        !image.Empty() && act.kind != kResize) {
      const SourcePoint p = viewport.PixelAt(pointer_.x(), pointer_.y());
      const std::string named = "[X: " + std::to_string(p.X) + " Y: " + std::to_string(p.Y) + "]";
      if (StatusText().find(named) == std::string::npos && act.kind != kConvert &&
          act.kind != kNextDifference && act.kind != kPrint && act.kind != kReplaceColours &&
          act.kind != kEscape && act.kind != kSettle &&
          StatusText().find("   difference ") == std::string::npos &&
          StatusText().find("[X: ") != std::string::npos)
        failures_ << "the readout \"" << StatusText() << "\" does not name " << named << "\n";
    }

    // The inspector's figures are the image shown's.
    const std::optional<RegionStats>& stats = window_->inspector_stats();
    if (stats && stats->pixels > 0 && !image.Empty()) {
      const std::uint32_t rgb = image.PixelRgb(0, 0);
      if (stats->red.min != static_cast<int>(rgb >> 16) ||
          stats->green.max != static_cast<int>(rgb >> 8 & 0xFF))
        failures_ << "the inspector counts another image\n";
    }

    // A broken file is reported at most once a selection, and leaves the list when it is.
    for (const std::string& path : broken_) {
      int reports = 0;
      for (const auto& message : desktop_.messages)
        reports += message.text.find("Error Opening " + path + "\n") != std::string::npos;
      if (reports > selections_[path] + rewrites_at_[path])
        failures_ << path << " was reported " << reports << " times\n";
    }
  }

  std::string Failures() const { return failures_.str(); }

 private:
  std::string Path(int i) const { return (dir_ / ("f" + std::to_string(i) + ".bmp")).string(); }
  int NewVersion() { return next_version_++ % 256; }
  void Rewrite(int i, int w, int h) {
    const int version = NewVersion();
    const std::string path = Path(i);
    WriteImage("f" + std::to_string(i) + ".bmp", w, h,
               [version](int px, int py) { return PixelOf(version, px, py); });
    versions_[path].insert(version);
    broken_.erase(path);
    rewrites_at_[path] += 1;
  }

  QTimer confirm_;
  int step_ = 0;
  int next_version_ = 0;
  QPoint pointer_{-1, -1};
  std::map<std::string, std::set<int>> versions_;
  std::map<std::string, int> selections_;
  std::map<std::string, int> rewrites_at_;
  std::set<std::string> broken_;
  std::ostringstream failures_;
};

}  // namespace

void showValue(const Action& action, std::ostream& os) {
  os << kKindNames[action.kind] << "(" << action.a << "," << action.b << "," << action.c << ","
     << action.d << ")";
}

}  // namespace zelk

namespace rc {
template <>
struct Arbitrary<zelk::Action> {
  static Gen<zelk::Action> arbitrary() {
    const auto param = gen::inRange(0, 1000);
    return gen::map(
        gen::tuple(gen::inRange(0, static_cast<int>(zelk::kKinds)), param, param, param, param),
        [](const std::tuple<int, int, int, int, int>& t) {
          return zelk::Action{std::get<0>(t), std::get<1>(t), std::get<2>(t), std::get<3>(t),
                              std::get<4>(t)};
        });
  }
};
}  // namespace rc

namespace zelk {
namespace {

RC_GTEST_PROP(RandomUserActions, KeepTheWindowsPromises, (const std::vector<Action>& actions)) {
  RandomSession session;
  session.Start();
  for (const Action& action : actions) {
    session.Apply(action);
    if (!session.Failures().empty()) break;
  }
  session.Settle();
  const std::string failures = session.Failures();
  session.Finish();
  if (!failures.empty()) RC_FAIL(failures);
}

}  // namespace
}  // namespace zelk
