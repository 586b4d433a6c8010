// zelk_drag_source X Y FILE...: a small window at (X, Y) of the screen that, when the
// left button is pressed on it, drags FILE... as a file manager does (an XDND drag of
// their file: URLs). It prints the action the drop target took ("copy", "move",
// "link" or "ignored") and ends a few seconds later.

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

class DragSource final : public QWidget {
 public:
  explicit DragSource(QList<QUrl> urls) : urls_(std::move(urls)) {
    setWindowTitle(QStringLiteral("zelk drag source"));
    setFixedSize(100, 60);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    auto* mime = new QMimeData;
    mime->setUrls(urls_);
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
    const char* name = action == Qt::CopyAction   ? "copy"
                       : action == Qt::MoveAction ? "move"
                       : action == Qt::LinkAction ? "link"
                                                  : "ignored";
    std::printf("%s\n", name);
    std::fflush(stdout);
    // exec() returns as soon as the drop is sent; the target reads the data from us
    // after that, so stay a while as a file manager would.
    QTimer::singleShot(3000, qApp, &QApplication::quit);
  }

 private:
  QList<QUrl> urls_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 4) return 2;
  QList<QUrl> urls;
  for (int i = 3; i < argc; ++i) urls.append(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i])));
  DragSource source(urls);
  source.move(std::atoi(argv[1]), std::atoi(argv[2]));
  source.show();
  return app.exec();
}
