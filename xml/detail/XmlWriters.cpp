// The text saver and the node forms, the binary writers and readers.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <cstdint>
#include <new>
#include <typeinfo>

#include "host/Quenra.SysUtils.h"
#include "xml/detail/XmlInternals.h"

namespace fundrel {

using namespace detail;

// ---- Text saver ----------------------------------------------------------------------------

TXmlSaver::TXmlSaver(int32_t ABufferSize)
    : FBuffer(static_cast<size_t>(std::max(ABufferSize, 0))),
      FBufferPtr(FBuffer.data()),
      FBuffersize(ABufferSize),
      FRemain(ABufferSize) {}

TXmlSaver::~TXmlSaver() = default;

void TXmlSaver::SetCodepage(uint16_t ACodePage) {
  FCodepage = ACodePage;
  FEncoder.reset();
  if (ACodePage != CP_UTF8) FEncoder = std::make_unique<TCodePageEncoder>(ACodePage);
  FDirectUtf8 = !FEncoder;
}

const char16_t* detail::FindMarkup(const char16_t* AFrom, const char16_t* AEnd) {
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi16('"'), amp = _mm_set1_epi16('&'), gt = _mm_set1_epi16('>'),
                two = _mm_set1_epi16(2);
  while (AEnd - AFrom >= 8) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AFrom));
    // '<' and '>' differ in one bit only.
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(x, quote), _mm_cmpeq_epi16(x, amp)),
                                     _mm_cmpeq_epi16(_mm_or_si128(x, two), gt));
    if (const int mask = _mm_movemask_epi8(hit)) return AFrom + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
    AFrom += 8;
  }
#endif
  for (; AFrom < AEnd; ++AFrom)
    if (*AFrom == '"' || *AFrom == '&' || *AFrom == '<' || *AFrom == '>') return AFrom;
  return AEnd;
}

std::u16string_view detail::MarkupEntity(char16_t AChar) {
  switch (AChar) {
    case '"': return u"&quot;";
    case '&': return u"&amp;";
    case '<': return u"&lt;";
    default: return u"&gt;";
  }
}

void TXmlSaver::PutEscaped(std::u16string_view AText) {
  const char16_t* p = AText.data();
  const char16_t* const end = p + AText.size();
  for (;;) {
    const char16_t* q = FindMarkup(p, end);
    if (q > p) Put(std::u16string_view(p, static_cast<size_t>(q - p)));
    if (q == end) return;
    Put(MarkupEntity(*q));
    p = q + 1;
  }
}

void TXmlSaver::Save(std::u16string_view AText) {
  // Pieces are converted whole when they fit a third of the buffer, else in slices of that size.
  const size_t slice = static_cast<size_t>(std::max((FBuffersize - Slack) / 3, 1));
  while (!AText.empty()) {
    size_t n = std::min(AText.size(), slice);
    if (n < AText.size() && AText[n - 1] >= 0xD800 && AText[n - 1] < 0xDC00 && n > 1) --n;  // keep pairs whole
    if (static_cast<int32_t>(n * 3) + Slack > FRemain) FlushBuffer();
    Convert(AText.substr(0, n));
    AText = AText.substr(n);
    if (!AText.empty()) FlushBuffer();
  }
}

void TXmlSaver::Convert(std::u16string_view AText) {
  if (!FEncoder) {
    const size_t written = EncodeUtf8(AText, FBufferPtr);
    FBufferPtr += written;
    FRemain -= static_cast<int32_t>(written);
    return;
  }
  Encode(AText.data(), AText.data() + AText.size(), false);
}

void TXmlSaver::Finish() {
  const char16_t nothing = 0;
  if (FEncoder) Encode(&nothing, &nothing, true);
}

// One stream for the whole document: converting pieces separately would return a stateful
// encoding to its initial state after each, and a reader rejects the empty segments between the
// escape sequences that result.
void TXmlSaver::Encode(const char16_t* ASrc, const char16_t* ASrcEnd, bool AFlush) {
  for (;;) {
    char* out = FBufferPtr;
    const bool done = FEncoder->Encode(ASrc, ASrcEnd, out, FBufferPtr + FRemain, AFlush);
    FRemain -= static_cast<int32_t>(out - FBufferPtr);
    FBufferPtr = out;
    if (done) return;
    FlushBuffer();
  }
}

void TXmlStmSaver::FlushBuffer() {
  const int64_t used = FBufferPtr - FBuffer.data();
  if (used > 0) FStream.Write(FBuffer.data(), used);
  FBufferPtr = FBuffer.data();
  FRemain = FBuffersize;
}

namespace {

void NewLine(TXmlSaver& ASaver) {
  ASaver.Put(u"\r\n");
  for (int32_t i = 0; i < ASaver.Depth; ++i) ASaver.Put(DefaultIndentText);
}

// Elements between the node and the document (all ancestors when there is none).
int32_t DepthOf(TXmlNode* ANode) {
  int32_t d = 0;
  for (TXmlNode* p = ANode->ParentNode(); p && typeid(*p) != typeid(TXmlDocument); p = p->ParentNode()) ++d;
  return d;
}

TXmlString NodeText(TXmlNode* ANode, bool AStripLeadingBreak) {
  TXmlStrSaver saver;
  saver.Preserve = ANode->PreservesWhiteSpace();
  saver.Depth = DepthOf(ANode);
  ANode->SaveXML(saver);
  TXmlString& s = saver.Text();
  if (AStripLeadingBreak && s.starts_with(u"\r\n")) {
    size_t cut = 2;
    for (int32_t i = 0; i < saver.Depth && s.compare(cut, DefaultIndentText.size(), DefaultIndentText) == 0; ++i)
      cut += DefaultIndentText.size();
    s.erase(0, cut);
  }
  return std::move(s);
}

void SaveCDATA(TXmlSaver& ASaver, std::u16string_view AText) {
  for (;;) {
    const size_t p = AText.find(u"]]>");
    ASaver.Put(u"<![CDATA[");
    if (p == std::u16string_view::npos) {
      ASaver.Put(AText);
      ASaver.Put(u"]]>");
      return;
    }
    ASaver.Put(AText.substr(0, p + 1));
    ASaver.Put(u"]]>");
    AText = AText.substr(p + 1);
  }
}

}  // namespace

