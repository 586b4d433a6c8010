// JPEG decoding into the working bitmap.
//
// The work runs in two stages, each a function that calls setjmp and creates no
// object with a destructor: the header stage (up to the image size), then - after
// the C++ side has checked the size and allocated the bitmap - the pixel stage.
// libjpeg writes B, G, R straight into the bitmap's rows, so there is no second
// copy of the image: beyond the bitmap, a baseline file needs a few strips of
// working memory. A progressive file needs libjpeg's coefficient buffer as well
// (2 bytes per sample), which max_memory_to_use bounds.
//
// Hostile files are bounded twice over: a large picture must come with a share of
// the bytes it needs (memory), and the scans together may do only so much work for
// a file of their size (time); see kBlocksPerByte and the work budget.
//
// A large sequential file decodes on two threads, in two horizontal stripes: the
// calling thread decodes the upper one from the file's bytes as they are. A second
// thread decodes the lower one, either from a copy of the header and the entropy
// data below a restart marker near the middle (see jpeg_stripes.h), or, in a file
// without usable markers, from the same data, entropy-decoding the rows above the
// seam without making pixels. The pixels are the one-thread decode's; whenever
// either stripe fails, the file is decoded again on one thread, so a damaged
// file gives the same pixels and reason either way.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "codecs/claimed_size.h"
#include "codecs/jpeg_cmyk.h"
#include "codecs/jpeg_codec.h"
#include "codecs/jpeg_error_manager.h"
#include "codecs/jpeg_offset_source.h"
#include "codecs/jpeg_stripes.h"

namespace zelk {
namespace {

// A progressive file may be split into any number of scans, and each one costs a
// pass over the whole coefficient buffer; hostile files use that to make decoding
// take hours. Real encoders use about ten (jpegtran scripts a few dozen), so a
// thousand is far beyond real files while bounding the work.
constexpr int kMaxProgressiveScans = 1000;

// libjpeg's working memory beyond the bitmap: room for the coefficient buffer of
// a progressive file with four full-resolution components (8 bytes a pixel), and
// 1 GiB for everything else.
constexpr long long kJpegMemoryPerPixel = 8;
constexpr long long kJpegMemoryBase = 1LL << 30;

// Rows requested from libjpeg per call.
constexpr int kRowsPerCall = 16;
// Rows skipped per call: whole iMCU rows (8, 16 or 32 rows high) at any sampling.
constexpr JDIMENSION kRowsPerSkip = 256;

// Memory: Huffman coding spends at least one bit on every 8 x 8 block of every
// component (a DC code; baseline files an end-of-block code as well), and flat
// one-colour files made by libjpeg and ImageMagick measure 2 bits a block. A
// picture over kPixelsAlwaysAllowed must therefore come with a byte for every 64
// blocks: an eighth of what any complete file holds, so a real file cut down to an
// eighth still opens. Arithmetic coding is exempt: it codes a flat 16000 x 16000
// picture in 216 bytes, so no rule on bytes tells real files from hostile ones.
constexpr std::uint64_t kBlocksPerByte = 64;

// Time: each scan costs a pass over the blocks of its components, however few
// bytes it holds. Besides one pass over every block (what the pixels need), the
// scans may cost kWorkFloor blocks plus kWorkPerByte for every byte of the file.
// Flat one-colour progressive files made by libjpeg and ImageMagick, the cheapest
// real files per byte, do 24 block passes per byte, and a 100-megapixel colour
// file some 25 million in all. Past the budget the file is refused as too costly;
// a block of an empty scan takes about 6 ns, so a hostile file costs at most about
// half a second plus 1.5 seconds per megabyte.
// A scan that walks the band of every block (see WorkPerBlockOfScan) costs a unit
// more for every 8 coefficients of its band: 9 units a block for 1-63.
constexpr int kBandCoefficientsPerUnit = 8;
constexpr std::uint64_t kWorkFloor = std::uint64_t{1} << 26;
constexpr std::uint64_t kWorkPerByte = 256;

// A file is read whole for striping only when the header, found in its first
// bytes, promises a seam, and only up to a size where a copy in memory is cheap.
constexpr std::size_t kHeaderPeekBytes = std::size_t{1} << 16;
constexpr std::size_t kMaxHeaderPeekBytes = std::size_t{1} << 20;
constexpr std::uint64_t kMaxStripedFileBytes = std::uint64_t{1} << 28;

struct JpegDecodeJob;

// What the two stripes of one picture share: a way for either to stop the other,
// and one count of the rows both have written.
struct StripeShared {
  std::atomic<bool> stop{false};
  DecodeControl* control = nullptr;
  std::mutex progress_mutex;
  std::int64_t rows_done = 0;
  std::int64_t rows_total = 0;

