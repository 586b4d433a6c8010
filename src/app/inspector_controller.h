#pragma once
// The inspector's counting: the statistics of the region the user inspects, counted
// on a thread of their own a moment after the region last changed (a drag does not
// restart the count at every move), and shown in the panel when done. It knows which
// image and region its figures belong to, so the panel never shows another image's.

#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

#include "app/background_task.h"
#include "core/inspect/region_stats.h"
#include "core/view/geometry.h"
#include "platform/bitmap.h"

namespace zelk {

class InspectorPanel;

class InspectorController {
 public:
  explicit InspectorController(QObject* context);
  ~InspectorController();
  InspectorController(const InspectorController&) = delete;
  InspectorController& operator=(const InspectorController&) = delete;

  // The image is about to change (a load, an edit): the count in progress stops, and
  // what was counted no longer describes it. Call before the pixels change.
  void ImageChanging();
  // Counts region of image for panel, unless those figures are already shown; image
  // must stay unchanged until ImageChanging or Stop.
  void Request(const Bitmap& image, const PixelRect& region, InspectorPanel& panel);
  // The panel was closed: nothing more is counted.
  void Stop();

  // The figures of the region last counted; nullopt while counting.
  const std::optional<RegionStats>& stats() const { return stats_; }
  const PixelRect& region() const { return region_; }

 private:
  void StartCount();

  QObject* context_;
  QTimer delay_;
  const Bitmap* image_ = nullptr;
  InspectorPanel* panel_ = nullptr;
  PixelRect region_;
  bool counted_ = false;  // stats_ (or the count under way) are those of image_ at region_
  std::unique_ptr<RegionStatsScratch> scratch_;
  std::optional<RegionStats> result_;  // written by the thread, read after it ends
  std::optional<RegionStats> stats_;
  BackgroundTask task_;  // last, so it is stopped first
};

}  // namespace zelk
