#pragma once
// `zelkzoomer --diff A B [OUT] [--tolerance N]`: compares two image files without a
// window, as cmp compares two files.

#include <iosfwd>
#include <string>
#include <vector>

namespace zelk {

// Exit statuses, as cmp has them.
inline constexpr int kDiffEqual = 0;
inline constexpr int kDiffDiffers = 1;
inline constexpr int kDiffTrouble = 2;

// Runs the command on the arguments after "--diff": two images to compare, optionally
// the file to write the difference picture to (at 1:1, in the format its extension
// names, as Convert writes), and "--tolerance N" (or "--tolerance=N", 0..255) anywhere
// among them; "--" ends the options. Decodes both with the program's own loader, prints
// DiffSummaryLine and a line break to out, and returns kDiffEqual or kDiffDiffers; on
// any trouble (arguments, a file that cannot be read or written) it prints nothing to
// out, one line "zelkzoomer: <reason>" to err and returns kDiffTrouble.
int RunDiffCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace zelk