void TXmlNode::SaveAttrs(TXmlSaver& ASaver) {
  if (FPacked) {
    const auto* chars = reinterpret_cast<const char16_t*>(FPacked + FAttrCount);
    for (int32_t i = 0; i < FAttrCount; ++i) {
      const TPackedAttr& a = FPacked[i];
      ASaver.Put(u" ");
      ASaver.Put(FNames->NameOf(a.NameID));
      ASaver.Put(u"=\"");
      ASaver.PutEscaped(std::u16string_view(chars + a.Offset, a.Length));
      ASaver.Put(u"\"");
    }
    return;
  }
  for (int32_t i = 0; i < FAttrCount; ++i) {
    const TXmlAttrData& a = FAttrs[static_cast<size_t>(i)];
    ASaver.Put(u" ");
    ASaver.Put(FNames->NameOf(a.NameID));
    ASaver.Put(u"=\"");
    if (a.Value.VarType() == varUString)
      ASaver.PutEscaped(a.Value.AsUnicodeString());
    else
      ASaver.PutEscaped(VarToXSTR(a.Value));
    ASaver.Put(u"\"");
  }
}

void TXmlElement::SaveXML(TXmlSaver& ASaver) {
  const TXmlString& name = Names()->NameOf(FNameID);
  const bool indent = !ASaver.Preserve;
  if (indent) NewLine(ASaver);
  ASaver.Put(u"<");
  ASaver.Put(name);
  SaveAttrs(ASaver);
  if (HasSoleText()) {
    // As a list of one text child would be saved: the end tag follows the text directly.
    ASaver.Put(u">");
    ASaver.PutEscaped(SoleText());
    ASaver.Put(u"</");
    ASaver.Put(name);
    ASaver.Put(u">");
    return;
  }
  TXmlNodeList* list = Childs();
  if (list && list->Get_Count() > 0) {
    ASaver.Put(u">");
    ++ASaver.Depth;
    list->SaveXML(ASaver);
    --ASaver.Depth;
    if (indent && !(list->Get_Count() < 2 && list->Item(0)->Get_NodeType() != NODE_ELEMENT)) NewLine(ASaver);
    ASaver.Put(u"</");
    ASaver.Put(name);
    ASaver.Put(u">");
  } else if (Data().IsEmpty()) {
    ASaver.Put(u"/>");
  } else {
    ASaver.Put(u">");
    ASaver.PutEscaped(VarToXSTR(Data()));
    ASaver.Put(u"</");
    ASaver.Put(name);
    ASaver.Put(u">");
  }
}

TXmlString TXmlElement::Get_XML() { return NodeText(this, true); }

void TXmlText::SaveXML(TXmlSaver& ASaver) {
  if (FPacked)
    ASaver.PutEscaped(std::u16string_view(FPacked, FPackedLength));
  else
    ASaver.PutEscaped(VarToXSTR(*FData));
}
TXmlString TXmlText::Get_XML() { return NodeText(this, false); }

void TXmlCDATASection::SaveXML(TXmlSaver& ASaver) { SaveCDATA(ASaver, Data()); }
TXmlString TXmlCDATASection::Get_XML() { return NodeText(this, false); }

void TXmlComment::SaveXML(TXmlSaver& ASaver) {
  ASaver.Put(u"<!--");
  ASaver.Put(Data());
  ASaver.Put(u"-->");
}
TXmlString TXmlComment::Get_XML() { return NodeText(this, false); }

void TXmlProcessingInstruction::SaveXML(TXmlSaver& ASaver) {
  ASaver.Put(u"<?");
  ASaver.Put(Names()->NameOf(FTargetNameID));
  if (!FData.empty()) {
    ASaver.Put(u" ");
    ASaver.Put(FData);
  } else {
    SaveAttrs(ASaver);
  }
  ASaver.Put(u"?>");
}
TXmlString TXmlProcessingInstruction::Get_XML() { return NodeText(this, false); }

void TXmlDocument::SaveXML(TXmlSaver& ASaver) {
  if (Childs()) Childs()->SaveXML(ASaver);
}
TXmlString TXmlDocument::Get_XML() {
  TXmlString s = NodeText(this, false);
  if (s.starts_with(u"\r\n")) s.erase(0, 2);
  return s;
}

void TXmlDocument::Save(TXmlStream& AStream) {
  uint16_t cp = CP_UTF8;
  if (TXmlNode* decl = FindChild(Names()->XmlNameID())) {
    if (const TVariant* enc = decl->FindAttr(Names()->EncodingNameID())) {
      const TXmlString encoding = VarToXSTR(*enc);
      if (!encoding.empty()) {
        cp = CodePageOfEncoding(encoding);
        if (cp == 0) XmlErrorFmt("Encoding \"%s\" is not supported by SimpleXML", encoding);
      }
    }
  }
  TXmlStmSaver saver(AStream, 4096);
  saver.SetCodepage(cp);
  saver.Preserve = FPreserveWhiteSpace;
  SaveXML(saver);
  saver.Finish();
  saver.FlushBuffer();
}

// ---- Binary writers ------------------------------------------------------------------------

void TBinXmlWriter::WriteLongint(int32_t AValue) {
  uint8_t b[5];
  if (AValue >= 0 && AValue <= 127) {
    b[0] = static_cast<uint8_t>(AValue);
    Write(b, 1);
  } else if (AValue >= 128 && AValue <= 32511) {
    b[0] = static_cast<uint8_t>((AValue >> 8) | 0x80);
    b[1] = static_cast<uint8_t>(AValue & 0xFF);
    Write(b, 2);
  } else {
    const uint32_t v = static_cast<uint32_t>(AValue);
    b[0] = 0xFF;
    for (int i = 0; i < 4; ++i) b[1 + i] = static_cast<uint8_t>(v >> (8 * i));
    Write(b, 5);
  }
}

namespace {
template <class T>
void WriteLE(TBinXmlWriter& AWriter, T AValue) {
  static_assert(std::endian::native == std::endian::little, "the binary form is little-endian");
  AWriter.Write(&AValue, sizeof(AValue));
}
}  // namespace

void TBinXmlWriter::WriteAnsiString(std::string_view ABytes) {
  WriteLongint(static_cast<int32_t>(ABytes.size()));
  if (!ABytes.empty()) Write(ABytes.data(), static_cast<int32_t>(ABytes.size()));
}

void TBinXmlWriter::WriteWideString(std::u16string_view AText) {
  WriteLongint(static_cast<int32_t>(AText.size()));
  if (!AText.empty()) Write(AText.data(), static_cast<int32_t>(AText.size() * 2));
}

