#pragma once
// Helpers shared by the table engine's tests.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kdx/memtable/MemTable.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Text.h"

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

// UTF-8 literal -> cp1250 bytes.
inline std::string Cp(const char* utf8) {
  bool ok = false;
  std::string s = text::Utf8ToCp1250(utf8, &ok);
  EXPECT_TRUE(ok) << utf8;
  return s;
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

// A temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    path_ = std::filesystem::temp_directory_path() /
            ("kdx-memtable-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
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
