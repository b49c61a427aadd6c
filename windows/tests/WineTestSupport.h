#pragma once
// Helpers of the Windows-only tests: paths between the build machine and the Wine prefix,
// registry values changed for one test and put back afterwards, and the records the test client
// library and the xdg-email stand-in write. Temporary folders, environment variables, files and
// cp1250 texts come from the shared test support (CoreTestSupport.h).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "CoreTestSupport.h"

namespace kdx::wintest {

// A POSIX path of the build machine as the Windows side sees it (Wine maps drive Z: to "/").
std::string HostPathToWindows(const std::string& posixPath);

// The folder holding kdxtestmapi12.dll, kdxtestmapi11.dll and kdxtestmapi_dep.dll (Windows form).
std::string TestMapiDir();
// The folder of the 32-bit kdxtestmapi12.dll and kdxtestmapi11.dll (the i686 sub-build's).
std::string TestMapi32Dir();

// Sets KDX_TESTMAPI_DIR and KDX_TESTMAPI32_DIR in this process's environment, the variables the
// fixture's DLLPath values refer to.
void ExportTestMapiDir();

// Sets (or with nullopt deletes) one string value of HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER
// for the lifetime of the object; the previous state (value or no value) comes back afterwards.
class ScopedRegistryValue {
 public:
  // `view32`: the value in the 32-bit registry view (KEY_WOW64_32KEY), as a 32-bit installer
  // writes it; otherwise in the view of this 64-bit program.
  ScopedRegistryValue(bool localMachine, const std::string& key, const std::string& name,
                      const std::optional<std::string>& value, bool view32 = false);
  ~ScopedRegistryValue();
  ScopedRegistryValue(const ScopedRegistryValue&) = delete;
  ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

 private:
  void Write(const std::optional<std::string>& value) const;
  bool localMachine_;
  std::uint32_t view_;
  std::string key_, name_;
  std::optional<std::string> previous_;
  std::uint32_t previousType_ = 1;
};

// One MAPISendMail call as recorded by the test client library.
struct RecordedSend {
  std::map<std::string, std::string> call;     // session, uiparam, flags, reserved
  std::map<std::string, std::string> message;  // reserved, flags, recips, files, originator
  std::map<std::string, std::string> texts;    // subject, note, type, date, conversation
                                               // (decoded; "<null>" for a null pointer)
  std::map<std::string, std::string> arrays;   // recips, files: "set" or "-"
  std::vector<std::map<std::string, std::string>> recips;  // class, name, address, ...
  std::vector<std::map<std::string, std::string>> files;   // position, path, name, ...
};
std::vector<RecordedSend> ParseSendRecord(const std::string& text);

}  // namespace kdx::wintest
