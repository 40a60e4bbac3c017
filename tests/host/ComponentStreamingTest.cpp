#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "TestComponents.h"
#include "host/Quenra.ComponentStreaming.h"

using namespace fundrel;
using namespace streamtest;

namespace {

struct TFree {
  void operator()(TComponent* c) const { TObject::Free(c); }
};
using TOwned = std::unique_ptr<TComponent, TFree>;

class ComponentStreaming : public ::testing::Test {
 protected:
  void SetUp() override { RegisterTestClasses(); }
};

// A root with every value kind away from its default, two owned children, a collection with a
// plain and a polymorphic item, a nested persistent with a defined property, and binary and
// list defined properties.
TSample* MakeFullSample() {
  auto* s = TComponent::Create<TSample>(nullptr);
  s->SetName("Sample1");
  s->SetCount(-7);
  s->SetBig(int64_t(1) << 40);
  s->SetSmall(255);
  s->SetFlag(false);
  s->SetMode(TMode::mdExact);
  s->SetOptions((1u << 1) | (1u << 2));
  s->SetGain(0.1);
  s->SetRatio(2.5f);
  s->SetCaption("It's \"quoted\"\r\nline two, caf\xC3\xA9 \xF0\x9F\x8E\xB5");
  s->GetShape()->SetColor(255);
  s->GetShape()->Points = {1.5f, -2.0f, 3.25f, 4.0f};
  auto* a = s->GetItems()->Add();
  a->SetValue(3);
  a->SetLabel("first");
  auto* w = new TWeightedItem(s->GetItems());
  w->SetWeight(0.25);
  s->Data = {0x00, 0x0A, 0xFF, 0x7F};
  s->Values = {5, -6, 7};
  auto* c1 = TComponent::Create<TChild>(s);
  c1->SetName("Child1");
  c1->SetLevel(2);
  auto* c2 = TComponent::Create<TChild>(s);
  c2->SetName("Child2");
  s->SetPartner(c2);
  return s;
}

TEST_F(ComponentStreaming, FullComponentRoundTrip) {
  TOwned original(MakeFullSample());
  String text = ComponentToString(original.get());
  TOwned copy(StringToComponent(text));
  auto* s = dynamic_cast<TSample*>(copy.get());
  ASSERT_NE(s, nullptr) << text;

  EXPECT_EQ(s->Name(), "Sample1");
  EXPECT_EQ(s->GetCount(), -7);
  EXPECT_EQ(s->GetBig(), int64_t(1) << 40);
  EXPECT_EQ(s->GetSmall(), 255);
  EXPECT_FALSE(s->GetFlag());
  EXPECT_EQ(s->GetMode(), TMode::mdExact);
  EXPECT_EQ(s->GetOptions(), (1u << 1) | (1u << 2));
  EXPECT_EQ(s->GetGain(), 0.1);  // the shortest text form still reads back exactly
  EXPECT_EQ(s->GetRatio(), 2.5f);
  EXPECT_EQ(s->GetCaption(), dynamic_cast<TSample*>(original.get())->GetCaption());
  EXPECT_EQ(s->GetShape()->GetColor(), 255u);
  EXPECT_EQ(s->GetShape()->Points, (std::vector<float>{1.5f, -2.0f, 3.25f, 4.0f}));
  ASSERT_EQ(s->GetItems()->Count(), 2);
  EXPECT_EQ(s->GetItems()->Items(0)->GetValue(), 3);
  EXPECT_EQ(s->GetItems()->Items(0)->GetLabel(), "first");
  auto* weighted = dynamic_cast<TWeightedItem*>(s->GetItems()->Items(1));
  ASSERT_NE(weighted, nullptr) << "the item's own class is kept";
  EXPECT_EQ(weighted->GetWeight(), 0.25);
  EXPECT_EQ(s->Data, (std::vector<uint8_t>{0x00, 0x0A, 0xFF, 0x7F}));
  EXPECT_EQ(s->Values, (std::vector<int32_t>{5, -6, 7}));
  ASSERT_EQ(s->ComponentCount(), 2);
  auto* child1 = dynamic_cast<TChild*>(s->FindComponent("Child1"));
  ASSERT_NE(child1, nullptr);
  EXPECT_EQ(child1->GetLevel(), 2);
  EXPECT_EQ(child1->Owner(), s);
  EXPECT_EQ(s->GetPartner(), s->FindComponent("Child2")) << "references resolve to the copy's own children";

  // Writing the copy gives the same text: nothing was lost or added.
  EXPECT_EQ(ComponentToString(s), text);
}

TEST_F(ComponentStreaming, DefaultsAreLeftOutAndTextIsConventional) {
  TOwned plain(TComponent::Create<TSample>(nullptr));
  EXPECT_EQ(ComponentToString(plain.get()), "object TSample\nend\n");

  TOwned full(MakeFullSample());
  String text = ComponentToString(full.get());
  EXPECT_NE(text.find("object Sample1: TSample\n"), String::npos) << text;
  EXPECT_NE(text.find("  Flag = False\n"), String::npos) << text;
  EXPECT_NE(text.find("  Options = [opB, opC]\n"), String::npos) << text;
  EXPECT_NE(text.find("  Ratio = 2.5s\n"), String::npos) << text;
  EXPECT_NE(text.find("  Shape.Color = 255\n"), String::npos) << text;
  EXPECT_NE(text.find("  Caption = 'It''s \"quoted\"'#13#10'line two, caf'#233' '#55356#57269\n"), String::npos) << text;
  EXPECT_NE(text.find("  Data = {\n    000AFF7F}\n"), String::npos) << text;
  EXPECT_NE(text.find("    item: TWeightedItem\n      Weight = 0.25\n    end>"), String::npos) << text;
  EXPECT_NE(text.find("  object Child2: TChild\n  end\n"), String::npos) << text;
  EXPECT_EQ(text.find("Level = 0"), String::npos) << "a child's default is not written";
  EXPECT_EQ(text.find("OnStop"), String::npos) << "events are bound in code";
}

TEST_F(ComponentStreaming, ReadComponentsStartOnlyWhenLoadingEnds) {
  TOwned made(MakeFullSample());
  auto* original = dynamic_cast<TSample*>(made.get());
  EXPECT_EQ(original->StartsFromCode, 1);
  EXPECT_EQ(original->StartsFromLoading, 0);

  TOwned copy(StringToComponent(ComponentToString(original)));
  auto* s = dynamic_cast<TSample*>(copy.get());
  EXPECT_TRUE(s->LoadingSeenInReadState);
  EXPECT_EQ(s->StartsFromCode, 0) << "a component made by the reader never starts from its constructor";
  EXPECT_EQ(s->StartsFromLoading, 1);
  EXPECT_FALSE(s->IsLoading());
  EXPECT_FALSE(s->FindComponent("Child1")->IsLoading());

  // Reading into an existing root reuses its children of the same names and ends loading once.
  ASSERT_EQ(StringToComponent(ComponentToString(original), s), s);
  EXPECT_EQ(s->ComponentCount(), 2);
  EXPECT_EQ(s->StartsFromLoading, 2);
}

TEST_F(ComponentStreaming, HandWrittenFormsParse) {
  const char* text =
      "object Sample2: TSample\n"
      "  Count = $1F\n"
      "  Big = -9223372036854775808\n"
      "  Mode = MDSLOW\n"  // identifiers ignore case
      "  Options = []\n"
      "  Gain = 1.5E3\n"
      "  Ratio = 3\n"
      "  Caption = 'one '#$41 +\n"
      "    ' two'\n"
      "  shape.color = 16\n"
      "  Items = <\n"
      "    item\n"
      "      Value = 1\n"
      "    end\n"
      "    item\n"
      "    end>\n"
      "  Values = (\n"
      "    2\n"
      "    10\n"
      "    20\n"
      "    30)\n"
      "  object Kid: TChild\n"
      "    Level = 4\n"
      "  end\n"
      "end\n";
  TOwned root(StringToComponent(text));
  auto* s = dynamic_cast<TSample*>(root.get());
  EXPECT_EQ(s->GetCount(), 31);
  EXPECT_EQ(s->GetBig(), INT64_MIN);
  EXPECT_EQ(s->GetMode(), TMode::mdSlow);
  EXPECT_EQ(s->GetOptions(), 0u);
  EXPECT_EQ(s->GetGain(), 1500.0);
  EXPECT_EQ(s->GetRatio(), 3.0f);
  EXPECT_EQ(s->GetCaption(), "one A two");
  EXPECT_EQ(s->GetShape()->GetColor(), 16u);
  ASSERT_EQ(s->GetItems()->Count(), 2);
  EXPECT_EQ(s->GetItems()->Items(0)->GetValue(), 1);
  EXPECT_EQ(s->Values, (std::vector<int32_t>{10, 20})) << "elements beyond the count are read and dropped";
  EXPECT_EQ(dynamic_cast<TChild*>(s->FindComponent("Kid"))->GetLevel(), 4);
}

// Reads AText into a fresh root (or AInto) and returns the error message, "" on success.
String ReadError(const String& AText, TComponent* AInto = nullptr) {
  try {
    TComponent* c = StringToComponent(AText, AInto);
    if (!AInto) TObject::Free(c);
  } catch (const EStreamError& e) {
    return e.what();
  }
  return String();
}

TEST_F(ComponentStreaming, BadInputNamesTheCulprit) {
  EXPECT_EQ(ReadError("object X: TNoSuchClass\nend\n"), "Class TNoSuchClass not found");
  EXPECT_EQ(ReadError("object X: TSample\n  object Y: TMissing\n  end\nend\n"), "Class TMissing not found");
  EXPECT_EQ(ReadError("object X: TSample\n  Colour = 1\nend\n"),
            "Error reading X.Colour: Property Colour does not exist in TSample");
  EXPECT_EQ(ReadError("object X: TSample\n  Shape.Size = 1\nend\n"),
            "Error reading X.Shape.Size: Property Size does not exist in TShape");
  EXPECT_EQ(ReadError("object X: TSample\n  Mode = mdWarp\nend\n"), "Error reading X.Mode: Invalid property value mdWarp");
  EXPECT_EQ(ReadError("object X: TSample\n  Options = [opA, opZ]\nend\n"),
            "Error reading X.Options: Invalid property element opZ");
  EXPECT_EQ(ReadError("object X: TSample\n  Small = 256\nend\n"),
            "Error reading X.Small: Value 256 out of range for property Small");
  EXPECT_EQ(ReadError("object X: TSample\n  Count = 'ten'\nend\n"), "Error reading X.Count: Integer value expected");
  EXPECT_EQ(ReadError("object X: TSample\n  Partner = Nobody\nend\n"),
            "Error reading X.Partner: Invalid component reference Nobody");
  EXPECT_EQ(ReadError("object X: TSample\n  Items = <\n    item: TChild\n    end>\nend\n"),
            "Error reading X.Items[0]: Class TChild is no TPointItem");
  EXPECT_EQ(ReadError("object X: TSample\n  Values = (1 'a')\nend\n"), "Error reading X.Values: Integer value expected");
  EXPECT_EQ(ReadError("object X: TSample\n  Caption = 'open\nend\n"), "Line 2: Unterminated string");
  EXPECT_EQ(ReadError("object X: TSample\n  Count = 99999999999999999999\nend\n"), "Line 2: Integer out of range");
  EXPECT_EQ(ReadError("object X: TSample\n  object C1: TChild\n  end\n  object C1: TChild\n  end\nend\n"),
            "Error reading X.C1: A component named C1 already exists");
  EXPECT_EQ(ReadError(String(300, '(')), "Line 1: Identifier expected");
  EXPECT_EQ(ReadError("objects X: TSample\nend\n"), "Line 1: 'object' expected");
  EXPECT_EQ(ReadError("object X: TSample\n  Values = " + String(300, '(')), "Line 2: Nesting too deep");
}

TEST_F(ComponentStreaming, TruncatedInputRaisesAndLeavesNothingBehind) {
  TOwned full(MakeFullSample());
  String text = ComponentToString(full.get());
  TOwned into(TComponent::Create<TSample>(nullptr));
  for (size_t cut = 0; cut + 1 < text.size(); ++cut) {
    String error = ReadError(text.substr(0, cut), cut % 2 ? into.get() : nullptr);
    EXPECT_FALSE(error.empty()) << "prefix of " << cut << " bytes was accepted";
  }
  // A failed read into an existing root leaves no components of the reader behind and ends loading.
  EXPECT_EQ(into->ComponentCount(), 0);
  EXPECT_FALSE(into->IsLoading());
}

TEST_F(ComponentStreaming, DefinedPropertiesOfNestedObjectsAndDottedPaths) {
  TOwned root(TComponent::Create<TSample>(nullptr));
  auto* s = dynamic_cast<TSample*>(root.get());
  s->GetShape()->Points = {0.5f, 0.25f};
  String text = ComponentToString(s);
  EXPECT_NE(text.find("  Shape.Points = (\n    1\n    (\n      0.5s\n      0.25s))\n"), String::npos) << text;
  TOwned copy(StringToComponent(text));
  EXPECT_EQ(dynamic_cast<TSample*>(copy.get())->GetShape()->Points, (std::vector<float>{0.5f, 0.25f}));
}

TEST_F(ComponentStreaming, ValueModelFormatsAndParsesBack) {
  TObjectNode node;
  node.Name = "N";
  node.ClassName = "TThing";
  auto add = [&](const char* APath, TStreamValue AValue) { node.Properties.push_back({APath, std::move(AValue), 0}); };
  TStreamValue v;
  v.Type = TValueType::vaExtended;
  for (double d : {0.0, -0.0, 1e-300, 123456789.125, std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    v.Float = d;
    add("F", v);
  }
  v = TStreamValue();
  v.Type = TValueType::vaString;
  v.Text = String("\x00\x01z''\x7F", 6) + "\xE2\x82\xAC";
  add("S", v);
  TObjectNode back = ParseObjectText(FormatObjectText(node));
  ASSERT_EQ(back.Properties.size(), node.Properties.size());
  for (size_t i = 0; i < 7; ++i) {
    const TStreamValue& f = back.Properties[i].Value;
    double want = node.Properties[i].Value.Float;
    if (std::isnan(want)) {
      EXPECT_EQ(f.Type, TValueType::vaIdent);
      EXPECT_EQ(f.Text, "NaN");
    } else if (std::isinf(want)) {
      EXPECT_EQ(f.Text, want > 0 ? "Inf" : "-Inf");
    } else {
      EXPECT_EQ(f.Type, TValueType::vaExtended) << i;
      EXPECT_EQ(f.Float, want) << i;
      EXPECT_EQ(std::signbit(f.Float), std::signbit(want)) << i;
    }
  }
  EXPECT_EQ(back.Properties[7].Value.Text, node.Properties[7].Value.Text);
}

}  // namespace
