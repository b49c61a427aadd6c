#include "AppTestSupport.h"

#include <QCoreApplication>

#include "Forms.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Path.h"
#include "mainUnit.h"

namespace kdx::test {

namespace {

// A definition's texts by field name (UTF-8; an empty one stays null) and its flags.
std::vector<std::pair<const char*, std::string>> Texts(const ImportDef& d) {
  return {{fields::kNazev, d.Nazev},
          {fields::kKDXFile, d.KDXFile},
          {fields::kSavePath, d.SavePath},
          {fields::kInfoText, d.InfoText},
          {fields::kEndText, d.EndText}};
}
std::vector<std::pair<const char*, std::string>> Texts(const ExportDef& d) {
  return {{fields::kNazev, d.Nazev},
          {fields::kKDXFilePath, d.KDXFilePath},
          {fields::kEmail, d.Email},
          {fields::kInfoText, d.InfoText},
          {fields::kEndText, d.EndText}};
}
void SetFlags(TMemTable&, const ImportDef&) {}
void SetFlags(TMemTable& t, const ExportDef& d) {
  t.FieldByName(fields::kEmailShow)->SetAsBoolean(d.EmailShow);
}

// Saves `table` to `path` with one record per definition.
template <typename Definition>
void SaveDefinitions(std::unique_ptr<TMemTable> table, const std::vector<Definition>& definitions,
                     const std::string& path) {
  table->OpenTable();
  for (const Definition& d : definitions) {
    table->AppendRecord();
    for (const auto& [field, utf8] : Texts(d)) {
      if (!utf8.empty()) table->FieldByName(field)->SetAsString(Cp(utf8));
    }
    SetFlags(*table, d);
    table->PostRecord();
  }
  table->SaveToTableFile(path);
}

}  // namespace

ProgramRun::ProgramRun() : executable_(Folder() + "KDXMngr"), quit_([this] { ++quits_; }) {
  dir_.MakeDir("program");
  app::ResetRunValues();
}

// The hooks go after this: a quit request still queued is counted.
ProgramRun::~ProgramRun() {
  QCoreApplication::processEvents();
  app::DestroyForms();
  app::ResetRunValues();
}

std::string ProgramRun::Folder() const {
  return (dir_ / "program") + platform::kPathDelim;
}

std::string ProgramRun::MakeFolder(const std::string& name) const {
  return dir_.MakeDir(name) + platform::kPathDelim;
}

void ProgramRun::WriteFile(const std::string& path, const std::string& contents) const {
  test::WriteFile(path, contents);
}

std::string ProgramRun::ReadFile(const std::string& path) {
  return test::ReadFile(path);
}

void ProgramRun::WriteImports(const std::vector<ImportDef>& defs) const {
  SaveDefinitions(CreateImportTable(), defs, Folder() + app::kImportFileName);
}

void ProgramRun::WriteExports(const std::vector<ExportDef>& defs) const {
  SaveDefinitions(CreateExportTable(), defs, Folder() + app::kExportFileName);
}

void ProgramRun::WriteRawImportFile(const std::string& bytes) const {
  WriteFile(Folder() + app::kImportFileName, bytes);
}

void ProgramRun::Start(const QStringList& arguments) {
  commandLine_.emplace(arguments);
  app::CreateForms();
  app::StartRun();
}

void ProgramRun::StartNative(const std::vector<std::string>& arguments) {
  commandLine_.emplace(arguments);
  app::CreateForms();
  app::StartRun();
}

void ProgramRun::StartWithProgramArguments() {
  commandLine_.reset();
  app::CreateForms();
  app::StartRun();
}

int ProgramRun::QuitCount() {
  QCoreApplication::processEvents();
  return quits_;
}

}  // namespace kdx::test