void TBinXmlWriter::WriteXmlString(std::u16string_view AText) {
  if (FOptions & 1) return WriteWideString(AText);
  char local[256];
  if (AText.size() * 3 <= sizeof(local)) return WriteAnsiString(std::string_view(local, EncodeUtf8(AText, local)));
  String bytes(AText.size() * 3, '\0');
  bytes.resize(EncodeUtf8(AText, bytes.data()));
  WriteAnsiString(bytes);
}

void TBinXmlWriter::WriteVariant(const TVariant& AValue) {
  const TVarType t = AValue.VarType();
  switch (t) {
    case varEmpty: case varNull: case varSmallint: case varBoolean: case varInteger: case varSingle:
    case varLongWord: case varDouble: case varCurrency: case varDate: case varInt64: case varShortInt:
    case varByte: case varWord: case varOleStr: case varString: case varUString: case varByteArray:
      break;
    default: XmlError("Unknown data type in variant");
  }
  WriteLongint(static_cast<int32_t>(t));
  switch (t) {
    case varSmallint: WriteLE<int16_t>(*this, AValue.AsSmallint()); break;
    // A true boolean is all bits set, the automation convention.
    case varBoolean: WriteLE<int16_t>(*this, AValue.AsBoolean() ? -1 : 0); break;
    case varInteger: WriteLE<int32_t>(*this, AValue.AsInteger()); break;
    case varSingle: WriteLE<float>(*this, AValue.AsSingle()); break;
    case varLongWord: WriteLE<uint32_t>(*this, AValue.AsLongWord()); break;
    case varDouble: WriteLE<double>(*this, AValue.AsDouble()); break;
    case varCurrency: WriteLE<int64_t>(*this, AValue.AsCurrency().Scaled()); break;
    case varDate: WriteLE<double>(*this, AValue.AsDateTime().Value()); break;
    case varInt64: WriteLE<int64_t>(*this, AValue.AsInt64()); break;
    case varShortInt: WriteLE<int8_t>(*this, AValue.AsShortInt()); break;
    case varByte: WriteLE<uint8_t>(*this, AValue.AsByte()); break;
    case varWord: WriteLE<uint16_t>(*this, AValue.AsWord()); break;
    case varOleStr: WriteWideString(AValue.AsUnicodeString()); break;
    case varString: WriteAnsiString(AValue.AsString()); break;
    case varUString: {
      const TXmlString text = AValue.AsUnicodeString();
      String bytes(text.size() * 3, '\0');
      bytes.resize(EncodeUtf8(text, bytes.data()));
      WriteAnsiString(bytes);
      break;
    }
    case varByteArray: {
      const std::vector<uint8_t> bytes = AValue.AsBytes();
      WriteLongint(static_cast<int32_t>(bytes.size()));
      if (!bytes.empty()) Write(bytes.data(), static_cast<int32_t>(bytes.size()));
      break;
    }
    default: break;
  }
}

void TBinXmlWriter::WriteNodeBody(TXmlNode* ANode) {
  TXmlNameTable* names = ANode->Names();
  WriteLongint(ANode->AttrCount());
  for (int32_t i = 0; i < ANode->AttrCount(); ++i) {
    const TXmlAttrData& a = ANode->AttrData(i);
    WriteLongint(static_cast<int32_t>(names->GetKeyID(a.NameID)));
    WriteVariant(a.Value);
  }
  TXmlNodeList* list = ANode->Childs();
  const int32_t n = list ? list->Get_Count() : 0;
  WriteLongint(n);
  for (int32_t i = 0; i < n; ++i) WriteNode(list->Item(i));
}

void TBinXmlWriter::WriteNode(TXmlNode* ANode) {
  const TXmlNodeType t = ANode->Get_NodeType();
  if (t == NODE_INVALID || t == NODE_DOCUMENT) XmlError("Error of the record of binary XML: incorrect node-type");
  const uint8_t code = static_cast<uint8_t>(t);
  Write(&code, 1);
  TXmlNameTable* names = ANode->Names();
  switch (t) {
    case NODE_ELEMENT: {
      auto* e = static_cast<TXmlElement*>(ANode);
      WriteLongint(static_cast<int32_t>(names->GetKeyID(e->Get_NodeNameID())));
      const bool childless = !e->Childs() || e->Childs()->Get_Count() == 0;
      WriteVariant(childless ? e->Data() : TVariant());
      WriteNodeBody(e);
      break;
    }
    case NODE_TEXT: WriteVariant(static_cast<TXmlText*>(ANode)->Data()); break;
    case NODE_CDATA_SECTION: WriteXmlString(static_cast<TXmlCDATASection*>(ANode)->Data()); break;
    case NODE_COMMENT: WriteXmlString(static_cast<TXmlComment*>(ANode)->Data()); break;
    case NODE_PROCESSING_INSTRUCTION: {
      auto* p = static_cast<TXmlProcessingInstruction*>(ANode);
      WriteLongint(static_cast<int32_t>(names->GetKeyID(p->Get_NodeNameID())));
      WriteXmlString(p->Data());
      WriteNodeBody(p);
      break;
    }
    default: break;
  }
}

TStmXmlWriter::TStmXmlWriter(TXmlStream& AStream, int32_t AOptions, int32_t ABufSize)
    : TBinXmlWriter(AOptions), FStream(AStream), FBufStart(static_cast<size_t>(std::max(ABufSize, 16))) {
  FBufPtr = FBufStart.data();
  FBufSize = static_cast<int32_t>(FBufStart.size());
  FRemain = FBufSize;
}

TStmXmlWriter::~TStmXmlWriter() {
  try {
    FlushBuf();
  } catch (...) {
    // A destructor cannot report it; an explicit FlushBuf does.
  }
}

void TStmXmlWriter::Write(const void* ABuffer, int32_t ASize) {
  if (ASize <= 0) return;
  if (ASize > FRemain) {
    FlushBuf();
    if (ASize >= FBufSize) {
      FStream.Write(ABuffer, ASize);
      return;
    }
  }
  std::memcpy(FBufPtr, ABuffer, static_cast<size_t>(ASize));
  FBufPtr += ASize;
  FRemain -= ASize;
}

void TStmXmlWriter::FlushBuf() {
  const int64_t used = FBufPtr - FBufStart.data();
  FBufPtr = FBufStart.data();
  FRemain = FBufSize;
  if (used > 0) FStream.Write(FBufStart.data(), used);
}

