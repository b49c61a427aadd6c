#include "Nastaveni.h"

#include <QPushButton>
#include <QTabWidget>

#include "Application.h"
#include "mainUnit.h"
#include "kdx/memtable/Schemas.h"

namespace kdx::app {

TfrmNastaveni::TfrmNastaveni(QWidget* parent)
    : QDialog(parent),
      ImportTable(CreateImportTable()),
      ExportTable(CreateExportTable()),
      DataSource1(std::make_unique<TDataSource>(ImportTable.get())),
      DataSource2(std::make_unique<TDataSource>(ExportTable.get())) {
  setObjectName(QStringLiteral("frmNastaveni"));
  setWindowTitle(QString::fromUtf8("Nastavení"));
  setFont(ProgramFont());
  resize(642, 539);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setGeometry(8, 8, 617, 457);
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  PageControl1->addTab(TabSheet1, QString::fromUtf8("Uložení souboru z e-mailu"));
  PageControl1->addTab(TabSheet2, QString::fromUtf8("Připojení souboru k e-mailu"));

  QFont bold = ProgramFont();
  bold.setBold(true);
  Button1 = new QPushButton(QString::fromUtf8("Uložit"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setFont(bold);
  Button1->setGeometry(352, 480, 89, 25);
  Button1->setDefault(true);
  Button3 = new QPushButton(QString::fromUtf8("Použít"), this);
  Button3->setObjectName(QStringLiteral("Button3"));
  Button3->setGeometry(448, 480, 89, 25);
  Button2 = new QPushButton(QString::fromUtf8("Storno"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(544, 480, 81, 25);
  connect(Button1, &QPushButton::clicked, this, [this] { RunHandler([this] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { RunHandler([this] { Button2Click(); }); });
  connect(Button3, &QPushButton::clicked, this, [this] { RunHandler([this] { Button3Click(); }); });
}

TfrmNastaveni::~TfrmNastaveni() = default;

// The detail controls are added with the window's pages.
void TfrmNastaveni::EnableImportDetails(bool) {}
void TfrmNastaveni::EnableExportDetails(bool) {}

void TfrmNastaveni::Button1Click() {
  SaveImportDefinitions();
  SaveExportDefinitions();
  accept();
}

void TfrmNastaveni::Button2Click() { reject(); }

void TfrmNastaveni::Button3Click() {
  SaveImportDefinitions();
  SaveExportDefinitions();
}

}  // namespace kdx::app
