// Off unless ZELK_STALL_PROBE is set (to a threshold in milliseconds, 50 when not a
// number): a 10 ms timer on the GUI thread writes every gap between its ticks that
// is longer than the threshold to stderr, so a developer sees how long the window
// stood still and when. Linked into the program only, never into the tests.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

namespace {

void StartGuiStallProbe() {
  if (!qEnvironmentVariableIsSet("ZELK_STALL_PROBE")) return;
  bool is_number = false;
  int threshold = qEnvironmentVariableIntValue("ZELK_STALL_PROBE", &is_number);
  if (!is_number || threshold <= 0) threshold = 50;
  auto* timer = new QTimer(QCoreApplication::instance());
  timer->setTimerType(Qt::PreciseTimer);
  timer->setInterval(10);
  QElapsedTimer since_start;
  since_start.start();
  QObject::connect(
      timer, &QTimer::timeout, timer, [since_start, threshold, last = qint64{0}]() mutable {
        const qint64 now = since_start.elapsed();
        if (now - last > threshold)
          std::fprintf(stderr, "zelk-stall-probe: %lld ms ending at %lld ms\n",
                       static_cast<long long>(now - last), static_cast<long long>(now));
        last = now;
      });
  timer->start();
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartGuiStallProbe)
