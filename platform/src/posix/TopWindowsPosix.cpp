// Top-level windows on POSIX: listed by the provider the toolkit layer installs.

#include <mutex>

#include "kdx/platform/TopWindows.h"

namespace kdx::platform {

namespace {
std::mutex& ProviderMutex() {
  static std::mutex mutex;
  return mutex;
}
TopWindowProvider& Provider() {
  static TopWindowProvider provider;
  return provider;
}
}  // namespace

std::vector<TopWindowInfo> ListTopWindows() {
  TopWindowProvider provider;
  {
    std::lock_guard<std::mutex> lock(ProviderMutex());
    provider = Provider();
  }
  return provider ? provider() : std::vector<TopWindowInfo>{};
}

WindowHandle DesktopWindow() {
  return 0;
}

void SetTopWindowProvider(TopWindowProvider provider) {
  std::lock_guard<std::mutex> lock(ProviderMutex());
  Provider() = std::move(provider);
}

void SetNativeCaption(WindowHandle, const std::string&) {}

}  // namespace kdx::platform