TStrXmlWriter::TStrXmlWriter(int32_t AOptions, int32_t ABufSize)
    : TBinXmlWriter(AOptions), FBufSize(std::max(ABufSize, 16)), FRemain(FBufSize) {
  FData.resize(static_cast<size_t>(FBufSize));
}

void TStrXmlWriter::Write(const void* ABuffer, int32_t ASize) {
  if (ASize <= 0) return;
  if (ASize > FRemain) {
    const size_t size = std::max(FData.size() * 2, static_cast<size_t>(FBufPtr) + static_cast<size_t>(ASize));
    FData.resize(size);
    FBufSize = static_cast<int32_t>(size);
    FRemain = FBufSize - FBufPtr;
  }
  std::memcpy(FData.data() + FBufPtr, ABuffer, static_cast<size_t>(ASize));
  FBufPtr += ASize;
  FRemain -= ASize;
}

void TStrXmlWriter::FlushBuf() {
  FData.resize(static_cast<size_t>(FBufPtr));
  FBufSize = FBufPtr;
  FRemain = 0;
}

void TXmlDocument::WriteBinary(TBinXmlWriter& AWriter) {
  const int32_t options = AWriter.Options();
  AWriter.Write(&options, 4);
  const std::vector<TXmlNameID> names = Names()->AllNames();
  AWriter.WriteLongint(static_cast<int32_t>(names.size()));
  for (TXmlNameID id : names) AWriter.WriteXmlString(Names()->NameOf(id));
  AWriter.WriteNodeBody(this);
}

// ---- Binary readers ------------------------------------------------------------------------

void TBinXmlReader::RaiseReadError() { XmlError("Error reading data"); }

namespace {
// A binary integer at AAt when the window holds all of it; advances AAt.
[[gnu::always_inline]] inline bool PeekLongint(const char*& AAt, const char* AEnd, int32_t& AValue) {
  const auto* p = reinterpret_cast<const uint8_t*>(AAt);
  if (AEnd - AAt < 1) return false;
  if (p[0] < 128) {
    AValue = p[0];
    AAt += 1;
    return true;
  }
  if (p[0] != 0xFF) {
    if (AEnd - AAt < 2) return false;
    AValue = ((p[0] & 0x7F) << 8) | p[1];
    AAt += 2;
    return true;
  }
  if (AEnd - AAt < 5) return false;
  AValue = static_cast<int32_t>(uint32_t(p[1]) | (uint32_t(p[2]) << 8) | (uint32_t(p[3]) << 16) | (uint32_t(p[4]) << 24));
  AAt += 5;
  return true;
}

}  // namespace

inline int32_t TBinXmlReader::Longint() {
  int32_t v;
  if (FUNDREL_LIKELY(PeekLongint(FCur, FEnd, v))) return v;
  return ReadLongint();
}

int32_t TBinXmlReader::ReadLongint() {
  uint8_t b;
  Read(&b, 1);
  if (b < 128) return b;
  if (b == 0xFF) {
    uint8_t v[4];
    Read(v, 4);
    return static_cast<int32_t>(uint32_t(v[0]) | (uint32_t(v[1]) << 8) | (uint32_t(v[2]) << 16) | (uint32_t(v[3]) << 24));
  }
  uint8_t low;
  Read(&low, 1);
  return ((b & 0x7F) << 8) | low;
}

int32_t TBinXmlReader::ReadCount() {
  const int32_t n = Longint();
  if (n < 0) RaiseReadError();
  return n;
}

TXmlBytes TBinXmlReader::ReadAnsiString() {
  const int32_t n = ReadCount();
  if (n > Available()) RaiseReadError();
  TXmlBytes r(static_cast<size_t>(n), '\0');
  if (n > 0) Read(r.data(), n);
  return r;
}

TXmlString TBinXmlReader::ReadWideString() {
  const int32_t n = ReadCount();
  if (int64_t(n) * 2 > Available()) RaiseReadError();
  TXmlString r(static_cast<size_t>(n), u'\0');
  if (n > 0) Read(r.data(), n * 2);
  return r;
}

TXmlString TBinXmlReader::ReadUtf8(int32_t ACount) {
  if (ACount > FEnd - FCur) {
    if (ACount > Available()) RaiseReadError();
    TXmlBytes bytes(static_cast<size_t>(ACount), '\0');
    Read(bytes.data(), ACount);
    return Utf8ToUtf16(bytes);
  }
  const auto* p = reinterpret_cast<const unsigned char*>(FCur);
  TXmlString r(p, p + ACount);  // right when all bytes are ASCII, the usual case
  for (char16_t c : r)
    if (c >= 0x80) {
      r = Utf8ToUtf16(std::string_view(FCur, static_cast<size_t>(ACount)));
      break;
    }
  FCur += ACount;
  return r;
}

TXmlString TBinXmlReader::ReadXmlString() {
  if (FOptions & 1) return ReadWideString();
  return ReadUtf8(ReadCount());
}

std::u16string_view TBinXmlReader::ReadXmlStringView() {
  FCharCount = 0;
  if (!(FOptions & 1)) {
    AppendUtf8(ReadCount());
  } else {
    const int32_t n = ReadCount();
    if (int64_t(n) * 2 > Available()) RaiseReadError();
    if (FChars.size() < static_cast<size_t>(n)) FChars.resize(static_cast<size_t>(n));
    if (n > 0) Read(FChars.data(), n * 2);
    FCharCount = static_cast<size_t>(n);
  }
  return {FChars.data(), FCharCount};
}

inline TXmlNameID TBinXmlReader::NameOfHash(TXmlNameTable* ANames, uint32_t AHash) {
  THashSlot* slot = nullptr;
  // The first few names are looked up in the table: a reader that resolves only those (a kept body
  // making the top of its tree) never makes the cache.
  if (FUNDREL_LIKELY(FHashCache != nullptr) || ++FUncachedLookups > 8) {
    if (FUNDREL_UNLIKELY(!FHashCache)) FHashCache.reset(new THashSlot[HashCacheSize]());
    slot = &FHashCache[(AHash ^ (AHash >> 8) ^ (AHash >> 16)) & (HashCacheSize - 1)];
    if (slot->ID != 0 && slot->Hash == AHash) return slot->ID;
  }
  const TXmlNameID id = ANames->GetNameID(AHash);
  // The first name of a hash is the oldest: one added after the limit means none was there before.
  if (id == 0 || !TXmlNameTable::AmongFirst(id, FNameLimit)) return 0;
  if (slot) *slot = THashSlot{AHash, id};
  return id;
}

