#pragma once
// The file system as the program uses it: existence tests, opened files, the one replacement of
// a file's content (the table save and the receive copy), file identity, folder listing with
// Windows-style masks, the process's current folder, volume case flags and the executable's path.
//
// Paths are UTF-8 on every system (see Path.h), never cp1250, so a path that cp1250 cannot spell
// still works. Failures raise kdx::EOSError with the system's error code.
//
// Backends: src/posix (stat, open/mkostemp/rename, getcwd, chdir, opendir/readdir, fnmatch, statfs)
// and src/win32 (the wide calls: CreateFileW, MoveFileExW, GetCurrentDirectoryW,
// SetCurrentDirectoryW, FindFirstFileW, GetVolumeInformationW ...).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kdx/platform/Path.h"

namespace kdx::platform {

// True when a regular file (or a link to one) exists at `path`. Folders do not count.
bool FileExists(const std::string& path);

// True when a folder (or a link to one) exists at `path`.
bool DirectoryExists(const std::string& path);

// True when both paths name one existing object of the file system, however spelled: the same
// device and inode on POSIX (symbolic links followed, hard links and bind mounts included), the
// same volume serial and file index on Windows. False when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

// True when a file exists at `path` that the caller may not replace: it is marked read-only (the
// read-only attribute on Windows; no write permission bit at all on POSIX, which binds the
// administrator too, as the attribute does) or the caller has no right to write it. False when
// nothing exists there.
bool IsReadOnlyFile(const std::string& path);

// A file opened for reading. It stays readable while this object lives, even when its name is
// removed meanwhile: POSIX keeps the open descriptor; on Windows the handle lets others delete
// the file (the name then goes when the handle is closed), as a mail client does that removes
// its temporary copy of an attachment. Raises EOSError when `path` cannot be opened or is not a
// regular file.
class OpenedFile {
 public:
  explicit OpenedFile(const std::string& path);
  ~OpenedFile();
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;

  // Reads up to `size` bytes from the current position; 0 at the end. Raises EOSError.
  std::size_t Read(char* buffer, std::size_t size);
  // Back to the first byte.
  void Rewind();
  // True when `path` names this very file (same identity as SameFile compares).
  bool IsFile(const std::string& path) const;
  // The file's attributes as the system keeps them (POSIX: the mode; Windows: FILE_ATTRIBUTE_*).
  unsigned long Attributes() const;

 private:
  std::intptr_t handle_;
};

// Replaces the content of a file as a whole: the one way the program writes over a file.
//
// The new content goes to a temporary file in the target's folder, which Commit flushes and
// renames over the target, so the target is never seen half written and a failure leaves it as
// it was (the temporary file is removed). Where no temporary file can be made there (the folder
// is not writable, while the file is), the target itself is written in place: its content is
// cut at the first Write (with `append` it is kept and the new bytes follow it), so a failure
// before that leaves the file unchanged and a failure while writing leaves it holding what was
// written so far. Writing in place keeps the file's owner and permissions.
//
// On POSIX a symbolic link is followed: what it names is replaced, the link stays.
// A target that IsReadOnlyFile, or a folder, is refused (EACCES / ERROR_ACCESS_DENIED, EISDIR),
// although the folder would let a rename replace it, as Windows' copy refuses it.
//
// What the new file's permissions are when it takes the target's place:
//   kKeepExisting: those of the file it replaces (POSIX: mode, owner and group as far as the
//     caller may set them: the owner root only; Windows: its attributes); a new file gets what the
//     system gives new files.
//   kNewFile: what the system gives a new file in that folder (POSIX: 0666 less the umask;
//     Windows: the folder's defaults), whatever the replaced file had.
enum class ReplacedPermissions { kKeepExisting, kNewFile };

class FileReplacer {
 public:
  // Raises EOSError when the target cannot be replaced at all.
  FileReplacer(const std::string& path, bool append, ReplacedPermissions permissions);
  // Without Commit: the temporary file is removed (in place, what was written stays).
  ~FileReplacer();
  FileReplacer(const FileReplacer&) = delete;
  FileReplacer& operator=(const FileReplacer&) = delete;

  void Write(const char* data, std::size_t size);  // raises EOSError
  // Flushes the content to the disk and puts it in the target's place; raises EOSError.
  void Commit();
  // True when the target is written in place (no temporary file could be made).
  bool InPlace() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Copies the opened file `source` (from its first byte) to `target` through FileReplacer with
// kNewFile permissions: a copy never inherits the read-only state that a mail client gives its
// temporary copies. On Windows the copy gets the source's other attributes (archive, hidden,
// system, not indexed), as the system's copy does. Raises EOSError on failure.
void CopyFileReplacing(OpenedFile& source, const std::string& target);
// The same from a path.
void CopyFileReplacing(const std::string& source, const std::string& target);

// Removes the file at `path`; raises EOSError on failure.
void RemoveFile(const std::string& path);

// Full native path of the running executable.
std::string ExecutablePath();

// --- folders ----------------------------------------------------------------------------------

// The process's current directory as the system reports it (no trailing separator except for a
// root such as "/" or "C:\"). Raises EOSError when the system cannot report it (for example
// when the directory was removed while current).
std::string GetCurrentDir();

// Makes `path` the process's current directory. Raises EOSError ("Cannot change to directory
// "<path>": <reason>") when that fails; the current directory is then unchanged.
void SetCurrentDir(const std::string& path);

// One entry of a directory listing.
struct DirEntry {
  std::string name;  // bare name, never "." or ".."
  bool directory = false;
  bool hidden = false;    // POSIX: the name starts with "."; Windows: FILE_ATTRIBUTE_HIDDEN
  bool system = false;    // Windows: FILE_ATTRIBUTE_SYSTEM; POSIX: never
  bool readOnly = false;  // Windows: FILE_ATTRIBUTE_READONLY; POSIX: not writable by us
  bool archive = false;   // Windows: FILE_ATTRIBUTE_ARCHIVE; POSIX: never
};

// Lists the entries of `dir` whose names match the wildcard `mask` ("*" any run, "?" one
// character, letter case ignored; "*.*" and "*" match every name, as the Windows file search
// does). Order is the system's. "." and ".." are never returned. An entry that vanishes or
// cannot be examined while the list is read is left out. Raises EOSError when `dir` cannot be
// opened.
std::vector<DirEntry> ListDirectory(const std::string& dir, const std::string& mask = "*.*");

// Case behaviour of the volume that holds `path`.
struct VolumeCaseFlags {
  bool casePreserved = true;  // names keep the letter case they were created with
  bool caseSensitive = true;  // "a" and "A" are different names
};

// Reads the case flags of the volume holding `path`. When they cannot be read the defaults of
// the platform are returned (POSIX: preserved and sensitive; Windows: preserved, insensitive).
VolumeCaseFlags GetVolumeCaseFlags(const std::string& path);

}  // namespace kdx::platform
