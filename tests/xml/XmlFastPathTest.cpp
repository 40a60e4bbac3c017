// The parser reads in 16384-byte blocks and takes text, names and end tags in place when they end
// inside a block; the readers keep attributes and text packed until used. These tests put every kind
// of token across the block boundary at every offset, and check that packed nodes behave as plain ones.
#include <algorithm>
#include <string>
#include <vector>

#include "XmlTestUtils.h"
#include "xml/detail/XmlInternals.h"

using namespace xmltest;

namespace {

constexpr size_t Block = 16384;

// AHead, then filler, then ATail, the filler sized so that ATail starts at byte Block + AOffset.
std::string Placed(const std::string& AHead, const std::string& ATail, int AOffset, char AFill = 'x') {
  return AHead + std::string(Block + AOffset - AHead.size(), AFill) + ATail;
}

// Parses AText both from a stream and from a byte string, which must agree.
TIntf<IXmlDocument> ParseBoth(const std::string& AText) {
  TXmlMemoryStream stream(AText);
  auto fromStream = LoadXmlDocument(stream);
  auto fromBytes = LoadXmlDocumentFromXML(AText);
  EXPECT_EQ(fromStream->Get_XML(), fromBytes->Get_XML());
  return fromBytes;
}

}  // namespace

TEST(XmlBlocks, TokensAcrossTheBoundaryAtEveryOffset) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  // Two- and three-byte characters, an entity and a character reference in one payload.
  const std::string payload = "\xC3\xA9\xE2\x82\xAC&amp;z&#x416;\xD0\x96";
  const TXmlString decoded = u"\u00E9\u20AC&z\u0416\u0416";
  for (int offset = -24; offset <= 8; ++offset) {
    SCOPED_TRACE("offset " + std::to_string(offset));
    // Text content.
    auto text = ParseBoth(Placed(decl + "<a>", payload + "</a>", offset));
    const TXmlString t = Root(text)->Get_Text();
    ASSERT_GE(t.size(), decoded.size());
    EXPECT_EQ(t.substr(t.size() - decoded.size()), decoded);
    EXPECT_EQ(t.find_first_not_of(u'x'), t.size() - decoded.size());
    // An attribute value, closed by either quote.
    for (const char* q : {"'", "\""}) {
      auto attr = ParseBoth(Placed(decl + "<a v=" + q, payload + q + " w='1'/>", offset));
      const TXmlString v = Root(attr)->GetAttr(u"v");
      EXPECT_EQ(v.substr(v.size() - decoded.size()), decoded);
      EXPECT_EQ(U8(Root(attr)->GetAttr(u"w")), "1");
    }
    // Element and attribute names, a non-ASCII name and the end tags that repeat them; the filler
    // is a comment so that the names themselves cross the boundary.
    auto names = ParseBoth(Placed(decl + "<r><!--", "--><long_name\xD0\x96 attr_name='v'>t</long_name\xD0\x96></r>", offset));
    auto e = Root(names)->Get_ChildNodes()->Get_Item(1);
    EXPECT_EQ(e->Get_NodeName(), u"long_name\u0416");
    EXPECT_EQ(U8(e->GetAttr(u"attr_name")), "v");
    EXPECT_EQ(U8(e->Get_Text()), "t");
    // An end tag that differs in its last character fails the same way wherever it is cut.
    EXPECT_EQ(ParseError(Placed(decl + "<abcdef><!--", "--></abcdeg>", offset)), "Text \"f\" expected");
    // Without a declaration every byte is one character: the same places, one unit per byte.
    auto bytes = ParseBoth(Placed("<a v='", "\xC3\xA9&lt;' >\xE2\x82\xAC</a>", offset));
    const TXmlString bv = Root(bytes)->GetAttr(u"v");
    EXPECT_EQ(bv.substr(bv.size() - 3), u"\u00C3\u00A9<");
    EXPECT_EQ(Root(bytes)->Get_Text(), u"\u00E2\u0082\u00AC");
  }
}

