#include "host/Quenra.Variants.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <utility>

#include "host/Quenra.SysUtils.h"

namespace fundrel {

namespace {

using i128 = __int128;

// ---------------------------------------------------------------------------------------------
// Text scanning. Every parser reports instead of raising, so that the caller can name the source
// and target types in its error, and comparisons can fall back without exceptions.

enum class TParse { Ok, Invalid, Overflow };

bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\v' || C == '\f'; }

std::string_view Trim(std::string_view AText) {
  while (!AText.empty() && IsBlank(AText.front())) AText.remove_prefix(1);
  while (!AText.empty() && IsBlank(AText.back())) AText.remove_suffix(1);
  return AText;
}

bool SameTextAscii(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

bool ParseBoolWord(std::string_view AText, bool& AResult) {
  AText = Trim(AText);
  if (SameTextAscii(AText, "true")) return AResult = true, true;
  if (SameTextAscii(AText, "false")) return AResult = false, true;
  return false;
}

// Decimal, "$"-hex or "0x"-hex, with an optional sign in front; the value as sign and magnitude.
TParse ParseInteger(std::string_view AText, bool& ANegative, uint64_t& AMagnitude) {
  AText = Trim(AText);
  ANegative = false;
  if (!AText.empty() && (AText.front() == '-' || AText.front() == '+')) {
    ANegative = AText.front() == '-';
    AText.remove_prefix(1);
  }
  int base = 10;
  if (!AText.empty() && AText.front() == '$') {
    base = 16;
    AText.remove_prefix(1);
  } else if (AText.size() >= 2 && AText[0] == '0' && (AText[1] == 'x' || AText[1] == 'X')) {
    base = 16;
    AText.remove_prefix(2);
  }
  if (AText.empty()) return TParse::Invalid;
  uint64_t value = 0;
  bool overflow = false;
  for (char c : AText) {
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = unsigned(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = unsigned(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = unsigned(c - 'A' + 10);
    else
      return TParse::Invalid;
    // Keep scanning after an overflow: a later bad character still makes the text invalid.
    overflow = overflow || __builtin_mul_overflow(value, uint64_t(base), &value) ||
               __builtin_add_overflow(value, uint64_t(digit), &value);
  }
  AMagnitude = value;
  return overflow ? TParse::Overflow : TParse::Ok;
}

// from_chars reports overflow and underflow alike; underflow reads as a signed zero. The decimal
// exponent of the leading significant digit tells the two apart.
bool IsUnderflowText(std::string_view AText) {
  size_t i = 0;
  if (i < AText.size() && (AText[i] == '-' || AText[i] == '+')) ++i;
  long magnitude = 0;
  bool seenDigit = false, inFraction = false;
  for (; i < AText.size(); ++i) {
    char c = AText[i];
    if (c == '.') {
      inFraction = true;
    } else if (c >= '0' && c <= '9') {
      if (!seenDigit && c == '0') {
        if (inFraction) --magnitude;
      } else if (!seenDigit) {
        seenDigit = true;
        if (inFraction) --magnitude;
      } else if (!inFraction) {
        ++magnitude;
      }
    } else {
      break;
    }
  }
  if (i < AText.size() && (AText[i] == 'e' || AText[i] == 'E')) {
    std::string_view exponent = AText.substr(i + 1);
    bool expNegative = !exponent.empty() && exponent.front() == '-';
    if (!exponent.empty() && (exponent.front() == '-' || exponent.front() == '+')) exponent.remove_prefix(1);
    long e = 0;
    auto r = std::from_chars(exponent.data(), exponent.data() + exponent.size(), e);
    if (r.ec == std::errc::result_out_of_range) return expNegative;
    magnitude += expNegative ? -e : e;
  }
  return magnitude < 0;
}

// Ordinary floating-point syntax with "." (from_chars' general format), optional leading "+".
template <class F>
TParse ParseFloat(std::string_view AText, F& AResult) {
  AText = Trim(AText);
  std::string_view body = AText;
  if (body.size() >= 2 && body[0] == '+' && body[1] != '-' && body[1] != '+') body.remove_prefix(1);
  if (body.empty()) return TParse::Invalid;
  const char* end = body.data() + body.size();
  F value{};
  auto r = std::from_chars(body.data(), end, value, std::chars_format::general);
  if (r.ptr != end) return TParse::Invalid;
  if (r.ec == std::errc::result_out_of_range) {
    if (!IsUnderflowText(body)) return TParse::Overflow;
    value = body.front() == '-' ? -F(0) : F(0);
  } else if (r.ec != std::errc()) {
    return TParse::Invalid;
  }
  AResult = value;
  return TParse::Ok;
}

// Ties to even, as the language's rounding does; exact for every double.
double RoundHalfEven(double AValue) { return AValue - std::remainder(AValue, 1.0); }

// Rounds a double to an integer type; NaN is Invalid, anything beyond T's range Overflow.
template <class T>
TParse DoubleToIntegral(double AValue, T& AResult) {
  if (std::isnan(AValue)) return TParse::Invalid;
  double r = RoundHalfEven(AValue);
  // max + 1 is a power of two, exact as a double even where max itself is not.
  constexpr double upper = static_cast<double>(std::numeric_limits<T>::max()) + 1.0;  // exclusive
  constexpr double lower = std::is_signed_v<T> ? -upper : 0.0;
  if (!(r >= lower && r < upper)) return TParse::Overflow;
  AResult = static_cast<T>(r);
  return TParse::Ok;
}

template <class T>
TParse MagnitudeToIntegral(bool ANegative, uint64_t AMagnitude, T& AResult) {
  i128 v = ANegative ? -i128(AMagnitude) : i128(AMagnitude);
  if (v < i128(std::numeric_limits<T>::min()) || v > i128(std::numeric_limits<T>::max())) return TParse::Overflow;
  AResult = static_cast<T>(v);
  return TParse::Ok;
}

// Scaled currency to whole units, ties to even.
int64_t CurrencyToInt64(int64_t AScaled) {
  int64_t q = AScaled / 10000, rem = AScaled % 10000;
  int64_t absRem = rem < 0 ? -rem : rem;
  if (absRem > 5000 || (absRem == 5000 && (q & 1))) q += rem < 0 ? -1 : 1;
  return q;
}

TParse DoubleToScaled(double AValue, int64_t& AScaled) {
  if (std::isnan(AValue)) return TParse::Invalid;
  return DoubleToIntegral<int64_t>(AValue * 10000.0, AScaled);
}

TParse ScaleInteger(i128 AValue, int64_t& AScaled) {
  i128 v = AValue * 10000;
  if (v < std::numeric_limits<int64_t>::min() || v > std::numeric_limits<int64_t>::max()) return TParse::Overflow;
  AScaled = static_cast<int64_t>(v);
  return TParse::Ok;
}

// Plain decimal text read exactly into 1/10000 units (beyond four decimals: ties to even), so
// that "0.1" is exactly 1000 and large amounts keep every digit. Exponents are not handled here.
TParse ParseCurrencyText(std::string_view AText, int64_t& AScaled) {
  AText = Trim(AText);
  bool negative = false;
  if (!AText.empty() && (AText.front() == '-' || AText.front() == '+')) {
    negative = AText.front() == '-';
    AText.remove_prefix(1);
  }
  size_t point = AText.find('.');
  std::string_view whole = AText.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? std::string_view() : AText.substr(point + 1);
  if (whole.empty() && fraction.empty()) return TParse::Invalid;
  auto allDigits = [](std::string_view s) { return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }); };
  if (!allDigits(whole) || !allDigits(fraction)) return TParse::Invalid;
  constexpr i128 limit = i128(1) << 64;
  i128 units = 0;
  bool overflow = false;
  for (char c : whole) {
    units = units * 10 + (c - '0');
    if (units >= limit) overflow = true, units = limit;
  }
  for (size_t i = 0; i < 4; ++i) units = units * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  if (fraction.size() > 4) {
    int next = fraction[4] - '0';
    bool rest = fraction.find_first_not_of('0', 5) != std::string_view::npos;
    if (next > 5 || (next == 5 && (rest || (units & 1)))) ++units;
  }
  if (negative) units = -units;
  if (overflow || units < std::numeric_limits<int64_t>::min() || units > std::numeric_limits<int64_t>::max())
    return TParse::Overflow;
  AScaled = static_cast<int64_t>(units);
  return TParse::Ok;
}

template <class T>
String NumberToText(T AValue) {
  char buffer[64];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, AValue);
  return String(buffer, r.ptr);
}

String CurrencyToText(int64_t AScaled) {
  uint64_t magnitude = AScaled < 0 ? 0 - uint64_t(AScaled) : uint64_t(AScaled);
  String text(AScaled < 0 ? "-" : "");
  text += NumberToText(magnitude / 10000);
  if (unsigned fraction = unsigned(magnitude % 10000)) {
    String digits = Format("%04u", fraction);
    digits.erase(digits.find_last_not_of('0') + 1);
    text += "." + digits;
  }
  return text;
}

// Exact numeric values for comparison: integers (and currency units) in 128 bits, or a double.
struct TExactNumber {
  enum { Integer, Currency, Floating } Kind;
  i128 Value;  // the integer, or the currency scaled by 10000
  double Float;
};

std::partial_ordering CompareFloatInteger(double AFloat, i128 AInteger) {
  if (std::isnan(AFloat)) return std::partial_ordering::unordered;
  if (AFloat >= 0x1p64) return std::partial_ordering::greater;
  if (AFloat < -0x1p64) return std::partial_ordering::less;
  double whole = std::trunc(AFloat);
  i128 w = static_cast<i128>(whole);
  if (w != AInteger) return w < AInteger ? std::partial_ordering::less : std::partial_ordering::greater;
  return AFloat - whole <=> 0.0;
}

std::partial_ordering CompareExact(const TExactNumber& A, const TExactNumber& B) {
  using K = decltype(A.Kind);
  if (A.Kind == K::Floating && B.Kind == K::Floating) return A.Float <=> B.Float;
  if (A.Kind == K::Floating) {
    if (B.Kind == K::Integer) return CompareFloatInteger(A.Float, B.Value);
    return A.Float <=> static_cast<double>(B.Value) / 10000.0;
  }
  if (B.Kind == K::Floating) return 0 <=> CompareExact(B, A);
  i128 a = A.Kind == K::Currency ? A.Value : A.Value * 10000;
  i128 b = B.Kind == K::Currency ? B.Value : B.Value * 10000;
  if (A.Kind == B.Kind) a = A.Value, b = B.Value;
  return a < b ? std::partial_ordering::less : a > b ? std::partial_ordering::greater : std::partial_ordering::equivalent;
}

// Code point order of UTF-16 text: surrogates (which encode the highest code points) move above
// the rest of the basic plane.
std::partial_ordering CompareUtf16(std::u16string_view A, std::u16string_view B) {
  auto key = [](char16_t c) -> uint32_t { return c >= 0xD800 ? (c >= 0xE000 ? c - 0x800u : c + 0x2000u) : c; };
  size_t n = std::min(A.size(), B.size());
  for (size_t i = 0; i < n; ++i)
    if (A[i] != B[i]) return key(A[i]) <=> key(B[i]);
  return A.size() <=> B.size();
}

// ---------------------------------------------------------------------------------------------
// Calendar

using namespace std::chrono;
constexpr sys_days kEpoch = sys_days(year(1899) / December / 30);
constexpr int64_t kMinDay = (sys_days(year(1) / January / 1) - kEpoch).count();
constexpr int64_t kMaxDay = (sys_days(year(9999) / December / 31) - kEpoch).count();
constexpr int64_t kMSecsPerDay = 86400000;

}  // namespace

// ---------------------------------------------------------------------------------------------

const char* VarTypeName(TVarType AType) {
  switch (AType) {
    case varEmpty: return "Empty";
    case varNull: return "Null";
    case varSmallint: return "Smallint";
    case varInteger: return "Integer";
    case varSingle: return "Single";
    case varDouble: return "Double";
    case varCurrency: return "Currency";
    case varDate: return "Date";
    case varOleStr: return "OleStr";
    case varBoolean: return "Boolean";
    case varShortInt: return "ShortInt";
    case varByte: return "Byte";
    case varWord: return "Word";
    case varLongWord: return "LongWord";
    case varInt64: return "Int64";
    case varUInt64: return "UInt64";
    case varString: return "String";
    case varUString: return "UnicodeString";
    case varByteArray: return "Array Byte";
    default: return "Unknown";
  }
}

TCurrency TCurrency::FromDouble(double AValue) {
  int64_t scaled = 0;
  switch (DoubleToScaled(AValue, scaled)) {
    case TParse::Ok: return FromScaled(scaled);
    case TParse::Overflow:
      throw EVariantError("Overflow while converting variant of type (Double) into type (Currency)");
    case TParse::Invalid: break;
  }
  throw EVariantError("Could not convert variant of type (Double) into type (Currency)");
}

// ---------------------------------------------------------------------------------------------
// Date-times

bool TryEncodeDateTime(const TDateTimeParts& AParts, TDateTime& AResult) {
  if (AParts.Year < 1 || AParts.Year > 9999 || AParts.Hour < 0 || AParts.Hour > 23 || AParts.Minute < 0 ||
      AParts.Minute > 59 || AParts.Second < 0 || AParts.Second > 59 || AParts.MilliSecond < 0 ||
      AParts.MilliSecond > 999 || AParts.Month < 1 || AParts.Month > 12 || AParts.Day < 1 || AParts.Day > 31)
    return false;
  year_month_day date{year(AParts.Year), month(unsigned(AParts.Month)), day(unsigned(AParts.Day))};
  if (!date.ok()) return false;
  double days = double((sys_days(date) - kEpoch).count());
  double time =
      double(((int64_t(AParts.Hour) * 60 + AParts.Minute) * 60 + AParts.Second) * 1000 + AParts.MilliSecond) /
      double(kMSecsPerDay);
  AResult = TDateTime(days >= 0 ? days + time : days - time);
  return true;
}

TDateTime EncodeDateTime(const TDateTimeParts& AParts) {
  TDateTime result;
  if (!TryEncodeDateTime(AParts, result))
    throw EConvertError(Format("Invalid date-time: year %d, month %d, day %d, hour %d, minute %d, second %d, "
                               "millisecond %d",
                               AParts.Year, AParts.Month, AParts.Day, AParts.Hour, AParts.Minute, AParts.Second,
                               AParts.MilliSecond));
  return result;
}

TDateTime EncodeDateTime(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond, int AMilliSecond) {
  return EncodeDateTime(TDateTimeParts{AYear, AMonth, ADay, AHour, AMinute, ASecond, AMilliSecond});
}

bool TryDecodeDateTime(TDateTime AValue, TDateTimeParts& AResult) {
  double value = AValue.Value();
  if (!std::isfinite(value)) return false;
  double whole = std::trunc(value);
  if (whole < double(kMinDay) || whole > double(kMaxDay)) return false;
  int64_t dayNumber = int64_t(whole);
  int64_t msecs = std::llround(std::fabs(value - whole) * double(kMSecsPerDay));
  // Rounding up to midnight moves to the next calendar day, for days before the epoch too.
  if (msecs >= kMSecsPerDay) {
    msecs -= kMSecsPerDay;
    if (++dayNumber > kMaxDay) return false;
  }
  year_month_day date(kEpoch + days(dayNumber));
  AResult.Year = int(date.year());
  AResult.Month = int(unsigned(date.month()));
  AResult.Day = int(unsigned(date.day()));
  AResult.Hour = int(msecs / 3600000);
  AResult.Minute = int(msecs / 60000 % 60);
  AResult.Second = int(msecs / 1000 % 60);
  AResult.MilliSecond = int(msecs % 1000);
  return true;
}

TDateTimeParts DecodeDateTime(TDateTime AValue) {
  TDateTimeParts parts;
  if (!TryDecodeDateTime(AValue, parts))
    throw EConvertError(Format("Invalid date-time value %.17g", AValue.Value()));
  return parts;
}

namespace {
String FormatISO8601(const TDateTimeParts& p) {
  String text = Format("%04d-%02d-%02dT%02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
  if (p.MilliSecond != 0) text += Format(".%03d", p.MilliSecond);
  return text;
}
}  // namespace

String DateTimeToISO8601(TDateTime AValue) { return FormatISO8601(DecodeDateTime(AValue)); }

bool TryISO8601ToDateTime(std::string_view AText, TDateTime& AResult) {
  std::string_view text = Trim(AText);
  size_t i = 0;
  auto number = [&](size_t ADigits, int& AField) {
    if (i + ADigits > text.size()) return false;
    int value = 0;
    for (size_t k = 0; k < ADigits; ++k) {
      char c = text[i + k];
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    AField = value;
    i += ADigits;
    return true;
  };
  auto separator = [&](char C) {
    if (i >= text.size() || text[i] != C) return false;
    ++i;
    return true;
  };
  // A time alone lies on day 0.
  TDateTimeParts p{1899, 12, 30};
  bool hasDate = text.size() > 4 && text[4] == '-';
  if (hasDate) {
    if (!number(4, p.Year) || !separator('-') || !number(2, p.Month) || !separator('-') || !number(2, p.Day))
      return false;
    if (i == text.size()) return TryEncodeDateTime(p, AResult);
    if (!separator('T') && !separator(' ')) return false;
  }
  if (!number(2, p.Hour) || !separator(':') || !number(2, p.Minute)) return false;
  if (separator(':')) {
    if (!number(2, p.Second)) return false;
    if (separator('.')) {
      size_t start = i;
      int scale = 100;
      for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10) p.MilliSecond += (text[i] - '0') * scale;
      if (i == start) return false;
    }
  }
  return i == text.size() && TryEncodeDateTime(p, AResult);
}

TDateTime ISO8601ToDateTime(std::string_view AText) {
  TDateTime result;
  if (!TryISO8601ToDateTime(AText, result))
    throw EConvertError(Format("\"%.*s\" is not a valid ISO 8601 date-time", int(AText.size()), AText.data()));
  return result;
}

// ---------------------------------------------------------------------------------------------
// UTF-8 and UTF-16

std::u16string Utf8ToUtf16(std::string_view AText) {
  std::u16string out;
  out.reserve(AText.size());
  const size_t n = AText.size();
  size_t i = 0;
  while (i < n) {
    uint8_t lead = uint8_t(AText[i++]);
    if (lead < 0x80) {
      out.push_back(char16_t(lead));
      continue;
    }
    // The admissible range of the first continuation byte excludes overlong forms, surrogates
    // and code points beyond U+10FFFF; a byte outside it ends the ill-formed subsequence and is
    // read again as a lead.
    int trail;
    uint32_t cp;
    uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trail = 1, cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trail = 2, cp = lead & 0x0Fu;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trail = 3, cp = lead & 0x07u;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      out.push_back(u'\uFFFD');
      continue;
    }
    bool complete = true;
    for (int k = 0; k < trail; ++k, low = 0x80, high = 0xBF) {
      uint8_t c = i < n ? uint8_t(AText[i]) : 0;
      if (i >= n || c < low || c > high) {
        complete = false;
        break;
      }
      cp = (cp << 6) | (c & 0x3Fu);
      ++i;
    }
    if (!complete) {
      out.push_back(u'\uFFFD');
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
  }
  return out;
}

String Utf16ToUtf8(std::u16string_view AText) {
  String out;
  out.reserve(AText.size());
  for (size_t i = 0; i < AText.size(); ++i) {
    uint32_t cp = AText[i];
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (cp <= 0xDBFF && i + 1 < AText.size() && AText[i + 1] >= 0xDC00 && AText[i + 1] <= 0xDFFF)
        cp = 0x10000 + ((cp - 0xD800) << 10) + (AText[++i] - 0xDC00);
      else
        cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xC0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// TVariant

void TVariant::RaiseCast(TVarType ATarget) const {
  throw EVariantError(Format("Could not convert variant of type (%s) into type (%s)", VarTypeName(FType),
                             VarTypeName(ATarget)));
}

void TVariant::RaiseOverflow(TVarType ATarget) const {
  throw EVariantError(Format("Overflow while converting variant of type (%s) into type (%s)", VarTypeName(FType),
                             VarTypeName(ATarget)));
}

bool TVariant::IsNumeric() const noexcept {
  switch (FType) {
    case varSmallint: case varInteger: case varSingle: case varDouble: case varCurrency: case varShortInt:
    case varByte: case varWord: case varLongWord: case varInt64: case varUInt64:
      return true;
    default:
      return false;
  }
}

std::string_view TVariant::TextOf(String& ABuffer) const {
  if (FType == varString) return std::get<String>(FValue);
  ABuffer = Utf16ToUtf8(std::get<std::u16string>(FValue));
  return ABuffer;
}

template <class T>
T TVariant::AsIntegral(TVarType ATarget) const {
  T result{};
  TParse status = TParse::Invalid;
  switch (FType) {
    case varEmpty: return T(0);
    case varShortInt: case varSmallint: case varInteger: case varInt64: case varBoolean: {
      int64_t v = std::get<int64_t>(FValue);
      status = std::in_range<T>(v) ? (result = T(v), TParse::Ok) : TParse::Overflow;
      break;
    }
    case varByte: case varWord: case varLongWord: case varUInt64: {
      uint64_t v = std::get<uint64_t>(FValue);
      status = std::in_range<T>(v) ? (result = T(v), TParse::Ok) : TParse::Overflow;
      break;
    }
    case varCurrency: {
      int64_t v = CurrencyToInt64(std::get<int64_t>(FValue));
      status = std::in_range<T>(v) ? (result = T(v), TParse::Ok) : TParse::Overflow;
      break;
    }
    case varSingle: case varDouble: case varDate:
      status = DoubleToIntegral(std::get<double>(FValue), result);
      break;
    case varString: case varUString: case varOleStr: {
      String buffer;
      std::string_view text = TextOf(buffer);
      bool negative;
      uint64_t magnitude;
      double d;
      bool b;
      status = ParseInteger(text, negative, magnitude);
      if (status == TParse::Ok)
        status = MagnitudeToIntegral(negative, magnitude, result);
      else if (status == TParse::Invalid && (status = ParseFloat(text, d)) == TParse::Ok)
        status = DoubleToIntegral(d, result);
      else if (status == TParse::Invalid && ParseBoolWord(text, b))
        result = T(b), status = TParse::Ok;
      break;
    }
    default: break;
  }
  if (status == TParse::Overflow) RaiseOverflow(ATarget);
  if (status == TParse::Invalid) RaiseCast(ATarget);
  return result;
}

template <class T>
T TVariant::AsFloating(TVarType ATarget) const {
  switch (FType) {
    case varEmpty: return T(0);
    case varShortInt: case varSmallint: case varInteger: case varInt64: case varBoolean:
      return T(std::get<int64_t>(FValue));
    case varByte: case varWord: case varLongWord: case varUInt64:
      return T(std::get<uint64_t>(FValue));
    case varCurrency:
      return T(TCurrency::FromScaled(std::get<int64_t>(FValue)).ToDouble());
    case varSingle: case varDouble: case varDate: {
      double d = std::get<double>(FValue);
      if constexpr (std::is_same_v<T, float>) {
        // Halfway between FLT_MAX and the next power of two already rounds to infinity.
        if (std::isfinite(d) && std::fabs(d) >= 0x1.ffffffp127) RaiseOverflow(ATarget);
      }
      return T(d);
    }
    case varString: case varUString: case varOleStr: {
      String buffer;
      std::string_view text = TextOf(buffer);
      T value;
      bool negative, b;
      uint64_t magnitude;
      TParse status = ParseFloat(text, value);
      if (status == TParse::Ok) return value;
      if (status == TParse::Overflow) RaiseOverflow(ATarget);
      // Only hexadecimal text gets here: decimal text has been read as floating-point.
      status = ParseInteger(text, negative, magnitude);
      if (status == TParse::Ok) return negative ? -T(magnitude) : T(magnitude);
      if (status == TParse::Overflow) RaiseOverflow(ATarget);
      if (ParseBoolWord(text, b)) return T(b);
      break;
    }
    default: break;
  }
  RaiseCast(ATarget);
}

int8_t TVariant::AsShortInt() const { return AsIntegral<int8_t>(varShortInt); }
uint8_t TVariant::AsByte() const { return AsIntegral<uint8_t>(varByte); }
int16_t TVariant::AsSmallint() const { return AsIntegral<int16_t>(varSmallint); }
uint16_t TVariant::AsWord() const { return AsIntegral<uint16_t>(varWord); }
int32_t TVariant::AsInteger() const { return AsIntegral<int32_t>(varInteger); }
uint32_t TVariant::AsLongWord() const { return AsIntegral<uint32_t>(varLongWord); }
int64_t TVariant::AsInt64() const { return AsIntegral<int64_t>(varInt64); }
uint64_t TVariant::AsUInt64() const { return AsIntegral<uint64_t>(varUInt64); }
float TVariant::AsSingle() const { return AsFloating<float>(varSingle); }
double TVariant::AsDouble() const { return AsFloating<double>(varDouble); }

TCurrency TVariant::AsCurrency() const {
  int64_t scaled = 0;
  TParse status = TParse::Invalid;
  switch (FType) {
    case varEmpty: return TCurrency();
    case varCurrency: return TCurrency::FromScaled(std::get<int64_t>(FValue));
    case varShortInt: case varSmallint: case varInteger: case varInt64: case varBoolean:
      status = ScaleInteger(std::get<int64_t>(FValue), scaled);
      break;
    case varByte: case varWord: case varLongWord: case varUInt64:
      status = ScaleInteger(std::get<uint64_t>(FValue), scaled);
      break;
    case varSingle: case varDouble: case varDate:
      status = DoubleToScaled(std::get<double>(FValue), scaled);
      break;
    case varString: case varUString: case varOleStr: {
      String buffer;
      std::string_view text = TextOf(buffer);
      bool negative, b;
      uint64_t magnitude;
      double d;
      status = ParseCurrencyText(text, scaled);
      if (status != TParse::Invalid) break;
      status = ParseInteger(text, negative, magnitude);
      if (status == TParse::Ok) {
        status = ScaleInteger(negative ? -i128(magnitude) : i128(magnitude), scaled);
        break;
      }
      status = ParseFloat(text, d);
      if (status == TParse::Ok)
        status = DoubleToScaled(d, scaled);
      else if (status == TParse::Invalid && ParseBoolWord(text, b))
        scaled = b ? 10000 : 0, status = TParse::Ok;
      break;
    }
    default: break;
  }
  if (status == TParse::Overflow) RaiseOverflow(varCurrency);
  if (status == TParse::Invalid) RaiseCast(varCurrency);
  return TCurrency::FromScaled(scaled);
}

TDateTime TVariant::AsDateTime() const {
  switch (FType) {
    case varEmpty: return TDateTime();
    case varBoolean: case varNull: case varByteArray: RaiseCast(varDate);
    case varString: case varUString: case varOleStr: {
      String buffer;
      std::string_view text = TextOf(buffer);
      TDateTime result;
      if (TryISO8601ToDateTime(text, result)) return result;
      double days;
      bool negative;
      uint64_t magnitude;
      TParse status = ParseFloat(text, days);
      if (status == TParse::Ok) return TDateTime(days);
      if (status == TParse::Overflow) RaiseOverflow(varDate);
      status = ParseInteger(text, negative, magnitude);
      if (status == TParse::Ok) return TDateTime(negative ? -double(magnitude) : double(magnitude));
      if (status == TParse::Overflow) RaiseOverflow(varDate);
      RaiseCast(varDate);
    }
    default:
      if (IsNumeric() || FType == varDate) return TDateTime(AsFloating<double>(varDate));
      RaiseCast(varDate);
  }
}

bool TVariant::AsBoolean() const {
  switch (FType) {
    case varEmpty: return false;
    case varShortInt: case varSmallint: case varInteger: case varInt64: case varBoolean: case varCurrency:
      return std::get<int64_t>(FValue) != 0;
    case varByte: case varWord: case varLongWord: case varUInt64:
      return std::get<uint64_t>(FValue) != 0;
    case varSingle: case varDouble:
      return std::get<double>(FValue) != 0.0;
    case varString: case varUString: case varOleStr: {
      String buffer;
      std::string_view text = TextOf(buffer);
      bool result, negative;
      uint64_t magnitude;
      double d;
      if (ParseBoolWord(text, result)) return result;
      // A number too large for 64 bits is still not zero.
      if (TParse status = ParseInteger(text, negative, magnitude); status != TParse::Invalid)
        return status == TParse::Overflow || magnitude != 0;
      if (TParse status = ParseFloat(text, d); status != TParse::Invalid) return status == TParse::Overflow || d != 0.0;
      break;
    }
    default: break;
  }
  RaiseCast(varBoolean);
}

String TVariant::ToText(TVarType ATarget) const {
  switch (FType) {
    case varEmpty: return String();
    case varShortInt: case varSmallint: case varInteger: case varInt64:
      return NumberToText(std::get<int64_t>(FValue));
    case varByte: case varWord: case varLongWord: case varUInt64:
      return NumberToText(std::get<uint64_t>(FValue));
    case varSingle: return NumberToText(float(std::get<double>(FValue)));
    case varDouble: return NumberToText(std::get<double>(FValue));
    case varCurrency: return CurrencyToText(std::get<int64_t>(FValue));
    case varBoolean: return std::get<int64_t>(FValue) ? "True" : "False";
    case varDate: {
      TDateTimeParts parts;
      if (!TryDecodeDateTime(TDateTime(std::get<double>(FValue)), parts)) RaiseCast(ATarget);
      return FormatISO8601(parts);
    }
    case varString: return std::get<String>(FValue);
    case varUString: case varOleStr: return Utf16ToUtf8(std::get<std::u16string>(FValue));
    default: RaiseCast(ATarget);
  }
}

String TVariant::AsString() const { return ToText(varString); }

std::u16string TVariant::AsUnicodeString() const {
  if (FType == varUString || FType == varOleStr) return std::get<std::u16string>(FValue);
  return Utf8ToUtf16(ToText(varUString));
}

std::vector<uint8_t> TVariant::AsBytes() const {
  if (FType == varByteArray) return std::get<std::vector<uint8_t>>(FValue);
  if (FType == varEmpty) return {};
  RaiseCast(varByteArray);
}

TVariant TVariant::AsType(TVarType AType) const {
  switch (AType) {
    case varEmpty: return TVariant();
    case varNull: return Null();
    case varSmallint: return AsSmallint();
    case varInteger: return AsInteger();
    case varSingle: return AsSingle();
    case varDouble: return AsDouble();
    case varCurrency: return AsCurrency();
    case varDate: return AsDateTime();
    case varOleStr: return OleStr(AsUnicodeString());
    case varBoolean: return AsBoolean();
    case varShortInt: return AsShortInt();
    case varByte: return AsByte();
    case varWord: return AsWord();
    case varLongWord: return AsLongWord();
    case varInt64: return AsInt64();
    case varUInt64: return AsUInt64();
    case varString: return AsString();
    case varUString: return AsUnicodeString();
    case varByteArray: return AsBytes();
    default: break;
  }
  throw EVariantError(Format("Invalid variant type code %u", unsigned(AType)));
}

// ---------------------------------------------------------------------------------------------
// Comparison. The helpers below are the non-throwing forms of the conversions above.

std::partial_ordering operator<=>(const TVariant& A, const TVariant& B) noexcept {
  using std::partial_ordering;
  auto isString = [](const TVariant& v) { return v.IsString(); };
  auto text = [](const TVariant& v, String& buffer) { return v.TextOf(buffer); };

  auto toBoolean = [&](const TVariant& v, bool& result) {
    switch (v.FType) {
      case varShortInt: case varSmallint: case varInteger: case varInt64: case varBoolean: case varCurrency:
        return result = std::get<int64_t>(v.FValue) != 0, true;
      case varByte: case varWord: case varLongWord: case varUInt64:
        return result = std::get<uint64_t>(v.FValue) != 0, true;
      case varSingle: case varDouble:
        return result = std::get<double>(v.FValue) != 0.0, true;
      case varString: case varUString: case varOleStr: {
        String buffer;
        std::string_view s = text(v, buffer);
        bool negative;
        uint64_t magnitude;
        double d;
        if (ParseBoolWord(s, result)) return true;
        if (TParse status = ParseInteger(s, negative, magnitude); status != TParse::Invalid)
          return result = status == TParse::Overflow || magnitude != 0, true;
        if (TParse status = ParseFloat(s, d); status != TParse::Invalid)
          return result = status == TParse::Overflow || d != 0.0, true;
        return false;
      }
      default: return false;
    }
  };

  auto toNumber = [&](const TVariant& v, TExactNumber& n) {
    switch (v.FType) {
      case varShortInt: case varSmallint: case varInteger: case varInt64:
        return n = {TExactNumber::Integer, std::get<int64_t>(v.FValue), 0.0}, true;
      case varByte: case varWord: case varLongWord: case varUInt64:
        return n = {TExactNumber::Integer, std::get<uint64_t>(v.FValue), 0.0}, true;
      case varCurrency:
        return n = {TExactNumber::Currency, std::get<int64_t>(v.FValue), 0.0}, true;
      case varSingle: case varDouble: case varDate:
        return n = {TExactNumber::Floating, 0, std::get<double>(v.FValue)}, true;
      case varString: case varUString: case varOleStr: {
        String buffer;
        std::string_view s = text(v, buffer);
        bool negative, b;
        uint64_t magnitude;
        double d;
        if (ParseInteger(s, negative, magnitude) == TParse::Ok)
          return n = {TExactNumber::Integer, negative ? -i128(magnitude) : i128(magnitude), 0.0}, true;
        if (ParseFloat(s, d) == TParse::Ok) return n = {TExactNumber::Floating, 0, d}, true;
        if (ParseInteger(s, negative, magnitude) == TParse::Overflow)  // 64 bits and more: huge anyway
          return n = {TExactNumber::Floating, 0, negative ? -HUGE_VAL : HUGE_VAL}, true;
        if (ParseBoolWord(s, b)) return n = {TExactNumber::Integer, b, 0.0}, true;
        return false;
      }
      default: return false;
    }
  };

  auto toDays = [&](const TVariant& v, double& days) {
    if (v.FType == varDate) return days = std::get<double>(v.FValue), true;
    if (isString(v)) {
      String buffer;
      std::string_view s = text(v, buffer);
      TDateTime t;
      if (TryISO8601ToDateTime(s, t)) return days = t.Value(), true;
    }
    TExactNumber n;
    if (!toNumber(v, n)) return false;
    days = n.Kind == TExactNumber::Floating   ? n.Float
           : n.Kind == TExactNumber::Currency ? double(n.Value) / 10000.0
                                              : double(n.Value);
    return true;
  };

  const TVarType a = A.FType, b = B.FType;
  if (a == varEmpty || a == varNull || b == varEmpty || b == varNull)
    return a == b ? partial_ordering::equivalent : partial_ordering::unordered;
  if (a == varByteArray || b == varByteArray) {
    if (a != b) return partial_ordering::unordered;
    const auto& x = std::get<std::vector<uint8_t>>(A.FValue);
    const auto& y = std::get<std::vector<uint8_t>>(B.FValue);
    return std::lexicographical_compare_three_way(x.begin(), x.end(), y.begin(), y.end());
  }
  if (a == varBoolean || b == varBoolean) {
    bool x, y;
    if (!toBoolean(A, x) || !toBoolean(B, y)) return partial_ordering::unordered;
    return x <=> y;
  }
  if (isString(A) && isString(B)) {
    if (a != varString && b != varString)
      return CompareUtf16(std::get<std::u16string>(A.FValue), std::get<std::u16string>(B.FValue));
    String bufferA, bufferB;
    // Byte order of UTF-8 is code point order.
    int c = text(A, bufferA).compare(text(B, bufferB));
    return c <=> 0;
  }
  if (a == varDate || b == varDate) {
    double x, y;
    if (!toDays(A, x) || !toDays(B, y)) return partial_ordering::unordered;
    return x <=> y;
  }
  TExactNumber x, y;
  if (!toNumber(A, x) || !toNumber(B, y)) return partial_ordering::unordered;
  return CompareExact(x, y);
}

}  // namespace fundrel
