// libFuzzer target: arbitrary bytes parsed as XML text must give a document or EGVException;
// whatever parses is written back as text and in the binary form and read again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/Quenra.SysUtils.h"
#include "xml/DVSimpleXML.h"

using namespace fundrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::string input(reinterpret_cast<const char*>(AData), ASize);
  for (bool preserve : {false, true}) {
    TIntf<IXmlDocument> doc = CreateXmlDocument();
    doc->Set_PreserveWhiteSpace(preserve);
    try {
      TXmlMemoryStream stream(input);
      doc->Load(stream);
    } catch (const EGVException&) {
      // A partial document is still a document: write it out below.
    }
    try {
      TXmlMemoryStream text;
      doc->Save(text);
      LoadXmlDocumentFromXML(text.Data());
    } catch (const EGVException&) {
    }
    try {
      LoadXmlDocumentFromBinaryXML(doc->Get_BinaryXML());
    } catch (const EGVException&) {
    }
  }
  return 0;
}