namespace {
template <class T>
T ReadLE(TBinXmlReader& AReader) {
  T v;
  AReader.Read(&v, sizeof(v));
  return v;
}
}  // namespace

TVariant TBinXmlReader::ReadVariant() { return ReadVariantOfType(ReadLongint()); }

TVariant TBinXmlReader::ReadVariantOfType(int32_t AType) {
  switch (AType) {
    case varEmpty: return TVariant();
    case varNull: return TVariant::Null();
    case varSmallint: return TVariant(ReadLE<int16_t>(*this));
    case varBoolean: return TVariant(ReadLE<int16_t>(*this) != 0);
    case varInteger: return TVariant(ReadLE<int32_t>(*this));
    case varSingle: return TVariant(ReadLE<float>(*this));
    case varLongWord: return TVariant(ReadLE<uint32_t>(*this));
    case varDouble: return TVariant(ReadLE<double>(*this));
    case varCurrency: return TVariant(TCurrency::FromScaled(ReadLE<int64_t>(*this)));
    case varDate: return TVariant(TDateTime(ReadLE<double>(*this)));
    case varInt64: return TVariant(ReadLE<int64_t>(*this));
    case varShortInt: return TVariant(ReadLE<int8_t>(*this));
    case varByte: return TVariant(ReadLE<uint8_t>(*this));
    case varWord: return TVariant(ReadLE<uint16_t>(*this));
    case varOleStr: return TVariant::OleStr(ReadWideString());
    case varString: return TVariant(String(ReadAnsiString()));
    case varUString: return TVariant(ReadUtf8(ReadCount()));
    case varByteArray: {
      const TXmlBytes bytes = ReadAnsiString();
      return TVariant::Bytes(bytes.data(), bytes.size());
    }
    default: XmlError("Error reading value: incorrect type");
  }
}

void TBinXmlReader::AppendUtf8(int32_t ACount) {
  // The count is checked against the bytes at hand before it sizes anything.
  if (ACount <= FEnd - FCur) {
    const auto n = static_cast<size_t>(ACount);
    // 16 units of slack: short strings are widened in one step that may write past their end.
    if (FChars.size() < FCharCount + n + 16) FChars.resize(std::max(FChars.size() * 2, FCharCount + n + 256));
#if defined(__SSE2__)
    if (n <= 16 && FEnd - FCur >= 16) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(FCur));
      if ((_mm_movemask_epi8(x) & ((1u << n) - 1)) == 0) {
        const __m128i zero = _mm_setzero_si128();
        char16_t* out = FChars.data() + FCharCount;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(x, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpackhi_epi8(x, zero));
        FCur += ACount;
        FCharCount += n;
        return;
      }
    }
#endif
    if (WidenAscii(FCur, n, FChars.data() + FCharCount)) {
      FCur += ACount;
      FCharCount += n;
      return;
    }
  }
  const TXmlString text = ReadUtf8(ACount);
  if (text.empty()) return;
  if (FChars.size() < FCharCount + text.size()) FChars.resize(FCharCount + text.size());
  std::memcpy(FChars.data() + FCharCount, text.data(), text.size() * sizeof(char16_t));
  FCharCount += text.size();
}

// Reads attributes and the child count of a node body.
int32_t TBinXmlReader::ReadBodyHead(TXmlNode* ANode) {
  TXmlNameTable* names = ANode->Names();
  const int32_t attrs = ReadLongint();
  if (attrs > 0) {
    // Every attribute takes at least two bytes: a count beyond that is not believed.
    ANode->ReserveAttrs(static_cast<size_t>(std::min<int64_t>(attrs, Available() / 2)));
    for (int32_t i = 0; i < attrs; ++i) {
      const TXmlNameID id = NameOfHash(names, static_cast<uint32_t>(ReadLongint()));
      TVariant value = ReadVariant();
      if (TVariant* same = ANode->FindAttr(id))
        *same = std::move(value);
      else
        ANode->AddNewAttr(id, std::move(value));
    }
  }
  return ReadLongint();
}

namespace {

// Widens a short run of ASCII bytes (up to 16) without writing past its end; false when one is not
// ASCII.
bool WidenShortAscii(const char* AIn, size_t ACount, char16_t* AOut) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  if (ACount >= 8) {
    uint64_t a, b;
    std::memcpy(&a, AIn, 8);
    std::memcpy(&b, AIn + ACount - 8, 8);
    if ((a | b) & 0x8080808080808080ull) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut), _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<int64_t>(a)), zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut + ACount - 8),
                     _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<int64_t>(b)), zero));
    return true;
  }
  if (ACount >= 4) {
    uint32_t a, b;
    std::memcpy(&a, AIn, 4);
    std::memcpy(&b, AIn + ACount - 4, 4);
    if ((a | b) & 0x80808080u) return false;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(AOut), _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(a)), zero));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(AOut + ACount - 4),
                     _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(b)), zero));
    return true;
  }
#endif
  return WidenAscii(AIn, ACount, AOut);
}

}  // namespace

