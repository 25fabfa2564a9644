// The main window as a user meets it: start-up texts and focus, Encode and
// Decode, failure reports, keyboard, layout, system menu, About box and F1.
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <memory>

#include "framework/dialog.h"
#include "modal.h"
#include "resources/resource_ids.h"
#include "vavo_zuru_app.h"
#include "vavo_zuru_dlg.h"

Q_DECLARE_METATYPE(Qt::Key)

namespace {

// The window as the start-up runs it, but without a modal loop.
struct Window {
  CVavoZuruDlg dlg;
  QWidget* w = nullptr;

  Window() {
    if (dlg.Create()) w = dlg.window();
  }
  template <class T = QWidget>
  T* Find(const QString& name) const {
    return w->findChild<T*>(name);
  }
  QString Text(const QString& name) const {
    if (auto* line = Find<QLineEdit>(name)) return line->text();
    if (auto* edit = Find<QPlainTextEdit>(name)) return edit->toPlainText();
    return {};
  }
  void SetText(const QString& name, const QString& text) const {
    if (auto* line = Find<QLineEdit>(name)) line->setText(text);
    if (auto* edit = Find<QPlainTextEdit>(name)) edit->setPlainText(text);
  }
  void Click(const QString& name) const { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
};

}  // namespace

class MainDialogTest : public QObject {
  Q_OBJECT

 public:
  MainDialogTest() { m_app.SetProgramPath(QStringLiteral("/opt/kvz/kelvo_vavo_zuru")); }

 private slots:
  void startupState();
  void encode_data();
  void encode();
  void addressReading_data();
  void addressReading();
  void decode_data();
  void decode();
  void hugePasteIsCut_data();
  void hugePasteIsCut();
  void decodeOfLongestUserText();
  void failedDecodeKeepsBreakdown_data();
  void failedDecodeKeepsBreakdown();
  void keyboard_data();
  void keyboard();
  void closeBoxCancels();
  void rightClickOpensSystemMenu();
  void tabOrder();
  void geometry_data();
  void geometry();
  void boxStyles();
  void aboutFromSystemCommand_data();
  void aboutFromSystemCommand();
  void aboutFromKeyboardMenu();
  void helpKey_data();
  void helpKey();
  void helpFileMissing();
  void cleanup() { fw::SetHelpLauncher({}); }

