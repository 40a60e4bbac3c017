// XML parsing into a DOM: Fundrel against pugixml, tinyxml2 and libxml2 (expat as a SAX reference
// that builds no tree), plus Fundrel's binary load and text save, on documents generated here.
//
// Every iteration builds a document and frees it. The C library allocator is told to keep freed
// memory, and each benchmark runs once untimed first, so that no implementation pays for fresh
// pages in every iteration: the peers allocate through malloc, Fundrel's nodes come from its own
// pool, which keeps its blocks for the next document.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <libxml/parser.h>
#include <malloc.h>
#include <pugixml.hpp>
#include <tinyxml2.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "xml/DVSimpleXML.h"

using namespace fundrel;

namespace {

// A fixed pseudo-random sequence, so every run parses the same bytes.
class TLcg {
 public:
  uint32_t Next() {
    FState = FState * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(FState >> 33);
  }
  uint32_t Below(uint32_t AN) { return Next() % AN; }

 private:
  uint64_t FState = 0x2545F4914F6CDD1Dull;
};

const char* const Words[] = {"alpha", "beta", "gamma", "delta", "signal", "filter", "buffer", "clock",
                             "sample", "rate", "gain", "phase", "window", "tap", "band", "noise"};

std::string Word(TLcg& ARng) { return Words[ARng.Below(16)]; }

// Many small elements with six to ten attributes each.
std::string AttributeRich(size_t ABytes) {
  TLcg rng;
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<items>\n";
  for (int i = 0; s.size() < ABytes; ++i) {
    s += "  <item id=\"" + std::to_string(i) + "\" name=\"" + Word(rng) + std::to_string(rng.Below(1000)) +
         "\" value=\"" + std::to_string(rng.Below(100000) / 100.0) + "\" type=\"" + Word(rng) + "\" enabled=\"" +
         (rng.Below(2) ? "1" : "0") + "\" unit=\"" + Word(rng) + "\"";
    for (uint32_t k = 0, n = rng.Below(5); k < n; ++k) s += " x" + std::to_string(k) + "=\"" + Word(rng) + "\"";
    s += "/>\n";
  }
  return s + "</items>\n";
}

// Paragraphs of running text with entities, a few attributes.
std::string TextHeavy(size_t ABytes) {
  TLcg rng;
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<book>\n";
  for (int i = 0; s.size() < ABytes; ++i) {
    s += "  <chapter n=\"" + std::to_string(i) + "\">\n    <title>" + Word(rng) + " " + Word(rng) + "</title>\n";
    for (uint32_t p = 0, n = 2 + rng.Below(3); p < n; ++p) {
      s += "    <para>";
      for (uint32_t w = 0, m = 40 + rng.Below(80); w < m; ++w) {
        s += Word(rng);
        s += rng.Below(25) == 0 ? " &amp; " : " ";
      }
      s += "</para>\n";
    }
    s += "  </chapter>\n";
  }
  return s + "</book>\n";
}

// The records of the mixed document, for building the same tree through each library's API.
struct TProperty {
  std::string Name, Kind, Value, Text;
};
struct TComponent {
  std::string Class, Id, Comment;
  std::vector<TProperty> Properties;
  bool Script = false;
};
constexpr const char* ScriptCode = "if (a < b) run();";

// Nested records mixing attributes, text, comments and CDATA.
std::string Mixed(size_t ABytes, std::vector<TComponent>* ARecords = nullptr) {
  TLcg rng;
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<project name=\"bench\">\n";
  for (int i = 0; s.size() < ABytes; ++i) {
    TComponent c;
    // Appended rather than prefixed: GCC 12 warns wrongly (-Wrestrict) on "literal" + string.
    c.Class.append("T").append(Word(rng));
    c.Id = std::to_string(i);
    c.Comment.append(" ").append(Word(rng)).append(" ");
    s += "  <component class=\"" + c.Class + "\" id=\"" + c.Id + "\">\n";
    s += "    <!--" + c.Comment + "-->\n";
    for (uint32_t k = 0, n = 2 + rng.Below(4); k < n; ++k) {
      TProperty p;
      p.Name = Word(rng);
      p.Kind = Word(rng);
      p.Value = std::to_string(rng.Below(1000000));
      p.Text = Word(rng) + " " + Word(rng);
      s += "    <property name=\"" + p.Name + "\" kind=\"" + p.Kind + "\">\n      <value>" + p.Value +
           "</value>\n      <text>" + p.Text + "</text>\n    </property>\n";
      c.Properties.push_back(std::move(p));
    }
    c.Script = rng.Below(4) == 0;
    if (c.Script) s += std::string("    <script><![CDATA[") + ScriptCode + "]]></script>\n";
    s += "  </component>\n";
    if (ARecords) ARecords->push_back(std::move(c));
  }
  return s + "</project>\n";
}

const std::string& Document(const std::string& AName) {
  static std::map<std::string, std::string> cache;
  auto it = cache.find(AName);
  if (it != cache.end()) return it->second;
  std::string doc = AName == "attr1mb"   ? AttributeRich(1 << 20)
                    : AName == "text1mb" ? TextHeavy(1 << 20)
                    : AName == "mixed2kb" ? Mixed(2 << 10)
                                          : Mixed(20 << 20);
  return cache.emplace(AName, std::move(doc)).first->second;
}

void ParseFundrel(benchmark::State& AState, const std::string& AName) {
  const std::string& xml = Document(AName);
  LoadXmlDocumentFromXML(xml);
  for (auto _ : AState) {
    TIntf<IXmlDocument> doc = LoadXmlDocumentFromXML(xml);
    benchmark::DoNotOptimize(doc.get());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(xml.size()));
}

void ParsePugi(benchmark::State& AState, const std::string& AName) {
  const std::string& xml = Document(AName);
  pugi::xml_document().load_buffer(xml.data(), xml.size());
  for (auto _ : AState) {
    pugi::xml_document doc;
    pugi::xml_parse_result r = doc.load_buffer(xml.data(), xml.size());
    if (!r) AState.SkipWithError("pugixml failed");
    benchmark::DoNotOptimize(doc.first_child());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(xml.size()));
}

void ParseTinyXml2(benchmark::State& AState, const std::string& AName) {
  const std::string& xml = Document(AName);
  tinyxml2::XMLDocument().Parse(xml.data(), xml.size());
  for (auto _ : AState) {
    tinyxml2::XMLDocument doc;
    if (doc.Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS) AState.SkipWithError("tinyxml2 failed");
    benchmark::DoNotOptimize(doc.RootElement());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(xml.size()));
}

void ParseLibXml2(benchmark::State& AState, const std::string& AName) {
  const std::string& xml = Document(AName);
  xmlFreeDoc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, XML_PARSE_NONET));
  for (auto _ : AState) {
    xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, XML_PARSE_NONET);
    if (!doc) AState.SkipWithError("libxml2 failed");
    benchmark::DoNotOptimize(doc);
    xmlFreeDoc(doc);
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(xml.size()));
}

