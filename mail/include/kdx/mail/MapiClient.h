#pragma once
// One registered mail client and the twelve Simple MAPI entry points its library must export.

#include <array>
#include <cstddef>
#include <string>

#include "kdx/platform/PeImage.h"

namespace kdx::mail {

// One registered mail client (a subkey of HKLM\SOFTWARE\Clients\Mail in either registry view).
struct TMapiClient {
  std::string DisplayName;  // the key's default value
  std::string LibraryPath;  // "DLLPath", environment references expanded
  std::string KeyName;      // the subkey name
  bool Usable = false;      // the library loads and exports all twelve entry points
  // The library is of the other bitness (its file's machine type says so) and exports all
  // twelve names: it is reached through the hand-off helper, never loaded here.
  bool OtherBitness = false;
  // The values above come from the registry view of the other bitness (a 32-bit installer's
  // keys as a 64-bit program finds them).
  bool FromOtherView = false;
};

// The twelve Simple MAPI entry points, in the order they are resolved and indexed.
inline constexpr std::size_t kMapiEntryPointCount = 12;
inline constexpr std::array<const char*, kMapiEntryPointCount> kMapiEntryPointNames = {
    "MAPIAddress",     "MAPIDeleteMail", "MAPIDetails",       "MAPIFindNext",
    "MAPIFreeBuffer",  "MAPILogoff",     "MAPILogon",         "MAPIReadMail",
    "MAPIResolveName", "MAPISaveMail",   "MAPISendDocuments", "MAPISendMail"};
enum MapiEntryPoint : std::size_t {
  kMapiAddress,
  kMapiDeleteMail,
  kMapiDetails,
  kMapiFindNext,
  kMapiFreeBuffer,
  kMapiLogoff,
  kMapiLogon,
  kMapiReadMail,
  kMapiResolveName,
  kMapiSaveMail,
  kMapiSendDocuments,
  kMapiSendMail
};

// The all-twelve rule for a library of the other bitness, read from its file: the image is of the
// other bitness's machine and its export table names all twelve entry points.
bool IsOtherBitnessClientImage(const platform::PeImage& image);

}  // namespace kdx::mail
