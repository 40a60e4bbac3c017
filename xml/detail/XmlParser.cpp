// The parsing source (block-wise decoding) and the text parser.
#include <algorithm>
#include <cstring>
#include <cstdint>
#include <new>

#include "host/Quenra.SysUtils.h"
#include "xml/detail/XmlInternals.h"

namespace fundrel {

using namespace detail;

namespace {
constexpr size_t RawBlock = 16384;
constexpr char16_t Replacement = 0xFFFD;
}  // namespace

void TXmlToken::Grow() { Reserve(FSize + 1); }

void TXmlToken::Reserve(size_t ASize) {
  size_t n = FSize < 64 ? 64 : FSize;
  while (n < ASize) n *= 2;
  FValueBuf.resize(n);
  FSize = n;
}

namespace {
// Documents are often parsed one after another, many of them small: each thread keeps what a
// source allocates (the 32 KB character block, the tokens and the attribute scratch) for the next
// source rather than allocating it for every parse.
struct TSpareParts {
  std::unique_ptr<char16_t[]> Block;
  std::vector<std::unique_ptr<TXmlToken>> Tokens;
  std::vector<TXmlNode::TPackedAttr> Attrs;
  std::vector<TXmlNameID> GuessedNames[TXmlSource::AttrGuessCount];
};
// A token grown beyond this by a long text is not kept.
constexpr size_t KeptTokenUnits = 64 * 1024;

std::unique_ptr<char16_t[]> TakeBlock(size_t AUnits) {
  TSpareParts* spare = detail::TPerThread<TSpareParts>::Get();
  if (spare && spare->Block) return std::move(spare->Block);
  return std::unique_ptr<char16_t[]>(new char16_t[AUnits]);
}
}  // namespace

void TXmlSource::TakeSpareParts() {
  TSpareParts* spare = detail::TPerThread<TSpareParts>::Get();
  if (!spare) return;
  FTokenStack = std::move(spare->Tokens);
  AttrScratch = std::move(spare->Attrs);
  // The guesses of the last source name another table's names: only their room is kept.
  for (size_t i = 0; i < std::size(AttrGuesses); ++i) {
    AttrGuesses[i].Names = std::move(spare->GuessedNames[i]);
    AttrGuesses[i].Names.clear();
  }
}

TXmlSource::TXmlSource(TXmlStream& AStream)
    : FStream(&AStream), FBuffer(TakeBlock(BufferUnits)), FRaw(new char[RawBlock + 4]) {
  TakeSpareParts();
  FRawData = FRaw.get();
  FBufPtr = FBufEnd = FBuffer.get();
  NextSlow();
}

TXmlSource::TXmlSource(const TXmlBytes& AData)
    : FStream(nullptr), FBuffer(TakeBlock(BufferUnits)), FDirectEnd(AData.data() + AData.size()) {
  TakeSpareParts();
  FRawData = AData.data();
  FBufPtr = FBufEnd = FBuffer.get();
  NextSlow();
}

TXmlSource::~TXmlSource() {
  TSpareParts* spare = detail::TPerThread<TSpareParts>::Get();
  if (!spare) return;
  if (!spare->Block) spare->Block = std::move(FBuffer);
  if (!spare->Tokens.empty()) return;  // another source gave its parts back first
  std::erase_if(FTokenStack, [](const std::unique_ptr<TXmlToken>& t) { return t->FValueBuf.size() > KeptTokenUnits; });
  spare->Tokens = std::move(FTokenStack);
  spare->Attrs = std::move(AttrScratch);
  for (size_t i = 0; i < std::size(AttrGuesses); ++i) spare->GuessedNames[i] = std::move(AttrGuesses[i].Names);
}

TXmlToken& TXmlSource::PushToken() {
  ++FTokenStackTop;
  if (static_cast<size_t>(FTokenStackTop) == FTokenStack.size()) FTokenStack.push_back(std::make_unique<TXmlToken>());
  TXmlToken& t = *FTokenStack[static_cast<size_t>(FTokenStackTop)];
  t.Clear();
  return t;
}

char16_t TXmlSource::NextSlow() {
  if (FBufSize < 0) return CurChar = 0;
  Fill();
  if (FBufSize < 0) return CurChar = 0;
  return CurChar = *FBufPtr;
}

// Fills the character buffer from the undecoded bytes, reading the stream when they run out.
// Until a code page is set every byte is one character; the bytes stay in the raw buffer until
// all their characters are consumed, so that a declaration can decode the rest again.
void TXmlSource::Fill() {
  char16_t* out = FBuffer.get();
  size_t produced = 0;
  for (;;) {
    const size_t left = FRawSize - FRawPos;
    if (FCodepage == 0) {
      if (left > 0) {
        // A declaration comes first and is short: the first block is short too, so that a small
        // document is not taken byte by byte as a whole before it is decoded again.
        produced = std::min(left, FFilled ? BufferUnits : FirstUnits);
        FFilled = true;
        FBufRawStart = FRawPos;
        const unsigned char* in = reinterpret_cast<const unsigned char*>(FRawData) + FRawPos;
        for (size_t i = 0; i < produced; ++i) out[i] = in[i];
        FRawPos += produced;
        break;
      }
    } else if (left > 0) {
      size_t used = 0;
      if (FCodepage == CP_UTF8) {
        produced = DecodeUtf8(reinterpret_cast<const unsigned char*>(FRawData) + FRawPos, left, used);
      } else {
        produced = FDecoder->Decode(FRawData + FRawPos, left, used, out, BufferUnits, FStreamEnded);
      }
      FRawPos += used;
      if (produced > 0) break;
    }
    if (FStreamEnded) {
      // What the decoders keep for more input is now final: each leftover byte is one character.
      if (FRawPos < FRawSize) {
        out[0] = Replacement;
        ++FRawPos;
        produced = 1;
        break;
      }
      FBufSize = -1;
      return;
    }
    // Keep the undecoded tail (at most a few bytes) at the front and read the next block. Bytes
    // in memory are windowed the same way without being copied.
    const size_t tail = FRawSize - FRawPos;
    const size_t want = FCodepage == 0 ? RawBlock : RawBlock - std::min(tail, RawBlock);
    int64_t got;
    if (FDirectEnd) {
      FRawData += FRawPos;
      got = std::min<int64_t>(static_cast<int64_t>(want > 0 ? want : 1), FDirectEnd - (FRawData + tail));
    } else {
      std::memmove(FRaw.get(), FRaw.get() + FRawPos, tail);
      got = FStream->Read(FRaw.get() + tail, static_cast<int64_t>(want > 0 ? want : 1));
    }
    FRawPos = 0;
    FRawSize = tail;
    if (got <= 0)
      FStreamEnded = true;
    else
      FRawSize += static_cast<size_t>(got);
  }
  FBufPtr = out;
  FBufEnd = out + produced;
  FBufSize = static_cast<int64_t>(produced);
  // The UTF-8 decoder reports NUL bytes itself; the other decodings are checked here.
  const bool maybeNul = FCodepage == CP_UTF8 ? FSawNul : std::find(out, out + produced, char16_t(0)) != out + produced;
  if (FUNDREL_UNLIKELY(maybeNul)) {
    // A NUL character ends the input: everything after it is ignored.
    FBufEnd = std::find(out, out + produced, char16_t(0));
    FBufSize = FBufEnd - out;
    FStreamEnded = true;
    FRawPos = FRawSize;
    if (FBufSize == 0) FBufSize = -1;
  }
}

size_t TXmlSource::DecodeUtf8(const unsigned char* AIn, size_t ASize, size_t& AUsed) {
  char16_t* out = FBuffer.get();
  FSawNul = false;
  size_t i = 0, o = 0;
  while (i < ASize) {
    const unsigned char b = AIn[i];
    if (b < 0x80) {
      // Runs of ASCII are widened sixteen (or eight) bytes at a time.
      if (ASize - i >= 64) {
        const size_t n = WidenAsciiLong(AIn + i, ASize - i, out + o, FSawNul);
        i += n;
        o += n;
      }
#if defined(__SSE2__)
      const __m128i zero = _mm_setzero_si128();
      while (i + 16 <= ASize) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AIn + i));
        if (_mm_movemask_epi8(x) != 0) break;
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(x, zero)) != 0) FSawNul = true;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), _mm_unpacklo_epi8(x, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o + 8), _mm_unpackhi_epi8(x, zero));
        i += 16;
        o += 16;
      }