void ParseExpat(benchmark::State& AState, const std::string& AName) {
  const std::string& xml = Document(AName);
  for (auto _ : AState) {
    XML_Parser p = XML_ParserCreate(nullptr);
    int64_t elements = 0;
    XML_SetUserData(p, &elements);
    XML_SetStartElementHandler(p, [](void* AData, const XML_Char*, const XML_Char**) { ++*static_cast<int64_t*>(AData); });
    if (XML_Parse(p, xml.data(), static_cast<int>(xml.size()), 1) != XML_STATUS_OK) AState.SkipWithError("expat failed");
    benchmark::DoNotOptimize(elements);
    XML_ParserFree(p);
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(xml.size()));
}

void LoadBinaryFundrel(benchmark::State& AState, const std::string& AName) {
  const std::string bin = LoadXmlDocumentFromXML(Document(AName))->Get_BinaryXML();
  LoadXmlDocumentFromBinaryXML(bin);
  for (auto _ : AState) {
    TIntf<IXmlDocument> doc = LoadXmlDocumentFromBinaryXML(bin);
    benchmark::DoNotOptimize(doc.get());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(Document(AName).size()));
}

// Every node visited through the child lists and its name read, as a reader of the whole document
// does. A binary load keeps its body and makes each node's children when they are first asked for:
// these show what a document costs when all of it is read.
int64_t WalkFundrel(TXmlNode* ANode) {
  int64_t n = static_cast<int64_t>(ANode->Get_NodeNameID() != 0);
  if (ANode->HasSoleText()) return n + 1;
  if (TXmlNodeList* list = ANode->Childs())
    for (int32_t i = 0; i < list->Get_Count(); ++i) n += WalkFundrel(list->Item(i));
  return n;
}

