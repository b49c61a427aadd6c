// TMemTable::FindRecord: the search for the first record whose key equals given values.

#include <mutex>

#include "FieldAccess.h"
#include "FieldNames.h"
#include "MemIndex.h"
#include "MemTableCommon.h"
#include "kdx/memtable/MemTable.h"

namespace kdx {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

}  // namespace

bool TMemTable::FindRecord(const std::string& fieldNames, const TVariant& values,
                           TLocateOptions options) {
  Guard guard(common_->Lock());
  CheckActive();
  SettleRecord();

  TKeyFields keys;
  for (const std::string& name : SplitFieldNames(fieldNames)) {
    TKeyField key;
    key.Field = FieldByName(name);
    key.CaseInsensitive = options.Contains(loCaseInsensitive);
    key.PartialKey = options.Contains(loPartialKey);
    keys.push_back(key);
  }
  if (keys.empty()) throw EMemTableError("There must be at least one field");

  std::vector<TVariant> given;
  if (values.IsArray()) {
    if (values.DimCount() > 1)
      throw EMemTableError("Values variant array has invalid dimension count");
    given = values.Items();
  } else {
    given.push_back(values);
  }
  if (given.size() < keys.size()) throw EMemTableError("More fields than values");

  // The key: each value in the form of its field (texts are not cut to the field's size, so a
  // longer key equals no stored value).
  std::vector<TVariant> key(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const TVariant& v = given[i];
    const TField& field = *keys[i].Field;
    const auto invalid = [&] {
      throw EDatabaseError(FormatMessage("Invalid value for field '%s'", field.DisplayName()));
    };
    switch (v.GetKind()) {
      case TVariant::Kind::Null:
        break;
      case TVariant::Kind::Array:
        invalid();
        break;
      case TVariant::Kind::String:
        if (field.DataType() == TFieldType::String) {
          key[i] = v;
        } else if (text::EqualsAsciiNoCase(v.Text(), "True")) {
          key[i] = TVariant(true);
        } else if (text::EqualsAsciiNoCase(v.Text(), "False")) {
          key[i] = TVariant(false);
        } else if (!v.Text().empty()) {
          invalid();
        }
        break;
      case TVariant::Kind::Boolean:
      case TVariant::Kind::Integer:
        if (field.DataType() == TFieldType::Boolean) {
          key[i] = TVariant(v.Integer() != 0);
        } else if (v.GetKind() == TVariant::Kind::Boolean) {
          key[i] = TVariant(v.Boolean() ? csv_.TrueString : csv_.FalseString);
        } else {
          key[i] = TVariant(std::to_string(v.Integer()));
        }
        break;
    }
  }

  const auto& list = current_->List();
  int found = -1;
  bool sameFields = !current_->IsRowOrder() && current_->Keys().size() == keys.size();
  for (std::size_t i = 0; sameFields && i < keys.size(); ++i)
    sameFields = current_->Keys()[i].Field == keys[i].Field;
  // A binary search needs an order in which the records equal to the key stand together. The
  // index's own order, compared case-blind wherever the index or the search is case-blind, is
  // such an order for one field: the index is sorted by it (a case-sensitive collation keeps
  // texts that differ only in case together), and every record equal under the search's rule is
  // equal under it. It is not one for the fields after a field that the search compares more
  // coarsely than the index does: "a"/"k" and "A"/"k" are parted by every "a" record whose second
  // field sorts after "k". So the run is cut after the first such field. The search finds the
  // first record of the run and walks it for the first record that the search's own rule calls
  // equal. Stored texts that merely begin with a key need not stand together, so a partial key
  // is always walked.
  if (sameFields && list.size() > 20 && current_->UpToDate() && !options.Contains(loPartialKey)) {
    TKeyFields run;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const TKeyField& indexKey = current_->Keys()[i];
      TKeyField field = keys[i];
      field.Descending = indexKey.Descending;
      field.CaseInsensitive = keys[i].CaseInsensitive || indexKey.CaseInsensitive;
      run.push_back(field);
      if (field.CaseInsensitive != indexKey.CaseInsensitive) break;
    }
    std::size_t lo = current_->LowerBound([&](const unsigned char* record) {
      return CompareRecordToKey(record, key, run, localeId_) < 0;
    });
    for (; lo < list.size() && CompareRecordToKey(list[lo]->Data(), key, run, localeId_) == 0;
         ++lo) {
      if (CompareRecordToKey(list[lo]->Data(), key, keys, localeId_) == 0) {
        found = static_cast<int>(lo);
        break;
      }
    }
  } else {
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (CompareRecordToKey(list[i]->Data(), key, keys, localeId_) == 0) {
        found = static_cast<int>(i);
        break;
      }
    }
  }
  if (found < 0) return false;
  cursor_ = found;
  bof_ = eof_ = false;
  Notify(BindingEvent::WholeData);
  return true;
}

}  // namespace kdx
