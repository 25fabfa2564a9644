#include "gateway/notify_config.h"

#include <QUrl>
#include <algorithm>

#include "config/config_files.h"
#include "config/table_reader.h"

namespace kelvo_gateway {

using kelvo_config::TableReader;

std::string WebhookOrigin(const std::string& url) {
  const QUrl parsed(QString::fromStdString(url));
  return parsed.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
      .toString()
      .toStdString();
}

NotifyConfig ReadNotify(const TableReader& t) {
  NotifyConfig n;
  t.Require("webhook_url");
  n.webhook_url = t.String("webhook_url", "");
  const QUrl url(QString::fromStdString(n.webhook_url), QUrl::StrictMode);
  const bool tls = url.scheme() == "https";
  if (!url.isValid() || (url.scheme() != "http" && !tls) || url.host().isEmpty() || url.port() == 0)
    t.FailKey("webhook_url", "must be http://HOST[:PORT]/PATH or https://HOST[:PORT]/PATH");
  if (!url.userInfo().isEmpty())
    t.FailKey("webhook_url", "holds a user or password: give the receiver's token in token_file");

  n.token_file = t.String("token_file", "");
  if (t.Has("token_file")) {
    kelvo_config::SecretFile file =
        kelvo_config::ReadSecretFile(n.token_file, "token", "the gateway's user or group");
    if (!file.fault.empty()) t.FailKey("token_file", file.fault);
    // It goes into a header line as it is.
    if (!std::all_of(file.secret.begin(), file.secret.end(), [](char c) { return c > ' ' && c < 0x7F; }))
      t.FailKey("token_file",
                n.token_file + ": the token holds a space, a control character or one that is not ASCII");
    n.token = std::move(file.secret);
  }
  n.ca_file = t.String("ca_file", "");
  if (t.Has("ca_file")) {
    if (!tls) t.FailKey("ca_file", "is for https:// only; the url says http://");
    if (const std::string why = kelvo_config::NotAReadableFile(n.ca_file); !why.empty())
      t.FailKey("ca_file", n.ca_file + " " + why);
    // Read as text: a TLS library is not loaded for --check.
    if (kelvo_config::ReadTextFile(n.ca_file).text.find("-----BEGIN CERTIFICATE-----") == std::string::npos)
      t.FailKey("ca_file", n.ca_file + " holds no PEM certificate");
  }
  n.timeout_ms = t.Integer("timeout_ms", n.timeout_ms, 100, 600'000);
  n.max_queued = t.Integer("max_queued", n.max_queued, 1, 1'000'000);
  return n;
}

}  // namespace kelvo_gateway