template <class F>
void WalkAfter(benchmark::State& AState, const std::string& AName, F ALoad) {
  ALoad();
  for (auto _ : AState) {
    TIntf<IXmlDocument> doc = ALoad();
    benchmark::DoNotOptimize(WalkFundrel(static_cast<TXmlDocument*>(doc->GetObject())));
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(Document(AName).size()));
}

void ParseWalkFundrel(benchmark::State& AState, const std::string& AName) {
  const std::string& xml = Document(AName);
  WalkAfter(AState, AName, [&] { return LoadXmlDocumentFromXML(xml); });
}

void LoadBinaryWalkFundrel(benchmark::State& AState, const std::string& AName) {
  const std::string bin = LoadXmlDocumentFromXML(Document(AName))->Get_BinaryXML();
  WalkAfter(AState, AName, [&] { return LoadXmlDocumentFromBinaryXML(bin); });
}

int64_t WalkPugi(pugi::xml_node ANode) {
  int64_t n = static_cast<int64_t>(*ANode.name() != 0);
  for (pugi::xml_node c = ANode.first_child(); c; c = c.next_sibling()) n += WalkPugi(c);
  return n;
}

void ParseWalkPugi(benchmark::State& AState, const std::string& AName) {
  const std::string& xml = Document(AName);
  for (auto _ : AState) {
    pugi::xml_document doc;
    doc.load_buffer(xml.data(), xml.size());
    benchmark::DoNotOptimize(WalkPugi(doc));
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(xml.size()));
}

void SaveFundrel(benchmark::State& AState, const std::string& AName) {
  TIntf<IXmlDocument> doc = LoadXmlDocumentFromXML(Document(AName));
  TXmlMemoryStream stream;  // reused: the saver is measured, not the growth of the stream
  for (auto _ : AState) {
    stream.SetPosition(0);
    doc->Save(stream);
    benchmark::DoNotOptimize(stream.Data().data());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(Document(AName).size()));
}

// The peers save indented text too, into memory that is reused where their API allows it.
void SavePugi(benchmark::State& AState, const std::string& AName) {
  pugi::xml_document doc;
  doc.load_buffer(Document(AName).data(), Document(AName).size());
  struct TWriter : pugi::xml_writer {
    std::string Out;
    void write(const void* AData, size_t ASize) override { Out.append(static_cast<const char*>(AData), ASize); }
  } writer;
  for (auto _ : AState) {
    writer.Out.clear();
    doc.save(writer, "\t");
    benchmark::DoNotOptimize(writer.Out.data());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(Document(AName).size()));
}

void SaveTinyXml2(benchmark::State& AState, const std::string& AName) {
  tinyxml2::XMLDocument doc;
  doc.Parse(Document(AName).data(), Document(AName).size());
  tinyxml2::XMLPrinter printer;
  for (auto _ : AState) {
    printer.ClearBuffer();
    doc.Print(&printer);
    benchmark::DoNotOptimize(printer.CStr());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(Document(AName).size()));
}

void SaveLibXml2(benchmark::State& AState, const std::string& AName) {
  const std::string& xml = Document(AName);
  xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS);
  for (auto _ : AState) {
    xmlChar* out = nullptr;
    int size = 0;
    xmlDocDumpFormatMemory(doc, &out, &size, 1);
    benchmark::DoNotOptimize(out);
    xmlFree(out);
  }
  xmlFreeDoc(doc);
  AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(xml.size()));
}

