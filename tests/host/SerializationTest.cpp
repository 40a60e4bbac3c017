#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "TestComponents.h"
#include "host/Quenra.Serialization.h"

using namespace fundrel;
using namespace streamtest;

namespace sertest {

struct ITestData : IInterface {
  FUNDREL_IID("{6D0C6F1E-2B8A-4C59-9E57-2F5A8C1D3B71}");
  using Parent = IInterface;
};

// A counted data object that serialises itself the way buffers do: an array of attached
// objects, a nested stamp, a binary payload and a few scalars.
class TTestData : public TImplements<TInterfacedObject, ITestData>, public ISerializable {
 public:
  std::vector<TIntf<ITestData>> Custom;
  std::vector<uint8_t> Bytes;
  bool Available = false;
  int64_t Number = 0;
  String Label;
  double Ratio = 0;

  static TTestData* Of(const TIntf<ITestData>& AData) { return static_cast<TTestData*>(AData.get()); }

  void SerializationWrite(TSerializationWriter& AWriter, const TSerializedObjects& AObjects) override {
    std::vector<TObject*> custom;
    for (const auto& c : Custom) custom.push_back(Of(c));
    AWriter.WriteObjects("Custom", custom, AObjects);
    AWriter.WriteNested("SequenceStamp", [this](TSerializationWriter& W) {
      W.WriteBoolean("Available", Available);
      W.WriteInteger("BufferNumber", Number);
    });
    AWriter.WriteBinary("Data", Bytes);
    AWriter.WriteString("Label", Label);
    AWriter.WriteNumber("Ratio", Ratio);
  }
  void SerializationRead(TSerializationReader& AReader) override {
    AReader.ReadBinary("Data", [this](const std::vector<uint8_t>& B) { Bytes = B; });
    AReader.ReadNested("SequenceStamp", [this](TSerializationReader& R) {
      Available = R.ReadBoolean("Available");
      Number = R.ReadInteger("BufferNumber");
    });
    AReader.ReadString("Label", [this](const String& S) { Label = S; });
    Ratio = AReader.ReadNumber("Ratio");
    Custom.clear();
    if (AReader.BeginObjects("Custom")) {
      while (AReader.More())
        if (TObject* o = AReader.ReadObject()) Custom.emplace_back(dynamic_cast<TTestData*>(o));
      AReader.EndObjects();
    }
  }
};
FUNDREL_PUBLISHED(TTestData, TInterfacedObject) {}

bool SameData(const TTestData& A, const TTestData& B) {
  if (A.Bytes != B.Bytes || A.Available != B.Available || A.Number != B.Number || A.Label != B.Label ||
      A.Custom.size() != B.Custom.size())
    return false;
  if (!(A.Ratio == B.Ratio || (std::isnan(A.Ratio) && std::isnan(B.Ratio)))) return false;
  for (size_t i = 0; i < A.Custom.size(); ++i)
    if (!SameData(*TTestData::Of(A.Custom[i]), *TTestData::Of(B.Custom[i]))) return false;
  return true;
}

}  // namespace sertest

namespace {

using sertest::TTestData;

struct TFree {
  void operator()(TComponent* c) const { TObject::Free(c); }
};
using TOwned = std::unique_ptr<TComponent, TFree>;

TSample* MakeSample() {
  auto* s = TComponent::Create<TSample>(nullptr);
  s->SetName("Sample1");
  s->SetCount(42);
  s->SetBig(-(int64_t(1) << 50));
  s->SetFlag(false);
  s->SetMode(TMode::mdSlow);
  s->SetOptions(0b111);
  s->SetGain(-0.3);
  s->SetRatio(0.75f);
  s->SetCaption("a\x01'b\xC3\xA9");
  s->GetShape()->SetColor(7);
  s->GetShape()->Points = {1, 2};
  s->GetItems()->Add()->SetValue(9);
  new TWeightedItem(s->GetItems());
  s->Data = {1, 2, 3};
  s->Values = {4};
  auto* child = TComponent::Create<TChild>(s);
  child->SetName("Kid");
  child->SetLevel(3);
  s->SetPartner(child);
  return s;
}

TEST(Serialization, ComponentTreeRoundTripsThroughCborAndJson) {
  RegisterTestClasses();
  TOwned original(MakeSample());
  String expected = ComponentToString(original.get());
  TSerializationWriter writer;
  writer.WriteComponent("Root", original.get());

  TOwned fromCbor(TSerializationReader::FromCBOR(writer.ToCBOR()).ReadComponent("Root"));
  EXPECT_EQ(ComponentToString(fromCbor.get()), expected);
  auto* s = dynamic_cast<TSample*>(fromCbor.get());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetPartner(), s->FindComponent("Kid"));
  EXPECT_EQ(s->StartsFromLoading, 1);
  EXPECT_EQ(s->StartsFromCode, 0);

  String json = writer.ToJSON();
  EXPECT_NE(json.find("\"Mode\": {\n        \"ident\": \"mdSlow\""), String::npos) << json;
  TOwned fromJson(TSerializationReader::FromJSON(json).ReadComponent("Root"));
  EXPECT_EQ(ComponentToString(fromJson.get()), expected) << "the inspection form reads back too";
}

