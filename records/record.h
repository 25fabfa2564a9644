// One valid answer, as polling, the window's recording and the gateway keep it.
#pragma once

#include <chrono>
#include <string>

namespace kelvo_records {

struct Record {
  std::chrono::system_clock::time_point time;  // when the answer arrived
  int address = 0;                             // 0-255
  std::string frame;                           // the answer "<...>"
  double latency_ms = 0;                       // from the request's write to the answer
};

}  // namespace kelvo_records
