// libFuzzer target: arbitrary bytes after the binary signature must load into a document or raise
// EGVException; a loaded document is written again in both forms. A byte string keeps its body and
// makes nodes on demand: it must give what a reader making every node at once gives, the same
// error included.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/Quenra.SysUtils.h"
#include "xml/DVSimpleXML.h"

using namespace fundrel;

namespace {

std::string ErrorOf(const auto& AAction) {
  try {
    AAction();
  } catch (const EGVException& e) {
    return e.Message();
  }
  return {};
}

// The tree as bytes: its binary form, or the error of writing it.
std::string Form(const TIntf<IXmlDocument>& ADoc) {
  std::string form;
  const std::string error = ErrorOf([&] { form = ADoc->Get_BinaryXML(); });
  return error.empty() ? form : "error: " + error;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::string input = std::string(BinXmlSignature, sizeof(BinXmlSignature)) +
                            std::string(reinterpret_cast<const char*>(AData), ASize);
  TIntf<IXmlDocument> doc = CreateXmlDocument();
  const std::string lazyError = ErrorOf([&] { doc->LoadBinaryXML(input); });
  TIntf<IXmlDocument> eager = CreateXmlDocument();
  const std::string eagerError = ErrorOf([&] {
    TStrXmlReader reader(input, sizeof(BinXmlSignature));
    static_cast<TXmlDocument*>(eager->GetObject())->ReadBinary(reader);
  });
  if (lazyError != eagerError || Form(doc) != Form(eager)) {
    std::fprintf(stderr, "kept body and reading at once differ: \"%s\" / \"%s\"\n", lazyError.c_str(), eagerError.c_str());
    std::abort();
  }
  ErrorOf([&] {
    TXmlMemoryStream stream(input);
    LoadXmlDocument(stream);
  });
  ErrorOf([&] {
    TXmlMemoryStream text;
    doc->Save(text);
    TXmlMemoryStream binary;
    doc->SaveBinary(binary, 1);
  });
  return 0;
}
