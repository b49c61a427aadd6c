#pragma once
// The base of every Scoped...ForTesting guard: the constructor puts a value into a slot, the
// destructor puts back what was there before. Guards therefore nest, and a test cannot leave
// its replacement behind for the next one. A guard is declared in the header of the code whose
// behaviour it replaces; the slot stays private to that code's source file.

#include <utility>

namespace kdx::platform {

template <typename T>
class ScopedReplacement {
 public:
  ScopedReplacement(T& slot, T value)
      : slot_(slot), previous_(std::exchange(slot, std::move(value))) {}
  ~ScopedReplacement() { slot_ = std::move(previous_); }
  ScopedReplacement(const ScopedReplacement&) = delete;
  ScopedReplacement& operator=(const ScopedReplacement&) = delete;

 private:
  T& slot_;
  T previous_;
};

}  // namespace kdx::platform
