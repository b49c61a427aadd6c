// Value storage of the fields: truncation, null against empty, truth values, write rules.

#include "MemTableTestSupport.h"

using namespace kdx;
using namespace kdx::test;

TEST(FieldStorage, TextsAreCutToTheFieldSizeWithoutAnError) {
  auto t = OpenImport();
  t->AppendRecord();
  t->FieldByName("KDXFile")->SetAsString("ABCDEFGHIJKLM");  // 13 characters
  t->FieldByName("InfoText")->SetAsString(std::string(300, 'x'));
  t->FieldByName("Nazev")->SetAsString(Cp("Pobočka Brno"));
  t->PostRecord();
  EXPECT_EQ(t->FieldByName("KDXFile")->AsString(), "ABCDEFGHIJKL");
  EXPECT_EQ(t->FieldByName("InfoText")->AsString(), std::string(255, 'x'));
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), Cp("Pobočka Brno"));
  // A text of exactly the size is kept whole.
  t->EditRecord();
  t->FieldByName("SavePath")->SetAsString(std::string(255, 'p'));
  t->PostRecord();
  EXPECT_EQ(t->FieldByName("SavePath")->AsString().size(), 255u);
}

TEST(FieldStorage, NullIsKeptApartFromTheEmptyText) {
  auto t = OpenExport();
  t->AppendRecord();
  t->FieldByName("Nazev")->SetAsString("");
  t->PostRecord();
  TField* nazev = t->FieldByName("Nazev");
  TField* email = t->FieldByName("Email");
  TField* show = t->FieldByName("EmailShow");
  EXPECT_FALSE(nazev->IsNull());
  EXPECT_EQ(nazev->AsString(), "");
  EXPECT_TRUE(nazev->Value() == TVariant(""));
  // Untouched fields of a new record are null and read as "" / false.
  EXPECT_TRUE(email->IsNull());
  EXPECT_EQ(email->AsString(), "");
  EXPECT_TRUE(email->Value().IsNull());
  EXPECT_TRUE(show->IsNull());
  EXPECT_FALSE(show->AsBoolean());
  EXPECT_EQ(show->DisplayText(), "");
  // Clearing makes a field null again; a null variant does the same.
  t->EditRecord();
  nazev->Clear();
  t->FieldByName("InfoText")->SetValue(TVariant("x"));
  t->FieldByName("InfoText")->SetValue(TVariant());
  t->PostRecord();
  EXPECT_TRUE(nazev->IsNull());
  EXPECT_TRUE(t->FieldByName("InfoText")->IsNull());
}

TEST(FieldStorage, TextEndsAtItsFirstNul) {
  auto t = OpenImport();
  t->AppendRecord();
  t->FieldByName("Nazev")->SetAsString(std::string("ab\0cd", 5));
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "ab");
  t->PostRecord();
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "ab");
}

TEST(FieldStorage, TruthValuesAndTheirConversions) {
  auto t = OpenExport();
  TField* show = t->FieldByName("EmailShow");
  t->AppendRecord();
  show->SetValue(TVariant(true));
  EXPECT_TRUE(show->AsBoolean());
  EXPECT_EQ(show->AsString(), "True");
  show->SetAsString("false");
  EXPECT_FALSE(show->AsBoolean());
  EXPECT_FALSE(show->IsNull());
  show->SetValue(TVariant(7));
  EXPECT_TRUE(show->AsBoolean());
  show->SetAsString("");
  EXPECT_TRUE(show->IsNull());
  try {
    show->SetAsString("maybe");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Invalid value for field 'EmailShow'");
  }
  try {
    t->FieldByName("Nazev")->SetValue(TVariant::Array({TVariant("a")}));
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Invalid value for field 'Nazev'");
  }
  // A string field takes a truth value and an integer as text.
  t->FieldByName("Nazev")->SetValue(TVariant(true));
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "True");
  t->FieldByName("Nazev")->SetValue(TVariant(-42));
  EXPECT_EQ(t->FieldByName("Nazev")->AsString(), "-42");
  t->PostRecord();
}

TEST(FieldStorage, WritesNeedEditOrInsertStateAndAWritableField) {
  auto t = OpenImport();
  AddRecord(*t, {"a"});
  TField* nazev = t->FieldByName("Nazev");
  try {
    nazev->SetAsString("b");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Dataset is not in edit mode.");
  }
  EXPECT_THROW(nazev->Clear(), EDatabaseError);
  EXPECT_EQ(nazev->AsString(), "a");

  auto ro = std::make_unique<TMemTable>("T");
  TField* f = ro->AddStringField("Code", 5);
  f->SetReadOnly(true);
  ro->OpenTable();
  ro->AppendRecord();
  EXPECT_FALSE(f->CanModify());
  try {
    f->SetAsString("x");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field Code is read only");
  }
}

TEST(FieldStorage, FieldsAreFoundByNameIgnoringCase) {
  auto t = OpenImport();
  EXPECT_EQ(t->FieldByName("kdxfile"), t->FieldByName("KDXFile"));
  EXPECT_EQ(t->FieldByName("KDXFile")->Index(), 1);
  EXPECT_EQ(t->FindField("Missing"), nullptr);
  try {
    t->FieldByName("Missing");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field 'Missing' not found");
  }
}

TEST(FieldStorage, SchemasDeclareTheProgramsFields) {
  auto imp = CreateImportTable();
  auto exp = CreateExportTable();
  EXPECT_EQ(imp->Name(), "ImportTable");
  ASSERT_EQ(imp->FieldCount(), 5);
  ASSERT_EQ(exp->FieldCount(), 6);
  const std::pair<const char*, int> importFields[] = {
      {"Nazev", 100}, {"KDXFile", 12}, {"SavePath", 255}, {"InfoText", 255}, {"EndText", 255}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(imp->Fields(i)->FieldName(), importFields[i].first);
    EXPECT_EQ(imp->Fields(i)->Size(), importFields[i].second);
  }
  const std::pair<const char*, int> exportFields[] = {
      {"Nazev", 100}, {"KDXFilePath", 255}, {"Email", 50}, {"InfoText", 255}, {"EndText", 255}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(exp->Fields(i)->FieldName(), exportFields[i].first);
    EXPECT_EQ(exp->Fields(i)->Size(), exportFields[i].second);
  }
  EXPECT_EQ(exp->Fields(5)->FieldName(), "EmailShow");
  EXPECT_EQ(exp->Fields(5)->DataType(), TFieldType::Boolean);
  ASSERT_EQ(imp->IndexDefs().Count(), 1);
  EXPECT_EQ(imp->IndexDefs()[0].Name, "IDX_KDXFile");
  EXPECT_EQ(imp->IndexDefs()[0].Fields, "KDXFile");
  EXPECT_EQ(exp->IndexDefs().Count(), 0);
  // Fields are declared only while closed.
  imp->OpenTable();
  EXPECT_THROW(imp->AddStringField("More", 5), EDatabaseError);
  EXPECT_THROW(CreateImportTable()->AddStringField("nazev", 5), EDatabaseError);
}