TEST(XmlBlocks, CodePagesOverManyBlocksFromBytesAndStreams) {
  // Several blocks of text in each kind of code page: bytes in memory are windowed like a stream.
  TXmlString text;
  for (int i = 0; i < 60000; ++i) text += i % 5 == 0 ? u"\u0416" : i % 7 == 0 ? u"\u65E5" : u"a";
  for (const char16_t* encoding : {u"UTF-8", u"WINDOWS-1251", u"ISO-2022-JP"}) {
    SCOPED_TRACE(U8(encoding));
    TXmlString expected = text;
    if (std::u16string_view(encoding) == u"WINDOWS-1251")
      for (char16_t& c : expected)
        if (c == u'\u65E5') c = u'b';
    std::string body(expected.size() * 8, '\0');
    if (std::u16string_view(encoding) == u"UTF-8") {
      body = Utf16ToUtf8(expected);
    } else {
      detail::TCodePageEncoder encoder(detail::CodePageOfEncoding(encoding));
      const char16_t* src = expected.data();
      char* out = body.data();
      ASSERT_TRUE(encoder.Encode(src, src + expected.size(), out, body.data() + body.size(), true));
      body.resize(static_cast<size_t>(out - body.data()));
    }
    const std::string saved = "<?xml version=\"1.0\" encoding=\"" + U8(encoding) + "\"?><r>" + body + "</r>";
    ASSERT_GT(saved.size(), 3 * Block);
    const TXmlString got = Root(ParseBoth(saved))->Get_Text();
    const auto diff = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    EXPECT_TRUE(got == expected) << "sizes " << got.size() << " and " << expected.size() << ", first difference at "
                                 << (diff.first - got.begin());
  }
}

TEST(XmlBlocks, NulAndBadSequencesNearTheBoundary) {
  const std::string decl = "<?xml version=\"1.0\"?>";
  for (int offset : {-17, -16, -9, -8, -1, 0, 1, 15}) {
    SCOPED_TRACE("offset " + std::to_string(offset));
    // A NUL ends the input, also inside a run that is widened in one step.
    auto nul = ParseBoth(Placed(decl + "<a/>", std::string("y\0<b/>", 6), offset));
    ASSERT_EQ(nul->Get_ChildNodes()->Get_Count(), 3);
    EXPECT_EQ(nul->Get_ChildNodes()->Get_Item(2)->Get_Text().back(), u'y');
    // A lone continuation byte becomes one replacement character.
    auto bad = ParseBoth(Placed(decl + "<a>", "\x80q</a>", offset));
    EXPECT_EQ(Root(bad)->Get_Text().substr(Root(bad)->Get_Text().size() - 2), u"\uFFFDq");
  }
}

