#pragma once
// What a Windows library file says about itself, read from the file without loading it: the
// machine it is built for (the COFF header's Machine) and the names its export table lists.
//
// A library of the other bitness cannot be loaded into this process at all, so this is the only
// way to ask it what LoadLibraryEx and GetProcAddress answer for a library of our own bitness.
// Portable (no system calls beyond reading the file), so it is tested and fuzzed on every
// system.
//
// The reader trusts nothing in the file: every offset, size and count is checked against the
// bytes actually present before it is used, and an image that is truncated, lies about a size,
// points outside its sections or is not a PE file at all gives no image.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kdx::platform {

// IMAGE_FILE_HEADER.Machine values the program tells apart.
inline constexpr std::uint16_t kPeMachineI386 = 0x014c;
inline constexpr std::uint16_t kPeMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kPeMachineArm64 = 0xaa64;

// The machine of the running program's own code (kPeMachineAmd64 for a 64-bit x86 build,
// kPeMachineI386 for a 32-bit one; 0 elsewhere).
std::uint16_t OwnPeMachine();

// The machine of the other bitness on the same processor family: i386 for an amd64 program and
// the reverse; 0 where there is none.
std::uint16_t OtherBitnessPeMachine();

struct PeImage {
  std::uint16_t machine = 0;  // IMAGE_FILE_HEADER.Machine
  bool pe32Plus = false;      // the optional header is PE32+ (64-bit)
  bool dll = false;           // IMAGE_FILE_DLL is set
  // The names of the export name table, in its order. Only names whose ordinal leads to a
  // function address inside the image are kept (a forwarder, "OTHER.Name", counts: the loader
  // resolves it through the other library).
  std::vector<std::string> exportNames;

  // True when every one of the `count` names is among exportNames (exact, case-sensitive, as
  // GetProcAddress compares).
  bool ExportsAll(const char* const* names, std::size_t count) const;
};

// Parses the bytes of a PE file (DOS stub, "PE\0\0", COFF header, PE32 or PE32+ optional header,
// section table, export directory). Returns nullopt when the bytes are not a well-formed PE
// image of a known machine: a PE32 optional header with a 64-bit machine (or the reverse), a
// header or table reaching past the end of the data, an export table RVA in no section or beyond
// a section's data in the file, a name that does not end inside its section, an ordinal beyond
// the function table. An image without an export directory parses with no names.
std::optional<PeImage> ParsePeImage(std::span<const std::uint8_t> data);

// Reads the file at `path` (UTF-8) and parses it. nullopt when the file cannot be read, is larger
// than kMaxPeFileSize, or does not parse.
std::optional<PeImage> ReadPeImage(const std::string& path);
inline constexpr std::uint64_t kMaxPeFileSize = 256u * 1024 * 1024;

}  // namespace kdx::platform
