// The table file, writing: SaveToTableFile (and the same text for tests and tools).

#include <cstring>
#include <exception>
#include <mutex>
#include <optional>

#include "FieldAccess.h"
#include "MemIndex.h"
#include "MemTableCommon.h"
#include "TableFileFormat.h"
#include "TableFileIO.h"
#include "kdx/memtable/MemTable.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Files.h"
#include "kdx/platform/Text.h"

namespace kdx {

namespace {

using namespace tablefile;

// The display width a definition line carries: a text field's size, 5 for a truth value.
int DisplayWidthOf(const TField& field) {
  return field.DataType() == TFieldType::Boolean ? 5 : field.Size();
}

void AppendQuoted(std::string& out, std::string_view value, char quote) {
  out.push_back(quote);
  for (char c : value) {
    if (c == quote) out.push_back(quote);
    out.push_back(c);
  }
  out.push_back(quote);
}

// A text value: escaped, then quoted.
void AppendTextValue(std::string& out, std::string_view value, char quote) {
  out.push_back(quote);
  for (char c : value) {
    switch (c) {
      case '\0':
        out += "%0";
        break;
      case '\n':
        out += "%n";
        break;
      case '\r':
        out += "%c";
        break;
      case '%':
        out += "%%";
        break;
      default:
        if (c == quote) out.push_back(quote);
        out.push_back(c);
    }
  }
  out.push_back(quote);
}

}  // namespace

std::string TMemTable::BuildTableText(TMemTableSaveFlags flags) {
  std::lock_guard guard(common_->Lock());
  DisableControls();
  struct Restore {
    TMemTable* t;
    ~Restore() { t->EnableControls(); }
  } restore{this};

  struct Column {
    const TField* field;
    bool hasValue;
  };
  std::vector<Column> columns;
  for (const auto& f : fields_) {
    // Every field is a data field: mtfSaveCalculated and mtfSaveLookup select nothing here.
    bool hasValue = flags.Contains(mtfSaveData);
    if (!f->Visible() && !flags.Contains(mtfSaveNonVisible)) hasValue = false;
    if (!hasValue && flags.Contains(mtfSkipRest)) continue;
    columns.push_back({f.get(), hasValue});
  }

  const char q = csv_.Quote;
  std::string out;
  std::string line;
  if (flags.Contains(mtfSaveDef)) {
    AppendQuoted(out, kFileVersion, q);
    out.push_back(csv_.FieldDelimiter);
    AppendQuoted(out, "251", q);
    out += "\r\n";
    AppendQuoted(out, kTableDefStart, q);
    out += "\r\n";
    for (const Column& c : columns) {
      const TField& f = *c.field;
      line =
          f.FieldName() + "=" + FieldTypeName(f.DataType()) + "," + std::to_string(f.Size()) + ",";
      AppendQuoted(line, f.DisplayName(), '"');
      line.push_back(',');
      AppendQuoted(line, "", '"');  // no edit mask
      line += "," + std::to_string(DisplayWidthOf(f));
      if (f.Required()) line += ",REQ";
      if (f.ReadOnly()) line += ",RO";
      if (!f.Visible()) line += ",INV";
      line += ",";
      // The kind name; with mtfSaveFieldKind the field's own kind, which is "Data" for every
      // field here.
      line += "Data";
      line.push_back(',');
      AppendQuoted(line, "", '"');  // no default expression
      AppendQuoted(out, line, q);
      out += "\r\n";
    }
    if (flags.Contains(mtfSaveIndexDef)) {
      AppendQuoted(out, kIndexDefStart, q);
      out += "\r\n";
      for (int i = 0; i < indexDefs_.Count(); ++i) {
        const TIndexDef& d = indexDefs_[i];
        line = d.Name + "=";
        AppendQuoted(line, d.Fields, '"');
        line.push_back(',');
        AppendQuoted(line, d.DisplayName(), '"');
        if (d.Options.Contains(ixDescending)) line += ",DESC";
        if (d.Options.Contains(ixCaseInsensitive)) line += ",CASE";
        if (d.Options.Contains(ixNonMaintained)) line += ",NONMT";
        if (d.Options.Contains(ixUnique)) line += ",UNIQ";
        AppendQuoted(out, line, q);
        out += "\r\n";
      }
      AppendQuoted(out, kIndexDefEnd, q);
      out += "\r\n";
    }
    AppendQuoted(out, kTableDefEnd, q);
    out += "\r\n";
  }

  if (!flags.Contains(mtfSaveNoHeader)) {
    for (const Column& c : columns) {
      AppendQuoted(out, c.field->DisplayName(), q);
      if (c.field->Index() != FieldCount() - 1) out.push_back(csv_.FieldDelimiter);
    }
    if (csv_.RecordDelimiter != '\0') out.push_back(csv_.RecordDelimiter);
    out += "\r\n";
  }

  if (current_) {
    for (const TMemRecord* record : current_->List()) {
      const unsigned char* data = record->Data();
      bool first = true;
      for (const Column& c : columns) {
        if (!first) out.push_back(csv_.FieldDelimiter);
        first = false;
        if (!c.hasValue) continue;
        const unsigned char* slot = TFieldAccess::Slot(*c.field, data);
        if (TFieldAccess::IsNull(slot)) continue;
        if (c.field->DataType() == TFieldType::Boolean)
          AppendQuoted(out, TFieldAccess::Truth(slot) ? csv_.TrueString : csv_.FalseString, q);
        else
          AppendTextValue(out, TFieldAccess::Text(*c.field, slot), q);
      }
      if (csv_.RecordDelimiter != '\0') out.push_back(csv_.RecordDelimiter);
      out += "\r\n";
    }
  }
  return out;
}

std::string TMemTable::SaveToTableText(TMemTableSaveFlags flags) {
  std::lock_guard guard(common_->Lock());
  if (flags.Contains(mtfSaveDeltas))
    throw EMemTableError("Saving deltas is supported only in binary format.");
  CheckActive();
  SettleRecord();
  return BuildTableText(flags);
}

void TMemTable::SaveToTableFile(const std::string& fileName, TMemTableSaveFlags flags) {
  std::lock_guard guard(common_->Lock());
  // Checked before any file is touched.
  if (flags.Contains(mtfSaveDeltas))
    throw EMemTableError("Saving deltas is supported only in binary format.");
  CheckActive();
  // The one replacement of a file (platform's FileReplacer): a temporary file renamed over the
  // table, or, where the folder lets no file be made, the table written in place. Either keeps
  // the file's permissions. The messages are the stream's: "Cannot create file" when the file
  // cannot be replaced at all, "Stream write error" when writing or flushing fails.
  std::optional<platform::FileReplacer> file;
  try {
    file.emplace(fileName, flags.Contains(mtfSaveAppend),
                 platform::ReplacedPermissions::kKeepExisting);
  } catch (const EOSError&) {
    throw EFCreateError(FormatMessage("Cannot create file %s", PathForMessage(fileName)));
  }
  SettleRecord();
  const std::string content = BuildTableText(flags);
  try {
    file->Write(content.data(), content.size());
    file->Commit();
  } catch (const EOSError&) {
    throw EWriteError("Stream write error");
  }
}

}  // namespace kdx
