#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "XmlTestUtils.h"

using namespace xmltest;

namespace {

std::string Bytes(std::initializer_list<int> AValues) {
  std::string r;
  for (int v : AValues) r += static_cast<char>(v);
  return r;
}

std::string LongintBytes(int32_t AValue) {
  TStrXmlWriter w(0);
  w.WriteLongint(AValue);
  w.FlushBuf();
  return w.Data();
}

// A document using every node kind, non-ASCII names and texts, and attributes of every storable type.
TIntf<IXmlDocument> RichDocument() {
  auto doc = CreateXmlDocument(u"\u0434\u043E\u043A", u"1.0", u"UTF-8");
  auto r = Root(doc);
  r->SetAttr(u"s", u"\u00E9t\u00E9 \"q\" & <tag>");
  r->SetIntAttr(u"i", -123456);
  r->SetBoolAttr(u"b", true);
  r->SetFloatAttr(u"f", 0.1);
  r->SetDateTimeAttr(u"d", EncodeDateTime(2020, 5, 6, 7, 8, 9));
  r->SetVarAttr(u"v16", TVariant(int16_t(-2)));
  r->SetVarAttr(u"v8", TVariant(int8_t(-3)));
  r->SetVarAttr(u"u8", TVariant(uint8_t(250)));
  r->SetVarAttr(u"u16", TVariant(uint16_t(65000)));
  r->SetVarAttr(u"u32", TVariant(uint32_t(4000000000u)));
  r->SetVarAttr(u"i64", TVariant(int64_t(-1) << 40));
  r->SetVarAttr(u"sgl", TVariant(1.5f));
  r->SetVarAttr(u"cur", TVariant(TCurrency::FromScaled(-98765)));
  r->SetVarAttr(u"ole", TVariant::OleStr(u"\u65E5\u672C"));
  r->SetVarAttr(u"raw", TVariant(String("utf8 \xC3\xA9")));
  r->SetVarAttr(u"bin", TVariant::Bytes("\x00\xFF\x10", 3));
  r->SetVarAttr(u"nul", TVariant::Null());
  auto c = r->AppendElement(u"child");
  c->AppendText(u"\u65E5\u672C\u8A9E text");
  c->AppendCDATA(u"a]]>b");
  c->AppendComment(u" note ");
  c->AppendProcessingInstruction(u"app", u"run fast");
  r->AppendElement(u"value")->Set_TypedValue(TVariant(3.25));
  r->AppendElement(u"empty");
  return doc;
}

// Attribute values with their types, element values and node kinds, in document order.
std::string Describe(const TIntf<IXmlNode>& ANode) {
  std::string s = std::to_string(ANode->Get_NodeType()) + ":" + U8(ANode->Get_NodeName());
  for (int i = 0; i < ANode->Get_AttrCount(); ++i) {
    const TVariant v = ANode->GetVarAttr(ANode->Get_AttrNameID(i));
    s += " " + U8(ANode->Get_AttrName(i)) + "(" + std::to_string(v.VarType()) + ")=" + U8(VarToXSTR(v));
  }
  if (ANode->Get_NodeType() != NODE_DOCUMENT) s += " [" + U8(ANode->Get_Text()) + "]";
  // Asking for the child list would create one, which changes what an element's text is.
  TXmlNodeList* kids = dynamic_cast<TXmlNode*>(ANode->GetObject())->Childs();
  for (int i = 0; kids && i < kids->Get_Count(); ++i) s += "\n" + Describe(kids->Get_Item(i));
  return s;
}

std::string TempPath(const char* AName) { return "/tmp/fundrel_xml_" + std::to_string(getpid()) + "_" + AName; }

}  // namespace

TEST(XmlTextWriter, IndentedLayout) {
  auto doc = CreateXmlDocument(u"root");
  auto r = Root(doc);
  r->AppendElement(u"a")->AppendText(u"x < y");
  auto b = r->AppendElement(u"b");
  b->SetAttr(u"k", u"\"v\"");
  b->AppendElement(u"c");
  b->AppendComment(u"c2");
  r->AppendElement(u"v")->Set_TypedValue(TVariant(false));
  r->AppendProcessingInstruction(u"pi", u"");
  EXPECT_EQ(SaveText(doc),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<root>\r\n"
            "\t<a>x &lt; y</a>\r\n"
            "\t<b k=\"&quot;v&quot;\">\r\n"
            "\t\t<c/><!--c2-->\r\n"
            "\t</b>\r\n"
            "\t<v>0</v><?pi?>\r\n"
            "</root>");
  // The text form of one element, as a string.
  EXPECT_EQ(U8(b->Get_XML()), "<b k=\"&quot;v&quot;\">\r\n\t\t<c/><!--c2-->\r\n\t</b>");
  doc->Set_PreserveWhiteSpace(true);
  EXPECT_EQ(SaveText(doc),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><root><a>x &lt; y</a><b k=\"&quot;v&quot;\"><c/><!--c2--></b>"
            "<v>0</v><?pi?></root>");
  EXPECT_EQ(U8(b->Get_ChildNodes()->Get_XML()), "<c/><!--c2-->");
}

