#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "XmlTestUtils.h"

using namespace xmltest;

namespace {

// Not one of the node classes, although derived from one.
class TDerivedElement : public TXmlElement {
 public:
  using TXmlElement::TXmlElement;
};

}  // namespace

TEST(XmlNameTable, HashInterningAndBucketOrder) {
  TIntf<IXmlNameTable> t = CreateNameTable(3);
  auto* table = static_cast<TXmlNameTable*>(t->GetObject());
  // h = h + ((h << 6) xor c): "a" -> 97, "ab" -> 97 + (6208 xor 98) = 6275.
  EXPECT_EQ(table->GetKeyID(t->GetID(u"a")), 97u);
  EXPECT_EQ(table->GetKeyID(t->GetID(u"ab")), 6275u);
  const TXmlNameID ab = t->GetID(u"ab");
  EXPECT_EQ(t->GetID(u"ab"), ab);
  EXPECT_NE(t->GetID(u"AB"), ab);  // case-sensitive
  EXPECT_EQ(t->GetID(u""), 0);
  EXPECT_EQ(U8(t->GetName(ab)), "ab");
  EXPECT_EQ(table->GetNameID(6275u), ab);
  EXPECT_EQ(table->GetNameID(6276u), 0);
  // Names are listed bucket by bucket (hash modulo 3), each bucket in insertion order.
  std::vector<uint32_t> buckets;
  for (TXmlNameID id : table->AllNames()) buckets.push_back(table->GetKeyID(id) % 3);
  EXPECT_TRUE(std::is_sorted(buckets.begin(), buckets.end()));
  EXPECT_EQ(table->AllNames().size(), 9u);  // six built-in names plus three
}

// A table of the usual size starts from what the last dead one left on its thread: it must start
// with the six built-in names and nothing else, whatever the last one held.
TEST(XmlNameTable, EachNewTableStartsWithTheBuiltInNamesOnly) {
  constexpr int32_t Size = 1009;
  const std::u16string builtIn[] = {u"#text", u"#cdata-section", u"#comment", u"#document", u"xml", u"encoding"};
  auto wide = [](const std::string& AText) { return std::u16string(AText.begin(), AText.end()); };
  // A name that shares the first built-in name's bucket.
  std::u16string collider;
  for (int i = 0; TXmlNameTable::Hash(collider) % Size != TXmlNameTable::Hash(builtIn[0]) % Size; ++i)
    collider = wide("c" + std::to_string(i));
  for (int round = 0; round < 3; ++round) {
    TIntf<IXmlNameTable> t = CreateNameTable(Size);
    auto* table = static_cast<TXmlNameTable*>(t->GetObject());
    ASSERT_EQ(table->AllNames().size(), 6u) << "round " << round;
    const TXmlNameID ids[] = {table->XmlTextNameID(), table->XmlCDATASectionNameID(), table->XmlCommentNameID(),
                              table->XmlDocumentNameID(), table->XmlNameID(), table->EncodingNameID()};
    for (size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(t->GetID(builtIn[i]), ids[i]);
      EXPECT_EQ(table->GetNameID(TXmlNameTable::Hash(builtIn[i])), ids[i]);
      EXPECT_TRUE(TXmlNameTable::AmongFirst(ids[i], 6));
    }
    // Nothing of the last table's names is left, in the built-in names' buckets or elsewhere.
    EXPECT_EQ(table->GetNameID(TXmlNameTable::Hash(collider)), 0);
    EXPECT_EQ(table->GetNameID(TXmlNameTable::Hash(u"n29")), 0);
    // More names than fit the table's first block of entries, one of them after a built-in name.
    const TXmlNameID c = t->GetID(collider);
    for (int i = 0; i < 30; ++i) t->GetID(wide("n" + std::to_string(i)));
    EXPECT_EQ(table->GetNameID(TXmlNameTable::Hash(collider)), c);
    EXPECT_EQ(t->GetID(builtIn[0]), ids[0]);
    EXPECT_EQ(table->AllNames().size(), 37u);
    EXPECT_EQ(U8(t->GetName(t->GetID(u"n29"))), "n29");
  }
}

