// Fuzz target: one input is what the hand-off helper reads from its pipe (or the program reads
// back). Beyond crashes, it checks that whatever decodes encodes again to the very same bytes
// (one message has one spelling, so nothing can be smuggled past the length checks), and that
// what is refused carries a reason.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kdx/mail/HandOff.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string why;
  if (const auto request = kdx::mail::DecodeHandOffRequest(bytes, &why)) {
    Check(kdx::mail::EncodeHandOffRequest(*request) == bytes);
    Check(kdx::mail::HandOffMessageSize(bytes) == size);
  } else {
    Check(!why.empty());
  }
  why.clear();
  if (const auto reply = kdx::mail::DecodeHandOffReply(bytes, &why)) {
    Check(kdx::mail::EncodeHandOffReply(*reply) == bytes);
  } else {
    Check(!why.empty());
  }
  return 0;
}
