#pragma once
// Reading the registry where the mail client is registered, and environment references in
// its values. Texts are 8-bit cp1250 (the registry's code page).

#include <string>
#include <vector>

#include "kdx/platform/Registry.h"

namespace kdx::mail {

using platform::RegistryRoot;
using platform::RegistryView;

// True when the key opens with KEY_READ (closed again at once). A leading backslash of `path`
// is skipped.
bool RegistryKeyExists(RegistryRoot root, const std::string& path,
                       RegistryView view = RegistryView::Own);

// The text of a REG_SZ or REG_EXPAND_SZ value (unexpanded), cut at its first zero byte;
// `defaultValue` when the key does not open, the value is missing, has another type or cannot
// be read. An empty `valueName` reads the key's default value.
std::string ReadRegistryString(RegistryRoot root, const std::string& path,
                               const std::string& valueName, const std::string& defaultValue,
                               RegistryView view = RegistryView::Own);

// Empties `list`, then appends the names of the key's direct subkeys in enumeration order.
// True when the key's subkey information could be read. Raises ERegistryError "Unable to open
// key "<path>" for read" when the key does not open.
bool ListSubkeyNames(RegistryRoot root, const std::string& path, std::vector<std::string>& list,
                     RegistryView view = RegistryView::Own);

// Replaces %NAME% references in `text` in place; leaves it unchanged when expansion fails.
void ExpandEnvironment(std::string& text);

// True on the NT family of Windows (and on POSIX); decides the profiles key. Set at start.
extern const bool IsWindowsNtFamily;

}  // namespace kdx::mail
