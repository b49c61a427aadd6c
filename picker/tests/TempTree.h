#pragma once
// A temporary directory tree for the picker tests. Creating one remembers the process's
// current directory; destroying it goes back there and removes the tree.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "kdx/platform/Directory.h"

namespace kdx::picker::testing {

class TempTree {
public:
  TempTree() : saved_(std::filesystem::current_path()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kdxpick-XXXXXX").string();
#ifdef _WIN32
    root_ = std::filesystem::temp_directory_path() /
            ("kdxpick-" + std::to_string(std::rand()) + std::to_string(::GetTickCount()));
    std::filesystem::create_directories(root_);
#else
    root_ = mkdtemp(pattern.data());
#endif
    root_ = std::filesystem::canonical(root_);
  }
  ~TempTree() {
    std::filesystem::current_path(saved_);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // Full native path of `relative` inside the tree ("" is the tree's root).
  std::string Path(const std::string& relative = "") const {
    return relative.empty() ? root_.string() : (root_ / relative).make_preferred().string();
  }
  void Dir(const std::string& relative) const { std::filesystem::create_directories(root_ / relative); }
  void File(const std::string& relative) const { std::ofstream(root_ / relative) << "x"; }

private:
  std::filesystem::path saved_;
  std::filesystem::path root_;
};

}  // namespace kdx::picker::testing
