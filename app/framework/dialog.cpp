#include "framework/dialog.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>
#include <array>

#include "framework/application_services.h"
#include "framework/box_text.h"
#include "framework/control_builder.h"
#include "framework/dialog_units.h"
#include "framework/key_translation.h"
#include "framework/message_box.h"
#include "framework/system_text.h"
#include "framework/window_placement.h"

namespace fw {

Dialog::Dialog(int template_id, Dialog* owner) : m_templateId(template_id), m_owner(owner) {}

Dialog::~Dialog() = default;

bool Dialog::Build() {
  m_template = FindDialogTemplate(m_templateId);
  if (!m_template) return false;
  const bool owned = m_owner && m_owner->window();
  // An owned dialog stays over its owner; one without gets a task-bar button.
  const Qt::WindowFlags flags = (owned ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint |
                                Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  m_window = std::make_unique<DialogWindow>(*this, owned ? m_owner->window() : nullptr, flags);
  m_window->setObjectName(QStringLiteral("dialog_%1").arg(m_templateId));
  m_window->setWindowTitle(
      QString::fromUtf16(m_template->title.data(), static_cast<qsizetype>(m_template->title.size())));
  const QFont font = DialogFont(*m_template);
  m_window->setFont(font);
  const DialogBaseUnits units = BaseUnitsOf(font);
  m_window->setFixedSize(ToPixels({0, 0, m_template->width, m_template->height}, units).size());
  m_systemMenu = SystemMenu();
  BuildControls(*m_template, m_window.get(), units, m_window.get(), [this](unsigned id) {
    Deliver({MessageKind::Command, id, {}, this});
  });
  return true;
}

void Dialog::Initialise() {
  bool focus_first = true;
  try {
    focus_first = OnInitialise();
  } catch (...) {
    ReportCurrentFailure(m_window.get());
  }
  if (focus_first) {
    if (QWidget* first = FirstTabStop(*m_template, m_window.get())) {
      first->setFocus(Qt::TabFocusReason);
      SelectAllText(first);
    }
  }
  const bool owned = m_owner && m_owner->window();
  QScreen* screen = owned ? m_owner->window()->screen() : QGuiApplication::primaryScreen();
  const QRect work_area = screen ? screen->availableGeometry() : QRect();
  const QRect over = owned ? m_owner->window()->frameGeometry() : work_area;
  m_window->move(CentredPosition(m_window->size(), over, work_area));
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
    if (ApplicationServices* app = ApplicationServices::Current()) return app->OnMessage(m);
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
  return FindControl(m_window.get(), id);
}

void Dialog::TrackSystemMenu(QPoint global_pos) {
  if (!m_window) return;
  const unsigned chosen = m_systemMenu.Track(m_window.get(), global_pos);
  if (chosen != 0) Deliver({MessageKind::SysCommand, chosen, global_pos, this});
}

std::string Dialog::GetDlgItemText(int id) const {
  return ToSystemText(BoxText(GetDlgItem(id)));
}

void Dialog::SetDlgItemText(int id, std::string_view text) {
  SetBoxText(GetDlgItem(id), FromSystemText(text));
}

int Dialog::GetDlgItemInt(int id) const {
  return ParseDialogInt(BoxText(GetDlgItem(id)));
}

bool Dialog::HandleKey(QObject* target, QKeyEvent* key) {
  auto* widget = qobject_cast<QWidget*>(target);
  KeyTarget where = KeyTarget::Other;
  if (widget == m_window.get()) {
    where = KeyTarget::Window;
  } else {
    switch (KindOf(widget)) {
      case BoxKind::Button: where = KeyTarget::Button; break;
      case BoxKind::LineEdit:
      case BoxKind::MultiLineEdit: where = KeyTarget::EditBox; break;
      case BoxKind::Label:
      case BoxKind::None: break;
    }
  }
  switch (TranslateKey(key->key(), key->modifiers(), where)) {
    case KeyAction::None: return false;
    case KeyAction::Cancel: Deliver({MessageKind::Command, kIdCancel, {}, this}); break;
    case KeyAction::PressButton: static_cast<QAbstractButton*>(widget)->click(); break;
    case KeyAction::DefaultCommand: Deliver({MessageKind::Command, DefaultCommandId(), {}, this}); break;
    case KeyAction::Help: {
      const ApplicationServices* app = ApplicationServices::Current();
      Dialog* main = app ? app->mainWindow() : nullptr;
      (main ? main : this)->Deliver({MessageKind::Command, kIdHelp, {}, this});
      break;
    }
    case KeyAction::SystemMenu: TrackSystemMenu(m_window->mapToGlobal(QPoint(0, 0))); break;
    case KeyAction::Close: Deliver({MessageKind::SysCommand, kSysClose, {}, this}); break;
  }
  return true;
}

unsigned Dialog::DefaultCommandId() const {
  for (const ControlTemplate& c : m_template->controls) {
    if (c.kind == ControlKind::Button && (c.style & kDefault)) return static_cast<unsigned>(c.id);
  }
  return kIdOk;
}

}  // namespace fw