TEST(XmlPacked, ParsedNodesBehaveAsBuiltOnes) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a='1' b='x&amp;y' c='\xC3\xA9'><t>one &lt; two</t><e/></r>";
  // The same document built through the interface, whose values are variants from the start.
  auto built = CreateXmlDocument(u"r");
  auto r = Root(built);
  r->SetAttr(u"a", u"1");
  r->SetAttr(u"b", u"x&y");
  r->SetAttr(u"c", u"\u00E9");
  r->AppendElement(u"t")->AppendText(u"one < two");
  r->AppendElement(u"e");
  const std::string expected = SaveText(built);
  auto parsed = [&] { return Parse(text); };

  // Saving reads packed values directly; binary writing and reading keep them packed too.
  EXPECT_EQ(SaveText(parsed()), expected);
  EXPECT_EQ(SaveText(LoadXmlDocumentFromBinaryXML(parsed()->Get_BinaryXML())), expected);
  EXPECT_EQ(parsed()->Get_BinaryXML(), built->Get_BinaryXML());

  // Each kind of first access, then everything else still agrees.
  const std::vector<void (*)(const TIntf<IXmlElement>&)> firstUses = {
      [](const TIntf<IXmlElement>& e) { EXPECT_EQ(e->Get_AttrNameID(2), e->Get_NameTable()->GetID(u"c")); },
      [](const TIntf<IXmlElement>& e) { EXPECT_EQ(e->GetAttrType(u"b"), varUString); },
      [](const TIntf<IXmlElement>& e) { e->SetIntAttr(u"a", 1); },
      [](const TIntf<IXmlElement>& e) { e->RemoveAttr(u"zz"); },
      [](const TIntf<IXmlElement>& e) { EXPECT_EQ(e->SelectSingleNode(u"t")->Get_DataType(), varUString); },
      [](const TIntf<IXmlElement>& e) { EXPECT_EQ(U8(e->SelectSingleNode(u"t")->Get_TypedValue().AsUnicodeString()), "one < two"); },
  };
  for (size_t i = 0; i < firstUses.size(); ++i) {
    auto doc = parsed();
    firstUses[i](Root(doc));
    EXPECT_EQ(SaveText(doc), expected) << i;
    EXPECT_EQ(U8(Root(doc)->GetAttr(u"b")), "x&y") << i;
  }

  // Clones, moves into another table and removals of packed nodes.
  auto doc = parsed();
  auto clone = Root(doc)->CloneNode(true);
  EXPECT_EQ(clone->Get_XML(), Root(doc)->Get_XML());
  auto other = CreateXmlDocument(u"o");
  auto moved = Root(other)->AppendChild(Root(doc)->SelectSingleNode(u"t"));
  EXPECT_EQ(U8(moved->Get_Text()), "one < two");
  EXPECT_NE(moved->Get_NameTable().get(), doc->Get_NameTable().get());
  Root(doc)->RemoveAllAttrs();
  EXPECT_EQ(Root(doc)->Get_AttrCount(), 0);
  EXPECT_EQ(U8(clone->GetAttr(u"b")), "x&y");
  Root(doc)->SetAttr(u"n", u"new");
  EXPECT_EQ(U8(Root(doc)->GetAttr(u"n")), "new");
  EXPECT_EQ(Root(doc)->Get_AttrCount(), 1);

  // Only empty values: nothing to copy.
  auto empty = Parse("<r a='' b=\"\"/>");
  for (auto e : {Root(empty), Root(LoadXmlDocumentFromBinaryXML(empty->Get_BinaryXML()))}) {
    ASSERT_EQ(e->Get_AttrCount(), 2);
    EXPECT_EQ(U8(e->GetAttr(u"b", u"default")), "");
  }
}

TEST(XmlPacked, BinaryAttributesOfMixedTypesAndRepeats) {
  // Hand-made body: element "e" (hash 101) with string a="p", integer b=7, string a="q" again,
  // string c="\u00E9" in UTF-8; "a" keeps its first place and takes the last value.
  std::string bin(BinXmlSignature, 14);
  bin += std::string("\0\0\0\0\4\1a\1b\1c\1e", 13);
  bin += std::string("\0\1", 2);                       // document: no attributes, one child
  bin += std::string("\1\x65\0", 3);                   // element e, empty value
  bin += std::string("\4", 1);                         // four attributes
  bin += std::string("\x61\x81\x02\1p", 5);            // a: UTF-16 string type 258, "p"
  bin += std::string("\x62\3\7\0\0\0", 6);             // b: integer 7
  bin += std::string("\x61\x81\x02\1q", 5);            // a again
  bin += std::string("\x63\x81\x02\2\xC3\xA9", 6);     // c
  bin += std::string("\0", 1);                         // no children
  auto e = Root(LoadXmlDocumentFromBinaryXML(bin));
  ASSERT_EQ(e->Get_AttrCount(), 3);
  EXPECT_EQ(U8(e->Get_AttrName(0)) + U8(e->Get_AttrName(1)) + U8(e->Get_AttrName(2)), "abc");
  EXPECT_EQ(U8(e->GetAttr(u"a")), "q");
  EXPECT_EQ(e->GetAttrType(u"b"), varInteger);
  EXPECT_EQ(e->GetIntAttr(u"b"), 7);
  EXPECT_EQ(e->GetAttr(u"c"), u"\u00E9");
  // Cut inside the third attribute: the element stays with the two read before.
  auto partial = CreateXmlDocument();
  EXPECT_EQ(ErrorOf([&] { partial->LoadBinaryXML(bin.substr(0, bin.size() - 9)); }), "Error reading data");
  ASSERT_TRUE(Root(partial));
  EXPECT_EQ(Root(partial)->Get_AttrCount(), 2);
  // Cut inside the first: the element stays without attributes.
  EXPECT_EQ(ErrorOf([&] { partial->LoadBinaryXML(bin.substr(0, bin.size() - 19)); }), "Error reading data");
  ASSERT_TRUE(Root(partial));
  EXPECT_EQ(Root(partial)->Get_AttrCount(), 0);
}

