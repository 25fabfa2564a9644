#include "framework/window_placement.h"

#include <algorithm>

namespace fw {

QPoint CentredPosition(QSize size, const QRect& over, const QRect& work_area) {
  int x = over.x() + (over.width() - size.width()) / 2;
  int y = over.y() + (over.height() - size.height()) / 2;
  x = std::max(work_area.left(), std::min(x, work_area.x() + work_area.width() - size.width()));
  y = std::max(work_area.top(), std::min(y, work_area.y() + work_area.height() - size.height()));
  return {x, y};
}

QPoint MinimizedIconPosition(QSize client, QSize icon) {
  return {(client.width() - icon.width() + 1) / 2, (client.height() - icon.height() + 1) / 2};
}

}  // namespace fw
