// The framework beneath the dialogs: text crossing into GBK, dialog units,
// placement, the per-message failure report, the string table's effect on
// the system menu, the resource images and the edit box's user-entry limit
// and wrapping.
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <new>
#include <stdexcept>
#include <vector>

#include "codec/frame_breakdown.h"
#include "framework/application.h"
#include "framework/dialog.h"
#include "framework/dialog_units.h"
#include "framework/dib_layout.h"
#include "framework/dib_reader.h"
#include "framework/edit_box.h"
#include "framework/system_text.h"
#include "framework/window_placement.h"
#include "modal.h"
#include "resources/resource_ids.h"
#include "resources/resources.h"
#include "resources/tools/dib_writer.h"
#include "vavo_zuru_app.h"
#include "vavo_zuru_dlg.h"

namespace {

enum class Failure { OutOfMemory, InvalidArgument, Other, NotAnException };

// The About template with an OK button whose handler fails.
class FailingDialog : public fw::Dialog {
 public:
  explicit FailingDialog(Failure failure) : fw::Dialog(kAboutTemplate), m_failure(failure) {}

 protected:
  bool OnMessage(const fw::Message& m) override {
    if (m.kind == fw::MessageKind::Command && m.id == fw::kIdOk) {
      switch (m_failure) {
        case Failure::OutOfMemory: throw std::bad_alloc();
        case Failure::InvalidArgument: throw codec::InvalidArgumentError();
        case Failure::Other: throw std::runtime_error("other");
        case Failure::NotAnException: throw 42;
      }
    }
    return fw::Dialog::OnMessage(m);
  }

 private:
  Failure m_failure;
};

}  // namespace

// How the user's text reaches the box.
enum class Entry { Paste, Drop, InputMethod, Typing };

Q_DECLARE_METATYPE(Failure)
Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(QTextOption::WrapMode)
Q_DECLARE_METATYPE(fw::DluRect)

class FrameworkTest : public QObject {
  Q_OBJECT

 public:
  FrameworkTest() { m_app.SetProgramPath(QStringLiteral("/opt/kvz/kelvo_vavo_zuru")); }

 private slots:
  void systemText_data();
  void systemText();
  void mapDialogRect_data();
  void mapDialogRect();
  void centredPosition_data();
  void centredPosition();
  void minimizedIconPosition_data();
  void minimizedIconPosition();
  void failureReport_data();
  void failureReport();
  void bitmap129_data();
  void bitmap129();
  void icon128();
  void bitmapRoundTrip();
  void iconRoundTrip();
  void userEntryLimit_data();
  void userEntryLimit();
  void wrapFollowsLongestWord_data();
  void wrapFollowsLongestWord();
  void aboutItemNeedsString101_data();
  void aboutItemNeedsString101();

 private:
  CVavoZuruApp m_app;
};

void FrameworkTest::systemText_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QByteArray>("gbk");
  QTest::addColumn<QString>("back");  // what reading the bytes gives
  QTest::newRow("ASCII") << "<11300650400268D>" << QByteArray("<11300650400268D>") << "<11300650400268D>";
  QTest::newRow("label") << QStringLiteral(u"设备时间") << QByteArray("\xC9\xE8\xB1\xB8\xCA\xB1\xBC\xE4")
                         << QStringLiteral(u"设备时间");
  QTest::newRow("outside GBK") << QStringLiteral(u"A\u0E01B") << QByteArray("A?B") << "A?B";
  QTest::newRow("empty") << "" << QByteArray() << "";
}

void FrameworkTest::systemText() {
  QFETCH(QString, text);
  QFETCH(QByteArray, gbk);
  QFETCH(QString, back);
  const std::string bytes = fw::ToSystemText(text);
  QCOMPARE(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), gbk);
  QCOMPARE(fw::FromSystemText(bytes), back);
}

void FrameworkTest::mapDialogRect_data() {
  QTest::addColumn<fw::DluRect>("dlu");
  QTest::addColumn<int>("charWidth");
  QTest::addColumn<int>("charHeight");
  QTest::addColumn<QRect>("pixels");
  QTest::newRow("halves round up") << fw::DluRect{214, 54, 194, 60} << 7 << 14 << QRect(375, 95, 340, 105);
  QTest::newRow("window, 6 x 13") << fw::DluRect{0, 0, 422, 210} << 6 << 13 << QRect(0, 0, 633, 341);
  QTest::newRow("one unit, 8 x 16") << fw::DluRect{1, 1, 1, 1} << 8 << 16 << QRect(2, 2, 2, 2);
}

void FrameworkTest::mapDialogRect() {
  QFETCH(fw::DluRect, dlu);
  QFETCH(int, charWidth);
  QFETCH(int, charHeight);
  QFETCH(QRect, pixels);
  QCOMPARE(fw::ToPixels(dlu, {charWidth, charHeight}), pixels);
}