  void AddRows(std::int64_t rows) noexcept {
    if (control == nullptr) return;
    std::lock_guard lock(progress_mutex);
    rows_done += rows;
    control->Report(rows_done, rows_total);
  }
};

struct JpegProgress {
  jpeg_progress_mgr pub;  // first, so libjpeg's pointer to it is a pointer to us
  JpegDecodeJob* job;
};

struct JpegDecodeJob {
  jpeg_decompress_struct cinfo;
  JpegErrorManager errors;
  JpegProgress progress;
  bool created = false;
  bool cmyk = false;
  bool inverted_cmyk = false;
  JSAMPARRAY cmyk_rows = nullptr;       // libjpeg pool memory, freed with cinfo
  JSAMPARRAY discarded_rows = nullptr;  // the same, for rows read only as context
  DecodeControl* control = nullptr;
  bool cancelled = false;
  StripeShared* stripes = nullptr;  // set while decoding one of two stripes
  // The work budget, in blocks decoded, and what the scans read so far cost.
  std::uint64_t work_budget = 0;
  std::uint64_t work_done = 0;
  int charged_scan = 0;
  // Progress: rows of the input passes of a multi-scan file, then the output.
  bool multi_scan = false;
  bool output_started = false;
  std::int64_t input_rows = 0;
};

std::uint64_t BlocksOfScan(const jpeg_decompress_struct& d) noexcept {
  std::uint64_t blocks = 0;
  for (int i = 0; i < d.comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i) {
    const jpeg_component_info* c = d.cur_comp_info[i];
    if (c != nullptr) blocks += std::uint64_t{c->width_in_blocks} * c->height_in_blocks;
  }
  return blocks;
}

// What a scan makes the decoder do, in units of an empty scan's block (a block
// whose data has run out, or a first scan of DC or of AC within an end-of-band
// run). Huffman data costs bits for every coefficient it settles, except in two
// kinds of scan: an AC refinement walks the whole band of every block even inside
// an end-of-band run (to refine the coefficients already there), and arithmetic
// coding decides coefficients at a cost that need not show in the bytes at all.
// Measured on the 2-core development machine: an empty scan 6-7.5 ns a block, a
// refinement of coefficients 1-63 37 ns (Huffman) and 42 ns (arithmetic), an
// arithmetic DC scan 14 ns.
std::uint64_t WorkPerBlockOfScan(const jpeg_decompress_struct& d) noexcept {
  const int band = std::max(1, d.Se - d.Ss + 1);
  const bool ac = d.Ss > 0 || (!d.progressive_mode && d.Se > 0);
  const bool walks_band = ac && (d.Ah != 0 || d.arith_code);
  if (walks_band)
    return 1 + static_cast<std::uint64_t>((band + kBandCoefficientsPerUnit - 1) /
                                          kBandCoefficientsPerUnit);
  return d.arith_code ? 2 : 1;
}

std::uint64_t BlocksOfFrame(const jpeg_decompress_struct& d) noexcept {
  std::uint64_t blocks = 0;
  for (int i = 0; i < d.num_components; ++i)
    blocks += std::uint64_t{d.comp_info[i].width_in_blocks} * d.comp_info[i].height_in_blocks;
  return blocks;
}

// An iMCU row of input as rows of the picture.
std::int64_t InputRows(const jpeg_decompress_struct& d, long imcu_rows) noexcept {
  if (d.total_iMCU_rows == 0) return 0;
  return static_cast<std::int64_t>(imcu_rows) * d.output_height / d.total_iMCU_rows;
}

// Ends the stage when the caller cancelled or the other stripe failed.
void StopIfAsked(JpegDecodeJob& job) noexcept {
  auto* common = reinterpret_cast<j_common_ptr>(&job.cinfo);
  if (CancelRequested(job.control)) {
    job.cancelled = true;
    FailJpegStage(*common, "cancelled");
  }
  if (job.stripes != nullptr && job.stripes->stop.load(std::memory_order_relaxed))
    FailJpegStage(*common, "the other stripe failed");
}

// Called by libjpeg before every iMCU row of input of a multi-scan file and on
// every read of scan lines.
void OnProgress(j_common_ptr cinfo) noexcept {
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  JpegDecodeJob& job = *reinterpret_cast<JpegProgress*>(cinfo->progress)->job;
  if (d->input_scan_number > kMaxProgressiveScans)
    FailJpegStage(*cinfo, "the JPEG file has more progressive scans than this program decodes");
  if (d->input_scan_number != job.charged_scan) {
    // Charged when the scan starts, before any of its work is done.
    job.charged_scan = d->input_scan_number;
    job.work_done += BlocksOfScan(*d) * WorkPerBlockOfScan(*d);
    if (job.work_done > job.work_budget)
      FailJpegStage(*cinfo,
                    "the JPEG file is too costly to draw: its scans ask for far more work than a "
                    "file of its size can need");
  }
  StopIfAsked(job);
  if (job.control != nullptr && job.multi_scan && !job.output_started) {
    const jpeg_progress_mgr& p = *cinfo->progress;
    job.input_rows = InputRows(*d, p.pass_counter);
    job.control->Report(job.input_rows, InputRows(*d, p.pass_limit) + d->output_height);
  }
}

enum class JpegSource { kFile, kMemory };

// Stage 1: everything up to the image size and the output colour space.
// With fd, the file is read by offset from fd_offset on instead of through `file`.
bool ReadJpegHeader(JpegDecodeJob& job, std::FILE* file, const std::uint8_t* data, std::size_t size,
                    int fd = -1, std::int64_t fd_offset = 0) noexcept {
  if (setjmp(job.errors.jump)) return false;
  jpeg_create_decompress(&job.cinfo);
  job.created = true;
  job.progress.pub.progress_monitor = OnProgress;
  job.progress.job = &job;
  job.cinfo.progress = &job.progress.pub;
  if (fd >= 0) {
    UseOffsetSource(&job.cinfo, fd, fd_offset);
  } else if (file != nullptr) {
    jpeg_stdio_src(&job.cinfo, file);
  } else {
    if (size > ULONG_MAX) size = ULONG_MAX;  // only on platforms with 32-bit long
    jpeg_mem_src(&job.cinfo, data, static_cast<unsigned long>(size));
  }
  jpeg_read_header(&job.cinfo, TRUE);

  // Full size, best quality: the accurate integer DCT and smooth chroma upsampling.
  job.cinfo.scale_num = job.cinfo.scale_denom = 1;
  job.cinfo.dct_method = JDCT_ISLOW;
  job.cinfo.do_fancy_upsampling = TRUE;
  job.cinfo.do_block_smoothing = TRUE;
  job.cinfo.quantize_colors = FALSE;
  if (job.cinfo.jpeg_color_space == JCS_CMYK || job.cinfo.jpeg_color_space == JCS_YCCK) {
    // libjpeg cannot turn CMYK into RGB; it turns YCCK into CMYK, we do the rest.
    job.cinfo.out_color_space = JCS_CMYK;
    job.cmyk = true;
    job.inverted_cmyk = job.cinfo.saw_Adobe_marker != 0;
  } else {
    job.cinfo.out_color_space = JCS_EXT_BGR;
  }
  jpeg_calc_output_dimensions(&job.cinfo);
  job.multi_scan = jpeg_has_multiple_scans(&job.cinfo) != 0;
  return true;
}

// Which of the decoder's rows go where: row r (from `discard` on, up to `end`)
// into the bitmap's row first_out_row + r. Rows before `discard` are decoded and
// thrown away; before that, the first `skip` rows are only entropy-decoded
// (jpeg_skip_scanlines), which a baseline scan needs to find where the rows below
// begin.
struct RowWindow {
  int first_out_row = 0;
  JDIMENSION discard = 0;
  JDIMENSION end = 0;
  JDIMENSION skip = 0;
};

// Stage 2: the pixels, into out's rows. rows_done counts the rows written.
bool DecodeJpegRows(JpegDecodeJob& job, Bitmap& out, const RowWindow& window,
                    int& rows_done) noexcept {
  if (setjmp(job.errors.jump)) return false;
  jpeg_start_decompress(&job.cinfo);
  job.output_started = true;
  // Skipping tells the progress monitor nothing, so it goes in slices of whole iMCU
  // rows with a look at cancel between them: the rows above the seam of a large
  // picture take seconds.
  for (JDIMENSION skipped = 0; skipped < window.skip;) {
    const JDIMENSION n = std::min<JDIMENSION>(window.skip - skipped, kRowsPerSkip);
    if (jpeg_skip_scanlines(&job.cinfo, n) != n) return false;
    skipped += n;
    StopIfAsked(job);
  }
  const JDIMENSION width = job.cinfo.output_width;
  if (job.cmyk) {
    job.cmyk_rows = (*job.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&job.cinfo),
                                                   JPOOL_IMAGE, width * 4, kRowsPerCall);
  }
  if (window.discard > 0) {
    job.discarded_rows = (*job.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&job.cinfo),
                                                        JPOOL_IMAGE, width * 4, kRowsPerCall);
  }
  const JDIMENSION end = std::min(window.end, job.cinfo.output_height);
  while (job.cinfo.output_scanline < end) {
    const JDIMENSION first = job.cinfo.output_scanline;
    const bool kept = first >= window.discard;
    const JDIMENSION wanted =
        std::min<JDIMENSION>(kRowsPerCall, (kept ? end : window.discard) - first);
    const int out_row = window.first_out_row + static_cast<int>(first);
    JSAMPROW rows[kRowsPerCall];
    for (JDIMENSION i = 0; i < wanted; ++i)
      rows[i] = !kept      ? job.discarded_rows[i]
                : job.cmyk ? job.cmyk_rows[i]
                           : out.Row(out_row + static_cast<int>(i));
    const JDIMENSION got = jpeg_read_scanlines(&job.cinfo, rows, wanted);
    if (got == 0) break;  // cannot happen with our sources; never spin
    if (!kept) continue;
    if (job.cmyk) {
      for (JDIMENSION i = 0; i < got; ++i)
        CmykRowToBgr(job.cmyk_rows[i], out.Row(out_row + static_cast<int>(i)), width,
                     job.inverted_cmyk);
    }
    rows_done = static_cast<int>(first + got - window.discard);
    if (job.stripes != nullptr) {
      job.stripes->AddRows(got);
    } else if (job.control != nullptr) {
      job.control->Report(job.input_rows + rows_done, job.input_rows + job.cinfo.output_height);
    }
  }
  // The rest of the file (trailing markers) adds nothing to the picture, so it is
  // not read: junk after the last scan does not cost the image.
  return true;
}

