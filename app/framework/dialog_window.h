// The Qt window of a Dialog. Every event that the dialog's handlers answer
// is turned into a Message and delivered through Dialog::Deliver.
#pragma once

#include <QDialog>

namespace fw {

class Dialog;

class DialogWindow : public QDialog {
 public:
  DialogWindow(Dialog& dialog, QWidget* parent, Qt::WindowFlags flags);
  [[nodiscard]] Dialog& owner() const noexcept { return m_dialog; }

 protected:
  // Installed on every control: the dialog's keys, and the selection of a
  // box's text when the keyboard brings the focus to it.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  Dialog& m_dialog;
};

}  // namespace fw
