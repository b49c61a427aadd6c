// Waiting for xdg-email while it hands the message to the desktop's mail client.

#include "Provider.h"

namespace kdx::provider {

int RunComposeHandOff(const std::vector<std::string>& argv) {
  return RunProgram(argv);
}

}  // namespace kdx::provider