TEST(XmlPacked, NodesOfALargeDocumentOutliveIt) {
  // Several megabytes of nodes, so that the pool takes large blocks as well as small chunks.
  std::string text = "<r>";
  for (int i = 0; i < 40000; ++i)
    text += "<item id='" + std::to_string(i) + "' name='n" + std::to_string(i * 7) + "'>text " + std::to_string(i) + "</item>";
  text += "</r>";
  TIntf<IXmlNode> last;
  TIntf<IXmlNode> first;
  {
    auto doc = Parse(text);
    auto kids = Root(doc)->Get_ChildNodes();
    ASSERT_EQ(kids->Get_Count(), 40000);
    first = kids->Get_Item(0);
    last = kids->Get_Item(39999);
    auto again = LoadXmlDocumentFromBinaryXML(doc->Get_BinaryXML());
    EXPECT_EQ(again->Get_XML(), doc->Get_XML());
  }
  EXPECT_EQ(U8(last->GetAttr(u"name")), std::to_string(39999 * 7).insert(0, "n"));
  EXPECT_EQ(U8(last->Get_Text()), "text 39999");
  EXPECT_EQ(U8(first->GetAttr(u"id")), "0");
  EXPECT_FALSE(last->Get_ParentNode());
}

TEST(XmlPacked, DocumentsLargerThanTheKeptMemoryLoadOneAfterAnother) {
  // Each document needs over 40 MB of nodes, so the second one is built in blocks that the
  // first gave back, some of them parked in between.
  auto make = [](int ASalt) {
    std::string text = "<r>";
    for (int i = 0; i < 100000; ++i)
      text += "<item id='" + std::to_string(i) + "' v='" + std::to_string(i ^ ASalt) + "'>t" + std::to_string(i + ASalt) +
              "</item>";
    return text + "</r>";
  };
  std::string saved;
  {
    auto first = Parse(make(1));
    saved = U8(first->Get_XML());
  }
  auto second = Parse(make(2));
  auto kids = Root(second)->Get_ChildNodes();
  ASSERT_EQ(kids->Get_Count(), 100000);
  for (int i : {0, 1, 49999, 99999}) {
    auto item = kids->Get_Item(i);
    EXPECT_EQ(U8(item->GetAttr(u"v")), std::to_string(i ^ 2));
    EXPECT_EQ(U8(item->Get_Text()), "t" + std::to_string(i + 2));
  }
  EXPECT_NE(U8(second->Get_XML()), saved);
  auto again = LoadXmlDocumentFromBinaryXML(second->Get_BinaryXML());
  EXPECT_EQ(again->Get_XML(), second->Get_XML());
}