// A table that dies while nodes moved to another table still use blocks of its pool must not hand
// that pool to the next table: the next documents would write over the moved nodes.
TEST(XmlNameTable, APoolStillInUseIsNotTakenOver) {
  TIntf<IXmlDocument> a = Parse("<r><keep n='7'>kept text</keep></r>");
  TIntf<IXmlDocument> b = CreateXmlDocument(u"other");
  Root(b)->AppendChild(a->SelectSingleNode(u"r\\keep"));
  a = nullptr;
  for (int i = 0; i < 20; ++i) Parse("<r><over n='8'>written over it</over><over/></r>");
  TIntf<IXmlNode> kept = b->SelectSingleNode(u"other\\keep");
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->GetIntAttr(u"n", 0), 7);
  EXPECT_EQ(U8(kept->Get_Text()), "kept text");
}

// Each thread keeps what its last dead table left; a thread's own is freed when it ends (the leak
// checker of the sanitizer build sees it otherwise).
TEST(XmlNameTable, ThreadsMakeAndDropTablesOfTheirOwn) {
  std::vector<std::string> seen(2);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&seen, i] {
      for (int k = 0; k < 3; ++k) seen[i] += U8(Root(Parse("<t" + std::to_string(i) + "/>"))->Get_NodeName());
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(seen[0], "t0t0t0");
  EXPECT_EQ(seen[1], "t1t1t1");
}

TEST(XmlNodeList, InsertRulesCloneForeignNodesAndKeepOwnOnes) {
  auto doc = CreateXmlDocument(u"root");
  auto root = Root(doc);
  auto a = root->AppendElement(u"a");
  auto b = root->AppendElement(u"b");
  a->SetAttr(u"k", u"v");
  // A node with another parent is copied, the original stays where it was.
  TIntf<IXmlNode> copy = b->AppendChild(a);
  EXPECT_NE(copy.get(), static_cast<IXmlNode*>(a.get()));
  EXPECT_EQ(a->Get_ParentNode().get(), static_cast<IXmlNode*>(root.get()));
  EXPECT_EQ(copy->Get_ParentNode().get(), static_cast<IXmlNode*>(b.get()));
  EXPECT_EQ(U8(copy->GetAttr(u"k")), "v");
  // A free node of the same table is inserted itself.
  auto free = doc->CreateElement(u"free");
  TIntf<IXmlNode> inserted = root->InsertBefore(free, b);
  EXPECT_EQ(inserted.get(), static_cast<IXmlNode*>(free.get()));
  EXPECT_EQ(U8(root->Get_ChildNodes()->Get_Item(1)->Get_NodeName()), "free");
  // A node of another table is copied and its names interned in this one.
  auto foreign = CreateXmlElement(u"\u00E9l\u00E8ve");
  foreign->SetIntAttr(u"n", 5);
  foreign->AppendElement(u"inner");
  TIntf<IXmlNode> moved = root->AppendChild(foreign);
  EXPECT_NE(moved.get(), static_cast<IXmlNode*>(foreign.get()));
  EXPECT_EQ(moved->Get_NameTable().get(), doc->Get_NameTable().get());
  EXPECT_EQ(moved->Get_NodeNameID(), doc->Get_NameTable()->GetID(u"\u00E9l\u00E8ve"));
  EXPECT_EQ(moved->GetIntAttr(u"n"), 5);
  EXPECT_EQ(moved->Get_ChildNodes()->Get_Item(0)->Get_NodeNameID(), doc->Get_NameTable()->GetID(u"inner"));
  EXPECT_EQ(foreign->Get_ParentNode().get(), nullptr);
  // A node cannot become its own descendant: it is copied.
  TIntf<IXmlNode> self = a->AppendChild(root);
  EXPECT_NE(self.get(), static_cast<IXmlNode*>(root.get()));
  // Removing clears the parent; the node lives on while referenced.
  root->RemoveChild(b);
  EXPECT_EQ(b->Get_ParentNode().get(), nullptr);
  EXPECT_EQ(b->Get_ChildNodes()->Get_Count(), 1);
  auto list = root->Get_ChildNodes();
  const int n = list->Get_Count();
  EXPECT_EQ(ErrorOf([&] { list->Get_Item(n); }), "Error obtaining the element the list: Index out of range");
  EXPECT_EQ(ErrorOf([&] { list->Get_Item(-1); }), "Error obtaining the element the list: Index out of range");
  list->Exchange(0, n - 1);
  EXPECT_EQ(U8(list->Get_Item(0)->Get_NodeName()), "\u00E9l\u00E8ve" == std::string() ? "" : U8(u"\u00E9l\u00E8ve"));
  TIntf<IXmlNode> replacement = doc->CreateComment(u"c");
  root->ReplaceChild(replacement, list->Get_Item(0));
  EXPECT_EQ(list->Get_Item(0)->Get_NodeType(), NODE_COMMENT);
}

