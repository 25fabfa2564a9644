// A band across the top of the window while a critical alarm stands: which,
// with its value and since when, and a button to the alarm list. It makes no
// sound and does not blink.
#pragma once

#include <QFrame>
#include <vector>

#include "alarm_text.h"

class QLabel;

namespace kelvo_monitor {

class AlarmBanner : public QFrame {
  Q_OBJECT
 public:
  explicit AlarmBanner(QWidget* parent = nullptr);

  // Shown while `lines` hold a critical alarm, hidden otherwise.
  void ShowLines(const std::vector<AlarmLine>& lines);
  [[nodiscard]] QString text() const;

 signals:
  void listRequested();

 private:
  QLabel* text_;
};

}  // namespace kelvo_monitor
