#include "site/api_queries.h"

#include "profile/value_meaning.h"
#include "site/iso_time.h"
#include "site/store/history_step.h"

namespace kelvo_site {
namespace {

constexpr std::int64_t kLongestStepS = 366LL * 24 * 3600;

struct Fault {
  std::string why;
};

std::optional<std::string> Value(const QUrlQuery& q, const char* name) {
  if (!q.hasQueryItem(name)) return std::nullopt;
  return q.queryItemValue(name, QUrl::FullyDecoded).toStdString();
}

std::string Required(const QUrlQuery& q, const char* name) {
  std::optional<std::string> v = Value(q, name);
  if (!v || v->empty()) throw Fault{std::string("\"") + name + "\" is missing"};
  return std::move(*v);
}

std::optional<std::int64_t> Whole(const std::string& text, std::int64_t low, std::int64_t high) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

int Address(const std::string& text) {
  const std::optional<std::int64_t> a = Whole(text, 0, 255);
  if (!a) throw Fault{"\"address\" must be a whole number 0-255"};
  return static_cast<int>(*a);
}

UnitId Unit(const QUrlQuery& q) {
  return {Required(q, "prefix"), Required(q, "bus"), Address(Required(q, "address"))};
}

TimeRange Range(const QUrlQuery& q) {
  TimeRange r;
  for (auto [name, into] : {std::pair{"from", &r.from_ms}, std::pair{"to", &r.to_ms}}) {
    const std::optional<std::int64_t> t = ParseIsoTime(Required(q, name));
    if (!t) throw Fault{std::string("\"") + name + "\" is not an ISO 8601 time with an offset"};
    *into = *t;
  }
  if (r.from_ms > r.to_ms) throw Fault{"\"from\" is after \"to\""};
  return r;
}

template <typename T, typename Read>
Parsed<T> Checked(Read read) {
  try {
    return read();
  } catch (const Fault& f) {
    return f.why;
  }
}

}  // namespace

std::optional<kelvo_profile::ValueMeaning> KeyMeaning(const kelvo_profile::Profile& profile,
                                                      const std::string& key) {
  if (key == "energy_charged")
    return kelvo_profile::ValueMeaning{"Wh",  "energy",         "total_increasing", 3,
                                       false, "Energy charged", "充电电量"};
  if (key == "energy_discharged")
    return kelvo_profile::ValueMeaning{"Wh",      "energy", "total_increasing", 3, false, "Energy discharged",
                                       "放电电量"};
  return kelvo_profile::MeaningOf(profile, key);
}

std::optional<std::string> KeyUnit(const kelvo_profile::Profile& profile, const std::string& key) {
  std::optional<kelvo_profile::ValueMeaning> meaning = KeyMeaning(profile, key);
  if (!meaning) return std::nullopt;
  return std::move(meaning->unit);
}

Parsed<HistoryRequest> ParseHistoryRequest(const QUrlQuery& q, const kelvo_profile::Profile& profile,
                                           std::int64_t now_ms, const Retention& retention) {
  return Checked<HistoryRequest>([&] {
    HistoryRequest r;
    r.query.unit = Unit(q);
    r.query.slot.key = Required(q, "key");
    const std::optional<kelvo_profile::ValueMeaning> meaning = KeyMeaning(profile, r.query.slot.key);
    if (!meaning) throw Fault{"unknown key \"" + r.query.slot.key + "\""};
    r.unit = meaning->unit;
    r.decimals = meaning->decimals;
    const bool array = meaning->array;
    if (const std::optional<std::string> element = Value(q, "element")) {
      const std::optional<std::int64_t> e = Whole(*element, 1, 100000);
      if (!e) throw Fault{"\"element\" must be a whole number from 1"};
      if (!array) throw Fault{"\"" + r.query.slot.key + "\" is not an array: no element"};
      r.query.slot.element = static_cast<int>(*e);
    } else if (array) {
      throw Fault{"\"" + r.query.slot.key + "\" is an array: give an element (1 for the first)"};
    }
    const TimeRange range = Range(q);
    r.query.from_ms = range.from_ms;
    r.query.to_ms = range.to_ms;
    if (const std::optional<std::string> step = Value(q, "step")) {
      const std::optional<std::int64_t> s = Whole(*step, 0, kLongestStepS);
      if (!s) throw Fault{"\"step\" must be a whole number of seconds"};
      r.query.step_s = static_cast<int>(*s);
      if (std::optional<std::string> why = CheckStep(range.from_ms, range.to_ms, r.query.step_s))
        throw Fault{std::move(*why)};
    } else {
      r.query.step_s = ChooseStep(range.from_ms, range.to_ms, now_ms, retention);
    }
    return r;
  });
}

Parsed<EventsRequest> ParseEventsRequest(const QUrlQuery& q) {
  return Checked<EventsRequest>([&] {
    EventsRequest r;
    r.range = Range(q);
    r.prefix = Value(q, "prefix");
    r.bus = Value(q, "bus");
    if (const std::optional<std::string> a = Value(q, "address")) r.address = Address(*a);
    return r;
  });
}

Parsed<ExportRequest> ParseExportRequest(const QUrlQuery& q) {
  return Checked<ExportRequest>([&] {
    ExportRequest r;
    r.unit = Unit(q);
    r.range = Range(q);
    return r;
  });
}

}  // namespace kelvo_site
