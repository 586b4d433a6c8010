#include "scripted_desktop.h"

namespace zelk {

namespace {
template <typename T>
T TakeFront(std::deque<T>& queue, T fallback) {
  if (queue.empty()) return fallback;
  T value = std::move(queue.front());
  queue.pop_front();
  return value;
}
}  // namespace

void ScriptedDesktop::ShowMessage(const std::string& caption, const std::string& text) {
  messages.push_back({caption, text});
  if (on_message) on_message(messages.back());
}

bool ScriptedDesktop::AskQuestion(const std::string& text, bool notice_form) {
  questions.push_back({text, notice_form});
  return TakeFront(question_answers, false);
}

void ScriptedDesktop::ShowException(const std::string& caption, const std::string& what) {
  exceptions.push_back({caption, what});
}

void ScriptedDesktop::ProcessEvents() {
  ++process_events_calls;
  if (on_process_events) on_process_events();
}

void ScriptedDesktop::SleepMs(int ms) {
  sleeps.push_back(ms);
  slept_ms += ms;
}

std::vector<std::string> ScriptedDesktop::ChooseFilesToOpen(const FileDialogRequest& request) {
  open_requests.push_back(request);
  return TakeFront(open_answers, std::vector<std::string>{});
}

std::optional<std::string> ScriptedDesktop::ChooseFileToSave(const FileDialogRequest& request) {
  save_requests.push_back(request);
  return TakeFront(save_answers, std::optional<std::string>{});
}

std::optional<std::string> ScriptedDesktop::ChooseFolder(const std::string&, const std::string&) {
  return TakeFront(folder_answers, std::optional<std::string>{});
}

std::optional<std::uint32_t> ScriptedDesktop::ChooseColour(std::uint32_t initial_rgb) {
  colour_requests.push_back(initial_rgb);
  return TakeFront(colour_answers, std::optional<std::uint32_t>{});
}

std::optional<std::string> ScriptedDesktop::InputText(const std::string&, const std::string&,
                                                      const std::string&) {
  return TakeFront(input_answers, std::optional<std::string>{});
}

bool ScriptedDesktop::ChoosePrinter(QPrinter& printer) {
  return on_choose_printer ? on_choose_printer(printer) : false;
}

void ScriptedDesktop::SetClipboardText(const std::string& text) {
  clipboard_image.reset();
  clipboard_text = text;
}

void ScriptedDesktop::SetClipboardImage(const Bitmap& image) {
  clipboard_text.reset();
  clipboard_image = image.Clone();
}

ClipboardImageStatus ScriptedDesktop::GetClipboardImage(ClipboardPicture& out, std::string& error) {
  if (clipboard_unreadable) {
    error = "the clipboard image could not be decoded";
    return ClipboardImageStatus::kUnreadable;
  }
  if (clipboard_image) {
    out.pixels = clipboard_image->Clone();
  } else if (clipboard_fetch) {
    out.fetch_file_bytes = clipboard_fetch;
  } else if (clipboard_file_bytes) {
    out.file_bytes = *clipboard_file_bytes;
  } else {
    return ClipboardImageStatus::kNoImage;
  }
  return ClipboardImageStatus::kImage;
}

}  // namespace zelk
