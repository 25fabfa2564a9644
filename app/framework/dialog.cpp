#include "framework/dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

#include "framework/application.h"
#include "framework/system_text.h"

namespace fw {
namespace {

constexpr const char* kControlIdProperty = "controlId";

// a * b / c rounded to the nearest, halves away from zero.
int MulDiv(int a, int b, int c) {
  const std::int64_t p = static_cast<std::int64_t>(a) * b;
  const std::int64_t r = (p >= 0 ? p + c / 2 : p - c / 2) / c;
  return static_cast<int>(r);
}

QString FromUtf16(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

bool IsBlank(QChar c) {
  return c == u' ' || c == u'\t';
}

QWidget* MakeControl(const ControlTemplate& c, QWidget* parent) {
  const QString text = FromUtf16(c.text);
  switch (c.kind) {
    case ControlKind::Edit: {
      if (c.style & kMultiLine) {
        auto* edit = new QPlainTextEdit(text, parent);
        edit->setLineWrapMode((c.style & kAutoHScroll) ? QPlainTextEdit::NoWrap
                                                       : QPlainTextEdit::WidgetWidth);
        edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        edit->setVerticalScrollBarPolicy((c.style & kVScroll) ? Qt::ScrollBarAlwaysOn
                                                              : Qt::ScrollBarAlwaysOff);
        if (!(c.style & kAutoHScroll)) edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setTabChangesFocus(true);
        return edit;
      }
      return new QLineEdit(text, parent);
    }
    case ControlKind::Button: {
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(false);
      button->setDefault((c.style & kDefault) != 0);
      return button;
    }
    case ControlKind::Label: {
      auto* label = new QLabel(text, parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      if (c.style & kBorder) {
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        label->setLineWidth(1);
        label->setIndent(1);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      }
      return label;
    }
    case ControlKind::Picture: {
      auto* picture = new QLabel(parent);
      picture->setPixmap((c.style & kIcon) ? LoadIcon(c.resource).pixmap(32, 32) : LoadBitmap(c.resource));
      return picture;
    }
  }
  return nullptr;
}

bool IsEditBox(const QObject* o) {
  return qobject_cast<const QLineEdit*>(o) || qobject_cast<const QPlainTextEdit*>(o);
}

}  // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int extent =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(extent / 26 + 1) / 2, metrics.height()};
}

QRect ToPixels(const DluRect& r, DialogBaseUnits u) {
  return {MulDiv(r.x, u.charWidth, 4), MulDiv(r.y, u.charHeight, 8), MulDiv(r.w, u.charWidth, 4),
          MulDiv(r.h, u.charHeight, 8)};
}

QFont DialogFont(const DialogTemplate& t) {
  // The shell dialog face of a Chinese (GBK) desktop is a CJK face, whose
  // Latin letters are narrow enough for the templates' labels; a condensed
  // face, then the desktop's general font, stand in when it is missing.
  QFont font;
  if (t.fontFace == u"MS Shell Dlg") {
    font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("DejaVu Sans Condensed"),
                      QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
  } else {
    font.setFamily(FromUtf16(t.fontFace));
  }
  font.setPointSize(t.pointSize);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  return font;
}

QPoint CentredPosition(QSize size, const QRect& over, const QRect& workArea) {
  int x = over.x() + (over.width() - size.width()) / 2;
  int y = over.y() + (over.height() - size.height()) / 2;
  x = std::max(workArea.left(), std::min(x, workArea.x() + workArea.width() - size.width()));
  y = std::max(workArea.top(), std::min(y, workArea.y() + workArea.height() - size.height()));
  return {x, y};
}

QPoint MinimizedIconPosition(QSize client, QSize icon) {
  return {(client.width() - icon.width() + 1) / 2, (client.height() - icon.height() + 1) / 2};
}

SystemMenu::SystemMenu() {
  m_items.push_back({kSysMove, QStringLiteral(u"移动(&M)")});
  m_items.push_back({kSysClose, QStringLiteral(u"关闭(&C)\tAlt+F4")});
}

void SystemMenu::AppendSeparator() {
  m_items.push_back({0, {}});
}

void SystemMenu::AppendItem(unsigned id, const QString& text) {
  m_items.push_back({id, text});
}

DialogWindow::DialogWindow(Dialog& dialog, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), m_dialog(dialog) {}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress)
    return m_dialog.TranslateKey(watched, static_cast<QKeyEvent*>(event));
  if (event->type() == QEvent::FocusIn) {
    // A box that gets the focus from the keyboard has its whole text selected.
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(watched);
        edit && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)) {
      edit->selectAll();
    }
  }
  return false;
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  if (!m_dialog.TranslateKey(this, event)) event->ignore();
}

void DialogWindow::closeEvent(QCloseEvent* event) {
  // The close box is a system command like any other.
  event->ignore();
  m_dialog.Deliver({MessageKind::SysCommand, kSysClose, {}, &m_dialog});
}

