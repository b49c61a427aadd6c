// The table file, reading: LoadFromTableFile (and from bytes in memory, for tests and tools).

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>

#include "FieldAccess.h"
#include "MemIndex.h"
#include "MemTableCommon.h"
#include "TableFileFormat.h"
#include "TableFileIO.h"
#include "TableFileLexer.h"
#include "kdx/memtable/MemTable.h"
#include "kdx/platform/Errors.h"
#include "kdx/platform/Text.h"

namespace kdx {

namespace {

using namespace tablefile;

constexpr std::size_t kBlockSize = 8192;

class TMemorySource : public TByteSource {
 public:
  explicit TMemorySource(const std::string& bytes) : bytes_(bytes) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const std::string& bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

// Reads the lines of a table file into a table (the definition section, the header, the
// records). The table's controls are disabled and its index maintenance is off meanwhile.
class TTableFileReader {
 public:
  TTableFileReader(TMemTable& table, const std::string& sourceName)
      : t_(table), fixed_(table.fixedDefinitions_), sourceName_(sourceName), bytes_(table.csv_) {}

  TMemRecord* remembered = nullptr;

  // One line of the file, without its line end; a CR, LF or NUL follows it in memory, and
  // kReadAhead - 1 more bytes.
  void Line(std::string_view line) {
    if (dataPhase_) {
      RecordAt(line.data());
      return;
    }
    std::size_t pos = 0;
    const ValueKind kind = ReadValue(line, pos, value_, t_.csv_);
    if (kind == ValueKind::Value) {
      if (value_ == kFileVersion) return;
      if (fixed_ && FixedMarker()) return;
      if (value_ == kTableDefStart) {
        declaredBytes_ = 0;
        t_.CloseTable();
        // The fields the table had are kept aside, not freed: bound controls still point to
        // them until the load tells them of the new ones, and a table that cannot be opened
        // under the section's definitions takes them back.
        if (!fieldsKept_) {
          keptFields_ = std::move(t_.fields_);
          fieldsKept_ = true;
        }
        KeepIndexDefs();
        t_.ClearFieldsUnchecked();
        remembered = nullptr;
        inTableDef_ = true;
        return;
      }
      if (value_ == kTableDefEnd) {
        inTableDef_ = false;
        t_.OpenTable();
        return;
      }
      if (value_ == kIndexDefStart) {
        if (t_.indexes_) {
          t_.indexes_->DropAllButRowOrder();
          t_.current_ = t_.indexes_->RowOrder();
        }
        KeepIndexDefs();
        t_.indexDefs_.Clear();
        inIndexDef_ = true;
        return;
      }
      if (value_ == kIndexDefEnd) {
        inIndexDef_ = false;
        if (t_.indexes_) {
          t_.CreateIndexes();  // rebuilt when the load ends
          t_.indexes_->MarkAllOutOfDate();
        }
        return;
      }
      if (inTableDef_) {
        if (fixed_ && inIndexDef_)
          CheckIndexDefinition(value_);
        else if (fixed_)
          CheckFieldDefinition(value_);
        else if (inIndexDef_)
          IndexDefinition(value_);
        else
          FieldDefinition(value_);
        return;
      }
    }
    Header(line);
  }

  // The table is closed and cannot be opened under what a definition section of this load left
  // (an index over a field the section does not declare, no fields at all): puts back the
  // definitions the table had before the load. False when this load replaced none.
  bool PutBackDefinitions() {
    if (!fieldsKept_ && !indexDefsKept_) return false;
    if (fieldsKept_) {
      t_.fields_ = std::move(keptFields_);
      fieldsKept_ = false;
      t_.LayoutRecords();
      t_.Notify(BindingEvent::FieldLayout);
    }
    if (indexDefsKept_) {
      t_.indexDefs_ = keptIndexDefs_;
      indexDefsKept_ = false;
    }
    remembered = nullptr;
    return true;
  }