class JpegDecodeGuard {
 public:
  explicit JpegDecodeGuard(JpegDecodeJob& job) : job_(job) {}
  ~JpegDecodeGuard() {
    if (job_.created) jpeg_destroy_decompress(&job_.cinfo);
  }
  JpegDecodeGuard(const JpegDecodeGuard&) = delete;
  JpegDecodeGuard& operator=(const JpegDecodeGuard&) = delete;

 private:
  JpegDecodeJob& job_;
};

// The bytes between the pixels of a row and its 4-byte boundary are not written
// by libjpeg; they go to files and the clipboard, so they are made zero.
void ClearRowPadding(Bitmap& out, int from_row) noexcept {
  const std::size_t used = static_cast<std::size_t>(out.Width()) * 3;
  const std::size_t pad = static_cast<std::size_t>(out.Stride()) - used;
  for (int y = from_row; y < out.Height(); ++y) std::memset(out.Row(y) + used, 0, pad);
}

// The colour an 8 x 8 block that received no data at all (every coefficient zero)
// has in the bitmap: mid-grey, after the CMYK conversion where there is one.
void EmptyBlockColour(const JpegDecodeJob& job, std::uint8_t bgr[3]) noexcept {
  if (!job.cmyk) {
    bgr[0] = bgr[1] = bgr[2] = 128;
    return;
  }
  // libjpeg turns YCCK's mid-grey into CMY of 255 - 128; K stays 128.
  const std::uint8_t c = job.cinfo.jpeg_color_space == JCS_YCCK ? 127 : 128;
  const std::uint8_t cmyk[4] = {c, c, c, 128};
  CmykRowToBgr(cmyk, bgr, 1, job.inverted_cmyk);
}

