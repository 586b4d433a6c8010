#include "x_session.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "codecs/image_loader.h"

namespace zelk::e2e {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kPanelHeight = 41;
constexpr int kStatusBarHeight = 19;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) out.push_back(line);
  return out;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string MissingTool() {
  for (const char* tool : {"Xvfb", "xdotool", "xclip", "xprop", "import"})
    if (FindProgram(tool).empty()) return std::string(tool) + " is not installed";
  return {};
}

XServer::XServer(const std::string& log_file, const std::string& screen) {
  ChildProcess::Options options;
  options.keep_fd_3 = true;
  options.stderr_file = log_file;
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten",
                               "tcp", "-noreset"},
      options);
  // Xvfb writes the display number it took once it accepts connections.
  std::string number;
  const auto end = Clock::now() + std::chrono::seconds(15);
  while (Clock::now() < end && number.find('\n') == std::string::npos) {
    pollfd p{process_->Fd3(), POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) {
      if (!process_->Running()) break;
      continue;
    }
    char buffer[32];
    const ssize_t n = ::read(process_->Fd3(), buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, static_cast<std::size_t>(n));
  }
  if (number.find('\n') == std::string::npos)
    throw std::runtime_error("Xvfb did not start: " + ReadFile(log_file));
  display_ = ":" + number.substr(0, number.find('\n'));
}

bool WaitUntil(const std::function<bool()>& check, milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  for (;;) {
    if (check()) return true;
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(milliseconds(40));
  }
}

Viewer::Viewer(const XServer& x, const std::string& program, const std::vector<std::string>& args,
               const std::string& working_dir, const std::string& home,
               const Environment& extra_env) {
  namespace fs = std::filesystem;
  fs::create_directories(home + "/runtime");
  fs::permissions(home + "/runtime", fs::perms::owner_all);
  env_ = x.Env();
  env_["HOME"] = home;
  env_["XDG_CONFIG_HOME"] = home + "/config";
  env_["XDG_CACHE_HOME"] = home + "/cache";
  env_["XDG_DATA_HOME"] = home + "/data";
  env_["XDG_RUNTIME_DIR"] = home + "/runtime";
  env_["QT_QPA_PLATFORM"] = "xcb";
  env_["QT_ACCESSIBILITY"] = "0";
  env_["NO_AT_BRIDGE"] = "1";
  env_["LC_ALL"] = "C.UTF-8";
  // Leaks at exit belong to the unit tests; here a sanitizer report must end the run.
  env_["ASAN_OPTIONS"] = "detect_leaks=0:abort_on_error=0:exitcode=86";
  for (const auto& [name, value] : extra_env) env_[name] = value;
  stderr_file_ = home + "/viewer-stderr.txt";
  capture_file_ = home + "/capture.png";

  ChildProcess::Options options;
  options.working_dir = working_dir;
  options.extra_env = env_;
  options.stderr_file = stderr_file_;
  options.stdout_file = home + "/viewer-stdout.txt";
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  process_ = std::make_unique<ChildProcess>(argv, options);

  const std::string pid = std::to_string(process_->Pid());
  WaitUntil(
      [&] {
        if (!process_->Running()) return true;
        for (const std::string& id :
             Lines(Tool({"xdotool", "search", "--onlyvisible", "--pid", pid, "--name", "."})
                       .output)) {
          // The main window is the program's first visible one; it carries a caption.
          window_ = id;
          return true;
        }
        return false;
      },
      std::chrono::seconds(30));
  if (window_.empty()) throw std::runtime_error("the viewer showed no window: " + ErrorOutput());
  // The panel's buttons take clicks only once the window is mapped and laid out.
  Tool({"xdotool", "windowfocus", "--sync", window_});
}

Viewer::~Viewer() {
  if (process_) process_->Kill();
}

