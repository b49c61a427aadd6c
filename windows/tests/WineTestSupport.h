#pragma once
// The Wine fixtures' test support (kdx_wine_test_support), for the Windows-only tests
// (mail/tests/wine/): paths between the build machine and the Wine prefix, registry values changed
// for one test and put back afterwards, the fixture's mail client made the default, the records
// the test client library and the xdg-email stand-in write, and the check of the test client's
// answers. Temporary folders, environment variables, files and cp1250 texts come from the shared
// test support (CoreTestSupport.h), the checks of the hand-off's errors from MailTestSupport.h.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "CoreTestSupport.h"

namespace kdx::mail {
class TMapiEmail;
}

namespace kdx::wintest {

// The mail clients' key and the system's Simple MAPI key under HKEY_LOCAL_MACHINE.
inline const std::string kClientsKey = "SOFTWARE\\Clients\\Mail";
inline const std::string kSubsystemKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

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

// Makes the fixture's client `keyName` the default mail client in this program's view and
// switches the system's Simple MAPI off, so that the client's own library is the one chosen.
class ClientLibrary {
 public:
  explicit ClientLibrary(const std::string& keyName)
      : mapi_(true, kSubsystemKey, "MAPI", std::string("0")),
        default_(true, kClientsKey, "", keyName) {}

 private:
  ScopedRegistryValue mapi_;
  ScopedRegistryValue default_;
};

// The test client's answers (KDX_TESTMAPI_RESULT) as `mail`, whose recipients are set, reads
// them, wherever the client runs: a cancel (1) is no send and no error, "unknown recipient" (14)
// raises EMapiError with its code and text.
void ExpectClientAnswersAsInProcess(kdx::mail::TMapiEmail& mail);

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

// The test client's record of the send action done twice, with the compose window (flags 9) and
// silently (flags 1), each call checked for what every call of the program gives: no session,
// nothing reserved, `owner` (the program's window) as the parent. Empty, with a failure
// reported, unless the record holds exactly these two calls.
std::vector<RecordedSend> SendActionCalls(const std::string& record, std::uintptr_t owner);

}  // namespace kdx::wintest