// The iMCU row where the data of the first scan ran out; -1 when it did not. Only
// the first scan counts: when a later scan of a progressive file is cut, every
// block already has a picture.
long DataEndImcuRow(const JpegDecodeJob& job) noexcept {
  return job.errors.data_end_scan == 1 ? job.errors.data_end_imcu_row : -1;
}

// libjpeg decodes the blocks a truncated file never reached as mid-grey; the
// program shows the unread part white, as it does for every format. The blocks
// after the point where the data ran out are exactly that grey, so from the iMCU
// row where it ran out, each row's grey tail is made white.
void WhitenUnreadPart(const JpegDecodeJob& job, long data_end_imcu_row, Bitmap& out) noexcept {
  if (data_end_imcu_row < 0) return;
  const std::int64_t imcu_height = std::int64_t{job.cinfo.max_v_samp_factor} * DCTSIZE;
  const std::int64_t first = data_end_imcu_row * imcu_height;
  if (first < 0 || first >= out.Height()) return;
  std::uint8_t grey[3];
  EmptyBlockColour(job, grey);
  for (int y = static_cast<int>(first); y < out.Height(); ++y) {
    std::uint8_t* row = out.Row(y);
    int x = out.Width();
    while (x > 0 && std::memcmp(row + 3 * (x - 1), grey, 3) == 0) --x;
    std::memset(row + 3 * x, 0xFF, static_cast<std::size_t>(out.Width() - x) * 3);
  }
}

