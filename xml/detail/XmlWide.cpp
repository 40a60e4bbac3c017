// The long runs of the parser and the binary reader: scanning UTF-16 text for delimiters and
// widening ASCII to UTF-16. Built for the baseline processor with a 256-bit variant picked at
// run time where the processor has it; a paragraph of text takes half the steps there.
#include <immintrin.h>

#include "xml/detail/XmlInternals.h"

namespace fundrel::detail {

namespace {

const char16_t* ScanForTail(const char16_t* AFrom, const char16_t* AEnd, char16_t A, char16_t B, char16_t C) {
  while (AFrom < AEnd && *AFrom != A && *AFrom != B && *AFrom != C) ++AFrom;
  return AFrom;
}

const char16_t* ScanForSse2(const char16_t* AFrom, const char16_t* AEnd, char16_t A, char16_t B, char16_t C) {
  const __m128i va = _mm_set1_epi16(static_cast<short>(A));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(B));
  const __m128i vc = _mm_set1_epi16(static_cast<short>(C));
  while (AEnd - AFrom >= 16) {
    if (const unsigned mask = ScanStep16(AFrom, va, vb, vc)) return AFrom + __builtin_ctz(mask);
    AFrom += 16;
  }
  return ScanForTail(AFrom, AEnd, A, B, C);
}

__attribute__((target("avx2"))) const char16_t* ScanForAvx2(const char16_t* AFrom, const char16_t* AEnd, char16_t A,
                                                            char16_t B, char16_t C) {
  const __m256i va = _mm256_set1_epi16(static_cast<short>(A));
  const __m256i vb = _mm256_set1_epi16(static_cast<short>(B));
  const __m256i vc = _mm256_set1_epi16(static_cast<short>(C));
  while (AEnd - AFrom >= 16) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(AFrom));
    const __m256i h =
        _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi16(x, va), _mm256_cmpeq_epi16(x, vb)), _mm256_cmpeq_epi16(x, vc));
    // Two mask bits per unit.
    if (const auto mask = static_cast<uint32_t>(_mm256_movemask_epi8(h))) return AFrom + (__builtin_ctz(mask) >> 1);
    AFrom += 16;
  }
  return ScanForTail(AFrom, AEnd, A, B, C);
}

size_t WidenAsciiSse2(const unsigned char* AIn, size_t ACount, char16_t* AOut, bool& ASawNul) {
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 32 <= ACount; i += 32) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AIn + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AIn + i + 16));
    if (_mm_movemask_epi8(_mm_or_si128(x, y)) != 0) break;
    if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, zero), _mm_cmpeq_epi8(y, zero))) != 0) ASawNul = true;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut + i), _mm_unpacklo_epi8(x, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut + i + 8), _mm_unpackhi_epi8(x, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut + i + 16), _mm_unpacklo_epi8(y, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(AOut + i + 24), _mm_unpackhi_epi8(y, zero));
  }
  return i;
}

__attribute__((target("avx2"))) size_t WidenAsciiAvx2(const unsigned char* AIn, size_t ACount, char16_t* AOut,
                                                      bool& ASawNul) {
  const __m256i zero = _mm256_setzero_si256();
  size_t i = 0;
  for (; i + 32 <= ACount; i += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(AIn + i));
    if (_mm256_movemask_epi8(x) != 0) break;
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(x, zero)) != 0) ASawNul = true;
    const __m128i lo = _mm256_castsi256_si128(x);
    const __m128i hi = _mm256_extracti128_si256(x, 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(AOut + i), _mm256_cvtepu8_epi16(lo));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(AOut + i + 16), _mm256_cvtepu8_epi16(hi));
  }
  return i;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

}  // namespace

const char16_t* ScanForLong(const char16_t* AFrom, const char16_t* AEnd, char16_t A, char16_t B, char16_t C) {
  return HasAvx2() ? ScanForAvx2(AFrom, AEnd, A, B, C) : ScanForSse2(AFrom, AEnd, A, B, C);
}

size_t WidenAsciiLong(const unsigned char* AIn, size_t ACount, char16_t* AOut, bool& ASawNul) {
  return HasAvx2() ? WidenAsciiAvx2(AIn, ACount, AOut, ASawNul) : WidenAsciiSse2(AIn, ACount, AOut, ASawNul);
}

}  // namespace fundrel::detail
