#include <string>
#include <vector>

#include "XmlTestUtils.h"

using namespace xmltest;

TEST(XmlParser, ElementsAttributesAndNesting) {
  auto doc = Parse("<?xml version=\"1.0\"?>\r\n<root a='1' b = \"two\" >\n  <empty/><pair></pair>\n"
                   "  <child x=\"&lt;&amp;&gt;\">text</child></root>");
  ASSERT_EQ(doc->Get_ChildNodes()->Get_Count(), 2);
  EXPECT_EQ(doc->Get_ChildNodes()->Get_Item(0)->Get_NodeType(), NODE_PROCESSING_INSTRUCTION);
  auto root = Root(doc);
  ASSERT_TRUE(root);
  EXPECT_EQ(U8(root->Get_NodeName()), "root");
  EXPECT_EQ(root->Get_AttrCount(), 2);
  EXPECT_EQ(U8(root->GetAttr(u"a")), "1");
  EXPECT_EQ(U8(root->GetAttr(u"b")), "two");
  EXPECT_EQ(root->GetAttrType(u"b"), varUString);
  auto kids = root->Get_ChildNodes();
  ASSERT_EQ(kids->Get_Count(), 3);
  // Self-closing and start-end forms both give an element without children.
  for (int i : {0, 1}) {
    auto e = kids->Get_Item(i);
    EXPECT_EQ(e->Get_NodeType(), NODE_ELEMENT);
    EXPECT_EQ(e->Get_ChildNodes()->Get_Count(), 0) << i;
    EXPECT_EQ(U8(e->Get_Text()), "");
  }
  auto child = kids->Get_Item(2);
  EXPECT_EQ(U8(child->GetAttr(u"x")), "<&>");
  EXPECT_EQ(U8(child->Get_Text()), "text");
  EXPECT_EQ(child->Get_ParentNode().get(), static_cast<IXmlNode*>(root.get()));
  EXPECT_EQ(U8(child->FullPath()), "root\\child");
  EXPECT_EQ(child->Get_OwnerDocument().get(), doc.get());
}

TEST(XmlParser, EntitiesAndCharacterReferences) {
  auto doc = Parse("<a>&#x41;&amp;&#66;&quot;&apos;&#x20AC;&#65601;</a>");
  // Character references keep the low 16 bits of the code.
  EXPECT_EQ(Root(doc)->Get_Text(), u"A&B\"'\u20AC\u0041");
  EXPECT_EQ(ParseError("<a>&AMP;</a>"), "Unknown XML entity symbol name \"AMP\" found");
  EXPECT_EQ(ParseError("<a>&#X41;</a>"), "Number expected");
  EXPECT_EQ(ParseError("<a>&#x;</a>"), "Hexadecimal number expected");
  EXPECT_EQ(ParseError("<a>&#;</a>"), "Number expected");
  EXPECT_EQ(ParseError("<a>&#"), "Number expected");
  EXPECT_EQ(ParseError("<a>&"), "\"#\" or XML entity symbol name expected");
  EXPECT_EQ(ParseError("<a>&amp </a>"), "Character \";\" expected");
  EXPECT_EQ(ParseError("<a>&1;</a>"), "Name must start with letter or \" _\"");
}

