// Internals of the XML unit shared by its sources: errors, character classes, code pages, the
// text saver and the parsing source. Not installed.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "xml/DVSimpleXML.h"

namespace fundrel::detail {

// Tests turn this on: a document that frees its tree at once first checks, node by node, that
// nothing else holds any of them, and aborts the process if something does.
void SetXmlTreeDropCheck(bool AOn);
// How many dying documents found that they could free their tree at once (builds without the
// pool then free it node by node all the same).
uint64_t XmlWholeTreeReleases();
// Whether nodes come from pools (not in sanitizer builds, which allocate each on its own).
bool XmlPoolsEnabled();
// The large blocks that pools which died left for the next ones: ready as they were, and parked.
void XmlCachedLargeBlocks(size_t& AReady, size_t& AParked);

// ---- Per-thread spares ---------------------------------------------------------------------
// One T per thread, made on first use and freed when the thread ends; null once the thread is
// ending (or without memory). The pointer itself is trivial, so reaching it costs one load at a fixed
// offset: a thread-local object with a destructor would be reached through a guard and a call.
template <class T>
class TPerThread {
 public:
  static T* Get() noexcept {
    if (FUNDREL_LIKELY(FCurrent != nullptr) || FClosed) return FCurrent;
    (void)&FOwner;  // made once per thread, so that its destructor frees the object
    FCurrent = new (std::nothrow) T;
    return FCurrent;
  }

 private:
  struct TOwner {
    ~TOwner() {
      FClosed = true;
      delete FCurrent;
      FCurrent = nullptr;
    }
  };
  static inline thread_local T* FCurrent __attribute__((tls_model("initial-exec"))) = nullptr;
  static inline thread_local bool FClosed __attribute__((tls_model("initial-exec"))) = false;
  static inline thread_local TOwner FOwner __attribute__((tls_model("initial-exec")));
};

// ---- Errors --------------------------------------------------------------------------------
[[noreturn]] void XmlError(const char* AMessage);
[[noreturn]] void XmlErrorFmt(const char* AFormat, std::u16string_view AArg);

// ---- Character classes ---------------------------------------------------------------------
bool IsLetterSlow(char16_t AChar);
bool IsDigitSlow(char16_t AChar);

inline bool IsNameStart(char16_t c) {
  if (c < 128) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
  return IsLetterSlow(c);
}
inline bool IsNameChar(char16_t c) {
  if (c < 128)
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || c == ':';
  return IsLetterSlow(c) || IsDigitSlow(c);
}
bool IsName(std::u16string_view AText);

// The long-run halves of ScanFor and WidenAscii: as wide vectors as the processor has, chosen once.
const char16_t* ScanForLong(const char16_t* AFrom, const char16_t* AEnd, char16_t A, char16_t B, char16_t C);
// Widens the leading ASCII bytes of AIn[0, ACount) in steps of 32 and answers how many it widened:
// it stops before the first step holding a byte of 0x80 or more. ASawNul is set when one was 0.
size_t WidenAsciiLong(const unsigned char* AIn, size_t ACount, char16_t* AOut, bool& ASawNul);

#if defined(__SSE2__)
// One bit for each of the 16 units at AAt that equals A, B or C.
inline unsigned ScanStep16(const char16_t* AAt, __m128i A, __m128i B, __m128i C) {
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AAt));
  const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AAt + 8));
  const __m128i hx = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(x, A), _mm_cmpeq_epi16(x, B)), _mm_cmpeq_epi16(x, C));
  const __m128i hy = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(y, A), _mm_cmpeq_epi16(y, B)), _mm_cmpeq_epi16(y, C));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(hx, hy)));
}
#endif

