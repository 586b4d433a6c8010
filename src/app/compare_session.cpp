#include "app/compare_session.h"

#include <algorithm>

namespace zelk {

CompareSession::CompareSession(QObject* context, std::function<void(std::uint64_t)> on_b_done,
                               std::function<void()> on_counted)
    : context_(context),
      b_browser_(context, std::move(on_b_done)),
      on_counted_(std::move(on_counted)) {
  b_browser_.before_image_change = [this] { Stop(); };
}

void CompareSession::Begin() {
  active_ = true;
  view_ = CompareView::kFlip;
  showing_b_ = true;
  current_cluster.reset();
}

void CompareSession::End() {
  Stop();
  active_ = false;
  showing_b_ = false;
  current_cluster.reset();
  // B's list and image go with the comparison; a load of B still running stops.
  static_cast<void>(b_browser_.Cancel());
  b_browser_.Forget();
}

void CompareSession::Flip() {
  if (view_ == CompareView::kFlip) {
    showing_b_ = !showing_b_;
  } else {
    view_ = CompareView::kFlip;
  }
}

void CompareSession::SetTolerance(int tolerance) {
  tolerance_ = std::clamp(tolerance, 0, kMaxDiffTolerance);
}

void CompareSession::Stop() {
  task_.CancelAndWait();
  diff_.reset();
  clusters_.clear();
  current_cluster.reset();
}

void CompareSession::Count(const Bitmap& a) {
  Stop();
  const Bitmap& b = b_browser_.image();
  if (a.Empty() || b.Empty()) return;
  const int tolerance = tolerance_;
  task_.Start(
      context_,
      [this, &a, &b, tolerance](const std::atomic<bool>& cancel) {
        result_ = CompareBitmaps(a, b, tolerance, &cancel);
        result_clusters_.clear();
        if (result_) {
          if (auto clusters = FindDiffClusters(result_->mask, &cancel))
            result_clusters_ = std::move(*clusters);
        }
      },
      [this] {
        diff_ = std::move(result_);
        clusters_ = std::move(result_clusters_);
        on_counted_();
      });
}

}  // namespace zelk