  // Reads one record line in place. `line` runs to the first CR, LF or NUL, which is followed by
  // kReadAhead - 1 more bytes in memory; returns where the line ends. Values are read as ReadValue
  // reads them, in one pass over the line, and a text goes from the line (unescaped when it holds a
  // '%') to the record.
  const char* RecordAt(const char* line) {
    t_.AppendLoadedRecord();
    const char* p = line;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      unsigned char kind;
      // Characters before a quote or a delimiter are skipped.
      while (!((kind = ByteKind(*p)) & (kLineEnd | kQuote | kDelimiter))) ++p;
      if (kind & kLineEnd) break;  // no more values: the remaining fields stay null
      if (!(kind & kQuote)) {      // a delimiter right away: null
        ++p;
        if (!columns_[c].fresh) StoreNull(columns_[c]);  // over an earlier column's value
        continue;
      }
      // The value runs to the next single quote; a doubled quote is one quote of the value,
      // which is then gathered in value_.
      const char* start = ++p;
      bool escaped = false, gathered = false;
      std::size_t kept = 0;  // what survives if no closing quote comes
      for (;;) {
        p = bytes_.FindValueStop(p, escaped);
        kind = ByteKind(*p);
        if (!(kind & kQuote) || !(ByteKind(p[1]) & kQuote)) break;
        if (!gathered) value_.clear();
        gathered = true;
        value_.append(start, p + 1);
        kept = value_.size();
        start = p += 2;
      }
      if (kind & kLineEnd) {
        // No closing quote: the value keeps what precedes the opening quote or the last doubled
        // quote, and it is the line's last.
        if (gathered) value_.resize(kept);
        StoreValue(columns_[c], gathered ? std::string_view(value_) : std::string_view(start, 0),
                   escaped);
        break;
      }
      std::string_view value(start, static_cast<std::size_t>(p - start));
      if (gathered) value = value_.append(value);
      StoreValue(columns_[c], value, escaped);
      // The closing quote and the character after it are skipped, unless that ends the line.
      if (ByteKind(p[1]) & kLineEnd) {
        ++p;
        break;
      }
      p += 2;
    }
    while (!(ByteKind(*p) & kLineEnd)) ++p;
    t_.PostLoadedRecord();
    return p;
  }

  // Record lines are read in place (RecordAt) once the header is read.
  bool ReadsRecords() const { return dataPhase_; }

  // The file has ended: with fixed definitions, a definition section that never ended must
  // still have declared every field.
  void Finish() {
    if (fixed_ && inTableDef_) CheckEveryFieldDefined();
  }

 private:
  void KeepIndexDefs() {
    if (indexDefsKept_) return;
    keptIndexDefs_ = t_.indexDefs_;
    indexDefsKept_ = true;
  }

  // The flags of a field definition line: REQ, RO and INV after the display width (tokens[4]),
  // up to the kind name.
  struct TFieldFlags {
    bool required = false, readOnly = false, invisible = false;
    bool operator==(const TFieldFlags&) const = default;
  };
  static TFieldFlags FlagsOf(const std::vector<std::string>& tokens) {
    TFieldFlags flags;
    for (std::size_t i = 5; i < tokens.size(); ++i) {
      if (tokens[i] == "REQ")
        flags.required = true;
      else if (tokens[i] == "RO")
        flags.readOnly = true;
      else if (tokens[i] == "INV")
        flags.invisible = true;
      else
        break;  // the kind name (only data fields exist here), then the default expression
    }
    return flags;
  }

  static TIndexDef IndexDefOf(const std::string& text) {
    const auto [name, tokens] = SplitDefinitionLine(text, '"');
    TIndexOptions options;
    for (std::size_t i = 2; i < tokens.size(); ++i) {
      if (tokens[i] == "DESC") options.Include(ixDescending);
      if (tokens[i] == "CASE") options.Include(ixCaseInsensitive);
      if (tokens[i] == "NONMT") options.Include(ixNonMaintained);
      if (tokens[i] == "UNIQ") options.Include(ixUnique);
    }
    return TIndexDef{name, tokens[0], options};
  }

