#include "AppTestSupport.h"

#include <QCoreApplication>

#include "Forms.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Path.h"
#include "mainUnit.h"

namespace kdx::test {

namespace {

void SetIfAny(TMemTable& t, const char* field, const std::string& utf8) {
  if (!utf8.empty()) t.FieldByName(field)->SetAsString(Cp(utf8));
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
  auto table = CreateImportTable();
  table->OpenTable();
  for (const auto& d : defs) {
    table->AppendRecord();
    SetIfAny(*table, fields::kNazev, d.Nazev);
    SetIfAny(*table, fields::kKDXFile, d.KDXFile);
    SetIfAny(*table, fields::kSavePath, d.SavePath);
    SetIfAny(*table, fields::kInfoText, d.InfoText);
    SetIfAny(*table, fields::kEndText, d.EndText);
    table->PostRecord();
  }
  table->SaveToTableFile(Folder() + app::kImportFileName);
}

void ProgramRun::WriteExports(const std::vector<ExportDef>& defs) const {
  auto table = CreateExportTable();
  table->OpenTable();
  for (const auto& d : defs) {
    table->AppendRecord();
    SetIfAny(*table, fields::kNazev, d.Nazev);
    SetIfAny(*table, fields::kKDXFilePath, d.KDXFilePath);
    SetIfAny(*table, fields::kEmail, d.Email);
    SetIfAny(*table, fields::kInfoText, d.InfoText);
    SetIfAny(*table, fields::kEndText, d.EndText);
    table->FieldByName(fields::kEmailShow)->SetAsBoolean(d.EmailShow);
    table->PostRecord();
  }
  table->SaveToTableFile(Folder() + app::kExportFileName);
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
