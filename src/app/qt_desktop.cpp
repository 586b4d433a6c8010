#include "app/qt_desktop.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>
#include <cstring>
#include <filesystem>

#include "app/clipboard_image.h"
#ifdef ZELK_X11_CLIPBOARD
#include <qguiapplication_platform.h>

#include "app/x11_clipboard_transfer.h"

// libX11, which the toolkit's X11 support links; its header's macros (None, Status,
// Bool) would clash with the toolkit's names.
extern "C" char* XDisplayString(Display* display);
#endif
#include "platform/bitmap.h"
#include "support/support.h"

namespace zelk {

QString PathToQString(const std::string& path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

std::string QStringToPath(const QString& path) {
  const QByteArray bytes = QFile::encodeName(path);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString DisplayText(const std::string& bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString LiteralWindowTitle(QString title) {
  return title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

std::string BytesOfDisplayText(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

namespace {
// Messages carry CR LF line breaks; a Qt label wants plain line feeds.
QString MessageText(const std::string& bytes) {
  QString text = DisplayText(bytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}
}  // namespace

void QtDesktop::ShowMessage(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, DisplayText(caption), MessageText(text), QMessageBox::Ok,
                  main_window_);
  box.exec();
}

bool QtDesktop::AskQuestion(const std::string& text, bool notice_form) {
  QMessageBox box(main_window_);
  box.setText(MessageText(text));
  if (notice_form) {
    box.setWindowTitle(QStringLiteral("Information"));
    box.setIcon(QMessageBox::Information);
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    // The second button takes the focus, so Enter answers Cancel.
    box.setDefaultButton(cancel);
    box.exec();
    return box.clickedButton() == ok;
  }
  box.setWindowTitle(QStringLiteral("Confirm"));
  box.setIcon(QMessageBox::Question);
  QPushButton* yes = box.addButton(QMessageBox::Yes);
  QPushButton* no = box.addButton(QMessageBox::No);
  box.setDefaultButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

void QtDesktop::ShowException(const std::string& caption, const std::string& what) {
  QMessageBox box(QMessageBox::Critical, DisplayText(caption), MessageText(what), QMessageBox::Ok,
                  main_window_);
  box.exec();
}

void QtDesktop::ProcessEvents() {
  // Paints, timers and finished loads go on; clicks and keys wait for the command
  // that paused, and reach the window once it has ended.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtDesktop::SleepMs(int ms) {
  if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
}

void QtDesktop::PlaySystemSound(SystemSound sound) {
  // The freedesktop event sound where a player is installed; otherwise the bell.
  const QString player = QStandardPaths::findExecutable(QStringLiteral("canberra-gtk-play"));
  if (!player.isEmpty()) {
    const QString id = sound == SystemSound::kQuestion ? QStringLiteral("dialog-question")
                                                       : QStringLiteral("dialog-information");
    if (QProcess::startDetached(player, {QStringLiteral("-i"), id})) return;
  }
  QApplication::beep();
}

void QtDesktop::BringToFront() {
  if (main_window_ == nullptr) return;
  main_window_->raise();
  main_window_->activateWindow();
}

namespace {
QString JoinFilters(const std::vector<std::string>& filters) {
  QStringList list;
  for (const auto& f : filters) list << DisplayText(f);
  return list.join(QStringLiteral(";;"));
}
}  // namespace

std::vector<std::string> QtDesktop::ChooseFilesToOpen(const FileDialogRequest& request) {
  QFileDialog dialog(main_window_, DisplayText(request.title), PathToQString(request.initial_dir),
                     JoinFilters(request.filters));
  dialog.setFileMode(QFileDialog::ExistingFiles);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Each filter's caption already lists its patterns; the toolkit would add them again.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setOption(QFileDialog::DontUseNativeDialog, false);
  std::vector<std::string> result;
  if (dialog.exec() != QDialog::Accepted) return result;
  for (const QString& f : dialog.selectedFiles()) result.push_back(QStringToPath(f));
  return result;
}

std::optional<std::string> QtDesktop::ChooseFileToSave(const FileDialogRequest& request) {
  QFileDialog dialog(main_window_, DisplayText(request.title), PathToQString(request.initial_dir),
                     JoinFilters(request.filters));
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  if (!request.initial_name.empty()) dialog.selectFile(PathToQString(request.initial_name));
  // Like any dialog whose path must exist, it stays open until the folder does.
  for (;;) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const std::string chosen = QStringToPath(dialog.selectedFiles().first());
    std::error_code error;
    if (std::filesystem::is_directory(PathPart(chosen), error)) return chosen;
    QMessageBox::warning(&dialog, DisplayText(request.title),
                         DisplayText("The folder " + PathPart(chosen) + " does not exist."));
  }
}

std::optional<std::string> QtDesktop::ChooseFolder(const std::string& title,
                                                   const std::string& start_folder) {
  const QString dir = QFileDialog::getExistingDirectory(main_window_, DisplayText(title),
                                                        PathToQString(start_folder));
  if (dir.isEmpty()) return std::nullopt;
  return QStringToPath(dir);
}

std::optional<std::uint32_t> QtDesktop::ChooseColour(std::uint32_t initial_rgb) {
  const QColor colour = QColorDialog::getColor(QColor::fromRgb(initial_rgb), main_window_);
  if (!colour.isValid()) return std::nullopt;
  return static_cast<std::uint32_t>(colour.rgb() & 0xFFFFFFu);
}

std::optional<std::string> QtDesktop::InputText(const std::string& caption,
                                                const std::string& prompt,
                                                const std::string& value) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(main_window_, DisplayText(caption), DisplayText(prompt),
                            QLineEdit::Normal, DisplayText(value), &ok);
  if (!ok) return std::nullopt;
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool QtDesktop::ChoosePrinter(QPrinter& printer) {
  QPrintDialog dialog(&printer, main_window_);
  return dialog.exec() == QDialog::Accepted;
}

void QtDesktop::SetClipboardText(const std::string& text) {
  QGuiApplication::clipboard()->setText(DisplayText(text));
}

void QtDesktop::SetClipboardImage(const Bitmap& image) {
  // The clipboard owns it; the PNG is encoded on the worker thread it starts.
  QGuiApplication::clipboard()->setMimeData(new ClipboardImage(image));
}

#ifdef ZELK_X11_CLIPBOARD
namespace {

// The name of the X display the toolkit is connected to; empty on other platforms.
std::string X11DisplayName() {
  const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 != nullptr && x11->display() != nullptr) {
    if (const char* name = XDisplayString(x11->display())) return name;
  }
  return {};
}

}  // namespace
#endif

ClipboardImageStatus QtDesktop::GetClipboardImage(ClipboardPicture& picture, std::string& error) {
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  // Our own copy: its pixels as they are, without a trip through PNG or QImage.
  if (const auto* ours = qobject_cast<const ClipboardImage*>(mime)) {
    try {
      ours->CopyTo(picture.pixels);
    } catch (const std::exception& e) {
      error = e.what();
      return ClipboardImageStatus::kUnreadable;
    }
    return ClipboardImageStatus::kImage;
  }
  if (mime == nullptr) return ClipboardImageStatus::kNoImage;
  // Another program's file bytes in a format our own decoders read: fetching them is
  // the transfer alone; the decoding happens off the GUI thread, with the same
  // pixels as opening such a file (the toolkit would apply gamma, for one).
  std::vector<std::string> offered;
  for (const char* type :
       {"image/png", "image/bmp", "image/x-bmp", "image/x-ms-bmp", "image/jpeg"}) {
    if (mime->hasFormat(QString::fromLatin1(type))) offered.emplace_back(type);
  }
#ifdef ZELK_X11_CLIPBOARD
  // On X11 the transfer itself runs on the decoding thread, over a connection of its
  // own: the toolkit would hold the GUI thread until the last chunk of a large
  // picture had come.
  if (const std::string display = X11DisplayName(); !offered.empty() && !display.empty()) {
    picture.fetch_file_bytes = [display, offered](const std::atomic<bool>& cancel,
                                                  std::string& reason) {
      return ReadX11Clipboard(X11ClipboardRequest{display, offered}, cancel, reason);
    };
    return ClipboardImageStatus::kImage;
  }
#endif
  for (const std::string& type : offered) {
    const QByteArray bytes = mime->data(QString::fromStdString(type));
    if (bytes.isEmpty()) continue;
    picture.file_bytes.assign(bytes.begin(), bytes.end());
    return ClipboardImageStatus::kImage;
  }
  if (!mime->hasImage()) return ClipboardImageStatus::kNoImage;
  Bitmap& out = picture.pixels;
  QImage image = qvariant_cast<QImage>(mime->imageData());
  if (image.isNull()) {
    error = "the clipboard image could not be decoded";
    return ClipboardImageStatus::kUnreadable;
  }
  // Transparent parts show white, as for every other image.
  QImage flat(image.size(), QImage::Format_RGB888);
  flat.fill(Qt::white);
  {
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
  }
  try {
    out.ResetUninitialised(flat.width(), flat.height());
  } catch (const std::exception& e) {
    error = e.what();
    return ClipboardImageStatus::kUnreadable;
  }
  for (int y = 0; y < flat.height(); ++y) {
    const uchar* src = flat.constScanLine(y);
    std::uint8_t* dst = out.Row(y);
    for (int x = 0; x < flat.width(); ++x) {
      dst[3 * x] = src[3 * x + 2];
      dst[3 * x + 1] = src[3 * x + 1];
      dst[3 * x + 2] = src[3 * x];
    }
  }
  return ClipboardImageStatus::kImage;
}

std::optional<std::uint32_t> QtDesktop::ScreenPixel(int global_x, int global_y) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return std::nullopt;
  QScreen* screen = QGuiApplication::screenAt(QPoint(global_x, global_y));
  if (screen == nullptr) return std::nullopt;
  const QPixmap grab = screen->grabWindow(0, global_x - screen->geometry().x(),
                                          global_y - screen->geometry().y(), 1, 1);
  if (grab.isNull()) return std::nullopt;
  const QImage image = grab.toImage();
  if (image.isNull() || image.width() < 1 || image.height() < 1) return std::nullopt;
  return static_cast<std::uint32_t>(image.pixel(0, 0) & 0xFFFFFFu);
}

}  // namespace zelk
