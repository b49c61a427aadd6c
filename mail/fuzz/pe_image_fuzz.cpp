// Fuzz target: one input is the bytes of a client library file as discovery reads it when the
// library is of the other bitness. The PE reader runs with its consumer attached, the all-twelve
// rule. Beyond crashes and reads outside the buffer (ASan), it checks that the rule's answer is
// what the names the reader found say, that every name is a text of the input without a zero
// byte, and
// that reading the same bytes twice gives the same image.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "kdx/mail/MapiClient.h"
#include "kdx/platform/PeImage.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const auto image = kdx::platform::ParsePeImage(bytes);
  if (!image) return 0;
  const bool usable = kdx::mail::IsOtherBitnessClientImage(*image);
  bool all = image->machine == kdx::platform::OtherBitnessPeMachine();
  for (const char* name : kdx::mail::kMapiEntryPointNames) {
    all = all && std::find(image->exportNames.begin(), image->exportNames.end(), name) !=
                     image->exportNames.end();
  }
  Check(usable == all);
  Check(image->pe32Plus == (image->machine != kdx::platform::kPeMachineI386));
  for (const std::string& name : image->exportNames) {
    Check(name.find('\0') == std::string::npos);
    Check(name.size() < size);  // read from the input itself, with its terminating zero
  }
  const auto again = kdx::platform::ParsePeImage(bytes);
  Check(again && again->exportNames == image->exportNames && again->machine == image->machine);
  return 0;
}
