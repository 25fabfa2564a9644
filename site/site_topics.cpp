#include "site/site_topics.h"

#include <algorithm>

#include "codec/requests.h"

namespace kelvo_site {
namespace {

std::vector<std::string_view> Levels(std::string_view rest) {
  std::vector<std::string_view> levels;
  for (std::size_t start = 0;;) {
    const std::size_t slash = rest.find('/', start);
    levels.push_back(
        rest.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
    if (slash == std::string_view::npos) return levels;
    start = slash + 1;
  }
}

std::optional<int> Address(std::string_view text) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (!codec::IsUnitAddress(value)) return std::nullopt;
  return value;
}

std::optional<SiteTopic> UnderPrefix(const std::string& prefix, std::string_view rest) {
  const std::vector<std::string_view> l = Levels(rest);
  if (std::any_of(l.begin(), l.end(), [](std::string_view level) { return level.empty(); }))
    return std::nullopt;
  SiteTopic t{TopicKind::Status, prefix, {}, 0};
  if (l.size() == 1) {
    if (l[0] == "bank") return t.kind = TopicKind::SiteBank, t;
    if (l[0] == "events") return t.kind = TopicKind::Events, t;
    return std::nullopt;
  }
  if (l.size() == 2) {
    if (l[0] == "gateway" && l[1] == "availability") return t.kind = TopicKind::GatewayAvailability, t;
    t.bus = std::string(l[0]);
    if (l[1] == "alarms") return t.kind = TopicKind::BusAlarms, t;
    if (l[1] == "bank") return t.kind = TopicKind::BusBank, t;
    return std::nullopt;
  }
  if (l.size() != 3) return std::nullopt;
  const std::optional<int> address = Address(l[1]);
  if (!address) return std::nullopt;
  t.bus = std::string(l[0]);
  t.address = *address;
  if (l[2] == "status") return t.kind = TopicKind::Status, t;
  if (l[2] == "availability") return t.kind = TopicKind::Availability, t;
  if (l[2] == "alarms") return t.kind = TopicKind::UnitAlarms, t;
  return std::nullopt;
}

}  // namespace

std::vector<std::string> TopicFilters(const std::string& prefix) {
  return {prefix + "/+/+/status", prefix + "/+/+/availability",
          prefix + "/+/+/alarms", prefix + "/+/alarms",
          prefix + "/+/bank",     prefix + "/bank",
          prefix + "/events",     prefix + "/gateway/availability"};
}

std::optional<SiteTopic> ParseSiteTopic(const std::vector<std::string>& prefixes, std::string_view topic) {
  std::vector<const std::string*> longest_first;
  longest_first.reserve(prefixes.size());
  for (const std::string& p : prefixes) longest_first.push_back(&p);
  std::stable_sort(longest_first.begin(), longest_first.end(),
                   [](const std::string* a, const std::string* b) { return a->size() > b->size(); });
  for (const std::string* prefix : longest_first) {
    if (topic.size() <= prefix->size() + 1 || !topic.starts_with(*prefix) || topic[prefix->size()] != '/')
      continue;
    if (std::optional<SiteTopic> t = UnderPrefix(*prefix, topic.substr(prefix->size() + 1))) return t;
  }
  return std::nullopt;
}

}  // namespace kelvo_site
