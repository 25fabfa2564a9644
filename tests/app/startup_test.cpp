// Start-up of the program: the network library, the main window run once,
// the application name.
#include <QApplication>
#include <QTest>

#include "framework/application.h"
#include "framework/dialog.h"
#include "framework/network_library.h"
#include "modal.h"
#include "vavo_zuru_app.h"

namespace {

class FakeNetwork : public fw::NetworkLibrary {
 public:
  FakeNetwork(bool starts, std::uint16_t grants) : m_starts(starts), m_grants(grants) {}
  bool Startup(std::uint16_t requested, std::uint16_t& granted) override {
    m_requested = requested;
    granted = m_grants;
    return m_starts;
  }
  void Cleanup() override { ++m_cleanups; }

  std::uint16_t m_requested = 0;
  int m_cleanups = 0;

 private:
  bool m_starts;
  std::uint16_t m_grants;
};

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 public:
  StartupTest() { m_app.SetProgramPath(QStringLiteral("/opt/kvz/kelvo_vavo_zuru")); }

 private slots:
  void networkFailureEnds_data();
  void networkFailureEnds();
  void runsMainWindowOnce();
  void appName_data();
  void appName();
  void cleanup() { fw::SetNetworkLibrary(nullptr); }

 private:
  CVavoZuruApp m_app;
};

void StartupTest::networkFailureEnds_data() {
  QTest::addColumn<bool>("starts");
  QTest::addColumn<int>("grants");
  QTest::addColumn<int>("cleanups");
  QTest::addColumn<int>("lastError");
  QTest::newRow("library does not start") << false << 0 << 0 << 0;
  QTest::newRow("version 2.2 granted") << true << 0x0202 << 1 << 10092;
  QTest::newRow("version 1.0 granted") << true << 0x0001 << 1 << 10092;
}

void StartupTest::networkFailureEnds() {
  QFETCH(bool, starts);
  QFETCH(int, grants);
  QFETCH(int, cleanups);
  QFETCH(int, lastError);
  FakeNetwork net(starts, static_cast<std::uint16_t>(grants));
  fw::SetNetworkLibrary(&net);
  BoxSeen seen;
  bool mainWindowShown = false;
  OnNextModal([&](QWidget* modal) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      mainWindowShown |= w->isVisible() && w->windowTitle() == QStringLiteral("kelvo data encoding sample");
    }
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box) seen = {true, box->windowTitle(), box->text(), box->icon(), box->parentWidget()};
    modal->close();
  });
  QVERIFY(!m_app.InitInstance());
  QVERIFY(seen.shown);
  QVERIFY(!mainWindowShown);
  QCOMPARE(net.m_requested, std::uint16_t{0x0101});
  QCOMPARE(seen.text, QStringLiteral(u"Windows 套接字初始化失败。"));
  QCOMPARE(seen.icon, QMessageBox::Warning);
  QCOMPARE(seen.title, QStringLiteral("kelvo_vavo_zuru"));
  QVERIFY(!seen.owner);
  QCOMPARE(net.m_cleanups, cleanups);
  QCOMPARE(net.lastError(), lastError);
  QVERIFY(m_app.settingsName().isEmpty());
}

void StartupTest::runsMainWindowOnce() {
  QString title;
  bool wasMainWindow = false;
  OnNextModal([&](QWidget* modal) {
    title = modal->windowTitle();
    wasMainWindow = m_app.mainWindow() && m_app.mainWindow()->window() == modal;
    QTest::keyClick(modal, Qt::Key_Escape);
  });
  QVERIFY(!m_app.InitInstance());
  QCOMPARE(title, QStringLiteral("kelvo data encoding sample"));
  QVERIFY(wasMainWindow);
  QCOMPARE(m_app.mainWindow(), nullptr);
  QCOMPARE(m_app.settingsName(), QStringLiteral(u"应用程序向导生成的本地应用程序"));
}

void StartupTest::appName_data() {
  QTest::addColumn<QString>("program");
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("helpFile");
  QTest::newRow("installed") << "/usr/bin/kelvo_vavo_zuru"
                             << "kelvo_vavo_zuru"
                             << "/usr/bin/kelvo_vavo_zuru.HLP";
  QTest::newRow("with an extension") << "/opt/kvz/kelvo_vavo_zuru.exe"
                                     << "kelvo_vavo_zuru"
                                     << "/opt/kvz/kelvo_vavo_zuru.HLP";
  QTest::newRow("renamed, two dots") << "/tmp/kvz.v1.bin"
                                     << "kvz.v1"
                                     << "/tmp/kvz.v1.HLP";
}

void StartupTest::appName() {
  QFETCH(QString, program);
  QFETCH(QString, name);
  QFETCH(QString, helpFile);
  const QString before = m_app.programPath();
  m_app.SetProgramPath(program);
  const QString appName = m_app.appName();
  const QString help = m_app.HelpFilePath();
  m_app.SetProgramPath(before);
  QCOMPARE(appName, name);
  QCOMPARE(help, helpFile);
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