#endif
      while (i + 8 <= ASize) {
        uint64_t w;
        std::memcpy(&w, AIn + i, 8);
        if (w & 0x8080808080808080ull) break;
        if ((w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull) FSawNul = true;
        for (int k = 0; k < 8; ++k) out[o + k] = AIn[i + k];
        i += 8;
        o += 8;
      }
      if (i < ASize && AIn[i] < 0x80) {
        if (AIn[i] == 0) FSawNul = true;
        out[o++] = AIn[i++];
      }
      continue;
    }
    if ((b & 0xE0) == 0xC0) {
      if (i + 1 >= ASize) break;  // cut off: decode with the next block
      if ((AIn[i + 1] & 0xC0) == 0x80) {
        out[o] = static_cast<char16_t>(((b & 0x1F) << 6) | (AIn[i + 1] & 0x3F));
        if (out[o++] == 0) FSawNul = true;  // an overlong NUL
        i += 2;
        continue;
      }
    } else if ((b & 0xF0) == 0xE0) {
      if (i + 1 >= ASize || (i + 2 >= ASize && (AIn[i + 1] & 0xC0) == 0x80)) break;
      if ((AIn[i + 1] & 0xC0) == 0x80 && (AIn[i + 2] & 0xC0) == 0x80) {
        out[o++] = static_cast<char16_t>(((b & 0x0F) << 12) | ((AIn[i + 1] & 0x3F) << 6) | (AIn[i + 2] & 0x3F));
        i += 3;
        continue;
      }
    }
    out[o++] = Replacement;
    ++i;
  }
  AUsed = i;
  return o;
}