void DialogWindow::paintEvent(QPaintEvent* event) {
  if (!m_dialog.Deliver({MessageKind::Paint, 0, {}, &m_dialog})) QDialog::paintEvent(event);
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
  m_dialog.TrackSystemMenu(event->globalPos());
}

Dialog::Dialog(int templateId, Dialog* owner) : m_templateId(templateId), m_owner(owner) {}

Dialog::~Dialog() = default;

bool Dialog::Build() {
  m_template = FindDialogTemplate(m_templateId);
  if (!m_template) return false;
  const bool owned = m_owner && m_owner->Window();
  // An owned dialog stays over its owner; one without gets a task-bar button.
  const Qt::WindowFlags flags = (owned ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint |
                                Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  m_window = std::make_unique<DialogWindow>(*this, owned ? m_owner->Window() : nullptr, flags);
  m_window->setObjectName(QStringLiteral("dialog_%1").arg(m_templateId));
  m_window->setWindowTitle(FromUtf16(m_template->title));
  const QFont font = DialogFont(*m_template);
  m_window->setFont(font);
  const DialogBaseUnits units = BaseUnitsOf(font);
  m_window->setFixedSize(ToPixels({0, 0, m_template->width, m_template->height}, units).size());
  m_systemMenu = SystemMenu();

  std::vector<QWidget*> pictures;
  for (const ControlTemplate& c : m_template->controls) {
    QWidget* w = MakeControl(c, m_window.get());
    w->setObjectName(QString::fromLatin1(c.name.data(), static_cast<qsizetype>(c.name.size())));
    w->setProperty(kControlIdProperty, c.id);
    const QRect r = ToPixels(c.rect, units);
    if (c.kind == ControlKind::Picture) {
      w->setGeometry(QRect(r.topLeft(), w->sizeHint()));
    } else {
      w->setGeometry(r);
    }
    // Template order is stacking order with the first on top; a picture,
    // shown at its own size, goes beneath every other control so that it
    // never hides a box.
    w->lower();
    if (c.kind == ControlKind::Picture) pictures.push_back(w);
    // Qt's focus chain follows creation order, which is template order.
    w->setFocusPolicy((c.style & kTabStop) ? Qt::StrongFocus : Qt::NoFocus);
    w->installEventFilter(m_window.get());
    if (auto* button = qobject_cast<QPushButton*>(w)) {
      const auto id = static_cast<unsigned>(c.id);
      QObject::connect(button, &QPushButton::clicked, m_window.get(), [this, id] {
        Deliver({MessageKind::Command, id, {}, this});
      });
    }
  }
  for (QWidget* picture : pictures) picture->lower();
  return true;
}

void Dialog::Initialise() {
  bool focusFirst = true;
  try {
    focusFirst = OnInitialise();
  } catch (...) {
    ReportCurrentFailure(m_window.get());
  }
  if (focusFirst) {
    for (const ControlTemplate& c : m_template->controls) {
      if (!(c.style & kTabStop)) continue;
      QWidget* w = m_window->findChild<QWidget*>(
          QString::fromLatin1(c.name.data(), static_cast<qsizetype>(c.name.size())));
      if (!w) break;
      w->setFocus(Qt::TabFocusReason);
      if (auto* line = qobject_cast<QLineEdit*>(w)) line->selectAll();
      if (auto* text = qobject_cast<QPlainTextEdit*>(w)) text->selectAll();
      break;
    }
  }
  const bool owned = m_owner && m_owner->Window();
  QScreen* screen = owned ? m_owner->Window()->screen() : QGuiApplication::primaryScreen();
  const QRect workArea = screen ? screen->availableGeometry() : QRect();
  const QRect over = owned ? m_owner->Window()->frameGeometry() : workArea;
  m_window->move(CentredPosition(m_window->size(), over, workArea));
}

int Dialog::RunModal() {
  if (!Build()) return -1;
  Initialise();
  const int result = m_window->exec();
  m_window.reset();
  return result;
}

bool Dialog::Create() {
  if (!Build()) return false;
  Initialise();
  m_window->show();
  return true;
}

bool Dialog::Deliver(const Message& m) noexcept {
  try {
    return OnMessage(m);
  } catch (...) {
    ReportCurrentFailure(m_window.get());
    return true;
  }
}

bool Dialog::OnMessage(const Message& m) {
  static constexpr std::array<MessageEntry<Dialog>, 3> kMessageTable = {
      OnCommandEntry<Dialog>(kIdOk, &Dialog::OnOk),
      OnCommandEntry<Dialog>(kIdCancel, &Dialog::OnCancel),
      OnSysCommandEntry<Dialog>(&Dialog::DefaultSysCommand),
  };
  if (Route<Dialog>(*this, kMessageTable, m)) return true;
  // Commands no window takes go to the application.
  if (m.kind == MessageKind::Command) {
    if (Application* app = Application::Current()) return app->OnMessage(m);
  }
  return false;
}

bool Dialog::OnInitialise() {
  return true;
}

// The dialog has no data to exchange, so OK always ends it.
void Dialog::OnOk() {
  End(static_cast<int>(kIdOk));
}

void Dialog::OnCancel() {
  End(static_cast<int>(kIdCancel));
}

void Dialog::End(int result) {
  if (m_window) m_window->done(result);
}

void Dialog::SetIcon(const QIcon& icon, bool /*big*/) {
  // One window icon serves both sizes here.
  if (m_window) m_window->setWindowIcon(icon);
}

bool Dialog::IsIconic() const {
  return m_window && m_window->isMinimized();
}

void Dialog::DefaultSysCommand(unsigned id, QPoint /*point*/) {
  switch (id & 0xFFF0u) {
    case kSysClose: OnMessage({MessageKind::Command, kIdCancel, {}, this}); break;
    case kSysMove:
      if (m_window && m_window->windowHandle()) m_window->windowHandle()->startSystemMove();
      break;
    default: break;
  }
}

QWidget* Dialog::GetDlgItem(int id) const {
  if (!m_window) return nullptr;
  for (QWidget* w : m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (w->property(kControlIdProperty).toInt() == id) return w;
  }
  return nullptr;
}

void Dialog::TrackSystemMenu(QPoint globalPos) {
  if (!m_window) return;
  QMenu menu(m_window.get());
  for (const SystemMenu::Item& item : m_systemMenu.Items()) {
    if (item.id == 0) {
      menu.addSeparator();
    } else {
      menu.addAction(item.text)->setData(item.id);
    }
  }
  const QAction* chosen = menu.exec(globalPos);
  if (chosen) Deliver({MessageKind::SysCommand, chosen->data().toUInt(), globalPos, this});
}

std::string Dialog::GetDlgItemText(int id) const {
  const QWidget* w = GetDlgItem(id);
  QString text;
  if (const auto* line = qobject_cast<const QLineEdit*>(w)) {
    text = line->text();
  } else if (const auto* edit = qobject_cast<const QPlainTextEdit*>(w)) {
    text = edit->toPlainText().replace(u'\n', QStringLiteral("\r\n"));
  } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
    text = button->text();
  } else if (const auto* label = qobject_cast<const QLabel*>(w)) {
    text = label->text();
  }
  return ToSystemText(text);
}