// The first position in [AFrom, AEnd) holding A, B or C (AEnd when none does).
inline const char16_t* ScanFor(const char16_t* AFrom, const char16_t* AEnd, char16_t A, char16_t B, char16_t C) {
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi16(static_cast<short>(A));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(B));
  const __m128i vc = _mm_set1_epi16(static_cast<short>(C));
  // The first 32 units here: most runs (names, values, short texts) end within them.
  for (int k = 0; k < 2 && AEnd - AFrom >= 16; ++k) {
    if (const unsigned mask = ScanStep16(AFrom, va, vb, vc)) return AFrom + __builtin_ctz(mask);
    AFrom += 16;
  }
  if (AEnd - AFrom >= 32) return ScanForLong(AFrom, AEnd, A, B, C);
  while (AEnd - AFrom >= 8) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AFrom));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(x, va), _mm_cmpeq_epi16(x, vb)), _mm_cmpeq_epi16(x, vc));
    if (const int mask = _mm_movemask_epi8(hit)) return AFrom + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
    AFrom += 8;
  }
#endif
  while (AFrom < AEnd && *AFrom != A && *AFrom != B && *AFrom != C) ++AFrom;
  return AFrom;
}

// Whether ACount units at A and B are the same; names (a few units) without a call.
inline bool SameUnits(const char16_t* A, const char16_t* B, size_t ACount) {
  const auto* a = reinterpret_cast<const char*>(A);
  const auto* b = reinterpret_cast<const char*>(B);
  const size_t n = ACount * sizeof(char16_t);
  if (n >= 8 && n <= 16) {
    uint64_t a0, a1, b0, b1;
    std::memcpy(&a0, a, 8);
    std::memcpy(&a1, a + n - 8, 8);
    std::memcpy(&b0, b, 8);
    std::memcpy(&b1, b + n - 8, 8);
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
  }
  if (n == 4 || n == 6) {
    uint32_t a0, a1, b0, b1;
    std::memcpy(&a0, a, 4);
    std::memcpy(&a1, a + n - 4, 4);
    std::memcpy(&b0, b, 4);
    std::memcpy(&b1, b + n - 4, 4);
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
  }
  if (n == 2) return *A == *B;
  return n == 0 || std::memcmp(a, b, n) == 0;
}

// Copies ACount units; short runs (names, attribute values) without a call, by overlapping moves.
inline void CopyUnits(char16_t* ADest, const char16_t* ASource, size_t ACount) {
  char* d = reinterpret_cast<char*>(ADest);
  const char* s = reinterpret_cast<const char*>(ASource);
  const size_t n = ACount * sizeof(char16_t);
  if (n > 32) {
    std::memcpy(d, s, n);
  } else if (n >= 16) {
    uint64_t a[2], b[2];
    std::memcpy(a, s, 16);
    std::memcpy(b, s + n - 16, 16);
    std::memcpy(d, a, 16);
    std::memcpy(d + n - 16, b, 16);
  } else if (n >= 8) {
    uint64_t a, b;
    std::memcpy(&a, s, 8);
    std::memcpy(&b, s + n - 8, 8);
    std::memcpy(d, &a, 8);
    std::memcpy(d + n - 8, &b, 8);
  } else if (n >= 4) {
    uint32_t a, b;
    std::memcpy(&a, s, 4);
    std::memcpy(&b, s + n - 4, 4);
    std::memcpy(d, &a, 4);
    std::memcpy(d + n - 4, &b, 4);
  } else if (n == 2) {
    ADest[0] = ASource[0];
  }
}

// Widens ACount bytes to UTF-16 units when all are ASCII; answers false (AOut then holds
// garbage) when one is not.
inline bool WidenAscii(const char* AIn, size_t ACount, char16_t* AOut) {
  size_t i = 0;
  if (ACount >= 64) {
    bool nul = false;
    i = WidenAsciiLong(reinterpret_cast<const unsigned char*>(AIn), ACount, AOut, nul);
  }
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= ACount; i += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AIn + i));
    if (_mm_movemask_epi8(x) != 0) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut + i), _mm_unpacklo_epi8(x, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut + i + 8), _mm_unpackhi_epi8(x, zero));
  }
#endif
  unsigned char any = 0;
  for (; i < ACount; ++i) {
    const auto b = static_cast<unsigned char>(AIn[i]);
    AOut[i] = b;
    any |= b;
  }
  return any < 0x80;
}