void TXmlSource::SetCodepage(uint16_t ACodePage) {
  if (ACodePage == FCodepage) return;
  if (FCodepage == 0 && FBufSize > 0) {
    // Characters from the current one on were read as bytes; decode them again in the new code page.
    FRawPos = FBufRawStart + static_cast<size_t>(FBufPtr - FBuffer.get());
    FBufPtr = FBufEnd;
  }
  FCodepage = ACodePage;
  FDecoder.reset();
  if (ACodePage != CP_UTF8) FDecoder = std::make_unique<TCodePageDecoder>(ACodePage);
  if (FBufPtr == FBufEnd && FBufSize >= 0) NextSlow();
}

void TXmlSource::CharExpected(char16_t AChar) {
  XmlErrorFmt("Character \"%s\" expected", std::u16string_view(&AChar, 1));
}

void TXmlSource::ExpectText(std::u16string_view AText) {
  // End tags repeat their start tag's name: compare in the block when it holds the text and more.
  if (CurChar != 0 && static_cast<size_t>(FBufEnd - FBufPtr) > AText.size() &&
      std::memcmp(FBufPtr, AText.data(), AText.size() * sizeof(char16_t)) == 0) {
    FBufPtr += AText.size();
    CurChar = *FBufPtr;
    return;
  }
  for (size_t i = 0; i < AText.size(); ++i) {
    if (CurChar != AText[i] || CurChar == 0) XmlErrorFmt("Text \"%s\" expected", AText.substr(i));
    Next();
  }
}

std::u16string_view TXmlSource::ReadName(TXmlToken& AToken) {
  if (!IsNameStart(CurChar)) XmlError("Name must start with letter or \" _\"");
  AToken.Clear();
  TakeWhile(AToken, [](char16_t c) { return IsNameChar(c); });
  return AToken.View();
}

std::u16string_view TXmlSource::ReadNameHere(TXmlToken& AToken) {
  if (!IsNameStart(CurChar)) XmlError("Name must start with letter or \" _\"");
  const char16_t* p = FBufPtr + 1;
  while (p < FBufEnd && IsNameChar(*p)) ++p;
  if (p < FBufEnd) {
    const std::u16string_view name(FBufPtr, static_cast<size_t>(p - FBufPtr));
    FBufPtr = p;
    CurChar = *p;
    return name;
  }
  return ReadName(AToken);
}