void Dialog::SetDlgItemText(int id, std::string_view text) {
  QWidget* w = GetDlgItem(id);
  const QString value = FromSystemText(text);
  if (auto* line = qobject_cast<QLineEdit*>(w)) {
    line->setText(value);
  } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
    edit->setPlainText(QString(value).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setText(value);
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(value);
  }
}

int Dialog::GetDlgItemInt(int id) const {
  const QWidget* w = GetDlgItem(id);
  QString text;
  if (const auto* line = qobject_cast<const QLineEdit*>(w)) text = line->text();
  if (const auto* edit = qobject_cast<const QPlainTextEdit*>(w)) text = edit->toPlainText();
  qsizetype i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  const bool negative = i < text.size() && text[i] == u'-';
  if (negative) ++i;
  const qsizetype firstDigit = i;
  std::int64_t magnitude = 0;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
    magnitude = magnitude * 10 + (text[i].unicode() - u'0');
    if (magnitude > std::int64_t{INT_MAX} + 1) return 0;
    ++i;
  }
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i == firstDigit || i != text.size()) return 0;
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT_MAX || value < INT_MIN) return 0;
  return static_cast<int>(value);
}

bool Dialog::TranslateKey(QObject* target, QKeyEvent* key) {
  const auto mods = key->modifiers() & ~Qt::KeypadModifier;
  const int k = key->key();
  if (k == Qt::Key_Escape && mods == Qt::NoModifier) {
    Deliver({MessageKind::Command, kIdCancel, {}, this});
    return true;
  }
  if ((k == Qt::Key_Return || k == Qt::Key_Enter) && mods == Qt::NoModifier) {
    if (auto* button = qobject_cast<QPushButton*>(target)) {
      button->click();
      return true;
    }
    // Edit boxes without the want-return style hand Enter to the dialog.
    if (IsEditBox(target) || target == m_window.get()) {
      Deliver({MessageKind::Command, DefaultCommandId(), {}, this});
      return true;
    }
    return false;
  }
  if (k == Qt::Key_F1 && mods == Qt::NoModifier) {
    Application* app = Application::Current();
    Dialog* main = app ? app->MainWindow() : nullptr;
    (main ? main : this)->Deliver({MessageKind::Command, kIdHelp, {}, this});
    return true;
  }
  if (k == Qt::Key_F10 && mods == Qt::ShiftModifier) {
    TrackSystemMenu(m_window->mapToGlobal(QPoint(0, 0)));
    return true;
  }
  if (k == Qt::Key_F4 && mods == Qt::AltModifier) {
    Deliver({MessageKind::SysCommand, kSysClose, {}, this});
    return true;
  }
  return false;
}

unsigned Dialog::DefaultCommandId() const {
  for (const ControlTemplate& c : m_template->controls) {
    if (c.kind == ControlKind::Button && (c.style & kDefault)) return static_cast<unsigned>(c.id);
  }
  return kIdOk;
}

}  // namespace fw
