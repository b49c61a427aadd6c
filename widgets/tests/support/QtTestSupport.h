#pragma once
// What the Qt-side tests (widgets/tests, app/tests) share: a temporary folder that goes away
// with the test, and an environment variable set for one test. Portable (POSIX and Windows).

#include <QByteArray>
#include <QTemporaryDir>
#include <string>

namespace kdx::test {

// A fresh temporary folder, removed with everything in it when the object goes. Paths are
// native UTF-8 written as the system writes them ('\' on Windows, '/' on POSIX); folder paths
// end with that separator.
class TempFolder {
 public:
  TempFolder();  // throws std::runtime_error when no folder can be made

  // The folder itself, canonical (symbolic links resolved), with a trailing separator.
  const std::string& Path() const { return path_; }
  // A sub-folder (made with its parents when missing; `relative` may use '/'), with a trailing
  // separator.
  std::string MakeFolder(const std::string& relative) const;

  // Writes `contents` to `path`, replacing the file; throws when it cannot.
  static void WriteFile(const std::string& path, const std::string& contents);
  // The bytes of `path`, or "<missing>" when it cannot be read.
  static std::string ReadFile(const std::string& path);

 private:
  QTemporaryDir dir_;
  std::string path_;
};

// Sets (or, with nullptr, removes) an environment variable until the end of the scope, then
// puts back what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_;
  QByteArray old_;
};

}  // namespace kdx::test