// Case-insensitive comparison by the Unicode full case folding.
bool SameTextNoCase(std::u16string_view A, std::u16string_view B);

// ---- Code pages ----------------------------------------------------------------------------
constexpr uint16_t CP_UTF8 = 65001;
// The code page of an encoding name of the declaration, else 0.
uint16_t CodePageOfEncoding(std::u16string_view AName);

// Converts bytes of one code page (not UTF-8) to UTF-16 across successive blocks, keeping the
// state of stateful encodings and incomplete sequences between calls.
class TCodePageDecoder {
 public:
  explicit TCodePageDecoder(uint16_t ACodePage);
  ~TCodePageDecoder();
  TCodePageDecoder(const TCodePageDecoder&) = delete;
  TCodePageDecoder& operator=(const TCodePageDecoder&) = delete;
  // Decodes ASize bytes into at most ACapacity units; answers the units written and sets AUsed to
  // the bytes consumed. AFlush ends the input.
  size_t Decode(const char* ABytes, size_t ASize, size_t& AUsed, char16_t* AOut, size_t ACapacity, bool AFlush);

 private:
  void* FConverter;
};

// Converts UTF-16 to bytes of one code page.
class TCodePageEncoder {
 public:
  explicit TCodePageEncoder(uint16_t ACodePage);
  ~TCodePageEncoder();
  TCodePageEncoder(const TCodePageEncoder&) = delete;
  TCodePageEncoder& operator=(const TCodePageEncoder&) = delete;
  // Converts from ASrc into [ADst, ADstEnd) as one continuous stream, advancing both; a stateful
  // encoding keeps its shift state across calls, so escape sequences appear only where the
  // character set really changes. AFlush (after the last text) returns to the initial state.
  // Answers false when the output filled first: the caller empties it and calls again.
  bool Encode(const char16_t*& ASrc, const char16_t* ASrcEnd, char*& ADst, char* ADstEnd, bool AFlush);

 private:
  void* FConverter;
};

// UTF-8 of AText into AOut (at least 3 bytes a unit); answers the bytes written.
size_t EncodeUtf8(std::u16string_view AText, char* AOut);
// The first of '"', '&', '<' and '>' in [AFrom, AEnd), else AEnd; and the entity that stands for it.
const char16_t* FindMarkup(const char16_t* AFrom, const char16_t* AEnd);
std::u16string_view MarkupEntity(char16_t AChar);

// ---- Text saver ----------------------------------------------------------------------------
}  // namespace fundrel::detail

namespace fundrel {

// Converts text to the code page and buffers it; the base class keeps the bytes.
class TXmlSaver {
 public:
  explicit TXmlSaver(int32_t ABufferSize);
  virtual ~TXmlSaver();
  virtual void Save(std::u16string_view AText);
  virtual void FlushBuffer() {}
  void SetCodepage(uint16_t ACodePage);
  // What the node writers call: Save, done in place when the text goes out as UTF-8 and fits the
  // free space (as Save would find it: no flush, no slices). Most pieces are a few units long.
  void Put(std::u16string_view AText) {
    if (FDirectUtf8 && static_cast<int64_t>(AText.size()) * 3 + Slack <= FRemain) {
      const size_t n = AText.size() <= 8 ? EncodeShortUtf8(AText) : detail::EncodeUtf8(AText, FBufferPtr);
      FBufferPtr += n;
      FRemain -= static_cast<int32_t>(n);
    } else {
      Save(AText);
    }
  }
  // Put of the text escaped as TextToXML does it.
  void PutEscaped(std::u16string_view AText);
  // Room kept beyond 3 bytes a unit for the escape sequences of a stateful encoding.
  static constexpr int32_t Slack = 8;
  // Ends the text: a stateful encoding returns to its initial state. Before the last flush.
  void Finish();

  // Layout shared by the node writers.
  bool Preserve = false;
  int32_t Depth = 0;

 protected:
  void Convert(std::u16string_view AText);
  // Through the code-page encoder, flushing the buffer whenever it fills.
  void Encode(const char16_t* ASrc, const char16_t* ASrcEnd, bool AFlush);

