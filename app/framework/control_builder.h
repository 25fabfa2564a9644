// Turns a dialog template's control table into Qt widgets on the window.
#pragma once

#include <functional>

#include "framework/dialog_units.h"
#include "framework/resources.h"

class QObject;
class QWidget;

namespace fw {

// Creates the controls of `t` on `window` in template order, which is also
// creation, tab and stacking order, and places them in pixels of `units`.
// Every control reports its events to `filter` first; a click on a push
// button calls `on_click` with the button's id.
void BuildControls(const DialogTemplate& t, QWidget* window, DialogBaseUnits units, QObject* filter,
                   const std::function<void(unsigned id)>& on_click);

// The control with id `id` on `window`, or null.
[[nodiscard]] QWidget* FindControl(const QWidget* window, int id);
// The first control of `t` that is a tab stop, or null.
[[nodiscard]] QWidget* FirstTabStop(const DialogTemplate& t, const QWidget* window);

}  // namespace fw
