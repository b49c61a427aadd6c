// The POSIX stand-in of the registry: a read-only view over files in the .reg text format
// (RegFileParser.cpp reads them), looked up and cached here.

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <utility>

#include "RegFile.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Registry.h"

namespace kdx::platform {

namespace {

struct Sources {
  std::mutex mutex;
  std::string systemFolder = "/etc/kdx-manager";
  std::function<std::string()> builtIn;
};

Sources& RegistrySources() {
  static Sources sources;
  return sources;
}

// The files that make up the registry, lowest layer first; empty when the built-in registry
// applies.
std::vector<std::string> RegistryFiles(const std::string& systemFolder) {
  if (const char* only = std::getenv("KDX_REGISTRY")) return {only};
  std::vector<std::string> files;
  const std::string system = systemFolder + "/registry.reg";
  if (!systemFolder.empty() && FileExists(system)) files.push_back(system);
  std::string config;
  // Relative folders would be taken in the current folder, wherever the user last browsed.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    config = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
    config = std::string(home) + "/.config";
  }
  if (!config.empty() && FileExists(config + "/kdx-manager/registry.reg")) {
    files.push_back(config + "/kdx-manager/registry.reg");
  }
  return files;
}

std::string Signature(const std::vector<std::string>& files, const std::string& builtIn) {
  std::ostringstream out;
  for (const std::string& file : files) {
    struct stat st {};
    out << file << '\n';
    if (::stat(file.c_str(), &st) == 0) {
      out << st.st_ino << ':' << st.st_size << ':' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec
          << '\n';
    }
  }
  if (files.empty()) out << "built-in:" << builtIn;
  return out.str();
}

std::shared_ptr<const RegTree> LoadTree() {
  static std::mutex mutex;
  static std::string cachedSignature;
  static std::shared_ptr<const RegTree> cached;

  std::string systemFolder;
  std::function<std::string()> builtInFn;
  {
    Sources& sources = RegistrySources();
    std::lock_guard<std::mutex> lock(sources.mutex);
    systemFolder = sources.systemFolder;
    builtInFn = sources.builtIn;
  }
  const std::vector<std::string> files = RegistryFiles(systemFolder);
  const std::string builtIn = files.empty() && builtInFn ? builtInFn() : std::string();
  const std::string signature = Signature(files, builtIn);
  std::lock_guard<std::mutex> lock(mutex);
  if (cached && signature == cachedSignature) return cached;

  auto tree = std::make_shared<RegTree>();
  if (files.empty() && builtInFn) ParseRegFile(*tree, builtIn, "<built-in>");
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ERegistryFileError("Cannot read registry file \"" + file + "\"");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw ERegistryFileError("Cannot read registry file \"" + file + "\"");
    ParseRegFile(*tree, bytes, file);
  }
  cached = tree;
  cachedSignature = signature;
  return cached;
}

class FileRegistryKey : public RegistryKey {
 public:
  FileRegistryKey(std::shared_ptr<const RegTree> tree, const RegNode* node)
      : tree_(std::move(tree)), node_(node) {}

  bool QueryValueInfo(const std::string& name, std::uint32_t& type,
                      std::uint32_t& size) const override {
    const RegValue* value = Find(name);
    if (!value) return false;
    type = value->type;
    size = static_cast<std::uint32_t>(value->data.size());
    return true;
  }

  bool ReadValue(const std::string& name, std::uint32_t size, std::string& data) const override {
    const RegValue* value = Find(name);
    if (!value || value->data.size() > size) return false;
    data = value->data;
    return true;
  }

  bool QueryInfo(std::uint32_t& subkeyCount, std::uint32_t& maxSubkeyNameLength) const override {
    subkeyCount = static_cast<std::uint32_t>(node_->children.size());
    maxSubkeyNameLength = 0;
    for (const auto& [folded, child] : node_->children) {
      maxSubkeyNameLength =
          std::max(maxSubkeyNameLength, static_cast<std::uint32_t>(child.name.size()));
    }
    return true;
  }

  bool EnumSubkey(std::uint32_t index, std::uint32_t bufferLength,
                  std::string& name) const override {
    if (index >= node_->children.size()) return false;
    auto it = node_->children.begin();
    std::advance(it, index);
    if (it->second.name.size() + 1 > bufferLength) return false;
    name = it->second.name;
    return true;
  }

 private:
  const RegValue* Find(const std::string& name) const {
    auto it = node_->values.find(FoldRegName(name));
    return it == node_->values.end() ? nullptr : &it->second;
  }

  std::shared_ptr<const RegTree> tree_;
  const RegNode* node_;
};

}  // namespace

namespace {

std::string ExchangeSystemRegistryFolder(std::string folder) {
  Sources& sources = RegistrySources();
  std::lock_guard<std::mutex> lock(sources.mutex);
  return std::exchange(sources.systemFolder, std::move(folder));
}

}  // namespace

ScopedSystemRegistryFolderForTesting::ScopedSystemRegistryFolderForTesting(std::string folder)
    : previous_(ExchangeSystemRegistryFolder(std::move(folder))) {}

ScopedSystemRegistryFolderForTesting::~ScopedSystemRegistryFolderForTesting() {
  ExchangeSystemRegistryFolder(std::move(previous_));
}

void SetBuiltInRegistry(std::function<std::string()> regText) {
  Sources& sources = RegistrySources();
  std::lock_guard<std::mutex> lock(sources.mutex);
  sources.builtIn = std::move(regText);
}

bool HasOtherRegistryView() {
  return true;
}

std::unique_ptr<RegistryKey> RegistryKey::Open(RegistryRoot root, const std::string& path,
                                               RegistryView view) {
  std::vector<std::string> parts = SplitRegPath(path);
  if (view == RegistryView::Other) {
    // The other view is where the registry editor shows it on 64-bit Windows:
    // HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node. Nothing else has a second view.
    if (root != RegistryRoot::LocalMachine || parts.empty() ||
        FoldRegName(parts[0]) != FoldRegName("SOFTWARE"))
      return nullptr;
    parts.insert(parts.begin() + 1, "WOW6432Node");
  }
  std::shared_ptr<const RegTree> tree = LoadTree();
  auto rootIt = tree->find(root);
  if (rootIt == tree->end()) return nullptr;
  const RegNode* node = &rootIt->second;
  for (const std::string& part : parts) {
    auto it = node->children.find(FoldRegName(part));
    if (it == node->children.end()) return nullptr;
    node = &it->second;
  }
  return std::make_unique<FileRegistryKey>(tree, node);
}

}  // namespace kdx::platform
