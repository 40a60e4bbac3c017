// Helpers shared by the XML tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host/Quenra.SysUtils.h"
#include "xml/DVSimpleXML.h"
#include "xml/detail/XmlInternals.h"

namespace xmltest {

using namespace fundrel;

// Every document of these tests that frees its tree at once first proves, node by node, that it may.
inline const bool TreeDropsChecked = (detail::SetXmlTreeDropCheck(true), true);

// The message of the EGVException that AAction raises, or "no error".
template <class F>
std::string ErrorOf(F AAction) {
  try {
    AAction();
  } catch (const EGVException& e) {
    return e.Message();
  }
  return "no error";
}

inline TIntf<IXmlDocument> Parse(const std::string& AText, bool APreserve = false) {
  TIntf<IXmlDocument> doc = CreateXmlDocument();
  doc->Set_PreserveWhiteSpace(APreserve);
  doc->LoadXML(AText);
  return doc;
}

inline std::string ParseError(const std::string& AText) {
  return ErrorOf([&] { Parse(AText); });
}

inline std::string U8(const TXmlString& AText) { return Utf16ToUtf8(AText); }

inline std::string SaveText(const TIntf<IXmlDocument>& ADoc) {
  TXmlMemoryStream stream;
  ADoc->Save(stream);
  return stream.Data();
}

inline TIntf<IXmlElement> Root(const TIntf<IXmlDocument>& ADoc) { return ADoc->Get_DocumentElement(); }

}  // namespace xmltest
