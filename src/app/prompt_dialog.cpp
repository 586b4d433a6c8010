#include "app/prompt_dialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/qt_desktop.h"
#include "platform/desktop.h"
#include "support/support.h"

namespace zelk {

namespace {

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kAqua(0x00, 0xFF, 0xFF);
const QColor kSilver(0xC0, 0xC0, 0xC0);

// The named family where it is installed, otherwise the desktop's own UI family; the
// size is a character height in pixels either way, so the layout holds.
QFont DesignFont(const QString& family, int pixel_height) {
  QFont font = QApplication::font();
  if (QFontDatabase::hasFamily(family)) font.setFamily(family);
  font.setPixelSize(pixel_height);
  return font;
}

void SetColours(QWidget* widget, QPalette::ColorRole text_role, const QColor& text,
                QPalette::ColorRole back_role, const QColor& back) {
  QPalette palette = widget->palette();
  palette.setColor(text_role, text);
  palette.setColor(back_role, back);
  widget->setPalette(palette);
}

// A 16 x 16 folder, drawn in the given colours (normal and disabled states).
QPixmap FolderGlyph(const QColor& outline, const QColor& fill, const QColor& tab) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(outline);
  painter.setBrush(tab);
  painter.drawRect(1, 3, 6, 2);
  painter.setBrush(fill);
  painter.drawRect(1, 5, 13, 8);
  painter.setPen(fill.lighter(140));
  painter.drawLine(2, 6, 13, 6);
  return pixmap;
}

QIcon FolderIcon() {
  QIcon icon;
  icon.addPixmap(
      FolderGlyph(QColor(0x80, 0x60, 0x00), QColor(0xF0, 0xC8, 0x40), QColor(0xE0, 0xB0, 0x30)),
      QIcon::Normal);
  icon.addPixmap(
      FolderGlyph(QColor(0x80, 0x80, 0x80), QColor(0xD0, 0xD0, 0xD0), QColor(0xC0, 0xC0, 0xC0)),
      QIcon::Disabled);
  return icon;
}

// Distances of right-anchored controls from the right edge of the client area.
constexpr int kOkRightGap = PromptDialog::kClientWidth - (317 + 75);
constexpr int kCancelRightGap = PromptDialog::kClientWidth - (393 + 75);
constexpr int kHintRightGap = PromptDialog::kClientWidth - (11 + 302);
constexpr int kEditWidthMargin = 30;

}  // namespace

