#pragma once
// The POSIX registry stand-in's in-memory tree and the reader of the .reg text format that fills
// it. Internal to platform/ (RegistryFile.cpp, the parser's fuzz target).

#include <map>
#include <string>
#include <vector>

#include "kdx/platform/Registry.h"

namespace kdx::platform {

struct RegValue {
  std::string name;
  std::uint32_t type = kRegNone;
  std::string data;  // texts in cp1250 with their terminating zero
};

struct RegNode {
  std::string name;
  std::map<std::string, RegNode> children;  // by folded name: the enumeration order
  std::map<std::string, RegValue> values;   // by folded name
};

using RegTree = std::map<RegistryRoot, RegNode>;

// Key and value names compare without regard to letter case, the same in every locale: the
// cp1250 name upper-cased by Unicode's rules.
std::string FoldRegName(const std::string& cp1250);

// The components of a backslash-separated key path; empty components are dropped.
std::vector<std::string> SplitRegPath(const std::string& path);

// Reads the bytes of one .reg file (UTF-16LE with a byte order mark, UTF-8, or cp1250 when not
// valid UTF-8) into `tree`, over what is there already: keys and values are added or replaced,
// "[-key]" and "name"=- delete. `fileName` names the file in error messages. Raises
// ERegistryFileError (file and line) when the text is not in the .reg format; `tree` may then
// hold part of the file.
void ParseRegFile(RegTree& tree, const std::string& bytes, const std::string& fileName);

}  // namespace kdx::platform