TEST(XmlPacked, LargeDocumentsReuseTheBlocksOfEarlierOnes) {
  if (!detail::XmlPoolsEnabled()) GTEST_SKIP() << "nodes are allocated one by one in this build";
  auto make = [](int ACount, int ASalt) {
    std::string text = "<r>";
    for (int i = 0; i < ACount; ++i)
      text += "<item id='" + std::to_string(i) + "'>t" + std::to_string(i + ASalt) + "</item>";
    return text + "</r>";
  };
  auto check = [](const TIntf<IXmlDocument>& ADoc, int ACount, int ASalt) {
    auto kids = Root(ADoc)->Get_ChildNodes();
    ASSERT_EQ(kids->Get_Count(), ACount);
    for (int i : {0, ACount / 2, ACount - 1}) EXPECT_EQ(U8(kids->Get_Item(i)->Get_Text()), "t" + std::to_string(i + ASalt));
  };
  size_t ready = 0, parked = 0, readyBig = 0, parkedBig = 0, readySmall = 0, parkedSmall = 0;
  Parse(make(400000, 1));  // far more than the 32 MB kept ready in any case
  detail::XmlCachedLargeBlocks(readyBig, parkedBig);
  // A smaller document that follows takes some blocks and leaves the big one's extra blocks parked.
  check(Parse(make(50000, 2)), 50000, 2);
  detail::XmlCachedLargeBlocks(readySmall, parkedSmall);
  EXPECT_EQ(readySmall + parkedSmall, readyBig + parkedBig);
  EXPECT_GT(parkedSmall, parkedBig);
  // A big one again is built in the ready blocks and the parked ones.
  auto again = Parse(make(400000, 3));
  detail::XmlCachedLargeBlocks(ready, parked);
  EXPECT_LT(parked, parkedSmall);
  check(again, 400000, 3);
}

TEST(XmlPacked, LoneTextChildIsAChildLikeAnyOther) {
  const std::string text = "<r><a>one</a><b>two</b><c>three</c><d> &#32; </d></r>";
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "text");
    auto doc = Parse(text);
    if (binary) doc = LoadXmlDocumentFromBinaryXML(doc->Get_BinaryXML());
    auto r = Root(doc);
    auto a = r->SelectSingleNode(u"a");
    // Found by name before the child list is asked for; the same node afterwards.
    auto byName = a->NeedChild(u"#text");
    ASSERT_EQ(a->Get_ChildNodes()->Get_Count(), 1);
    EXPECT_EQ(a->Get_ChildNodes()->Get_Item(0).get(), byName.get());
    EXPECT_EQ(byName->Get_ParentNode().get(), static_cast<IXmlNode*>(a.get()));
    // A second child goes after the text.
    auto b = r->SelectSingleNode(u"b");
    b->AppendElement(u"x");
    ASSERT_EQ(b->Get_ChildNodes()->Get_Count(), 2);
    EXPECT_EQ(U8(b->Get_ChildNodes()->Get_Item(0)->Get_Text()), "two");
    EXPECT_EQ(U8(b->Get_ChildNodes()->Get_Item(1)->Get_NodeName()), "x");
    // Clones, moves to another table, removal and text access.
    auto c = r->SelectSingleNode(u"c");
    EXPECT_EQ(U8(c->CloneNode(true)->Get_XML()), U8(c->Get_XML()));
    auto other = CreateXmlDocument(u"o");
    auto moved = Root(other)->AppendChild(c);
    EXPECT_EQ(U8(moved->Get_Text()), "three");
    EXPECT_EQ(U8(moved->Get_ChildNodes()->Get_Item(0)->Get_NodeName()), "#text");
    EXPECT_EQ(U8(r->GetChildText(u"c")), "three");
    c->RemoveAllChilds();
    EXPECT_EQ(c->Get_ChildNodes()->Get_Count(), 0);
    EXPECT_EQ(U8(c->Get_Text()), "");
    // Blank text with a character reference is trimmed away like any blank text.
    EXPECT_EQ(r->SelectSingleNode(u"d")->Get_ChildNodes()->Get_Count(), 0);
    // A text node held by the user outlives its document.
    byName = r->SelectSingleNode(u"b")->Get_ChildNodes()->Get_Item(0);
    r = nullptr;
    a = nullptr;
    b = nullptr;
    c = nullptr;
    doc = nullptr;
    EXPECT_EQ(U8(byName->Get_Text()), "two");
    EXPECT_FALSE(byName->Get_ParentNode());
  }
  auto kept = Parse("<d> &#32; </d>", true);
  EXPECT_EQ(Root(kept)->Get_Text(), u"   ");
}

