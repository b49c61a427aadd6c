#include "kdx/memtable/Schemas.h"

namespace kdx {

void DefineImportTable(TMemTable& table) {
  table.AddStringField(fields::kNazev, 100);
  table.AddStringField(fields::kKDXFile, 12);
  table.AddStringField(fields::kSavePath, 255);
  table.AddStringField(fields::kInfoText, 255);
  table.AddStringField(fields::kEndText, 255);
  table.IndexDefs().Add(kImportKdxFileIndex, fields::kKDXFile);
}

void DefineExportTable(TMemTable& table) {
  table.AddStringField(fields::kNazev, 100);
  table.AddStringField(fields::kKDXFilePath, 255);
  table.AddStringField(fields::kEmail, 50);
  table.AddStringField(fields::kInfoText, 255);
  table.AddStringField(fields::kEndText, 255);
  table.AddBooleanField(fields::kEmailShow);
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
