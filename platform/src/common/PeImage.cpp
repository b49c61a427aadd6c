// The PE/COFF reader: machine type and export names of a Windows library file.
//
// Layout read (all little-endian; offsets relative to the structure's start):
//   DOS header       "MZ" at 0, e_lfanew (u32) at 0x3c: offset of the PE signature
//   signature        "PE\0\0"
//   COFF header      Machine u16 @0, NumberOfSections u16 @2, SizeOfOptionalHeader u16 @16,
//                    Characteristics u16 @18 (20 bytes)
//   optional header  Magic u16 @0 (0x10b PE32, 0x20b PE32+); NumberOfRvaAndSizes u32 @92 / @108,
//                    data directories (RVA u32, size u32 each) from @96 / @112; entry 0 is the
//                    export table
//   section header   VirtualSize u32 @8, VirtualAddress u32 @12, SizeOfRawData u32 @16,
//                    PointerToRawData u32 @20 (40 bytes each, after the optional header)
//   export directory NumberOfFunctions u32 @20, NumberOfNames u32 @24, AddressOfFunctions @28,
//                    AddressOfNames @32, AddressOfNameOrdinals @36 (RVAs)

#include "kdx/platform/PeImage.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace kdx::platform {

namespace {

constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kExportDirectorySize = 40;
constexpr std::uint16_t kMaxSections = 96;  // the loader's own limit

// Bounds-checked little-endian reads over the whole file. Offsets are 64-bit so that sums of
// 32-bit fields cannot wrap.
class Bytes {
 public:
  explicit Bytes(std::span<const std::uint8_t> data) : data_(data) {}
  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= data_.size() && size <= data_.size() - offset;
  }
  std::optional<std::uint16_t> U16(std::uint64_t offset) const {
    if (!Has(offset, 2)) return std::nullopt;
    return static_cast<std::uint16_t>(data_[offset] | (data_[offset + 1] << 8));
  }
  std::optional<std::uint32_t> U32(std::uint64_t offset) const {
    if (!Has(offset, 4)) return std::nullopt;
    return static_cast<std::uint32_t>(data_[offset]) |
           (static_cast<std::uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(data_[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(data_[offset + 3]) << 24);
  }
  std::uint8_t At(std::uint64_t offset) const { return data_[offset]; }

 private:
  std::span<const std::uint8_t> data_;
};

struct Section {
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawOffset = 0;
};

// Where the bytes of an RVA lie in the file, and how many of that section's bytes follow it
// there. nullopt when no section holds the RVA in its file data.
struct FileSpan {
  std::uint64_t offset = 0;
  std::uint64_t available = 0;
};

std::optional<FileSpan> MapRva(const std::vector<Section>& sections, const Bytes& bytes,
                               std::uint32_t rva) {
  for (const Section& s : sections) {
    const std::uint64_t extent = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
    if (rva < s.virtualAddress || rva - s.virtualAddress >= extent) continue;
    const std::uint64_t delta = rva - s.virtualAddress;
    // Beyond the section's raw data the loader gives zeros; a table there is not in the file.
    if (delta >= s.rawSize) return std::nullopt;
    const std::uint64_t offset = std::uint64_t{s.rawOffset} + delta;
    const std::uint64_t inSection = std::min<std::uint64_t>(s.rawSize, extent) - delta;
    return FileSpan{offset, inSection};
  }
  return std::nullopt;
}

// An array of `count` entries of `entrySize` bytes at `rva`, whole inside one section's data.
std::optional<std::uint64_t> MapArray(const std::vector<Section>& sections, const Bytes& bytes,
                                      std::uint32_t rva, std::uint64_t count,
                                      std::uint64_t entrySize) {
  const auto span = MapRva(sections, bytes, rva);
  if (!span || span->available < count * entrySize) return std::nullopt;
  return span->offset;
}

}  // namespace

std::uint16_t OwnPeMachine() {
#if defined(__x86_64__) || defined(_M_X64)
  return kPeMachineAmd64;
#elif defined(__i386__) || defined(_M_IX86)
  return kPeMachineI386;
#elif defined(__aarch64__) || defined(_M_ARM64)
  return kPeMachineArm64;
#else
  return 0;
#endif
}

std::uint16_t OtherBitnessPeMachine() {
  switch (OwnPeMachine()) {
    case kPeMachineAmd64:
      return kPeMachineI386;
    case kPeMachineI386:
      return kPeMachineAmd64;
    default:
      return 0;
  }
}

bool PeImage::ExportsAll(const char* const* names, std::size_t count) const {
  for (std::size_t i = 0; i < count; ++i) {
    if (std::find(exportNames.begin(), exportNames.end(), names[i]) == exportNames.end())
      return false;
  }
  return true;
}

std::optional<PeImage> ParsePeImage(std::span<const std::uint8_t> data) {
  const Bytes bytes(data);
  if (!bytes.Has(0, 0x40) || bytes.At(0) != 'M' || bytes.At(1) != 'Z') return std::nullopt;
  const std::uint64_t pe = *bytes.U32(0x3c);
  if (!bytes.Has(pe, 4 + kCoffHeaderSize)) return std::nullopt;
  if (bytes.At(pe) != 'P' || bytes.At(pe + 1) != 'E' || bytes.At(pe + 2) != 0 ||
      bytes.At(pe + 3) != 0) {
    return std::nullopt;
  }
  const std::uint64_t coff = pe + 4;
  PeImage image;
  image.machine = *bytes.U16(coff);
  const std::uint16_t sectionCount = *bytes.U16(coff + 2);
  const std::uint16_t optionalSize = *bytes.U16(coff + 16);
  image.dll = (*bytes.U16(coff + 18) & kFileDll) != 0;
  if (sectionCount > kMaxSections) return std::nullopt;

  const std::uint64_t optional = coff + kCoffHeaderSize;
  const auto magic = bytes.U16(optional);
  if (!magic || optionalSize < 2 || !bytes.Has(optional, optionalSize)) return std::nullopt;
  std::uint64_t countField = 0;
  if (*magic == kPe32Magic) {
    countField = 92;
  } else if (*magic == kPe32PlusMagic) {
    countField = 108;
    image.pe32Plus = true;
  } else {
    return std::nullopt;
  }
  // The header's format must be the machine's: a 64-bit machine with a 32-bit header (or the
  // reverse) is refused by the loader.
  const bool machine64 = image.machine == kPeMachineAmd64 || image.machine == kPeMachineArm64;
  const bool machine32 = image.machine == kPeMachineI386;
  if (!(machine64 && image.pe32Plus) && !(machine32 && !image.pe32Plus)) return std::nullopt;

  // The export directory, when the header is long enough to have one.
  std::uint32_t exportRva = 0;
  if (optionalSize >= countField + 4) {
    const std::uint32_t directories = *bytes.U32(optional + countField);
    const std::uint64_t first = countField + 4;
    if (directories >= 1 && optionalSize >= first + 8) {
      exportRva = *bytes.U32(optional + first);
    }
  }

  const std::uint64_t table = optional + optionalSize;
  if (!bytes.Has(table, std::uint64_t{sectionCount} * kSectionHeaderSize)) return std::nullopt;
  std::vector<Section> sections(sectionCount);
  for (std::uint16_t i = 0; i < sectionCount; ++i) {
    const std::uint64_t h = table + std::uint64_t{i} * kSectionHeaderSize;
    sections[i] = {*bytes.U32(h + 12), *bytes.U32(h + 8), *bytes.U32(h + 16), *bytes.U32(h + 20)};
    // Raw data reaching past the end of the file: truncated, or a size that lies. The loader
    // refuses such an image, and so does this reader.
    if (!bytes.Has(sections[i].rawOffset, sections[i].rawSize)) return std::nullopt;
  }
  if (exportRva == 0) return image;

  const auto directory = MapArray(sections, bytes, exportRva, 1, kExportDirectorySize);
  if (!directory) return std::nullopt;
  const std::uint32_t functionCount = *bytes.U32(*directory + 20);
  const std::uint32_t nameCount = *bytes.U32(*directory + 24);
  const auto functions = MapArray(sections, bytes, *bytes.U32(*directory + 28), functionCount, 4);
  const auto names = MapArray(sections, bytes, *bytes.U32(*directory + 32), nameCount, 4);
  const auto ordinals = MapArray(sections, bytes, *bytes.U32(*directory + 36), nameCount, 2);
  if (nameCount > 0 && (!functions || !names || !ordinals)) return std::nullopt;

  image.exportNames.reserve(nameCount);
  for (std::uint32_t i = 0; i < nameCount; ++i) {
    const std::uint16_t ordinal = *bytes.U16(*ordinals + std::uint64_t{i} * 2);
    if (ordinal >= functionCount) return std::nullopt;
    const std::uint32_t function = *bytes.U32(*functions + std::uint64_t{ordinal} * 4);
    const auto name = MapRva(sections, bytes, *bytes.U32(*names + std::uint64_t{i} * 4));
    if (!name || name->available == 0) return std::nullopt;
    std::string text;
    std::uint64_t n = 0;
    while (n < name->available && bytes.At(name->offset + n) != 0) ++n;
    if (n == name->available) return std::nullopt;  // no terminating zero inside the section
    text.assign(reinterpret_cast<const char*>(data.data() + name->offset), n);
    // An entry without an address exports nothing; a forwarder points into the export
    // directory itself and is resolved by the loader elsewhere, so it counts.
    if (function != 0) image.exportNames.push_back(std::move(text));
  }
  return image;
}

std::optional<PeImage> ReadPeImage(const std::string& path) {
  std::error_code error;
  const std::filesystem::path file(
      std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
  const auto size = std::filesystem::file_size(file, error);
  if (error || size > kMaxPeFileSize) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (static_cast<std::uint64_t>(in.gcount()) != size) return std::nullopt;
  return ParsePeImage(data);
}

}  // namespace kdx::platform