TEST(XmlPacked, OnlyTextReadsAndSavesLikeATextNode) {
  // One text per element, through each way a reader makes it: plain, decoded in place around
  // entities, long enough to be widened in place from the binary form, and after a sibling.
  const std::string longText(40, 'w');
  const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><a>plain</a><b>x &amp; y &lt; z</b><c>" + longText +
                           "</c><d><!--n-->after &amp; sibling</d><e>\xC3\xA9t\xC3\xA9 " + longText + "</e></r>";
  auto built = CreateXmlDocument(u"r");
  auto root = Root(built);
  root->AppendElement(u"a")->AppendText(u"plain");
  root->AppendElement(u"b")->AppendText(u"x & y < z");
  root->AppendElement(u"c")->AppendText(TXmlString(longText.begin(), longText.end()));
  auto d = root->AppendElement(u"d");
  d->AppendComment(u"n");
  d->AppendText(u"after & sibling");
  root->AppendElement(u"e")->AppendText(u"\u00E9t\u00E9 " + TXmlString(longText.begin(), longText.end()));
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "text");
    auto doc = Parse(text);
    if (binary) doc = LoadXmlDocumentFromBinaryXML(doc->Get_BinaryXML());
    auto r = Root(doc);
    EXPECT_EQ(r->GetChildText(u"b"), u"x & y < z");
    EXPECT_EQ(r->SelectSingleNode(u"a")->Get_DataType(), varUString);
    EXPECT_EQ(r->SelectSingleNode(u"a")->Get_TypedValue(), TVariant(TXmlString(u"plain")));
    EXPECT_EQ(U8(r->SelectSingleNode(u"d")->Get_Text()), "after & sibling");
    EXPECT_EQ(U8(doc->Get_XML()), U8(built->Get_XML()));
    EXPECT_EQ(U8(LoadXmlDocumentFromBinaryXML(doc->Get_BinaryXML())->Get_XML()), U8(built->Get_XML()));
    // Typed text replaces the kept characters.
    auto a = r->SelectSingleNode(u"a");
    a->Set_TypedValue(TVariant(int32_t(7)));
    EXPECT_EQ(U8(a->Get_Text()), "7");
    EXPECT_EQ(a->Get_ChildNodes()->Get_Count(), 0);
  }
}

TEST(XmlPacked, BinaryStringsOfEveryShortLength) {
  // Short strings are widened in one step when enough bytes follow them: every length up to past
  // that step, with a non-ASCII character at each place, and at the very end of the data.
  for (size_t n = 0; n <= 20; ++n) {
    for (size_t at = 0; at <= n; ++at) {
      TXmlString value(n, u'v');
      if (at < n) value[at] = u'\u00E9';
      auto doc = CreateXmlDocument(u"r");
      Root(doc)->SetAttr(u"a", value);
      Root(doc)->SetAttr(u"z", value);
      Root(doc)->AppendElement(u"t")->AppendText(value);  // the last string of the data
      auto loaded = Root(LoadXmlDocumentFromBinaryXML(doc->Get_BinaryXML()));
      ASSERT_EQ(loaded->GetAttr(u"a"), value) << n << " " << at;
      ASSERT_EQ(loaded->GetAttr(u"z"), value) << n << " " << at;
      ASSERT_EQ(loaded->SelectSingleNode(u"t")->Get_Text(), value) << n << " " << at;
    }
  }
}