// The usual element: string attributes with distinct names, all in the window. Their sizes are
// taken first, so that the values are widened straight into the element's room; answers null,
// having read nothing, for anything else.
TXmlElement* TBinXmlReader::ReadStringAttrsInPlace(TXmlNode* AParent, TXmlNameID AID, int32_t ACount, TVariant& AData) {
  constexpr int32_t MaxAttrs = 32;
  if (ACount < 0 || ACount > MaxAttrs) return nullptr;
  struct TSpan {
    TXmlNameID ID;
    const char* Bytes;
    int32_t Length;
  } spans[MaxAttrs];
  TXmlNameTable* names = AParent->Names();
  const char* at = FCur;
  size_t bytes = 0;
  for (int32_t i = 0; i < ACount; ++i) {
    int32_t hash, type, length;
    if (!PeekLongint(at, FEnd, hash) || !PeekLongint(at, FEnd, type) || type != varUString ||
        !PeekLongint(at, FEnd, length) || length < 0 || length > FEnd - at)
      return nullptr;
    const TXmlNameID id = NameOfHash(names, static_cast<uint32_t>(hash));
    for (int32_t k = 0; k < i; ++k)
      if (spans[k].ID == id) return nullptr;  // a repeated name keeps its first place: the general path
    spans[i] = TSpan{id, at, length};
    at += length;
    bytes += static_cast<size_t>(length);
  }
  // UTF-8 never has fewer bytes than UTF-16 units: the room holds the values whatever they are.
  if (bytes > UINT32_MAX) return nullptr;
  void* place = nullptr;
  TXmlElement* e = TXmlElement::NewWithRoom(names, AID, TXmlNode::PackedSize(ACount, bytes), place);
  if (ACount > 0) {
    auto* packed = static_cast<TXmlNode::TPackedAttr*>(place);
    auto* chars = reinterpret_cast<char16_t*>(packed + ACount);
    uint32_t units = 0;
    for (int32_t i = 0; i < ACount; ++i) {
      const TSpan& a = spans[i];
      const auto n = static_cast<size_t>(a.Length);
      size_t made = n;
      if (!(n <= 16 ? WidenShortAscii(a.Bytes, n, chars + units) : WidenAscii(a.Bytes, n, chars + units))) {
        const TXmlString text = Utf8ToUtf16(std::string_view(a.Bytes, n));
        made = text.size();
        if (made > 0) std::memcpy(chars + units, text.data(), made * sizeof(char16_t));
      }
      packed[i] = TXmlNode::TPackedAttr{a.ID, units, static_cast<uint32_t>(made)};
      units += static_cast<uint32_t>(made);
    }
    e->FPacked = packed;
    e->FAttrCount = ACount;
  }
  FCur = at;
  AParent->GetChilds()->AppendFresh(e);
  if (!AData.IsEmpty()) e->SetData(std::move(AData));
  return e;
}

TXmlElement* TBinXmlReader::ReadElement(TXmlNode* AParent, TXmlNameID AID) {
  TXmlNameTable* names = AParent->Names();
  FAttrs.clear();
  FCharCount = 0;
  TVariant data;
  int32_t left = 0;
  int32_t type = varUString;
  TXmlNameID id = 0;
  // The element is made once its string attributes are read, so that they are packed with it; a
  // failure on the way still leaves it in the tree with what was read.
  auto make = [&]() {
    size_t chars = 0;
    for (const TXmlNode::TPackedAttr& a : FAttrs) chars += a.Length;
    const auto count = static_cast<int32_t>(FAttrs.size());
    void* place = nullptr;
    TXmlElement* e = TXmlElement::NewWithRoom(names, AID, TXmlNode::PackedSize(count, chars), place);
    e->SetPackedAttrs(FAttrs.data(), count, FChars.data(), place);
    AParent->GetChilds()->AppendFresh(e);
    if (!data.IsEmpty()) e->SetData(std::move(data));
    return e;
  };
  try {
    // Most elements have no value of their own: an empty one is not made at all.
    if (const int32_t dataType = Longint(); dataType != varEmpty) data = ReadVariantOfType(dataType);
    left = Longint();
    if (TXmlElement* e = ReadStringAttrsInPlace(AParent, AID, left, data)) return e;
    while (left > 0) {
      id = NameOfHash(names, static_cast<uint32_t>(Longint()));
      type = Longint();
      if (type != varUString) break;
      const size_t from = FCharCount;
      AppendUtf8(ReadCount());
      if (FCharCount > UINT32_MAX) throw std::bad_alloc();
      const TXmlNode::TPackedAttr attr{id, static_cast<uint32_t>(from), static_cast<uint32_t>(FCharCount - from)};
      bool repeated = false;
      for (TXmlNode::TPackedAttr& a : FAttrs)
        if (a.NameID == id) {
          a = attr;
          repeated = true;
          break;
        }
      if (!repeated) FAttrs.push_back(attr);
      --left;
    }
  } catch (...) {
    make();
    throw;
  }
  TXmlElement* e = make();
  if (left > 0) {
    // A value of another type: it and the rest become variants at once.
    e->SetAttrValue(id, ReadVariantOfType(type));
    while (--left > 0) {
      id = NameOfHash(names, static_cast<uint32_t>(Longint()));
      e->SetAttrValue(id, ReadVariant());
    }
  }
  return e;
}

// Nested bodies are read with an explicit stack: the depth of the input is not bounded by ours.
void TBinXmlReader::ReadNodeBody(TXmlNode* ANode) { ReadChildren(ANode, ReadBodyHead(ANode)); }

void TBinXmlReader::ReadChildren(TXmlNode* ANode, int32_t ACount) {
  if (FImage) {
    for (int32_t i = 0; i < ACount; ++i) {
      int32_t count = 0;
      TXmlNode* child = ReadNodeRecord(ANode, count);
      if (child && count > 0) FImage->Defer(child, count);
    }
    return;
  }
  struct TFrame {
    TXmlNode* Node;
    int32_t Left;
  };
  std::vector<TFrame> stack;
  stack.push_back({ANode, ACount});
  while (!stack.empty()) {
    TFrame& top = stack.back();
    if (top.Left <= 0) {
      stack.pop_back();
      continue;
    }
    --top.Left;
    int32_t count = 0;
    if (TXmlNode* child = ReadNodeRecord(top.Node, count)) stack.push_back({child, count});
  }
}

void TBinXmlReader::ReadNode(TXmlNode* AParent) {
  int32_t count = 0;
  if (TXmlNode* child = ReadNodeRecord(AParent, count)) ReadChildren(child, count);
}

