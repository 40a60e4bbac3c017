// Tagged values of a fixed set of types, with the conversions between text, numbers, booleans
// and date-times; plus the date-time and UTF-8/UTF-16 helpers those conversions rest on.
//
// A TVariant is a plain value: copying copies strings and byte arrays, moving is cheap and
// leaves the source empty, numbers never allocate. Like any value, a variant may be read by
// several threads at once but written by one thread with no reader.
#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "host/Quenra.Config.h"

namespace fundrel {

// The type codes. They are stored in binary XML, so the values are fixed.
enum TVarType : uint16_t {
  varEmpty = 0,
  varNull = 1,
  varSmallint = 2,  // int16_t
  varInteger = 3,   // int32_t
  varSingle = 4,    // float
  varDouble = 5,
  varCurrency = 6,  // TCurrency
  varDate = 7,      // TDateTime
  varOleStr = 8,    // UTF-16 text
  varBoolean = 11,
  varShortInt = 16,  // int8_t
  varByte = 17,      // uint8_t
  varWord = 18,      // uint16_t
  varLongWord = 19,  // uint32_t
  varInt64 = 20,
  varUInt64 = 21,
  varString = 256,   // byte string, holding UTF-8 text in this library
  varUString = 258,  // UTF-16 text
  varArray = 0x2000,
  varByteArray = varArray | varByte,  // one-dimensional array of bytes
};

// The type's name as used in conversion errors: "Integer", "String", "Array Byte"...
FUNDREL_API const char* VarTypeName(TVarType AType);

// A fixed-point amount with four decimals, stored as the value times 10000.
class TCurrency {
 public:
  constexpr TCurrency() = default;
  static constexpr TCurrency FromScaled(int64_t AScaled) {
    TCurrency c;
    c.FScaled = AScaled;
    return c;
  }
  // Rounds to the nearest 1/10000, ties to even; raises EVariantError when out of range or NaN.
  FUNDREL_API static TCurrency FromDouble(double AValue);
  constexpr int64_t Scaled() const { return FScaled; }
  constexpr double ToDouble() const { return static_cast<double>(FScaled) / 10000.0; }
  constexpr auto operator<=>(const TCurrency&) const = default;

 private:
  int64_t FScaled = 0;
};

// A moment as days since 1899-12-30 00:00; the fraction is the time of day. Before that
// epoch the fraction still counts forward from midnight: -1.25 is 1899-12-29 06:00.
class TDateTime {
 public:
  constexpr TDateTime() = default;
  constexpr explicit TDateTime(double ADays) : FDays(ADays) {}
  constexpr double Value() const { return FDays; }
  constexpr auto operator<=>(const TDateTime&) const = default;

