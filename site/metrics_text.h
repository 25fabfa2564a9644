// /metrics: the latest values, availability and alarms of every unit, and the
// service's own counters, in Prometheus's text format.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "site/site_state.h"

namespace kelvo_site {

struct OwnMetric {
  std::string name;
  std::string help;
  bool counter = true;  // else a gauge
  double value = 0;
};

// The shortest text that reads back as the same double ("53", "3.301"); for
// a finite value.
[[nodiscard]] std::string ShortestNumber(double value);

// `text` as a label value: backslash, double quote and newline escaped.
[[nodiscard]] std::string LabelValue(std::string_view text);

// `gateways`: each prefix's gateway, online or not, as its availability says.
[[nodiscard]] std::string MetricsText(const SiteState& state, const std::map<std::string, bool>& gateways,
                                      const std::vector<OwnMetric>& own);

}  // namespace kelvo_site
