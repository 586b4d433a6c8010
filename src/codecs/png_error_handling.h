#pragma once
// The error side of every libpng call. libpng reports errors by calling our
// handler, which keeps the text and jumps back to the setjmp of the calling stage
// (png_longjmp); warnings are dropped.
//
// Rule for every function that calls setjmp(png_jmpbuf(...)): it creates no object
// with a destructor, so the jump back from inside libpng skips nothing that needed
// cleaning up. The C++ caller owns the libpng structs and destroys them afterwards.

#include <png.h>

#include <string>

namespace zelk {

struct PngErrorState {
  char message[256] = {};
  bool input_ended = false;  // our reader ran out of data
  int write_errno = 0;       // our writer's fwrite failed with this
};

// Handlers for png_create_*_struct with the PngErrorState as error pointer.
[[noreturn]] void OnPngError(png_structp png, png_const_charp message) noexcept;
void OnPngWarning(png_structp png, png_const_charp message) noexcept;

// The reason a user reads after a failed stage.
std::string PngFailureReason(const PngErrorState& state);

}  // namespace zelk