  uint16_t FCodepage = detail::CP_UTF8;
  std::vector<char> FBuffer;
  char* FBufferPtr;
  int32_t FBuffersize;
  int32_t FRemain;

 private:
  size_t EncodeShortUtf8(std::u16string_view AText) {
    for (size_t i = 0; i < AText.size(); ++i) {
      if (AText[i] >= 0x80) return detail::EncodeUtf8(AText, FBufferPtr);
      FBufferPtr[i] = static_cast<char>(AText[i]);
    }
    return AText.size();
  }
  std::unique_ptr<detail::TCodePageEncoder> FEncoder;
  bool FDirectUtf8 = true;  // no encoder: UTF-8 is written here
};

// Flushes the used part of the buffer to a stream.
class TXmlStmSaver final : public TXmlSaver {
 public:
  TXmlStmSaver(TXmlStream& AStream, int32_t ABufferSize) : TXmlSaver(ABufferSize), FStream(AStream) {}
  void FlushBuffer() override;

 private:
  TXmlStream& FStream;
};

// Collects UTF-16 text (the Get_XML forms); no conversion.
class TXmlStrSaver final : public TXmlSaver {
 public:
  TXmlStrSaver() : TXmlSaver(0) {}
  void Save(std::u16string_view AText) override { FText.append(AText); }
  TXmlString& Text() { return FText; }

 private:
  TXmlString FText;
};

// ---- Parsing source ------------------------------------------------------------------------

// A growable UTF-16 buffer reused across tokens.
struct TXmlToken {
  std::vector<char16_t> FValueBuf;
  size_t FSize = 0;
  size_t FLength = 0;

  void Clear() { FLength = 0; }
  void Add(char16_t AChar) {
    if (FUNDREL_UNLIKELY(FLength == FSize)) Grow();
    FValueBuf[FLength++] = AChar;
  }
  void Append(const char16_t* AChars, size_t ACount) {
    if (FUNDREL_UNLIKELY(FLength + ACount > FSize)) Reserve(FLength + ACount);
    detail::CopyUnits(FValueBuf.data() + FLength, AChars, ACount);
    FLength += ACount;
  }
  std::u16string_view View() const { return std::u16string_view(FValueBuf.data(), FLength); }
  void Grow();
  void Reserve(size_t ASize);
};

// Reads characters from a stream, decoding UTF-8 itself and other code pages through the
// converter; the code page is 0 (bytes are characters) until the declaration sets it.
class TXmlSource {
 public:
  static constexpr size_t BufferUnits = 16384;
  static constexpr size_t FirstUnits = 256;  // the first block read before a code page is set

  TXmlSource(TXmlStream& AStream);
  // Reads AData in place; it must outlive the source.
  explicit TXmlSource(const TXmlBytes& AData);
  ~TXmlSource();

  char16_t CurChar = 0;
  bool AutoCodepage = true;

  char16_t Next() {
    if (FUNDREL_LIKELY(FBufPtr + 1 < FBufEnd)) return CurChar = *++FBufPtr;
    return NextSlow();
  }
  bool AtEnd() const { return FBufSize < 0; }
  void SetCodepage(uint16_t ACodePage);
  uint16_t Codepage() const { return FCodepage; }

  // Appends characters while APred holds; CurChar is then the first one that does not (0 at the end).
  template <class P>
  void TakeWhile(TXmlToken& AToken, P APred) {
    while (CurChar != 0 && APred(CurChar)) {
      const char16_t* p = FBufPtr;
      const char16_t* q = p + 1;
      const char16_t* e = FBufEnd;
      while (q < e && APred(*q)) ++q;
      AToken.Append(p, static_cast<size_t>(q - p));
      if (q < e) {
        FBufPtr = q;
        CurChar = *q;
        return;
      }
      FBufPtr = e - 1;
      Next();
    }
  }