TEST(XmlBlocks, RepeatedNamesAreReadExactly) {
  // Names matched where the last sibling or start tag had them must still be read as they are:
  // longer, shorter, extended by a non-ASCII letter, reordered or missing.
  auto r = Root(Parse("<?xml version='1.0' encoding='UTF-8'?><r><e a='1' b='2'/><e a='3' bb='4'/><e a='5' b='6' c='7'/>"
                      "<e b='8' a='9'/><e ab='x'/><e a\xD0\x96='y'/><ee x='1'/><e\xD0\x96/><e/><el/></r>"));
  std::string seen;
  auto kids = r->Get_ChildNodes();
  for (int i = 0; i < kids->Get_Count(); ++i) {
    auto e = kids->Get_Item(i);
    seen += U8(e->Get_NodeName()) + "(";
    for (int k = 0; k < e->Get_AttrCount(); ++k) seen += U8(e->Get_AttrName(k)) + "=" + U8(e->GetAttr(e->Get_AttrNameID(k))) + " ";
    seen += ")";
  }
  EXPECT_EQ(seen, "e(a=1 b=2 )e(a=3 bb=4 )e(a=5 b=6 c=7 )e(b=8 a=9 )e(ab=x )e(a\xD0\x96=y )ee(x=1 )e\xD0\x96()e()el()");
  // The same start tag over and over, with the read boundary at every place inside one of them.
  const std::string tag = "<item name='n' value='v'/>";
  for (size_t shift = 0; shift < tag.size(); ++shift) {
    std::string text = "<r>" + std::string(shift, ' ');
    for (int i = 0; i < 2000; ++i) text += tag;
    text += "</r>";
    auto doc = Parse(text);
    auto items = Root(doc)->Get_ChildNodes();
    ASSERT_EQ(items->Get_Count(), 2000) << shift;
    for (int i = 0; i < items->Get_Count(); ++i) {
      auto e = items->Get_Item(i);
      ASSERT_EQ(U8(e->Get_NodeName()) + U8(e->GetAttr(u"name")) + U8(e->GetAttr(u"value")), "itemnv") << shift << " " << i;
      ASSERT_EQ(e->Get_AttrCount(), 2) << shift << " " << i;
    }
  }
}

TEST(XmlScanning, DelimitersWideningAndComparisonAtEveryPosition) {
  using namespace fundrel::detail;
  for (size_t length : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 31u, 32u, 33u, 47u, 63u, 64u, 65u, 100u, 131u}) {
    std::u16string text(length, u'x');
    // No delimiter: the scan ends at the end.
    EXPECT_EQ(ScanFor(text.data(), text.data() + length, '<', '&', '"'), text.data() + length);
    for (size_t at = 0; at < length; ++at) {
      for (char16_t d : {u'<', u'&', u'"'}) {
        text[at] = d;
        if (at + 1 < length) text[length - 1] = u'<';  // a later one must not win
        EXPECT_EQ(ScanFor(text.data(), text.data() + length, '<', '&', '"') - text.data(), static_cast<ptrdiff_t>(at))
            << "length " << length << " at " << at;
        text.assign(length, u'x');
      }
    }
    // Names are compared in overlapping words: a difference anywhere must show.
    if (length <= 20) {
      const std::u16string base(length, u'n');
      EXPECT_TRUE(SameUnits(base.data(), std::u16string(base).data(), length));
      for (size_t at = 0; at < length; ++at) {
        std::u16string other = base;
        other[at] = u'm';
        EXPECT_FALSE(SameUnits(base.data(), other.data(), length)) << "length " << length << " at " << at;
      }
    }
    std::string bytes(length, 'a');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    std::u16string out(length + 1, u'?');
    ASSERT_TRUE(WidenAscii(bytes.data(), length, out.data()));
    EXPECT_EQ(out.substr(0, length), std::u16string(bytes.begin(), bytes.end()));
    for (size_t at = 0; at < length; ++at) {
      std::string high = bytes;
      high[at] = static_cast<char>(0xC3);
      EXPECT_FALSE(WidenAscii(high.data(), length, out.data())) << "length " << length << " at " << at;
      // The long form stops before the step that holds the byte, having widened all before it.
      bool nul = false;
      const size_t done = WidenAsciiLong(reinterpret_cast<const unsigned char*>(high.data()), length, out.data(), nul);
      EXPECT_LE(done, at);
      EXPECT_EQ(done % 32, 0u);
      EXPECT_GT(done + 32, at);
      EXPECT_EQ(out.substr(0, done), std::u16string(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(done)));
      EXPECT_FALSE(nul);
      std::string zero = bytes;
      zero[at] = '\0';
      nul = false;
      const size_t all = WidenAsciiLong(reinterpret_cast<const unsigned char*>(zero.data()), length, out.data(), nul);
      EXPECT_EQ(nul, at < all) << "length " << length << " at " << at;
    }
  }
}
