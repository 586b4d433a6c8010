#pragma once
// Reads what another program offers on the X clipboard over a display connection of
// its own, so that the transfer can run on a worker thread. The toolkit reads the
// clipboard on the GUI thread and, for a large picture sent in chunks (the ICCCM's
// INCR protocol), repaints nothing until the last chunk has come.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelk {

struct X11ClipboardRequest {
  std::string display;               // an X display name, as in $DISPLAY
  std::vector<std::string> targets;  // MIME types in order of preference
  // The owner must answer, and send every next chunk, within this time.
  int stall_timeout_ms = 5000;
  std::size_t max_bytes = std::size_t{1} << 31;
};

// The bytes of the first target the clipboard's owner gives (nothing given for a
// target, the next is asked for). On failure, nullopt and error says why; cancel is
// looked at every 50 ms and ends the transfer with error "cancelled".
std::optional<std::vector<std::uint8_t>> ReadX11Clipboard(const X11ClipboardRequest& request,
                                                          const std::atomic<bool>& cancel,
                                                          std::string& error);

}  // namespace zelk