TEST(XmlNode, NodeTypesNamesAndCasts) {
  auto doc = CreateXmlDocument(u"r");
  auto r = Root(doc);
  auto t = r->AppendText(u"t");
  auto c = r->AppendCDATA(u"c");
  auto m = r->AppendComment(u"m");
  auto p = r->AppendProcessingInstruction(u"pi", u"d");
  EXPECT_EQ(doc->Get_NodeType(), NODE_DOCUMENT);
  EXPECT_EQ(U8(doc->Get_NodeName()), "#document");
  EXPECT_EQ(U8(t->Get_NodeName()), "#text");
  EXPECT_EQ(U8(c->Get_NodeName()), "#cdata-section");
  EXPECT_EQ(U8(p->Get_NodeName()), "pi");
  EXPECT_TRUE(r->AsElement());
  EXPECT_FALSE(r->AsText());
  EXPECT_TRUE(t->AsText());
  EXPECT_FALSE(t->AsComment());
  EXPECT_TRUE(c->AsCDATASection());
  EXPECT_TRUE(m->AsComment());
  EXPECT_TRUE(p->AsProcessingInstruction());
  EXPECT_FALSE(p->AsElement());
  EXPECT_TRUE(Supports<IXmlCharacterData>(c));
  TIntf<IXmlElement> derived(new TDerivedElement(static_cast<TXmlNameTable*>(doc->Get_NameTable()->GetObject()), 0));
  EXPECT_EQ(derived->Get_NodeType(), NODE_INVALID);
  r->AppendChild(derived);
  EXPECT_EQ(ErrorOf([&] { doc->Get_BinaryXML(); }), "Error of the record of binary XML: incorrect node-type");
}

TEST(XmlNode, ElementValueTextAndTypes) {
  auto e = CreateXmlElement(u"e");
  EXPECT_EQ(e->Get_DataType(), varUString);
  e->Set_TypedValue(TVariant(42));
  EXPECT_EQ(e->Get_DataType(), varInteger);
  EXPECT_EQ(U8(e->Get_Text()), "42");
  e->Set_TypedValue(TVariant(true));
  EXPECT_EQ(U8(e->Get_Text()), "1");
  e->AppendText(u" a ");
  e->AppendElement(u"x")->Set_Text(u"inner");
  e->AppendCDATA(u"b");
  // With children the text is that of the text and CDATA children, the value a string.
  EXPECT_EQ(U8(e->Get_Text()), "a b");
  EXPECT_EQ(e->Get_DataType(), varUString);
  EXPECT_EQ(e->Get_TypedValue().VarType(), varUString);
  e->Set_Text(u"plain");
  EXPECT_EQ(U8(e->Get_Text()), "plain");
  // An element with a child list, even an empty one, shows the text of its children.
  EXPECT_EQ(e->Get_ChildNodes()->Get_Count(), 0);
  EXPECT_EQ(U8(e->Get_Text()), "");
  // Text nodes are trimmed unless white space is preserved.
  auto doc = CreateXmlDocument(u"r");
  auto t = Root(doc)->AppendText(u"  x  ");
  EXPECT_EQ(U8(t->Get_Text()), "x");
  doc->Set_PreserveWhiteSpace(true);
  EXPECT_EQ(U8(t->Get_Text()), "  x  ");
  doc->Set_Text(u"only");
  EXPECT_EQ(doc->Get_ChildNodes()->Get_Count(), 1);
  EXPECT_EQ(U8(doc->Get_Text()), "only");
}

