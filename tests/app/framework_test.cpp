// The framework beneath the dialogs: text crossing into GBK, dialog units,
// placement, the per-message failure report and the string table's effect
// on the system menu.
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <new>
#include <stdexcept>
#include <vector>

#include "framework/application.h"
#include "framework/dialog.h"
#include "framework/system_text.h"
#include "modal.h"
#include "resources/resource_ids.h"
#include "resources/resources.h"
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
        case Failure::InvalidArgument: throw std::invalid_argument("count past the end");
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

Q_DECLARE_METATYPE(Failure)
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
  QTest::mouseClick(dialog.Window()->findChild<QPushButton*>("ok_button"), Qt::LeftButton);
  QVERIFY(seen.shown);
  QCOMPARE(seen.text, text);
  QCOMPARE(seen.icon, icon);
  QCOMPARE(seen.title, QStringLiteral("kelvo_vavo_zuru"));
  QCOMPARE(seen.owner, dialog.Window());
  // Reported and carried on: the dialog is still open.
  QVERIFY(dialog.Window()->isVisible());
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
  const auto menu = created ? dlg.GetSystemMenu()->Items() : std::vector<fw::SystemMenu::Item>{};
  fw::UseResources(&program);
  QVERIFY(created);
  QCOMPARE(static_cast<int>(menu.size()), items);
  QCOMPARE(menu.back().id, items == 4 ? IDM_ABOUTBOX : fw::kSysClose);
  // The window works otherwise.
  QCOMPARE(dlg.Window()->findChild<QPlainTextEdit*>("IDC_PAYLOAD")->toPlainText(), QStringLiteral("0026"));
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

QTEST_MAIN(FrameworkTest)
#include "framework_test.moc"
