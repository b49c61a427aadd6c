// Fuzzes LoadFromTableText with arbitrary bytes. Besides the sanitizers' findings it checks one
// property: whatever a load produced, saving it with its definitions and loading that into an
// undeclared table gives a table that saves to the very same bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Text.h"

namespace {

// Columns are matched by display name ignoring ASCII case; with two alike the round trip is
// ambiguous by design.
bool DisplayNamesDistinct(const kdx::TMemTable& t) {
  std::set<std::string> names;
  for (int i = 0; i < t.FieldCount(); ++i)
    if (!names.insert(kdx::text::AsciiUpperCase(t.Fields(i)->DisplayName())).second) return false;
  return true;
}

// The reader takes a header line whose first value is a section marker for that marker, so a
// table whose first column is displayed under a marker's name cannot come back as it was.
bool HeaderReadsAsHeader(const kdx::TMemTable& t) {
  if (t.FieldCount() == 0) return true;
  const std::string first = t.Fields(0)->DisplayName();
  for (const char* marker : {"@@FILE VERSION@@", "@@TABLEDEF START@@", "@@TABLEDEF END@@",
                             "@@INDEXDEF START@@", "@@INDEXDEF END@@"})
    if (first == marker) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const kdx::TMemTableSaveFlags flags{kdx::mtfSaveData, kdx::mtfSaveNonVisible, kdx::mtfSaveDef,
                                      kdx::mtfSaveIndexDef};
  auto table = kdx::CreateImportTable();
  table->OpenTable();
  try {
    table->LoadFromTableText(bytes);
  } catch (const kdx::Exception&) {
    // A rejected definition; what was loaded so far must still be consistent.
  }
  if (!table->Active()) return 0;
  table->RecordCount();
  for (int r = 1; r <= table->RecordCount(); ++r)
    for (int f = 0; f < table->FieldCount(); ++f) table->DisplayTextAt(r, *table->Fields(f));
  if (!DisplayNamesDistinct(*table) || !HeaderReadsAsHeader(*table)) return 0;

  const std::string first = table->SaveToTableText(flags);
  kdx::TMemTable copy("Copy");
  copy.OpenTable();
  copy.LoadFromTableText(first);
  const std::string second = copy.SaveToTableText(flags);
  if (first != second) {
    std::fprintf(stderr, "round trip differs:\n--- first\n%s\n--- second\n%s\n", first.c_str(),
                 second.c_str());
    std::abort();
  }
  return 0;
}