const std::vector<TComponent>& MixedRecords() {
  static const std::vector<TComponent> records = [] {
    std::vector<TComponent> r;
    Mixed(20 << 20, &r);
    return r;
  }();
  return records;
}

TXmlString Wide(const std::string& AText) { return TXmlString(AText.begin(), AText.end()); }  // ASCII only

// The records in UTF-16, as Fundrel's API takes them.
struct TWideComponent {
  TXmlString Class, Id, Comment;
  std::vector<std::array<TXmlString, 4>> Properties;  // name, kind, value, text
  bool Script;
};

const std::vector<TWideComponent>& WideRecords() {
  static const std::vector<TWideComponent> records = [] {
    std::vector<TWideComponent> r;
    for (const TComponent& c : MixedRecords()) {
      TWideComponent w{Wide(c.Class), Wide(c.Id), Wide(c.Comment), {}, c.Script};
      for (const TProperty& p : c.Properties) w.Properties.push_back({Wide(p.Name), Wide(p.Kind), Wide(p.Value), Wide(p.Text)});
      r.push_back(std::move(w));
    }
    return r;
  }();
  return records;
}

// The mixed document's nodes made through the loaders' own internal paths, from records already
// in UTF-16: no decoding, no parsing. Both the text parser and the binary reader pay at least this
// for the document, so it bounds how far below the text parse the binary load can go.
void BuildNodesFundrel(benchmark::State& AState) {
  const std::vector<TWideComponent>& records = WideRecords();
  const TXmlString script = Wide(ScriptCode), bench = u"bench";
  auto build = [&] {
    TIntf<IXmlDocument> doc = CreateXmlDocument();
    auto* top = static_cast<TXmlNode*>(static_cast<TXmlDocument*>(doc->GetObject()));
    TXmlNameTable* names = top->Names();
    const TXmlNameID project = names->GetID(u"project"), component = names->GetID(u"component"),
                     property = names->GetID(u"property"), value = names->GetID(u"value"),
                     text = names->GetID(u"text"), script_ = names->GetID(u"script"), class_ = names->GetID(u"class"),
                     id = names->GetID(u"id"), name = names->GetID(u"name"), kind = names->GetID(u"kind");
    // An element with up to two attributes, as the readers make it.
    auto element = [&](TXmlNode* AParent, TXmlNameID AName, const TXmlString* AValue1 = nullptr, TXmlNameID AAttr1 = 0,
                       const TXmlString* AValue2 = nullptr, TXmlNameID AAttr2 = 0) {
      TXmlNode::TPackedAttr attrs[2];
      char16_t chars[64];
      int32_t count = 0;
      uint32_t used = 0;
      for (auto [v, n] : {std::pair{AValue1, AAttr1}, std::pair{AValue2, AAttr2}}) {
        if (!v) continue;
        attrs[count++] = TXmlNode::TPackedAttr{n, used, static_cast<uint32_t>(v->size())};
        std::memcpy(chars + used, v->data(), v->size() * sizeof(char16_t));
        used += static_cast<uint32_t>(v->size());
      }
      void* place = nullptr;
      TXmlElement* e = TXmlElement::NewWithRoom(names, AName, TXmlNode::PackedSize(count, used), place);
      if (count > 0) e->SetPackedAttrs(attrs, count, chars, place);
      AParent->GetChilds()->AppendFresh(e);
      return e;
    };
    TXmlElement* root = element(top, project, &bench, name);
    for (const TWideComponent& c : records) {
      TXmlElement* ce = element(root, component, &c.Class, class_, &c.Id, id);
      ce->GetChilds()->AppendFresh(new (names->Pool()) TXmlComment(names, c.Comment));
      for (const auto& p : c.Properties) {
        TXmlElement* pe = element(ce, property, &p[0], name, &p[1], kind);
        element(pe, value)->AppendFreshChars(p[2]);
        element(pe, text)->AppendFreshChars(p[3]);
      }
      if (c.Script) element(ce, script_)->GetChilds()->AppendFresh(new (names->Pool()) TXmlCDATASection(names, script));
    }
    benchmark::DoNotOptimize(doc.get());
  };
  build();
  for (auto _ : AState) build();
}

