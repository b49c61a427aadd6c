#pragma once
// The table file shared by its writer (TableFileWriter.cpp) and its reader (TableFileReader.cpp).
//
// Format (the program writes it with [mtfSaveData]):
//   - the stored 8-bit (cp1250) bytes as they are, no byte-order mark; every line ends CR LF;
//   - line 1, the header: each column's display name quoted, ',' between them, then the record
//     delimiter ',':            "Nazev","KDXFile","SavePath","InfoText","EndText",
//   - one line per record in the current index's order, values in column order, ',' between
//     them, then the record delimiter ',';
//   - null is written as nothing (two delimiters meet), the empty text as "";
//   - texts are escaped (NUL "%0", LF "%n", CR "%c", '%' "%%"), then quoted with every '"'
//     doubled; truth values are "True" / "False", quoted.
//   - with mtfSaveDef a definition section precedes the header:
//       "@@FILE VERSION@@","251"
//       "@@TABLEDEF START@@"
//       "Name=Type,Size,""Label"",""Mask"",Width[,REQ][,RO][,INV],Kind,""Default"""  per field
//       "@@INDEXDEF START@@" / "Name=""Fields"",""Display""[,DESC][,CASE][,NONMT][,UNIQ]" /
//       "@@INDEXDEF END@@"                                            (with mtfSaveIndexDef)
//       "@@TABLEDEF END@@"
//
// The reader takes 8192-byte blocks and cuts lines at CR, LF or NUL (a run of them ends one
// line, so blank lines vanish); a partial line is carried into the next block, so lines may be
// of any length. Values: characters before an opening quote are skipped; a delimiter right away
// is null; a quoted value runs to the next single quote ("" is one quote) and the character
// after the closing quote is skipped; an unterminated quote keeps only what precedes the
// opening quote or the last doubled quote. Unescaping leaves a '%' before any other character,
// or at the end, as it is.

#include "kdx/memtable/Field.h"

namespace kdx::tablefile {

// The type name of a field definition line.
inline const char* FieldTypeName(TFieldType type) {
  return type == TFieldType::Boolean ? "Boolean" : "String";
}

inline constexpr const char* kFileVersion = "@@FILE VERSION@@";
inline constexpr const char* kTableDefStart = "@@TABLEDEF START@@";
inline constexpr const char* kTableDefEnd = "@@TABLEDEF END@@";
inline constexpr const char* kIndexDefStart = "@@INDEXDEF START@@";
inline constexpr const char* kIndexDefEnd = "@@INDEXDEF END@@";

}  // namespace kdx::tablefile