std::u16string_view TXmlSource::ReadUpTo(TXmlToken& AToken, std::u16string_view ATerminator) {
  AToken.Clear();
  const size_t n = ATerminator.size();
  // Comments and CDATA mostly end in their block: answered in place.
  if (CurChar != 0) {
    // The terminator's first unit, or a NUL (which the slow path reports), found by the wide scan.
    const char16_t first = ATerminator.front();
    for (const char16_t* p = FBufPtr;; ++p) {
      p = ScanFor(p, FBufEnd, first, char16_t(0), first);
      if (static_cast<size_t>(FBufEnd - p) <= n || *p == 0) break;
      if (std::u16string_view(p, n) == ATerminator) {
        const std::u16string_view text(FBufPtr, static_cast<size_t>(p - FBufPtr));
        FBufPtr = p + n;
        CurChar = *FBufPtr;
        return text;
      }
    }
  }
  const char16_t last = ATerminator.back();
  for (;;) {
    const char16_t c = CurChar;
    if (c == 0) XmlErrorFmt("\"%s\" expected", ATerminator);
    AToken.Add(c);
    Next();
    if (c == last && AToken.FLength >= n &&
        std::u16string_view(AToken.FValueBuf.data() + AToken.FLength - n, n) == ATerminator) {
      AToken.FLength -= n;
      return AToken.View();
    }
  }
}

