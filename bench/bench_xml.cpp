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

#include <cstdint>
#include <map>
#include <string>

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

// Nested records mixing attributes, text, comments and CDATA.
std::string Mixed(size_t ABytes) {
  TLcg rng;
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<project name=\"bench\">\n";
  for (int i = 0; s.size() < ABytes; ++i) {
    s += "  <component class=\"T" + Word(rng) + "\" id=\"" + std::to_string(i) + "\">\n";
    s += "    <!-- " + Word(rng) + " -->\n";
    for (uint32_t k = 0, n = 2 + rng.Below(4); k < n; ++k) {
      s += "    <property name=\"" + Word(rng) + "\" kind=\"" + Word(rng) + "\">\n      <value>" +
           std::to_string(rng.Below(1000000)) + "</value>\n      <text>" + Word(rng) + " " + Word(rng) +
           "</text>\n    </property>\n";
    }
    if (rng.Below(4) == 0) s += "    <script><![CDATA[if (a < b) run();]]></script>\n";
    s += "  </component>\n";
  }
  return s + "</project>\n";
}

const std::string& Document(const std::string& AName) {
  static std::map<std::string, std::string> cache;
  auto it = cache.find(AName);
  if (it != cache.end()) return it->second;
  std::string doc = AName == "attr1mb" ? AttributeRich(1 << 20) : AName == "text1mb" ? TextHeavy(1 << 20) : Mixed(20 << 20);
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

int RegisterAll() {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  xmlInitParser();
  for (const char* name : {"attr1mb", "text1mb", "mixed20mb"}) {
    const std::string n = name;
    auto reg = [&](const std::string& AOp, const char* AImpl, void (*AFunc)(benchmark::State&, const std::string&)) {
      benchmark::RegisterBenchmark(("BM_" + AOp + "/" + AImpl + "/" + n).c_str(), AFunc, n)
          ->Unit(benchmark::kMillisecond);
    };
    reg("ParseXML", "fundrel", ParseFundrel);
    reg("ParseXML", "pugixml", ParsePugi);
    reg("ParseXML", "tinyxml2", ParseTinyXml2);
    reg("ParseXML", "libxml2", ParseLibXml2);
    reg("ParseXML", "expat", ParseExpat);
    reg("LoadBinaryXML", "fundrel", LoadBinaryFundrel);
    reg("SaveXML", "fundrel", SaveFundrel);
  }
  return 0;
}

const int Registered = RegisterAll();

}  // namespace

BENCHMARK_MAIN();