void FrameworkTest::centredPosition_data() {
  QTest::addColumn<QSize>("size");
  QTest::addColumn<QRect>("over");
  QTest::addColumn<QRect>("workArea");
  QTest::addColumn<QPoint>("at");
  const QRect screen(0, 0, 1280, 800);
  QTest::newRow("on the screen") << QSize(739, 368) << screen << screen << QPoint(270, 216);
  QTest::newRow("over the owner") << QSize(298, 109) << QRect(270, 216, 739, 368) << screen
                                  << QPoint(490, 345);
  QTest::newRow("owner at the right edge")
      << QSize(298, 109) << QRect(1100, 0, 300, 100) << screen << QPoint(982, 0);
  QTest::newRow("owner above the top")
      << QSize(298, 109) << QRect(100, -200, 300, 100) << screen << QPoint(101, 0);
}

void FrameworkTest::centredPosition() {
  QFETCH(QSize, size);
  QFETCH(QRect, over);
  QFETCH(QRect, workArea);
  QFETCH(QPoint, at);
  QCOMPARE(fw::CentredPosition(size, over, workArea), at);
}

void FrameworkTest::minimizedIconPosition_data() {
  QTest::addColumn<QSize>("client");
  QTest::addColumn<QPoint>("at");
  QTest::newRow("160 wide") << QSize(160, 32) << QPoint(64, 0);
  QTest::newRow("odd room rounds up") << QSize(35, 33) << QPoint(2, 1);
  QTest::newRow("one short") << QSize(31, 31) << QPoint(0, 0);
  QTest::newRow("smaller than the icon truncates toward zero") << QSize(0, 2) << QPoint(-15, -14);
}

void FrameworkTest::minimizedIconPosition() {
  QFETCH(QSize, client);
  QFETCH(QPoint, at);
  QCOMPARE(fw::MinimizedIconPosition(client, QSize(32, 32)), at);
}

void FrameworkTest::failureReport_data() {
  QTest::addColumn<Failure>("failure");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QMessageBox::Icon>("icon");
  QTest::newRow("out of memory") << Failure::OutOfMemory << QStringLiteral(u"内存不足。")
                                 << QMessageBox::Warning;
  QTest::newRow("invalid argument") << Failure::InvalidArgument << QStringLiteral(u"参数错误。")
                                    << QMessageBox::Critical;
  QTest::newRow("no status code") << Failure::Other << QStringLiteral(u"内部应用程序出错。")
                                  << QMessageBox::Critical;
  QTest::newRow("not an exception class")
      << Failure::NotAnException << QStringLiteral(u"内部应用程序出错。") << QMessageBox::Critical;
}

void FrameworkTest::failureReport() {
  QFETCH(Failure, failure);
  QFETCH(QString, text);
  QFETCH(QMessageBox::Icon, icon);
  FailingDialog dialog(failure);
  QVERIFY(dialog.Create());
  BoxSeen seen;
  DismissNextBox(seen);
  QTest::mouseClick(dialog.window()->findChild<QPushButton*>("ok_button"), Qt::LeftButton);
  QVERIFY(seen.shown);
  QCOMPARE(seen.text, text);
  QCOMPARE(seen.icon, icon);
  QCOMPARE(seen.title, QStringLiteral("kelvo_vavo_zuru"));
  QCOMPARE(seen.owner, dialog.window());
  // Reported and carried on: the dialog is still open.
  QVERIFY(dialog.window()->isVisible());
}

void FrameworkTest::aboutItemNeedsString101_data() {
  QTest::addColumn<bool>("present");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("items");
  QTest::newRow("program's string") << true << QStringLiteral(u"关于 kelvo_vavo_zuru(&A)...") << 4;
  QTest::newRow("empty string") << true << QString() << 2;
  QTest::newRow("missing string") << false << QString() << 2;
}

void FrameworkTest::aboutItemNeedsString101() {
  QFETCH(bool, present);
  QFETCH(QString, text);
  QFETCH(int, items);
  const fw::ResourceSet& program = ProgramResources();
  std::vector<fw::StringResource> strings;
  const std::u16string text16 = text.toStdU16String();
  for (const auto& s : program.strings) {
    if (s.id != kStrAboutItem) strings.push_back(s);
  }
  if (present) strings.push_back({kStrAboutItem, text16});
  const fw::ResourceSet changed{program.dialogs, strings};
  fw::UseResources(&changed);
  CVavoZuruDlg dlg;
  const bool created = dlg.Create();
  const auto menu = created ? dlg.GetSystemMenu()->items() : std::vector<fw::SystemMenu::Item>{};
  fw::UseResources(&program);
  QVERIFY(created);
  QCOMPARE(static_cast<int>(menu.size()), items);
  QCOMPARE(menu.back().id, items == 4 ? IDM_ABOUTBOX : fw::kSysClose);
  // The window works otherwise.
  QCOMPARE(dlg.window()->findChild<QPlainTextEdit*>("IDC_PAYLOAD")->toPlainText(), QStringLiteral("0026"));
}

