#include "site/store_writer.h"

#include <chrono>
#include <exception>

namespace kelvo_site {
namespace {

using Clock = std::chrono::steady_clock;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

template <typename T>
void Prepend(std::vector<T>& to, std::vector<T>&& older) {
  older.insert(older.end(), std::make_move_iterator(to.begin()), std::make_move_iterator(to.end()));
  to = std::move(older);
}

}  // namespace

StoreWriter::StoreWriter(StoreOpener open, StateReport state)
    : open_(std::move(open)), state_(std::move(state)) {
  thread_ = std::thread([this] { Run(); });
}

StoreWriter::~StoreWriter() {
  Stop();
}

bool StoreWriter::Room() {
  if (pending_.answers.size() + pending_.events.size() + pending_.availability.size() < kMaxBacklog)
    return true;
  ++dropped_;
  return false;
}

void StoreWriter::Add(Answer answer) {
  std::lock_guard lock(mutex_);
  if (!Room()) return;
  pending_.answers.push_back(std::move(answer));
  backlog_ = pending_.answers.size();
  if (pending_.answers.size() == kBatchAnswers) wake_.notify_one();
}

void StoreWriter::Add(Event event) {
  std::lock_guard lock(mutex_);
  if (Room()) pending_.events.push_back(std::move(event));
}

void StoreWriter::Add(AvailabilityChange change) {
  std::lock_guard lock(mutex_);
  if (Room()) pending_.availability.push_back(std::move(change));
}

void StoreWriter::Put(const UnitState& unit, bool values_only) {
  std::lock_guard lock(mutex_);
  PendingUnit& pending = units_[unit.unit];
  pending.state = unit;
  pending.values_only = pending.values_only && values_only;
}

void StoreWriter::Put(const BusState& bus) {
  std::lock_guard lock(mutex_);
  buses_.insert_or_assign({bus.prefix, bus.bus}, bus);
}

void StoreWriter::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stop_ && !thread_.joinable()) return;
    stop_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

Batch StoreWriter::TakeBatch(bool with_latest_values) {
  Batch batch = std::move(pending_);
  pending_ = Batch{};
  std::erase_if(units_, [&](auto& entry) {
    if (entry.second.values_only && !with_latest_values) return false;
    batch.units.push_back(std::move(entry.second.state));
    return true;
  });
  for (auto& [id, bus] : buses_) batch.buses.push_back(std::move(bus));
  buses_.clear();
  return batch;
}

void StoreWriter::GiveBack(Batch batch) {
  // Older first; state written since wins over the batch's.
  Prepend(pending_.answers, std::move(batch.answers));
  Prepend(pending_.events, std::move(batch.events));
  Prepend(pending_.availability, std::move(batch.availability));
  for (UnitState& unit : batch.units) {
    UnitId id = unit.unit;  // the state is moved from below
    units_.try_emplace(std::move(id), PendingUnit{std::move(unit), false});
  }
  for (BusState& bus : batch.buses) buses_.try_emplace({bus.prefix, bus.bus}, std::move(bus));
  while (pending_.answers.size() > kMaxBacklog) {
    const std::size_t over = pending_.answers.size() - kMaxBacklog;
    pending_.answers.erase(pending_.answers.begin(),
                           pending_.answers.begin() + static_cast<std::ptrdiff_t>(over));
    dropped_ += over;
  }
  backlog_ = pending_.answers.size();
}

bool StoreWriter::Write(Batch& batch) {
  if (batch.empty()) return true;
  try {
    store_->Write(batch);
    written_ += batch.answers.size();
    return true;
  } catch (const StoreError& e) {
    ++failures_;
    store_.reset();
    state_(false, e.message);
    return false;
  } catch (const std::exception& e) {
    ++failures_;
    store_.reset();
    state_(false, e.what());
    return false;
  }
}

void StoreWriter::Run() {
  Clock::time_point next_open = Clock::now();
  Clock::time_point next_prune = Clock::now() + std::chrono::milliseconds(kPruneMs);
  Clock::time_point next_latest = Clock::now();
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!store_ && !stop_ && Clock::now() >= next_open) {
      lock.unlock();
      try {
        store_ = open_();
        state_(true, "open");
      } catch (const StoreError& e) {
        state_(false, e.message);
        next_open = Clock::now() + std::chrono::milliseconds(kReopenMs);
      } catch (const std::exception& e) {
        state_(false, e.what());
        next_open = Clock::now() + std::chrono::milliseconds(kReopenMs);
      }
      lock.lock();
    }
    const Clock::time_point due = Clock::now() + std::chrono::milliseconds(kBatchMs);
    // While the store is away a full batch is no reason to wake: it waits for the next attempt.
    wake_.wait_until(lock, due,
                     [this] { return stop_ || (store_ && pending_.answers.size() >= kBatchAnswers); });
    const bool stopping = stop_;
    if (store_) {
      const bool latest_due = stopping || Clock::now() >= next_latest;
      if (latest_due) next_latest = Clock::now() + std::chrono::milliseconds(kLatestValuesMs);
      Batch batch = TakeBatch(latest_due);
      backlog_ = 0;
      lock.unlock();
      const bool ok = Write(batch);
      if (ok && Clock::now() >= next_prune) {
        next_prune = Clock::now() + std::chrono::milliseconds(kPruneMs);
        try {
          store_->Prune(NowMs());
        } catch (const StoreError& e) {
          state_(true, "pruning failed: " + e.message);
        }
      }
      lock.lock();
      if (!ok) {
        GiveBack(std::move(batch));
        next_open = Clock::now() + std::chrono::milliseconds(kReopenMs);
      }
    }
    if (stopping) break;
  }
}

}  // namespace kelvo_site