  // As TakeWhile, with AScan(p, end) answering the first position in [p, end) that stops the run.
  template <class F>
  void TakeUntil(TXmlToken& AToken, F AScan) {
    while (CurChar != 0) {
      const char16_t* p = FBufPtr;
      const char16_t* e = FBufEnd;
      const char16_t* q = AScan(p, e);
      if (q == p) return;
      AToken.Append(p, static_cast<size_t>(q - p));
      if (q < e) {
        FBufPtr = q;
        CurChar = *q;
        return;
      }
      FBufPtr = e - 1;
      Next();
    }
  }

  // When the run that AScan ends (see TakeUntil) ends inside the current block, answers it in
  // place and moves past it; else answers false and moves nowhere. The view is valid until the
  // next call that moves.
  template <class F>
  bool RunInBlock(F AScan, std::u16string_view& ARun) {
    if (CurChar == 0) return false;
    const char16_t* p = FBufPtr;
    const char16_t* q = AScan(p, FBufEnd);
    if (q == FBufEnd) return false;
    ARun = std::u16string_view(p, static_cast<size_t>(q - p));
    FBufPtr = q;
    CurChar = *q;
    return true;
  }

  // The characters from the current one to the end of the block.
  std::u16string_view RestOfBlock() const {
    return CurChar == 0 ? std::u16string_view() : std::u16string_view(FBufPtr, static_cast<size_t>(FBufEnd - FBufPtr));
  }

  // Moves past AName when the block holds it next, followed by a character that ends a name.
  bool SkipName(std::u16string_view AName) {
    const size_t n = AName.size();
    if (CurChar == 0 || static_cast<size_t>(FBufEnd - FBufPtr) <= n || FBufPtr[n] >= 128 || detail::IsNameChar(FBufPtr[n]) ||
        !detail::SameUnits(FBufPtr, AName.data(), n))
      return false;
    FBufPtr += n;
    CurChar = *FBufPtr;
    return true;
  }

  // The attribute names of the last start tags, by their element's name: documents repeat the
  // same attributes in the same order, and a name that is where it was expected need not be read.
  struct TAttrGuess {
    TXmlNameID Element = 0;
    std::vector<TXmlNameID> Names;
  };
  static constexpr size_t AttrGuessCount = 16;
  TAttrGuess AttrGuesses[AttrGuessCount];

  // Attributes being read, packed into their node in one piece.
  std::vector<TXmlNode::TPackedAttr> AttrScratch;

  // Parsing steps.
  void SkipBlanks() {
    while (CurChar != 0 && CurChar <= 0x20) Next();
  }
  void ExpectChar(char16_t AChar) {
    if (CurChar != AChar || CurChar == 0) CharExpected(AChar);
    Next();
  }
  [[noreturn]] static void CharExpected(char16_t AChar);
  // An attribute's ="value" (no blanks around "=", no entities) when the block holds it and one
  // more unit: answers the value in place and moves past the closing quote.
  bool QuotedValueInBlock(std::u16string_view& AValue) {
    const char16_t* p = FBufPtr;
    if (CurChar != '=' || FBufEnd - p < 3 || (p[1] != '"' && p[1] != '\'') || p[2] == 0) return false;
    const char16_t quote = p[1];
    const char16_t* q = detail::ScanFor(p + 2, FBufEnd, quote, '<', '&');
    if (FBufEnd - q < 2 || *q != quote) return false;
    AValue = std::u16string_view(p + 2, static_cast<size_t>(q - p - 2));
    FBufPtr = q + 1;
    CurChar = *FBufPtr;
    return true;
  }
  void ExpectText(std::u16string_view AText);
  // An end tag's name: compared in the block without a call when the block holds it.
  void ExpectName(std::u16string_view AName) {
    const size_t n = AName.size();
    if (CurChar != 0 && static_cast<size_t>(FBufEnd - FBufPtr) > n && detail::SameUnits(FBufPtr, AName.data(), n)) {
      FBufPtr += n;
      CurChar = *FBufPtr;
      return;
    }
    ExpectText(AName);
  }
  // Reads a name into a token taken from the stack (release with DropToken).
  std::u16string_view ReadName(TXmlToken& AToken);
  // As ReadName, the name possibly left in the block: use it before the source moves again.
  std::u16string_view ReadNameHere(TXmlToken& AToken);
  // Reads up to the terminator, consuming it; answers the text before it, possibly left in the
  // block: use it before the source moves again.
  std::u16string_view ReadUpTo(TXmlToken& AToken, std::u16string_view ATerminator);
  // Decodes an entity; CurChar is the character after "&".
  char16_t ReadEntity(TXmlToken& AScratch);
  TXmlToken& PushToken();
  void DropToken() { --FTokenStackTop; }

