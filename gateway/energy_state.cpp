#include "gateway/energy_state.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "config/config_files.h"

namespace kelvo_gateway {
namespace {

std::string Errno(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string StateText(const EnergyTotalsByUnit& totals) {
  nlohmann::ordered_json units = nlohmann::ordered_json::array();
  for (const auto& [key, t] : totals) {
    units.push_back({{"bus", key.bus},
                     {"address", key.address},
                     {"energy_charged", t.charged_wh},
                     {"energy_discharged", t.discharged_wh}});
  }
  return nlohmann::ordered_json{{"units", std::move(units)}}.dump(1) + "\n";
}

bool Counter(const nlohmann::json& unit, const char* key, double* out) {
  const auto found = unit.find(key);
  if (found == unit.end() || !found->is_number()) return false;
  *out = found->get<double>();
  return *out >= 0 && std::isfinite(*out);
}

}  // namespace

std::string EnergyStatePath(const std::string& dir) {
  return dir + "/energy.json";
}

EnergyStateRead ReadEnergyState(const std::string& dir) {
  const std::string path = EnergyStatePath(dir);
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    return {{}, path + " does not exist yet: energy counters start from 0"};
  }
  const kelvo_config::TextFile file = kelvo_config::ReadTextFile(path);
  if (!file.fault.empty()) return {{}, path + " " + file.fault + ": energy counters start from 0"};
  const nlohmann::json state = nlohmann::json::parse(file.text, nullptr, false);
  const auto units = state.is_object() ? state.find("units") : state.end();
  if (units == state.end() || !units->is_array()) {
    std::filesystem::copy_file(path, path + ".corrupt", std::filesystem::copy_options::overwrite_existing,
                               error);
    return {{},
            path + " is not an energy counters file (kept as " + path +
                ".corrupt): energy counters start from 0"};
  }
  EnergyStateRead read;
  std::size_t bad = 0;
  for (const nlohmann::json& unit : *units) {
    EnergyTotals totals;
    const auto bus = unit.is_object() ? unit.find("bus") : unit.end();
    const auto address = unit.is_object() ? unit.find("address") : unit.end();
    if (bus == unit.end() || !bus->is_string() || address == unit.end() || !address->is_number_integer() ||
        !Counter(unit, "energy_charged", &totals.charged_wh) ||
        !Counter(unit, "energy_discharged", &totals.discharged_wh)) {
      ++bad;
      continue;
    }
    read.totals[{bus->get<std::string>(), address->get<int>()}] = totals;
  }
  if (bad > 0) {
    read.problem =
        path + ": " + std::to_string(bad) + " unreadable entries: those units' counters start from 0";
  }
  return read;
}

std::string WriteEnergyState(const std::string& dir, const EnergyTotalsByUnit& totals) {
  const std::string path = EnergyStatePath(dir);
  const std::string temporary = path + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
  if (fd < 0) return Errno("cannot write " + temporary);
  const bool written = WriteAll(fd, StateText(totals)) && ::fsync(fd) == 0;
  std::string why = written ? std::string() : Errno("cannot write " + temporary);
  ::close(fd);
  if (!written) {
    ::unlink(temporary.c_str());
    return why;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) return Errno("cannot rename " + temporary);
  // The rename itself lasts only once the directory is synced.
  if (const int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
  return {};
}

EnergyStateWriter::EnergyStateWriter() : thread_([this] { Run(); }) {}

EnergyStateWriter::~EnergyStateWriter() {
  {
    const std::lock_guard lock(mutex_);
    ending_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void EnergyStateWriter::Offer(std::string dir, EnergyTotalsByUnit totals) {
  {
    const std::lock_guard lock(mutex_);
    offered_.emplace(std::move(dir), std::move(totals));
  }
  wake_.notify_one();
}

std::optional<std::string> EnergyStateWriter::TakeNewFault() {
  const std::lock_guard lock(mutex_);
  if (fault_told_) return std::nullopt;
  fault_told_ = true;
  return fault_;
}

void EnergyStateWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return ending_ || offered_; });
    if (!offered_) return;  // ending, nothing left to write
    const auto [dir, totals] = std::move(*offered_);
    offered_.reset();
    lock.unlock();
    std::string fault = WriteEnergyState(dir, totals);
    lock.lock();
    if (fault != fault_) {
      fault_ = std::move(fault);
      fault_told_ = false;
    }
  }
}

}  // namespace kelvo_gateway