 private:
  double FDays = 0.0;
};

struct TDateTimeParts {
  int Year = 0;    // 1 to 9999
  int Month = 0;   // 1 to 12
  int Day = 0;     // 1 to the month's length
  int Hour = 0;    // 0 to 23
  int Minute = 0;  // 0 to 59
  int Second = 0;  // 0 to 59
  int MilliSecond = 0;  // 0 to 999
  bool operator==(const TDateTimeParts&) const = default;
};

// Composes a date-time; fields out of their ranges raise EConvertError naming them.
FUNDREL_API TDateTime EncodeDateTime(const TDateTimeParts& AParts);
FUNDREL_API TDateTime EncodeDateTime(int AYear, int AMonth, int ADay, int AHour = 0, int AMinute = 0,
                                     int ASecond = 0, int AMilliSecond = 0);
FUNDREL_API bool TryEncodeDateTime(const TDateTimeParts& AParts, TDateTime& AResult);
// Splits a date-time, rounding to the millisecond; a value outside the years 1 to 9999 (or NaN)
// raises EConvertError.
FUNDREL_API TDateTimeParts DecodeDateTime(TDateTime AValue);
FUNDREL_API bool TryDecodeDateTime(TDateTime AValue, TDateTimeParts& AResult);
// "yyyy-mm-ddThh:nn:ss", with ".zzz" appended when the milliseconds are not 0.
FUNDREL_API String DateTimeToISO8601(TDateTime AValue);
// Reads "yyyy-mm-dd", optionally followed by "T" (or a blank) and "hh:nn", ":ss", ".z" (one or
// more fraction digits, cut to milliseconds); or a time alone, "hh:nn[:ss[.z]]". No time zone.
FUNDREL_API bool TryISO8601ToDateTime(std::string_view AText, TDateTime& AResult);
// As TryISO8601ToDateTime, raising EConvertError for text it does not accept.
FUNDREL_API TDateTime ISO8601ToDateTime(std::string_view AText);

// Conversions between UTF-8 and UTF-16. Ill-formed input never fails: each maximal ill-formed
// UTF-8 subsequence and each unpaired surrogate becomes U+FFFD.
FUNDREL_API std::u16string Utf8ToUtf16(std::string_view AText);
FUNDREL_API String Utf16ToUtf8(std::u16string_view AText);

namespace detail {
template <class T>
concept VarCharType = std::same_as<T, char> || std::same_as<T, char8_t> || std::same_as<T, char16_t> ||
                      std::same_as<T, char32_t> || std::same_as<T, wchar_t>;
}  // namespace detail

// One value of any TVarType.
//
// Conversions (the As... getters) follow one set of rules; what does not convert raises
// EVariantError "Could not convert variant of type (<from>) into type (<to>)", and a value
// outside the target's range raises EVariantError "Overflow while converting variant of type
// (<from>) into type (<to>)":
// - Empty reads as 0, false, empty text, day 0 or no bytes; Null converts to nothing.
// - Integers from floating-point values and date-times round to nearest, ties to even; from
//   currency likewise. Negative values never convert to unsigned types.
// - Booleans read as 1 and 0; numbers read as booleans by being non-zero.
// - Numbers become decimal text: integers plainly, floating-point values as the shortest text that
//   reads back to the same value ("." as decimal point, "inf", "nan"), currency with at most
//   four decimals. Booleans become "True" and "False", date-times ISO 8601 text.
// - Text becomes a number when it is a decimal integer with optional sign, a hexadecimal
//   integer prefixed "$" or "0x" (optional sign before the prefix), a floating-point number
//   with "." as decimal point, or "true"/"false" in any case (1 and 0). Blanks around the text
//   are ignored. Text becomes a boolean the same way (non-zero is true).
// - Date-times convert to and from numbers as days, and to and from text as ISO 8601; text
//   holding a plain number is read as days. Booleans and date-times do not convert.
// - Byte arrays convert only to byte arrays.
class FUNDREL_API TVariant {
 public:
  TVariant() noexcept = default;
  TVariant(const TVariant&) = default;
  TVariant& operator=(const TVariant&) = default;
  TVariant(TVariant&& AOther) noexcept : FType(AOther.FType), FValue(std::move(AOther.FValue)) { AOther.Clear(); }
  TVariant& operator=(TVariant&& AOther) noexcept {
    if (this != &AOther) {
      FType = AOther.FType;
      FValue = std::move(AOther.FValue);
      AOther.Clear();
    }
    return *this;
  }

  TVariant(bool AValue) noexcept : FType(varBoolean), FValue(int64_t(AValue)) {}
  // Each integer type keeps its size and signedness: int32_t gives varInteger, uint8_t varByte...
  template <std::integral T>
    requires(!std::same_as<T, bool> && !detail::VarCharType<T>)
  TVariant(T AValue) noexcept : FType(IntegerType<T>()) {
    if constexpr (std::is_signed_v<T>)
      FValue = static_cast<int64_t>(AValue);
    else
      FValue = static_cast<uint64_t>(AValue);
  }
  // Characters are not numbers here: say which string or integer is meant.
  template <class T>
    requires detail::VarCharType<T>
  TVariant(T) = delete;
  TVariant(float AValue) noexcept : FType(varSingle), FValue(double(AValue)) {}
  TVariant(double AValue) noexcept : FType(varDouble), FValue(AValue) {}
  TVariant(TCurrency AValue) noexcept : FType(varCurrency), FValue(AValue.Scaled()) {}
  TVariant(TDateTime AValue) noexcept : FType(varDate), FValue(AValue.Value()) {}
  // UTF-8 text gives varString, UTF-16 text varUString.
  TVariant(String AValue) noexcept : FType(varString), FValue(std::move(AValue)) {}
  TVariant(std::string_view AValue) : FType(varString), FValue(String(AValue)) {}
  TVariant(const char* AValue) : TVariant(std::string_view(AValue)) {}
  TVariant(std::u16string AValue) noexcept : FType(varUString), FValue(std::move(AValue)) {}
  TVariant(std::u16string_view AValue) : FType(varUString), FValue(std::u16string(AValue)) {}
  TVariant(const char16_t* AValue) : TVariant(std::u16string_view(AValue)) {}
  TVariant(std::vector<uint8_t> ABytes) noexcept : FType(varByteArray), FValue(std::move(ABytes)) {}
  // Other pointers would silently become booleans.
  template <class T>
    requires(!detail::VarCharType<std::remove_cv_t<T>>)
  TVariant(T*) = delete;

