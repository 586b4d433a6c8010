#include "core/compare/compare_text.h"

#include <optional>

#include "core/colour/colour_hex.h"
#include "support/support.h"

namespace zelk {
namespace {

std::optional<std::uint32_t> PixelAt(const Bitmap& bitmap, const SourcePoint& p) {
  if (p.X < 0 || p.Y < 0 || p.X >= bitmap.Width() || p.Y >= bitmap.Height() ||
      bitmap.Data() == nullptr)
    return std::nullopt;
  return bitmap.PixelRgb(p.X, p.Y);
}

std::string ColourText(const std::optional<std::uint32_t>& rgb) {
  if (!rgb) return "none";
  return "#" + ColourRefHexToHtml(ColourRefHexText(ColourRefOfRgb(*rgb)));
}

std::string ChannelDelta(std::uint32_t a, std::uint32_t b, int shift) {
  return std::to_string(static_cast<int>(b >> shift & 0xFF) - static_cast<int>(a >> shift & 0xFF));
}

}  // namespace

std::string CompareReadoutText(const Bitmap& a, const Bitmap& b, const SourcePoint& point) {
  const std::optional<std::uint32_t> pa = PixelAt(a, point), pb = PixelAt(b, point);
  std::string text =
      ColourReadoutFailureText(point) + " A " + ColourText(pa) + " B " + ColourText(pb);
  if (pa && pb)
    text += "  R " + ChannelDelta(*pa, *pb, 16) + " G " + ChannelDelta(*pa, *pb, 8) + " B " +
            ChannelDelta(*pa, *pb, 0);
  return text;
}

std::string ComparePixelText(const Bitmap& a, const Bitmap& b, const SourcePoint& point) {
  const std::optional<std::uint32_t> pa = PixelAt(a, point), pb = PixelAt(b, point);
  const auto line = [](const char* name, const std::optional<std::uint32_t>& rgb) {
    std::string text = std::string(name) + "  " + ColourText(rgb);
    if (rgb)
      text += "  R " + std::to_string(*rgb >> 16 & 0xFF) + "  G " +
              std::to_string(*rgb >> 8 & 0xFF) + "  B " + std::to_string(*rgb & 0xFF);
    return text;
  };
  std::string text = line("A", pa) + "\n" + line("B", pb);
  if (pa && pb)
    text += "\nB - A  R " + ChannelDelta(*pa, *pb, 16) + "  G " + ChannelDelta(*pa, *pb, 8) +
            "  B " + ChannelDelta(*pa, *pb, 0);
  return text;
}

std::string DiffStatsText(const DiffStats& s, int tolerance) {
  std::string text = "Differences  (tolerance " + std::to_string(tolerance) + ")\n";
  if (s.differing == 0) {
    text += "No pixel differs\n";
  } else {
    const PixelRect& r = s.bounds;
    text += FormatWholeNumber(static_cast<std::int64_t>(s.differing)) + " of " +
            FormatWholeNumber(s.width) + " x " + FormatWholeNumber(s.height) +
            " pixels differ\nBox  (" + FormatWholeNumber(r.Left) + ", " + FormatWholeNumber(r.Top) +
            ") - (" + FormatWholeNumber(r.Right) + ", " + FormatWholeNumber(r.Bottom) + "), " +
            FormatWholeNumber(r.Right - r.Left) + " x " + FormatWholeNumber(r.Bottom - r.Top) +
            "\n";
  }
  return text + "Largest  R " + std::to_string(s.largest.red) + "  G " +
         std::to_string(s.largest.green) + "  B " + std::to_string(s.largest.blue);
}

std::string DiffSummaryLine(const DiffStats& s) {
  const PixelRect& r = s.bounds;
  const std::string box = s.differing == 0
                              ? "none"
                              : std::to_string(r.Left) + "," + std::to_string(r.Top) + "," +
                                    std::to_string(r.Right) + "," + std::to_string(r.Bottom);
  return "differing=" + std::to_string(s.differing) + " size=" + std::to_string(s.width) + "x" +
         std::to_string(s.height) + " box=" + box + " largest=" + std::to_string(s.largest.red) +
         "," + std::to_string(s.largest.green) + "," + std::to_string(s.largest.blue);
}

std::string CompareCaption(const std::string& a_path, int a_w, int a_h, int b_index, int b_count,
                           const std::string& b_path, int b_w, int b_h, double magnification,
                           int tolerance, const DiffStats* stats) {
  std::string line =
      "A " + a_path + "  W " + FormatWholeNumber(a_w) + "  H " + FormatWholeNumber(a_h) + "   B " +
      FormatWholeNumber(std::int64_t{b_index} + 1) + "/" + FormatWholeNumber(b_count) + " " +
      b_path + "  W " + FormatWholeNumber(b_w) + "  H " + FormatWholeNumber(b_h) + "   Mag X " +
      FormatDecimals(magnification, 2) + "   tolerance " + FormatWholeNumber(tolerance) + ": ";
  if (stats == nullptr) return line + "counting...";
  if (stats->Equal()) return line + "equal";
  return line + FormatWholeNumber(static_cast<std::int64_t>(stats->differing)) + " differ";
}

}  // namespace zelk
