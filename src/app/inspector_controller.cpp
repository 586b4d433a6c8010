#include "app/inspector_controller.h"

#include "app/inspector_panel.h"

namespace zelk {

namespace {
// Long enough that a box drag restarts nothing while it moves.
constexpr int kCountDelayMs = 60;
}  // namespace

InspectorController::InspectorController(QObject* context) : context_(context) {
  delay_.setSingleShot(true);
  delay_.setInterval(kCountDelayMs);
  QObject::connect(&delay_, &QTimer::timeout, context, [this] { StartCount(); });
}

// The count stops before the scratch memory and the result it writes go.
InspectorController::~InspectorController() {
  task_.CancelAndWait();
}

void InspectorController::ImageChanging() {
  delay_.stop();
  task_.CancelAndWait();
  counted_ = false;
  stats_.reset();
  image_ = nullptr;
}

void InspectorController::Stop() {
  ImageChanging();
}

void InspectorController::Request(const Bitmap& image, const PixelRect& region,
                                  InspectorPanel& panel) {
  if (counted_ && image_ == &image && region == region_ && panel_ == &panel) return;
  if (image_ != &image || region != region_) {
    task_.CancelAndWait();
    counted_ = false;
    stats_.reset();
  }
  image_ = &image;
  panel_ = &panel;
  region_ = region;
  delay_.start();
}

void InspectorController::StartCount() {
  if (image_ == nullptr || panel_ == nullptr || counted_) return;
  if (image_->Empty()) return;
  counted_ = true;
  stats_.reset();
  panel_->ShowRegion(region_, std::nullopt);
  if (!scratch_) scratch_ = std::make_unique<RegionStatsScratch>();
  const Bitmap* image = image_;
  const PixelRect region = region_;
  task_.Start(
      context_,
      [this, image, region](const std::atomic<bool>& cancel) {
        result_ = ComputeRegionStats(*image, region, &cancel, scratch_.get());
      },
      [this] {
        stats_ = std::move(result_);
        if (stats_ && panel_ != nullptr && panel_->isVisible()) panel_->ShowRegion(region_, stats_);
      });
}

}  // namespace zelk
