#pragma once
// The error side of every libjpeg call: errors jump back to the setjmp of the
// calling stage instead of exiting, warnings are counted and never printed.
//
// Rule for every function that calls setjmp on a JpegErrorManager: it creates no
// object with a destructor, so the jump back from inside libjpeg skips nothing
// that needed cleaning up. The C++ caller owns the libjpeg struct and destroys it
// (jpeg_destroy) after the stage returns, whether it succeeded or not.

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <string>

#include <jpeglib.h>

namespace zelk {

struct JpegErrorManager {
  jpeg_error_mgr pub;  // first, so libjpeg's pointer to it is a pointer to us
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  int last_error_code;
  int warnings;
  bool input_ended;  // libjpeg met the end of the data and made up an end marker
  // Where a decompressor's entropy data first ran out (the file's end, or a marker
  // met inside a scan): the scan and the iMCU row it was reading. 0 and -1 while
  // the data has not run out.
  int data_end_scan;
  long data_end_imcu_row;
};

// Installs the manager on cinfo (before jpeg_create_*). Every field starts clean.
void InstallJpegErrorManager(jpeg_common_struct& cinfo, JpegErrorManager& manager) noexcept;

// Fails the current stage with our own text (for limits libjpeg does not know).
[[noreturn]] void FailJpegStage(jpeg_common_struct& cinfo, const char* message) noexcept;

// The reason a user reads when the stage failed; `what` names the work
// ("decoding", "writing").
std::string JpegFailureReason(const JpegErrorManager& manager, const char* what);

}  // namespace zelk
