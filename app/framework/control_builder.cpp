#include "framework/control_builder.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <vector>

#include "framework/edit_box.h"

namespace fw {
namespace {

constexpr const char* kControlIdProperty = "controlId";

QString NameOf(const ControlTemplate& c) {
  return QString::fromLatin1(c.name.data(), static_cast<qsizetype>(c.name.size()));
}

QWidget* MakeControl(const ControlTemplate& c, QWidget* parent) {
  const QString text = QString::fromUtf16(c.text.data(), static_cast<qsizetype>(c.text.size()));
  switch (c.kind) {
    case ControlKind::Edit: {
      if (c.style & kMultiLine) {
        auto* edit = new EditBox(parent);
        edit->setPlainText(text);
        edit->setLineWrapMode((c.style & kAutoHScroll) ? QPlainTextEdit::NoWrap
                                                       : QPlainTextEdit::WidgetWidth);
        edit->setVerticalScrollBarPolicy((c.style & kVScroll) ? Qt::ScrollBarAlwaysOn
                                                              : Qt::ScrollBarAlwaysOff);
        if (!(c.style & kAutoHScroll)) edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setTabChangesFocus(true);
        return edit;
      }
      auto* line = new QLineEdit(text, parent);
      line->setMaxLength(kUserTextLimit);
      return line;
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

}  // namespace

void BuildControls(const DialogTemplate& t, QWidget* window, DialogBaseUnits units, QObject* filter,
                   const std::function<void(unsigned id)>& on_click) {
  std::vector<QWidget*> pictures;
  for (const ControlTemplate& c : t.controls) {
    QWidget* w = MakeControl(c, window);
    w->setObjectName(NameOf(c));
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
    w->installEventFilter(filter);
    if (auto* button = qobject_cast<QPushButton*>(w)) {
      const auto id = static_cast<unsigned>(c.id);
      QObject::connect(button, &QPushButton::clicked, window, [on_click, id] { on_click(id); });
    }
  }
  for (QWidget* picture : pictures) picture->lower();
}

QWidget* FindControl(const QWidget* window, int id) {
  if (!window) return nullptr;
  for (QWidget* w : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (w->property(kControlIdProperty).toInt() == id) return w;
  }
  return nullptr;
}

QWidget* FirstTabStop(const DialogTemplate& t, const QWidget* window) {
  for (const ControlTemplate& c : t.controls) {
    if (c.style & kTabStop) return window->findChild<QWidget*>(NameOf(c));
  }
  return nullptr;
}

}  // namespace fw