TEST(XmlTextWriter, CharacterNodesAndBooleans) {
  auto doc = CreateXmlDocument(u"r");
  doc->Set_PreserveWhiteSpace(true);
  auto r = Root(doc);
  r->AppendCDATA(u"1]]>2]]>3");
  r->AppendChild(doc->CreateText(u"t"))->Set_TypedValue(TVariant(true));
  r->AppendProcessingInstruction(u"go", u"now");
  EXPECT_EQ(U8(r->Get_XML()), "<r><![CDATA[1]]]><![CDATA[]>2]]]><![CDATA[]>3]]>1<?go now?></r>");
  // The sections read back hold the whole text between them.
  auto reread = Parse(SaveText(doc), true);
  auto again = Root(reread)->Get_ChildNodes();
  ASSERT_EQ(again->Get_Count(), 5) << U8(again->Get_XML());
  std::string joined;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(again->Get_Item(i)->Get_NodeType(), NODE_CDATA_SECTION);
    joined += U8(again->Get_Item(i)->Get_Text());
  }
  EXPECT_EQ(joined, "1]]>2]]>3");
}

TEST(XmlTextWriter, RoundTripWithBothWhiteSpaceModes) {
  for (bool preserve : {false, true}) {
    auto doc = RichDocument();
    // An instruction's data gains the blank after its target with every reading.
    auto child = Root(doc)->SelectSingleNode(u"child");
    child->RemoveChild(child->Get_ChildNodes()->Get_Item(3));
    doc->Set_PreserveWhiteSpace(preserve);
    const std::string text = SaveText(doc);
    auto loaded = Parse(text, preserve);
    EXPECT_EQ(SaveText(loaded), text) << preserve;
    EXPECT_EQ(U8(Root(loaded)->GetAttr(u"s")), U8(u"\u00E9t\u00E9 \"q\" & <tag>"));
    EXPECT_EQ(Root(loaded)->GetIntAttr(u"i"), -123456);
    EXPECT_TRUE(Root(loaded)->GetBoolAttr(u"b"));
    EXPECT_EQ(Root(loaded)->GetFloatAttr(u"f"), 0.1);
    EXPECT_EQ(Root(loaded)->GetDateTimeAttr(u"d").Value(), EncodeDateTime(2020, 5, 6, 7, 8, 9).Value());
    EXPECT_EQ(U8(Root(loaded)->SelectSingleNode(u"child")->Get_Text()), U8(u"\u65E5\u672C\u8A9E text a] ]>b"));
  }
}

TEST(XmlTextWriter, FilesAndStreams) {
  const std::string path = TempPath("text.xml");
  auto doc = RichDocument();
  doc->Save(path);
  auto loaded = LoadXmlDocument(path);
  EXPECT_EQ(Describe(loaded), Describe(Parse(SaveText(doc))));
  const std::string binPath = TempPath("bin.xml");
  doc->SaveBinary(binPath, 1);
  EXPECT_EQ(Describe(LoadXmlDocument(binPath)), Describe(doc));
  std::remove(path.c_str());
  std::remove(binPath.c_str());
  try {
    LoadXmlDocument(TempPath("missing.xml"));
    ADD_FAILURE() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().find("Cannot open file \"" + TempPath("missing.xml") + "\"."), 0u);
  }
  // A stream is read from its position; binary and text are told apart by the signature.
  TXmlMemoryStream stream;
  stream.Write("junk", 4);
  doc->SaveBinary(stream, 0);
  stream.SetPosition(4);
  EXPECT_EQ(Describe(LoadXmlDocument(stream)), Describe(doc));
  TXmlMemoryStream text(std::string("<a>short</a>"));
  EXPECT_EQ(U8(Root(LoadXmlDocument(text))->Get_Text()), "short");
}

