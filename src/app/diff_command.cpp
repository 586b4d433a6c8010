#include "app/diff_command.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

#include "codecs/image_loader.h"
#include "codecs/image_writer.h"
#include "codecs/png_codec.h"
#include "codecs/png_whole_file.h"
#include "codecs/safe_file_writer.h"
#include "core/compare/compare_render.h"
#include "core/compare/compare_text.h"
#include "core/compare/pixel_diff.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

// A mistake on the command line, told as it is.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DiffArguments {
  std::string a, b, out;
  int tolerance = 0;
};

int ParseTolerance(const std::string& text) {
  int value = -1;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || at != end || value < 0 || value > kMaxDiffTolerance)
    throw UsageError("the tolerance must be a whole number from 0 to 255, not \"" + text + "\"");
  return value;
}

DiffArguments ParseArguments(const std::vector<std::string>& arguments) {
  DiffArguments parsed;
  std::vector<std::string> files;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      files.push_back(argument);
    } else if (argument == "--") {
      options_ended = true;
    } else if (argument == "--tolerance") {
      if (i + 1 == arguments.size()) throw UsageError("--tolerance needs a number");
      parsed.tolerance = ParseTolerance(arguments[++i]);
    } else if (argument.rfind("--tolerance=", 0) == 0) {
      parsed.tolerance = ParseTolerance(argument.substr(12));
    } else {
      throw UsageError("unknown option " + argument + " for --diff");
    }
  }
  if (files.size() < 2 || files.size() > 3)
    throw UsageError("--diff takes two images and optionally a file for the difference picture");
  parsed.a = files[0];
  parsed.b = files[1];
  if (files.size() == 3) parsed.out = files[2];
  return parsed;
}

// A PNG is first tried whole (faster, for twice the memory); any file that way does
// not take, or any trouble, goes to the normal loader, which then gives the reason.
void LoadForDiff(const std::string& path, Bitmap& out) {
  if (UpperExtension(path) == ".PNG" && TryLoadPngWhole(path, out)) return;
  LoadImageFile(path, out);
}

// Loads both at once: a decode spends much of its time on one core (inflating, entropy
// decoding), so the second file's decode on a thread of its own fills the other.
void LoadBoth(const DiffArguments& args, Bitmap& a, Bitmap& b) {
  std::exception_ptr b_failed;
  const auto load_b = [&] {
    try {
      LoadForDiff(args.b, b);
    } catch (...) {
      b_failed = std::current_exception();
    }
  };
  std::thread other;
  try {
    other = std::thread(load_b);
  } catch (const std::system_error&) {
    // No thread to be had: B is loaded after A.
  }
  std::exception_ptr a_failed;
  try {
    LoadForDiff(args.a, a);
  } catch (...) {
    a_failed = std::current_exception();
  }
  if (other.joinable()) {
    other.join();
  } else if (!a_failed) {
    load_b();
  }
  // A's reason first, as a reader of the command line would look for it.
  const auto rethrow_naming = [](const std::exception_ptr& failed, const std::string& path) {
    try {
      std::rethrow_exception(failed);
    } catch (const ImageError& e) {
      throw ImageError(path + ": " + e.what());
    } catch (const std::bad_alloc&) {
      throw ImageError(path + ": not enough memory to load it");
    }
  };
  if (a_failed) rethrow_naming(a_failed, args.a);
  if (b_failed) rethrow_naming(b_failed, args.b);
}

// A difference picture is mostly a grey copy of a photograph, whose noise makes the
// writer's level 9 crawl (over a minute for 24 megapixels); PNG pictures are encoded
// for speed instead, like a copy for the clipboard. Every other format as Convert
// writes it.
void WritePicture(const std::string& path, const Bitmap& picture) {
  if (UpperExtension(path) != ".PNG") {
    SaveImageFile(path, picture);
    return;
  }
  SafeFileWriter writer(path);
  std::FILE* file = writer.File();
  EncodePngFast({picture.Data(), picture.Stride(), picture.Width(), picture.Height()},
                FastPngSettings{}, [&](const std::uint8_t* data, std::size_t size) {
                  if (std::fwrite(data, 1, size, file) != size)
                    throw std::system_error(errno, std::generic_category(), "cannot write " + path);
                });
  writer.Commit();
}

}  // namespace

int RunDiffCommand(const std::vector<std::string>& arguments, std::ostream& out,
                   std::ostream& err) {
  try {
    const DiffArguments args = ParseArguments(arguments);
    Bitmap a, b;
    LoadBoth(args, a, b);
    std::optional<DiffResult> diff = CompareBitmaps(a, b, args.tolerance);
    if (!diff) throw std::logic_error("the comparison stopped without being asked to");
    // B is not needed for the picture (what only B covers differs anyway): its memory
    // goes before the picture's is taken.
    b.Release();
    if (!args.out.empty()) {
      const Bitmap picture = DifferencePicture(a, diff->mask);
      try {
        WritePicture(args.out, picture);
      } catch (const ImageError& e) {
        throw ImageError("cannot write " + args.out + ": " + e.what());
      }
    }
    out << DiffSummaryLine(diff->stats) << '\n' << std::flush;
    return diff->stats.Equal() ? kDiffEqual : kDiffDiffers;
  } catch (const std::bad_alloc&) {
    err << "zelkzoomer: not enough memory to compare the images\n";
  } catch (const std::exception& e) {
    err << "zelkzoomer: " << e.what() << '\n';
  }
  return kDiffTrouble;
}

}  // namespace zelk
