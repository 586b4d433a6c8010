#include "codecs/jpeg_error_manager.h"

#include <cstring>

#include <jerror.h>

namespace zelk {
namespace {

JpegErrorManager& ManagerOf(j_common_ptr cinfo) noexcept {
  return *reinterpret_cast<JpegErrorManager*>(cinfo->err);
}

[[noreturn]] void OnError(j_common_ptr cinfo) noexcept {
  JpegErrorManager& manager = ManagerOf(cinfo);
  (*cinfo->err->format_message)(cinfo, manager.message);
  manager.last_error_code = cinfo->err->msg_code;
  std::longjmp(manager.jump, 1);
}

// Warnings (damaged entropy data, a missing end marker) are what let libjpeg show
// the decodable part of a damaged file, so they are noted, never fatal or printed.
void OnMessage(j_common_ptr cinfo, int level) noexcept {
  if (level >= 0) return;  // trace output
  JpegErrorManager& manager = ManagerOf(cinfo);
  ++manager.warnings;
  const int code = cinfo->err->msg_code;
  if (code == JWRN_JPEG_EOF) manager.input_ended = true;
  if ((code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) && manager.data_end_scan == 0 &&
      cinfo->is_decompressor) {
    const auto* d = reinterpret_cast<const jpeg_decompress_struct*>(cinfo);
    manager.data_end_scan = d->input_scan_number;
    manager.data_end_imcu_row = static_cast<long>(d->input_iMCU_row);
  }
}

void OnOutput(j_common_ptr) noexcept {}

}  // namespace

void InstallJpegErrorManager(jpeg_common_struct& cinfo, JpegErrorManager& manager) noexcept {
  cinfo.err = jpeg_std_error(&manager.pub);
  manager.pub.error_exit = OnError;
  manager.pub.emit_message = OnMessage;
  manager.pub.output_message = OnOutput;
  manager.message[0] = '\0';
  manager.last_error_code = 0;
  manager.warnings = 0;
  manager.input_ended = false;
  manager.data_end_scan = 0;
  manager.data_end_imcu_row = -1;
}

void FailJpegStage(jpeg_common_struct& cinfo, const char* message) noexcept {
  JpegErrorManager& manager = ManagerOf(&cinfo);
  std::snprintf(manager.message, sizeof manager.message, "%s", message);
  manager.last_error_code = -1;
  std::longjmp(manager.jump, 1);
}

std::string JpegFailureReason(const JpegErrorManager& manager, const char* what) {
  switch (manager.last_error_code) {
    case JERR_NO_SOI:
    case JERR_INPUT_EMPTY:
      return "not a JPEG file";
    case JERR_NO_BACKING_STORE:
      return "the JPEG image needs more memory for " + std::string(what) +
             " than this program allows";
    case -1:
      return manager.message;
    default:
      break;
  }
  if (manager.input_ended) return "the file ends before the image data is complete";
  return "error " + std::string(what) + " the JPEG image: " + manager.message;
}

}  // namespace zelk