TEST(XmlParser, CommentsCDataInstructionsAndDoctype) {
  auto doc = Parse(
      "<!DOCTYPE note SYSTEM \"x.dtd\"><!-- head - note --><r><![CDATA[<raw> & ]] ]]><?app  some data ?>"
      "<!----></r>");
  ASSERT_EQ(doc->Get_ChildNodes()->Get_Count(), 2);  // the DOCTYPE leaves nothing
  auto comment = doc->Get_ChildNodes()->Get_Item(0);
  EXPECT_EQ(comment->Get_NodeType(), NODE_COMMENT);
  EXPECT_EQ(U8(comment->Get_Text()), " head - note ");
  EXPECT_EQ(U8(comment->Get_NodeName()), "#comment");
  auto kids = Root(doc)->Get_ChildNodes();
  ASSERT_EQ(kids->Get_Count(), 3);
  EXPECT_EQ(kids->Get_Item(0)->Get_NodeType(), NODE_CDATA_SECTION);
  EXPECT_EQ(U8(kids->Get_Item(0)->Get_Text()), "<raw> & ]] ");
  auto pi = kids->Get_Item(1);
  EXPECT_EQ(pi->Get_NodeType(), NODE_PROCESSING_INSTRUCTION);
  EXPECT_EQ(U8(pi->Get_NodeName()), "app");
  EXPECT_EQ(U8(pi->Get_Text()), "  some data ");  // the blank after the target belongs to the data
  EXPECT_EQ(U8(kids->Get_Item(2)->Get_Text()), "");
  // Element text joins text and CDATA pieces with one blank.
  auto mixed = Parse("<m>one<![CDATA[two]]><!--x--><e/>three</m>");
  EXPECT_EQ(U8(Root(mixed)->Get_Text()), "one two three");
}

TEST(XmlParser, WhiteSpaceIsTrimmedUnlessPreserved) {
  const std::string text = "<r>  <e>   </e> <t>  a b  </t></r>";
  auto trimmed = Parse(text);
  auto r = Root(trimmed);
  ASSERT_EQ(r->Get_ChildNodes()->Get_Count(), 2);
  EXPECT_EQ(r->Get_ChildNodes()->Get_Item(0)->Get_ChildNodes()->Get_Count(), 0);
  EXPECT_EQ(U8(r->Get_ChildNodes()->Get_Item(1)->Get_Text()), "a b");

  auto kept = Parse(text, true);
  r = Root(kept);
  ASSERT_EQ(r->Get_ChildNodes()->Get_Count(), 4);  // blank runs between the elements are text nodes
  auto e = r->Get_ChildNodes()->Get_Item(1);
  ASSERT_EQ(e->Get_ChildNodes()->Get_Count(), 1);
  EXPECT_EQ(U8(e->Get_ChildNodes()->Get_Item(0)->Get_Text()), "   ");
  EXPECT_EQ(U8(r->Get_ChildNodes()->Get_Item(3)->Get_Text()), "  a b  ");
}

TEST(XmlParser, RepeatedAttributeKeepsFirstPositionAndLastValue) {
  auto r = Root(Parse("<r a='1' b='2' a='3'/>"));
  ASSERT_EQ(r->Get_AttrCount(), 2);
  EXPECT_EQ(U8(r->Get_AttrName(0)), "a");
  EXPECT_EQ(U8(r->GetAttr(u"a")), "3");
  EXPECT_EQ(U8(r->Get_AttrName(1)), "b");
}

TEST(XmlParser, NamesFollowUnicodeLetterClasses) {
  auto r = Root(Parse("<?xml version='1.0' encoding='UTF-8'?><\xD0\xBA\xD0\xBE\xD1\x80\xD0\xB5\xD0\xBD\xD1\x8C _a-1.b:c='v'/>"));
  EXPECT_EQ(r->Get_NodeName(), u"\u043A\u043E\u0440\u0435\u043D\u044C");
  EXPECT_TRUE(r->AttrExists(u"_a-1.b:c"));
  EXPECT_EQ(ParseError("<1a/>"), "Name must start with letter or \" _\"");
  EXPECT_EQ(ParseError("<?xml version='1.0'?><a \xE2\x82\xAC='1'/>"), "Character \">\" expected");
  // Without a declaration every byte is the character of the same code.
  EXPECT_EQ(Root(Parse("<a x='\xC3\xA9'/>"))->GetAttr(u"x"), u"\u00C3\u00A9");
}

