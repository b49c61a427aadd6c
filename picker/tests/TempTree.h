#pragma once
// A temporary directory tree for the picker tests. Creating one remembers the process's
// current directory; destroying it goes back there and removes the tree.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "kdx/platform/Files.h"

namespace kdx::picker::testing {

class TempTree {
 public:
  TempTree() : saved_(std::filesystem::current_path()) {
    std::random_device random;
    for (;;) {
      root_ = std::filesystem::temp_directory_path() / ("kdxpick-" + std::to_string(random()));
      if (std::filesystem::create_directory(root_)) break;  // false: the name was taken
    }
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
  void Dir(const std::string& relative) const {
    std::filesystem::create_directories(root_ / relative);
  }
  void File(const std::string& relative) const { std::ofstream(root_ / relative) << "x"; }

 private:
  std::filesystem::path saved_;
  std::filesystem::path root_;
};

}  // namespace kdx::picker::testing
