// How a document's tree ends: at once when nothing else can reach it, node by node otherwise. The
// check that XmlTestUtils turns on aborts the run if a tree is freed at once while any node or list
// of it is still held or owns memory outside the pool.
#include <string>

#include "host/Quenra.Elements.h"
#include "XmlTestUtils.h"

namespace {

using namespace xmltest;

// Components with attributes, a comment, texts held on their own, CDATA, one text longer than a
// pool block, and the declaration.
std::string SampleDocument() {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<project name=\"p\">\n";
  for (int i = 0; i < 300; ++i) {
    s += "<component id=\"" + std::to_string(i) + "\"><!-- note " + std::to_string(i) + " -->";
    s += "<value>" + std::to_string(i * 7) + "</value><text>alpha &amp; beta</text><t2>x</t2><t3>y</t3>";
    if (i % 50 == 0) s += "<script><![CDATA[if (a < b) run();]]></script><long>" + std::string(5000, 'z') + "</long>";
    s += "</component>\n";
  }
  return s + "</project>\n";
}

uint64_t Releases() { return detail::XmlWholeTreeReleases(); }

TEST(XmlTreeRelease, DocumentsThatWereOnlyReadFreeTheirTreeAtOnce) {
  const std::string text = SampleDocument();
  const std::string binary = Parse(text)->Get_BinaryXML();
  for (int form = 0; form < 2; ++form) {
    SCOPED_TRACE(form);
    uint64_t before = Releases();
    TIntf<IXmlDocument> doc = form ? LoadXmlDocumentFromBinaryXML(binary) : Parse(text);
    {
      // Interface variables, child lists and result lists taken and let go again leave nothing behind.
      TIntf<IXmlNode> c = doc->SelectSingleNode(u"project\\component");
      ASSERT_TRUE(c);
      EXPECT_EQ(c->Get_ChildNodes()->Get_Count(), 7);
      EXPECT_EQ(c->GetChildText(u"text", u""), u"alpha & beta");
      EXPECT_EQ(doc->Get_DocumentElement()->SelectNodes(u"component")->Get_Count(), 300);
      EXPECT_EQ(doc->Get_DocumentElement()->Get_ChildNodes()->Get_Item(50)->SelectSingleNode(u"long")->Get_Text().size(),
                5000u);
    }
    doc = nullptr;
    EXPECT_EQ(Releases(), before + 1);
    // A document built through the interfaces ends the same way.
    before = Releases();
    doc = CreateXmlDocument(u"root");
    for (int i = 0; i < 20; ++i) doc->Get_DocumentElement()->AppendElement(u"e")->AppendComment(std::u16string(i * 200, u'c'));
    doc = nullptr;
    EXPECT_EQ(Releases(), before + 1);
  }
}

TEST(XmlTreeRelease, NodesHeldFromOutsideOutliveTheirDocument) {
  const std::string text = SampleDocument();
  // Each kind of holder on its own: a node, a child list, a list of selected nodes.
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kind);
    const uint64_t before = Releases();
    TIntf<IXmlDocument> doc = Parse(text);
    TIntf<IXmlNode> held;
    TIntf<IXmlNodeList> childs, found;
    if (kind == 0) held = doc->SelectSingleNode(u"project\\component");
    if (kind == 1) childs = doc->Get_DocumentElement()->Get_ChildNodes()->Get_Item(50)->Get_ChildNodes();
    if (kind == 2) found = doc->Get_DocumentElement()->SelectNodes(u"component");
    doc = nullptr;
    EXPECT_EQ(Releases(), before);
    // Another document of the same size takes the memory a wrongly freed tree would have left.
    TIntf<IXmlDocument> other = Parse(text);
    if (held) {
      EXPECT_FALSE(held->Get_ParentNode());
      EXPECT_EQ(held->Get_AttrCount(), 1);
      EXPECT_EQ(held->Get_ChildNodes()->Get_Count(), 7);
      EXPECT_EQ(held->GetChildText(u"value", u""), u"0");
      EXPECT_EQ(held->SelectSingleNode(u"long")->Get_Text(), std::u16string(5000, 'z'));
    }
    if (childs) {
      // The list outlives its node, emptied as the node died.
      EXPECT_EQ(childs->Get_Count(), 0);
      EXPECT_EQ(childs->Get_XML(), u"");
    }
    if (found) {
      ASSERT_EQ(found->Get_Count(), 300);
      EXPECT_EQ(found->Get_Item(299)->GetChildText(u"value", u""), u"2093");
    }
    // Once the holder is gone, the next document of a table ends at once again.
    held = nullptr;
    childs = nullptr;
    found = nullptr;
    const uint64_t next = Releases();
    other = nullptr;
    EXPECT_EQ(Releases(), next + 1);
  }
}