 private:
  CVavoZuruApp m_app;
};

void MainDialogTest::startupState() {
  Window win;
  QVERIFY(win.w);
  QCOMPARE(win.w->windowTitle(), QStringLiteral("kelvo data encoding sample"));
  QCOMPARE(win.Text("IDC_ADDRESS"), QStringLiteral("0"));
  QCOMPARE(win.Text("IDC_COMMAND"), QStringLiteral("65"));
  QCOMPARE(win.Text("IDC_PAYLOAD"), QStringLiteral("0026"));
  QCOMPARE(win.Text("IDC_FRAME"), QString());
  QCOMPARE(win.Text("IDC_DECODED"), QString());
  QCOMPARE(win.w->focusWidget(), win.Find("IDC_PAYLOAD"));
  QCOMPARE(win.Find<QPlainTextEdit>("IDC_PAYLOAD")->textCursor().selectedText(), QStringLiteral("0026"));
  QVERIFY(!win.w->windowIcon().isNull());
  // No default push button: Enter belongs to OK.
  for (auto* button : win.w->findChildren<QPushButton*>())
    QVERIFY(!button->isDefault() && !button->autoDefault());
}

void MainDialogTest::encode_data() {
  QTest::addColumn<QString>("address");
  QTest::addColumn<QString>("command");
  QTest::addColumn<QString>("payload");
  QTest::addColumn<QString>("frame");  // exact text, or a pattern when it starts with "^"
  QTest::newRow("start-up values give their frame") << "0"
                                                    << "65"
                                                    << "0026"
                                                    << "<11300650400268D>";
  QTest::newRow("too long: the length error replaces the frame")
      << "0"
      << "65" << QString(228, u'A') << "length error, too long!!";
  // Each Chinese character is two GBK bytes: payload length 04.
  QTest::newRow("Chinese payload counts two bytes a character")
      << "0"
      << "65" << QStringLiteral(u"设备") << QStringLiteral(u"^<1130065 04设备[0-9A-F]{2}>$");
  // Beyond GBK: "?" goes into the frame instead.
  QTest::newRow("character outside GBK goes in as ?")
      << "0"
      << "65" << QStringLiteral(u"A\u0E01") << "^<0F3006502A\\?[0-9A-F]{2}>$";
  // A pasted line break reaches the frame as CR LF, two characters.
  QTest::newRow("pasted line break goes in as CR LF") << "0"
                                                      << "65"
                                                      << "00\n26"
                                                      << "^<13300650600\n26[0-9A-F]{2}>$";
}

void MainDialogTest::encode() {
  QFETCH(QString, address);
  QFETCH(QString, command);
  QFETCH(QString, payload);
  QFETCH(QString, frame);
  Window win;
  win.SetText("IDC_ADDRESS", address);
  win.SetText("IDC_COMMAND", command);
  // Typed through the input method, as Chinese text arrives.
  auto* box = win.Find<QPlainTextEdit>("IDC_PAYLOAD");
  box->clear();
  QInputMethodEvent typed;
  typed.setCommitString(payload);
  QApplication::sendEvent(box, &typed);
  win.SetText("IDC_FRAME", "old frame");
  win.SetText("IDC_DECODED", "old breakdown");
  win.Click("IDC_ENCODE");
  const QString shown = win.Text("IDC_FRAME");
  if (frame.startsWith(u'^')) {
    QVERIFY2(QRegularExpression(QString(frame).remove(u' ')).match(shown).hasMatch(), qPrintable(shown));
  } else {
    QCOMPARE(shown, frame);
  }
  QCOMPARE(win.Text("IDC_DECODED"), QStringLiteral("old breakdown"));
  QCOMPARE(win.Text("IDC_PAYLOAD"), payload);
}

void MainDialogTest::addressReading_data() {
  QTest::addColumn<QString>("address");
  QTest::addColumn<QString>("field");
  QTest::newRow("not a number") << "abc"
                                << "00";
  QTest::newRow("empty") << ""
                         << "00";
  QTest::newRow("blanks around") << "  7 "
                                 << "07";
  QTest::newRow("minus one") << "-1"
                             << "FF";
  QTest::newRow("beyond the label's range") << "300"
                                            << "2C";
  QTest::newRow("digits then letters") << "12ab"
                                       << "00";
  QTest::newRow("plus sign") << "+5"
                             << "00";
  QTest::newRow("largest") << "2147483647"
                           << "FF";
  QTest::newRow("past 32 bits") << "2147483648"
                                << "00";
  QTest::newRow("past 32 bits, large") << "99999999999999999999"
                                       << "00";
  QTest::newRow("smallest") << "-2147483647"
                            << "01";
}

void MainDialogTest::addressReading() {
  QFETCH(QString, address);
  QFETCH(QString, field);
  Window win;
  win.SetText("IDC_ADDRESS", address);
  win.Click("IDC_ENCODE");
  QCOMPARE(win.Text("IDC_FRAME").mid(4, 2), field);
}

void MainDialogTest::decode_data() {
  QTest::addColumn<QString>("frame");
  QTest::addColumn<QString>("breakdown");
  QTest::newRow("start-up request is broken down")
      << "<11300650400268D>"
      << QStringLiteral(
             u"<(开始字符)11(数据报文长度)3(版本)00(地址)65(命令字)04("
             u"数据负载长度)0026(寄存器地址)8D(校验值)>(结束标识)");
  QTest::newRow("empty frame box is broken down too")
      << ""
      << QStringLiteral(u"(开始字符)(数据报文长度)(版本)(地址)(命令字)(数据负载长度)(校验值)(结束标识)");
}

void MainDialogTest::decode() {
  QFETCH(QString, frame);
  QFETCH(QString, breakdown);
  Window win;
  win.SetText("IDC_FRAME", frame);
  win.SetText("IDC_DECODED", "typed by hand");
  win.Click("IDC_DECODE");
  QCOMPARE(win.Text("IDC_DECODED"), breakdown);
  QCOMPARE(win.Text("IDC_FRAME"), frame);
}

void MainDialogTest::hugePasteIsCut_data() {
  QTest::addColumn<QString>("box");
  for (const char* box : {"IDC_PAYLOAD", "IDC_FRAME", "IDC_DECODED", "IDC_ADDRESS", "IDC_COMMAND"})
    QTest::newRow(box) << box;
}

// 5 MiB on one line, as a wrong paste of a capture brings: the box keeps
// the first 32,767 characters, in place of what it held.
void MainDialogTest::hugePasteIsCut() {
  QFETCH(QString, box);
  const QString line = QStringLiteral("<11300650400268D>") + QString(5 * 1024 * 1024 - 17, u'F');
  Window win;
  QWidget* target = win.Find(box);
  QApplication::clipboard()->setText(line);
  QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
  const QString held = win.Text(box);
  QCOMPARE(held.size(), 32767);
  QVERIFY(held.startsWith(QStringLiteral("<11300650400268D>FFF")));
  QVERIFY(!held.contains(u'\n'));
  QVERIFY(win.w->isVisible());
}

void MainDialogTest::decodeOfLongestUserText() {
  Window win;
  auto* frame = win.Find<QPlainTextEdit>("IDC_FRAME");
  QApplication::clipboard()->setText(QStringLiteral("<11300650400268D>") + QString(40000, u'0'));
  QTest::keyClick(frame, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(win.Text("IDC_FRAME").size(), 32767);
  win.Click("IDC_DECODE");
  // The end mark takes two characters; the rest is not shown.
  QCOMPARE(win.Text("IDC_DECODED"),
           QStringLiteral(
               u"<(开始字符)11(数据报文长度)3(版本)00(地址)65(命令字)04(数据负载长度)0026(寄存器地址)8D("
               u"校验值)>0(结束标识)"));
}

void MainDialogTest::failedDecodeKeepsBreakdown_data() {
  QTest::addColumn<QString>("frame");
  QTest::newRow("0xC8 too short for its layout") << "<0B300C8";
}

void MainDialogTest::failedDecodeKeepsBreakdown() {
  QFETCH(QString, frame);
  Window win;
  win.SetText("IDC_FRAME", frame);
  win.SetText("IDC_DECODED", "previous breakdown");
  BoxSeen seen;
  DismissNextBox(seen);
  win.Click("IDC_DECODE");
  QVERIFY(seen.shown);
  QCOMPARE(seen.text, QStringLiteral(u"参数错误。"));
  QCOMPARE(seen.icon, QMessageBox::Critical);
  QCOMPARE(seen.title, QStringLiteral("kelvo_vavo_zuru"));
  QCOMPARE(seen.owner, win.w);
  QCOMPARE(win.Text("IDC_DECODED"), QStringLiteral("previous breakdown"));
  QVERIFY(win.w->isVisible());
  // The window keeps working.
  win.SetText("IDC_FRAME", "<11300650400268D>");
  win.Click("IDC_DECODE");
  QVERIFY(win.Text("IDC_DECODED").startsWith(QStringLiteral(u"<(开始字符)11")));
}

void MainDialogTest::keyboard_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<Qt::Key>("key");
  QTest::addColumn<int>("modifiers");
  QTest::addColumn<int>("result");  // 0: the window stays open
  QTest::addColumn<QString>("frame");
  QTest::addColumn<QString>("breakdown");
  const QString none;
  const QString frame = "<11300650400268D>";
  const QString breakdown = QStringLiteral(
      u"<(开始字符)11(数据报文长度)3(版本)00(地址)65(命令字)04(数据负载长度)0026(寄存器地址)8D(校验值)>("
      u"结束标识)");
  for (const char* box : {"IDC_ADDRESS", "IDC_COMMAND", "IDC_PAYLOAD", "IDC_FRAME", "IDC_DECODED"}) {
    QTest::addRow("Enter in %s", box) << box << Qt::Key_Return << 0 << 1 << none << none;
  }
  QTest::newRow("keypad Enter in the payload")
      << "IDC_PAYLOAD" << Qt::Key_Enter << int(Qt::KeypadModifier) << 1 << none << none;
  QTest::newRow("Esc in the payload") << "IDC_PAYLOAD" << Qt::Key_Escape << 0 << 2 << none << none;
  QTest::newRow("Esc on Decode") << "IDC_DECODE" << Qt::Key_Escape << 0 << 2 << none << none;
  QTest::newRow("Alt+F4") << "IDC_ADDRESS" << Qt::Key_F4 << int(Qt::AltModifier) << 2 << none << none;
  QTest::newRow("Enter on Encode") << "IDC_ENCODE" << Qt::Key_Return << 0 << 0 << frame << none;
  QTest::newRow("Space on Encode") << "IDC_ENCODE" << Qt::Key_Space << 0 << 0 << frame << none;
  QTest::newRow("Enter on Decode") << "IDC_DECODE" << Qt::Key_Return << 0 << 0 << frame << breakdown;
}

void MainDialogTest::keyboard() {
  QFETCH(QString, control);
  QFETCH(Qt::Key, key);
  QFETCH(int, modifiers);
  QFETCH(int, result);
  QFETCH(QString, frame);
  QFETCH(QString, breakdown);
  Window win;
  const bool decodes = control == "IDC_DECODE";
  if (decodes) win.SetText("IDC_FRAME", frame);
  QWidget* target = win.Find(control);
  target->setFocus();
  QTest::keyClick(target, key, Qt::KeyboardModifiers(modifiers));
  QCOMPARE(win.w->isVisible(), result == 0);
  if (result != 0) QCOMPARE(static_cast<QDialog*>(win.w)->result(), result);
  // Nothing is encoded or decoded on the way out, and Enter adds no line.
  QCOMPARE(win.Text("IDC_FRAME"), frame);
  QCOMPARE(win.Text("IDC_DECODED"), breakdown);
  QCOMPARE(win.Text("IDC_PAYLOAD"), QStringLiteral("0026"));
}

void MainDialogTest::closeBoxCancels() {
  Window win;
  win.w->close();
  QVERIFY(!win.w->isVisible());
  QCOMPARE(static_cast<QDialog*>(win.w)->result(), 2);
}

void MainDialogTest::rightClickOpensSystemMenu() {
  Window win;
  QStringList items;
  OnNextPopup([&](QMenu* menu) {
    for (QAction* a : menu->actions()) items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    menu->close();
  });
  // Free area at the top right, where no control stands.
  const QPoint free(700, 20);
  QVERIFY(win.w->childAt(free) == nullptr);
  QContextMenuEvent click(QContextMenuEvent::Mouse, free, win.w->mapToGlobal(free));
  QApplication::sendEvent(win.w, &click);
  QCOMPARE(items.size(), 4);
  QCOMPARE(items.back(), QStringLiteral(u"关于 kelvo_vavo_zuru(&A)..."));
  QVERIFY(win.w->isVisible());
}

void MainDialogTest::tabOrder() {
  Window win;
  win.w->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(win.w));
  const QStringList expected = {"IDC_FRAME",  "IDC_ENCODE",  "IDC_ADDRESS", "IDC_COMMAND",
                                "IDC_DECODE", "IDC_DECODED", "IDC_PAYLOAD"};
  QCOMPARE(QApplication::focusWidget(), win.Find("IDC_PAYLOAD"));
  for (const QString& name : expected) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), name);
  }
  // A box reached by Tab has its whole text selected.
  win.SetText("IDC_FRAME", "<0B300653F>");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(win.Find<QPlainTextEdit>("IDC_FRAME")->textCursor().selectedText(), QStringLiteral("<0B300653F>"));
}

