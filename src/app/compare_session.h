#pragma once
// A comparison of the image shown (A) with a second one (B): B's own list and load
// (its folder, stepped through while A stays), the way the two are looked at, the
// tolerance, and the differences, counted on a thread of their own whenever A, B or
// the tolerance changes.

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/background_task.h"
#include "app/image_browser.h"
#include "core/compare/diff_clusters.h"
#include "core/compare/pixel_diff.h"

namespace zelk {

enum class CompareView {
  kFlip,        // A or B in place
  kSplit,       // A left of the divider, B right of it
  kDifference,  // differing pixels in one colour, the rest A dimmed to grey
};

class CompareSession {
 public:
  // on_b_done(ticket): B's decode ended (on context's thread); on_counted: the
  // differences of the current pair are ready.
  CompareSession(QObject* context, std::function<void(std::uint64_t)> on_b_done,
                 std::function<void()> on_counted);
  // The count stops before anything it reads or writes goes.
  ~CompareSession() { task_.CancelAndWait(); }
  CompareSession(const CompareSession&) = delete;
  CompareSession& operator=(const CompareSession&) = delete;

  bool active() const { return active_; }
  void Begin();
  // Leaves the comparison; B and its list are forgotten.
  void End();
  ImageBrowser& b() { return b_browser_; }
  const ImageBrowser& b() const { return b_browser_; }

  CompareView view() const { return view_; }
  // Flip: the first press shows the flip view, each further one the other image.
  void Flip();
  void SetView(CompareView view) { view_ = view; }
  bool showing_b() const { return showing_b_; }
  int divider() const { return divider_; }
  void SetDivider(int x) { divider_ = x; }

  int tolerance() const { return tolerance_; }
  void SetTolerance(int tolerance);

  // Counts the differences of a and B (a must not change until the count ends or
  // Stop is called); the figures are dropped until then.
  void Count(const Bitmap& a);
  // A or B is about to change: the count stops, its figures go.
  void Stop();
  const std::optional<DiffResult>& diff() const { return diff_; }
  const std::vector<DiffCluster>& clusters() const { return clusters_; }
  // The cluster last stepped to, for the next step to start from.
  std::optional<std::size_t> current_cluster;

 private:
  QObject* context_;
  ImageBrowser b_browser_;
  std::function<void()> on_counted_;
  bool active_ = false;
  CompareView view_ = CompareView::kFlip;
  bool showing_b_ = false;
  int divider_ = -1;
  int tolerance_ = 0;
  std::optional<DiffResult> result_;  // written by the thread, read after it ends
  std::vector<DiffCluster> result_clusters_;
  std::optional<DiffResult> diff_;
  std::vector<DiffCluster> clusters_;
  BackgroundTask task_;  // last, so it is stopped first
};

}  // namespace zelk
