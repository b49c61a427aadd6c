#include "kdx/picker/FileList.h"

#include <algorithm>
#include <set>

#include "kdx/picker/DriveAndCase.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Text.h"

namespace kdx::picker {

namespace {

bool Selected(const platform::DirEntry& e, const FileAttributes& a) {
  if (e.directory && !a.directory) return false;
  if (e.hidden && !a.hidden) return false;
  if (e.system && !a.system) return false;
  if (e.directory || a.normal) return true;
  return (a.readOnly && e.readOnly) || (a.archive && e.archive) || (a.hidden && e.hidden) ||
         (a.system && e.system);
}

bool IsExecutableName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string ext = LowerCaseCp1250(name.substr(dot));
  return ext == ".exe" || ext == ".com" || ext == ".bat" || ext == ".pif";
}

std::string TextKey(const std::string& name) {
  return text::CollationKey(text::Utf8ToCp1250(name), true);
}

}  // namespace

std::vector<std::string> SplitMasks(const std::string& maskText) {
  std::vector<std::string> masks;
  size_t start = 0;
  while (start <= maskText.size()) {
    size_t end = maskText.find(';', start);
    if (end == std::string::npos) end = maskText.size();
    const std::string mask = text::TrimControls(maskText.substr(start, end - start));
    if (!mask.empty()) masks.push_back(mask);
    start = end + 1;
  }
  if (masks.empty()) masks.push_back("*.*");
  return masks;
}

std::vector<FileItem> ReadFileItems(const std::string& dir, const std::string& maskText,
                                    const FileAttributes& attributes) {
  std::set<std::string> seen;  // a file matching two masks is listed once
  std::vector<std::pair<std::string, FileItem>> keyed;
  for (const std::string& mask : SplitMasks(maskText)) {
    std::vector<platform::DirEntry> entries;
    try {
      entries = platform::ListDirectory(dir, mask);
    } catch (const Exception&) {
      return {};
    }
    for (const platform::DirEntry& e : entries) {
      if (!Selected(e, attributes) || !seen.insert(e.name).second) continue;
      FileItem item;
      if (e.directory) {
        item.text = "[" + e.name + "]";
        item.glyph = FileGlyph::Folder;
      } else {
        item.text = e.name;
        item.glyph = IsExecutableName(e.name) ? FileGlyph::Executable : FileGlyph::Other;
      }
      keyed.emplace_back(TextKey(item.text) + '\0' + item.text, std::move(item));
    }
  }
  std::sort(keyed.begin(), keyed.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<FileItem> items;
  for (auto& k : keyed) items.push_back(std::move(k.second));
  return items;
}

}  // namespace kdx::picker