// What the lower stripe's decode takes from the upper one's header, copied before
// the second thread starts: the upper decode goes on changing its own struct.
struct LowerStripeSettings {
  JDIMENSION width = 0;
  bool cmyk = false;
  bool inverted_cmyk = false;
  std::uint64_t work_budget = 0;
  long max_memory = 0;
  DecodeControl* control = nullptr;
};

LowerStripeSettings LowerStripeSettingsOf(const JpegDecodeJob& upper) noexcept {
  LowerStripeSettings settings;
  settings.width = upper.cinfo.output_width;
  settings.cmyk = upper.cmyk;
  settings.inverted_cmyk = upper.inverted_cmyk;
  settings.work_budget = upper.work_budget;
  settings.max_memory = upper.cinfo.mem->max_memory_to_use;
  settings.control = upper.control;
  return settings;
}

struct LowerStripe {
  JpegDecodeJob job;
  bool ok = false;
  int rows_done = 0;
};

// The second thread: the rows below the upper stripe, from a stream of their own.
void DecodeLowerStripe(LowerStripe& lower, const LowerStripeSettings& settings,
                       const JpegStripePlan& plan, const std::uint8_t* data, std::size_t size,
                       Bitmap& out, StripeShared& shared) noexcept {
  std::vector<std::uint8_t> stream;
  try {
    stream = LowerStripeStream(data, size, plan);
  } catch (const std::bad_alloc&) {
    shared.stop = true;
    return;
  }
  JpegDecodeJob& job = lower.job;
  job.control = settings.control;
  job.stripes = &shared;
  InstallJpegErrorManager(*reinterpret_cast<j_common_ptr>(&job.cinfo), job.errors);
  JpegDecodeGuard guard(job);
  if (ReadJpegHeader(job, nullptr, stream.data(), stream.size()) &&
      job.cinfo.output_width == settings.width &&
      job.cinfo.output_height == static_cast<JDIMENSION>(plan.LowerStreamRows()) &&
      job.cmyk == settings.cmyk && job.inverted_cmyk == settings.inverted_cmyk) {
    job.work_budget = settings.work_budget;
    job.cinfo.mem->max_memory_to_use = settings.max_memory;
    // The seam row only gives context to the row below it: its first rows lack the
    // chroma row above, which this stream does not have.
    const RowWindow window{plan.seam_imcu_row * plan.imcu_height,
                           static_cast<JDIMENSION>(plan.imcu_height),
                           static_cast<JDIMENSION>(plan.LowerStreamRows())};
    lower.ok = DecodeJpegRows(job, out, window, lower.rows_done);
  }
  if (!lower.ok) shared.stop = true;
}