TEST(XmlParser, EveryParserErrorMessage) {
  struct Case {
    const char* Input;
    const char* Message;
  };
  const std::vector<Case> cases = {
      {"<a></b>", "Text \"a\" expected"},
      {"<abc></abd>", "Text \"c\" expected"},
      {"<a></a", "Character \">\" expected"},
      {"<a>", "Character \"/\" expected"},
      {"<a><", "Character \"/\" expected"},
      {"<a x='<'/>", "Character \"<\" cannot be used in the values of attributes"},
      {"<a x='1/>", "\"'\" expected"},
      {"<a x=\"1/>", "\"\"\" expected"},
      {"<a x=", "The value of the attribute is expected"},
      {"<a x=  ", "The value of the attribute is expected"},
      {"<a x=1/>", "Line constant expected"},
      {"<a x/>", "Character \"=\" expected"},
      {"<abc", "The determination of the element is not completed"},
      {"<abc<", "Invalid symbol in the name of the element"},
      {"<a/ >", "Text \">\" expected"},
      {"<!-- open", "\"-->\" expected"},
      {"<!-x-->", "Text \"-\" expected"},
      {"<![CDAT[x]]>", "Text \"A[\" expected"},
      {"<![CDATA[x]]", "\"]]>\" expected"},
      {"<?pi data", "\"?>\" expected"},
      {"<?xml version='1.0'>", "Text \"?>\" expected"},
      {"<!DOCTYPE x", "\">\" expected"},
      {"<!ELEMENT x>", "Text \"DOCTYPE\" expected"},
      {"< a/>", "Name must start with letter or \" _\""},
      {"<?xml encoding='KOI8-R'?><a/>", "Encoding \"KOI8-R\" is not supported by SimpleXML"},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseError(c.Input), c.Message) << c.Input;
}

TEST(XmlParser, FailedParseKeepsTheNodesReadSoFar) {
  TIntf<IXmlDocument> doc = CreateXmlDocument(u"old");
  EXPECT_EQ(ErrorOf([&] { doc->LoadXML("<r><a k='v'/><b>text</b><c x=></r>"); }), "Line constant expected");
  auto r = Root(doc);
  ASSERT_TRUE(r);
  EXPECT_EQ(U8(r->Get_NodeName()), "r");  // the earlier content is gone
  ASSERT_EQ(r->Get_ChildNodes()->Get_Count(), 3);
  EXPECT_EQ(U8(r->Get_ChildNodes()->Get_Item(0)->GetAttr(u"k")), "v");
  EXPECT_EQ(U8(r->Get_ChildNodes()->Get_Item(1)->Get_Text()), "text");
  EXPECT_EQ(U8(r->Get_ChildNodes()->Get_Item(2)->Get_NodeName()), "c");
}

TEST(XmlParser, TopLevelEndTagAndNulCharacterEndTheInput) {
  auto doc = Parse("<a/></b><c/>");
  EXPECT_EQ(doc->Get_ChildNodes()->Get_Count(), 1);
  auto nul = Parse(std::string("<a/>x\0<b/>", 10));
  ASSERT_EQ(nul->Get_ChildNodes()->Get_Count(), 2);
  EXPECT_EQ(U8(nul->Get_ChildNodes()->Get_Item(1)->Get_Text()), "x");
}

TEST(XmlParser, DeepNestingParsesAndFreesWithoutRecursion) {
  const int depth = 50000;
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<e>";
  for (int i = 0; i < depth; ++i) text += "</e>";
  auto doc = Parse(text);
  TIntf<IXmlNode> n = Root(doc);
  int levels = 0;
  while (n && n->Get_ChildNodes()->Get_Count() > 0) {
    n = n->Get_ChildNodes()->Get_Item(0);
    ++levels;
  }
  EXPECT_EQ(levels, depth - 1);
  // Unclosed deep input fails cleanly too.
  EXPECT_EQ(ParseError(text.substr(0, text.size() / 2)), "Character \"/\" expected");
}
