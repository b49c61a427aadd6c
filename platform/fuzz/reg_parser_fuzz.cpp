// Fuzz target: one input is the bytes of a .reg file. Beyond crashes it checks that a file is
// either read or refused with ERegistryFileError naming the file and a line, that every key and
// value is kept under its folded name, and that reading the same bytes twice gives the same
// tree.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "RegFile.h"

namespace {

using kdx::platform::RegNode;
using kdx::platform::RegTree;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckNode(const RegNode& node) {
  for (const auto& [folded, child] : node.children) {
    Check(folded == kdx::platform::FoldRegName(child.name));
    Check(!child.name.empty());
    CheckNode(child);
  }
  for (const auto& [folded, value] : node.values) {
    Check(folded == kdx::platform::FoldRegName(value.name));
  }
}

bool SameTree(const RegNode& a, const RegNode& b) {
  if (a.name != b.name || a.children.size() != b.children.size() ||
      a.values.size() != b.values.size())
    return false;
  for (auto i = a.children.begin(), j = b.children.begin(); i != a.children.end(); ++i, ++j) {
    if (i->first != j->first || !SameTree(i->second, j->second)) return false;
  }
  for (auto i = a.values.begin(), j = b.values.begin(); i != a.values.end(); ++i, ++j) {
    if (i->first != j->first || i->second.type != j->second.type ||
        i->second.data != j->second.data)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  RegTree first;
  try {
    kdx::platform::ParseRegFile(first, bytes, "fuzz.reg");
  } catch (const kdx::platform::ERegistryFileError& e) {
    const std::string message = e.what();
    Check(message.find("\"fuzz.reg\", line ") != std::string::npos);
    return 0;
  }
  RegTree second;
  kdx::platform::ParseRegFile(second, bytes, "fuzz.reg");
  Check(first.size() == second.size());
  for (const auto& [root, node] : first) {
    CheckNode(node);
    Check(second.count(root) == 1 && SameTree(node, second.at(root)));
  }
  return 0;
}