// The mixed document's tree built through each library's own API, as an application builds a
// document it is about to save.
void BuildFundrel(benchmark::State& AState) {
  const std::vector<TWideComponent>& records = WideRecords();
  const TXmlString script = Wide(ScriptCode);
  auto build = [&] {
    TIntf<IXmlDocument> doc = CreateXmlDocument(u"project", u"1.0", u"UTF-8");
    TIntf<IXmlElement> root = doc->Get_DocumentElement();
    root->SetAttr(u"name", u"bench");
    for (const TWideComponent& c : records) {
      TIntf<IXmlElement> component = root->AppendElement(u"component");
      component->SetAttr(u"class", c.Class);
      component->SetAttr(u"id", c.Id);
      component->AppendComment(c.Comment);
      for (const auto& p : c.Properties) {
        TIntf<IXmlElement> property = component->AppendElement(u"property");
        property->SetAttr(u"name", p[0]);
        property->SetAttr(u"kind", p[1]);
        property->AppendElement(u"value")->AppendText(p[2]);
        property->AppendElement(u"text")->AppendText(p[3]);
      }
      if (c.Script) component->AppendElement(u"script")->AppendCDATA(script);
    }
    benchmark::DoNotOptimize(doc.get());
  };
  build();
  for (auto _ : AState) build();
}

void BuildPugi(benchmark::State& AState) {
  auto build = [] {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.append_child("project");
    root.append_attribute("name") = "bench";
    for (const TComponent& c : MixedRecords()) {
      pugi::xml_node component = root.append_child("component");
      component.append_attribute("class") = c.Class.c_str();
      component.append_attribute("id") = c.Id.c_str();
      component.append_child(pugi::node_comment).set_value(c.Comment.c_str());
      for (const TProperty& p : c.Properties) {
        pugi::xml_node property = component.append_child("property");
        property.append_attribute("name") = p.Name.c_str();
        property.append_attribute("kind") = p.Kind.c_str();
        property.append_child("value").append_child(pugi::node_pcdata).set_value(p.Value.c_str());
        property.append_child("text").append_child(pugi::node_pcdata).set_value(p.Text.c_str());
      }
      if (c.Script) component.append_child("script").append_child(pugi::node_cdata).set_value(ScriptCode);
    }
    benchmark::DoNotOptimize(doc.first_child());
  };
  build();
  for (auto _ : AState) build();
}

void BuildTinyXml2(benchmark::State& AState) {
  auto build = [] {
    tinyxml2::XMLDocument doc;
    doc.InsertEndChild(doc.NewDeclaration());
    tinyxml2::XMLElement* root = doc.NewElement("project");
    doc.InsertEndChild(root);
    root->SetAttribute("name", "bench");
    for (const TComponent& c : MixedRecords()) {
      tinyxml2::XMLElement* component = root->InsertNewChildElement("component");
      component->SetAttribute("class", c.Class.c_str());
      component->SetAttribute("id", c.Id.c_str());
      component->InsertNewComment(c.Comment.c_str());
      for (const TProperty& p : c.Properties) {
        tinyxml2::XMLElement* property = component->InsertNewChildElement("property");
        property->SetAttribute("name", p.Name.c_str());
        property->SetAttribute("kind", p.Kind.c_str());
        property->InsertNewChildElement("value")->InsertNewText(p.Value.c_str());
        property->InsertNewChildElement("text")->InsertNewText(p.Text.c_str());
      }
      if (c.Script) component->InsertNewChildElement("script")->InsertNewText(ScriptCode)->SetCData(true);
    }
    benchmark::DoNotOptimize(doc.RootElement());
  };
  build();
  for (auto _ : AState) build();
}

