// The replacing copy, the same on every system: the opened source streamed through
// FileReplacer.
#include "common/FileCopy.h"

namespace kdx::platform {

void CopyFileReplacing(OpenedFile& source, const std::string& target) {
  source.Rewind();
  {
    FileReplacer out(target, false, ReplacedPermissions::kNewFile);
    char buffer[64 * 1024];
    while (const std::size_t n = source.Read(buffer, sizeof buffer)) out.Write(buffer, n);
    out.Commit();
  }
  CopyAttributesWithoutReadOnly(source, target);
}

void CopyFileReplacing(const std::string& source, const std::string& target) {
  OpenedFile in(source);
  CopyFileReplacing(in, target);
}

}  // namespace kdx::platform