TEST(XmlNode, CloneNodeShallowAndDeep) {
  auto doc = Parse("<r a='1'><c>t</c></r>");
  auto r = Root(doc);
  auto shallow = r->CloneNode(false);
  EXPECT_EQ(U8(shallow->GetAttr(u"a")), "1");
  EXPECT_EQ(shallow->Get_ChildNodes()->Get_Count(), 0);
  EXPECT_EQ(shallow->Get_ParentNode().get(), nullptr);
  auto deep = r->CloneNode(true);
  EXPECT_EQ(U8(deep->Get_XML()), U8(r->Get_XML()));
  deep->Get_ChildNodes()->Get_Item(0)->Set_Text(u"changed");
  EXPECT_EQ(U8(r->GetChildText(u"c")), "t");
  doc->Set_PreserveWhiteSpace(true);
  auto docClone = doc->CloneNode(true);
  EXPECT_EQ(docClone->Get_NodeType(), NODE_DOCUMENT);
  EXPECT_EQ(docClone->Get_NameTable().get(), doc->Get_NameTable().get());
  EXPECT_EQ(U8(doc->Get_XML()), "<r a=\"1\"><c>t</c></r>");
  EXPECT_EQ(U8(docClone->Get_XML()), "<r a=\"1\">\r\n\t<c>t</c>\r\n</r>");  // the flag is not copied
  EXPECT_FALSE(IntfCast<IXmlDocument>(docClone)->Get_PreserveWhiteSpace());
}

TEST(XmlNode, ChildLookups) {
  auto r = Root(Parse("<r><a>1</a><b/><a>2</a></r>"));
  EXPECT_EQ(U8(r->GetChildText(u"a")), "1");
  EXPECT_EQ(U8(r->GetChildText(u"zz", u"dflt")), "dflt");
  r->SetChildText(u"new", u"v");
  EXPECT_EQ(U8(r->Get_ChildNodes()->Get_Item(3)->Get_Text()), "v");
  r->SetChildText(u"a", u"first");
  EXPECT_EQ(U8(r->Get_ChildNodes()->Get_Item(0)->Get_Text()), "first");
  EXPECT_EQ(ErrorOf([&] { r->NeedChild(u"missing"); }), "Error: Child node \"missing\" not found");
  const int before = r->Get_ChildNodes()->Get_Count();
  EXPECT_EQ(r->EnsureChild(u"b").get(), r->Get_ChildNodes()->Get_Item(1).get());
  r->EnsureChild(u"c");
  EXPECT_EQ(r->Get_ChildNodes()->Get_Count(), before + 1);
  r->RemoveAllChilds();
  EXPECT_EQ(r->Get_ChildNodes()->Get_Count(), 0);
}

