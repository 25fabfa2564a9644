// Where windows and the minimized icon go.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace fw {

// Top-left corner that centres `size` over `over`, moved as little as
// needed to stay inside `work_area`.
[[nodiscard]] QPoint CentredPosition(QSize size, const QRect& over, const QRect& work_area);

// Where the icon stands in a minimized window's client area: half the
// spare room, rounded up, in signed integer division.
[[nodiscard]] QPoint MinimizedIconPosition(QSize client, QSize icon);

}  // namespace fw
