#include "app/x11_clipboard_transfer.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zelk {

namespace {

using Clock = std::chrono::steady_clock;

// What an INCR announcement may make us allocate before any of it has come.
constexpr std::size_t kMostReservedAhead = std::size_t{512} << 20;

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

// One connection and the hidden window that receives the selection, for one read.
class Transfer {
 public:
  Transfer(const X11ClipboardRequest& request, const std::atomic<bool>& cancel)
      : request_(request), cancel_(cancel) {}
  ~Transfer() {
    if (connection_ != nullptr) xcb_disconnect(connection_);
  }
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  bool Open(std::string& error);
  // Asks for one target; true with the bytes (possibly none) or false with error.
  bool Read(const std::string& target, std::vector<std::uint8_t>& bytes, std::string& error);

 private:
  xcb_atom_t Atom(const char* name);
  // The next event for the window, or nullptr with error set (timeout, cancel, a
  // broken connection).
  XcbReply<xcb_generic_event_t> WaitForEvent(std::string& error);
  // Takes the property's value off the window (deleting it, which tells an INCR
  // sender to go on); its type in type.
  bool TakeProperty(std::vector<std::uint8_t>& bytes, xcb_atom_t& type, std::string& error);

  const X11ClipboardRequest& request_;
  const std::atomic<bool>& cancel_;
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t window_ = 0;
  xcb_atom_t property_ = XCB_ATOM_NONE;
  Clock::time_point deadline_;
};

bool Transfer::Open(std::string& error) {
  int screen_number = 0;
  connection_ = xcb_connect(request_.display.c_str(), &screen_number);
  if (xcb_connection_has_error(connection_)) {
    error = "no connection to the X display " + request_.display;
    return false;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
  for (int i = 0; i < screen_number && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem == 0) {
    error = "the X display has no screen " + std::to_string(screen_number);
    return false;
  }
  window_ = xcb_generate_id(connection_);
  const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screens.data->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
  property_ = Atom("ZELK_CLIPBOARD");
  if (property_ == XCB_ATOM_NONE) error = "the X display did not answer";
  return property_ != XCB_ATOM_NONE;
}

xcb_atom_t Transfer::Atom(const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
  const XcbReply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(connection_, cookie, nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

XcbReply<xcb_generic_event_t> Transfer::WaitForEvent(std::string& error) {
  for (;;) {
    if (cancel_.load(std::memory_order_relaxed)) {
      error = "cancelled";
      return nullptr;
    }
    if (xcb_generic_event_t* event = xcb_poll_for_event(connection_))
      return XcbReply<xcb_generic_event_t>(event);
    if (xcb_connection_has_error(connection_)) {
      error = "the connection to the X display broke";
      return nullptr;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) {
      error = "the program that owns the clipboard stopped answering";
      return nullptr;
    }
    pollfd readable{xcb_get_file_descriptor(connection_), POLLIN, 0};
    poll(&readable, 1, static_cast<int>(std::min<long long>(left, 50)));
  }
}

bool Transfer::TakeProperty(std::vector<std::uint8_t>& bytes, xcb_atom_t& type,
                            std::string& error) {
  // Whole in one reply: the server holds the value already, so this waits for the
  // server alone, not for the other program.
  const xcb_get_property_cookie_t cookie = xcb_get_property(
      connection_, 1, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4);
  const XcbReply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(connection_, cookie, nullptr));
  if (!reply) {
    error = "the clipboard's data could not be read";
    return false;
  }
  type = reply->type;
  const int length = xcb_get_property_value_length(reply.get());
  if (length <= 0) return true;
  if (bytes.size() + static_cast<std::size_t>(length) > request_.max_bytes) {
    error = "the picture on the clipboard is larger than " +
            std::to_string(request_.max_bytes >> 20) + " MiB";
    return false;
  }
  const auto* value = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
  bytes.insert(bytes.end(), value, value + length);
  return true;
}

bool Transfer::Read(const std::string& target, std::vector<std::uint8_t>& bytes,
                    std::string& error) {
  const xcb_atom_t clipboard = Atom("CLIPBOARD");
  const xcb_atom_t wanted = Atom(target.c_str());
  const xcb_atom_t incremental = Atom("INCR");
  const auto stall = std::chrono::milliseconds(request_.stall_timeout_ms);
  xcb_convert_selection(connection_, window_, clipboard, wanted, property_, XCB_CURRENT_TIME);
  xcb_flush(connection_);
  deadline_ = Clock::now() + stall;
  for (;;) {
    const XcbReply<xcb_generic_event_t> event = WaitForEvent(error);
    if (!event) return false;
    if ((event->response_type & 0x7F) != XCB_SELECTION_NOTIFY) continue;
    const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
    if (notify->requestor != window_) continue;
    if (notify->property == XCB_ATOM_NONE) return true;  // not given as this target
    break;
  }
  xcb_atom_t type = XCB_ATOM_NONE;
  if (!TakeProperty(bytes, type, error)) return false;
  if (type != incremental) return true;
  // INCR: the first value was only the announced size (a lower bound, one 32-bit
  // item); deleting it asked for the first chunk. Each chunk comes as a new value;
  // an empty one ends the transfer. Room for the announced size is made at once,
  // within reason, so a large picture is not copied over and over as it grows.
  std::uint32_t announced = 0;
  if (bytes.size() == sizeof announced) std::memcpy(&announced, bytes.data(), sizeof announced);
  bytes.clear();
  bytes.reserve(std::min<std::size_t>({announced, request_.max_bytes, kMostReservedAhead}));
  for (;;) {
    deadline_ = Clock::now() + stall;
    const XcbReply<xcb_generic_event_t> event = WaitForEvent(error);
    if (!event) return false;
    if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) continue;
    const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
    if (change->window != window_ || change->atom != property_ ||
        change->state != XCB_PROPERTY_NEW_VALUE)
      continue;
    const std::size_t before = bytes.size();
    if (!TakeProperty(bytes, type, error)) return false;
    if (bytes.size() == before) return true;
  }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReadX11Clipboard(const X11ClipboardRequest& request,
                                                          const std::atomic<bool>& cancel,
                                                          std::string& error) {
  Transfer transfer(request, cancel);
  if (!transfer.Open(error)) return std::nullopt;
  for (const std::string& target : request.targets) {
    std::vector<std::uint8_t> bytes;
    if (!transfer.Read(target, bytes, error)) return std::nullopt;
    if (!bytes.empty()) return bytes;
  }
  error = "the program that owns the clipboard gave no picture";
  return std::nullopt;
}

}  // namespace zelk
