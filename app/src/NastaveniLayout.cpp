#include "NastaveniLayout.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <type_traits>

#include "Nastaveni.h"
#include "kdx/memtable/Schemas.h"
#include "kdx/widgets/DBCheckBox.h"
#include "kdx/widgets/DBEdit.h"
#include "kdx/widgets/DBGrid.h"
#include "kdx/widgets/FormKit.h"

namespace kdx::app {

namespace {

using widgets::kMaroon;
using widgets::kNavy;

constexpr int kEditHeight = 21;

template <auto Member>
void StoreIn(TfrmNastaveni& window, QWidget* control) {
  using Pointer = std::remove_reference_t<decltype(window.*Member)>;
  window.*Member = static_cast<Pointer>(control);
}

using F = TfrmNastaveni;

}  // namespace

const std::array<TPageLayout, 2>& PageLayouts() {
  static const std::array<TPageLayout, 2> layouts{{
      {.sheet = StoreIn<&F::TabSheet1>,
       .sheetName = "TabSheet1",
       .caption = "Uložení souboru z e-mailu",
       .colour = kNavy,
       .intro =
           {
               {.store = StoreIn<&F::Label7>,
                .name = "Label7",
                .text = "Tato akce se spustí v okamžiku, kdy uživa- tel dvojitým kliknutím "
                        "\"otevře\" soubor *.KDX (koncovku *.KDX inst. program asocioval s tímto "
                        "doplňkem), který je obvykle zaslán jako příloha e-mailu.",
                .rect = {8, 8, 185, 81},
                .indent = 50},
               {.store = StoreIn<&F::Label18>,
                .name = "Label18",
                .text = "Uložení souboru z e-mailu.",
                .rect = {8, 8, 185, 14},
                .heading = true},
               {.store = StoreIn<&F::Label8>,
                .name = "Label8",
                .text =
                    "Program porovná název *.KDX souboru se všemi definicemi a pokud nalezne "
                    "záznam, který má zadaný stejný název souboru, přílohu z e-mailu nakopíruje do "
                    "předem určené složky (z této složky potom Velkor *.KDX soubor načítají).",
                .rect = {8, 92, 185, 97}},
           },
       .grid = StoreIn<&F::DBGrid1>,
       .gridName = "DBGrid1",
       .resizableGrid = false,
       .add = StoreIn<&F::Button4>,
       .addName = "Button4",
       .remove = StoreIn<&F::Button5>,
       .removeName = "Button5",
       .group = StoreIn<&F::GroupBox1>,
       .groupName = "GroupBox1",
       .rows =
           {
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label1>,
                .name = "Label1",
                .text = "Název definice (libovolný identifikační název)",
                .rect = {12, 12, 377, 14}},
               {.kind = RowKind::Edit,
                .store = StoreIn<&F::dbtext1>,
                .name = "dbtext1",
                .label = "Label1",
                .rect = {12, 28, 377, kEditHeight},
                .field = fields::kNazev},
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label2>,
                .name = "Label2",
                .text = "Název KDX souboru i s příponou, ale bez cesty (např. POB1_PB.KDX). Pokud "
                        "se tento název souboru bude shodovat se souborem otevřeným z e-mailu, "
                        "program ho uloží do složky definované níže.",
                .rect = {12, 58, 377, 42},
                .wrap = true},
               {.kind = RowKind::Edit,
                .store = StoreIn<&F::DBEdit1>,
                .name = "DBEdit1",
                .label = "Label2",
                .rect = {12, 101, 129, kEditHeight},
                .field = fields::kKDXFile},
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label3>,
                .name = "Label3",
                .text = "Soubor z přílohy e-mailu uložit do ... (zde je potřeba  uvést plnou cestu "
                        "ke složce, z které Velkor načítají přenosový soubor, např. "
                        "C:\\Velkor\\Prenosy\\)",
                .rect = {12, 131, 377, 42},
                .wrap = true},
               {.kind = RowKind::Edit,
                .store = StoreIn<&F::DBEdit2>,
                .name = "DBEdit2",
                .label = "Label3",
                .rect = {12, 174, 361, kEditHeight},
                .field = fields::kSavePath},
               {.kind = RowKind::Picker,
                .store = StoreIn<&F::BitBtn1>,
                .name = "BitBtn1",
                .text = "Vybrat složku",
                .rect = {373, 174, 20, 21}},
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label4>,
                .name = "Label4",
                .text =
                    "Popis akce - zde uveďte libovolný text, který bude srozumitelnou formou "
                    "informovat uživatele o tom, co se právě děje (např. \"Uložení přenosového "
                    "souboru z pobočky Liptákov\" , apod.). Text se zobrazí v poli \"Popis akce\"",
                .rect = {12, 204, 377, 56},
                .wrap = true},
               {.kind = RowKind::Edit,
                .store = StoreIn<&F::DBEdit3>,
                .name = "DBEdit3",
                .label = "Label4",
                .rect = {12, 261, 377, kEditHeight},
                .field = fields::kInfoText},
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label5>,
                .name = "Label5",
                .text =
                    "Informační text po skončení akce - slouží opět pro informování uživatele,  co "
                    "má udělat dále. Pokud by tato definice byla nastavená jako např. Uložení "
                    "přenoso- vého souboru z pobočky z emailu, text by mohl vypadat takto:",
                .rect = {12, 291, 377, 42},
                .wrap = true},
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label6>,
                .name = "Label6",
                .text = "\"Přenosový soubor byl uložen do složky pro přenosy, nyní pokračujte v "
                        "Velkor volbou Agenda/Přenos dat/Přenos dat z pobočky\"",
                .rect = {12, 334, 377, 28},
                .wrap = true},
               {.kind = RowKind::Edit,
                .store = StoreIn<&F::DBEdit4>,
                .name = "DBEdit4",
                .label = "Label5",
                .rect = {12, 370, 377, kEditHeight},
                .field = fields::kEndText},
           }},
      {.sheet = StoreIn<&F::TabSheet2>,
       .sheetName = "TabSheet2",
       .caption = "Připojení souboru k e-mailu",
       .colour = kMaroon,
       .intro =
           {
               {.store = StoreIn<&F::Label10>,
                .name = "Label10",
                .text = "Tato funkce je dostupná v případě, když je tento program spuštěn bez "
                        "parametru (tedy obvykle pomocí Windows nabíd- ky Start/Programy). "
                        "Uživatel poté vybe- re ze seznamu vhodnou definici a utilita",
                .rect = {8, 8, 185, 94},
                .indent = 53},
               {.store = StoreIn<&F::Label19>,
                .name = "Label19",
                .text = "Připojení souboru k e-mailu.",
                .rect = {8, 8, 185, 14},
                .heading = true},
               {.store = StoreIn<&F::Label11>,
                .name = "Label11",
                .text = "připojí určený přenosový soubor k e-mailu (ten je potom umístěn do složky "
                        "\"Pošta k odeslání\"). Většinou zde bude pouze jedna definice, pokud má "
                        "však firma více než jednu pobočku, je možné nadefinovat další.",
                .rect = {8, 104, 185, 84}},
           },
       .grid = StoreIn<&F::DBGrid2>,
       .gridName = "DBGrid2",
       .resizableGrid = true,
       .add = StoreIn<&F::Button6>,
       .addName = "Button6",
       .remove = StoreIn<&F::Button7>,
       .removeName = "Button7",
       .group = StoreIn<&F::GroupBox2>,
       .groupName = "GroupBox2",
       .rows =
           {
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label9>,
                .name = "Label9",
                .text = "Název definice (libovolný text, který se zobrazí uživatelům k výběru) "
                        "např. \"Zaslání přenosového souboru pobočce Liptákov\"",
                .rect = {12, 12, 377, 28},
                .wrap = true},
               {.kind = RowKind::Edit,
                .store = StoreIn<&F::DBEdit5>,
                .name = "DBEdit5",
                .label = "Label9",
                .rect = {12, 41, 377, kEditHeight},
                .field = fields::kNazev},
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label14>,
                .name = "Label14",
                .text = "Popis akce - zde můžete uvést podrobný text, který se zobrazí pod "
                        "seznamem",
                .rect = {12, 68, 377, 28},
                .wrap = true},
               {.kind = RowKind::Edit,
                .store = StoreIn<&F::DBEdit8>,
                .name = "DBEdit8",
                .label = "Label14",
                .rect = {12, 97, 377, kEditHeight},
                .field = fields::kInfoText},
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label12>,
                .name = "Label12",
                .text = "Název KDX souboru (včetně plné cesty) - tento soubor se připojí jako "
                        "příloha k e-mailu",
                .rect = {12, 124, 377, 28},
                .wrap = true},
               {.kind = RowKind::Edit,
                .store = StoreIn<&F::DBEdit6>,
                .name = "DBEdit6",
                .label = "Label12",
                .rect = {12, 153, 361, kEditHeight},
                .field = fields::kKDXFilePath},
               {.kind = RowKind::Picker,
                .store = StoreIn<&F::BitBtn2>,
                .name = "BitBtn2",
                .text = "Vybrat soubor",
                .rect = {373, 153, 20, 21}},
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label13>,
                .name = "Label13",
                .text = "E-mailová adresa příjemce (nutno vyplnit)",
                .rect = {12, 180, 377, 14}},
               {.kind = RowKind::Edit,
                .store = StoreIn<&F::DBEdit7>,
                .name = "DBEdit7",
                .label = "Label13",
                .rect = {12, 195, 377, kEditHeight},
                .field = fields::kEmail},
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label16>,
                .name = "Label16",
                .text = "Program připojí přenosový soubor k e-mailu a umístí ho do složky \"Pošta "
                        "k odeslání\" - použije se výchozí poštovní program ve Windows. Před touto "
                        "akcí se může ještě zobrazit karta e-mailu - doporučujeme nechat tento "
                        "přepínač",
                .rect = {12, 222, 377, 42},
                .wrap = true},
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label17>,
                .name = "Label17",
                .text = "zaškrtnutý (uživatel tak bude mít možnost napsat do e-mailu libovolný "
                        "text).",
                .rect = {12, 264, 377, 14}},
               {.kind = RowKind::Check,
                .store = StoreIn<&F::DBCheckBox1>,
                .name = "DBCheckBox1",
                .text = "Zobrazit kartu e-mailu před uložením do složky \"Pošta k odeslání\"",
                .rect = {12, 283, 377, 17},
                .field = fields::kEmailShow},
               {.kind = RowKind::Text,
                .store = StoreIn<&F::Label15>,
                .name = "Label15",
                .text = "Informační text po skončení akce, slouží opět k informování uživatele  - "
                        "vhodné k připomenutí, že e-mail bude odeslán až po příkazu \"Odeslat a "
                        "přijmout\" (resp. po připojení k internetu).",
                .rect = {12, 306, 377, 42},
                .wrap = true},
               {.kind = RowKind::Edit,
                .store = StoreIn<&F::DBEdit9>,
                .name = "DBEdit9",
                .label = "Label15",
                .rect = {12, 349, 377, kEditHeight},
                .field = fields::kEndText},
           }},
  }};
  return layouts;
}

}  // namespace kdx::app