  void FieldDefinition(const std::string& text) {
    const auto [name, tokens] = SplitDefinitionLine(text, '"');
    const std::string& type = tokens[0];
    int size = 0;
    if (tokens.size() > 1) ParseDecimal(tokens[1], size);
    if (t_.FieldCount() >= TMemTable::kMaxLoadedFields)
      throw EMemTableError("Too many fields in CSV file. (" + text + ")");
    TField* field;
    if (type == "String") {
      if (size < 1 || size > TMemTable::kMaxStringSize)
        throw EMemTableError(FormatMessage("Invalid field size (%s) in CSV file. (%s)",
                                           tokens.size() > 1 ? tokens[1] : std::string(), text));
      declaredBytes_ += static_cast<std::size_t>(size);
      if (declaredBytes_ > TMemTable::kMaxLoadedRecordBytes)
        throw EMemTableError("Field sizes exceed the record size in CSV file. (" + text + ")");
      field = t_.AddStringField(name, size);
    } else if (type == "Boolean") {
      field = t_.AddBooleanField(name);
    } else {
      throw EMemTableError(FormatMessage("Unknown field type (%s) in CSV file. (%s)", type, text));
    }
    if (tokens.size() > 2 && tokens[2] != name) field->SetDisplayLabel(tokens[2]);
    // tokens[3] and tokens[4], the edit mask and the display width, mean nothing to this table.
    const TFieldFlags flags = FlagsOf(tokens);
    field->SetRequired(flags.required);
    field->SetReadOnly(flags.readOnly);
    field->SetVisible(!flags.invisible);
  }

  void IndexDefinition(const std::string& text) {
    TIndexDef def = IndexDefOf(text);
    t_.indexDefs_.Add(std::move(def.Name), std::move(def.Fields), def.Options);
  }

  // --- fixed definitions: a definition section is compared with the table's own ---------------

  [[noreturn]] void Refuse(const std::string& what) const {
    throw EMemTableError("Table file " + sourceName_ + " does not match table " + t_.Name() + ": " +
                         what);
  }

  // The section markers; true when `value_` is one of them.
  bool FixedMarker() {
    if (value_ == kTableDefStart) {
      inTableDef_ = true;
      fieldsSeen_ = 0;
    } else if (value_ == kTableDefEnd) {
      CheckEveryFieldDefined();
      inTableDef_ = false;
    } else if (value_ == kIndexDefStart) {
      inIndexDef_ = true;
      indexesSeen_ = 0;
    } else if (value_ == kIndexDefEnd) {
      if (indexesSeen_ < t_.indexDefs_.Count())
        Refuse("index " + t_.indexDefs_[indexesSeen_].Name + " is not defined");
      inIndexDef_ = false;
    } else {
      return false;
    }
    return true;
  }

  void CheckFieldDefinition(const std::string& text) {
    if (fieldsSeen_ >= t_.FieldCount()) Refuse("field definition (" + text + ") is one too many");
    const TField& field = *t_.Fields(fieldsSeen_);
    const auto [name, tokens] = SplitDefinitionLine(text, '"');
    int size = 0;
    const bool sized = tokens.size() > 1 && ParseDecimal(tokens[1], size);
    const std::string label = tokens.size() > 2 && !tokens[2].empty() ? tokens[2] : name;
    const bool same =
        name == field.FieldName() && tokens[0] == FieldTypeName(field.DataType()) &&
        (field.DataType() == TFieldType::Boolean || (sized && size == field.Size())) &&
        label == field.DisplayName() &&
        FlagsOf(tokens) == TFieldFlags{field.Required(), field.ReadOnly(), !field.Visible()};
    if (!same) Refuse("field definition (" + text + ") differs from field " + field.FieldName());
    ++fieldsSeen_;
  }

  void CheckEveryFieldDefined() const {
    if (fieldsSeen_ < t_.FieldCount())
      Refuse("field " + t_.Fields(fieldsSeen_)->FieldName() + " is not defined");
  }

  void CheckIndexDefinition(const std::string& text) {
    if (indexesSeen_ >= t_.indexDefs_.Count())
      Refuse("index definition (" + text + ") is one too many");
    const TIndexDef& own = t_.indexDefs_[indexesSeen_];
    const TIndexDef def = IndexDefOf(text);
    if (def.Name != own.Name || def.Fields != own.Fields || !(def.Options == own.Options))
      Refuse("index definition (" + text + ") differs from index " + own.Name);
    ++indexesSeen_;
  }

