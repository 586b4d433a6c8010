#include "platform/desktop.h"

#include <cassert>

namespace zelk {
namespace {
Desktop* g_desktop = nullptr;
}

Desktop& CurrentDesktop() {
  assert(g_desktop != nullptr && "SetDesktop must run before the desktop is used");
  return *g_desktop;
}

void SetDesktop(Desktop* desktop) {
  g_desktop = desktop;
}

}  // namespace zelk