void BuildLibXml2(benchmark::State& AState) {
  auto x = [](const char* A) { return reinterpret_cast<const xmlChar*>(A); };
  auto build = [&] {
    xmlDocPtr doc = xmlNewDoc(x("1.0"));
    xmlNodePtr root = xmlNewDocNode(doc, nullptr, x("project"), nullptr);
    xmlDocSetRootElement(doc, root);
    xmlNewProp(root, x("name"), x("bench"));
    for (const TComponent& c : MixedRecords()) {
      xmlNodePtr component = xmlNewChild(root, nullptr, x("component"), nullptr);
      xmlNewProp(component, x("class"), x(c.Class.c_str()));
      xmlNewProp(component, x("id"), x(c.Id.c_str()));
      xmlAddChild(component, xmlNewDocComment(doc, x(c.Comment.c_str())));
      for (const TProperty& p : c.Properties) {
        xmlNodePtr property = xmlNewChild(component, nullptr, x("property"), nullptr);
        xmlNewProp(property, x("name"), x(p.Name.c_str()));
        xmlNewProp(property, x("kind"), x(p.Kind.c_str()));
        xmlAddChild(xmlNewChild(property, nullptr, x("value"), nullptr), xmlNewDocText(doc, x(p.Value.c_str())));
        xmlAddChild(xmlNewChild(property, nullptr, x("text"), nullptr), xmlNewDocText(doc, x(p.Text.c_str())));
      }
      if (c.Script)
        xmlAddChild(xmlNewChild(component, nullptr, x("script"), nullptr),
                    xmlNewCDataBlock(doc, x(ScriptCode), static_cast<int>(std::strlen(ScriptCode))));
    }
    benchmark::DoNotOptimize(doc);
    xmlFreeDoc(doc);
  };
  build();
  for (auto _ : AState) build();
}

int RegisterAll() {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  xmlInitParser();
  // The small document stands for the many short ones an application reads and writes (settings,
  // component properties), where what a document costs beyond its nodes shows.
  for (const char* name : {"mixed2kb", "attr1mb", "text1mb", "mixed20mb"}) {
    const std::string n = name;
    auto reg = [&](const std::string& AOp, const char* AImpl, void (*AFunc)(benchmark::State&, const std::string&)) {
      benchmark::RegisterBenchmark(("BM_" + AOp + "/" + AImpl + "/" + n).c_str(), AFunc, n)
          ->Unit(n == "mixed2kb" ? benchmark::kMicrosecond : benchmark::kMillisecond);
    };
    reg("ParseXML", "fundrel", ParseFundrel);
    reg("ParseXML", "pugixml", ParsePugi);
    reg("ParseXML", "tinyxml2", ParseTinyXml2);
    reg("ParseXML", "libxml2", ParseLibXml2);
    reg("ParseXML", "expat", ParseExpat);
    reg("LoadBinaryXML", "fundrel", LoadBinaryFundrel);
    reg("ParseWalkXML", "fundrel", ParseWalkFundrel);
    reg("ParseWalkXML", "pugixml", ParseWalkPugi);
    reg("LoadBinaryWalkXML", "fundrel", LoadBinaryWalkFundrel);
    reg("SaveXML", "fundrel", SaveFundrel);
    reg("SaveXML", "pugixml", SavePugi);
    reg("SaveXML", "tinyxml2", SaveTinyXml2);
    reg("SaveXML", "libxml2", SaveLibXml2);
  }
  auto build = [](const char* AImpl, void (*AFunc)(benchmark::State&)) {
    benchmark::RegisterBenchmark((std::string("BM_BuildXML/") + AImpl + "/mixed20mb").c_str(), AFunc)
        ->Unit(benchmark::kMillisecond);
  };
  build("fundrel", BuildFundrel);
  benchmark::RegisterBenchmark("BM_BuildNodes/fundrel/mixed20mb", BuildNodesFundrel)->Unit(benchmark::kMillisecond);
  build("pugixml", BuildPugi);
  build("tinyxml2", BuildTinyXml2);
  build("libxml2", BuildLibXml2);
  return 0;
}

const int Registered = RegisterAll();

}  // namespace

BENCHMARK_MAIN();
