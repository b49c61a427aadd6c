#pragma once
// Helpers shared by the table engine's tests.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "kdx/memtable/MemTable.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Text.h"

namespace kdx {

// The tests' way to a table's internals (a friend of TMemTable).
class TMemTableTestPeer {
 public:
  static TMemTableCommon& Store(TMemTable& table) { return *table.common_; }
};

}  // namespace kdx

namespace kdx::test {

// The message of the kdx::Exception that `f` raises, or "(no error)".
template <typename F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

constexpr unsigned kCzech = 0x0405;

// A fresh, open import / export table.
inline std::unique_ptr<TMemTable> OpenImport() {
  auto t = CreateImportTable();
  t->OpenTable();
  return t;
}
inline std::unique_ptr<TMemTable> OpenExport() {
  auto t = CreateExportTable();
  t->OpenTable();
  return t;
}

// Appends and posts one record; a null TVariant leaves the field null.
inline void AddRecord(TMemTable& t, const std::vector<TVariant>& values) {
  t.AppendRecord();
  for (std::size_t i = 0; i < values.size(); ++i)
    if (!values[i].IsNull()) t.Fields(static_cast<int>(i))->SetValue(values[i]);
  t.PostRecord();
}

// Values of one field over the current index, top to bottom (the cursor ends on the last).
inline std::vector<std::string> Column(TMemTable& t, const std::string& field) {
  std::vector<std::string> out;
  for (int i = 1; i <= t.RecordCount(); ++i)
    out.push_back(t.DisplayTextAt(i, *t.FieldByName(field)));
  return out;
}

// Records every event the table sends.
struct Recorder : TBindingListener {
  struct Event {
    BindingEvent event;
    TField* field;
    int distance;
  };
  std::vector<Event> events;
  void DataEvent(BindingEvent event, TField* field, int distance) override {
    events.push_back({event, field, distance});
  }
  int Count(BindingEvent e) const {
    int n = 0;
    for (const auto& x : events) n += x.event == e;
    return n;
  }
};

}  // namespace kdx::test
