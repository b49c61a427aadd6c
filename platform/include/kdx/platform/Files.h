#pragma once
// File operations of the program: existence tests, the replacing copy that the receive action
// makes, file identity and the executable's path.
//
// Paths here are native paths in UTF-8 (POSIX: the bytes the kernel sees; Windows: converted to
// UTF-16 for the wide calls), never cp1250, so a path that cp1250 cannot spell still works.
// Failures raise kdx::EOSError with the system's error code.

#include <string>
#include <vector>

namespace kdx::files {

// The separator that ends a folder path: '/' on POSIX, '\\' on Windows.
#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
#else
inline constexpr char kPathDelim = '/';
#endif

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

// Copies the file `source` to `target`, replacing a file there. The copy is written to a
// temporary file in the target's folder and renamed over `target`, so `target` is never seen
// half written and a failed copy leaves an existing `target` unchanged (no temporary file is
// left behind). The copy gets the source's permission bits. A `target` that IsReadOnlyFile
// fails the copy (EACCES / ERROR_ACCESS_DENIED), as Windows' copy does, although the folder
// would let a rename replace it. Raises EOSError on failure.
void CopyFileReplacing(const std::string& source, const std::string& target);

// Removes the file at `path`; raises EOSError on failure.
void RemoveFile(const std::string& path);

// Names of the entries of folder `folder` (without "." and ".."); raises EOSError when the
// folder cannot be read.
std::vector<std::string> ListFolder(const std::string& folder);

// Full native path of the running executable.
std::string ExecutablePath();

}  // namespace kdx::files
