// libFuzzer target: arbitrary bytes after the binary signature must load into a document or raise
// EGVException; a loaded document is written again in both forms.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/Quenra.SysUtils.h"
#include "xml/DVSimpleXML.h"

using namespace fundrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::string input = std::string(BinXmlSignature, sizeof(BinXmlSignature)) +
                            std::string(reinterpret_cast<const char*>(AData), ASize);
  TIntf<IXmlDocument> doc = CreateXmlDocument();
  try {
    doc->LoadBinaryXML(input);
  } catch (const EGVException&) {
  }
  try {
    TXmlMemoryStream stream(input);
    LoadXmlDocument(stream);
  } catch (const EGVException&) {
  }
  try {
    TXmlMemoryStream text;
    doc->Save(text);
    TXmlMemoryStream binary;
    doc->SaveBinary(binary, 1);
  } catch (const EGVException&) {
  }
  return 0;
}
