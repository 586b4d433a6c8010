#include <sys/stat.h>
#include <QPrinter>
#include <QTimer>
#include <array>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/prompt_dialog.h"
#include "codecs/image_loader.h"
#include "main_window_fixture.h"
#include "support/support.h"

namespace zelk {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.PixelRgb(x, y) != b.PixelRgb(x, y)) return false;
  return true;
}

TEST_F(MainWindowTest, ConvertWritesByExtensionAndTheNewFileBecomesCurrent) {
  MakeWindow(300, 200);
  const std::string source = WriteImage("a.png", 30, 20, Pattern);
  OpenThroughDialog({source});

  const std::string target = (dir_ / "a.Bmp").string();
  desktop_.save_answers.push_back(target);
  window_->ConvertCurrentFile();
  ASSERT_EQ(desktop_.save_requests.size(), 1u);
  EXPECT_EQ(desktop_.save_requests[0].title,
            "Choose File Name to Convert to (Extension Dictates Format) :-");
  EXPECT_EQ(desktop_.save_requests[0].initial_dir, dir_.string() + "/");
  EXPECT_EQ(desktop_.save_requests[0].initial_name, "a");
  Bitmap written;
  LoadImageFile(target, written);
  EXPECT_TRUE(SamePixels(written, window_->image()));
  // a.Bmp sorts before a.png and is now the current entry.
  EXPECT_EQ(window_->files().Count(), 2);
  EXPECT_EQ(window_->current_index(), 0);
  EXPECT_EQ(Caption().rfind("1/2 " + target + "  ", 0), 0u) << Caption();
  EXPECT_TRUE(window_->controls().next_button->isEnabled());

  // Converting to a listed entry moves to it without growing the list.
  desktop_.save_answers.push_back(source);
  window_->ConvertCurrentFile();
  EXPECT_TRUE(desktop_.messages.empty());
  EXPECT_EQ(window_->files().Count(), 2);
  EXPECT_EQ(window_->current_index(), 1);

  // The current file itself is refused, whatever path leads to it.
  desktop_.save_answers.push_back((dir_ / "." / "a.png").string());
  window_->ConvertCurrentFile();
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages.back().text, "Same file names");

  desktop_.save_answers.push_back((dir_ / "noextension").string());
  window_->ConvertCurrentFile();
  EXPECT_EQ(desktop_.messages.back().text, "Needs an extension");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "noextension"));
}

TEST_F(MainWindowTest, TheWindowGoesOnProcessingEventsWhileAConvertWrites) {
  MakeWindow(300, 200);
  // Noise compresses slowly: writing it as PNG takes a good fraction of a second.
  const auto noise = [](int x, int y) {
    return (static_cast<std::uint32_t>(x) * 2654435761u ^ static_cast<std::uint32_t>(y) * 40503u) *
               2246822519u >>
           8;
  };
  OpenThroughDialog({WriteImage("noise.bmp", 1600, 1200, noise)});
  const std::string target = (dir_ / "noise.png").string();
  int events_while_writing = 0;
  desktop_.on_process_events = [&] {
    if (!std::filesystem::exists(target)) ++events_while_writing;
  };
  desktop_.save_answers.push_back(target);
  window_->ConvertCurrentFile();
  EXPECT_GT(events_while_writing, 0);
  Bitmap written;
  LoadImageFile(target, written);
  EXPECT_TRUE(SamePixels(written, window_->image()));
  EXPECT_EQ(Caption().rfind("2/2 " + target + "  ", 0), 0u) << Caption();
}

TEST_F(MainWindowTest, AFailedConvertIsShownAndChangesNothing) {
  MakeWindow(300, 200);
  const std::string source = WriteImage("a.png", 30, 20, Pattern);
  OpenThroughDialog({source});
  // A folder in the way of the target: the write fails however privileged we are.
  const std::filesystem::path in_the_way = dir_ / "taken.bmp";
  std::filesystem::create_directories(in_the_way / "inside");
  desktop_.save_answers.push_back(in_the_way.string());
  window_->RunGuarded([&] { window_->ConvertCurrentFile(); });
  ASSERT_EQ(desktop_.exceptions.size(), 1u);
  EXPECT_NE(desktop_.exceptions[0].text.find(in_the_way.string()), std::string::npos)
      << desktop_.exceptions[0].text;
  EXPECT_TRUE(std::filesystem::is_directory(in_the_way / "inside"));
  EXPECT_EQ(window_->files().Count(), 1);
  EXPECT_EQ(Caption().rfind("1/1 " + source, 0), 0u);

  if (geteuid() == 0) return;  // root writes into read-only folders
  const std::filesystem::path locked = dir_ / "locked";
  std::filesystem::create_directory(locked);
  const std::string target = (locked / "old.bmp").string();
  std::ofstream(target) << "old content";
  // A write-protected file in a locked folder: a plain write is refused too.
  chmod(target.c_str(), 0444);
  chmod(locked.c_str(), 0555);
  desktop_.save_answers.push_back(target);
  window_->RunGuarded([&] { window_->ConvertCurrentFile(); });
  chmod(locked.c_str(), 0755);
  ASSERT_EQ(desktop_.exceptions.size(), 2u);
  EXPECT_EQ(ReadFile(target), "old content");
}

