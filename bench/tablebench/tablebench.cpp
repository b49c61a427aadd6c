// tablebench: the import table's file routines on generated data, for whole-process timing.
//
//   tablebench gen N FILE        writes an import-table file of N records
//   tablebench load FILE         loads it into a table of the import schema, prints the count
//   tablebench roundtrip IN OUT  loads IN and saves it to OUT with [mtfSaveData]
//   tablebench find FILE K       loads, selects IDX_KDXFile, runs K case-insensitive lookups
//
// Besides its result on stdout each command reports on stderr the records' slot bytes (records
// times the bytes of one record) and the process's peak resident memory.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>
#include <vector>

#include "kdx/memtable/MemTable.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Text.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

using kdx::TMemTable;
using kdx::TVariant;

std::string Cp(const char* utf8) {
  return kdx::text::Utf8ToCp1250(utf8);
}

const std::vector<std::string>& Words() {
  static const std::vector<std::string> words = [] {
    std::vector<std::string> w;
    for (const char* s :
         {"Pobočka",    "Brno",     "sklad",    "Jih",     "přenos",     "soubor",    "účetnictví",
          "Velkor",     "Ostrava",  "Plzeň",    "České",   "Budějovice", "žluťoučký", "kůň",
          "úpěl",       "ďábelské", "ódy",      "50%",     "\"Sever\"",  "a, b",      "Hotovo.",
          "Pokračujte", "v",        "programu", "uložení", "dat",        "%n",        "ŘÍJEN"})
      w.push_back(Cp(s));
    return w;
  }();
  return words;
}

std::string Sentence(std::mt19937& random, int words) {
  std::string s;
  for (int i = 0; i < words; ++i) {
    if (i) s += random() % 9 == 0 ? "\r\n" : " ";
    s += Words()[random() % Words().size()];
  }
  return s;
}

// A value of a field: null now and then, sometimes empty, else a sentence.
TVariant Value(std::mt19937& random, int words) {
  const unsigned r = random() % 20;
  if (r == 0) return {};
  if (r == 1) return TVariant("");
  return TVariant(Sentence(random, 1 + static_cast<int>(random() % words)));
}

void Report(const TMemTable& table) {
  const std::size_t records = static_cast<std::size_t>(table.Active() ? table.RecordCount() : 0);
  const std::size_t slotBytes = records * table.RecordSize();
  long peakKiB = 0;
#ifndef _WIN32
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  peakKiB = usage.ru_maxrss;
#endif
  std::fprintf(stderr, "slot bytes: %zu, peak RSS: %ld KiB\n", slotBytes, peakKiB);
}

std::unique_ptr<TMemTable> Load(const std::string& path) {
  auto table = kdx::CreateImportTable();
  table->OpenTable();
  table->LoadFromTableFile(path);
  return table;
}

int Gen(long count, const std::string& path) {
  auto table = kdx::CreateImportTable();
  table->OpenTable();
  std::mt19937 random(20261208);
  const char* letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
  for (long i = 0; i < count; ++i) {
    table->AppendRecord();
    table->Fields(0)->SetValue(Value(random, 6));
    std::string file;
    const int len = 3 + static_cast<int>(random() % 6);
    for (int c = 0; c < len; ++c) file.push_back(letters[random() % 37]);
    file += random() % 2 ? ".KDX" : ".kdx";
    if (random() % 25) table->Fields(1)->SetAsString(file);
    table->Fields(2)->SetValue(TVariant("C:\\Prenosy\\" + Sentence(random, 1) + "\\"));
    table->Fields(3)->SetValue(Value(random, 12));
    table->Fields(4)->SetValue(Value(random, 10));
    table->PostRecord();
  }
  table->SaveToTableFile(path, {kdx::mtfSaveData});
  std::printf("%d\n", table->RecordCount());
  return 0;
}

int Find(const std::string& path, long lookups) {
  auto table = Load(path);
  // Keys: KDXFile values of the loaded records, upper-cased as the receive action does.
  std::vector<std::string> keys;
  kdx::TField* file = table->FieldByName("KDXFile");
  for (int i = 1; i <= table->RecordCount() && keys.size() < 1000; i += 97)
    keys.push_back(kdx::text::AnsiUpperCase(table->DisplayTextAt(i, *file)));
  keys.push_back("NO_SUCH.KDX");
  table->SetIndexName("IDX_KDXFile");
  long found = 0;
  for (long i = 0; i < lookups; ++i)
    found += table->FindRecord("KDXFile", TVariant(keys[static_cast<std::size_t>(i) % keys.size()]),
                               {kdx::loCaseInsensitive});
  std::printf("%ld\n", found);
  Report(*table);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: tablebench gen N FILE | load FILE | roundtrip IN OUT | find FILE K\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "gen") return Gen(std::atol(args[1].c_str()), args[2]);
    if (args.size() == 2 && args[0] == "load") {
      auto table = Load(args[1]);
      std::printf("%d\n", table->RecordCount());
      Report(*table);
      return 0;
    }
    if (args.size() == 3 && args[0] == "roundtrip") {
      auto table = Load(args[1]);
      table->SaveToTableFile(args[2], {kdx::mtfSaveData});
      std::printf("%d\n", table->RecordCount());
      Report(*table);
      return 0;
    }
    if (args.size() == 3 && args[0] == "find") return Find(args[1], std::atol(args[2].c_str()));
    return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tablebench: %s\n", kdx::text::Cp1250ToUtf8(e.what()).c_str());
    return 1;
  }
}