TXmlNode* TBinXmlReader::ReadNodeRecord(TXmlNode* AParent, int32_t& AChildCount) {
  TXmlNameTable* names = AParent->Names();
  uint8_t code;
  Read(&code, 1);
  switch (code) {
    case NODE_ELEMENT: {
      const TXmlNameID id = NameOfHash(names, static_cast<uint32_t>(Longint()));
      TXmlElement* e = ReadElement(AParent, id);
      AChildCount = Longint();
      return e;
    }
    case NODE_TEXT: {
      const int32_t type = Longint();
      if (type == varUString) {
        const int32_t n = ReadCount();
        if (n <= FEnd - FCur) {
          // Text of ASCII is widened straight into its place; UTF-8 never has fewer bytes than
          // UTF-16 units, so the room also holds any other text.
          TXmlNode::TFreshText fresh = AParent->FreshTextRoom(static_cast<size_t>(n));
          size_t units = static_cast<size_t>(n);
          if (!(units <= 16 ? WidenShortAscii(FCur, units, fresh.Chars) : WidenAscii(FCur, units, fresh.Chars))) {
            TXmlString text;
            try {
              text = Utf8ToUtf16(std::string_view(FCur, units));
            } catch (...) {
              TXmlNode::DropFreshText(fresh);
              throw;
            }
            units = text.size();
            std::memcpy(fresh.Chars, text.data(), units * sizeof(char16_t));
          }
          FCur += n;
          AParent->CommitFreshText(fresh, fresh.Chars, units);
        } else {
          FCharCount = 0;
          AppendUtf8(n);
          AParent->AppendFreshChars(std::u16string_view(FChars.data(), FCharCount));
        }
      } else {
        TVariant value = ReadVariantOfType(type);
        TXmlNodeList* list = AParent->GetChilds();
        list->AppendFresh(new (names->Pool()) TXmlText(names, std::move(value)));
      }
      return nullptr;
    }
    case NODE_CDATA_SECTION: AParent->GetChilds()->AppendFresh(new (names->Pool()) TXmlCDATASection(names, ReadXmlString())); return nullptr;
    case NODE_COMMENT: AParent->GetChilds()->AppendFresh(new (names->Pool()) TXmlComment(names, ReadXmlString())); return nullptr;
    case NODE_PROCESSING_INSTRUCTION: {
      const TXmlNameID id = NameOfHash(names, static_cast<uint32_t>(Longint()));
      auto* p = new (names->Pool()) TXmlProcessingInstruction(names, id, TXmlString());
      AParent->GetChilds()->AppendFresh(p);
      p->SetData(ReadXmlString());
      AChildCount = ReadBodyHead(p);
      return p;
    }
    default: XmlError("Error of reading binary XML: incorrect node-type");
  }
}

void TXmlDocument::ReadBinaryHead(TBinXmlReader& AReader) {
  int32_t options = 0;
  AReader.Read(&options, 4);
  AReader.SetOptions(options);
  const int32_t n = AReader.ReadLongint();
  for (int32_t i = 0; i < n; ++i) Names()->GetID(AReader.ReadXmlStringView());
}

void TXmlDocument::ReadBinary(TBinXmlReader& AReader) {
  ReadBinaryHead(AReader);
  AReader.ReadNodeBody(this);
}

void TXmlDocument::ReadBinaryBytes(const TXmlBytes& AData, size_t AOffset) {
  TStrXmlReader reader(AData, AOffset);
  ReadBinaryHead(reader);
  if (!TBinXmlImage::ReadBody(this, reader)) reader.ReadNodeBody(this);
}

// ---- Binary bodies kept after loading -------------------------------------------------------

namespace {

std::atomic<int64_t> gLiveImages{0};

// Skips a value of type AType as the reader would read it; false where the reader would fail.
[[gnu::always_inline]] inline bool SkipValue(const char*& AAt, const char* AEnd, int32_t AType) {
  size_t n;
  // Nearly every value is text or empty: tested before the general switch.
  if (FUNDREL_LIKELY(AType == varUString)) {
    int32_t count;
    if (!PeekLongint(AAt, AEnd, count) || count < 0 || count > AEnd - AAt) return false;
    AAt += count;
    return true;
  }
  if (AType == varEmpty) return true;
  switch (AType) {
    case varNull: return true;
    case varShortInt:
    case varByte: n = 1; break;
    case varSmallint:
    case varBoolean:
    case varWord: n = 2; break;
    case varInteger:
    case varSingle:
    case varLongWord: n = 4; break;
    case varDouble:
    case varCurrency:
    case varDate:
    case varInt64: n = 8; break;
    case varOleStr:
    case varString:
    case varUString:
    case varByteArray: {
      int32_t count;
      if (!PeekLongint(AAt, AEnd, count) || count < 0) return false;
      n = static_cast<size_t>(count) * (AType == varOleStr ? 2 : 1);
      break;
    }
    default: return false;
  }
  if (n > static_cast<size_t>(AEnd - AAt)) return false;
  AAt += n;
  return true;
}

}  // namespace

TBinXmlImage::TBinXmlImage(TXmlNameTable* ANames, int32_t AOptions) : FNames(ANames) {
  SetOptions(AOptions);
  FImage = this;
  gLiveImages.fetch_add(1, std::memory_order_relaxed);
}

TBinXmlImage::~TBinXmlImage() { gLiveImages.fetch_sub(1, std::memory_order_relaxed); }

int64_t TBinXmlImage::LiveCount() { return gLiveImages.load(std::memory_order_relaxed); }

void TBinXmlImage::ReadSlow(void*, int32_t) { RaiseReadError(); }

void TBinXmlImage::Free() noexcept {
  (FPrev ? FPrev->FNext : FNames->FImages) = FNext;
  if (FNext) FNext->FPrev = FPrev;
  delete this;
}

void TXmlNameTable::FreeImages() noexcept {
  while (FImages) FImages->Free();
}

