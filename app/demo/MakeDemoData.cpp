// Writes the bundled demo beside the built program: the two definition tables (through the
// table's own writer), a received transfer file and a transfer file to send.
//
//   kdx_make_demo <program folder>
//
// <program folder>/kdx_imp.tab, kdx_exp.tab and <program folder>/demo/...:
//   demo/mail/pob1_pb.kdx          the attachment "received" by mail (receive mode opens it)
//   demo/Velkor/Prijem/            the folder the accounting program reads incoming files from
//   demo/Velkor/Odeslani/SKLAD.KDX the file the send definition mails

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Text.h"

namespace fs = std::filesystem;

namespace {

std::string Cp(const char* utf8) {
  return kdx::text::Utf8ToCp1250(utf8);
}

std::string Folder(const fs::path& p) {
  std::string s = p.string();
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

void Set(kdx::TMemTable& t, const char* field, const std::string& value) {
  t.FieldByName(field)->SetAsString(value);
}

void WriteSample(const fs::path& path, const char* branch) {
  std::ofstream out(path, std::ios::binary);
  out << "KDX transfer file (demo)\r\nbranch=" << branch << "\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kdx_make_demo <program folder>\n");
    return 2;
  }
  try {
    const fs::path root = fs::absolute(argv[1]);
    const fs::path demo = root / "demo";
    fs::create_directories(demo / "mail");
    fs::create_directories(demo / "Velkor" / "Prijem");
    fs::create_directories(demo / "Velkor" / "Odeslani");
    WriteSample(demo / "mail" / "pob1_pb.kdx", "Brno");
    WriteSample(demo / "Velkor" / "Odeslani" / "SKLAD.KDX", "centrala");

    auto imports = kdx::CreateImportTable();
    imports->OpenTable();
    imports->AppendRecord();
    Set(*imports, kdx::fields::kNazev, Cp("Přenos z pobočky Brno"));
    Set(*imports, kdx::fields::kKDXFile, "POB1_PB.KDX");
    Set(*imports, kdx::fields::kSavePath, Folder(demo / "Velkor" / "Prijem"));
    Set(*imports, kdx::fields::kInfoText,
        Cp("Uložení přenosového souboru z pobočky Brno do složky pro přenosy"));
    Set(*imports, kdx::fields::kEndText,
        Cp("Přenosový soubor byl uložen do složky pro přenosy, nyní pokračujte "
           "v Velkor volbou Agenda/Přenos dat/Přenos dat z pobočky"));
    imports->PostRecord();
    imports->SaveToTableFile((root / "kdx_imp.tab").string());

    auto exports = kdx::CreateExportTable();
    exports->OpenTable();
    exports->AppendRecord();
    Set(*exports, kdx::fields::kNazev, Cp("Zaslání přenosového souboru pobočce Brno"));
    Set(*exports, kdx::fields::kKDXFilePath, (demo / "Velkor" / "Odeslani" / "SKLAD.KDX").string());
    Set(*exports, kdx::fields::kEmail, "pobocka.brno@example.cz");
    Set(*exports, kdx::fields::kInfoText,
        Cp("Připojení přenosového souboru centrály k e-mailu pro pobočku Brno"));
    Set(*exports, kdx::fields::kEndText,
        Cp("E-mail s přenosovým souborem byl předán poštovnímu programu."));
    exports->FieldByName(kdx::fields::kEmailShow)->SetAsBoolean(true);
    exports->PostRecord();
    exports->AppendRecord();
    Set(*exports, kdx::fields::kNazev, Cp("Zaslání přenosového souboru do skladu (bez adresy)"));
    Set(*exports, kdx::fields::kKDXFilePath, (demo / "Velkor" / "Odeslani" / "SKLAD.KDX").string());
    Set(*exports, kdx::fields::kInfoText, Cp("Definice bez e-mailové adresy: akce ohlásí chybu"));
    exports->PostRecord();
    exports->SaveToTableFile((root / "kdx_exp.tab").string());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kdx_make_demo: %s\n", e.what());
    return 1;
  }
  return 0;
}