// Whether the seam the markers give fits the frame as libjpeg read it.
bool PlanFitsFrame(const JpegStripePlan& plan, const jpeg_decompress_struct& d) noexcept {
  return !d.progressive_mode && !d.arith_code && d.comps_in_scan == d.num_components &&
         d.restart_interval == plan.restart_interval &&
         d.output_width == static_cast<JDIMENSION>(plan.width) &&
         d.output_height == static_cast<JDIMENSION>(plan.height) &&
         d.max_v_samp_factor * DCTSIZE == plan.imcu_height &&
         d.total_iMCU_rows == static_cast<JDIMENSION>(plan.imcu_rows);
}

enum class StripeOutcome { kDone, kCancelled, kFailed };

// The upper stripe on the calling thread (its header already read), the lower one
// on a second thread.
StripeOutcome DecodeInStripes(JpegDecodeJob& upper, const JpegStripePlan& plan,
                              const std::uint8_t* data, std::size_t size, Bitmap& out) {
  StripeShared shared;
  shared.control = upper.control;
  shared.rows_total = plan.height;
  const LowerStripeSettings settings = LowerStripeSettingsOf(upper);
  LowerStripe lower;
  std::thread worker;
  try {
    worker =
        std::thread([&] { DecodeLowerStripe(lower, settings, plan, data, size, out, shared); });
  } catch (const std::system_error&) {
    return StripeOutcome::kFailed;
  }
  upper.stripes = &shared;
  int upper_rows = 0;
  const RowWindow window{0, 0, static_cast<JDIMENSION>(plan.UpperRows())};
  const bool upper_ok = DecodeJpegRows(upper, out, window, upper_rows);
  if (!upper_ok) shared.stop = true;
  worker.join();
  upper.stripes = nullptr;
  if (upper.cancelled || lower.job.cancelled) return StripeOutcome::kCancelled;
  if (!upper_ok || !lower.ok || upper_rows != plan.UpperRows() ||
      lower.rows_done != plan.height - plan.UpperRows())
    return StripeOutcome::kFailed;
  // Where the one-thread decode would first have found the data run out: the upper
  // stripe decodes every row down to the seam and beyond, the lower one the rest.
  long data_end = DataEndImcuRow(upper);
  if (data_end < 0 && DataEndImcuRow(lower.job) >= 0)
    data_end = DataEndImcuRow(lower.job) + plan.seam_imcu_row;
  WhitenUnreadPart(upper, data_end, out);
  return StripeOutcome::kDone;
}

// Where a sequential file without usable restart markers is cut: the upper stripe
// decodes rows [0, seam_row) on the calling thread; the lower one reads the same
// data, entropy-decoding the rows above the seam without making pixels (about two
// fifths of the work of a row), and decodes from there. The seam sits at 3/5 of
// the iMCU rows so that both threads have about the same work.
struct SkipSeam {
  JDIMENSION imcu_height = 0;
  JDIMENSION seam_row = 0;  // a multiple of imcu_height
};

std::optional<SkipSeam> PlanSkipSeam(const jpeg_decompress_struct& d, bool multi_scan) noexcept {
  if (multi_scan || d.progressive_mode ||
      std::int64_t{d.output_width} * d.output_height < kMinJpegStripePixels)
    return std::nullopt;
  const JDIMENSION imcu_height = static_cast<JDIMENSION>(d.max_v_samp_factor) * DCTSIZE;
  const JDIMENSION seam_imcu = (d.total_iMCU_rows * 3 + 2) / 5;
  if (seam_imcu < 2 || seam_imcu + 1 > d.total_iMCU_rows) return std::nullopt;
  return SkipSeam{imcu_height, seam_imcu * imcu_height};
}

// Where the lower stripe of a skip seam reads the file: the same bytes in memory,
// or the same open file by offset.
struct StripeInput {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  int fd = -1;
  std::int64_t offset = 0;
};

void DecodeLowerStripeBySkipping(LowerStripe& lower, const LowerStripeSettings& settings,
                                 const SkipSeam& seam, JDIMENSION height, const StripeInput& input,
                                 Bitmap& out, StripeShared& shared) noexcept {
  JpegDecodeJob& job = lower.job;
  job.control = settings.control;
  job.stripes = &shared;
  InstallJpegErrorManager(*reinterpret_cast<j_common_ptr>(&job.cinfo), job.errors);
  JpegDecodeGuard guard(job);
  if (ReadJpegHeader(job, nullptr, input.data, input.size, input.fd, input.offset) &&
      job.cinfo.output_width == settings.width && job.cinfo.output_height == height &&
      job.cmyk == settings.cmyk && job.inverted_cmyk == settings.inverted_cmyk) {
    job.work_budget = settings.work_budget;
    job.cinfo.mem->max_memory_to_use = settings.max_memory;
    // The iMCU row above the seam is decoded as context for the seam's first rows
    // (smooth chroma upsampling looks one chroma row up) and thrown away.
    const RowWindow window{0, seam.seam_row, height, seam.seam_row - seam.imcu_height};
    lower.ok = DecodeJpegRows(job, out, window, lower.rows_done);
  }
  if (!lower.ok) shared.stop = true;
}