  void Header(std::string_view line) {
    // A definition section that never ended is finished here.
    if (!t_.Active()) t_.OpenTable();
    std::vector<TField*> fields;  // by column
    ForEachValue(line, t_.csv_, value_, [&](ValueKind kind, const std::string& name, std::size_t) {
      const int column = static_cast<int>(fields.size());
      TField* field = nullptr;
      if (kind == ValueKind::Null) {
        if (column < t_.FieldCount()) field = t_.Fields(column);
      } else {
        for (int i = 0; i < t_.FieldCount() && !field; ++i)
          if (text::EqualsAsciiNoCase(t_.Fields(i)->DisplayName(), name)) field = t_.Fields(i);
      }
      fields.push_back(field);
    });
    PrepareRecords(fields);
    dataPhase_ = true;
  }

  static constexpr unsigned char kLineEnd = TLineBytes::kLineEnd, kQuote = TLineBytes::kQuote,
                                 kDelimiter = TLineBytes::kDelimiter;
  unsigned char ByteKind(char c) const { return bytes_.Kind(c); }

  // A column of the file and how its values are stored: not at all (the header names no field),
  // through the field's setters (a truth value, a read-only text field, whose setter refuses),
  // or straight into the record buffer (a text field). `fresh` tells that no earlier column
  // fills the same field, so its slot is still cleared when the column is read.
  struct TColumn {
    enum class Kind { Ignored, Setter, Direct } kind = Kind::Ignored;
    TField* field = nullptr;
    bool fresh = false;
  };

  void PrepareRecords(const std::vector<TField*>& fields) {
    std::vector<const TField*> seen;
    for (TField* field : fields) {
      TColumn column;
      column.field = field;
      if (field) {
        const bool text = field->DataType() == TFieldType::String;
        column.kind = text && !field->ReadOnly() ? TColumn::Kind::Direct : TColumn::Kind::Setter;
        column.fresh = std::find(seen.begin(), seen.end(), field) == seen.end();
        seen.push_back(field);
      }
      columns_.push_back(column);
    }
  }

  // Stores a value as read from the file (`escaped` when it holds a '%'): a truth value is true
  // when it is the true word, a text is unescaped.
  void StoreValue(const TColumn& column, std::string_view value, bool escaped) {
    TField* field = column.field;
    switch (column.kind) {
      case TColumn::Kind::Ignored:
        return;
      case TColumn::Kind::Setter:
        if (field->DataType() == TFieldType::Boolean) {
          field->SetAsBoolean(value == t_.csv_.TrueString);
        } else {
          Unescape(value, text_);
          field->SetAsString(text_);
        }
        return;
      case TColumn::Kind::Direct:
        break;
    }
    // As the field's own SetAsString stores it, with the table's lock already held and the
    // record in the insert state.
    unsigned char* slot = TFieldAccess::Slot(*field, t_.buffer_.data());
    if (!column.fresh) {
      if (escaped) {
        Unescape(value, text_);
        value = text_;
      }
      TFieldAccess::StoreText(*field, slot, value);
    } else if (escaped) {
      UnescapeInto(value, TFieldAccess::ClearedTextSlot(slot),
                   static_cast<std::size_t>(field->Size()));
    } else {
      TFieldAccess::StoreTextInClearedSlot(*field, slot, value);
    }
    t_.modified_ = true;
    if (t_.disableCount_ == 0) t_.Notify(BindingEvent::FieldValue, field);  // (not in a load)
  }

  // Clears the field of a column that an earlier column of the same name has filled.
  void StoreNull(const TColumn& column) {
    TField* field = column.field;
    switch (column.kind) {
      case TColumn::Kind::Ignored:
        return;
      case TColumn::Kind::Setter:
        field->Clear();
        return;
      case TColumn::Kind::Direct:
        break;
    }
    TFieldAccess::StoreNull(*field, TFieldAccess::Slot(*field, t_.buffer_.data()));
    t_.modified_ = true;
    if (t_.disableCount_ == 0) t_.Notify(BindingEvent::FieldValue, field);  // (not in a load)
  }