void MainDialogTest::geometry_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<QRect>("pixels");
  // WenQuanYi Micro Hei 9 pt: average width 7 px, height 14 px; a dialog
  // unit is 7/4 px across and 14/8 px down, rounded.
  QTest::newRow("window") << "" << QRect(0, 0, 739, 368);
  QTest::newRow("IDC_PAYLOAD") << "IDC_PAYLOAD" << QRect(16, 103, 285, 138);
  QTest::newRow("IDC_FRAME") << "IDC_FRAME" << QRect(375, 95, 340, 105);
  QTest::newRow("IDC_ENCODE") << "IDC_ENCODE" << QRect(312, 133, 58, 25);
  QTest::newRow("IDC_ADDRESS") << "IDC_ADDRESS" << QRect(88, 12, 70, 25);
  QTest::newRow("Address") << "address_label" << QRect(19, 12, 46, 14);
  QTest::newRow("Command") << "command_label" << QRect(18, 42, 56, 14);
  QTest::newRow("IDC_COMMAND") << "IDC_COMMAND" << QRect(88, 40, 70, 25);
  QTest::newRow("Payload") << "payload_label" << QRect(16, 77, 140, 14);
  QTest::newRow("command hint") << "command_hint" << QRect(172, 46, 203, 14);
  QTest::newRow("address hint") << "address_hint" << QRect(172, 16, 200, 14);
  QTest::newRow("frame label") << "frame_label" << QRect(375, 70, 231, 14);
  QTest::newRow("Payload must be HEX") << "payload_hint" << QRect(119, 82, 179, 14);
  QTest::newRow("picture, own size") << "frame_layout" << QRect(19, 256, 531, 77);
  QTest::newRow("IDC_DECODE") << "IDC_DECODE" << QRect(529, 201, 58, 25);
  QTest::newRow("IDC_DECODED") << "IDC_DECODED" << QRect(375, 229, 341, 121);
  QTest::newRow("Decode label") << "decoded_label" << QRect(376, 208, 61, 14);
}

