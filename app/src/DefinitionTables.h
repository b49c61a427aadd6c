#pragma once
// The two definition tables described once: what the start-up, the loads and saves and the
// settings window do alike for the receive (import) and the send (export) definitions is done
// by looping over kDefinitionTables.

#include <array>
#include <cstddef>

#include "kdx/memtable/MemTable.h"
#include "kdx/memtable/Schemas.h"

namespace kdx::app {

struct TDefinitionTable {
  const char* fileName;              // the table file, in TableFolders
  void (*define)(TMemTable& table);  // declares the schema on a closed table with no fields
  // A boolean field a new definition gets as true (nullptr: none), besides its name.
  const char* trueOnAdd;
};

// Index of a definition table; also the index of its page in the settings window.
inline constexpr std::size_t kImportDefinitions = 0;
inline constexpr std::size_t kExportDefinitions = 1;

inline constexpr std::array<TDefinitionTable, 2> kDefinitionTables{{
    {"kdx_imp.tab", DefineImportTable, nullptr},
    {"kdx_exp.tab", DefineExportTable, fields::kEmailShow},
}};

}  // namespace kdx::app
