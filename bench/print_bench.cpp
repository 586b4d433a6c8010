// Printing a 6000 x 4000 (24 MP) photo-like image on A4 at 600 dpi to a PDF file, against
// writing the same image as a PNG at zlib level 6 in the same run; and, to show where the
// printing time goes, the resampling of the image to the printed picture's pixels alone.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QPrinter>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/print_command.h"
#include "codecs/png_codec.h"
#include "core/print/print_layout.h"
#include "core/print/print_resample.h"
#include "platform/bitmap.h"

namespace zelk {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Smooth gradients with a little noise: compresses like a photograph, not like a flat fill.
const Bitmap& Photo() {
  static Bitmap bitmap = [] {
    Bitmap b;
    b.ResetUninitialised(kWidth, kHeight);
    std::uint32_t seed = 2024;
    for (int y = 0; y < kHeight; ++y) {
      std::uint8_t* row = b.Row(y);
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = static_cast<int>(seed >> 29);
        row[3 * x] = static_cast<std::uint8_t>((x * 255 / kWidth + noise) & 0xFF);
        row[3 * x + 1] = static_cast<std::uint8_t>((y * 255 / kHeight + noise) & 0xFF);
        row[3 * x + 2] = static_cast<std::uint8_t>(((x + y) / 64 + noise) & 0xFF);
      }
    }
    return b;
  }();
  return bitmap;
}

QString OutputPath(const char* name) {
  return QDir::temp().filePath(name);
}

void BM_PrintToPdfAt600Dpi(benchmark::State& state) {
  const Bitmap& image = Photo();
  for (auto _ : state) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(OutputPath("zelk_bench_print.pdf"));
    printer.setResolution(600);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);
    PrintImagePage(printer, image, "/pictures/photo.jpg  12,345,678 bytes  W 6,000  H 4,000");
  }
  state.counters["MB_out"] =
      static_cast<double>(QFileInfo(OutputPath("zelk_bench_print.pdf")).size()) / 1e6;
  QFile::remove(OutputPath("zelk_bench_print.pdf"));
}
BENCHMARK(BM_PrintToPdfAt600Dpi)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

void BM_WritePngLevel6(benchmark::State& state) {
  const Bitmap& image = Photo();
  const QByteArray path = OutputPath("zelk_bench_print.png").toLocal8Bit();
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.constData(), "wb");
    if (!file) {
      state.SkipWithError("cannot create the PNG file");
      break;
    }
    WritePng(image, file, 6);
    std::fclose(file);
  }
  state.counters["MB_out"] =
      static_cast<double>(QFileInfo(QString::fromLocal8Bit(path)).size()) / 1e6;
  std::remove(path.constData());
}
BENCHMARK(BM_WritePngLevel6)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

void BM_ResampleForA4At600Dpi(benchmark::State& state) {
  const Bitmap& image = Photo();
  QPrinter printer(QPrinter::HighResolution);
  printer.setResolution(600);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Landscape);
  const QRect page = printer.pageLayout().paintRectPixels(600);
  const PrintRect rect = PrintPictureRect(page.width(), page.height(), kWidth, kHeight);
  std::vector<std::uint32_t> band(static_cast<std::size_t>(rect.Width()) * 256);
  for (auto _ : state) {
    PrintResampler resampler(image, rect.Width(), rect.Height());
    for (int y = 0; y < rect.Height(); y += 256)
      resampler.RenderRows(y, std::min(256, rect.Height() - y), band.data(), rect.Width());
    benchmark::DoNotOptimize(band.data());
  }
  state.counters["picture_MP"] = rect.Width() * static_cast<double>(rect.Height()) / 1e6;
}
BENCHMARK(BM_ResampleForA4At600Dpi)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

}  // namespace
}  // namespace zelk

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