TEST_F(MainWindowTest, SaveVisibleWritesTheViewBesideTheImage) {
  MakeWindow(200, 100);
  const std::string a = WriteImage("a.png", 20, 10, Pattern);
  const std::string b = WriteImage("b.png", 20, 10, Pattern);
  OpenThroughDialog({a, b});
  EXPECT_TRUE(window_->SaveVisibleView());
  const std::string saved = (dir_ / "a_ZelkZoomed.bmp").string();
  ASSERT_EQ(desktop_.messages.size(), 1u);
  EXPECT_EQ(desktop_.messages[0].text, "Visible Image Saved to " + saved);
  EXPECT_TRUE(window_->controls().next_button->hasFocus() || !window_->isActiveWindow());
  Bitmap written;
  LoadImageFile(saved, written);
  ASSERT_EQ(written.Width(), 200);
  ASSERT_EQ(written.Height(), 100);
  EXPECT_EQ(written.PixelRgb(199, 99), window_->controls().view->Picture().PixelRgb(199, 99));
  // Saving again overwrites; the list does not grow.
  EXPECT_TRUE(window_->SaveVisibleView());
  EXPECT_EQ(window_->files().Count(), 2);
}

TEST_F(MainWindowTest, CopyThenPasteGivesTheSamePixelsUnderANewName) {
  MakeWindow(300, 200);
  const std::string a = WriteImage("a.png", 30, 20, Pattern);
  OpenThroughDialog({a});
  window_->CopyImageToClipboard();
  ASSERT_TRUE(desktop_.clipboard_image.has_value());

  EXPECT_TRUE(window_->PasteImage());
  EXPECT_TRUE(window_->PasteImage());
  EXPECT_FALSE(window_->controls().actual_size_box->isChecked());
  ASSERT_EQ(window_->files().Count(), 3);
  const std::string& pasted = window_->files()[window_->current_index()];
  const std::string name = pasted.substr(dir_.string().size() + 1);
  ASSERT_EQ(name.size(), 3u + 9u + 4u) << name;
  EXPECT_EQ(name.substr(0, 3), "cb_");
  EXPECT_EQ(name.substr(12), ".bmp");
  for (char c : name.substr(3, 9)) EXPECT_TRUE(c >= 'a' && c <= 'z') << name;
  EXPECT_TRUE(SamePixels(window_->image(), *desktop_.clipboard_image));
  EXPECT_EQ(Caption().find(pasted + "  0 bytes  W 30  H 20"), Caption().find(' ') + 1);

  desktop_.clipboard_image.reset();
  desktop_.clipboard_text = "just text";
  EXPECT_TRUE(window_->PasteImage());
  EXPECT_EQ(desktop_.messages.back().text, "Clipboard doesn't contain an image");
  EXPECT_EQ(window_->files().Count(), 3);
}

TEST_F(MainWindowTest, PasteIntoAnEmptyWindowShowsTheImage) {
  MakeWindow(300, 200);
  Bitmap image;
  image.Reset(3, 2);
  image.SetPixelRgb(2, 1, 0x123456);
  desktop_.clipboard_image = std::move(image);
  window_->PasteImage();
  EXPECT_FALSE(window_->loading());
  EXPECT_TRUE(window_->controls().zoom_button->isEnabled());
  EXPECT_EQ(window_->files().Count(), 1);
  EXPECT_EQ(window_->controls().view->Picture().PixelRgb(299, 199), 0x123456u);
}

TEST_F(MainWindowTest, AnotherProgramsPictureIsDecodedLikeALoad) {
  MakeWindow(300, 200);
  const std::string a = WriteImage("a.png", 30, 20, Pattern);
  OpenThroughDialog({a});
  const Bitmap shown = window_->image().Clone();
  // Another program offers a PNG file's bytes: the paste decodes them on the load's
  // thread, the window keeps its image until the new one is complete.
  std::ifstream in(WriteImage("b.png", 41, 7, Pattern), std::ios::binary);
  desktop_.clipboard_file_bytes.emplace(std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>());
  ASSERT_TRUE(window_->PasteImage());
  EXPECT_TRUE(window_->load_in_progress());
  EXPECT_TRUE(SamePixels(window_->image(), shown));
  WaitForLoad();
  EXPECT_EQ(window_->image().Width(), 41);
  EXPECT_EQ(window_->image().PixelRgb(40, 6), Pattern(40, 6));
  ASSERT_EQ(window_->files().Count(), 2);
  EXPECT_EQ(FileNamePart(window_->files()[window_->current_index()]).substr(0, 3), "cb_");

  // Bytes that are no picture: the clipboard's message, nothing listed or replaced.
  desktop_.clipboard_file_bytes = std::vector<std::uint8_t>{'G', 'I', 'F', '8', '9', 'a'};
  window_->PasteImage();
  WaitForLoad();
  EXPECT_EQ(desktop_.messages.back().text,
            "Error reading image from clipboard - the data is not a PNG, BMP or JPEG picture");
  EXPECT_EQ(window_->files().Count(), 2);
  EXPECT_EQ(window_->image().Width(), 41);

  // Bytes still to be fetched: a transfer that fails says why; one cancelled with
  // Escape (the fetch sees the load's cancel) says nothing and changes nothing.
  desktop_.clipboard_fetch = [](const std::atomic<bool>&, std::string& error) {
    error = "the program that owns the clipboard stopped answering";
    return std::optional<std::vector<std::uint8_t>>();
  };
  window_->PasteImage();
  WaitForLoad();
  EXPECT_EQ(desktop_.messages.back().text,
            "Error reading image from clipboard - the program that owns the clipboard stopped "
            "answering");
  const std::size_t messages = desktop_.messages.size();
  desktop_.clipboard_fetch = [](const std::atomic<bool>& cancel, std::string& error) {
    while (!cancel) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    error = "cancelled";
    return std::optional<std::vector<std::uint8_t>>();
  };
  window_->PasteImage();
  ASSERT_TRUE(window_->load_in_progress());
  window_->Escape();
  WaitForLoad();
  EXPECT_EQ(desktop_.messages.size(), messages);
  EXPECT_EQ(window_->files().Count(), 2);
  EXPECT_EQ(window_->image().Width(), 41);
}

