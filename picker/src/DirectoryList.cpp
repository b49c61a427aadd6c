#include "kdx/picker/DirectoryList.h"

#include <algorithm>

#include "kdx/platform/Errors.h"
#include "kdx/platform/Text.h"
#include "kdx/platform/Volumes.h"

namespace kdx::picker {

namespace {

// Sort key of a native name for the user's collation, ignoring case. The name is UTF-8 (on
// POSIX possibly with bytes of another code page, read as cp1250's) and keyed as such, so that a
// name cp1250 cannot spell still stands in its place.
std::string NameKey(const std::string& name) {
  return text::CollationKeyUtf8(text::FileNameToUtf8(name), true);
}

std::vector<std::string> SplitComponents(const std::string& path, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(sep, start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The directory's text after its drive ("\Alpha\Beta" of "C:\Alpha\Beta").
std::string AfterDrive(const std::string& dir, const std::string& drive) {
  return dir.size() >= drive.size() ? dir.substr(drive.size()) : dir;
}

}  // namespace

std::vector<DirItem> BuildPathItems(const std::string& currentDir, const std::string& drive,
                                    const platform::PathStyle& style) {
  const std::string root = drive + style.separator;
  const std::vector<std::string> parts =
      SplitComponents(AfterDrive(currentDir, drive), style.separator);
  std::vector<DirItem> items;
  if (parts.empty()) {
    items.push_back({root, DirItemKind::CurrentFolder});
    return items;
  }
  items.push_back({root, DirItemKind::OpenFolder});
  for (size_t i = 0; i < parts.size(); ++i)
    items.push_back(
        {parts[i], i + 1 == parts.size() ? DirItemKind::CurrentFolder : DirItemKind::OpenFolder});
  return items;
}

std::string OpenItemPath(const std::string& currentDir, const std::string& drive, size_t index,
                         const platform::PathStyle& style) {
  if (index == 0) return drive + style.separator;
  // Separators are single bytes in every code page the paths use (cp1250, UTF-8), so counting
  // bytes counts characters.
  const std::string rest = AfterDrive(currentDir, drive);
  size_t found = 0;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == style.separator && ++found == index + 1) return drive + rest.substr(0, i);
  }
  return currentDir;
}

std::vector<std::string> ReadSubdirectoryNames(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  try {
    entries = platform::ListDirectory(dir, "*.*");
  } catch (const Exception&) {
    return {};
  }
  std::vector<std::pair<std::string, std::string>> keyed;  // (collation key, name)
  for (const platform::DirEntry& e : entries) {
    if (e.directory && !e.hidden && !e.system) keyed.emplace_back(NameKey(e.name), e.name);
  }
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::string> names;
  names.reserve(keyed.size());
  for (auto& k : keyed) names.push_back(std::move(k.second));
  return names;
}

DirectoryList::DirectoryList(platform::PathStyle style) : style_(style) {
  if (!style_.driveLetters) volumeRoots_.push_back(std::string(1, style_.separator));
}

void DirectoryList::SetVolumeRoots(std::vector<std::string> roots) {
  volumeRoots_ = std::move(roots);
  const std::string top(1, style_.separator);
  if (!style_.driveLetters &&
      std::find(volumeRoots_.begin(), volumeRoots_.end(), top) == volumeRoots_.end())
    volumeRoots_.insert(volumeRoots_.begin(), top);
}

void DirectoryList::Open() {
  const std::string reported = platform::GetCurrentDir();
  drive_ = DriveOfPath(reported, style_, volumeRoots_);
  directory_ = Normalized(reported, drive_);
  Build();
}

bool DirectoryList::SameDrive(const std::string& a, const std::string& b) const {
  if (!style_.driveLetters) return a == b;
  return text::EqualsAsciiNoCase(a, b);
}

std::string DirectoryList::Normalized(const std::string& reported, const std::string& drive) const {
  // A volume root keeps its trailing separator, as a drive root does.
  if (reported == drive) return drive + style_.separator;
  return reported;
}

void DirectoryList::SetDirectory(const std::string& path) {
  if (path.empty() || SameFileName(path, directory_, caseFlags_.caseSensitive)) return;
  std::string target = path;
  if (target.size() >= 2 && target.front() == '[' && target.back() == ']')
    target = target.substr(1, target.size() - 2);

  // Making the directory current resolves a relative path and proves that it can be entered;
  // when it cannot, the error propagates and the list is unchanged.
  platform::SetCurrentDir(target);
  const std::string reported = platform::GetCurrentDir();
  const std::string newDrive = DriveOfPath(reported, style_, volumeRoots_);

  if (!SameDrive(newDrive, drive_)) {
    struct Guard {
      bool& flag;
      ~Guard() { flag = false; }
    } guard{inDirectoryChange_};
    inDirectoryChange_ = true;
    const std::string root = newDrive + style_.separator;
    // The linked drive list selects the new drive and calls ChangeDrive back, which only
    // records it: the list is rebuilt once, for the new directory, below.
    if (onDriveChange) onDriveChange(root);
  }
  drive_ = newDrive;
  directory_ = Normalized(reported, newDrive);
  Build();
  if (onChange) onChange();
}

void DirectoryList::ChangeDrive(const std::string& root) {
  std::string drive = root;
  while (!drive.empty() && drive.back() == style_.separator) drive.pop_back();
  if (inDirectoryChange_) {
    drive_ = drive;
    return;
  }
  if (SameDrive(drive, drive_)) return;
  const std::string reported = platform::EnterVolume(root);
  drive_ = DriveOfPath(reported, style_, volumeRoots_);
  directory_ = Normalized(reported, drive_);
  Build();
  if (onChange) onChange();
}

void DirectoryList::Rebuild() {
  Build();
}

void DirectoryList::Build() {
  caseFlags_ = platform::GetVolumeCaseFlags(directory_);
  items_ = BuildPathItems(directory_, drive_, style_);
  pathItemCount_ = items_.size();
  currentIndex_ = items_.size() - 1;
  for (std::string& name : ReadSubdirectoryNames(directory_))
    items_.push_back({std::move(name), DirItemKind::ClosedFolder});
}

std::string DirectoryList::ItemPath(size_t index) const {
  if (index >= pathItemCount_) return platform::JoinPath(directory_, items_[index].text, style_);
  if (index == currentIndex_) return directory_;
  return OpenItemPath(directory_, drive_, index, style_);
}

int DirectoryList::GlyphIndent(size_t index) const {
  if (index < pathItemCount_) return 4 * static_cast<int>(index) + 2;
  const std::string rest = AfterDrive(directory_, drive_);
  return 4 * static_cast<int>(std::count(rest.begin(), rest.end(), style_.separator)) + 6;
}

}  // namespace kdx::picker