PromptDialog::PromptDialog(QWidget* main_window)
    : QDialog(main_window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setFont(DesignFont(QStringLiteral("Arial"), 11));
  resize(kClientWidth, kClientHeight);
  setMinimumHeight(kClientHeight);
  setMaximumHeight(kClientHeight);
  setSizeGripEnabled(false);

  controls_.frame = new QFrame(this);
  controls_.frame->setObjectName(QStringLiteral("frame"));
  controls_.frame->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  controls_.frame->setLineWidth(1);
  controls_.frame->setGeometry(0, 0, kClientWidth, kClientHeight);

  controls_.folder_button = new QPushButton(controls_.frame);
  controls_.folder_button->setObjectName(QStringLiteral("folder_button"));
  controls_.folder_button->setGeometry(6, 60, 25, 25);
  controls_.folder_button->setToolTip(QStringLiteral("Navigate To Directory"));
  controls_.folder_button->setIcon(FolderIcon());
  controls_.folder_button->setIconSize(QSize(16, 16));
  controls_.folder_button->setAutoDefault(false);
  controls_.folder_button->hide();
  connect(controls_.folder_button, &QPushButton::clicked, this, [this] { ChooseFolderIntoText(); });

  controls_.ok_button = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton),
                                        QStringLiteral("OK"), controls_.frame);
  controls_.ok_button->setObjectName(QStringLiteral("ok_button"));
  controls_.ok_button->setGeometry(317, 60, 75, 25);
  controls_.ok_button->setDefault(true);
  connect(controls_.ok_button, &QPushButton::clicked, this, &QDialog::accept);

  controls_.cancel_button = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                                            QStringLiteral("Cancel"), controls_.frame);
  controls_.cancel_button->setObjectName(QStringLiteral("cancel_button"));
  controls_.cancel_button->setGeometry(393, 60, 75, 25);
  controls_.cancel_button->setAutoDefault(false);
  connect(controls_.cancel_button, &QPushButton::clicked, this, &QDialog::reject);

  controls_.password_edit = new QLineEdit(controls_.frame);
  controls_.password_edit->setObjectName(QStringLiteral("password_edit"));
  controls_.password_edit->setGeometry(9, 29, 459, 22);
  controls_.password_edit->setEchoMode(QLineEdit::Password);
  controls_.password_edit->hide();

  controls_.text_box = new QComboBox(controls_.frame);
  controls_.text_box->setObjectName(QStringLiteral("text_box"));
  controls_.text_box->setGeometry(9, 28, 460, 23);
  controls_.text_box->setEditable(true);
  // The history is kept by Query alone; Enter must not add entries of its own.
  controls_.text_box->setInsertPolicy(QComboBox::NoInsert);
  controls_.text_box->setMaxVisibleItems(20);
  // No inline completion: Qt's swallows the Enter that should press OK whenever the
  // offered text is selected, and its case-blind matching swaps a typed text for a
  // history entry that differs only in letter case when the edit loses focus.
  controls_.text_box->setCompleter(nullptr);
  controls_.text_box->setFont(DesignFont(QStringLiteral("Arial"), 12));
  SetColours(controls_.text_box, QPalette::Text, kNavy, QPalette::Base, Qt::white);
  SetColours(controls_.text_box->lineEdit(), QPalette::Text, kNavy, QPalette::Base, Qt::white);
  controls_.text_box->view()->installEventFilter(this);

  controls_.prompt_label = new QLabel(controls_.frame);
  controls_.prompt_label->setObjectName(QStringLiteral("prompt_label"));
  controls_.prompt_label->move(11, 9);
  controls_.prompt_label->setFont(DesignFont(QStringLiteral("Georgia"), 12));
  controls_.prompt_label->setAutoFillBackground(true);
  SetColours(controls_.prompt_label, QPalette::WindowText, kMaroon, QPalette::Window, kAqua);

  controls_.hint_label = new QLabel(controls_.frame);
  controls_.hint_label->setObjectName(QStringLiteral("hint_label"));
  controls_.hint_label->setGeometry(11, 58, 302, 30);
  controls_.hint_label->setWordWrap(true);
  controls_.hint_label->setFont(DesignFont(QStringLiteral("Tahoma"), 11));
  controls_.hint_label->setAutoFillBackground(true);
  SetColours(controls_.hint_label, QPalette::WindowText, kMaroon, QPalette::Window, kSilver);
  controls_.hint_label->hide();

  QWidget::setTabOrder(controls_.folder_button, controls_.ok_button);
  QWidget::setTabOrder(controls_.ok_button, controls_.cancel_button);
  QWidget::setTabOrder(controls_.cancel_button, controls_.password_edit);
  QWidget::setTabOrder(controls_.password_edit, controls_.text_box);
}

bool PromptDialog::Query(const std::string& caption, const std::string& prompt,
                         std::string& value) {
  if (isVisible()) {
    const std::optional<std::string> answer = CurrentDesktop().InputText(caption, prompt, value);
    if (!answer) return false;
    value = *answer;
    return true;
  }

  setWindowTitle(DisplayText(caption));
  controls_.prompt_label->setText(DisplayText(prompt));
  controls_.prompt_label->adjustSize();
  const QString offered = DisplayText(value);
  AddToHistory(offered);
  // Inserting into the list can move the combo box's current item; the text shown is
  // the offered value regardless.
  controls_.text_box->setEditText(offered);

  CentreOverMainWindow();
  if (exec() != QDialog::Accepted) return false;

  const QString entered = controls_.text_box->currentText();
  value = BytesOfDisplayText(entered);
  AddToHistory(entered);
  return true;
}

QStringList PromptDialog::History() const {
  QStringList items;
  for (int i = 0; i < controls_.text_box->count(); ++i)
    items.append(controls_.text_box->itemText(i));
  return items;
}

void PromptDialog::AddToHistory(const QString& text) {
  if (text.isEmpty() || text.size() >= kHistoryTextLimit) return;
  for (int i = 0; i < controls_.text_box->count(); ++i) {
    if (controls_.text_box->itemText(i).compare(text, Qt::CaseInsensitive) == 0) return;
  }
  const QString shown = controls_.text_box->currentText();
  controls_.text_box->insertItem(0, text);
  controls_.text_box->setEditText(shown);
}