  TMemTable& t_;
  const bool fixed_;
  const std::string& sourceName_;
  int fieldsSeen_ = 0;             // fixed definitions: fields of the section compared so far
  int indexesSeen_ = 0;            // and index definitions
  std::size_t declaredBytes_ = 0;  // string sizes the section declared so far
  bool dataPhase_ = false;
  bool inTableDef_ = false;
  bool inIndexDef_ = false;
  std::vector<TColumn> columns_;
  const TLineBytes bytes_;
  std::string value_;
  std::string text_;
  // What the definition sections replaced (see PutBackDefinitions).
  bool fieldsKept_ = false;
  std::vector<std::unique_ptr<TField>> keptFields_;
  bool indexDefsKept_ = false;
  TIndexDefs keptIndexDefs_;
};

void TMemTable::LoadFromSource(TByteSource& source, const std::string& sourceName) {
  std::lock_guard guard(common_->Lock());
  CheckActive();
  std::vector<char> block(kBlockSize + kReadAhead);  // a NUL follows what was read
  std::size_t got = source.Read(block.data(), kBlockSize);
  if (got == 0) return;  // an empty file changes nothing

  // Declared first, so that the fields it keeps aside outlive the notices that let the bound
  // controls go of them.
  TTableFileReader reader(*this, sourceName);
  reader.remembered = CurrentRecord();
  SetIndexMaintenance(false);
  DisableControls();
  // Put back what the load switched off, also when it fails; records posted so far stay. The
  // table ends open and whole: every index holds every record and, unless the table is empty,
  // there is a current record.
  auto restore = [&] {
    SetIndexMaintenance(true);
    if (state_ == dsEdit || state_ == dsInsert) CancelRecord();
    std::exception_ptr failure;
    if (!Active()) {
      try {
        OpenTable();
      } catch (...) {
        if (!reader.PutBackDefinitions()) throw;
        failure = std::current_exception();
        OpenTable();
      }
    }
    try {
      RebuildIndexes();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
    SetCursorTo(reader.remembered);
    if (failure) std::rethrow_exception(failure);
  };
  // The load's own failure is the one reported; later ones only when there was none.
  std::exception_ptr failure;
  try {
    std::string carry;  // a line that continues into the next block
    const auto readCarry = [&] {
      const std::size_t size = carry.size();
      carry.append(kReadAhead, '\0');
      reader.Line(std::string_view(carry.data(), size));
      carry.clear();
    };
    while (got > 0) {
      block[got] = '\0';  // ends the block's last line for the scans of RecordAt
      const char* p = block.data();
      const char* end = p + got;
      // A line that starts before the block's last LF ends within the block.
      const char* afterLastLf = AfterLastLineFeed(p, end);
      while (p < end) {
        // A whole record line is read where it stands.
        if (carry.empty() && reader.ReadsRecords() && *p != '\r' && *p != '\n' && *p != '\0' &&
            (p < afterLastLf || FindLineEnd(p, end) < end)) {
          p = reader.RecordAt(p) + 1;
          continue;
        }
        const char* stop = FindLineEnd(p, end);
        if (stop == end) {
          carry.append(p, stop);
          break;
        }
        if (!carry.empty()) {
          carry.append(p, stop);
          readCarry();
        } else if (stop > p) {
          reader.Line(std::string_view(p, static_cast<std::size_t>(stop - p)));
        }
        p = stop + 1;
      }
      got = source.Read(block.data(), kBlockSize);
    }
    if (!carry.empty()) readCarry();
    reader.Finish();
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    restore();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  try {
    EnableControls();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

void TMemTable::LoadFromTableFile(const std::string& fileName) {
  std::lock_guard guard(common_->Lock());
  CheckActive();
  std::unique_ptr<TByteSource> source = OpenFileSource(fileName);
  LoadFromSource(*source, PathForMessage(fileName));
}

void TMemTable::LoadFromTableText(const std::string& bytes) {
  TMemorySource source(bytes);
  LoadFromSource(source, "(in memory)");
}

}  // namespace kdx