TEST(XmlEncodings, Windows1251ReadAndWritten) {
  // "Привет" in WINDOWS-1251.
  const std::string cp1251 = "<?xml version=\"1.0\" encoding=\"windows-1251\"?><\xCF\xF0\xE8 a=\"\xE2\xE5\xF2\"/>";
  auto doc = Parse(cp1251);
  EXPECT_EQ(Root(doc)->Get_NodeName(), u"\u041F\u0440\u0438");
  EXPECT_EQ(Root(doc)->GetAttr(u"a"), u"\u0432\u0435\u0442");
  doc->Set_PreserveWhiteSpace(true);
  EXPECT_EQ(SaveText(doc), cp1251);

  auto created = CreateXmlDocument(u"\u0436", u"", u"WINDOWS-1251");
  Root(created)->Set_Text(u"\u044F\u20AC");
  const std::string saved = SaveText(created);
  EXPECT_NE(saved.find("<\xE6>\xFF\x88</\xE6>"), std::string::npos) << saved;
  EXPECT_EQ(Root(Parse(saved))->Get_Text(), u"\u044F\u20AC");
}

TEST(XmlEncodings, LongStatefulTextSavesAsOneStream) {
  // Far more text than the saver's buffer, switching character sets often: the escape sequences
  // must follow the text, not the buffer's pieces, or the reader meets empty segments.
  TXmlString text;
  for (int i = 0; i < 60000; ++i) text += i % 5 == 0 ? u"\u0416" : i % 7 == 0 ? u"\u65E5" : u"a";
  auto jp = CreateXmlDocument(u"r", u"", u"ISO-2022-JP");
  Root(jp)->Set_Text(text);
  Root(jp)->SetAttr(u"t", u"\u65E5");
  const std::string saved = SaveText(jp);
  EXPECT_EQ(saved.find("\x1B(B\x1B"), std::string::npos) << "an empty segment";
  auto loaded = Root(Parse(saved));
  EXPECT_TRUE(loaded->Get_Text() == text);
  EXPECT_EQ(loaded->GetAttr(u"t"), u"\u65E5");
}