  static TVariant Null() noexcept {
    TVariant v;
    v.FType = varNull;
    return v;
  }
  static TVariant OleStr(std::u16string AValue) noexcept {
    TVariant v(std::move(AValue));
    v.FType = varOleStr;
    return v;
  }
  static TVariant Bytes(const void* AData, size_t ASize) {
    auto p = static_cast<const uint8_t*>(AData);
    return TVariant(std::vector<uint8_t>(p, p + ASize));
  }

  TVarType VarType() const noexcept { return FType; }
  bool IsEmpty() const noexcept { return FType == varEmpty; }
  bool IsNull() const noexcept { return FType == varNull; }
  // Integer, floating-point and currency types (not booleans or date-times).
  bool IsNumeric() const noexcept;
  // varString, varUString and varOleStr.
  bool IsString() const noexcept { return FType == varString || FType == varUString || FType == varOleStr; }
  void Clear() noexcept {
    FType = varEmpty;
    FValue = std::monostate();
  }

  int8_t AsShortInt() const;
  uint8_t AsByte() const;
  int16_t AsSmallint() const;
  uint16_t AsWord() const;
  int32_t AsInteger() const;
  uint32_t AsLongWord() const;
  int64_t AsInt64() const;
  uint64_t AsUInt64() const;
  float AsSingle() const;
  double AsDouble() const;
  TCurrency AsCurrency() const;
  TDateTime AsDateTime() const;
  bool AsBoolean() const;
  // UTF-8 text.
  String AsString() const;
  std::u16string AsUnicodeString() const;
  std::vector<uint8_t> AsBytes() const;

  // A new variant of type AType holding this value converted by the rules above; raises
  // EVariantError for a type code not in TVarType.
  TVariant AsType(TVarType AType) const;

  // Equality and order across types:
  // - Empty equals only Empty and Null only Null; byte arrays compare only with byte arrays,
  //   byte by byte.
  // - A boolean compares with anything that converts to a boolean (false < true).
  // - Two strings compare by content, in code point order, whatever their encodings.
  // - A date-time compares with anything that converts to a date-time, as days.
  // - Numbers compare by exact value across integer, currency and floating-point types; text
  //   that reads as a number compares as that number.
  // Anything else, text that does not convert included, is unordered (and unequal); comparison
  // never throws.
  friend FUNDREL_API std::partial_ordering operator<=>(const TVariant& A, const TVariant& B) noexcept;
  friend bool operator==(const TVariant& A, const TVariant& B) noexcept { return (A <=> B) == 0; }

 private:
  template <class T>
  static constexpr TVarType IntegerType() {
    constexpr bool s = std::is_signed_v<T>;
    switch (sizeof(T)) {
      case 1: return s ? varShortInt : varByte;
      case 2: return s ? varSmallint : varWord;
      case 4: return s ? varInteger : varLongWord;
      default: return s ? varInt64 : varUInt64;
    }
  }

  // Signed integer types, booleans and currency (scaled) keep int64_t; unsigned types uint64_t;
  // single, double and date-time keep double (a float widens exactly).
  using TStorage = std::variant<std::monostate, int64_t, uint64_t, double, String, std::u16string, std::vector<uint8_t>>;

  template <class T>
  T AsIntegral(TVarType ATarget) const;
  template <class T>
  T AsFloating(TVarType ATarget) const;
  // The UTF-8 text of a string variant; UTF-16 storage is converted into ABuffer.
  std::string_view TextOf(String& ABuffer) const;
  String ToText(TVarType ATarget) const;
  [[noreturn]] void RaiseCast(TVarType ATarget) const;
  [[noreturn]] void RaiseOverflow(TVarType ATarget) const;

  TVarType FType = varEmpty;
  TStorage FValue;
};

}  // namespace fundrel