TEST_F(MainWindowTest, TheSvgPathDescribesTheBoxInSourcePixels) {
  MakeWindow(640, 400);
  OpenThroughDialog({WriteImage("big.png", 1280, 800, Pattern)});
  ASSERT_DOUBLE_EQ(window_->view_scale(), 0.5);
  window_->controls().enforce_aspect_box->click();
  Drag(window_->controls().view, 10, 20, 110, 80);
  EXPECT_TRUE(window_->CopyZoomBoxAsSvgPath());
  EXPECT_EQ(desktop_.clipboard_text, "M20,40 H220 V160 H20 Z");
  Drag(window_->controls().view, 0, 0, 640, 400);
  window_->CopyZoomBoxAsSvgPath();
  EXPECT_EQ(desktop_.clipboard_text, "M0,0 H1280 V800 H0 Z");
  desktop_.clipboard_text = "untouched";
  Drag(window_->controls().view, 5, 5, 5, 50);
  window_->CopyZoomBoxAsSvgPath();
  EXPECT_EQ(desktop_.clipboard_text, "untouched");
}

TEST_F(MainWindowTest, ColourRangesReplaceChannelsInPlace) {
  MakeWindow(300, 200);
  OpenThroughDialog({WriteImage("c.png", 3, 1, [](int x, int) {
    return std::array<std::uint32_t, 3>{0xF5F5F5, 0xFF0000, 0x000000}[x];
  })});
  // OK the offered default text in the prompt dialog, then pick 10 20 30.
  QTimer::singleShot(0, [] { SharedPromptDialog().controls().ok_button->click(); });
  desktop_.colour_answers.push_back(0x102030);
  window_->ReplaceColourRanges();
  ASSERT_EQ(desktop_.colour_requests.size(), 1u);
  EXPECT_EQ(desktop_.colour_requests[0], 0xC0C0C0u);
  EXPECT_EQ(window_->image().PixelRgb(0, 0), 0x102030u);
  EXPECT_EQ(window_->image().PixelRgb(1, 0), 0x100000u);
  EXPECT_EQ(window_->image().PixelRgb(2, 0), 0x000000u);
  EXPECT_EQ(window_->controls().view->Picture().PixelRgb(0, 0), 0x102030u);

  // Cancelling the colour dialog changes nothing; the next dialog starts at the last colour.
  QTimer::singleShot(0, [] { SharedPromptDialog().controls().ok_button->click(); });
  window_->ReplaceColourRanges();
  EXPECT_EQ(desktop_.colour_requests.back(), 0x102030u);
  EXPECT_EQ(window_->image().PixelRgb(2, 0), 0x000000u);
}

}  // namespace
}  // namespace zelk

namespace zelk {
namespace {

TEST_F(MainWindowTest, PrintAsksAboutTheTitleAndPrintsEvenWhileZoomed) {
  MakeWindow(300, 200);
  OpenThroughDialog({WriteImage("p.png", 40, 20, Pattern)});
  window_->ToggleZoom();
  ASSERT_TRUE(window_->zoomed());
  const std::string pdf = (dir_ / "out.pdf").string();
  desktop_.question_answers.push_back(true);
  desktop_.on_choose_printer = [&](QPrinter& printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    printer.setResolution(72);
    return true;
  };
  window_->Print();
  ASSERT_EQ(desktop_.questions.size(), 1u);
  EXPECT_EQ(desktop_.questions[0].text, "ZELKZOOMER\r\n\r\nPrint Titling ?");
  EXPECT_FALSE(desktop_.questions[0].notice_form);
  ASSERT_TRUE(std::filesystem::exists(pdf));
  EXPECT_GT(std::filesystem::file_size(pdf), 0u);
}

}  // namespace
}  // namespace zelk
