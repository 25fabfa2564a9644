// The platform's network library, as far as start-up uses it.
#pragma once

#include <cstdint>

namespace fw {

class NetworkLibrary {
 public:
  virtual ~NetworkLibrary() = default;
  // Asks for `requested` (major in the low byte); true with the version
  // granted, or false when the library cannot start.
  virtual bool Startup(std::uint16_t requested, std::uint16_t& granted);
  virtual void Cleanup() {}
  virtual void SetLastError(int error) { last_error_ = error; }
  [[nodiscard]] int lastError() const noexcept { return last_error_; }

 private:
  int last_error_ = 0;
};
// Replaces the network library (tests make it fail); null restores the
// default, which grants what is asked for.
void SetNetworkLibrary(NetworkLibrary* library) noexcept;

inline constexpr int kNetworkVersionNotSupported = 10092;
// Starts the network library at version 1.1; false when it fails or grants
// another version (then released again, with the last error set to 10092).
[[nodiscard]] bool InitSockets();

}  // namespace fw
