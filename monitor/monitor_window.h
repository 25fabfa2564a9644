// The monitor's main window: the connection bar on top, a banner while a
// critical alarm stands, the latest answer's values beside the cell bars and
// the trends, the traffic log, the on-demand panel and the alarm list below,
// the state, the profile in use and the counters in the status bar.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <memory>
#include <vector>

#include "alarm_watch.h"
#include "alarms/alarm_rule.h"
#include "answer_fields.h"
#include "link/link_client.h"
#include "poller.h"
#include "profile/profile_values.h"
#include "recorder.h"
#include "window_profile.h"

class QAction;
class QActionGroup;
class QLabel;
class QTabWidget;

namespace kelvo_monitor {

class AlarmBanner;
class AlarmList;
class CellBars;
class ConnectionBar;
class OnDemandPanel;
class TrafficLog;
class TrendCharts;
class ValuesTable;
struct MonitorSettings;

class MonitorWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MonitorWindow(QWidget* parent = nullptr);
  ~MonitorWindow() override;

  // Puts remembered or given settings into the window.
  void Apply(const MonitorSettings& settings);
  [[nodiscard]] MonitorSettings Collect() const;

  // Connects with what the connection bar says.
  void Connect();
  void Disconnect();
  // Records every valid answer to `path`; false with a message shown in the
  // status bar (and in `error`) when the file cannot be made.
  bool StartRecording(const QString& path, QString* error = nullptr);
  void StopRecording();

  // Shows values with `profile` from now on, the answer on show included.
  void SetProfile(WindowProfile profile);
  // The profile the user chose ("" the default, "none", or a file): false
  // when it is refused, and then the profile in use stays and a message box
  // says why (`why` gets the same).
  bool ChooseProfile(const QString& choice, QString* why = nullptr);
  [[nodiscard]] const WindowProfile& profile() const { return profile_; }

  // Watches the unit with `rules`, read from `file` against the profile in
  // use (LoadAlarmRulesFile); "" and no rules: the built-in offline and
  // bus_down alone. Choosing another profile reads the file again against it.
  void SetAlarmRules(const QString& file, std::shared_ptr<const kelvo_alarms::AlarmRules> rules);
  [[nodiscard]] const AlarmWatch& alarms() const { return alarms_; }

  [[nodiscard]] Poller& poller() { return poller_; }
  [[nodiscard]] const Recorder& recorder() const { return recorder_; }
  // The state in words, as the status bar shows it.
  [[nodiscard]] QString StateText() const;
  // True while the values and cell bars show an answer older than three intervals.
  [[nodiscard]] bool showsStale() const { return stale_; }
  // How often the traffic log is reminded of a link that stays down (default a minute).
  void SetTroubleReminderInterval(int ms);

 signals:
  // The recording stopped because its file refused a row; `why` names the file and the error.
  void recordingFailed(const QString& why);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The constructor's steps, in order: the File menu; the connection bar,
  // the views and the status bar; the bar, the poller and the panel wired to
  // the window; the status and view refreshes.
  void BuildMenus();
  void BuildProfileMenu();
  void BuildLayout();
  void ConnectParts();
  void StartTimers();

  void OnAnswered(const QByteArray& frame, const QDateTime& at, double latency_ms);
  void OnAlarmsChanged(const std::vector<kelvo_alarms::AlarmEvent>& events);
  // The alarms on show: the list, the banner, the rows' and cells' colours.
  void ShowAlarms();
  void OnStateChanged(kelvo_link::LinkClient::State state);
  void OnLinkTrouble(const QString& message);
  // Why the port did not open, in the window's words where the link's are fixed.
  [[nodiscard]] QString OpenFailureWords(kelvo_link::LinkError error, const QString& message) const;
  // A poll's failure in the window's words.
  [[nodiscard]] QString FailureWords(const QString& reason) const;
  void RemindOfTrouble();
  void ShowLatest();
  void UpdateStatus();
  void UpdateStaleness();
  void OnRecordToggled(bool on);
  void OnProfileFileAsked();
  // Checks the menu's entry for the profile in use and names it in the status bar.
  void ShowProfileChoice();

  Poller poller_;
  Recorder recorder_;
  AlarmWatch alarms_;
  ConnectionBar* connection_;
  AlarmBanner* banner_;
  ValuesTable* values_;
  CellBars* cells_;
  TrendCharts* trends_;
  TrafficLog* traffic_;
  OnDemandPanel* on_demand_;
  AlarmList* alarm_list_;
  QTabWidget* tabs_;
  QAction* record_action_;
  QActionGroup* profile_actions_;
  QAction* default_profile_action_;
  QAction* file_profile_action_;
  QAction* no_profile_action_;
  QLabel* state_label_;
  QLabel* profile_label_;
  QLabel* counters_label_;
  QTimer status_timer_;
  QTimer trouble_timer_;  // reminds the log while the link stays down
  QElapsedTimer trouble_since_;
  QTimer view_timer_;  // at most ten table and bar updates a second
  WindowProfile profile_;
  QString alarm_file_;       // --alarms FILE; empty without one
  QString cells_key_;        // the profile's key of the cell voltages on show
  QByteArray latest_frame_;  // read again when the profile changes
  std::vector<AnswerField> latest_;
  std::vector<kelvo_profile::ProfileValue> latest_values_;  // keys point into profile_
  bool latest_shown_ = true;
  QElapsedTimer since_answer_;  // valid once an answer came
  bool stale_ = false;
  QString error_text_;        // the last open failure or loss, in words
  QString poll_failure_;      // the last poll's reason for failing
  QByteArray last_rejected_;  // the last frame not taken since the last request went out
  kelvo_link::AnswerVerdict last_verdict_ = kelvo_link::AnswerVerdict::Malformed;
  QString record_failure_;  // why the last recording stopped by itself
  kelvo_link::LinkClient::State link_state_ = kelvo_link::LinkClient::State::Closed;
};

}  // namespace kelvo_monitor
