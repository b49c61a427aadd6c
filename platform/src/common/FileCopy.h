#pragma once
// The backends' part of the replacing copy (common/FileCopy.cpp).

#include <string>

#include "kdx/platform/Files.h"

namespace kdx::platform {

// Gives the copy at `target` what the system's copy would carry over from `source` besides the
// content and the read-only state: Windows the archive, hidden, system and not-indexed
// attributes; nothing on POSIX, where a copy's mode is a new file's.
void CopyAttributesWithoutReadOnly(const OpenedFile& source, const std::string& target);

}  // namespace kdx::platform
