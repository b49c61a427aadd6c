#pragma once
// Shortening a path for a label of limited width.

#include <functional>
#include <string>

#include "kdx/platform/Files.h"

namespace kdx::picker {

// Width of a text in pixels, measured with the label's font.
using TextWidthFn = std::function<int(const std::string& text)>;

// Shortens `path` until `measure` says it fits into `limit` pixels: whole directories are cut
// from the left and "...\" (".../" with separator '/') marks the cut, then the drive goes,
// and finally only the bare last name is left, which is returned even when it does not fit.
// "C:\Alpha\Beta\Gamma" gives, until one fits: "C:\Alpha\Beta\Gamma", "C:\...\Beta\Gamma",
// "C:\...\Gamma", "...\Gamma", "Gamma".
std::string FitPathToWidth(const std::string& path, int limit, const TextWidthFn& measure,
                           char separator = platform::kPathDelim);

}  // namespace kdx::picker