TEST(XmlNode, PathSelectionAndValues) {
  auto doc = Parse("<r><a x='1'><b>deep</b></a><a x='2'/><c/></r>");
  auto r = Root(doc);
  auto list = r->SelectNodes(u"a");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->Get_Count(), 2);
  EXPECT_EQ(U8(list->Get_Item(1)->GetAttr(u"x")), "2");
  EXPECT_EQ(list->Get_Item(0)->Get_ParentNode().get(), static_cast<IXmlNode*>(r.get()));  // still r's children
  EXPECT_EQ(r->Get_ChildNodes()->Get_Count(), 3);
  EXPECT_EQ(U8(r->SelectSingleNode(u"a\\b")->Get_Text()), "deep");
  EXPECT_EQ(r->SelectNodes(u"a\\b")->Get_Count(), 1);
  EXPECT_FALSE(r->SelectNodes(u"zz\\b"));
  EXPECT_FALSE(r->SelectSingleNode(u"zz\\b"));
  EXPECT_FALSE(r->SelectSingleNode(u"zz"));
  EXPECT_EQ(r->SelectNodes(u"zz")->Get_Count(), 0);
  EXPECT_EQ(ErrorOf([&] { r->SelectNodes(u"a/b"); }), "This feature is not supported by SimpleXML");
  EXPECT_EQ(ErrorOf([&] { r->SelectSingleNode(u"*"); }), "This feature is not supported by SimpleXML");
  EXPECT_EQ(U8(doc->SelectSingleNode(u"r\\a\\b")->FullPath()), "r\\a\\b");
  auto found = r->FindElement(u"a", u"x", TVariant(2));
  ASSERT_TRUE(found);
  EXPECT_EQ(U8(found->GetAttr(u"x")), "2");
  EXPECT_FALSE(r->FindElement(u"a", u"x", TVariant(3)));

  EXPECT_EQ(U8(r->Get_Values(u"a\\b").AsUnicodeString()), "deep");
  EXPECT_EQ(U8(r->SelectSingleNode(u"a")->Get_Values(u"@x").AsUnicodeString()), "1");
  EXPECT_EQ(r->Get_Values(u"@none").VarType(), varUString);
  EXPECT_EQ(r->Get_Values(u"nothing").VarType(), varUString);
  EXPECT_EQ(U8(r->Get_Values(u"nothing").AsUnicodeString()), "");
  r->Set_Values(u"@y", TVariant(3.5));
  EXPECT_EQ(r->GetAttrType(u"y"), varDouble);
  r->Set_Values(u"c", TVariant(7));
  EXPECT_EQ(r->SelectSingleNode(u"c")->Get_TypedValue().AsInteger(), 7);
  r->Set_Values(u"new", TVariant(u"n"));
  EXPECT_EQ(U8(r->GetChildText(u"new")), "n");
  r->Set_Values(u"", TVariant(1));
  EXPECT_EQ(r->Get_Values(u"").AsInteger(), 1);
}

TEST(XmlAttributes, TypedAccessAndDefaults) {
  auto e = CreateXmlElement(u"e");
  EXPECT_EQ(e->GetIntAttr(u"i", 7), 7);
  EXPECT_EQ(e->GetBoolAttr(u"b", true), true);
  EXPECT_EQ(e->GetFloatAttr(u"f", 2.5), 2.5);
  EXPECT_EQ(e->GetHexAttr(u"h", 9), 9);
  EXPECT_EQ(U8(e->GetAttr(u"s", u"d")), "d");
  EXPECT_EQ(e->GetDateTimeAttr(u"d", TDateTime(3)).Value(), 3);
  EXPECT_EQ(e->GetVarAttr(u"v", TVariant(1)).AsInteger(), 1);
  EXPECT_EQ(e->GetAttrType(u"i"), varEmpty);

  e->SetAttr(u"i", u"12");
  EXPECT_EQ(e->GetIntAttr(u"i", 7), 12);
  e->SetAttr(u"i", u"twelve");
  EXPECT_NE(ErrorOf([&] { e->GetIntAttr(u"i", 7); }), "no error");
  e->SetIntAttr(u"i", -5);
  EXPECT_EQ(e->GetAttrType(u"i"), varInteger);
  EXPECT_EQ(U8(e->GetAttr(u"i")), "-5");

  e->SetAttr(u"b", u"0");
  EXPECT_FALSE(e->GetBoolAttr(u"b", true));
  e->SetBoolAttr(u"b", true);
  EXPECT_EQ(e->GetAttrType(u"b"), varBoolean);
  EXPECT_EQ(U8(e->GetAttr(u"b")), "1");
  EXPECT_TRUE(e->GetBoolAttr(u"b"));

  e->SetAttr(u"f", u"1.25e2");
  EXPECT_EQ(e->GetFloatAttr(u"f"), 125.0);
  e->SetAttr(u"f", u"1,5");
  EXPECT_NE(ErrorOf([&] { e->GetFloatAttr(u"f"); }), "no error");
  e->SetFloatAttr(u"f", 0.1);
  EXPECT_EQ(U8(e->GetAttr(u"f")), "0.1");

  e->SetAttr(u"h", u"fF");
  EXPECT_EQ(e->GetHexAttr(u"h"), 255);
  e->SetHexAttr(u"h", 255, 4);
  EXPECT_EQ(U8(e->GetAttr(u"h")), "00FF");
  e->SetHexAttr(u"h", -1);
  EXPECT_EQ(U8(e->GetAttr(u"h")), "FFFFFFFF");
  EXPECT_EQ(e->GetHexAttr(u"h"), -1);
  e->SetAttr(u"h", u"0x1");
  EXPECT_NE(ErrorOf([&] { e->GetHexAttr(u"h"); }), "no error");

  e->SetAttr(u"d", u"2024-02-29");
  EXPECT_EQ(e->GetDateTimeAttr(u"d").Value(), EncodeDateTime(2024, 2, 29).Value());
  e->SetDateTimeAttr(u"d", EncodeDateTime(2024, 2, 29, 13, 14, 15, 600));
  EXPECT_EQ(U8(e->GetAttr(u"d")), "2024-02-29T13-14-15");

  EXPECT_EQ(ErrorOf([&] { e->NeedAttr(u"absent"); }), "Attribute \"absent\" not assigned");
  EXPECT_EQ(U8(e->NeedAttr(u"i")), "-5");

  const std::vector<TXmlString> modes = {u"Low", u"High", u"\u00C9lev\u00E9"};
  EXPECT_EQ(e->GetEnumAttr(u"m", modes, 2), 2);
  EXPECT_EQ(ErrorOf([&] { e->NeedEnumAttr(u"m", modes); }), "Attribute \"m\" not found");
  e->SetAttr(u"m", u"high");
  EXPECT_EQ(e->GetEnumAttr(u"m", modes), 1);
  e->SetAttr(u"m", u"\u00E9LEV\u00C9");
  EXPECT_EQ(e->NeedEnumAttr(u"m", modes), 2);
  e->SetAttr(u"m", u"mid");
  EXPECT_EQ(ErrorOf([&] { e->GetEnumAttr(u"m", modes); }),
            "Incorrect value of the attribute \"m\" at element \"e\".\r\nAllowed values are: \r\nLow\r\nHigh\r\n"
            "\xC3\x89lev\xC3\xA9");

  // Removing keeps the order of the others.
  const int n = e->Get_AttrCount();
  e->RemoveAttr(u"b");
  EXPECT_EQ(e->Get_AttrCount(), n - 1);
  EXPECT_EQ(U8(e->Get_AttrName(0)), "i");
  EXPECT_EQ(U8(e->Get_AttrName(1)), "f");
  EXPECT_FALSE(e->AttrExists(u"b"));
  EXPECT_TRUE(e->AttrExists(e->Get_NameTable()->GetID(u"f")));
  e->RemoveAllAttrs();
  EXPECT_EQ(e->Get_AttrCount(), 0);
}

