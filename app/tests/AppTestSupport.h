#pragma once
// Helpers of the application tests: a run of the program on definition tables written into a
// temporary program folder, with the message boxes recorded and the quit request counted.

#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "CoreTestSupport.h"
#include "kdx/widgets/MessageBox.h"
#include "mainUnit.h"

namespace kdx::test {

// One import definition (UTF-8 texts; an unset optional field stays null).
struct ImportDef {
  std::string Nazev, KDXFile, SavePath, InfoText, EndText;
};
struct ExportDef {
  std::string Nazev, KDXFilePath, Email, InfoText, EndText;
  bool EmailShow = false;
};

class ProgramRun {
 public:
  ProgramRun();
  ~ProgramRun();

  // The program folder (where the table files go), with a trailing separator ('\' on Windows).
  std::string Folder() const;
  // A fresh sub-folder of the temporary folder, with a trailing separator.
  std::string MakeFolder(const std::string& name) const;
  void WriteFile(const std::string& path, const std::string& contents) const;
  static std::string ReadFile(const std::string& path);

  void WriteImports(const std::vector<ImportDef>& defs) const;
  void WriteExports(const std::vector<ExportDef>& defs) const;
  void WriteRawImportFile(const std::string& bytes) const;

  // Creates the four windows and runs StartRun with `arguments` as the command line.
  void Start(const QStringList& arguments);
  // The same with native arguments: bytes as the system would give them.
  void StartNative(const std::vector<std::string>& arguments);
  // The same with the command line the application object was started with.
  void StartWithProgramArguments();

  // Quit requests taken so far (after the queued requests were processed).
  int QuitCount();

  widgets::ScopedMessageRecorderForTesting& Boxes() { return boxes_; }
  const std::vector<widgets::MessageRequest>& Requests() const { return boxes_.Requests(); }

 private:
  TempDir dir_;
  widgets::ScopedMessageRecorderForTesting boxes_;
  int quits_ = 0;
  app::ScopedExecutablePathForTesting executable_;
  app::ScopedQuitHandlerForTesting quit_;
  std::optional<app::ScopedCommandLineForTesting> commandLine_;
};

}  // namespace kdx::test

// The main of an application test: the program's own application object (its notify() is under
// test too), then the Qt Test class.
#define KDX_APP_TEST_MAIN(TestClass)           \
  int main(int argc, char** argv) {            \
    kdx::app::TKdxApplication app(argc, argv); \
    app.setAttribute(Qt::AA_Use96Dpi, true);   \
    TestClass test;                            \
    return QTest::qExec(&test, argc, argv);    \
  }
