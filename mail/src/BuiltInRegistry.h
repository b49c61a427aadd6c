#pragma once
// The registry the mail layer brings along for systems without one (POSIX): the bundled Simple
// MAPI provider registered as the default mail client, so that sending works out of the box.

#include <string>

namespace kdx::mail {

// The built-in registry as .reg text: HKLM\SOFTWARE\Clients\Mail names the client
// "KDX manager mail hand-off", whose DLLPath is BundledProviderPath().
std::string BuiltInRegistryText();

// The bundled provider libkdxmapi.so: beside the executable (installed layout), in the build
// tree's mapi-provider folder beside the executable's folder, or in ../lib/kdx-manager; the
// first that exists, else the first candidate. Empty when the executable's path is unknown
// (never a path in the current folder, which the folder picker moves). A path that code page
// 1250 cannot spell (the registry's texts are cp1250) is given as /proc/self/fd/<n> of a
// descriptor held open on the file; empty when the file does not exist.
std::string BundledProviderPath();

// Hands BuiltInRegistryText to the registry stand-in (once; later calls do nothing).
void InstallBuiltInRegistry();

}  // namespace kdx::mail
