#pragma once
// What the tests of every layer share, toolkit-free (the Qt tests use it too): a temporary
// folder that goes away with the test, an environment variable or the current directory changed
// for one test, whole-file reads and writes, and cp1250 texts written in UTF-8.
//
// Paths are UTF-8 text on every system and are written as the system writes them ('\' on
// Windows, '/' elsewhere). std::filesystem reads and writes narrow strings in another encoding on
// Windows, so paths cross to it through PathFromUtf8 and Utf8Path.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kdx::test {

// UTF-8 (as the tests are written) -> cp1250 bytes (as the program holds text). Throws
// std::invalid_argument for a character that cp1250 has not, so a mistyped test text cannot turn
// into '?' unnoticed.
std::string Cp(std::string_view utf8);

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8Path(const std::filesystem::path& path);

// The bytes of a file; "<missing>" when it cannot be opened (so that a missing file and an
// empty one tell apart in a comparison).
std::string ReadFile(const std::string& path);
// Writes a file, replacing it; throws std::runtime_error when that fails.
void WriteFile(const std::string& path, std::string_view bytes);

// A fresh folder in the system's temporary folder ($TMPDIR or /tmp; on Windows the user's
// temporary folder), removed with everything in it when the object goes.
class TempDir {
 public:
  // The folder's name is `prefix` and random letters and digits. Throws std::runtime_error when
  // no folder can be made.
  explicit TempDir(std::string_view prefix = "kdx-test-");
  // Puts back the current directory of the time the folder was made (a test that enters the
  // folder or moves elsewhere ends there), then removes the folder, write-protected entries too.
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder: absolute, symbolic links resolved, without a trailing separator.
  const std::string& Path() const { return path_; }
  // `relative` inside the folder ('/' may separate its parts; "" is the folder itself).
  std::string operator/(std::string_view relative) const;
  // Makes the folder `relative` with the folders above it; returns its path.
  std::string MakeDir(std::string_view relative) const;
  // Writes the file `relative`, replacing it; returns its path.
  std::string WriteFile(std::string_view relative, std::string_view bytes) const;

 private:
  std::string path_;
  std::filesystem::path previousCurrentDir_;
};

// An environment variable of this process, nullopt when it is not set. On Windows this is the
// system's copy of the environment (what GetEnvironmentVariableA reads, in the ANSI code page).
std::optional<std::string> GetEnv(const std::string& name);
// Sets (or, with nullopt, removes) an environment variable. On Windows both the C runtime's copy
// (getenv, the toolkit) and the system's (GetEnvironmentVariableA, ExpandEnvironmentStringsA,
// child processes) change.
void SetEnv(const std::string& name, const std::optional<std::string>& value);

// Sets or removes an environment variable until the end of the scope, then puts back what was
// there.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  // A null pointer removes the variable, as getenv reports an unset one.
  ScopedEnv(std::string name, const char* value)
      : ScopedEnv(std::move(name), value ? std::optional<std::string>(value) : std::nullopt) {}
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Makes `dir` the process's current directory until the end of the scope.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir);
  ~ScopedCwd();
  ScopedCwd(const ScopedCwd&) = delete;
  ScopedCwd& operator=(const ScopedCwd&) = delete;

 private:
  std::filesystem::path previous_;
};

}  // namespace kdx::test
