// The HTTP routes of SiteService: what each path answers, and who may ask.
#include <QTcpSocket>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>

#include "mqtt/topic_rules.h"
#include "profile/profile_values.h"
#include "profile/value_meaning.h"
#include "site/api_queries.h"
#include "site/iso_time.h"
#include "site/metrics_text.h"
#include "site/page_files.h"
#include "site/site_service.h"

namespace kelvo_site {
namespace {

using Json = nlohmann::json;
using ReplyPtr = std::shared_ptr<HttpReply>;
constexpr QByteArrayView kJson = "application/json";
// Events one answer holds at most.
constexpr std::size_t kMostEvents = 10000;
// Export: rows read per turn of the reader thread, and how much may wait unsent.
constexpr int kExportRows = 2000;
constexpr qint64 kExportLowWater = 256 * 1024;

QByteArray ErrorJson(const std::string& error) {
  return QByteArray::fromStdString("{\"error\":" + JsonString(error) + "}");
}

void SendJson(const ReplyPtr& reply, int status, const std::string& body) {
  reply->Send(status, kJson.toByteArray(), QByteArray::fromStdString(body));
}

void SendError(const ReplyPtr& reply, int status, const std::string& error) {
  reply->Send(status, kJson.toByteArray(), ErrorJson(error));
}

std::string Number(double value) {
  return std::isfinite(value) ? ShortestNumber(value) : "null";
}

// A mean to two decimals past the values' own: enough to tell means apart,
// without the noise of a sum in binary (52.769999999999996 for 52.77s).
double MeanOf(double mean, int decimals) {
  const double scale = std::pow(10.0, decimals + 2);
  return std::round(mean * scale) / scale;
}

std::string ColumnName(const Slot& slot, const std::string& unit) {
  std::string name = slot.key;
  if (slot.element > 0) name += "[" + std::to_string(slot.element) + "]";
  if (!unit.empty()) name += "[" + unit + "]";
  return name;
}

// A CSV cell: quoted when it holds a comma, a quote or a line break.
std::string Cell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// One export, read in turns so that a long range never sits in memory: each
// turn reads up to kExportRows answers on the reader thread and writes them
// once the client has taken the previous turn's.
struct ExportRun {
  ExportRequest request;
  std::shared_ptr<const kelvo_profile::Profile> profile;
  std::vector<Slot> columns;
  bool header_sent = false;
  std::int64_t next_from_ms = 0;
};

}  // namespace

void SiteService::OnRequest(const HttpRequest& request, const ReplyPtr& reply) {
  const QByteArray& path = request.path;
  const bool api = path.startsWith("/api/") || path == "/metrics";
  if (api && !config_.http.token.empty()) {
    const QByteArray authorization = request.Header("authorization");
    const bool bearer = authorization.startsWith("Bearer ");
    if (!bearer || !TokenOk(authorization.mid(7).trimmed().toStdString())) {
      reply->Send(401, kJson.toByteArray(), ErrorJson("this needs Authorization: Bearer TOKEN"),
                  {{"WWW-Authenticate", "Bearer"}});
      return;
    }
  }
  const bool get = request.method == "GET" || request.method == "HEAD";
  if (path == "/api/ack") {
    if (request.method != "POST")
      return reply->Send(405, kJson.toByteArray(), ErrorJson("POST only"), {{"Allow", "POST"}});
    return Ack(request, reply);
  }
  if ((api || path == "/healthz") && !get)
    return reply->Send(405, kJson.toByteArray(), ErrorJson("GET only"), {{"Allow", "GET, HEAD"}});
  if (path == "/api/units") return Units(reply);
  if (path == "/api/banks") return Banks(reply);
  if (path == "/api/profile") return ProfileKeys(reply);
  if (path == "/api/history") return History(request, reply);
  if (path == "/api/events") return Events(request, reply);
  if (path == "/api/export.csv") return Export(request, reply);
  if (path == "/api/live") return SendError(reply, 426, "a WebSocket: ask with Upgrade: websocket");
  if (path == "/metrics") return Metrics(reply);
  if (path == "/healthz") return Health(reply);
  if (api) return SendError(reply, 404, "no such API path");
  if (!get) return reply->Send(405, kJson.toByteArray(), ErrorJson("GET only"), {{"Allow", "GET, HEAD"}});
  PageFile(request, reply);
}

void SiteService::Units(const ReplyPtr& reply) {
  SendJson(reply, 200, UnitsJson(state_));
}

void SiteService::Banks(const ReplyPtr& reply) {
  SendJson(reply, 200, BanksJson(state_));
}

void SiteService::ProfileKeys(const ReplyPtr& reply) {
  const kelvo_profile::Profile& profile = *config_.profile;
  Json keys = Json::object();
  const auto add = [&keys](const std::string& key, const std::string& unit, int decimals, bool array,
                           const std::string& en, const std::string& zh) {
    keys[key] = {{"unit", unit},
                 {"decimals", decimals},
                 {"array", array},
                 {"title", {{"en", en.empty() ? key : en}, {"zh", zh.empty() ? key : zh}}}};
  };
  std::vector<std::string> all;
  for (const kelvo_profile::ProfileField& field : profile.fields()) all.push_back(field.key);
  for (std::string_view derived : kelvo_profile::kDerivedKeys) all.emplace_back(derived);
  all.emplace_back("energy_charged");
  all.emplace_back("energy_discharged");
  for (const std::string& key : all) {
    if (const std::optional<kelvo_profile::ValueMeaning> m = KeyMeaning(profile, key))
      add(key, m->unit, m->decimals, m->array, m->title_en, m->title_zh);
  }
  SendJson(reply, 200, Json{{"keys", keys}}.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void SiteService::History(const HttpRequest& request, const ReplyPtr& reply) {
  Parsed<HistoryRequest> parsed = ParseHistoryRequest(request.query, *config_.profile,
                                                      std::chrono::duration_cast<std::chrono::milliseconds>(
                                                          std::chrono::system_clock::now().time_since_epoch())
                                                          .count(),
                                                      config_.store.retention);
  if (const std::string* why = std::get_if<std::string>(&parsed)) return SendError(reply, 400, *why);
  const HistoryRequest r = std::get<HistoryRequest>(std::move(parsed));
  reader_->Post([this, r, reply](Store* store, const std::string& why) {
    std::string body;
    int status = 200;
    if (store == nullptr) {
      status = 503;
      body = ErrorJson("the store: " + why).toStdString();
    } else {
      const std::vector<Point> points = store->History(r.query);
      body = "{\"key\":" + JsonString(r.query.slot.key) + ",\"unit\":" + JsonString(r.unit) +
             ",\"step\":" + std::to_string(r.query.step_s) + ",\"points\":[";
      for (std::size_t i = 0; i < points.size(); ++i) {
        const Point& p = points[i];
        if (i > 0) body += ',';
        body += "[" + std::to_string(p.time_ms) + "," + Number(MeanOf(p.mean, r.decimals)) + "," +
                Number(p.min) + "," + Number(p.max) + "]";
      }
      body += "]}";
    }
    QMetaObject::invokeMethod(
        this, [reply, status, body = std::move(body)] { SendJson(reply, status, body); },
        Qt::QueuedConnection);
  });
}

void SiteService::Events(const HttpRequest& request, const ReplyPtr& reply) {
  Parsed<EventsRequest> parsed = ParseEventsRequest(request.query);
  if (const std::string* why = std::get_if<std::string>(&parsed)) return SendError(reply, 400, *why);
  const EventsRequest r = std::get<EventsRequest>(std::move(parsed));
  reader_->Post([this, r, reply](Store* store, const std::string& why) {
    std::string body;
    int status = 200;
    if (store == nullptr) {
      status = 503;
      body = ErrorJson("the store: " + why).toStdString();
    } else {
      body = "[";
      std::size_t count = 0;
      store->Events(r.range.from_ms, r.range.to_ms, r.prefix, r.bus, r.address, [&](const Event& e) {
        if (count++ > 0) body += ',';
        body += e.json;
        return count < kMostEvents;
      });
      body += "]";
    }
    QMetaObject::invokeMethod(
        this, [reply, status, body = std::move(body)] { SendJson(reply, status, body); },
        Qt::QueuedConnection);
  });
}

void SiteService::Export(const HttpRequest& request, const ReplyPtr& reply) {
  Parsed<ExportRequest> parsed = ParseExportRequest(request.query);
  if (const std::string* why = std::get_if<std::string>(&parsed)) return SendError(reply, 400, *why);
  auto run = std::make_shared<ExportRun>();
  run->request = std::get<ExportRequest>(std::move(parsed));
  run->profile = config_.profile;
  run->next_from_ms = run->request.range.from_ms;
  if (const UnitEntry* entry = state_.FindUnit(run->request.unit)) run->columns = *entry->slots;
  // One turn: read on the reader thread, write on the loop, then the next turn once the client drained.
  auto turn = std::make_shared<std::function<void()>>();
  *turn = [this, run, reply, weak = std::weak_ptr<std::function<void()>>(turn)] {
    reader_->Post([this, run, reply, self = weak.lock()](Store* store, const std::string& why) {
      std::string chunk;
      bool done = false;
      bool failed = store == nullptr;
      if (store != nullptr) {
        int rows = 0;
        std::int64_t last = run->next_from_ms - 1;
        store->Answers(run->request.unit, run->next_from_ms, run->request.range.to_ms, [&](const Answer& a) {
          if (run->columns.empty() && a.slots) run->columns = *a.slots;
          if (!run->header_sent) {
            chunk += "time";
            for (const Slot& slot : run->columns) {
              const std::optional<std::string> unit = KeyUnit(*run->profile, slot.key);
              chunk += "," + Cell(ColumnName(slot, unit.value_or("")));
            }
            chunk += "\r\n";
            run->header_sent = true;
          }
          chunk += FormatIsoTime(a.time_ms);
          for (const Slot& column : run->columns) {
            chunk += ',';
            if (!a.slots) continue;
            // The same layout as a rule: then the column's place is the slot's.
            const std::size_t at = static_cast<std::size_t>(&column - run->columns.data());
            std::size_t found = at < a.slots->size() && (*a.slots)[at] == column ? at : a.slots->size();
            for (std::size_t i = 0; found == a.slots->size() && i < a.slots->size(); ++i) {
              if ((*a.slots)[i] == column) found = i;
            }
            if (found < a.numbers.size() && std::isfinite(a.numbers[found]))
              chunk += Number(a.numbers[found]);
          }
          chunk += "\r\n";
          last = a.time_ms;
          return ++rows < kExportRows;
        });
        done = rows < kExportRows;
        run->next_from_ms = last + 1;
        if (!run->header_sent && done) {
          chunk += "time";
          for (const Slot& slot : run->columns)
            chunk += "," + Cell(ColumnName(slot, KeyUnit(*run->profile, slot.key).value_or("")));
          chunk += "\r\n";
          run->header_sent = true;
        }
      }
      QMetaObject::invokeMethod(
          this,
          [reply, self, failed, done, why, chunk = QByteArray::fromStdString(chunk),
           started = run->header_sent] {
            if (failed) {
              if (!started) return SendError(reply, 503, "the store: " + why);
              return reply->Abort();
            }
            reply->Write(chunk);
            if (done) return reply->End();
            reply->OnDrained(kExportLowWater, [self] { (*self)(); });
          },
          Qt::QueuedConnection);
    });
  };
  reply->Begin(
      200, "text/csv; charset=utf-8",
      {{"Content-Disposition", "attachment; filename=\"" + QByteArray::fromStdString(run->request.unit.bus) +
                                   "-" + QByteArray::number(run->request.unit.address) + ".csv\""}});
  // The turns keep themselves alive through the reply's drain callback.
  reply->OnDrained(kExportLowWater, [turn] { (*turn)(); });
}

void SiteService::Ack(const HttpRequest& request, const ReplyPtr& reply) {
  const Json body = Json::parse(request.body.toStdString(), nullptr, false);
  if (!body.is_object())
    return SendError(reply, 400, "the body must be {\"prefix\", \"bus\", \"address\", \"name\"}");
  const auto text = [&body](const char* key) {
    return body.contains(key) && body[key].is_string() ? body[key].get<std::string>() : std::string();
  };
  const std::string prefix = text("prefix");
  const std::string bus = text("bus");
  const std::string name = text("name");
  if (prefix.empty() || bus.empty() || name.empty() || !body.contains("address") ||
      !body["address"].is_number_integer())
    return SendError(reply, 400, "the body must be {\"prefix\", \"bus\", \"address\", \"name\"}");
  const UnitId unit{prefix, bus, body["address"].get<int>()};
  if (state_.FindUnit(unit) == nullptr) return SendError(reply, 400, "no such unit has been seen");
  if (const std::string why = kelvo_mqtt::TextFault(name); !why.empty() || name.size() > 256)
    return SendError(reply, 400, "the alarm name " + (why.empty() ? std::string("is too long") : why));
  if (!client_ || !client_->isConnected())
    return SendError(reply, 503, "the broker is away: " + broker_state_);
  const std::string topic = prefix + "/" + bus + "/" + std::to_string(unit.address) + "/alarms/ack";
  QString why;
  switch (client_->Publish(topic, name, 1, false, nullptr, &why)) {
    case kelvo_mqtt::PublishOutcome::Taken: ++acks_; return SendJson(reply, 202, "{\"ok\":true}");
    case kelvo_mqtt::PublishOutcome::NotConnected: return SendError(reply, 503, "the broker is away");
    case kelvo_mqtt::PublishOutcome::Refused:
      return SendError(reply, 400, "not published: " + why.toStdString());
  }
}

void SiteService::Metrics(const ReplyPtr& reply) {
  const auto d = [](auto v) { return static_cast<double>(v); };
  const std::vector<OwnMetric> own = {
      {"kelvo_site_messages_total", "Messages received from the broker.", true, d(messages_)},
      {"kelvo_site_bad_messages_total", "Messages ignored because they did not read.", true,
       d(bad_messages_)},
      {"kelvo_site_answers_stored_total", "Answers written to the store.", true, d(writer_->written())},
      {"kelvo_site_dropped_total", "Answers and events dropped while the store was away too long.", true,
       d(writer_->dropped())},
      {"kelvo_site_store_failures_total", "Writes the store refused.", true, d(writer_->failures())},
      {"kelvo_site_store_backlog", "Answers waiting to be written.", false, d(writer_->backlog())},
      {"kelvo_site_store_open", "1 while the store is open.", false, store_open_ ? 1.0 : 0.0},
      {"kelvo_site_broker_subscribed", "1 while the broker has granted the subscriptions.", false,
       subscribed_ ? 1.0 : 0.0},
      {"kelvo_site_http_requests_total", "HTTP requests answered.", true, d(http_.requests())},
      {"kelvo_site_live_clients", "WebSocket clients connected.", false, d(live_.clients())},
      {"kelvo_site_live_closed_slow_total", "WebSocket clients closed for not keeping up.", true,
       d(live_.closedSlow())},
      {"kelvo_site_acks_total", "Acknowledgements published.", true, d(acks_)},
  };
  reply->Send(200, "text/plain; version=0.0.4; charset=utf-8",
              QByteArray::fromStdString(MetricsText(state_, gateways_, own)));
}

void SiteService::Health(const ReplyPtr& reply) {
  SendJson(reply, healthy() ? 200 : 503, HealthJson());
}

void SiteService::PageFile(const HttpRequest& request, const ReplyPtr& reply) {
  std::optional<kelvo_site::PageFile> file = ReadPageFile(page_dir_, request.path);
  if (!file) return reply->Send(404, "text/plain; charset=utf-8", "not found\n");
  reply->Send(200, file->content_type, file->body);
}

}  // namespace kelvo_site
