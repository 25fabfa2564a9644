// The thread that answers queries: it owns a Store of its own and runs the
// jobs handed to it in order; each job posts its result back to the event
// loop itself (QMetaObject::invokeMethod with a context object), so the loop
// never waits on the store.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "site/store_writer.h"

namespace kelvo_site {

class StoreReader {
 public:
  // A job gets the store, or null and the reason it is not open.
  using Job = std::function<void(Store* store, const std::string& why)>;
  // Queries waiting past this many are refused at once (null store, "busy").
  static constexpr std::size_t kMaxJobs = 256;

  explicit StoreReader(StoreOpener open);
  ~StoreReader();  // drops the jobs not begun, finishes the one running

  void Post(Job job);

 private:
  void Run();

  StoreOpener open_;
  std::unique_ptr<Store> store_;
  std::string why_ = "not open yet";
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace kelvo_site
