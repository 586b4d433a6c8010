#pragma once
// Every command a user can give, in one table: its keys, the button it is a click or
// a right-click of, its line of help, and what it does while an image loads. The
// window binds keys and buttons from it, F1's list is made from it, and a test holds
// the README's table against it.

#include <string>
#include <vector>

namespace zelk {

enum class CommandId {
  kOpenFiles,
  kReplaceColours,
  kToggleZoom,
  kCopySvgPath,
  kPrevious,
  kNext,
  kPrint,
  kCopyImage,
  kActualSize,
  kPaste,
  kConvert,
  kSaveVisible,
  kQuit,
  kEscape,
  kZoomInStep,
  kZoomOutStep,
  kFit,
  kActualPixels,
  kGrid,
  kInspector,
  kCopyColour,
  kFullScreen,
  kHelp,
  kCompare,
  kFlip,
  kSplit,
  kDifference,
  kToleranceDown,
  kToleranceUp,
  kNextDifference,
  kPreviousDifference,
  // Gestures: given by the mouse, listed for help and for their loading rule.
  kWheel,
  kLeftDrag,
  kPanDrag,
  kDrop,
  kDropToCompare,
};

// The buttons and check boxes of the top bar.
enum class Control { kNone, kLoad, kZoom, kPrevious, kNext, kPrint, kConvert, kActualSize, kQuit };

// What a command does while an image loads.
enum class WhileLoading {
  kRunNow,     // at once: it does not read the image being replaced
  kAfterLoad,  // once the new image is shown (dropped when the load is stopped or fails)
  kRefuse,     // not at all; the status bar says so
};

struct CommandSpec {
  CommandId id;
  const char* name;               // as the status bar names it
  const char* how;                // the keys, buttons or gesture, as the help names them
  const char* help;               // what it does
  std::vector<const char*> keys;  // key sequences in Qt's portable text
  Control click = Control::kNone;
  Control right_click = Control::kNone;
  WhileLoading while_loading = WhileLoading::kRunNow;
};

const std::vector<CommandSpec>& CommandTable();
const CommandSpec& Command(CommandId id);

// F1's list: one line a command, short enough that no line wraps.
std::string KeysAndGesturesText();

}  // namespace zelk
