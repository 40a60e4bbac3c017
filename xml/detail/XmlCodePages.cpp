// Everything of the XML unit that touches ICU: letter classes, case folding and code pages.
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include "host/Quenra.SysUtils.h"
#include "xml/detail/XmlInternals.h"

namespace fundrel::detail {

bool IsLetterSlow(char16_t AChar) { return u_isalpha(AChar); }
bool IsDigitSlow(char16_t AChar) { return u_isdigit(AChar); }

bool IsName(std::u16string_view AText) {
  if (AText.empty() || !IsNameStart(AText[0])) return false;
  for (size_t i = 1; i < AText.size(); ++i)
    if (!IsNameChar(AText[i])) return false;
  return true;
}

bool SameTextNoCase(std::u16string_view A, std::u16string_view B) {
  UErrorCode status = U_ZERO_ERROR;
  return u_strCaseCompare(reinterpret_cast<const UChar*>(A.data()), static_cast<int32_t>(A.size()),
                          reinterpret_cast<const UChar*>(B.data()), static_cast<int32_t>(B.size()),
                          U_FOLD_CASE_DEFAULT, &status) == 0 &&
         U_SUCCESS(status);
}

namespace {

struct TEncodingEntry {
  const char16_t* Name;
  uint16_t CodePage;
  const char* IcuName;
};

constexpr TEncodingEntry Encodings[] = {
    {u"UTF-8", 65001, "UTF-8"},
    {u"WINDOWS-1250", 1250, "windows-1250"},
    {u"WINDOWS-1251", 1251, "windows-1251"},
    {u"WINDOWS-1252", 1252, "windows-1252"},
    {u"WINDOWS-1253", 1253, "windows-1253"},
    {u"WINDOWS-1254", 1254, "windows-1254"},
    {u"WINDOWS-1255", 1255, "windows-1255"},
    {u"WINDOWS-1256", 1256, "windows-1256"},
    {u"WINDOWS-1257", 1257, "windows-1257"},
    {u"WINDOWS-1258", 1258, "windows-1258"},
    {u"ISO-8859-1", 28591, "ISO-8859-1"},
    {u"ISO-8859-2", 28592, "ISO-8859-2"},
    {u"ISO-8859-3", 28593, "ISO-8859-3"},
    {u"ISO-8859-4", 28594, "ISO-8859-4"},
    {u"ISO-8859-5", 28595, "ISO-8859-5"},
    {u"ISO-8859-6", 28596, "ISO-8859-6"},
    {u"ISO-8859-7", 28597, "ISO-8859-7"},
    {u"ISO-8859-8", 28598, "ISO-8859-8"},
    {u"ISO-8859-9", 28599, "ISO-8859-9"},
    {u"ISO-2022-JP", 50220, "ISO-2022-JP"},
};

bool SameAsciiNoCase(std::u16string_view A, std::u16string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    char16_t a = A[i], b = B[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char16_t>(a - 32);
    if (b >= 'a' && b <= 'z') b = static_cast<char16_t>(b - 32);
    if (a != b) return false;
  }
  return true;
}

UConverter* OpenConverter(uint16_t ACodePage) {
  for (const auto& e : Encodings) {
    if (e.CodePage != ACodePage) continue;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* c = ucnv_open(e.IcuName, &status);
    if (U_FAILURE(status) || !c) break;
    return c;
  }
  throw EGVException(Format("Code page %u cannot be converted", unsigned(ACodePage)));
}

}  // namespace

uint16_t CodePageOfEncoding(std::u16string_view AName) {
  for (const auto& e : Encodings)
    if (SameAsciiNoCase(AName, e.Name)) return e.CodePage;
  return 0;
}

TCodePageDecoder::TCodePageDecoder(uint16_t ACodePage) : FConverter(OpenConverter(ACodePage)) {}
TCodePageDecoder::~TCodePageDecoder() { ucnv_close(static_cast<UConverter*>(FConverter)); }

size_t TCodePageDecoder::Decode(const char* ABytes, size_t ASize, size_t& AUsed, char16_t* AOut, size_t ACapacity,
                                bool AFlush) {
  UErrorCode status = U_ZERO_ERROR;
  const char* src = ABytes;
  UChar* dst = reinterpret_cast<UChar*>(AOut);
  ucnv_toUnicode(static_cast<UConverter*>(FConverter), &dst, dst + ACapacity, &src, ABytes + ASize, nullptr, AFlush,
                 &status);
  AUsed = static_cast<size_t>(src - ABytes);
  return static_cast<size_t>(dst - reinterpret_cast<UChar*>(AOut));
}

TCodePageEncoder::TCodePageEncoder(uint16_t ACodePage) : FConverter(OpenConverter(ACodePage)) {}
TCodePageEncoder::~TCodePageEncoder() { ucnv_close(static_cast<UConverter*>(FConverter)); }

bool TCodePageEncoder::Encode(const char16_t*& ASrc, const char16_t* ASrcEnd, char*& ADst, char* ADstEnd,
                              bool AFlush) {
  UErrorCode status = U_ZERO_ERROR;
  const UChar* src = reinterpret_cast<const UChar*>(ASrc);
  ucnv_fromUnicode(static_cast<UConverter*>(FConverter), &ADst, ADstEnd, &src, reinterpret_cast<const UChar*>(ASrcEnd),
                   nullptr, AFlush, &status);
  ASrc = reinterpret_cast<const char16_t*>(src);
  if (status == U_BUFFER_OVERFLOW_ERROR) return false;
  if (U_FAILURE(status)) throw EGVException("Error converting text");
  return true;
}

size_t EncodeUtf8(std::u16string_view AText, char* AOut) {
  unsigned char* o = reinterpret_cast<unsigned char*>(AOut);
  const size_t n = AText.size();
  for (size_t i = 0; i < n; ++i) {
#if defined(__SSE2__)
    // Runs of ASCII, eight units at a time.
    while (i + 8 <= n) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AText.data() + i));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(x, _mm_set1_epi16(static_cast<short>(0xFF80))),
                                            _mm_setzero_si128())) != 0xFFFF)
        break;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(x, x));
      o += 8;
      i += 8;
    }
    if (i == n) break;
#endif
    uint32_t c = AText[i];
    if (c < 0x80) {
      *o++ = static_cast<unsigned char>(c);
    } else if (c < 0x800) {
      *o++ = static_cast<unsigned char>(0xC0 | (c >> 6));
      *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && AText[i + 1] >= 0xDC00 && AText[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (AText[++i] - 0xDC00);
      *o++ = static_cast<unsigned char>(0xF0 | (c >> 18));
      *o++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
      *o++ = static_cast<unsigned char>(0xE0 | (c >> 12));
      *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
  }
  return static_cast<size_t>(reinterpret_cast<char*>(o) - AOut);
}

}  // namespace fundrel::detail