void MainDialogTest::geometry() {
  QFETCH(QString, control);
  QFETCH(QRect, pixels);
  Window win;
  if (QFontInfo(win.w->font()).family() != QStringLiteral("WenQuanYi Micro Hei")) {
    QSKIP("the dialog font is not installed");
  }
  const QWidget* w = control.isEmpty() ? win.w : win.Find(control);
  QVERIFY(w);
  QCOMPARE(control.isEmpty() ? QRect(QPoint(0, 0), w->size()) : w->geometry(), pixels);
}

void MainDialogTest::boxStyles() {
  Window win;
  for (const char* name : {"IDC_PAYLOAD", "IDC_FRAME", "IDC_DECODED"}) {
    auto* box = win.Find<QPlainTextEdit>(name);
    QVERIFY2(box, name);
    QVERIFY(box->tabChangesFocus());
    QVERIFY(!box->isReadOnly());
    QCOMPARE(box->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  }
  for (const char* name : {"IDC_ADDRESS", "IDC_COMMAND"}) QVERIFY2(win.Find<QLineEdit>(name), name);
  QCOMPARE(win.Find<QLabel>("payload_hint")->frameShape(), QFrame::Box);
  QCOMPARE(win.Find<QLabel>("address_label")->frameShape(), QFrame::NoFrame);
  QCOMPARE(win.Find<QLabel>("frame_layout")->pixmap().size(), QSize(531, 77));
  // The picture lies beneath everything, so it never hides the breakdown.
  QCOMPARE(win.w->children().indexOf(win.Find("frame_layout")), 0);
}

void MainDialogTest::aboutFromSystemCommand_data() {
  QTest::addColumn<unsigned>("command");
  QTest::addColumn<bool>("opensAbout");
  QTest::newRow("16") << 16u << true;
  QTest::newRow("16 | 3") << (16u | 3u) << true;
  QTest::newRow("32") << 32u << false;
  QTest::newRow("Close") << fw::kSysClose << false;
}

void MainDialogTest::aboutFromSystemCommand() {
  QFETCH(unsigned, command);
  QFETCH(bool, opensAbout);
  Window win;
  win.SetText("IDC_FRAME", "kept");
  QString title, version, notice, button;
  QWidget* owner = nullptr;
  bool ownerBlocked = false;
  bool otherModal = false;
  if (opensAbout) {
    OnNextModal([&](QWidget* about) {
      title = about->windowTitle();
      version = about->findChild<QLabel*>("about_version")->text();
      notice = about->findChild<QLabel*>("about_notice")->text();
      button = about->findChild<QPushButton*>("ok_button")->text();
      owner = about->parentWidget();
      ownerBlocked = QApplication::activeModalWidget() == about;
      QTest::keyClick(about->focusWidget() ? about->focusWidget() : about, Qt::Key_Return);
    });
  } else {
    // Runs inside any modal loop that Deliver opens, or right after it.
    QTimer::singleShot(0, [&] {
      if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != win.w) {
        otherModal = true;
        modal->close();
      }
    });
  }
  win.dlg.Deliver({fw::MessageKind::SysCommand, command, {}, nullptr});
  QCoreApplication::processEvents();
  QVERIFY(!otherModal);
  QCOMPARE(!title.isEmpty(), opensAbout);
  if (opensAbout) {
    QCOMPARE(title, QStringLiteral(u"关于 kelvo_vavo_zuru"));
    QCOMPARE(version, QStringLiteral(u"kelvo_vavo_zuru，1.0 版"));
    QVERIFY(!notice.isEmpty());
    QCOMPARE(button, QStringLiteral(u"确定"));
    QCOMPARE(owner, win.w);
    QVERIFY(ownerBlocked);
  }
  QCOMPARE(win.w->isVisible(), command != fw::kSysClose);
  QCOMPARE(win.Text("IDC_FRAME"), QStringLiteral("kept"));
}

