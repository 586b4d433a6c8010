#include "codecs/png_error_handling.h"

#include <cstdio>

namespace zelk {

void OnPngError(png_structp png, png_const_charp message) noexcept {
  auto* state = static_cast<PngErrorState*>(png_get_error_ptr(png));
  if (state != nullptr)
    std::snprintf(state->message, sizeof state->message, "%s", message ? message : "");
  png_longjmp(png, 1);
}

// Damaged ancillary chunks (a bad CRC on a text chunk, an oversized profile) are
// skipped by libpng after its warning; the picture is still right.
void OnPngWarning(png_structp, png_const_charp) noexcept {}

std::string PngFailureReason(const PngErrorState& state) {
  if (state.input_ended) return "the file ends before the image data is complete";
  return std::string("the PNG file is damaged: ") + state.message;
}

}  // namespace zelk
