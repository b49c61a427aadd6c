#pragma once
// The program's two definition tables: the receive (import) definitions with the index
// IDX_KDXFile on KDXFile, and the send (export) definitions. Field order is the column order
// of their table files.

#include <memory>

#include "kdx/memtable/MemTable.h"

namespace kdx {

inline constexpr const char* kImportKdxFileIndex = "IDX_KDXFile";

// The definition tables' field names.
namespace fields {
inline constexpr const char* kNazev = "Nazev";              // both
inline constexpr const char* kInfoText = "InfoText";        // both
inline constexpr const char* kEndText = "EndText";          // both
inline constexpr const char* kKDXFile = "KDXFile";          // import
inline constexpr const char* kSavePath = "SavePath";        // import
inline constexpr const char* kKDXFilePath = "KDXFilePath";  // export
inline constexpr const char* kEmail = "Email";              // export
inline constexpr const char* kEmailShow = "EmailShow";      // export
}  // namespace fields

// Declares the fields and index definitions on a closed table with no fields.
//   ImportTable: Nazev(100) KDXFile(12) SavePath(255) InfoText(255) EndText(255);
//                index IDX_KDXFile on KDXFile
//   ExportTable: Nazev(100) KDXFilePath(255) Email(50) InfoText(255) EndText(255) EmailShow(bool)
void DefineImportTable(TMemTable& table);
void DefineExportTable(TMemTable& table);

// New closed tables named "ImportTable" / "ExportTable" with those schemas.
std::unique_ptr<TMemTable> CreateImportTable();
std::unique_ptr<TMemTable> CreateExportTable();

}  // namespace kdx
