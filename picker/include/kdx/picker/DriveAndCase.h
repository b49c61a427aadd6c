#pragma once
// The drive of a path, and comparing and lower-casing file names, for the picker's lists. The
// path style itself (separator, drive letters) is platform's (kdx/platform/Path.h), and so is
// the upper-casing of a name (text::UpperFileName, kdx/platform/Text.h).
//
// Windows: the drive is "C:" or the network root "\\server\share"; its root is the drive plus
// "\". Linux has no drive letters: the drive of a path is the mount point of the volume that
// holds it, among the volumes the drive list offers (the longest one that is a prefix of the
// path), written without its trailing "/" ("" for the root file system, "/home",
// "/media/petr/USB"); its root is the mount point with the trailing "/".

#include <string>
#include <vector>

#include "kdx/platform/Path.h"

namespace kdx::picker {

// The drive of `path` (see above). `volumeRoots` are the roots of the offered volumes ("/",
// "/home/", ...); they are used only without drive letters.
std::string DriveOfPath(const std::string& path, const platform::PathStyle& style,
                        const std::vector<std::string>& volumeRoots);

// Two file names (UTF-8) are the same, ignoring letter case unless `caseSensitive`.
bool SameFileName(const std::string& a, const std::string& b, bool caseSensitive);

// Lower-cases cp1250 text (the inverse of the upper-casing of letters; other bytes unchanged).
std::string LowerCaseCp1250(const std::string& text);

// Lower-cases a UTF-8 name through cp1250 when cp1250 can spell it; otherwise the name is
// returned unchanged.
std::string LowerCaseName(const std::string& utf8);

}  // namespace kdx::picker