TEST(XmlEncodings, DeclaredCodePages) {
  // ISO-2022-JP switches between ASCII and JIS X 0208 with escape sequences.
  auto jp = CreateXmlDocument(u"r", u"", u"ISO-2022-JP");
  Root(jp)->SetAttr(u"t", u"\u65E5\u672C\u8A9E abc");
  const std::string bytes = SaveText(jp);
  EXPECT_NE(bytes.find("\x1B$B"), std::string::npos);
  EXPECT_EQ(Root(Parse(bytes))->GetAttr(u"t"), u"\u65E5\u672C\u8A9E abc");
  auto greek = Parse("<?xml version='1.0' encoding='iso-8859-7'?><a>\xE1\xE2</a>");
  EXPECT_EQ(Root(greek)->Get_Text(), u"\u03B1\u03B2");
  auto lower = Parse("<?xml version='1.0' encoding='utf-8'?><a>\xC3\xA9</a>");
  EXPECT_EQ(Root(lower)->Get_Text(), u"\u00E9");
  // Without an encoding the declaration selects UTF-8.
  EXPECT_EQ(Root(Parse("<?xml version='1.0'?><a>\xC3\xA9</a>"))->Get_Text(), u"\u00E9");
  auto bad = CreateXmlDocument(u"r", u"", u"EBCDIC");
  EXPECT_EQ(ErrorOf([&] { SaveText(bad); }), "Encoding \"EBCDIC\" is not supported by SimpleXML");
  // Bytes that start no sequence of up to three bytes each give one replacement character.
  EXPECT_EQ(Root(Parse("<?xml version='1.0'?><a>\x80x\xF0\x9F\x98\x80</a>"))->Get_Text(),
            u"\uFFFDx\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(XmlEncodings, Utf8SequenceAcrossTheReadBoundary) {
  const std::string head = "<?xml version=\"1.0\"?><a>";
  for (const std::string ch : {"\xE2\x82\xAC", "\xC3\xA9"}) {
    const TXmlString expected = Utf8ToUtf16(ch);
    for (size_t cut = 1; cut < ch.size() + 1; ++cut) {
      // The character starts `cut` bytes before the end of the first 16384-byte block.
      std::string text = head + std::string(16384 - head.size() - cut, 'x') + ch + "y</a>";
      TXmlMemoryStream stream(text);
      auto doc = LoadXmlDocument(stream);
      const TXmlString t = Root(doc)->Get_Text();
      ASSERT_EQ(t.size(), 16384 - head.size() - cut + 2) << cut;
      EXPECT_EQ(t.substr(t.size() - 2), expected + u"y") << "cut " << cut;
    }
  }
}

TEST(XmlBinary, IntegerEncodingSizes) {
  EXPECT_EQ(LongintBytes(0), Bytes({0}));
  EXPECT_EQ(LongintBytes(127), Bytes({0x7F}));
  EXPECT_EQ(LongintBytes(128), Bytes({0x80, 0x80}));
  EXPECT_EQ(LongintBytes(32511), Bytes({0xFE, 0xFF}));
  EXPECT_EQ(LongintBytes(32512), Bytes({0xFF, 0x00, 0x7F, 0x00, 0x00}));
  EXPECT_EQ(LongintBytes(-1), Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  for (int32_t v : {0, 1, 127, 128, 255, 256, 4095, 32511, 32512, 65535, -1, -32768, INT32_MAX, INT32_MIN}) {
    const std::string b = LongintBytes(v);
    TStrXmlReader r(b);
    EXPECT_EQ(r.ReadLongint(), v);
    EXPECT_EQ(r.Available(), 0);
  }
}

TEST(XmlBinary, ExactLayoutOfASmallDocument) {
  auto doc = CreateXmlDocument(u"", u"", u"", CreateNameTable(1));  // one bucket: insertion order
  auto a = doc->AppendElement(u"a");
  a->SetBoolAttr(u"a", true);
  a->AppendText(u"\u00E9");
  std::string expected(BinXmlSignature, 14);
  expected += Bytes({0, 0, 0, 0, 7});
  for (const char* name : {"#text", "#cdata-section", "#comment", "#document", "xml", "encoding", "a"})
    expected += static_cast<char>(std::strlen(name)) + std::string(name);
  expected += Bytes({0, 1});                // document: no attributes, one child
  expected += Bytes({1, 0x61, 0});          // element "a" (hash 97), empty value
  expected += Bytes({1, 0x61, 11, 0xFF, 0xFF});  // attribute "a": boolean true
  expected += Bytes({1, 2, 0x81, 0x02, 2, 0xC3, 0xA9});  // one child: text, UTF-16 string type 258
  const std::string bin = doc->Get_BinaryXML();
  EXPECT_EQ(std::vector<uint8_t>(bin.begin(), bin.end()), std::vector<uint8_t>(expected.begin(), expected.end()));
  TXmlMemoryStream wide;
  doc->SaveBinary(wide, 1);
  // Option 1 writes names as UTF-16; a value keeps its own string form.
  EXPECT_EQ(wide.Data().substr(14, 11), Bytes({1, 0, 0, 0, 7, 5, '#', 0, 't', 0, 'e'}));
  EXPECT_EQ(Describe(LoadXmlDocumentFromBinaryXML(wide.Data())), Describe(doc));
}

TEST(XmlBinary, RoundTripWithBothOptions) {
  auto doc = RichDocument();
  const std::string expected = Describe(doc);
  for (int32_t options : {0, 1}) {
    TXmlMemoryStream stream;
    doc->SaveBinary(stream, options);
    auto loaded = LoadXmlDocumentFromXML(stream.Data());
    EXPECT_EQ(Describe(loaded), expected) << options;
    auto attr = Root(loaded)->GetVarAttr(u"ole");
    EXPECT_EQ(attr.VarType(), varOleStr);
    EXPECT_EQ(Root(loaded)->GetVarAttr(u"raw").VarType(), varString);
    EXPECT_EQ(Root(loaded)->GetVarAttr(u"cur").AsCurrency().Scaled(), -98765);
  }
  // An element with a value and children keeps only its children.
  auto mixed = CreateXmlDocument(u"r");
  auto e = Root(mixed)->AppendElement(u"e");
  e->Set_TypedValue(TVariant(5));
  e->AppendElement(u"kid");
  auto loaded = LoadXmlDocumentFromBinaryXML(mixed->Get_BinaryXML());
  auto le = loaded->SelectSingleNode(u"r\\e");
  EXPECT_EQ(le->Get_ChildNodes()->Get_Count(), 1);
  le->RemoveAllChilds();
  EXPECT_EQ(le->Get_TypedValue().VarType(), varEmpty);
}

TEST(XmlBinary, ReaderAndWriterErrors) {
  auto doc = RichDocument();
  const std::string bin = doc->Get_BinaryXML();
  // Every truncation fails with the reader's error and keeps what was read.
  for (size_t n : {size_t(14), size_t(15), size_t(20), bin.size() / 2, bin.size() - 1}) {
    auto partial = CreateXmlDocument();
    EXPECT_EQ(ErrorOf([&] { partial->LoadBinaryXML(bin.substr(0, n)); }), "Error reading data") << n;
  }
  auto partial = CreateXmlDocument();
  EXPECT_NE(ErrorOf([&] { partial->LoadBinaryXML(bin.substr(0, bin.size() - 30)); }), "no error");
  EXPECT_TRUE(Root(partial));
  EXPECT_EQ(ErrorOf([] { LoadXmlDocumentFromBinaryXML(std::string("short")); }), "Error reading data");

  std::string badNode(BinXmlSignature, 14);
  badNode += Bytes({0, 0, 0, 0, 0, 0, 1, 9});
  EXPECT_EQ(ErrorOf([&] { LoadXmlDocumentFromBinaryXML(badNode); }), "Error of reading binary XML: incorrect node-type");
  std::string badValue(BinXmlSignature, 14);
  badValue += Bytes({0, 0, 0, 0, 0, 0, 1, 2, 9});
  EXPECT_EQ(ErrorOf([&] { LoadXmlDocumentFromBinaryXML(badValue); }), "Error reading value: incorrect type");
  std::string hugeString(BinXmlSignature, 14);
  hugeString += Bytes({0, 0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});
  EXPECT_EQ(ErrorOf([&] { LoadXmlDocumentFromBinaryXML(hugeString); }), "Error reading data");

  auto unsupported = CreateXmlDocument(u"r");
  Root(unsupported)->SetVarAttr(u"u", TVariant(uint64_t(1)));
  EXPECT_EQ(ErrorOf([&] { unsupported->Get_BinaryXML(); }), "Unknown data type in variant");
}

TEST(XmlBinary, DeepInputLoadsWithoutRecursion) {
  const int depth = 100000;
  std::string bin(BinXmlSignature, 14);
  bin += Bytes({0, 0, 0, 0, 0, 0, 1});  // options, no names, document body with one child
  for (int i = 0; i < depth; ++i) bin += Bytes({1, 0, 0, 0, 1});  // element, hash 0, empty value, 0 attrs, 1 child
  bin += Bytes({5, 1, 'x'});  // a comment at the bottom
  auto doc = LoadXmlDocumentFromBinaryXML(bin);
  TIntf<IXmlNode> n = doc;
  int levels = 0;
  while (n->Get_NodeType() != NODE_COMMENT) {
    n = n->Get_ChildNodes()->Get_Item(0);
    ++levels;
  }
  EXPECT_EQ(levels, depth + 1);
  EXPECT_EQ(U8(n->Get_Text()), "x");
}

TEST(XmlEncodings, LongTextsAreConvertedInSlices) {
  // Longer than the saver's 4096-byte buffer, in every kind of code page.
  TXmlString text;
  for (int i = 0; i < 3000; ++i) text += static_cast<char16_t>(i % 3 == 0 ? u'\u0416' : i % 3 == 1 ? u'a' : u'\u044F');
  for (const char16_t* encoding : {u"UTF-8", u"WINDOWS-1251", u"ISO-8859-5"}) {
    auto doc = CreateXmlDocument(u"r", u"", encoding);
    Root(doc)->Set_Text(text);
    Root(doc)->SetAttr(u"a", text);
    const std::string saved = SaveText(doc);
    auto loaded = Parse(saved);
    EXPECT_EQ(Root(loaded)->Get_Text(), text) << U8(encoding);
    EXPECT_EQ(Root(loaded)->GetAttr(u"a"), text) << U8(encoding);
  }
  TXmlString japanese;
  for (int i = 0; i < 2000; ++i) japanese += i % 2 ? u"\u65E5x" : u"\u672C";
  auto jp = CreateXmlDocument(u"r", u"", u"ISO-2022-JP");
  Root(jp)->Set_Text(japanese);
  EXPECT_EQ(Root(Parse(SaveText(jp)))->Get_Text(), japanese);
}

TEST(XmlWriters, EveryRunIsEscapedAndEncodedExactly) {
  // Runs of ASCII of every length up to 20 between markup characters, two- and three-byte
  // characters and surrogate pairs, over more than the saver's buffer.
  const char16_t* const specials[] = {u"\"", u"&", u"<", u">", u"\u00E9", u"\u4E2D", u"\U0001F600"};
  const char* const encoded[] = {"&quot;", "&amp;", "&lt;", "&gt;", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80"};
  TXmlString text, reread;  // the parser reads each byte of a four-byte sequence as U+FFFD
  std::string expected;
  for (int i = 0; i < 700; ++i) {
    for (int k = 0; k < i % 21; ++k) {
      const char c = static_cast<char>('a' + (i + k) % 26);
      text += static_cast<char16_t>(c);
      reread += static_cast<char16_t>(c);
      expected += c;
    }
    text += specials[i % 7];
    reread += i % 7 == 6 ? u"\uFFFD\uFFFD\uFFFD\uFFFD" : specials[i % 7];
    expected += encoded[i % 7];
  }
  auto doc = CreateXmlDocument(u"r");
  Root(doc)->SetAttr(u"a", text);
  Root(doc)->AppendText(text);
  const std::string saved = SaveText(doc);
  EXPECT_NE(saved.find("<r a=\"" + expected + "\">" + expected + "</r>"), std::string::npos);
  auto loaded = Parse(saved);
  EXPECT_EQ(Root(loaded)->GetAttr(u"a"), reread);
  EXPECT_EQ(Root(loaded)->Get_Text(), reread);
}

TEST(XmlEncodings, ADeclarationLongerThanTheFirstBlockStillSetsTheCodePage) {
  // The bytes before the code page is known are read in a short first block and then in whole ones.
  const std::string doc = "<?xml version=\"1.0\"" + std::string(600, ' ') + "encoding=\"windows-1251\"?><r>\xCF\xF0\xE8</r>";
  EXPECT_EQ(Root(Parse(doc))->Get_Text(), u"\u041F\u0440\u0438");
  // Without a declaration every byte stays one character, whatever the length.
  const std::string plain = "<r>" + std::string(700, 'a') + "\xE9</r>";
  EXPECT_EQ(Root(Parse(plain))->Get_Text(), std::u16string(700, u'a') + u"\u00E9");
}

namespace {

TXmlNode* NodeObject(const TIntf<IXmlNode>& ANode) { return dynamic_cast<TXmlNode*>(ANode->GetObject()); }

// The body read at once, as a stream reader reads it, for comparison with a body kept and read on
// demand.
TIntf<IXmlDocument> LoadAtOnce(const std::string& ABinary, std::string* AError = nullptr) {
  TIntf<IXmlDocument> doc = CreateXmlDocument();
  const std::string error = ErrorOf([&] {
    TStrXmlReader reader(ABinary, 14);
    dynamic_cast<TXmlDocument*>(doc->GetObject())->ReadBinary(reader);
  });
  if (AError) *AError = error;
  return doc;
}

// RichDocument, plus an instruction with attributes and children, and nodes after the root.
TIntf<IXmlDocument> RicherDocument() {
  auto doc = RichDocument();
  auto pi = Root(doc)->AppendProcessingInstruction(u"cfg", u"");
  pi->SetAttr(u"k", u"v");
  pi->AppendElement(u"under")->AppendText(u"t");
  auto b = Root(doc)->AppendElement(u"a")->AppendElement(u"b");
  b->SetAttr(u"id", u"7");
  auto deep = b->AppendElement(u"c");
  deep->AppendText(u"one");
  deep->AppendComment(u"two");
  deep->AppendElement(u"d");
  auto typed = doc->CreateText(u"");
  typed->Set_TypedValue(TVariant(true));
  Root(doc)->AppendElement(u"typed")->AppendChild(typed);
  doc->AppendComment(u"after the root");
  return doc;
}

}  // namespace

TEST(XmlBinaryBody, NodesMadeOnDemandAreThoseTheReaderMakesAtOnce) {
  const auto images = TBinXmlImage::LiveCount();
  for (int32_t options : {0, 1}) {
    TXmlMemoryStream stream;
    RicherDocument()->SaveBinary(stream, options);
    const std::string bin = stream.Data();
    auto lazy = LoadXmlDocumentFromBinaryXML(bin);
    // Only the document's own children are made: the root waits in the kept body.
    ASSERT_TRUE(NodeObject(Root(lazy))->IsPending()) << options;
    EXPECT_EQ(TBinXmlImage::LiveCount(), images + 1);
    auto eager = LoadAtOnce(bin);
    EXPECT_FALSE(NodeObject(Root(eager))->IsPending());
    EXPECT_EQ(Describe(lazy), Describe(eager)) << options;
    // Every node has been made: the body is given back.
    EXPECT_EQ(TBinXmlImage::LiveCount(), images) << options;
    EXPECT_EQ(lazy->Get_BinaryXML(), eager->Get_BinaryXML());

    // Nesting of every depth: bodies made at once (a few children without children) next to
    // bodies that wait, in both orders.
    std::string nested = "<r>";
    for (int i = 0; i < 12; ++i) {
      nested += "<p n=\"" + std::to_string(i) + "\"><v>" + std::to_string(i) + "</v><t>a &amp; b</t>";
      if (i % 3 == 0) nested += "<q><x><y>deep</y></x><z/></q>";
      if (i % 4 == 1) nested += "<w>1</w><w>2</w><w>3</w><w>4</w><w>5</w>";
      nested += "</p><!--" + std::to_string(i) + "--><e/>";
    }
    nested += "</r>";
    TXmlMemoryStream nestedStream;
    Parse(nested)->SaveBinary(nestedStream, options);
    EXPECT_EQ(Describe(LoadXmlDocumentFromBinaryXML(nestedStream.Data())), Describe(LoadAtOnce(nestedStream.Data())));

    // Each way in makes the children: text, typed value, saving, selection, search, clone.
    auto fresh = [&] { return LoadXmlDocumentFromBinaryXML(bin); };
    EXPECT_EQ(Root(fresh())->SelectSingleNode(u"child")->Get_Text(), Root(eager)->SelectSingleNode(u"child")->Get_Text());
    EXPECT_EQ(U8(Root(fresh())->GetChildText(u"value", u"-")), "3.25");
    EXPECT_EQ(Root(fresh())->Get_TypedValue().VarType(), varUString);
    EXPECT_EQ(U8(Root(fresh())->SelectSingleNode(u"a\\b\\c")->Get_Text()), "one");
    EXPECT_EQ(Root(fresh())->SelectNodes(u"a\\b\\c")->Get_Count(), 1);
    EXPECT_TRUE(Root(fresh())->SelectSingleNode(u"a")->FindElement(u"b", u"id", TVariant(TXmlString(u"7"))));
    EXPECT_EQ(SaveText(fresh()), SaveText(eager));
    EXPECT_EQ(Root(fresh())->Get_XML(), Root(eager)->Get_XML());
    EXPECT_EQ(Root(fresh())->CloneNode(true)->Get_XML(), Root(eager)->Get_XML());
    EXPECT_EQ(Root(fresh())->CloneNode(false)->Get_ChildNodes()->Get_Count(), 0);
    auto emptied = fresh();
    Root(emptied)->RemoveAllChilds();
    EXPECT_EQ(Root(emptied)->Get_ChildNodes()->Get_Count(), 0);
    auto retexted = fresh();
    Root(retexted)->SelectSingleNode(u"a\\b\\c")->Set_Text(u"new");
    EXPECT_EQ(U8(Root(retexted)->SelectSingleNode(u"a\\b\\c")->Get_Text()), "new");
  }
  EXPECT_EQ(TBinXmlImage::LiveCount(), images);
}

TEST(XmlBinaryBody, PendingNodesOutliveAndLeaveTheirDocument) {
  const auto images = TBinXmlImage::LiveCount();
  const std::string bin = RicherDocument()->Get_BinaryXML();
  // The text form of "a" depends on its depth: in a root, and on its own.
  TIntf<IXmlDocument> eager = LoadAtOnce(bin);
  TIntf<IXmlNode> eagerA = Root(eager)->SelectSingleNode(u"a");
  const TXmlString expected = eagerA->Get_XML();
  Root(eager)->RemoveChild(eagerA);
  const TXmlString alone = eagerA->Get_XML();
  auto pendingA = [&](TIntf<IXmlDocument>& ADoc) {
    ADoc = LoadXmlDocumentFromBinaryXML(bin);
    TIntf<IXmlNode> a = Root(ADoc)->SelectSingleNode(u"a");  // the root is made, "a" waits
    EXPECT_TRUE(NodeObject(a)->IsPending());
    return a;
  };
  {
    // Held alone after its document died.
    TIntf<IXmlDocument> doc;
    TIntf<IXmlNode> a = pendingA(doc);
    doc = nullptr;
    EXPECT_EQ(TBinXmlImage::LiveCount(), images + 1);
    EXPECT_EQ(a->Get_XML(), alone);
  }
  {
    // Moved to a document with its own table: made before its names move.
    TIntf<IXmlDocument> doc;
    TIntf<IXmlNode> a = pendingA(doc);
    auto other = CreateXmlDocument(u"other");
    TIntf<IXmlNode> moved = Root(other)->AppendChild(a);
    doc = nullptr;
    EXPECT_EQ(moved->Get_XML(), expected);
  }
  {
    // Moved to a document of the same table: still pending after the first document died.
    TIntf<IXmlDocument> doc;
    TIntf<IXmlNode> a = pendingA(doc);
    auto other = CreateXmlDocument(u"other", u"1.0", u"", doc->Get_NameTable());
    Root(doc)->RemoveChild(a);
    Root(other)->AppendChild(a);
    a = nullptr;
    doc = nullptr;
    TIntf<IXmlNode> moved = Root(other)->SelectSingleNode(u"a");
    EXPECT_TRUE(NodeObject(moved)->IsPending());
    EXPECT_EQ(moved->Get_XML(), expected);
  }
  {
    // Removed and dropped without ever being read.
    TIntf<IXmlDocument> doc;
    TIntf<IXmlNode> a = pendingA(doc);
    Root(doc)->RemoveChild(a);
    a = nullptr;
    doc = nullptr;
  }
  {
    // Freed with the whole tree at once, while waiting.
    const uint64_t before = detail::XmlWholeTreeReleases();
    TIntf<IXmlDocument> doc;
    pendingA(doc);
    doc = nullptr;
    EXPECT_EQ(detail::XmlWholeTreeReleases(), before + 1);
  }
  EXPECT_EQ(TBinXmlImage::LiveCount(), images);
}

TEST(XmlBinaryBody, NamesAreResolvedAsTheTableStoodAtTheLoad) {
  // An element whose name hash is not in the stored names reads with no name, even if the name is
  // added to the table before the element is made.
  const uint32_t late = TXmlNameTable::Hash(u"late");
  std::string bin(BinXmlSignature, 14);
  bin += Bytes({0, 0, 0, 0, 1, 1, 'r', 0, 1});          // options, the name "r", document: 1 child
  for (int i = 0; i < 2; ++i) bin += Bytes({1, 'r', 0, 0, 1});  // elements "r" (hash 114), 1 child each
  bin += Bytes({1, 0xFF, int(late & 0xFF), int((late >> 8) & 0xFF), int((late >> 16) & 0xFF), int(late >> 24)});
  bin += Bytes({0, 0, 0});                              // empty value, no attributes, no children
  auto doc = LoadXmlDocumentFromBinaryXML(bin);
  ASSERT_TRUE(NodeObject(Root(doc))->IsPending());
  doc->Get_NameTable()->GetID(u"late");
  EXPECT_EQ(Describe(doc), Describe(LoadAtOnce(bin)));
  EXPECT_EQ(U8(Root(doc)->SelectSingleNode(u"r")->Get_ChildNodes()->Get_Item(0)->Get_NodeName()), "");
}

TEST(XmlBinaryBody, BrokenBodiesFailAsWhenReadAtOnce) {
  const auto images = TBinXmlImage::LiveCount();
  const std::string bin = RicherDocument()->Get_BinaryXML();
  // Every cut fails where the reader fails, with the same nodes read before it, and keeps nothing.
  for (size_t n = 15; n < bin.size(); n += 7) {
    const std::string cut = bin.substr(0, n);
    auto doc = CreateXmlDocument();
    const std::string error = ErrorOf([&] { doc->LoadBinaryXML(cut); });
    std::string eagerError;
    auto eager = LoadAtOnce(cut, &eagerError);
    EXPECT_EQ(error, eagerError) << n;
    EXPECT_EQ(Describe(doc), Describe(eager)) << n;
    TXmlMemoryStream stream(cut);
    EXPECT_EQ(ErrorOf([&] { LoadXmlDocument(stream); }), eagerError) << n;
  }
  EXPECT_EQ(TBinXmlImage::LiveCount(), images);
}
