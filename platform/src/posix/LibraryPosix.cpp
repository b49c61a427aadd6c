// Dynamic libraries on POSIX: dlopen / dlsym / dlclose, and libelf to read a library's exports
// without loading it. Names arrive in cp1250 and are handed to
// the loader in the file system's UTF-8.

#include <dlfcn.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "kdx/platform/Library.h"
#include "kdx/platform/Text.h"

namespace kdx::platform {

namespace {

LibraryHandle Open(const std::string& path, int mode, LibraryError* error) {
  const std::string native = text::Cp1250ToUtf8(path);
  if (native.find('/') != std::string::npos && native[0] != '/') {
    // A relative path would be taken in the current folder, which the folder picker moves to
    // wherever the user browses. A bare name is searched for as the loader searches.
    if (error) {
      error->code = 0;
      error->text = text::Utf8ToCp1250(native + ": a relative library path is not loaded");
    }
    return nullptr;
  }
  dlerror();
  void* handle = dlopen(native.c_str(), mode);
  if (!handle && error) {
    // The loader gives no system code (errno is left as it was, whatever the cause), only its
    // text, which names the file and the cause.
    const char* text = dlerror();
    error->code = 0;
    error->text = text::Utf8ToCp1250(text ? text : "");
  }
  return handle;
}

// The ELF file open for reading; closed with the object.
class ElfFile {
 public:
  explicit ElfFile(const std::string& path) {
    if (elf_version(EV_CURRENT) == EV_NONE) return;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0) elf_ = elf_begin(fd_, ELF_C_READ, nullptr);
  }
  ~ElfFile() {
    if (elf_) elf_end(elf_);
    if (fd_ >= 0) ::close(fd_);
  }
  ElfFile(const ElfFile&) = delete;
  ElfFile& operator=(const ElfFile&) = delete;
  Elf* get() const { return elf_; }

 private:
  int fd_ = -1;
  Elf* elf_ = nullptr;
};

// Class and machine of the running program: a library of another kind cannot be loaded.
bool SameKindAsThisProgram(Elf* elf) {
  static const std::pair<int, int> self = [] {
    ElfFile exe("/proc/self/exe");
    GElf_Ehdr header;
    if (!exe.get() || !gelf_getehdr(exe.get(), &header)) return std::pair<int, int>{-1, -1};
    return std::pair<int, int>{gelf_getclass(exe.get()), header.e_machine};
  }();
  GElf_Ehdr header;
  if (elf_kind(elf) != ELF_K_ELF || !gelf_getehdr(elf, &header)) return false;
  return header.e_type == ET_DYN && gelf_getclass(elf) == self.first &&
         header.e_machine == self.second;
}

// The functions the file defines and exports in its dynamic symbol table.
std::set<std::string> ExportedFunctions(Elf* elf) {
  std::set<std::string> names;
  Elf_Scn* section = nullptr;
  while ((section = elf_nextscn(elf, section)) != nullptr) {
    GElf_Shdr header;
    if (!gelf_getshdr(section, &header) || header.sh_type != SHT_DYNSYM || header.sh_entsize == 0)
      continue;
    Elf_Data* data = elf_getdata(section, nullptr);
    if (!data) continue;
    const std::size_t count = header.sh_size / header.sh_entsize;
    for (std::size_t i = 0; i < count; ++i) {
      GElf_Sym symbol;
      if (!gelf_getsym(data, static_cast<int>(i), &symbol)) continue;
      const int type = GELF_ST_TYPE(symbol.st_info);
      const int binding = GELF_ST_BIND(symbol.st_info);
      const int visibility = GELF_ST_VISIBILITY(symbol.st_other);
      if (symbol.st_shndx == SHN_UNDEF || (type != STT_FUNC && type != STT_GNU_IFUNC) ||
          (binding != STB_GLOBAL && binding != STB_WEAK) ||
          (visibility != STV_DEFAULT && visibility != STV_PROTECTED)) {
        continue;
      }
      if (const char* name = elf_strptr(elf, header.sh_link, symbol.st_name)) names.insert(name);
    }
  }
  return names;
}

}  // namespace

bool LibraryExportsAll(const std::string& path, const char* const* names, std::size_t count) {
  // Only a full path names one file: a relative one would be read from the current folder.
  if (path.empty() || path[0] != '/') return false;
  ElfFile file(text::Cp1250ToUtf8(path));
  if (!file.get() || !SameKindAsThisProgram(file.get())) return false;
  const std::set<std::string> exported = ExportedFunctions(file.get());
  for (std::size_t i = 0; i < count; ++i) {
    if (!exported.count(names[i])) return false;
  }
  return true;
}

LibraryHandle LoadLibraryForInspection(const std::string& path, LibraryError* error) {
  // Lazy binding and local symbols: the nearest POSIX has to "do not resolve references".
  return Open(path, RTLD_LAZY | RTLD_LOCAL, error);
}

LibraryHandle LoadLibraryByName(const std::string& path, LibraryError* error) {
  return Open(path, RTLD_NOW | RTLD_LOCAL, error);
}

void* ResolveFunction(LibraryHandle library, const char* name) {
  if (!library) return nullptr;
  // dlsym would also find a name that only one of the library's dependencies exports: the name
  // counts only when the library's own file exports the function, the rule LibraryExportsAll
  // applies before the library is loaded.
  link_map* loaded = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &loaded) != 0 || !loaded || !loaded->l_name) return nullptr;
  ElfFile file(loaded->l_name);
  if (!file.get() || !ExportedFunctions(file.get()).count(name)) return nullptr;
  return dlsym(library, name);
}

void FreeLibraryHandle(LibraryHandle library) {
  if (library) dlclose(library);
}

}  // namespace kdx::platform
