#include "alarm_banner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include "alarm_look.h"

namespace kelvo_monitor {

AlarmBanner::AlarmBanner(QWidget* parent) : QFrame(parent), text_(new QLabel(this)) {
  setObjectName(QStringLiteral("alarm_banner"));
  text_->setObjectName(QStringLiteral("alarm_banner_text"));
  text_->setWordWrap(true);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QFont bold = text_->font();
  bold.setBold(true);
  text_->setFont(bold);
  auto* open_list = new QPushButton(tr("查看告警(&V)"), this);
  open_list->setObjectName(QStringLiteral("alarm_banner_list"));
  const SeverityLook look = LookOf(kelvo_alarms::Severity::Critical);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, look.background);
  palette.setColor(QPalette::WindowText, look.text);
  setPalette(palette);
  text_->setPalette(palette);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(10, 6, 10, 6);
  layout->addWidget(text_, 1);
  layout->addWidget(open_list);
  connect(open_list, &QPushButton::clicked, this, &AlarmBanner::listRequested);
  hide();
}

void AlarmBanner::ShowLines(const std::vector<AlarmLine>& lines) {
  // A rule's elements come one after another in the list; the banner says
  // them as one, so that a whole bank of cells in alarm stays one line.
  constexpr int kElementsNamed = 6;
  QStringList critical;
  for (std::size_t i = 0; i < lines.size();) {
    const AlarmLine& line = lines[i];
    std::size_t end = i + 1;
    while (end < lines.size() && lines[end].name == line.name) ++end;
    const std::size_t count = end - i;
    if (line.severity != kelvo_alarms::Severity::Critical) {
      i = end;
      continue;
    }
    QString what = line.name;
    if (count == 1) {
      if (!line.element.isEmpty()) what += QStringLiteral(" (%1)").arg(line.element);
      if (!line.value.isEmpty()) what += QStringLiteral(" %1 (%2)").arg(line.value, line.threshold);
      what += tr(", 自 %1").arg(line.since);
      if (!line.can_acknowledge)
        what += QStringLiteral(", %1").arg(line.state);  // acknowledged, or the link's
    } else {
      QStringList elements;
      for (std::size_t e = i; e < end && elements.size() < kElementsNamed; ++e) elements << lines[e].element;
      if (count > kElementsNamed) elements << tr("共 %1 个").arg(count);
      what += QStringLiteral(" (%1) %2").arg(elements.join(QStringLiteral(", ")), line.threshold);
    }
    critical << what;
    i = end;
  }
  setVisible(!critical.isEmpty());
  text_->setText(critical.isEmpty() ? QString()
                                    : tr("严重告警: %1").arg(critical.join(QStringLiteral("; "))));
}

QString AlarmBanner::text() const {
  return text_->text();
}

}  // namespace kelvo_monitor