void FrameworkTest::bitmap129_data() {
  QTest::addColumn<QPoint>("at");
  QTest::addColumn<QColor>("colour");
  QTest::newRow("grid corner") << QPoint(0, 0) << QColor(0, 0, 0);
  QTest::newRow("first row, light grey") << QPoint(1, 1) << QColor(192, 192, 192);
  QTest::newRow("first row, right end") << QPoint(529, 17) << QColor(192, 192, 192);
  QTest::newRow("other rows, white") << QPoint(1, 20) << QColor(255, 255, 255);
  QTest::newRow("bottom line") << QPoint(300, 76) << QColor(0, 0, 0);
  QTest::newRow("right edge") << QPoint(530, 40) << QColor(0, 0, 0);
}

void FrameworkTest::bitmap129() {
  QFETCH(QPoint, at);
  QFETCH(QColor, colour);
  QFile file(QStringLiteral(":/res/bitmap/129.bmp"));
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray bmp = file.readAll();
  // 4 bits per pixel, uncompressed, 16 colours.
  QCOMPARE(bmp.mid(28, 2), QByteArray("\x04\x00", 2));
  QCOMPARE(bmp.mid(30, 4), QByteArray(4, '\0'));
  const QImage image = fw::LoadBitmap(kFrameLayoutBitmap).toImage();
  QCOMPARE(image.size(), QSize(531, 77));
  QCOMPARE(image.pixelColor(at), colour);
}

void FrameworkTest::icon128() {
  const QIcon icon = fw::LoadIcon(kAppIcon);
  QCOMPARE(icon.availableSizes(), QList<QSize>({QSize(32, 27), QSize(32, 32)}));
  // The monochrome image's corners are transparent, its body opaque.
  const QImage mono = icon.pixmap(QSize(32, 32)).toImage();
  QCOMPARE(qAlpha(mono.pixel(31, 0)), 0);
  QCOMPARE(mono.pixelColor(1, 16), QColor(0, 0, 0));
}

void FrameworkTest::bitmapRoundTrip() {
  // 17 columns: every palette colour, and rows that end in half a byte.
  QImage image(17, 3, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, fw::dib::kPalette16[(x + y) % 16]);
  }
  const QImage back = fw::ReadBitmapFile(FourBitBmp(image));
  QCOMPARE(back.format(), QImage::Format_Indexed8);
  QCOMPARE(back.size(), QSize(17, 3));
  QCOMPARE(back.colorTable(), QList<QRgb>(fw::dib::kPalette16.begin(), fw::dib::kPalette16.end()));
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) QCOMPARE(back.pixelIndex(x, y), (x + y) % 16);
  }
}

void FrameworkTest::iconRoundTrip() {
  QImage colour(3, 2, QImage::Format_ARGB32);
  colour.fill(qRgba(0x1F, 0x4E, 0x8C, 0xFF));
  colour.setPixel(1, 0, qRgba(0, 0, 0, 0));
  QImage mono(3, 3, QImage::Format_ARGB32);
  mono.fill(qRgba(0, 0, 0, 0xFF));
  mono.setPixel(2, 2, qRgba(0xFF, 0xFF, 0xFF, 0xFF));
  mono.setPixel(0, 1, qRgba(0, 0, 0, 0));
  const QIcon icon = fw::ReadIconFile(IconFile(colour, mono));
  QCOMPARE(icon.availableSizes(), QList<QSize>({QSize(3, 2), QSize(3, 3)}));
  const QImage c = icon.pixmap(QSize(3, 2)).toImage().convertToFormat(QImage::Format_ARGB32);
  QCOMPARE(c.pixel(0, 0), qRgba(0x1F, 0x4E, 0x8C, 0xFF));
  QCOMPARE(qAlpha(c.pixel(1, 0)), 0);
  const QImage m = icon.pixmap(QSize(3, 3)).toImage().convertToFormat(QImage::Format_ARGB32);
  QCOMPARE(m.pixel(0, 0), qRgba(0, 0, 0, 0xFF));
  QCOMPARE(m.pixel(2, 2), qRgba(0xFF, 0xFF, 0xFF, 0xFF));
  QCOMPARE(qAlpha(m.pixel(0, 1)), 0);
}

