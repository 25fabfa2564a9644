#include "gateway/webhook_notifier.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <algorithm>
#include <utility>

namespace kelvo_gateway {
namespace {

// Answers that say "not now": the same request may succeed later.
bool WorthRetrying(int status) {
  return status == 408 || status == 429 || status >= 500;
}

}  // namespace

WebhookNotifier::WebhookNotifier(NotifyConfig config, RetryTimes retry, QObject* parent)
    : QObject(parent), retry_(retry), next_retry_ms_(retry.first_ms) {
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] {
    if (reply_ == nullptr) return;
    timed_out_ = true;
    reply_->abort();
  });
  retry_timer_.setSingleShot(true);
  connect(&retry_timer_, &QTimer::timeout, this, &WebhookNotifier::SendHead);
  trouble_summary_.setInterval(kTroubleSummaryMs);
  connect(&trouble_summary_, &QTimer::timeout, this, [this] {
    emit note(Named() + " still failing (" + trouble_ + "), " + QString::number(attempts_) + " attempts, " +
              QString::number(queue_.size()) + " events waiting");
  });
  SetConfig(std::move(config));
}

WebhookNotifier::~WebhookNotifier() {
  Abandon();
}

QString WebhookNotifier::Named() const {
  return "webhook " + QString::fromStdString(WebhookOrigin(config_.webhook_url));
}

void WebhookNotifier::SetConfig(NotifyConfig config) {
  Abandon();
  config_ = std::move(config);
  url_ = QUrl(QString::fromStdString(config_.webhook_url));
  authorization_ =
      config_.token.empty() ? QByteArray() : "Bearer " + QByteArray::fromStdString(config_.token);
  ca_ = config_.ca_file.empty() ? QList<QSslCertificate>()
                                : QSslCertificate::fromPath(QString::fromStdString(config_.ca_file));
  Trim();
  // The new settings may be what the receiver was waiting for: no backoff.
  retry_timer_.stop();
  next_retry_ms_ = retry_.first_ms;
  SendHead();
}

WebhookCounts WebhookNotifier::counts() const {
  return {queue_.size(), dropped_, refused_, sent_};
}

void WebhookNotifier::Post(nlohmann::ordered_json event) {
  queue_.push_back(std::move(event));
  Trim();
  if (!retry_timer_.isActive()) SendHead();
}

void WebhookNotifier::Trim() {
  const std::size_t most = static_cast<std::size_t>(std::max(config_.max_queued, 1));
  const std::size_t oldest_waiting = reply_ != nullptr ? 1 : 0;
  bool dropped = false;
  while (queue_.size() > most && queue_.size() > oldest_waiting) {
    queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(oldest_waiting));
    ++dropped_;
    ++unsaid_;
    dropped = true;
  }
  if (dropped && !told_full_) {
    told_full_ = true;
    emit note(Named() + ": queue full (max_queued " + QString::number(config_.max_queued) +
              "), the oldest events are dropped and counted");
  }
}

void WebhookNotifier::SendHead() {
  if (reply_ != nullptr || queue_.empty()) return;
  nlohmann::ordered_json body = queue_.front();
  said_by_reply_ = unsaid_;
  if (unsaid_ > 0) body["dropped"] = unsaid_;
  QNetworkRequest request(url_);
  request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
  if (!authorization_.isEmpty()) request.setRawHeader("Authorization", authorization_);
  // A redirect would carry the token elsewhere, and turn the POST into a GET.
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  if (!ca_.isEmpty()) {
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(ca_);
    request.setSslConfiguration(tls);
  }
  timed_out_ = false;
  reply_ = manager_.post(request, QByteArray::fromStdString(body.dump()));
  connect(reply_, &QNetworkReply::finished, this, &WebhookNotifier::OnFinished);
  deadline_.start(config_.timeout_ms);
}

void WebhookNotifier::Abandon() {
  deadline_.stop();
  if (reply_ == nullptr) return;
  QNetworkReply* reply = std::exchange(reply_, nullptr);
  reply->disconnect(this);
  reply->abort();
  reply->deleteLater();
}

void WebhookNotifier::OnFinished() {
  QNetworkReply* reply = std::exchange(reply_, nullptr);
  if (reply == nullptr) return;
  reply->deleteLater();
  deadline_.stop();
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
  if (status >= 200 && status < 300) return Delivered();
  if (status != 0 && !WorthRetrying(status)) return Refused(status, reason);
  if (status != 0) return Failed("answers " + QString::number(status) + " " + reason);
  if (timed_out_) return Failed("no answer within " + QString::number(config_.timeout_ms) + " ms");
  // The log shows no more of the URL than its origin.
  Failed(reply->errorString().replace(url_.toString(),
                                      QString::fromStdString(WebhookOrigin(config_.webhook_url))));
}

void WebhookNotifier::Delivered() {
  queue_.pop_front();
  ++sent_;
  unsaid_ -= said_by_reply_;
  next_retry_ms_ = retry_.first_ms;
  told_refused_ = false;
  told_full_ = false;
  if (troubled_) {
    troubled_ = false;
    trouble_summary_.stop();
    emit note(Named() + " back: an event delivered after " + QString::number(attempts_) + " failed attempts");
  }
  SendHead();
}

void WebhookNotifier::Refused(int status, const QString& reason) {
  // Sending it again would get the same answer.
  queue_.pop_front();
  ++refused_;
  ++unsaid_;
  if (!told_refused_) {
    told_refused_ = true;
    QString hint;
    if (status == 401 || status == 403) hint = " (check token_file)";
    if (status >= 300 && status < 400) hint = " (redirects are not followed: give webhook_url its new place)";
    emit note(Named() + " refuses events: " + QString::number(status) + " " + reason + hint +
              "; they are dropped and counted");
  }
  SendHead();
}

void WebhookNotifier::Failed(const QString& why) {
  trouble_ = why;
  if (!troubled_) {
    troubled_ = true;
    attempts_ = 0;
    trouble_summary_.start();
    emit note(Named() + ": " + why + "; events wait and are sent again");
  }
  ++attempts_;
  retry_timer_.start(next_retry_ms_);
  next_retry_ms_ = std::min(next_retry_ms_ * 2, retry_.longest_ms);
}

}  // namespace kelvo_gateway
