#include "monitor_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <chrono>
#include <map>

#include "alarm_banner.h"
#include "alarm_list.h"
#include "alarm_look.h"
#include "alarm_rules_file.h"
#include "alarm_text.h"
#include "cell_bars.h"
#include "connection_bar.h"
#include "link/exchange.h"
#include "monitor_settings.h"
#include "on_demand_panel.h"
#include "profile/profile_choice.h"
#include "traffic_log.h"
#include "trend_charts.h"
#include "value_rows.h"
#include "values_table.h"

namespace kelvo_monitor {

using State = kelvo_link::LinkClient::State;

namespace {
constexpr int kViewRefreshMs = 100;
constexpr int kStatusRefreshMs = 500;
constexpr int kStaleAfterIntervals = kOfflineAfterPolls;
constexpr int kTroubleReminderMs = 60 * 1000;
const QString kTitle = QStringLiteral("kelvo-monitor");
}  // namespace

MonitorWindow::MonitorWindow(QWidget* parent)
    : QMainWindow(parent),
      connection_(new ConnectionBar(this)),
      banner_(new AlarmBanner(this)),
      values_(new ValuesTable(this)),
      cells_(new CellBars(this)),
      trends_(new TrendCharts(this)),
      traffic_(new TrafficLog(this)),
      on_demand_(new OnDemandPanel(this)),
      alarm_list_(new AlarmList(this)),
      tabs_(new QTabWidget(this)),
      record_action_(new QAction(tr("记录到 CSV(&R)..."), this)),
      profile_actions_(new QActionGroup(this)),
      default_profile_action_(new QAction(tr("默认配置(&D)"), this)),
      file_profile_action_(new QAction(tr("打开配置文件(&O)..."), this)),
      no_profile_action_(new QAction(tr("无配置, 原始数值(&N)"), this)),
      state_label_(new QLabel(this)),
      profile_label_(new QLabel(this)),
      counters_label_(new QLabel(this)) {
  setObjectName(QStringLiteral("monitor_window"));
  profile_.choice = QString::fromLatin1(kelvo_profile::kNoProfile);  // until one is set
  setWindowTitle(kTitle);
  setWindowIcon(QIcon(QStringLiteral(":/monitor/kelvo-monitor.png")));
  resize(1200, 800);
  BuildMenus();
  BuildLayout();
  ConnectParts();
  StartTimers();
}

void MonitorWindow::BuildMenus() {
  auto* file_menu = menuBar()->addMenu(tr("文件(&F)"));
  record_action_->setObjectName(QStringLiteral("record"));
  record_action_->setCheckable(true);
  file_menu->addAction(record_action_);
  file_menu->addSeparator();
  QAction* quit = file_menu->addAction(tr("退出(&X)"), QKeySequence::Quit, this, &QWidget::close);
  quit->setObjectName(QStringLiteral("quit"));
  BuildProfileMenu();
}

void MonitorWindow::BuildProfileMenu() {
  auto* menu = menuBar()->addMenu(tr("配置(&P)"));
  menu->setObjectName(QStringLiteral("profile_menu"));
  default_profile_action_->setObjectName(QStringLiteral("default_profile"));
  file_profile_action_->setObjectName(QStringLiteral("profile_file"));
  no_profile_action_->setObjectName(QStringLiteral("no_profile"));
  for (QAction* action : {default_profile_action_, file_profile_action_, no_profile_action_}) {
    action->setCheckable(true);
    profile_actions_->addAction(action);
    menu->addAction(action);
  }
  connect(default_profile_action_, &QAction::triggered, this, [this] { ChooseProfile(QString()); });
  connect(no_profile_action_, &QAction::triggered, this,
          [this] { ChooseProfile(QString::fromLatin1(kelvo_profile::kNoProfile)); });
  connect(file_profile_action_, &QAction::triggered, this, &MonitorWindow::OnProfileFileAsked);
}

void MonitorWindow::BuildLayout() {
  auto* bar = addToolBar(tr("连接"));
  bar->setObjectName(QStringLiteral("connection_toolbar"));
  bar->setMovable(false);
  bar->addWidget(connection_);

  auto* charts = new QSplitter(Qt::Vertical, this);
  charts->addWidget(cells_);
  charts->addWidget(trends_);
  charts->setStretchFactor(1, 3);
  auto* top = new QSplitter(Qt::Horizontal, this);
  top->addWidget(values_);
  top->addWidget(charts);
  top->setStretchFactor(1, 2);
  top->setSizes({470, 730});
  tabs_->setObjectName(QStringLiteral("bottom_tabs"));
  tabs_->addTab(traffic_, tr("通信记录"));
  tabs_->addTab(on_demand_, tr("按需请求"));
  tabs_->addTab(alarm_list_, tr("告警"));
  auto* main = new QSplitter(Qt::Vertical, this);
  main->setObjectName(QStringLiteral("main_splitter"));
  main->addWidget(top);
  main->addWidget(tabs_);
  main->setStretchFactor(0, 3);
  main->setStretchFactor(1, 1);
  // The banner goes across the whole window, above everything it may concern.
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(banner_);
  layout->addWidget(main, 1);
  setCentralWidget(central);

  state_label_->setObjectName(QStringLiteral("state"));
  counters_label_->setObjectName(QStringLiteral("counters"));
  profile_label_->setObjectName(QStringLiteral("profile"));
  statusBar()->addWidget(state_label_, 1);
  statusBar()->addPermanentWidget(profile_label_);
  statusBar()->addPermanentWidget(counters_label_);
  ShowProfileChoice();
}

void MonitorWindow::ConnectParts() {
  connect(record_action_, &QAction::triggered, this, &MonitorWindow::OnRecordToggled);
  connect(connection_, &ConnectionBar::connectRequested, this, &MonitorWindow::Connect);
  connect(connection_, &ConnectionBar::disconnectRequested, this, &MonitorWindow::Disconnect);
  connect(&poller_, &Poller::answered, this, &MonitorWindow::OnAnswered);
  connect(&poller_, &Poller::pollFailed, this, [this](const QString& reason) {
    poll_failure_ = FailureWords(reason);
    alarms_.Missed(std::chrono::system_clock::now());
    UpdateStatus();
  });
  connect(&poller_, &Poller::roundStarted, this,
          [this](bool link_down) { alarms_.RoundStarted(link_down, std::chrono::system_clock::now()); });
  connect(&alarms_, &AlarmWatch::changed, this, &MonitorWindow::OnAlarmsChanged);
  connect(alarm_list_, &AlarmList::acknowledgeRequested, this, [this](const QString& name) {
    alarms_.Acknowledge(name.toStdString(), std::chrono::system_clock::now());
  });
  connect(banner_, &AlarmBanner::listRequested, this, [this] { tabs_->setCurrentWidget(alarm_list_); });
  connect(&poller_, &Poller::frameSent, this, [this] { last_rejected_.clear(); });
  connect(&poller_, &Poller::frameSeen, this,
          [this](const QByteArray& frame, const QDateTime&, kelvo_link::AnswerVerdict verdict) {
            if (verdict == kelvo_link::AnswerVerdict::Accepted) return;
            last_rejected_ = frame;
            last_verdict_ = verdict;
          });
  connect(&poller_, &Poller::countersChanged, this, &MonitorWindow::UpdateStatus);
  connect(&poller_, &Poller::stateChanged, this, &MonitorWindow::OnStateChanged);
  connect(&poller_, &Poller::openFailed, this, [this](kelvo_link::LinkError error, const QString& message) {
    OnLinkTrouble(OpenFailureWords(error, message));
  });
  connect(&poller_, &Poller::linkLost, this, &MonitorWindow::OnLinkTrouble);
  connect(&poller_, &Poller::frameSent, traffic_, &TrafficLog::AddSent);
  connect(&poller_, &Poller::frameSeen, traffic_, &TrafficLog::AddSeen);
  connect(&poller_, &Poller::overlongDropped, this,
          [this](const QDateTime& at) { traffic_->AddNote(at, tr("丢弃一段过长的数据 (不是一帧)")); });
  connect(on_demand_, &OnDemandPanel::requested, this,
          [this](const QByteArray& request) { poller_.Ask(request); });
  connect(&poller_, &Poller::onDemandFinished, this,
          [this](kelvo_link::Exchange* exchange) { on_demand_->ShowResult(*exchange); });
}

void MonitorWindow::StartTimers() {
  view_timer_.setSingleShot(true);
  view_timer_.setInterval(kViewRefreshMs);
  connect(&view_timer_, &QTimer::timeout, this, &MonitorWindow::ShowLatest);
  trouble_timer_.setInterval(kTroubleReminderMs);
  connect(&trouble_timer_, &QTimer::timeout, this, &MonitorWindow::RemindOfTrouble);
  status_timer_.setInterval(kStatusRefreshMs);
  connect(&status_timer_, &QTimer::timeout, this, &MonitorWindow::UpdateStatus);
  status_timer_.start();
  UpdateStatus();
}

MonitorWindow::~MonitorWindow() {
  poller_.Stop();
  recorder_.Stop();
}

void MonitorWindow::Apply(const MonitorSettings& s) {
  connection_->SetPort(s.port);
  connection_->SetBaud(s.baud);
  connection_->SetAddress(s.address);
  connection_->SetInterval(s.interval_ms);
  if (!s.geometry.isEmpty()) restoreGeometry(s.geometry);
  if (!s.state.isEmpty()) restoreState(s.state);
  if (s.has_trend_fields) trends_->SetChosenFields(s.trend_fields);
  trends_->SetSpan(s.trend_span);
}

MonitorSettings MonitorWindow::Collect() const {
  MonitorSettings s;
  s.port = connection_->port();
  s.baud = connection_->baud();
  s.address = connection_->address();
  s.interval_ms = connection_->interval();
  s.geometry = saveGeometry();
  s.state = saveState();
  s.trend_fields = trends_->chosenFields();
  s.has_trend_fields = true;
  s.trend_span = trends_->span();
  return s;
}

void MonitorWindow::Connect() {
  const QString port = connection_->port();
  if (port.isEmpty()) {
    error_text_ = tr("请选择或输入一个端口");
    UpdateStatus();
    return;
  }
  error_text_.clear();
  poll_failure_.clear();
  trends_->SetGapAfter(kStaleAfterIntervals * connection_->interval() / 1000.0);
  trends_->MarkLinkLost();  // a new connection starts new lines
  alarms_.Watch(port, connection_->address());
  poller_.Start({port, connection_->baud()}, connection_->address(), connection_->interval());
  on_demand_->SetAddress(connection_->address());
  connection_->SetConnected(true);
  on_demand_->SetConnected(true);
  setWindowTitle(QStringLiteral("%1 - %2").arg(kTitle, port));
  UpdateStatus();
}

void MonitorWindow::Disconnect() {
  poller_.Stop();
  trends_->MarkLinkLost();
  trouble_timer_.stop();
  link_state_ = State::Closed;
  connection_->SetConnected(false);
  on_demand_->SetConnected(false);
  setWindowTitle(kTitle);
  UpdateStatus();
}

bool MonitorWindow::StartRecording(const QString& path, QString* error) {
  QString why;
  record_failure_.clear();
  const bool ok = recorder_.Start(path, &why);
  record_action_->setChecked(ok);
  if (!ok) {
    error_text_ = tr("无法记录: %1").arg(why);
    if (error) *error = why;
  }
  UpdateStatus();
  return ok;
}

void MonitorWindow::StopRecording() {
  recorder_.Stop();
  record_action_->setChecked(false);
  UpdateStatus();
}

void MonitorWindow::OnRecordToggled(bool on) {
  if (!on) {
    StopRecording();
    return;
  }
  const QString path =
      QFileDialog::getSaveFileName(this, tr("记录到 CSV 文件"), QString(), tr("CSV 文件 (*.csv)"));
  if (path.isEmpty()) {
    record_action_->setChecked(false);
    return;
  }
  StartRecording(path);
}

void MonitorWindow::SetProfile(WindowProfile profile) {
  latest_values_.clear();  // its keys belong to the profile being let go
  profile_ = std::move(profile);
  values_->SetShowsValues(profile_.profile != nullptr);
  values_->Clear();
  trends_->SetProfile(profile_.profile);
  if (!latest_frame_.isEmpty()) {
    latest_ = ReadAnswerFields(std::string_view(latest_frame_.constData(), latest_frame_.size()),
                               profile_.profile.get(), latest_values_);
    latest_shown_ = false;
    ShowLatest();
  }
  ShowProfileChoice();
  ShowAlarms();  // their values in the new units
}

bool MonitorWindow::ChooseProfile(const QString& choice, QString* why) {
  QString refused;
  std::optional<WindowProfile> loaded = LoadWindowProfile(choice, &refused);
  std::shared_ptr<const kelvo_alarms::AlarmRules> rules = alarms_.rules();
  if (loaded && !alarm_file_.isEmpty()) {
    // The rules were checked against the profile in use; they must hold under the new one too.
    QString rules_refused;
    rules = LoadAlarmRulesFile(alarm_file_, loaded->profile.get(), &rules_refused);
    if (!rules) {
      loaded.reset();
      refused = tr("告警规则与这个配置不符: %1").arg(rules_refused);
    }
  }
  if (!loaded) {
    ShowProfileChoice();  // the menu goes back to the profile in use
    traffic_->AddNote(QDateTime::currentDateTime(), tr("配置未更换: %1").arg(refused));
    auto* box =
        new QMessageBox(QMessageBox::Warning, tr("无法使用这个配置"),
                        tr("仍使用 %1。\n\n%2").arg(ProfileName(profile_), refused), QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("profile_refused"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    if (why) *why = refused;
    return false;
  }
  SetProfile(std::move(*loaded));
  alarms_.SetRules(std::move(rules), std::chrono::system_clock::now());
  return true;
}

void MonitorWindow::SetAlarmRules(const QString& file,
                                  std::shared_ptr<const kelvo_alarms::AlarmRules> rules) {
  alarm_file_ = file;
  alarms_.SetRules(std::move(rules), std::chrono::system_clock::now());
  ShowAlarms();
}

void MonitorWindow::OnAlarmsChanged(const std::vector<kelvo_alarms::AlarmEvent>& events) {
  for (const kelvo_alarms::AlarmEvent& event : events) {
    traffic_->AddNote(LocalTime(event.time),
                      EventText(event, alarms_.Rule(event.name), profile_.profile.get()));
  }
  ShowAlarms();
}

void MonitorWindow::ShowAlarms() {
  std::vector<AlarmLine> lines;
  std::map<QString, kelvo_alarms::Severity> rows;
  std::map<int, kelvo_alarms::Severity> cells;
  const auto note = [](auto& by, const auto& at, kelvo_alarms::Severity severity) {
    const auto [it, fresh] = by.try_emplace(at, severity);
    if (!fresh) it->second = Worse(it->second, severity);
  };
  for (const ShownAlarm& shown : alarms_.active()) {
    const kelvo_alarms::AlarmRule* rule = shown.bus ? nullptr : alarms_.Rule(shown.alarm.name);
    lines.push_back(LineOf(shown, rule, profile_.profile.get()));
    // A latched alarm's value is back: only the list holds it still.
    if (!rule || shown.alarm.latched) continue;
    const QString key = QString::fromStdString(rule->value);
    note(rows, key, shown.alarm.severity);
    if (shown.alarm.element && key == cells_key_) note(cells, *shown.alarm.element, shown.alarm.severity);
  }
  values_->SetAlarms(std::move(rows));
  cells_->SetAlarms(std::move(cells));
  alarm_list_->ShowLines(lines);
  banner_->ShowLines(lines);
  tabs_->setTabText(tabs_->indexOf(alarm_list_),
                    lines.empty() ? tr("告警") : tr("告警 (%1)").arg(lines.size()));
}

void MonitorWindow::OnProfileFileAsked() {
  const QString path = QFileDialog::getOpenFileName(this, tr("打开配置文件"), QString(),
                                                    tr("配置文件 (*.toml);;所有文件 (*)"));
  if (path.isEmpty()) {
    ShowProfileChoice();
    return;
  }
  ChooseProfile(path);
}

void MonitorWindow::ShowProfileChoice() {
  QAction* in_use = !profile_.profile           ? no_profile_action_
                    : profile_.choice.isEmpty() ? default_profile_action_
                                                : file_profile_action_;
  in_use->setChecked(true);
  profile_label_->setText(tr("配置: %1").arg(ProfileName(profile_)));
  profile_label_->setToolTip(profile_.profile ? QFile::decodeName(profile_.profile->source().c_str())
                                              : QString());
}

void MonitorWindow::OnAnswered(const QByteArray& frame, const QDateTime& at, double latency_ms) {
  poll_failure_.clear();
  since_answer_.start();
  if (recorder_.recording()) {
    QString why;
    if (!recorder_.Write(frame, at, poller_.address(), latency_ms, &why)) {
      record_failure_ = why;
      record_action_->setChecked(false);
      traffic_->AddNote(QDateTime::currentDateTime(), tr("记录已停止: %1").arg(why));
      UpdateStatus();
      emit recordingFailed(why);
    }
  }
  latest_frame_ = frame;
  latest_ = ReadAnswerFields(std::string_view(frame.constData(), frame.size()), profile_.profile.get(),
                             latest_values_);
  alarms_.Answered(latest_values_, AlarmTime(at));
  trends_->AddAnswer(at.toMSecsSinceEpoch() / 1000.0, latest_);
  latest_shown_ = false;
  if (!view_timer_.isActive()) view_timer_.start();
}

void MonitorWindow::ShowLatest() {
  if (latest_shown_) return;
  latest_shown_ = true;
  values_->ShowRows(ValueRows(latest_, profile_.profile.get(), latest_values_));
  if (kC2CellVoltages >= static_cast<int>(latest_.size())) return;
  const AnswerField& cells = latest_[kC2CellVoltages];
  const kelvo_profile::ProfileField* read =
      profile_.profile ? profile_.profile->FieldForLabel(cells.label_gbk) : nullptr;
  if (const QString key = read ? QString::fromStdString(read->key) : QString(); key != cells_key_) {
    cells_key_ = key;  // the cells' alarms are this key's elements
    ShowAlarms();
  }
  std::vector<double> shown(cells.numbers.begin(), cells.numbers.end());
  if (!read) {
    cells_->SetCells(shown);
    return;
  }
  for (double& cell : shown) cell = kelvo_profile::ScaledValue(*read, cell);
  cells_->SetCells(shown, read->decimals, QString::fromStdString(read->unit));
}

void MonitorWindow::OnStateChanged(State state) {
  link_state_ = state;
  if (state == State::Open) {
    error_text_.clear();
    trouble_timer_.stop();
  }
  UpdateStatus();
}

QString MonitorWindow::FailureWords(const QString& reason) const {
  // The link words its reasons in English; the window says them in its own
  // language, from what it saw on the line since the request went out.
  if (reason.startsWith(QStringLiteral("link"))) return tr("连接中断");
  if (!last_rejected_.isEmpty() && last_verdict_ != kelvo_link::AnswerVerdict::Echo) {
    const QString findings = TrafficLog::DescribeFindings(last_rejected_);
    const QString first = findings.section(QStringLiteral("; "), 0, 0);
    const QString verdict = TrafficLog::VerdictWords(last_verdict_);
    return first.isEmpty() ? verdict : QStringLiteral("%1: %2").arg(verdict, first);
  }
  if (reason == QStringLiteral("incomplete answer")) return tr("应答不完整");
  if (!last_rejected_.isEmpty()) return tr("无应答 (只有请求的回显)");
  return tr("无应答 (静默)");
}

QString MonitorWindow::OpenFailureWords(kelvo_link::LinkError error, const QString& message) const {
  using kelvo_link::LinkError;
  const QString port = poller_.client() ? poller_.client()->settings().port : connection_->port();
  switch (error) {
    case LinkError::NotFound: return tr("%1: 没有这个设备").arg(port);
    case LinkError::PermissionDenied:
      return tr("%1: 没有权限 (串口设备通常属于 dialout 组: sudo usermod -aG dialout $USER, 然后重新登录)")
          .arg(port);
    case LinkError::Busy: return tr("%1: 设备忙, 另一个程序已打开它").arg(port);
    case LinkError::Refused: return tr("%1: 连接被拒绝").arg(port);
    case LinkError::HostNotFound: return tr("%1: 找不到主机").arg(port);
    default: return message;  // the system's own words, naming what the path is
  }
}

void MonitorWindow::OnLinkTrouble(const QString& message) {
  // The link says each distinct failure once; while it lasts, the log is
  // reminded at a slow rhythm rather than once a round.
  error_text_ = message;
  traffic_->AddNote(QDateTime::currentDateTime(), message);
  trends_->MarkLinkLost();
  if (!trouble_timer_.isActive()) {
    trouble_since_.start();
    trouble_timer_.start();
  }
  UpdateStatus();
}

void MonitorWindow::RemindOfTrouble() {
  if (!poller_.running() || link_state_ == State::Open) {
    trouble_timer_.stop();
    return;
  }
  traffic_->AddNote(QDateTime::currentDateTime(),
                    tr("仍未连接 (%1 秒): %2").arg(trouble_since_.elapsed() / 1000).arg(error_text_));
}

void MonitorWindow::SetTroubleReminderInterval(int ms) {
  trouble_timer_.setInterval(ms);
}

QString MonitorWindow::StateText() const {
  // Without a link, how old the values on show are.
  const QString age = stale_ ? tr(" - 最后应答于 %1 秒前").arg(since_answer_.elapsed() / 1000) : QString();
  if (!poller_.running()) return (error_text_.isEmpty() ? tr("未连接") : error_text_) + age;
  switch (link_state_) {
    case State::Closed:
    case State::Opening:
      return (error_text_.isEmpty() ? tr("正在打开端口...") : tr("%1, 正在重试").arg(error_text_)) + age;
    case State::Reconnecting:
      return (error_text_.isEmpty() ? tr("连接中断, 正在重连")
                                    : tr("连接中断 (%1), 正在重连").arg(error_text_)) +
             age;
    case State::Open: break;
  }
  const qint64 silent_ms = poller_.SinceLastAnswerMs();
  const int quiet_after = std::max(2 * poller_.interval(), 2000);
  if (silent_ms >= quiet_after) {
    QString text = tr("%1 秒无应答").arg(silent_ms / 1000);
    if (!poll_failure_.isEmpty()) text += QStringLiteral(" (%1)").arg(poll_failure_);
    return text;
  }
  return poller_.counters().answered ? tr("已连接") : tr("已连接, 等待应答");
}

void MonitorWindow::UpdateStaleness() {
  const bool stale =
      since_answer_.isValid() &&
      (!poller_.running() || since_answer_.elapsed() > kStaleAfterIntervals * poller_.interval());
  if (stale == stale_) return;
  stale_ = stale;
  // Old values must not look live: the table's text and the bars go grey.
  QPalette palette = values_->palette();
  palette.setColor(QPalette::Text,
                   stale ? QColor(0x99, 0x99, 0x99) : QApplication::palette().color(QPalette::Text));
  values_->setPalette(palette);
  cells_->SetStale(stale);
}

void MonitorWindow::UpdateStatus() {
  UpdateStaleness();
  trends_->Tick();
  const QString state = StateText();
  if (state_label_->text() != state) state_label_->setText(state);
  const PollCounters& c = poller_.counters();
  QString counters = tr("请求 %1  应答 %2  失败 %3").arg(c.requests).arg(c.answered).arg(c.failed);
  if (c.last_latency_ms >= 0) counters += tr("  延迟 %1 ms").arg(c.last_latency_ms, 0, 'f', 1);
  if (recorder_.recording()) {
    counters += tr("  记录 %1 行").arg(recorder_.rows());
  } else if (!record_failure_.isEmpty()) {
    counters += tr("  记录已停止 (%1 行): %2").arg(recorder_.rows()).arg(record_failure_);
  }
  if (counters_label_->text() != counters) counters_label_->setText(counters);
}

void MonitorWindow::closeEvent(QCloseEvent* event) {
  SaveSettings(Collect());
  poller_.Stop();
  recorder_.Stop();
  event->accept();
}

}  // namespace kelvo_monitor