void PromptDialog::CentreOverMainWindow() {
  QRect over;
  if (QWidget* owner = parentWidget()) {
    over = owner->window()->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    over = screen->availableGeometry();
  } else {
    return;
  }
  const QRect frame = frameGeometry();
  move(over.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

std::string PromptDialog::FolderChooserStart(const std::string& edit_text) {
  std::error_code error;
  if (!edit_text.empty() && std::filesystem::is_directory(edit_text, error)) return edit_text;
  const std::filesystem::path current = std::filesystem::current_path(error);
  return error ? std::string() : current.string();
}

std::string PromptDialog::FolderChooserTitle(const std::string& application_title) {
  return application_title + "\nChoose a Directory :-";
}

void PromptDialog::FocusTextOnShow() {
  if (controls_.text_box->isVisibleTo(this)) {
    controls_.text_box->setFocus(Qt::OtherFocusReason);
    controls_.text_box->lineEdit()->selectAll();
  } else if (controls_.password_edit->isVisibleTo(this)) {
    controls_.password_edit->setFocus(Qt::OtherFocusReason);
    controls_.password_edit->selectAll();
  }
}

void PromptDialog::LayOutForWidth() {
  // Only the width may change: the height is pinned by the size limits, and held
  // here too should a window manager ignore them.
  if (height() != kClientHeight) resize(width(), kClientHeight);
  const int w = width();
  controls_.frame->setGeometry(0, 0, w, kClientHeight);
  controls_.text_box->resize(w - kEditWidthMargin, controls_.text_box->height());
  controls_.password_edit->resize(w - kEditWidthMargin, controls_.password_edit->height());
  controls_.ok_button->move(w - kOkRightGap - controls_.ok_button->width(),
                            controls_.ok_button->y());
  controls_.cancel_button->move(w - kCancelRightGap - controls_.cancel_button->width(),
                                controls_.cancel_button->y());
  controls_.hint_label->resize(std::max(0, w - kHintRightGap - controls_.hint_label->x()),
                               controls_.hint_label->height());
}

void PromptDialog::HideFolderButton() {
  controls_.folder_button->hide();
}

void PromptDialog::ChooseFolderIntoText() {
  const std::string start = FolderChooserStart(QStringToPath(controls_.text_box->currentText()));
  const std::optional<std::string> chosen =
      CurrentDesktop().ChooseFolder(FolderChooserTitle(ApplicationTitle()), start);
  if (chosen && !chosen->empty()) controls_.text_box->setEditText(PathToQString(*chosen));
}

bool PromptDialog::DeleteHighlightedHistoryEntry(QKeyEvent* event) {
  QAbstractItemView* list = controls_.text_box->view();
  if (event->key() != Qt::Key_Delete || !list->isVisible()) return false;
  const QModelIndex highlighted = list->currentIndex();
  if (highlighted.isValid()) {
    // Removing the current item would otherwise replace the text being edited.
    const QString shown = controls_.text_box->currentText();
    controls_.text_box->removeItem(highlighted.row());
    controls_.text_box->setEditText(shown);
  }
  return true;
}

void PromptDialog::done(int result) {
  HideFolderButton();
  QDialog::done(result);
}

void PromptDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FocusTextOnShow();
}

void PromptDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayOutForWidth();
}

bool PromptDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == controls_.text_box->view() && event->type() == QEvent::KeyPress &&
      DeleteHighlightedHistoryEntry(static_cast<QKeyEvent*>(event))) {
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

namespace {

QPointer<PromptDialog>& Instance() {
  static QPointer<PromptDialog> instance;
  return instance;
}

// The window the dialog is created over; the dialog is only built when first asked
// for, as building it (fonts, style icons) costs the start-up several milliseconds.
QPointer<QWidget>& Owner() {
  static QPointer<QWidget> owner;
  return owner;
}

void DeleteUnownedInstance() {
  PromptDialog* dialog = Instance().data();
  if (dialog && !dialog->parent()) delete dialog;
}

}  // namespace

void SetPromptDialogOwner(QWidget* main_window) {
  delete Instance().data();
  Owner() = main_window;
}

PromptDialog& SharedPromptDialog() {
  if (!Instance()) {
    QWidget* owner = Owner().data();
    Instance() = new PromptDialog(owner);
    if (owner == nullptr) qAddPostRoutine(DeleteUnownedInstance);
  }
  return *Instance();
}

}  // namespace zelk