void MainDialogTest::aboutFromKeyboardMenu() {
  Window win;
  QStringList items;
  bool aboutShown = false;
  OnNextPopup([&](QMenu* menu) {
    for (QAction* a : menu->actions()) items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    OnNextModal([&](QWidget* about) {
      aboutShown = about->windowTitle() == QStringLiteral(u"关于 kelvo_vavo_zuru");
      QTest::keyClick(about, Qt::Key_Escape);
    });
    // The item's access key chooses it.
    QTest::keyClick(menu, Qt::Key_A);
  });
  QTest::keyClick(win.Find("IDC_PAYLOAD"), Qt::Key_F10, Qt::ShiftModifier);
  QTRY_VERIFY(aboutShown);
  QCOMPARE(items.mid(items.size() - 2), QStringList({"-", QStringLiteral(u"关于 kelvo_vavo_zuru(&A)...")}));
  QVERIFY(win.w->isVisible());
}

void MainDialogTest::helpKey_data() {
  QTest::addColumn<bool>("inAbout");
  QTest::addColumn<unsigned>("context");
  QTest::newRow("main window") << false << 0x20066u;
  QTest::newRow("About box") << true << 0x20064u;
}

void MainDialogTest::helpKey() {
  QFETCH(bool, inAbout);
  QFETCH(unsigned, context);
  Window win;
  m_app.SetMainWindow(&win.dlg);
  QString askedFile;
  unsigned askedContext = 0;
  fw::SetHelpLauncher([&](const QString& file, unsigned c) {
    askedFile = file;
    askedContext = c;
    return true;
  });
  if (inAbout) {
    OnNextModal([](QWidget* about) {
      // The box is modal before it has the focus; F1 must reach a control of its own.
      if (QTest::qWaitFor([about] { return about->focusWidget() != nullptr; }, 5000))
        QTest::keyClick(about->focusWidget(), Qt::Key_F1);
      QTest::keyClick(about, Qt::Key_Escape);
    });
    win.dlg.Deliver({fw::MessageKind::SysCommand, IDM_ABOUTBOX, {}, nullptr});
  } else {
    QTest::keyClick(win.Find("IDC_COMMAND"), Qt::Key_F1);
  }
  m_app.SetMainWindow(nullptr);
  QCOMPARE(askedContext, context);
  QCOMPARE(askedFile, QStringLiteral("/opt/kvz/kelvo_vavo_zuru.HLP"));
  // F1 with a modifier is not the Help key.
  askedContext = 0;
  QTest::keyClick(win.Find("IDC_COMMAND"), Qt::Key_F1, Qt::ShiftModifier);
  QCOMPARE(askedContext, 0u);
}

void MainDialogTest::helpFileMissing() {
  Window win;
  BoxSeen seen;
  DismissNextBox(seen);
  QTest::keyClick(win.Find("IDC_PAYLOAD"), Qt::Key_F1);
  QVERIFY(seen.shown);
  QCOMPARE(seen.text, QStringLiteral(u"启动帮助失败。"));
  QCOMPARE(seen.icon, QMessageBox::Warning);
  QCOMPARE(seen.title, QStringLiteral("kelvo_vavo_zuru"));
  QVERIFY(win.w->isVisible());
}

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
