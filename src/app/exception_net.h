#pragma once
// The one place where an exception stops: whatever a command did not catch is shown
// with the standard exception display, and the program runs on. Both the main
// window's commands and the application's event delivery run inside it, so no
// exception crosses Qt's event loop.

#include <exception>
#include <functional>

#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

inline void RunShowingExceptions(Desktop& desktop, const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& e) {
    desktop.ShowException(ApplicationTitle(), e.what());
  } catch (...) {
    desktop.ShowException(ApplicationTitle(), "An unknown error occurred.");
  }
}

}  // namespace zelk