RunResult Viewer::Tool(const std::vector<std::string>& argv) const {
  static const auto t0 = Clock::now();
  const auto start = Clock::now();
  RunResult r = RunCommand(argv, env_, std::chrono::seconds(15));
  if (std::getenv("ZELK_E2E_TRACE")) {
    std::fprintf(stderr, "%7.3f %6.3f", std::chrono::duration<double>(start - t0).count(),
                 std::chrono::duration<double>(Clock::now() - start).count());
    for (const auto& a : argv) std::fprintf(stderr, " %s", a.c_str());
    std::fprintf(stderr, "\n");
  }
  return r;
}

std::string Viewer::ClientSize() const {
  const std::string out = Tool({"xdotool", "getwindowgeometry", window_}).output;
  const std::size_t at = out.find("Geometry: ");
  if (at == std::string::npos) return out;
  const std::size_t end = out.find('\n', at);
  return out.substr(at + 10, end == std::string::npos ? std::string::npos : end - at - 10);
}

std::string Viewer::Caption() const {
  std::string name = Tool({"xdotool", "getwindowname", window_}).output;
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

bool Viewer::WaitForCaption(const std::function<bool(const std::string&)>& check,
                            std::string* last) {
  std::string caption;
  const bool ok = WaitUntil([&] {
    caption = Caption();
    return check(caption);
  });
  if (last) *last = caption;
  return ok;
}

std::vector<std::string> Viewer::OtherWindows() const {
  std::vector<std::string> out;
  for (const std::string& id : Lines(Tool({"xdotool", "search", "--onlyvisible", "--pid",
                                           std::to_string(process_->Pid()), "--name", "."})
                                         .output))
    if (id != window_) out.push_back(id);
  return out;
}

bool Viewer::WaitForOtherWindows(std::size_t count) {
  return WaitUntil([&] { return OtherWindows().size() == count; });
}

void Viewer::MoveTo(int x, int y) {
  // Not --sync: that waits for the pointer to move, forever when it is already there.
  Tool({"xdotool", "mousemove", "--window", window_, std::to_string(x), std::to_string(y)});
}

void Viewer::Click(int x, int y, int button) {
  MoveTo(x, y);
  Tool({"xdotool", "click", std::to_string(button)});
}

void Viewer::Drag(int x0, int y0, int x1, int y1, int button) {
  MoveTo(x0, y0);
  Tool({"xdotool", "mousedown", std::to_string(button)});
  // Half-way first, so the program sees a move with the button held before the last.
  MoveTo((x0 + x1) / 2, (y0 + y1) / 2);
  MoveTo(x1, y1);
  Tool({"xdotool", "mouseup", std::to_string(button)});
}

std::string Viewer::DropFiles(const std::string& drag_source, const std::vector<std::string>& files,
                              int x, int y) {
  // A corner of the 1280 x 1024 screen that the centred main window leaves free.
  constexpr int kSourceX = 1160, kSourceY = 950;
  ChildProcess::Options options;
  options.extra_env = env_;
  options.stderr_file = stderr_file_ + ".drag-source";
  std::vector<std::string> argv{drag_source, std::to_string(kSourceX), std::to_string(kSourceY)};
  argv.insert(argv.end(), files.begin(), files.end());
  ChildProcess source(argv, options);
  const bool shown = WaitUntil([&] {
    return !Tool({"xdotool", "search", "--onlyvisible", "--name", "zelk drag source"})
                .output.empty();
  });
  if (!shown) return "the drag source showed no window";
  // Press on the source (the drag starts there), then move over the target in steps so
  // that XDND finds it, and release.
  Tool({"xdotool", "mousemove", std::to_string(kSourceX + 50), std::to_string(kSourceY + 30)});
  Tool({"xdotool", "mousedown", "1"});
  Tool({"xdotool", "mousemove", std::to_string(kSourceX + 20), std::to_string(kSourceY + 10)});
  for (int step = 3; step >= 0; --step) MoveTo(x + step * 10, y + step * 10);
  Tool({"xdotool", "mouseup", "1"});
  const std::optional<int> status = source.Wait(std::chrono::seconds(10));
  if (!status) return "the drag did not end";
  std::string said = source.Output();
  while (!said.empty() && said.back() == '\n') said.pop_back();
  return said;
}

void Viewer::Focus() {
  Tool({"xdotool", "windowfocus", "--sync", window_});
}

void Viewer::FocusTop() {
  // With no window manager nobody hands the focus to a new dialog; do what a click on
  // it would.
  const std::vector<std::string> others = OtherWindows();
  Tool({"xdotool", "windowfocus", "--sync", others.empty() ? window_ : others.back()});
}

void Viewer::Key(const std::string& keysym) {
  FocusTop();
  Tool({"xdotool", "key", "--delay", "30", keysym});
}

void Viewer::Type(const std::string& text) {
  FocusTop();
  Tool({"xdotool", "type", "--delay", "20", text});
}

void Viewer::Resize(int width, int height) {
  Tool({"xdotool", "windowsize", "--sync", window_, std::to_string(width), std::to_string(height)});
}

Bitmap Viewer::Capture() const {
  std::filesystem::remove(capture_file_);
  const RunResult r = Tool({"import", "-window", window_, "png24:" + capture_file_});
  if (r.status != 0) throw std::runtime_error("window capture failed");
  Bitmap out;
  LoadImageFile(capture_file_, out);
  return out;
}

Bitmap Viewer::ViewPart(const Bitmap& window) {
  Bitmap out;
  const int h = window.Height() - kPanelHeight - kStatusBarHeight;
  if (h <= 0) return out;
  out.Reset(window.Width(), h);
  for (int y = 0; y < h; ++y)
    std::copy_n(window.Row(y + kPanelHeight), static_cast<std::size_t>(window.Width()) * 3,
                out.Row(y));
  return out;
}

std::string Viewer::ClipboardText() const {
  return Tool({"xclip", "-selection", "clipboard", "-o"}).output;
}

bool Viewer::ClipboardImage(const std::string& png_path) const {
  const RunResult r = Tool({"xclip", "-selection", "clipboard", "-t", "image/png", "-o"});
  if (r.status != 0 || r.output.empty()) return false;
  std::ofstream(png_path, std::ios::binary) << r.output;
  return true;
}

std::unique_ptr<ChildProcess> Viewer::OfferClipboardImage(const std::string& png_path) const {
  ChildProcess::Options options;
  options.extra_env = env_;
  options.stdout_file = "/dev/null";
  // -quiet keeps xclip in the foreground, so it stays this test's child.
  auto xclip = std::make_unique<ChildProcess>(
      std::vector<std::string>{"xclip", "-quiet", "-selection", "clipboard", "-t", "image/png",
                               "-i", png_path},
      options);
  // It owns the selection once another program can read its targets.
  WaitUntil([&] {
    return Tool({"xclip", "-selection", "clipboard", "-t", "TARGETS", "-o"})
               .output.find("image/png") != std::string::npos;
  });
  return xclip;
}

bool Viewer::HasWindowIcon(int size) const {
  // xprop draws each icon of the property under a line "Icon (width x height):".
  std::istringstream text(Tool({"xprop", "-id", window_, "_NET_WM_ICON"}).output);
  std::string line;
  while (std::getline(text, line)) {
    int width = 0, height = 0;
    const std::size_t at = line.find("Icon (");
    if (at != std::string::npos &&
        std::sscanf(line.c_str() + at, "Icon (%d x %d)", &width, &height) == 2 && width >= size &&
        height >= size)
      return true;
  }
  return false;
}

int Viewer::Quit() {
  if (process_->Running()) {
    // "&Quit" is anchored to the right edge of the panel: 35 wide, 17 from the edge.
    int width = 0;
    std::istringstream shell(Tool({"xdotool", "getwindowgeometry", "--shell", window_}).output);
    std::string line;
    while (std::getline(shell, line))
      if (line.rfind("WIDTH=", 0) == 0) width = std::atoi(line.c_str() + 6);
    Click(width - 17 - 18, 7 + 11);
  }
  const std::optional<int> status = process_->Wait(std::chrono::seconds(20));
  return status ? *status : -1;
}

std::string Viewer::ErrorOutput() const {
  return ReadFile(stderr_file_);
}

}  // namespace zelk::e2e