TEST(XmlElement, CDataSplittingAndBinaryText) {
  auto e = CreateXmlElement(u"e");
  e->AppendText(u"old");
  e->AppendComment(u"kept");
  e->ReplaceTextByCDATASection(u"ab]]>cd]]>");
  auto kids = e->Get_ChildNodes();
  ASSERT_EQ(kids->Get_Count(), 4);
  EXPECT_EQ(kids->Get_Item(0)->Get_NodeType(), NODE_COMMENT);
  EXPECT_EQ(U8(kids->Get_Item(1)->Get_Text()), "ab]");
  EXPECT_EQ(U8(kids->Get_Item(2)->Get_Text()), "]>cd]");
  EXPECT_EQ(U8(kids->Get_Item(3)->Get_Text()), "]>");

  const unsigned char bytes[] = {0, 1, 2, 250, 251, 252, 253};
  e->ReplaceTextByBinaryData(bytes, sizeof(bytes), 4);
  ASSERT_EQ(e->Get_ChildNodes()->Get_Count(), 2);
  EXPECT_EQ(e->GetTextAsBinaryData(), std::string(reinterpret_cast<const char*>(bytes), sizeof(bytes)));
}

TEST(XmlConversions, TextAndNumbers) {
  EXPECT_EQ(U8(TextToXML(u"a\"b&c<d>e'f")), "a&quot;b&amp;c&lt;d&gt;e'f");
  EXPECT_EQ(U8(VarToXSTR(TVariant())), "");
  EXPECT_EQ(U8(VarToXSTR(TVariant::Null())), "{{null}}");
  EXPECT_EQ(U8(VarToXSTR(TVariant(false))), "0");
  EXPECT_EQ(U8(VarToXSTR(TVariant(uint8_t(200)))), "200");
  EXPECT_EQ(U8(VarToXSTR(TVariant(int64_t(-9000000000)))), "-9000000000");
  EXPECT_EQ(U8(VarToXSTR(TVariant(TCurrency::FromScaled(12345)))), "1.2345");
  EXPECT_EQ(U8(VarToXSTR(TVariant::Bytes("\x01\x02\x03\x04", 4))), "AQIDBA==");
  EXPECT_EQ(U8(VarToXSTR(TVariant(EncodeDateTime(1999, 12, 31, 23, 59, 58)))), "1999-12-31T23-59-58");

  EXPECT_EQ(U8(FloatToXSTR(0.1)), "0.1");
  EXPECT_EQ(U8(FloatToXSTR(-2.5)), "-2.5");
  EXPECT_EQ(U8(FloatToXSTR(1e20)), "1E20");
  EXPECT_EQ(U8(FloatToXSTR(1.5e-7)), "1.5E-7");
  EXPECT_EQ(U8(FloatToXSTR(1.0 / 3)), "0.333333333333333");
  EXPECT_EQ(U8(FloatToXSTR(HUGE_VAL)), "INF");
  EXPECT_EQ(U8(FloatToXSTR(-HUGE_VAL)), "-INF");
  EXPECT_EQ(U8(FloatToXSTR(std::nan(""))), "NAN");
  for (double x : {0.0, 1.0, -3.75, 123456.789, 1e-300, 6.02214076e23})
    EXPECT_EQ(XSTRToFloat(FloatToXSTR(x)), x) << x;

  EXPECT_EQ(XSTRToFloat(u"-iNf"), -HUGE_VAL);
  EXPECT_EQ(XSTRToFloat(u"+INF"), HUGE_VAL);
  EXPECT_EQ(XSTRToFloat(u"inf"), HUGE_VAL);
  const double nan = XSTRToFloat(u"nan");
  uint64_t bits;
  std::memcpy(&bits, &nan, 8);
  EXPECT_EQ(bits, 0xFFF8000000000000ull);
  EXPECT_EQ(XSTRToFloat(u"-1.5E3"), -1500.0);
  EXPECT_EQ(XSTRToFloat(u".5"), 0.5);
  for (const char16_t* bad : {u"1,5", u"", u"abc", u"1.5x", u" 1", u"infinity", u"--1"})
    EXPECT_EQ(ErrorOf([&] { XSTRToFloat(bad); }), std::string(1, '\'').append(U8(bad)).append("' is not a valid floating point value"));
}

