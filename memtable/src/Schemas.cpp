#include "kdx/memtable/Schemas.h"

namespace kdx {

void DefineImportTable(TMemTable& table) {
  table.AddStringField("Nazev", 100);
  table.AddStringField("KDXFile", 12);
  table.AddStringField("SavePath", 255);
  table.AddStringField("InfoText", 255);
  table.AddStringField("EndText", 255);
  table.IndexDefs().Add(kImportKdxFileIndex, "KDXFile");
}

void DefineExportTable(TMemTable& table) {
  table.AddStringField("Nazev", 100);
  table.AddStringField("KDXFilePath", 255);
  table.AddStringField("Email", 50);
  table.AddStringField("InfoText", 255);
  table.AddStringField("EndText", 255);
  table.AddBooleanField("EmailShow");
}

std::unique_ptr<TMemTable> CreateImportTable() {
  auto table = std::make_unique<TMemTable>("ImportTable");
  DefineImportTable(*table);
  return table;
}

std::unique_ptr<TMemTable> CreateExportTable() {
  auto table = std::make_unique<TMemTable>("ExportTable");
  DefineExportTable(*table);
  return table;
}

}  // namespace kdx