char16_t TXmlSource::ReadEntity(TXmlToken& AScratch) {
  // The five named entities are matched in the block when it holds them whole.
  if (FBufEnd - FBufPtr > 6) {
    const char16_t* p = FBufPtr + 1;
    const auto take = [&](size_t ALength, char16_t AResult) {
      FBufPtr = p + ALength;
      CurChar = *FBufPtr;
      return AResult;
    };
    if (p[0] == 'a' && p[1] == 'm' && p[2] == 'p' && p[3] == ';') return take(4, '&');
    if (p[1] == 't' && p[2] == ';') {
      if (p[0] == 'l') return take(3, '<');
      if (p[0] == 'g') return take(3, '>');
    }
    if (p[4] == ';') {
      if (p[0] == 'q' && p[1] == 'u' && p[2] == 'o' && p[3] == 't') return take(5, '"');
      if (p[0] == 'a' && p[1] == 'p' && p[2] == 'o' && p[3] == 's') return take(5, '\'');
    }
  }
  Next();
  if (CurChar == 0) XmlError("\"#\" or XML entity symbol name expected");
  if (CurChar == '#') {
    Next();
    uint32_t value = 0;
    int digits = 0;
    if (CurChar == 'x') {
      Next();
      for (;; Next(), ++digits) {
        const char16_t c = CurChar;
        if (c >= '0' && c <= '9')
          value = value * 16 + (c - '0');
        else if (c >= 'a' && c <= 'f')
          value = value * 16 + (c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
          value = value * 16 + (c - 'A' + 10);
        else
          break;
      }
      if (digits == 0) XmlError("Hexadecimal number expected");
    } else {
      for (; CurChar >= '0' && CurChar <= '9'; Next(), ++digits) value = value * 10 + (CurChar - '0');
      if (digits == 0) XmlError("Number expected");
    }
    ExpectChar(';');
    return static_cast<char16_t>(value);
  }
  std::u16string_view name = ReadNameHere(AScratch);
  char16_t result = 0;
  if (name == u"amp")
    result = '&';
  else if (name == u"quot")
    result = '"';
  else if (name == u"lt")
    result = '<';
  else if (name == u"gt")
    result = '>';
  else if (name == u"apos")
    result = '\'';
  if (result == 0 && name.data() != AScratch.FValueBuf.data()) {
    // The name may still lie in the block, which the next character can replace.
    AScratch.Clear();
    AScratch.Append(name.data(), name.size());
    name = AScratch.View();
  }
  ExpectChar(';');
  if (result == 0) XmlErrorFmt("Unknown XML entity symbol name \"%s\" found", name);
  return result;
}

// ---- The parser ----------------------------------------------------------------------------

namespace {

inline std::u16string_view Trimmed(std::u16string_view AText) {
  // Text between tags is mostly either a value with no blank at its ends or indentation alone.
  if (AText.empty() || (AText.front() > 0x20 && AText.back() > 0x20)) return AText;
  size_t b = 0, e = AText.size();
  while (b < e && AText[b] <= 0x20) ++b;
  while (e > b && AText[e - 1] <= 0x20) --e;
  return AText.substr(b, e - b);
}

// Reads "=", blanks around it and a quoted attribute value, decoding its entities, onto AChars.
void ReadAttrValue(TXmlSource& S, TXmlToken& AChars, TXmlToken& AScratch) {
  S.SkipBlanks();
  S.ExpectChar('=');
  S.SkipBlanks();
  const char16_t quote = S.CurChar;
  if (quote == 0) XmlError("The value of the attribute is expected");
  if (quote != '"' && quote != '\'') XmlError("Line constant expected");
  S.Next();
  for (;;) {
    S.TakeUntil(AChars, [quote](const char16_t* p, const char16_t* e) { return ScanFor(p, e, quote, '<', '&'); });
    const char16_t c = S.CurChar;
    if (c == quote) break;
    if (c == 0) XmlErrorFmt("\"%s\" expected", std::u16string_view(&quote, 1));
    if (c == '<') XmlError("Character \"<\" cannot be used in the values of attributes");
    AChars.Add(S.ReadEntity(AScratch));
  }
  S.Next();
}

// Reads the attributes of a start tag into the source's AttrScratch, their values as ranges of
// AChars; a repeated name keeps its place and takes the later value.
void ReadAttributes(TXmlSource& S, TXmlNameTable* ANames, TXmlNameID AElement, TXmlToken& AName, TXmlToken& AChars,
                    TXmlToken& AScratch) {
  std::vector<TXmlNode::TPackedAttr>& attrs = S.AttrScratch;
  attrs.clear();
  AChars.Clear();
  S.SkipBlanks();
  if (!IsNameStart(S.CurChar)) return;
  TXmlSource::TAttrGuess& guess = S.AttrGuesses[(static_cast<uintptr_t>(AElement) >> 4) & (TXmlSource::AttrGuessCount - 1)];
  if (guess.Element != AElement) {
    guess.Element = AElement;
    guess.Names.clear();
  }
  size_t index = 0;
  while (IsNameStart(S.CurChar)) {
    TXmlNameID id;
    if (index < guess.Names.size() && S.SkipName(ANames->NameOf(guess.Names[index]))) {
      id = guess.Names[index];
    } else {
      id = ANames->GetID(S.ReadNameHere(AName));
      if (index < guess.Names.size())
        guess.Names[index] = id;
      else
        guess.Names.push_back(id);
    }
    ++index;
    const size_t from = AChars.FLength;
    // Mostly name="value" inside the block, without entities.
    if (std::u16string_view v; S.QuotedValueInBlock(v)) {
      AChars.Append(v.data(), v.size());
    } else {
      ReadAttrValue(S, AChars, AScratch);
    }
    // Packed ranges are 32-bit; no real start tag comes near that.
    if (AChars.FLength > UINT32_MAX) throw std::bad_alloc();
    const TXmlNode::TPackedAttr attr{id, static_cast<uint32_t>(from), static_cast<uint32_t>(AChars.FLength - from)};
    bool repeated = false;
    for (TXmlNode::TPackedAttr& a : attrs)
      if (a.NameID == id) {
        a = attr;
        repeated = true;
        break;
      }
    if (!repeated) attrs.push_back(attr);
    S.SkipBlanks();
  }
}

// An element holding the attributes just read, packed.
TXmlElement* NewElement(TXmlSource& S, TXmlNameTable* ANames, TXmlNameID AID, const TXmlToken& AChars) {
  const std::vector<TXmlNode::TPackedAttr>& attrs = S.AttrScratch;
  size_t chars = 0;
  for (const TXmlNode::TPackedAttr& a : attrs) chars += a.Length;
  const auto count = static_cast<int32_t>(attrs.size());
  void* place = nullptr;
  TXmlElement* e = TXmlElement::NewWithRoom(ANames, AID, TXmlNode::PackedSize(count, chars), place);
  e->SetPackedAttrs(attrs.data(), count, AChars.FValueBuf.data(), place);
  return e;
}

// Gives ANode the attributes just read as variants (declarations and other instructions).
void SetAttributes(TXmlSource& S, TXmlNode* ANode, const TXmlToken& AChars) {
  for (const TXmlNode::TPackedAttr& a : S.AttrScratch)
    ANode->SetAttrValue(a.NameID, TVariant(TXmlString(AChars.FValueBuf.data() + a.Offset, a.Length)));
}

// Text with entities that ends in its block (at a "<") is decoded straight into its place, the
// distance to that "<" bounding its length. Answers false (having read nothing) when it does not
// end there, else true, the text added to AParent's children (without AParent, to ATop) unless it
// is blank and trimmed away. ARun is the text before the first "&".
bool TextInBlock(TXmlSource& S, TXmlNameTable* ANames, std::u16string_view ARun, bool APreserveWhiteSpace,
                 TXmlToken& AScratch, TXmlNode* AParent, TXmlNodeList* ATop) {
  const std::u16string_view rest = S.RestOfBlock();
  const char16_t* end = rest.data() + rest.size();
  const char16_t* lt = ScanFor(rest.data(), end, '<', '<', '<');
  if (lt == end) return false;
  const size_t room = ARun.size() + static_cast<size_t>(lt - rest.data());
  TXmlNode::TFreshText fresh{};
  if (AParent) {
    fresh = AParent->FreshTextRoom(room);
  } else {
    fresh.Node = TXmlText::NewWithRoom(ANames, room, fresh.Chars);
  }
  struct TDrop {  // until the text is in the tree
    TXmlNode::TFreshText& Text;
    ~TDrop() { TXmlNode::DropFreshText(Text); }
  } drop{fresh};
  char16_t* chars = fresh.Chars;
  CopyUnits(chars, ARun.data(), ARun.size());
  size_t n = ARun.size();
  const auto scanText = [](const char16_t* p, const char16_t* e) { return ScanFor(p, e, '<', '&', '&'); };
  while (S.CurChar == '&') {
    chars[n++] = S.ReadEntity(AScratch);
    std::u16string_view more;
    if (S.RunInBlock(scanText, more)) {
      CopyUnits(chars + n, more.data(), more.size());
      n += more.size();
    }
  }
  std::u16string_view text(chars, n);
  if (!APreserveWhiteSpace) text = Trimmed(text);
  if (text.empty()) return true;
  if (AParent) {
    AParent->CommitFreshText(fresh, text.data(), text.size());
  } else {
    fresh.Node->SetPackedRange(text.data(), text.size());
    ATop->AppendFresh(fresh.Node);
    fresh.Node = nullptr;
  }
  return true;
}

}  // namespace

void TXmlNodeList::ParseXML(TXmlSource& S, TXmlNameTable* ANames, bool APreserveWhiteSpace) {
  TXmlToken& text = S.PushToken();
  TXmlToken& name = S.PushToken();
  TXmlToken& value = S.PushToken();
  TXmlToken& scratch = S.PushToken();
  // Elements whose content is being read, innermost last; kept alive by their parents' lists.
  std::vector<TXmlElement*> open;
  // The names of the last two start tags at each depth, the latest first: siblings mostly share
  // their name or alternate between two.
  struct TRecentNames {
    TXmlNameID Last = 0, Before = 0;
  };
  std::vector<TRecentNames> lastName;
  // Room for the usual depth at once rather than growing a step at a time.
  open.reserve(32);
  lastName.reserve(32);
  auto append = [&](TXmlNode* ANode) {
    if (open.empty())
      AppendFresh(ANode);
    else
      open.back()->GetChilds()->AppendFresh(ANode);
  };
  auto appendText = [&](std::u16string_view AText) {
    if (open.empty())
      AppendFresh(TXmlText::NewPacked(ANames, AText));
    else
      open.back()->AppendFreshChars(AText);
  };
  for (;;) {
    text.Clear();
    const auto scanText = [](const char16_t* p, const char16_t* e) { return ScanFor(p, e, '<', '&', '&'); };
    // Most text ends in its block without entities: it is taken from there without a copy.
    std::u16string_view run;
    const bool inBlock = S.RunInBlock(scanText, run);
    bool taken = false;
    if (inBlock && S.CurChar == '&')
      taken = TextInBlock(S, ANames, run, APreserveWhiteSpace, scratch, open.empty() ? nullptr : open.back(), this);
    if (!taken) {
      if (!inBlock || S.CurChar == '&') {
        if (!run.empty()) text.Append(run.data(), run.size());
        for (;;) {
          S.TakeUntil(text, scanText);
          if (S.CurChar != '&') break;
          text.Add(S.ReadEntity(scratch));
        }
        run = text.View();
      }
      if (!run.empty()) {
        const std::u16string_view t = APreserveWhiteSpace ? run : Trimmed(run);
        if (!t.empty()) appendText(t);
      }
    }
    if (S.CurChar == 0) break;
    S.Next();
    const char16_t c = S.CurChar;
    if (c == 0) break;
    if (c == '/') {
      if (open.empty()) break;
      TXmlElement* e = open.back();
      open.pop_back();
      S.Next();
      S.ExpectName(ANames->NameOf(e->Get_NodeNameID()));
      S.SkipBlanks();
      S.ExpectChar('>');
    } else if (c == '?') {
      S.Next();
      const TXmlNameID id = ANames->GetID(S.ReadNameHere(name));
      auto* pi = new (ANames->Pool()) TXmlProcessingInstruction(ANames, id, TXmlString());
      append(pi);
      if (id != ANames->XmlNameID()) {
        pi->SetData(TXmlString(S.ReadUpTo(text, u"?>")));
      } else {
        try {
          ReadAttributes(S, ANames, id, name, value, scratch);
        } catch (...) {
          SetAttributes(S, pi, value);  // a failed parse keeps what was read
          throw;
        }
        SetAttributes(S, pi, value);
        S.ExpectText(u"?>");
        if (S.AutoCodepage) {
          uint16_t cp = CP_UTF8;
          if (TVariant* enc = pi->FindAttr(ANames->EncodingNameID())) {
            const TXmlString encoding = enc->AsUnicodeString();
            cp = CodePageOfEncoding(encoding);
            if (cp == 0) XmlErrorFmt("Encoding \"%s\" is not supported by SimpleXML", encoding);
          }
          S.SetCodepage(cp);
        }
      }
    } else if (c == '!') {
      S.Next();
      if (S.CurChar == '-') {
        S.ExpectText(u"--");
        append(new (ANames->Pool()) TXmlComment(ANames, S.ReadUpTo(text, u"-->")));
      } else if (S.CurChar == '[') {
        S.ExpectText(u"[CDATA[");
        append(new (ANames->Pool()) TXmlCDATASection(ANames, S.ReadUpTo(text, u"]]>")));
      } else {
        S.ExpectText(u"DOCTYPE");
        S.ReadUpTo(text, u">");
      }
    } else {
      const size_t depth = open.size();
      if (lastName.size() <= depth) lastName.resize(depth + 1);
      TRecentNames& recent = lastName[depth];
      TXmlNameID id = recent.Last;
      if (id == 0 || !S.SkipName(ANames->NameOf(id))) {
        id = recent.Before;
        if (id == 0 || !S.SkipName(ANames->NameOf(id))) id = ANames->GetID(S.ReadNameHere(name));
        recent.Before = recent.Last;
        recent.Last = id;
      }
      const char16_t after = S.CurChar;
      if (after == 0) XmlError("The determination of the element is not completed");
      if (after > 0x20 && after != '/' && after != '>') XmlError("Invalid symbol in the name of the element");
      try {
        ReadAttributes(S, ANames, id, name, value, scratch);
      } catch (...) {
        append(NewElement(S, ANames, id, value));  // a failed parse keeps what was read
        throw;
      }
      TXmlElement* e = NewElement(S, ANames, id, value);
      append(e);
      if (S.CurChar == '/') {
        S.ExpectText(u"/>");
      } else {
        S.ExpectChar('>');
        open.push_back(e);
      }
    }
  }
  // The input ended inside an element: its end tag is missing.
  if (!open.empty()) S.ExpectChar('/');
  for (int i = 0; i < 4; ++i) S.DropToken();
}

}  // namespace fundrel