TEST(XmlConversions, DateTimes) {
  EXPECT_EQ(U8(DateTimeToXSTR(EncodeDateTime(2024, 1, 2, 3, 4, 5, 999))), "2024-01-02T03-04-05");
  EXPECT_EQ(XSTRToDateTime(u"2024-01-02T03-04-05").Value(), EncodeDateTime(2024, 1, 2, 3, 4, 5).Value());
  EXPECT_EQ(XSTRToDateTime(u"2024-01-02").Value(), EncodeDateTime(2024, 1, 2).Value());
  // Parsing stops at the first wrong delimiter; the rest is 0.
  EXPECT_EQ(XSTRToDateTime(u"2024-01-02T03:04:05").Value(), EncodeDateTime(2024, 1, 2, 3).Value());
  EXPECT_EQ(XSTRToDateTime(u"2024-01-02-03").Value(), EncodeDateTime(2024, 1, 2).Value());
  EXPECT_NE(ErrorOf([] { XSTRToDateTime(u"2024-13-01"); }), "no error");
  EXPECT_NE(ErrorOf([] { XSTRToDateTime(u""); }), "no error");
}

TEST(XmlConversions, Base64) {
  const unsigned char three[] = {0x01, 0x02, 0x03};
  EXPECT_EQ(U8(BinToBase64(three, 3, 0)), "AQID");
  EXPECT_EQ(U8(BinToBase64(three, 3, 2)), "A\r\nQI\r\nD");
  const std::string bytes = "any carnal pleasure.";
  const TXmlString wrapped = BinToBase64(bytes.data(), static_cast<int32_t>(bytes.size()), 10);
  EXPECT_EQ(U8(wrapped), "YW55IGNhc\r\nm5hbCBwbGV\r\nhc3VyZS4=");
  EXPECT_EQ(Base64ToBin(wrapped), bytes);
  EXPECT_EQ(Base64ToBin(u" QQ==\n"), "A");
  EXPECT_EQ(Base64ToBin(u"QUI="), "AB");
  EXPECT_EQ(Base64ToBin(u"QUJD"), "ABC");
  EXPECT_EQ(Base64ToBin(u"QU="), "");
  // Characters outside the alphabet count as 0.
  EXPECT_EQ(Base64ToBin(u"QU*D"), std::string("A@\x03", 3));
  for (int n = 0; n < 8; ++n) {
    std::string data;
    for (int i = 0; i < n; ++i) data += static_cast<char>(i * 37 + 200);
    EXPECT_EQ(Base64ToBin(BinToBase64(data.data(), n, 3)), data) << n;
  }
}