StripeOutcome DecodeInSkipStripes(JpegDecodeJob& upper, const SkipSeam& seam,
                                  const StripeInput& input, Bitmap& out) {
  const JDIMENSION height = upper.cinfo.output_height;
  StripeShared shared;
  shared.control = upper.control;
  shared.rows_total = height;
  const LowerStripeSettings settings = LowerStripeSettingsOf(upper);
  LowerStripe lower;
  std::thread worker;
  try {
    worker = std::thread(
        [&] { DecodeLowerStripeBySkipping(lower, settings, seam, height, input, out, shared); });
  } catch (const std::system_error&) {
    return StripeOutcome::kFailed;
  }
  upper.stripes = &shared;
  int upper_rows = 0;
  const bool upper_ok = DecodeJpegRows(upper, out, RowWindow{0, 0, seam.seam_row}, upper_rows);
  if (!upper_ok) shared.stop = true;
  worker.join();
  upper.stripes = nullptr;
  if (upper.cancelled || lower.job.cancelled) return StripeOutcome::kCancelled;
  // A warning (damaged or short data) on either side: the one-thread decode decides
  // what the picture is.
  if (!upper_ok || !lower.ok || upper.errors.warnings != 0 || lower.job.errors.warnings != 0 ||
      upper_rows != static_cast<int>(seam.seam_row) ||
      lower.rows_done != static_cast<int>(height - seam.seam_row))
    return StripeOutcome::kFailed;
  return StripeOutcome::kDone;
}

// The file from its current position, read whole when its header promises a
// picture that may decode in stripes; otherwise nothing, and the file is left
// where it was for the one-thread decode.
std::vector<std::uint8_t> ReadWholeForStripes(std::FILE* file, std::uint64_t file_bytes) {
  std::vector<std::uint8_t> bytes;
  if (file_bytes > kMaxStripedFileBytes) return bytes;
  const long start = std::ftell(file);
  if (start < 0) return bytes;
  try {
    const auto total = static_cast<std::size_t>(file_bytes);
    std::size_t want = std::min(total, kHeaderPeekBytes);
    for (;;) {
      const std::size_t had = bytes.size();
      bytes.resize(want);
      bytes.resize(had + std::fread(bytes.data() + had, 1, want - had, file));
      const JpegHeaderVerdict verdict =
          CheckJpegHeaderForStripes(bytes.data(), bytes.size(), kMinJpegStripePixels);
      if (verdict == JpegHeaderVerdict::kSuitable) {
        want = total;
      } else if (verdict == JpegHeaderVerdict::kUnsuitable || bytes.size() < want ||
                 want >= std::min(total, kMaxHeaderPeekBytes)) {
        break;
      } else {
        want = std::min({total, kMaxHeaderPeekBytes, want * 4});
        continue;
      }
      const std::size_t header = bytes.size();
      bytes.resize(total);
      bytes.resize(header + std::fread(bytes.data() + header, 1, total - header, file));
      if (!std::ferror(file)) return bytes;
      break;
    }
  } catch (const std::bad_alloc&) {
  }
  bytes = {};
  std::clearerr(file);
  if (std::fseek(file, start, SEEK_SET) != 0)
    throw ImageError("cannot read the file: " + std::string(std::strerror(errno)));
  return bytes;
}

