#include "framework/network_library.h"

namespace fw {
namespace {

NetworkLibrary* g_network = nullptr;

NetworkLibrary& Network() {
  static NetworkLibrary platform;
  return g_network ? *g_network : platform;
}

}  // namespace

bool NetworkLibrary::Startup(std::uint16_t requested, std::uint16_t& granted) {
  // Nothing to start on this platform: every version asked for is there.
  granted = requested;
  return true;
}

void SetNetworkLibrary(NetworkLibrary* library) noexcept {
  g_network = library;
}

bool InitSockets() {
  constexpr std::uint16_t kVersion11 = 0x0101;
  NetworkLibrary& net = Network();
  std::uint16_t granted = 0;
  if (!net.Startup(kVersion11, granted)) return false;
  if (granted != kVersion11) {
    net.Cleanup();
    net.SetLastError(kNetworkVersionNotSupported);
    return false;
  }
  return true;
}

}  // namespace fw