TEST(XmlModule, DocumentsAndHelpers) {
  auto doc = CreateXmlDocument(u"root", u"", u"");
  ASSERT_EQ(doc->Get_ChildNodes()->Get_Count(), 2);
  auto decl = doc->Get_ChildNodes()->Get_Item(0);
  EXPECT_EQ(U8(decl->Get_NodeName()), "xml");
  EXPECT_EQ(U8(decl->GetAttr(u"version")), "1.0");
  EXPECT_EQ(U8(decl->GetAttr(u"encoding")), "UTF-8");
  EXPECT_EQ(U8(Root(doc)->Get_NodeName()), "root");
  EXPECT_EQ(CreateXmlDocument()->Get_ChildNodes()->Get_Count(), 0);
  TIntf<IXmlNameTable> shared = CreateNameTable(17);
  EXPECT_EQ(CreateXmlDocument(u"", u"", u"", shared)->Get_NameTable().get(), shared.get());

  EXPECT_TRUE(IsXmlDataString("\r\n\t <?xml version='1.0'?>"));
  EXPECT_FALSE(IsXmlDataString("<?xml?>"));
  EXPECT_FALSE(IsXmlDataString("x<?xml "));
  EXPECT_TRUE(IsXmlDataString(std::string(BinXmlSignature, 14)));
  EXPECT_FALSE(XmlIsInBinaryFormat(std::string(BinXmlSignature, 14)));
  EXPECT_TRUE(XmlIsInBinaryFormat(std::string(BinXmlSignature, 14) + "x"));

  TIntf<IXmlElement> e = Root(doc);
  PrepareToSaveXml(e, u"");
  EXPECT_EQ(e.get(), Root(doc).get());
  PrepareToSaveXml(e, u"child");
  EXPECT_EQ(U8(e->FullPath()), "root\\child");
  TIntf<IXmlElement> l = Root(doc);
  EXPECT_TRUE(PrepareToLoadXml(l, u"child"));
  EXPECT_EQ(l.get(), e.get());
  l = Root(doc);
  EXPECT_FALSE(PrepareToLoadXml(l, u"other"));
  EXPECT_FALSE(l);
  TIntf<IXmlElement> none;
  EXPECT_FALSE(PrepareToLoadXml(none, u"x"));
}

TEST(XmlModule, ResourcesCompiledIntoTheModule) {
  static const char xml[] = "<?xml version='1.0'?><settings mode='fast'/>";
  RegisterXmlResource("XML", "Defaults", xml, sizeof(xml) - 1);
  RegisterXmlResource("XML", "Empty", xml, 0);
  auto doc = LoadXmlDocument("xml", "DEFAULTS");
  EXPECT_EQ(U8(Root(doc)->GetAttr(u"mode")), "fast");
  // A missing or empty resource leaves the document as it was.
  doc->LoadResource("XML", "Missing");
  doc->LoadResource("XML", "Empty");
  EXPECT_EQ(U8(Root(doc)->GetAttr(u"mode")), "fast");
  UnregisterXmlResource("XML", "Defaults");
  UnregisterXmlResource("XML", "Empty");
  EXPECT_EQ(LoadXmlDocument("XML", "Defaults")->Get_ChildNodes()->Get_Count(), 0);
}
