#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <stdexcept>

#include "Forms.h"
#include "mainUnit.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/platform/Text.h"

namespace kdx::test {

std::string Cp(const std::string& utf8) {
  bool ok = false;
  std::string s = text::Utf8ToCp1250(utf8, &ok);
  if (!ok) throw std::runtime_error("not cp1250: " + utf8);
  return s;
}

namespace {

void SetIfAny(TMemTable& t, const char* field, const std::string& utf8) {
  if (!utf8.empty()) t.FieldByName(field)->SetAsString(Cp(utf8));
}

}  // namespace

ProgramRun::ProgramRun() : boxes_(std::make_unique<widgets::ScopedMessageRecorder>()) {
  if (!dir_.isValid()) throw std::runtime_error("no temporary folder");
  QDir(dir_.path()).mkdir(QStringLiteral("program"));
  app::ResetRunValues();
  app::SetExecutablePathForTesting(Folder() + "KDXMngr");
  app::SetQuitHandlerForTesting([this] { ++quits_; });
}

ProgramRun::~ProgramRun() {
  QCoreApplication::processEvents();
  app::DestroyForms();
  app::SetCommandLineForTesting(std::nullopt);
  app::SetExecutablePathForTesting(std::nullopt);
  app::SetQuitHandlerForTesting({});
  app::ResetRunValues();
}

std::string ProgramRun::Folder() const {
  return QDir::toNativeSeparators(dir_.path() + "/program/").toStdString();
}

std::string ProgramRun::MakeFolder(const std::string& name) const {
  const QString path = dir_.path() + QLatin1Char('/') + QString::fromStdString(name);
  QDir().mkpath(path);
  return QDir::toNativeSeparators(path + "/").toStdString();
}

void ProgramRun::WriteFile(const std::string& path, const std::string& contents) const {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(contents.data(), static_cast<qint64>(contents.size())) !=
          static_cast<qint64>(contents.size()))
    throw std::runtime_error("cannot write " + path);
}

std::string ProgramRun::ReadFile(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll().toStdString();
}

void ProgramRun::WriteImports(const std::vector<ImportDef>& defs) const {
  auto table = CreateImportTable();
  table->OpenTable();
  for (const auto& d : defs) {
    table->AppendRecord();
    SetIfAny(*table, "Nazev", d.Nazev);
    SetIfAny(*table, "KDXFile", d.KDXFile);
    SetIfAny(*table, "SavePath", d.SavePath);
    SetIfAny(*table, "InfoText", d.InfoText);
    SetIfAny(*table, "EndText", d.EndText);
    table->PostRecord();
  }
  table->SaveToTableFile(Folder() + app::kImportFileName);
}

void ProgramRun::WriteExports(const std::vector<ExportDef>& defs) const {
  auto table = CreateExportTable();
  table->OpenTable();
  for (const auto& d : defs) {
    table->AppendRecord();
    SetIfAny(*table, "Nazev", d.Nazev);
    SetIfAny(*table, "KDXFilePath", d.KDXFilePath);
    SetIfAny(*table, "Email", d.Email);
    SetIfAny(*table, "InfoText", d.InfoText);
    SetIfAny(*table, "EndText", d.EndText);
    table->FieldByName("EmailShow")->SetAsBoolean(d.EmailShow);
    table->PostRecord();
  }
  table->SaveToTableFile(Folder() + app::kExportFileName);
}

void ProgramRun::WriteRawImportFile(const std::string& bytes) const {
  WriteFile(Folder() + app::kImportFileName, bytes);
}

void ProgramRun::Start(const QStringList& arguments) {
  app::SetCommandLineForTesting(arguments);
  app::CreateForms();
  app::StartRun();
}

void ProgramRun::StartWithProgramArguments() {
  app::SetCommandLineForTesting(std::nullopt);
  app::CreateForms();
  app::StartRun();
}

int ProgramRun::QuitCount() {
  QCoreApplication::processEvents();
  return quits_;
}

}  // namespace kdx::test