TEST(Serialization, SelfSerialisingObjectsByClassName) {
  RegisterClasses<TTestData>();
  TIntf<sertest::ITestData> root(new TTestData);
  TTestData& r = *TTestData::Of(root);
  r.Bytes = {0, 255, 16};
  r.Available = true;
  r.Number = INT64_MIN;
  r.Label = "root";
  r.Ratio = std::nan("");
  auto* inner = new TTestData;
  inner->Number = INT64_MAX;
  inner->Custom.emplace_back(new TTestData);
  r.Custom.emplace_back(inner);
  r.Custom.emplace_back(new TTestData);

  TSerializationWriter writer;
  writer.WriteObjects("Objects", {&r, nullptr});
  writer.WriteInteger("Version", 3);
  std::vector<uint8_t> cbor = writer.ToCBOR();

  TSerializationReader reader = TSerializationReader::FromCBOR(cbor);
  EXPECT_EQ(reader.ReadInteger("Version"), 3);
  ASSERT_TRUE(reader.BeginObjects("Objects"));
  TIntf<sertest::ITestData> back(dynamic_cast<TTestData*>(reader.ReadObject()));
  ASSERT_TRUE(reader.More());
  EXPECT_EQ(reader.ReadObject(), nullptr) << "a null entry stays null";
  EXPECT_FALSE(reader.More());
  reader.EndObjects();
  ASSERT_TRUE(back);
  EXPECT_TRUE(sertest::SameData(r, *TTestData::Of(back)));

  // Requested names answer through the callback only when present; kinds are checked.
  int calls = 0;
  EXPECT_FALSE(reader.ReadString("Missing", [&](const String&) { ++calls; }));
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(reader.BeginObjects("Missing"));
  try {
    reader.ReadNumber("Missing");
    ADD_FAILURE();
  } catch (const ESerializationError& e) {
    EXPECT_STREQ(e.what(), "Entry Missing not found");
  }
  try {
    reader.ReadString("Version");
    ADD_FAILURE();
  } catch (const ESerializationError& e) {
    EXPECT_STREQ(e.what(), "Entry Version is not a string");
  }
  EXPECT_EQ(reader.ReadNumber("Version"), 3.0) << "an integer is also a number";
}

TEST(Serialization, ComponentsInArraysJoinTheReadersOwner) {
  RegisterTestClasses();
  TOwned source(MakeSample());
  TSerializationWriter writer;
  writer.WriteObjects("Parts", {source->FindComponent("Kid"), source.get()});
  TOwned owner(TComponent::Create<TChild>(nullptr));
  TSerializationReader reader = TSerializationReader::FromCBOR(writer.ToCBOR());
  reader.SetOwner(owner.get());
  ASSERT_TRUE(reader.BeginObjects("Parts"));
  auto* kid = dynamic_cast<TChild*>(reader.ReadObject());
  auto* sample = dynamic_cast<TSample*>(reader.ReadObject());
  ASSERT_NE(kid, nullptr);
  ASSERT_NE(sample, nullptr);
  EXPECT_EQ(kid->GetLevel(), 3);
  EXPECT_EQ(kid->Owner(), owner.get());
  EXPECT_EQ(sample->Owner(), owner.get());
  EXPECT_EQ(sample->GetCount(), 42);
  EXPECT_EQ(owner->ComponentCount(), 2);
}

// Parses ABytes and reads everything a consumer would; returns the error text, "" on success.
String ReadAll(const std::vector<uint8_t>& ABytes) {
  try {
    TSerializationReader reader = TSerializationReader::FromCBOR(ABytes);
    if (reader.BeginObjects("Objects"))
      while (reader.More()) {
        TIntf<sertest::ITestData> keep(dynamic_cast<TTestData*>(reader.ReadObject()));
      }
    if (reader.Has("Root")) TObject::Free(reader.ReadComponent("Root"));
  } catch (const EStreamError& e) {
    return e.what();
  }
  return String();
}

TEST(Serialization, BadInputRaisesAndNeverCrashes) {
  RegisterTestClasses();
  RegisterClasses<TTestData>();
  TOwned sample(MakeSample());
  TTestData data;
  data.Custom.emplace_back(new TTestData);
  data.Bytes = {1, 2, 3, 4};
  TSerializationWriter writer;
  writer.WriteObjects("Objects", {&data});
  writer.WriteComponent("Root", sample.get());
  std::vector<uint8_t> good = writer.ToCBOR();
  ASSERT_EQ(ReadAll(good), "");

  for (size_t cut = 0; cut < good.size(); ++cut)
    EXPECT_NE(ReadAll(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(cut))), "") << cut;
  // Every single-byte change either reads or raises a stream error.
  for (size_t i = 0; i < good.size(); ++i)
    for (uint8_t flip : {uint8_t(0x01), uint8_t(0xE0)}) {  // a low bit, and the major type
      std::vector<uint8_t> bad = good;
      bad[i] ^= flip;
      ReadAll(bad);
    }

  std::vector<uint8_t> deep(100000, 0x81);  // arrays of one array of ...
  deep.push_back(0x00);
  EXPECT_EQ(ReadAll(deep), "Invalid serialized data: nesting too deep");
  EXPECT_EQ(ReadAll({0x82, 0x01}).rfind("Invalid serialized data: ", 0), 0u);
  EXPECT_EQ(ReadAll({0x01}), "Invalid serialized data: the document is not a set of named entries");

  TSerializationWriter unknown;
  unknown.WriteNested("x", [](TSerializationWriter&) {});
  String json = R"({"Objects": [{"class": "TNoSuchData", "data": {}}]})";
  try {
    TSerializationReader reader = TSerializationReader::FromJSON(json);
    reader.BeginObjects("Objects");
    reader.ReadObject();
    ADD_FAILURE();
  } catch (const EClassNotFound& e) {
    EXPECT_STREQ(e.what(), "Class TNoSuchData not found");
  }
  try {
    TSerializationReader::FromJSON(R"({"Root": {"class": "TSample", "properties": {"Colour": 1}}})").ReadComponent("Root");
    ADD_FAILURE();
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "Error reading TSample.Colour: Property Colour does not exist in TSample");
  }
}

}  // namespace