 private:
  // Takes the tokens and scratch the last source of this thread left.
  void TakeSpareParts();
  char16_t NextSlow();
  void Fill();
  size_t DecodeUtf8(const unsigned char* AIn, size_t ASize, size_t& AUsed);

  std::vector<std::unique_ptr<TXmlToken>> FTokenStack;
  int32_t FTokenStackTop = -1;
  TXmlStream* FStream;
  std::unique_ptr<char16_t[]> FBuffer;
  const char16_t* FBufPtr;
  const char16_t* FBufEnd;
  int64_t FBufSize = 0;  // units left; -1 after the end
  // Undecoded input: bytes read from the stream but not yet turned into characters.
  std::unique_ptr<char[]> FRaw;
  const char* FRawData = nullptr;    // the undecoded window: FRaw, or the bytes read in place
  const char* FDirectEnd = nullptr;  // the end of the bytes read in place, else null
  size_t FRawPos = 0;
  size_t FRawSize = 0;
  size_t FBufRawStart = 0;  // raw offset of the buffer's first character while the code page is 0
  bool FStreamEnded = false;
  bool FSawNul = false;  // the last UTF-8 block held a NUL byte
  bool FFilled = false;  // a block was filled before
  uint16_t FCodepage = 0;
  std::unique_ptr<detail::TCodePageDecoder> FDecoder;
};

// ---- Binary bodies kept after loading ---------------------------------------------------------

// The body of a document loaded from binary form, kept so that each node's children are made when
// they are first asked for: a load makes the document's own children and checks the rest. The
// whole body is checked before the first node is made, so reading it later fails only for want of
// memory. It belongs to the name table and dies with the last node still waiting on it.
class TBinXmlImage final : public TBinXmlReader {
 public:
  // Reads the body that AReader holds in its window (up to the end of the data) into ADocument,
  // keeping it. False, having read and made nothing, when the body holds an error: the caller reads
  // it the usual way, which raises that error at the same place.
  static bool ReadBody(TXmlDocument* ADocument, TBinXmlReader& AReader);
  ~TBinXmlImage() override;
  int64_t Available() const override { return FEnd - FCur; }
  // Makes ANode's children from ABody.
  void Expand(TXmlNode* ANode, const TXmlNode::TPendingBody& ABody);
  // ANode (just read, ACount > 0 child records next) waits for its children; they are skipped.
  void Defer(TXmlNode* ANode, int32_t ACount);
  // One node less waits on the body.
  void PendingGone() noexcept {
    if (--FPending == 0) Free();
  }
  // Images alive in this process; for the tests.
  static int64_t LiveCount();

 protected:
  void ReadSlow(void* ABuffer, int32_t ASize) override;

 private:
  friend class TXmlNameTable;
  TBinXmlImage(TXmlNameTable* ANames, int32_t AOptions);
  void Free() noexcept;
  // Checks the window [FCur, FEnd) as a document body and notes where each subtree ends; answers
  // the body's size.
  bool Scan(size_t& ASize);
  // Per record with children, in document order: where its subtree ends and the index of the next
  // subtree after it.
  struct TSubtree {
    uint32_t End;
    uint32_t After;
  };
  std::vector<TSubtree> FSubtrees;
  uint32_t FSide = 0;  // the next subtree while reading
  TXmlBytes FBytes;
  TXmlNameTable* FNames;
  TBinXmlImage* FPrev = nullptr;
  TBinXmlImage* FNext = nullptr;
  int64_t FPending = 1;  // the nodes waiting, and the load while it runs
};

}  // namespace fundrel