void ReadJpeg(std::FILE* file, const std::uint8_t* data, std::size_t size, Bitmap& out,
              const RasterReadOptions& options) {
  const std::optional<std::uint64_t> file_bytes =
      file != nullptr ? BytesLeftIn(file) : std::optional<std::uint64_t>(size);
  const bool two_threads = options.second_thread && std::thread::hardware_concurrency() > 1;
  const long file_start = file != nullptr && two_threads ? std::ftell(file) : -1;
  std::vector<std::uint8_t> whole;
  if (two_threads && file != nullptr && file_bytes) {
    whole = ReadWholeForStripes(file, *file_bytes);
    if (!whole.empty()) {
      data = whole.data();
      size = whole.size();
      file = nullptr;
    }
  }
  JpegDecodeJob job;
  job.control = options.control;
  InstallJpegErrorManager(*reinterpret_cast<j_common_ptr>(&job.cinfo), job.errors);
  JpegDecodeGuard guard(job);
  if (!ReadJpegHeader(job, file, data, size))
    throw ImageError(JpegFailureReason(job.errors, "reading"));

  const int width = static_cast<int>(job.cinfo.output_width);
  const int height = static_cast<int>(job.cinfo.output_height);
  CheckImageSize(width, height);
  if (width > options.max_width || height > options.max_height)
    throw LargerThanItsContainer(width, height, options.max_width, options.max_height);
  const std::uint64_t blocks = BlocksOfFrame(job.cinfo);
  if (file_bytes && !job.cinfo.arith_code && std::int64_t{width} * height > kPixelsAlwaysAllowed &&
      *file_bytes < blocks / kBlocksPerByte)
    throw TooShortForClaimedSize(width, height);
  job.work_budget = blocks + kWorkFloor + kWorkPerByte * file_bytes.value_or(0);

  out.ResetUninitialised(width, height);  // checks the size before anything is allocated
  job.cinfo.mem->max_memory_to_use =
      static_cast<long>(kJpegMemoryBase + kJpegMemoryPerPixel * width * height);

  std::optional<StripeOutcome> striped;
  if (two_threads && file == nullptr) {
    const std::optional<JpegStripePlan> plan = PlanJpegStripes(data, size, kMinJpegStripePixels);
    if (plan && PlanFitsFrame(*plan, job.cinfo))
      striped = DecodeInStripes(job, *plan, data, size, out);
  }
  if (!striped && two_threads && (file == nullptr || file_start >= 0)) {
    if (const std::optional<SkipSeam> seam = PlanSkipSeam(job.cinfo, job.multi_scan)) {
      StripeInput input;
      if (file != nullptr) {
        input.fd = fileno(file);
        input.offset = file_start;
      } else {
        input.data = data;
        input.size = size;
      }
      striped = DecodeInSkipStripes(job, *seam, input, out);
    }
  }
  if (striped) {
    switch (*striped) {
      case StripeOutcome::kDone:
        ClearRowPadding(out, 0);
        return;
      case StripeOutcome::kCancelled:
        out.Release();
        throw DecodeCancelled();
      case StripeOutcome::kFailed:
        break;
    }
    // Again on one thread, which gives the pixels or the reason of that decode.
    if (file != nullptr && std::fseek(file, file_start, SEEK_SET) != 0)
      throw ImageError("cannot read the file: " + std::string(std::strerror(errno)));
    RasterReadOptions alone = options;
    alone.second_thread = false;
    ReadJpeg(file, data, size, out, alone);
    return;
  }

  int rows_done = 0;
  const bool ok = DecodeJpegRows(job, out, RowWindow{0, 0, job.cinfo.output_height}, rows_done);
  if (!ok) {
    out.Release();
    if (job.cancelled) throw DecodeCancelled();
    throw ImageError(JpegFailureReason(job.errors, "decoding"));
  }
  WhitenUnreadPart(job, DataEndImcuRow(job), out);
  if (rows_done < height) {
    // Never reached with libjpeg's own sources, which pad a short file; kept so
    // that no uninitialised row can ever be shown.
    std::memset(out.Row(rows_done), 0xFF,
                static_cast<std::size_t>(out.Stride()) * (height - rows_done));
  }
  ClearRowPadding(out, 0);
}

}  // namespace

void ReadJpegFile(std::FILE* file, Bitmap& out, const RasterReadOptions& options) {
  if (file == nullptr) throw ImageError("no file to read the JPEG image from");
  ReadJpeg(file, nullptr, 0, out, options);
}

void ReadJpegBytes(const std::uint8_t* data, std::size_t size, Bitmap& out,
                   const RasterReadOptions& options) {
  if (data == nullptr || size == 0) throw ImageError("not a JPEG file");
  ReadJpeg(nullptr, data, size, out, options);
}

}  // namespace zelk
