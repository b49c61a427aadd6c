// What the table tells its listeners, and the flush-before-store order bound controls rely on.

#include "MemTableTestSupport.h"

using namespace kdx;
using namespace kdx::test;

namespace {

// A stand-in for a bound edit box: holds pending text and writes it on FlushEdits.
struct PendingEdit : TBindingListener {
  TField* field = nullptr;
  std::string pending;
  bool hasPending = false;
  std::vector<std::string> storedDuringFlush;  // what the store held when the flush came
  void DataEvent(BindingEvent event, TField*, int) override {
    if (event != BindingEvent::FlushEdits || !hasPending) return;
    TMemTable* t = field->DataSet();
    storedDuringFlush.push_back(t->RecordCount() ? t->DisplayTextAt(1, *field) : "");
    hasPending = false;
    field->SetAsString(pending);
  }
};

}  // namespace

TEST(Notifications, PendingTextIsWrittenBeforeTheRecordIsStored) {
  auto t = OpenImport();
  AddRecord(*t, {"stored"});
  PendingEdit box;
  box.field = t->FieldByName("Nazev");
  t->AttachListener(&box);
  t->EditRecord();
  box.pending = "typed";
  box.hasPending = true;
  t->PostRecord();
  EXPECT_EQ(box.storedDuringFlush, (std::vector<std::string>{"stored"}));
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "typed");

  // SettleRecord posts when the flush modified the record ...
  t->EditRecord();
  box.pending = "settled";
  box.hasPending = true;
  t->Next();
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(t->DisplayTextAt(1, *box.field), "settled");
  // ... and cancels when nothing changed.
  t->EditRecord();
  t->SettleRecord();
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(t->DisplayTextAt(1, *box.field), "settled");
  // A save settles through the same flush.
  t->EditRecord();
  box.pending = "saved";
  box.hasPending = true;
  EXPECT_NE(t->SaveToTableText().find("\"saved\""), std::string::npos);
  t->DetachListener(&box);
}

TEST(Notifications, EventsCarryTheirArgumentsInTheOrderTheTableActs) {
  auto t = CreateImportTable();
  Recorder first, second;
  std::vector<TBindingListener*> order;
  struct Tag : TBindingListener {
    std::vector<TBindingListener*>* order;
    void DataEvent(BindingEvent e, TField*, int) override {
      if (e == BindingEvent::StateChange) order->push_back(this);
    }
  } a, b;
  a.order = b.order = &order;
  t->AttachListener(&a);
  t->AttachListener(&b);
  t->AttachListener(&first);
  t->OpenTable();
  EXPECT_EQ(order, (std::vector<TBindingListener*>{&b, &a}));  // last attached hears first
  ASSERT_GE(first.events.size(), 2u);
  EXPECT_EQ(first.events[0].event, BindingEvent::StateChange);
  EXPECT_EQ(first.events[1].event, BindingEvent::WholeData);

  first.events.clear();
  t->AppendRecord();
  t->FieldByName("KDXFile")->SetAsString("K");
  t->PostRecord();
  AddRecord(*t, {"two"});
  AddRecord(*t, {"three"});
  std::vector<BindingEvent> kinds;
  for (const auto& e : first.events) kinds.push_back(e.event);
  const std::vector<BindingEvent> firstRecord = {
      BindingEvent::SettleCheck, BindingEvent::StateChange, BindingEvent::RecordContents,
      BindingEvent::FieldValue,  BindingEvent::FlushEdits,  BindingEvent::StateChange,
      BindingEvent::WholeData};
  EXPECT_EQ(std::vector<BindingEvent>(kinds.begin(), kinds.begin() + 7), firstRecord);
  EXPECT_EQ(first.events[3].field, t->FieldByName("KDXFile"));

  first.events.clear();
  t->First();
  t->MoveBy(2);
  t->MoveBy(-1);
  std::vector<int> moves;
  for (const auto& e : first.events)
    if (e.event == BindingEvent::CursorMove) moves.push_back(e.distance);
  EXPECT_EQ(moves, (std::vector<int>{-2, 2, -1}));

  first.events.clear();
  t->FieldByName("Nazev")->FocusControl();
  ASSERT_EQ(first.events.size(), 1u);
  EXPECT_EQ(first.events[0].event, BindingEvent::FocusField);
  EXPECT_EQ(first.events[0].field, t->FieldByName("Nazev"));

  // While controls are disabled nothing arrives; enabling reports the state change once.
  first.events.clear();
  t->DisableControls();
  t->DisableControls();
  t->EditRecord();
  t->FieldByName("Nazev")->SetAsString("quiet");
  t->EnableControls();
  EXPECT_TRUE(first.events.empty());
  t->EnableControls();
  ASSERT_EQ(first.events.size(), 2u);
  EXPECT_EQ(first.events[0].event, BindingEvent::StateChange);
  EXPECT_EQ(first.events[1].event, BindingEvent::WholeData);

  first.events.clear();
  t->CloseTable();
  ASSERT_EQ(first.events.size(), 1u);
  EXPECT_EQ(first.events[0].event, BindingEvent::StateChange);
  t->DetachListener(&a);
  t->DetachListener(&b);
  t->DetachListener(&first);
  first.events.clear();
  t->AttachListener(&second);
  t->OpenTable();
  EXPECT_TRUE(first.events.empty());
  EXPECT_FALSE(second.events.empty());
  t->DetachListener(&second);
}

TEST(Notifications, ListenersHearWhenTheTableGoes) {
  struct Watcher : TBindingListener {
    TMemTable* table = nullptr;
    void DataEvent(BindingEvent, TField*, int) override {}
    void TableDestroying(TMemTable* t) override {
      EXPECT_EQ(t, table);
      table = nullptr;
    }
  } w;
  auto t = OpenImport();
  w.table = t.get();
  t->AttachListener(&w);
  t.reset();
  EXPECT_EQ(w.table, nullptr);
}

TEST(Notifications, FieldsReplacedByALoadAreAnnouncedBeforeTheData) {
  auto t = std::make_unique<TMemTable>("T");
  t->AddStringField("Old", 5);
  t->OpenTable();
  Recorder rec;
  t->AttachListener(&rec);
  t->LoadFromTableText(
      "\"@@TABLEDEF START@@\"\r\n"
      "\"Code=String,10,\"\"Code\"\",\"\"\"\",10,Data,\"\"\"\"\"\r\n"
      "\"@@TABLEDEF END@@\"\r\n\"Code\",\r\n\"x\",\r\n");
  ASSERT_EQ(rec.events.size(), 2u);
  EXPECT_EQ(rec.events[0].event, BindingEvent::FieldLayout);
  EXPECT_EQ(rec.events[1].event, BindingEvent::WholeData);
  EXPECT_EQ(t->FieldByName("Code")->AsString(), "x");
  // A plain load leaves the fields alone and says so by not announcing them.
  rec.events.clear();
  t->LoadFromTableText("\"Code\",\r\n\"y\",\r\n");
  ASSERT_EQ(rec.events.size(), 1u);
  EXPECT_EQ(rec.events[0].event, BindingEvent::WholeData);
  t->DetachListener(&rec);
}