bool TBinXmlImage::Scan(size_t& ASize) {
  const char* at = FCur;
  const char* const end = FEnd;
  // The next integer, or Broken where it does not fit. Returned rather than stored, so that each
  // value stays in a register.
  constexpr int64_t Broken = INT64_MIN;
  auto longint = [&at, end]() __attribute__((always_inline)) -> int64_t {
    int32_t v;
    return PeekLongint(at, end, v) ? v : Broken;
  };
  // Name hashes are resolved when their nodes are made, against the names the table held at the load.
  auto name = [&]() __attribute__((always_inline)) { return longint() != Broken; };
  auto value = [&]() __attribute__((always_inline)) {
    const int64_t type = longint();
    return type != Broken && SkipValue(at, end, static_cast<int32_t>(type));
  };
  auto attrs = [&]() __attribute__((always_inline)) {
    const int64_t n = longint();
    if (n == Broken) return false;
    for (int64_t i = 0; i < n; ++i) {
      // The usual attribute, a name hash and a short text value, taken in one step.
      static_assert(varUString == 0x0102, "the integer form tested below");
      if (end - at >= 10) {
        const auto* p = reinterpret_cast<const uint8_t*>(at);
        const size_t hash = p[0] < 0x80 ? 1 : p[0] == 0xFF ? 5 : 2;
        if (p[hash] == 0x81 && p[hash + 1] == 0x02 && p[hash + 2] < 0x80) {  // varUString, length < 128
          const size_t length = p[hash + 2];
          if (length <= static_cast<size_t>(end - at) - hash - 3) {
            at += hash + 3 + length;
            continue;
          }
        }
      }
      if (!name() || !value()) return false;
    }
    return true;
  };
  const int32_t stringType = (Options() & 1) ? varOleStr : varUString;
  if (!attrs()) return false;
  const int64_t count = longint();
  if (count == Broken) return false;
  // The open body's records left and its subtree stay in registers; the enclosing ones are stacked.
  struct TFrame {
    int64_t Left;
    uint32_t Subtree;
  };
  constexpr uint32_t Document = UINT32_MAX;
  std::vector<TFrame> stack;
  stack.reserve(32);
  int64_t left = count;
  uint32_t subtree = Document;
  // A record with children takes at least 7 bytes with its first child: rarely more than this.
  FSubtrees.reserve(static_cast<size_t>(end - at) / 32 + 8);
  for (;;) {
    if (left <= 0) {
      if (subtree == Document) break;
      FSubtrees[subtree] = TSubtree{static_cast<uint32_t>(at - FCur), static_cast<uint32_t>(FSubtrees.size())};
      left = stack.back().Left;
      subtree = stack.back().Subtree;
      stack.pop_back();
      continue;
    }
    --left;
    if (at == end) return false;
    int64_t children = 0;
    const auto code = static_cast<uint8_t>(*at++);
    if (FUNDREL_LIKELY(code == NODE_ELEMENT)) {
      if (!name() || !value() || !attrs()) return false;
      children = longint();
      if (children == Broken) return false;
    } else if (code == NODE_TEXT) {
      if (!value()) return false;
    } else if (code == NODE_CDATA_SECTION || code == NODE_COMMENT) {
      if (!SkipValue(at, end, stringType)) return false;
    } else if (code == NODE_PROCESSING_INSTRUCTION) {
      if (!name() || !SkipValue(at, end, stringType) || !attrs()) return false;
      children = longint();
      if (children == Broken) return false;
    } else {
      return false;
    }
    if (children > 0) {
      stack.push_back(TFrame{left, subtree});
      subtree = static_cast<uint32_t>(FSubtrees.size());
      FSubtrees.push_back(TSubtree{0, 0});
      left = children;
    }
  }
  ASize = static_cast<size_t>(at - FCur);
  return true;
}

bool TBinXmlImage::ReadBody(TXmlDocument* ADocument, TBinXmlReader& AReader) {
  const auto size = static_cast<size_t>(AReader.FEnd - AReader.FCur);
  if (size > UINT32_MAX || AReader.Available() != AReader.FEnd - AReader.FCur) return false;
  TXmlNameTable* names = ADocument->Names();
  std::unique_ptr<TBinXmlImage> image(new TBinXmlImage(names, AReader.Options()));
  image->FNameLimit = names->NameCount();
  // The caller's bytes are checked first: an image is kept only for a body that reads without error.
  image->FCur = AReader.FCur;
  image->FEnd = AReader.FEnd;
  size_t body = 0;
  if (!image->Scan(body)) return false;
  image->FBytes.assign(AReader.FCur, body);  // what follows the body is not read, as by the reader
  AReader.FCur += body;
  TBinXmlImage* kept = image.release();
  kept->FNext = names->FImages;
  if (kept->FNext) kept->FNext->FPrev = kept;
  names->FImages = kept;
  struct TLoadHold {
    TBinXmlImage* Image;
    ~TLoadHold() { Image->PendingGone(); }
  } hold{kept};
  kept->FCur = kept->FBytes.data();
  kept->FEnd = kept->FCur + body;
  kept->FSide = 0;
  kept->ReadNodeBody(ADocument);
  return true;
}

void TBinXmlImage::Defer(TXmlNode* ANode, int32_t ACount) {
  const TSubtree s = FSubtrees[FSide];
  // A few children without children of their own (an element's text, a short list of values) are
  // cheaper to make now than to keep waiting.
  if (s.After == FSide + 1 && ACount <= 4) {
    ++FSide;
    ReadChildren(ANode, ACount);
    return;
  }
  void* block = TXmlBase::operator new(sizeof(TXmlNode::TPendingBody), FNames->Pool());
  ANode->SetPending(::new (block) TXmlNode::TPendingBody{this, static_cast<uint32_t>(FCur - FBytes.data()), ACount, FSide + 1});
  ++FPending;
  FCur = FBytes.data() + s.End;
  FSide = s.After;
}

void TBinXmlImage::Expand(TXmlNode* ANode, const TXmlNode::TPendingBody& ABody) {
  FCur = FBytes.data() + ABody.Begin;
  FEnd = FBytes.data() + FBytes.size();
  FSide = ABody.Side;
  ReadChildren(ANode, ABody.Count);
}

TStmXmlReader::TStmXmlReader(TXmlStream& AStream, int32_t ABufSize)
    : FStream(AStream), FBufStart(static_cast<size_t>(std::max(ABufSize, 16))) {
  FCur = FEnd = FBufStart.data();
  FBufSize = static_cast<int32_t>(FBufStart.size());
  FRemainSize = std::max<int64_t>(0, AStream.GetSize() - AStream.GetPosition());
}

void TStmXmlReader::ReadSlow(void* ABuffer, int32_t ASize) {
  if (ASize < 0) RaiseReadError();
  char* out = static_cast<char*>(ABuffer);
  while (ASize > 0) {
    if (FCur == FEnd) {
      if (FRemainSize <= 0) RaiseReadError();
      const int32_t want = static_cast<int32_t>(std::min<int64_t>(FBufSize, FRemainSize));
      const int64_t got = FStream.Read(FBufStart.data(), want);
      if (got <= 0) RaiseReadError();
      FRemainSize -= got;
      FCur = FBufStart.data();
      FEnd = FCur + got;
    }
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(ASize, FEnd - FCur));
    std::memcpy(out, FCur, static_cast<size_t>(n));
    out += n;
    FCur += n;
    ASize -= n;
  }
}

TStrXmlReader::TStrXmlReader(const TXmlBytes& AData, size_t AOffset) {
  FCur = AData.data() + std::min(AOffset, AData.size());
  FEnd = AData.data() + AData.size();
}

void TStrXmlReader::ReadSlow(void*, int32_t) { RaiseReadError(); }

}  // namespace fundrel