void FrameworkTest::userEntryLimit_data() {
  QTest::addColumn<QString>("before");  // written by the program
  QTest::addColumn<bool>("selectAll");  // else the cursor stands at the end
  QTest::addColumn<Entry>("entry");
  QTest::addColumn<QString>("entered");
  QTest::addColumn<QString>("after");
  const QString ones(32765, u'1');
  QTest::newRow("paste into an empty box is cut at 32767")
      << "" << false << Entry::Paste << QString(40000, u'7') << QString(32767, u'7');
  QTest::newRow("paste fills what is left") << ones << false << Entry::Paste << "ABCD" << ones + "AB";
  QTest::newRow("paste over the whole text replaces it")
      << QString(32767, u'1') << true << Entry::Paste << "ABC"
      << "ABC";
  QTest::newRow("line break counts two")
      << ones.left(32764) << false << Entry::Paste << "A\nB" << ones.left(32764) + "A\n";
  QTest::newRow("CR LF is one line break")
      << ones.left(32764) << false << Entry::Paste << "A\r\nB" << ones.left(32764) + "A\n";
  QTest::newRow("surrogate pair not cut in two")
      << ones + "1" << false << Entry::Paste << QStringLiteral(u"\U0001F600") << ones + "1";
  QTest::newRow("drop is cut like a paste") << ones << false << Entry::Drop << "ABCD" << ones + "AB";
  QTest::newRow("input method commit is cut") << ones + "1" << false << Entry::InputMethod
                                              << QStringLiteral(u"设备") << ones + QStringLiteral(u"1设");
  QTest::newRow("typing into a full box is refused")
      << QString(32767, u'1') << false << Entry::Typing << "A" << QString(32767, u'1');
  QTest::newRow("typing over the whole text replaces it")
      << QString(32767, u'1') << true << Entry::Typing << "A"
      << "A";
  QTest::newRow("program's text is not cut; typing adds nothing")
      << QString(40000, u'1') << false << Entry::Typing << "A" << QString(40000, u'1');
}

void FrameworkTest::userEntryLimit() {
  QFETCH(QString, before);
  QFETCH(bool, selectAll);
  QFETCH(Entry, entry);
  QFETCH(QString, entered);
  QFETCH(QString, after);
  fw::EditBox box(nullptr);
  box.resize(340, 105);
  box.show();
  box.setPlainText(before);
  if (selectAll) {
    box.selectAll();
  } else {
    box.moveCursor(QTextCursor::End);
  }
  switch (entry) {
    case Entry::Paste:
      QApplication::clipboard()->setText(entered);
      box.paste();
      break;
    case Entry::Drop: {
      QMimeData data;
      data.setText(entered);
      const QPoint at = box.viewport()->rect().bottomRight() - QPoint(2, 2);
      QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(box.viewport(), &enter);
      QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(box.viewport(), &move);
      QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(box.viewport(), &drop);
      break;
    }
    case Entry::InputMethod: {
      QInputMethodEvent typed;
      typed.setCommitString(entered);
      QApplication::sendEvent(&box, &typed);
      break;
    }
    case Entry::Typing: QTest::keyClicks(&box, entered); break;
  }
  const QString held = box.toPlainText();
  QCOMPARE(held.size(), after.size());
  QCOMPARE(held, after);
}

void FrameworkTest::wrapFollowsLongestWord_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<QTextOption::WrapMode>("wrap");
  const auto words = QTextOption::WrapAtWordBoundaryOrAnywhere;
  QTest::newRow("frame") << "<11300650400268D>" << words;
  QTest::newRow("256 characters without a break") << QString(256, u'A') << words;
  QTest::newRow("257 characters without a break") << QString(257, u'A') << QTextOption::WrapAnywhere;
  QTest::newRow("long run after a short word") << "0026 " + QString(300, u'F') << QTextOption::WrapAnywhere;
  QTest::newRow("long text of short words") << QString("0026 ").repeated(2000) << words;
  QTest::newRow("Chinese breaks between characters") << QString(1000, u'\u8BBE') << words;
}

void FrameworkTest::wrapFollowsLongestWord() {
  QFETCH(QString, text);
  QFETCH(QTextOption::WrapMode, wrap);
  fw::EditBox box(nullptr);
  box.setPlainText(text);
  QCOMPARE(box.wordWrapMode(), wrap);
  // Typed in, as well as written; and back once the text is ordinary again.
  box.clear();
  QApplication::clipboard()->setText(text);
  box.paste();
  QCOMPARE(box.wordWrapMode(), wrap);
  box.selectAll();
  QTest::keyClicks(&box, "0026");
  QCOMPARE(box.wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
}

QTEST_MAIN(FrameworkTest)
#include "framework_test.moc"
