#include "site/store_reader.h"

#include <chrono>
#include <exception>

namespace kelvo_site {
namespace {

constexpr auto kReopenAfter = std::chrono::seconds(3);

}  // namespace

StoreReader::StoreReader(StoreOpener open) : open_(std::move(open)) {
  thread_ = std::thread([this] { Run(); });
}

StoreReader::~StoreReader() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    jobs_.clear();
  }
  wake_.notify_one();
  thread_.join();
}

void StoreReader::Post(Job job) {
  {
    std::lock_guard lock(mutex_);
    if (jobs_.size() < kMaxJobs) {
      jobs_.push_back(std::move(job));
      wake_.notify_one();
      return;
    }
  }
  job(nullptr, "busy: too many queries waiting");
}

void StoreReader::Run() {
  auto last_try = std::chrono::steady_clock::now() - kReopenAfter;
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
      if (stop_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    if (!store_ && std::chrono::steady_clock::now() - last_try >= kReopenAfter) {
      last_try = std::chrono::steady_clock::now();
      try {
        store_ = open_();
      } catch (const StoreError& e) {
        why_ = e.message;
      } catch (const std::exception& e) {
        why_ = e.what();
      }
    }
    try {
      job(store_.get(), why_);
    } catch (const StoreError& e) {
      // The job has answered nothing: the store broke under it; it will be opened again.
      why_ = e.message;
      store_.reset();
      job(nullptr, why_);
    } catch (const std::exception& e) {
      why_ = e.what();
      store_.reset();
      job(nullptr, why_);
    }
  }
}

}  // namespace kelvo_site