TEST(XmlTreeRelease, MemoryOutsideThePoolIsGivenBackBeforeTheTreeIsDropped) {
  // Attributes read or set as values, typed values and instruction data live outside the pool; the
  // check aborts the run if any of it is still held when the blocks are dropped.
  const std::string text = SampleDocument();
  const uint64_t before = Releases();
  TIntf<IXmlDocument> doc = Parse(text);
  EXPECT_EQ(doc->SelectSingleNode(u"project\\component")->GetIntAttr(u"id", -1), 0);
  doc->SelectSingleNode(u"project\\component\\value")->Set_TypedValue(TVariant(int32_t(5)));
  doc->Get_DocumentElement()->AppendProcessingInstruction(u"pi", u"data that does not fit in place");
  doc->Get_DocumentElement()->AppendElement(u"e")->SetAttr(u"long", std::u16string(300, u'v'));
  doc = nullptr;
  EXPECT_EQ(Releases(), before + 1);
  // A document built through the interfaces, every element with attributes and typed values.
  doc = CreateXmlDocument(u"root", u"1.0", u"UTF-8");
  for (int i = 0; i < 200; ++i) {
    TIntf<IXmlElement> e = doc->Get_DocumentElement()->AppendElement(u"e");
    e->SetIntAttr(u"n", i);
    e->SetAttr(u"name", std::u16string(20 + i % 7, u'a'));
    e->AppendElement(u"v")->Set_TypedValue(TVariant(double(i) / 3));
    e->AppendText(u"text of the element");
  }
  const std::u16string saved = doc->Get_XML();
  doc = nullptr;
  EXPECT_EQ(Releases(), before + 2);
  // Heavy nodes that died on their own (removed, then let go) leave stale entries in the table's
  // list of heavy nodes: the tree is searched instead, and the list starts again afterwards.
  for (int round = 0; round < 2; ++round) {
    doc = Parse(text);
    {
      TIntf<IXmlNodeList> components = doc->Get_DocumentElement()->SelectNodes(u"component");
      for (int i = 0; i < 3; ++i) EXPECT_EQ(components->Get_Item(i)->GetIntAttr(u"id", -1), i);
      if (round == 0) doc->Get_DocumentElement()->RemoveChild(components->Get_Item(1));
    }
    doc = nullptr;
    EXPECT_EQ(Releases(), before + 3 + round);
  }
  // Documents made one after another on a table the caller keeps: each ends at once, and the
  // table's count of heavy nodes starts again with each.
  TIntf<IXmlNameTable> table = CreateNameTable();
  for (int round = 0; round < 3; ++round) {
    TIntf<IXmlDocument> d = CreateXmlDocument(u"r", u"1.0", u"", table);
    for (int i = 0; i < 50; ++i) d->Get_DocumentElement()->AppendElement(u"e")->SetIntAttr(u"n", i + round);
    d = nullptr;
  }
  EXPECT_EQ(Releases(), before + 7);
  // The memory given back is reused by the next document without harm.
  doc = Parse(std::string(saved.begin(), saved.end()));  // ASCII
  EXPECT_EQ(doc->Get_DocumentElement()->Get_ChildNodes()->Get_Item(199)->GetAttr(u"name", u""), std::u16string(20 + 199 % 7, u'a'));
  doc = nullptr;
}

TEST(XmlTreeRelease, NodesThatNeedTheirDestructorsAreFreedOneByOne) {
  const std::string text = SampleDocument();
  const uint64_t before = Releases();
  // A weak holder learns of the death of a node deep in the tree.
  TIntf<IXmlDocument> doc = Parse(text);
  TWeakHolder weak(doc->SelectSingleNode(u"project\\component\\text")->GetObject());
  EXPECT_TRUE(weak.IsAlive());
  doc = nullptr;
  EXPECT_FALSE(weak.IsAlive());
  EXPECT_EQ(Releases(), before);
  // A node copied into a document of another table leaves its blocks in the first table's pool:
  // neither tree may then be freed at once.
  TIntf<IXmlDocument> a = Parse(text);
  TIntf<IXmlDocument> b = CreateXmlDocument(u"other");
  b->Get_DocumentElement()->AppendChild(a->SelectSingleNode(u"project\\component"));
  a = nullptr;
  EXPECT_EQ(b->SelectSingleNode(u"other\\component")->GetChildText(u"value", u""), u"0");
  b = nullptr;
  EXPECT_EQ(Releases(), before);
}

}  // namespace
