#include "CoreTestSupport.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "kdx/platform/Text.h"

namespace fs = std::filesystem;

namespace kdx::test {

std::string Cp(std::string_view utf8) {
  bool lossless = false;
  std::string cp1250 = text::Utf8ToCp1250(utf8, &lossless);
  if (!lossless) throw std::invalid_argument("not a cp1250 text: " + std::string(utf8));
  return cp1250;
}

fs::path PathFromUtf8(std::string_view utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Path(const fs::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

namespace {

std::string RandomName(std::size_t length) {
  static constexpr char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  thread_local std::mt19937_64 random(
      std::random_device{}() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string name;
  for (std::size_t i = 0; i < length; ++i) name += kAlphabet[pick(random)];
  return name;
}

// Removes a folder tree that a test may have left write-protected (or, on POSIX, unreadable):
// every folder is opened up before it is entered, every file made writable (which is what
// Windows asks for before deleting it). Links are not followed.
void RemoveTree(const fs::path& root) {
  std::error_code ec;
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::recursive_directory_iterator it(root, ec), end;
  while (!ec && it != end) {
    std::error_code ignored;
    if (!it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    it.increment(ec);
  }
  fs::remove_all(root, ec);
}

}  // namespace

TempDir::TempDir(std::string_view prefix) {
  std::error_code ec;
  previousCurrentDir_ = fs::current_path(ec);
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) throw std::runtime_error("no temporary folder: " + ec.message());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path folder = base / PathFromUtf8(std::string(prefix) + RandomName(8));
    if (fs::create_directory(folder, ec)) {
      fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
      path_ = Utf8Path(fs::canonical(folder).make_preferred());
      return;
    }
    if (ec) break;  // false without an error: the name was taken
  }
  throw std::runtime_error("cannot make a folder in " + Utf8Path(base) + ": " + ec.message());
}

TempDir::~TempDir() {
  const fs::path root = PathFromUtf8(path_);
  std::error_code ec;
  fs::current_path(previousCurrentDir_, ec);
  // That directory gone meanwhile: anywhere outside the folder will do (Windows cannot remove
  // the current directory).
  if (ec) fs::current_path(root.parent_path(), ec);
  RemoveTree(root);
}

std::string TempDir::operator/(std::string_view relative) const {
  if (relative.empty()) return path_;
  return Utf8Path((PathFromUtf8(path_) / PathFromUtf8(relative)).make_preferred());
}

std::string TempDir::MakeDir(std::string_view relative) const {
  const std::string path = *this / relative;
  std::error_code ec;
  fs::create_directories(PathFromUtf8(path), ec);
  if (ec) throw std::runtime_error("cannot make " + path + ": " + ec.message());
  return path;
}

std::string TempDir::WriteFile(std::string_view relative, std::string_view bytes) const {
  const std::string path = *this / relative;
  test::WriteFile(path, bytes);
  return path;
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)), previous_(GetEnv(name_)) {
  SetEnv(name_, value);
}

ScopedEnv::~ScopedEnv() {
  try {
    SetEnv(name_, previous_);
  } catch (...) {
  }
}

ScopedCwd::ScopedCwd(const std::string& dir) : previous_(fs::current_path()) {
  fs::current_path(PathFromUtf8(dir));
}

ScopedCwd::~ScopedCwd() {
  std::error_code ec;
  fs::current_path(previous_, ec);
}

}  // namespace kdx::test
