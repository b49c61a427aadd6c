#pragma once
// Keeps a test provider library loaded for the whole test and gives access to its record of the
// MAPISendMail calls (cleared at the start). POSIX: the tests that load it by path run there.

#include <dlfcn.h>

#include <stdexcept>

#include "RecordedSend.h"

namespace kdx::mail::test {

class ProviderProbe {
 public:
  explicit ProviderProbe(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) throw std::runtime_error(dlerror());
    auto fn = reinterpret_cast<KdxTestRecorderFn>(dlsym(handle_, "KdxTestRecorder"));
    recorder_ = fn();
    *recorder_ = RecordedSend{};
  }
  ~ProviderProbe() { dlclose(handle_); }
  ProviderProbe(const ProviderProbe&) = delete;
  ProviderProbe& operator=(const ProviderProbe&) = delete;
  RecordedSend& operator*() { return *recorder_; }
  RecordedSend* operator->() { return recorder_; }

 private:
  void* handle_;
  RecordedSend* recorder_ = nullptr;
};

}  // namespace kdx::mail::test
