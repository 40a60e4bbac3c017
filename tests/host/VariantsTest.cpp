#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <vector>

#include "host/Quenra.SysUtils.h"
#include "host/Quenra.Variants.h"

namespace fundrel {
void PrintTo(const TVariant& A, std::ostream* AOut) {
  *AOut << VarTypeName(A.VarType());
  try {
    *AOut << " " << A.AsString();
  } catch (const EVariantError&) {
  }
}
}  // namespace fundrel

using namespace fundrel;

namespace {

// The message of the EVariantError that AAction raises, or "no error".
template <class F>
std::string VariantError(F AAction) {
  try {
    AAction();
  } catch (const EVariantError& e) {
    return e.Message();
  }
  return "no error";
}

String Cast(const char* AFrom, const char* ATo) {
  return Format("Could not convert variant of type (%s) into type (%s)", AFrom, ATo);
}
String Overflow(const char* AFrom, const char* ATo) {
  return Format("Overflow while converting variant of type (%s) into type (%s)", AFrom, ATo);
}

}  // namespace

TEST(Variant, ConstructorsPickTheTypeOfTheValue) {
  EXPECT_EQ(TVariant().VarType(), varEmpty);
  EXPECT_EQ(TVariant::Null().VarType(), varNull);
  EXPECT_EQ(TVariant(int8_t(-1)).VarType(), varShortInt);
  EXPECT_EQ(TVariant(uint8_t(1)).VarType(), varByte);
  EXPECT_EQ(TVariant(int16_t(1)).VarType(), varSmallint);
  EXPECT_EQ(TVariant(uint16_t(1)).VarType(), varWord);
  EXPECT_EQ(TVariant(1).VarType(), varInteger);
  EXPECT_EQ(TVariant(1u).VarType(), varLongWord);
  EXPECT_EQ(TVariant(1L).VarType(), varInt64);
  EXPECT_EQ(TVariant(1LL).VarType(), varInt64);
  EXPECT_EQ(TVariant(1ULL).VarType(), varUInt64);
  EXPECT_EQ(TVariant(1.0f).VarType(), varSingle);
  EXPECT_EQ(TVariant(1.0).VarType(), varDouble);
  EXPECT_EQ(TVariant(true).VarType(), varBoolean);
  EXPECT_EQ(TVariant(TCurrency::FromScaled(1)).VarType(), varCurrency);
  EXPECT_EQ(TVariant(TDateTime(1)).VarType(), varDate);
  EXPECT_EQ(TVariant("a").VarType(), varString);
  EXPECT_EQ(TVariant(String("a")).VarType(), varString);
  EXPECT_EQ(TVariant(u"a").VarType(), varUString);
  EXPECT_EQ(TVariant::OleStr(u"a").VarType(), varOleStr);
  EXPECT_EQ(TVariant(std::vector<uint8_t>{1}).VarType(), varByteArray);
  // The codes are written into binary XML.
  EXPECT_EQ(int(varByteArray), 0x2011);
  EXPECT_EQ(int(varUString), 258);

  TVariant v("text");
  TVariant moved(std::move(v));
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_EQ(moved.AsString(), "text");
  TVariant copy = moved;
  moved = 5;
  EXPECT_EQ(copy.AsString(), "text");
  EXPECT_EQ(moved.AsInteger(), 5);
  copy.Clear();
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_TRUE(TVariant::Null().IsNull());
}

TEST(Variant, IntegersNarrowWithOverflowChecks) {
  constexpr int64_t i32max = std::numeric_limits<int32_t>::max();
  constexpr int64_t i32min = std::numeric_limits<int32_t>::min();
  EXPECT_EQ(TVariant(i32max).AsInteger(), i32max);
  EXPECT_EQ(TVariant(i32min).AsInteger(), i32min);
  EXPECT_EQ(VariantError([] { TVariant(i32max + 1).AsInteger(); }), Overflow("Int64", "Integer"));
  EXPECT_EQ(VariantError([] { TVariant(i32min - 1).AsInteger(); }), Overflow("Int64", "Integer"));
  EXPECT_EQ(TVariant(255).AsByte(), 255);
  EXPECT_EQ(VariantError([] { TVariant(256).AsByte(); }), Overflow("Integer", "Byte"));
  EXPECT_EQ(VariantError([] { TVariant(-1).AsLongWord(); }), Overflow("Integer", "LongWord"));
  EXPECT_EQ(VariantError([] { TVariant(int8_t(-1)).AsUInt64(); }), Overflow("ShortInt", "UInt64"));
  EXPECT_EQ(TVariant(uint64_t(-1)).AsUInt64(), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(VariantError([] { TVariant(uint64_t(1) << 63).AsInt64(); }), Overflow("UInt64", "Int64"));
  EXPECT_EQ(TVariant(uint32_t(0xFFFFFFFF)).AsInt64(), 0xFFFFFFFFLL);
  EXPECT_EQ(TVariant(-32768).AsSmallint(), -32768);
  EXPECT_EQ(VariantError([] { TVariant(40000).AsSmallint(); }), Overflow("Integer", "Smallint"));
  EXPECT_EQ(TVariant(65535).AsWord(), 65535);
  EXPECT_EQ(TVariant(-128).AsShortInt(), -128);
  EXPECT_EQ(TVariant(true).AsInteger(), 1);
  EXPECT_EQ(TVariant().AsInteger(), 0);
  EXPECT_EQ(VariantError([] { TVariant::Null().AsInteger(); }), Cast("Null", "Integer"));

  // Floating-point values round to nearest, ties to even.
  EXPECT_EQ(TVariant(2.5).AsInteger(), 2);
  EXPECT_EQ(TVariant(3.5).AsInteger(), 4);
  EXPECT_EQ(TVariant(-2.5).AsInteger(), -2);
  EXPECT_EQ(TVariant(-0.5).AsInteger(), 0);
  EXPECT_EQ(TVariant(2.4999999999999996).AsInteger(), 2);
  EXPECT_EQ(TVariant(2147483647.4).AsInteger(), 2147483647);
  EXPECT_EQ(VariantError([] { TVariant(2147483647.5).AsInteger(); }), Overflow("Double", "Integer"));
  EXPECT_EQ(TVariant(-2147483648.5).AsInteger(), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(TVariant(-9223372036854775808.0).AsInt64(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(VariantError([] { TVariant(9223372036854775808.0).AsInt64(); }), Overflow("Double", "Int64"));
  EXPECT_EQ(TVariant(18446744073709549568.0).AsUInt64(), 18446744073709549568ULL);
  EXPECT_EQ(VariantError([] { TVariant(-0.6).AsByte(); }), Overflow("Double", "Byte"));
  EXPECT_EQ(TVariant(-0.4).AsByte(), 0);
  EXPECT_EQ(VariantError([] { TVariant(HUGE_VAL).AsInteger(); }), Overflow("Double", "Integer"));
  EXPECT_EQ(VariantError([] { TVariant(std::nan("")).AsInteger(); }), Cast("Double", "Integer"));
  EXPECT_EQ(TVariant(1.5f).AsInteger(), 2);
  EXPECT_EQ(TVariant(TCurrency::FromScaled(25000)).AsInteger(), 2);
  EXPECT_EQ(TVariant(TCurrency::FromScaled(-35000)).AsInteger(), -4);
  EXPECT_EQ(TVariant(TCurrency::FromScaled(25001)).AsInteger(), 3);
  EXPECT_EQ(TVariant(TDateTime(36526.75)).AsInteger(), 36527);
}

TEST(Variant, TextReadsAsNumbers) {
  EXPECT_EQ(TVariant("42").AsInteger(), 42);
  EXPECT_EQ(TVariant("  -17 \t").AsInteger(), -17);
  EXPECT_EQ(TVariant("+5").AsInteger(), 5);
  EXPECT_EQ(TVariant("$FF").AsInteger(), 255);
  EXPECT_EQ(TVariant("0x1f").AsInteger(), 31);
  EXPECT_EQ(TVariant("-$10").AsInteger(), -16);
  EXPECT_EQ(TVariant("0xFFFFFFFFFFFFFFFF").AsUInt64(), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(TVariant("-9223372036854775808").AsInt64(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(TVariant("1e3").AsInteger(), 1000);
  EXPECT_EQ(TVariant("2.5").AsInteger(), 2);
  EXPECT_EQ(TVariant("true").AsInteger(), 1);
  EXPECT_EQ(TVariant(u"123").AsInteger(), 123);
  EXPECT_EQ(VariantError([] { TVariant("2147483648").AsInteger(); }), Overflow("String", "Integer"));
  EXPECT_EQ(VariantError([] { TVariant("-1").AsLongWord(); }), Overflow("String", "LongWord"));
  EXPECT_EQ(VariantError([] { TVariant("0x10000000000000000").AsUInt64(); }), Overflow("String", "UInt64"));
  EXPECT_EQ(VariantError([] { TVariant("99999999999999999999").AsInt64(); }), Overflow("String", "Int64"));
  for (const char* bad : {"abc", "", "   ", "12abc", "0x", "$", "--1", "1 2", "0x1G", "1,5"})
    EXPECT_EQ(VariantError([bad] { TVariant(bad).AsInteger(); }), Cast("String", "Integer")) << bad;
  EXPECT_EQ(VariantError([] { TVariant(u"x").AsInt64(); }), Cast("UnicodeString", "Int64"));
  EXPECT_EQ(VariantError([] { TVariant::OleStr(u"x").AsDouble(); }), Cast("OleStr", "Double"));

  EXPECT_EQ(TVariant("1.5e-3").AsDouble(), 1.5e-3);
  EXPECT_EQ(TVariant(".5").AsDouble(), 0.5);
  EXPECT_EQ(TVariant("0.1").AsDouble(), 0.1);
  EXPECT_EQ(TVariant("0x10").AsDouble(), 16.0);
  EXPECT_EQ(TVariant("-$1").AsDouble(), -1.0);
  EXPECT_TRUE(std::signbit(TVariant("-0").AsDouble()));
  EXPECT_EQ(TVariant("1e-400").AsDouble(), 0.0);
  EXPECT_TRUE(std::signbit(TVariant("-1e-400").AsDouble()));
  EXPECT_EQ(TVariant("0.00001e-320").AsDouble(), 0.0);
  EXPECT_EQ(VariantError([] { TVariant("1e400").AsDouble(); }), Overflow("String", "Double"));
  EXPECT_EQ(VariantError([] { TVariant("123456e304").AsDouble(); }), Overflow("String", "Double"));
  EXPECT_EQ(VariantError([] { TVariant("1,5").AsDouble(); }), Cast("String", "Double"));
  EXPECT_EQ(VariantError([] { TVariant("1e").AsDouble(); }), Cast("String", "Double"));
  EXPECT_EQ(TVariant("3.4028235e38").AsSingle(), std::numeric_limits<float>::max());
  EXPECT_EQ(VariantError([] { TVariant("3.5e38").AsSingle(); }), Overflow("String", "Single"));
  EXPECT_EQ(VariantError([] { TVariant(1e39).AsSingle(); }), Overflow("Double", "Single"));
  EXPECT_TRUE(std::isinf(TVariant(HUGE_VAL).AsSingle()));
}

TEST(Variant, NumbersBecomeShortestDecimalText) {
  EXPECT_EQ(TVariant(0.1).AsString(), "0.1");
  EXPECT_EQ(TVariant(-2.5).AsString(), "-2.5");
  EXPECT_EQ(TVariant(1e21).AsString(), "1e+21");
  EXPECT_EQ(TVariant(100.0).AsString(), "100");
  EXPECT_EQ(TVariant(0.1f).AsString(), "0.1");
  EXPECT_EQ(TVariant(std::numeric_limits<int64_t>::min()).AsString(), "-9223372036854775808");
  EXPECT_EQ(TVariant(std::numeric_limits<uint64_t>::max()).AsString(), "18446744073709551615");
  EXPECT_EQ(TVariant(int8_t(-7)).AsString(), "-7");
  EXPECT_EQ(TVariant(TCurrency::FromScaled(12345)).AsString(), "1.2345");
  EXPECT_EQ(TVariant(TCurrency::FromScaled(-15000)).AsString(), "-1.5");
  EXPECT_EQ(TVariant(TCurrency::FromScaled(10000)).AsString(), "1");
  EXPECT_EQ(TVariant(TCurrency::FromScaled(-5)).AsString(), "-0.0005");
  EXPECT_EQ(TVariant(TCurrency::FromScaled(std::numeric_limits<int64_t>::min())).AsString(),
            "-922337203685477.5808");
  EXPECT_EQ(TVariant(true).AsString(), "True");
  EXPECT_EQ(TVariant(false).AsString(), "False");
  EXPECT_EQ(TVariant().AsString(), "");
  EXPECT_EQ(VariantError([] { TVariant::Null().AsString(); }), Cast("Null", "String"));

  // Every value of these types survives a trip through text, type and all.
  const double smallest = std::numeric_limits<double>::denorm_min();
  const std::vector<TVariant> values = {
      TVariant(1.0 / 3), TVariant(smallest), TVariant(std::numeric_limits<double>::max()), TVariant(-0.0),
      TVariant(1.0f / 3), TVariant(std::numeric_limits<float>::max()), TVariant(std::numeric_limits<int64_t>::min()),
      TVariant(std::numeric_limits<uint64_t>::max()), TVariant(int8_t(-128)), TVariant(uint16_t(65535)),
      TVariant(TCurrency::FromScaled(std::numeric_limits<int64_t>::max())),
      TVariant(TCurrency::FromScaled(std::numeric_limits<int64_t>::min())), TVariant(TCurrency::FromScaled(-1)),
      TVariant(true), TVariant(false), TVariant(EncodeDateTime(2024, 2, 29, 23, 59, 59, 999)),
      TVariant(EncodeDateTime(1, 1, 1)), TVariant(EncodeDateTime(1899, 12, 29, 6)),
      TVariant(u"\u00e9t\u00e9 \U0001D11E")};
  for (const TVariant& v : values) {
    TVariant text = v.AsType(varString);
    ASSERT_EQ(text.VarType(), varString);
    TVariant back = text.AsType(v.VarType());
    EXPECT_EQ(back.VarType(), v.VarType()) << text.AsString();
    EXPECT_EQ(back, v) << text.AsString();
    EXPECT_EQ(back.AsString(), text.AsString());
  }
}

TEST(Variant, BooleansFromTextAndNumbers) {
  for (const char* yes : {"true", "TRUE", "True", "1", "-7", "0x10", " 2.5 "})
    EXPECT_TRUE(TVariant(yes).AsBoolean()) << yes;
  for (const char* no : {"false", "fAlSe", "0", "-0", "$0", "0.0"}) EXPECT_FALSE(TVariant(no).AsBoolean()) << no;
  EXPECT_EQ(VariantError([] { TVariant("yes").AsBoolean(); }), Cast("String", "Boolean"));
  EXPECT_EQ(VariantError([] { TVariant("").AsBoolean(); }), Cast("String", "Boolean"));
  EXPECT_TRUE(TVariant(-1).AsBoolean());
  EXPECT_FALSE(TVariant(0u).AsBoolean());
  EXPECT_TRUE(TVariant(0.25).AsBoolean());
  EXPECT_FALSE(TVariant(TCurrency()).AsBoolean());
  EXPECT_FALSE(TVariant().AsBoolean());
  EXPECT_EQ(VariantError([] { TVariant(TDateTime(1)).AsBoolean(); }), Cast("Date", "Boolean"));
  EXPECT_EQ(VariantError([] { TVariant(true).AsDateTime(); }), Cast("Boolean", "Date"));
  EXPECT_TRUE(TVariant(TVariant(true).AsString()).AsBoolean());
  EXPECT_FALSE(TVariant(TVariant(false).AsUnicodeString()).AsBoolean());
}

TEST(Variant, DateTimesEncodeDecodeAndText) {
  EXPECT_EQ(EncodeDateTime(1899, 12, 30).Value(), 0.0);
  EXPECT_EQ(EncodeDateTime(1900, 1, 1).Value(), 2.0);
  EXPECT_EQ(EncodeDateTime(2000, 1, 1, 12).Value(), 36526.5);
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6).Value(), -1.25);
  EXPECT_EQ(DecodeDateTime(TDateTime(-1.25)), (TDateTimeParts{1899, 12, 29, 6, 0, 0, 0}));
  EXPECT_EQ(DecodeDateTime(TDateTime(36526.5)), (TDateTimeParts{2000, 1, 1, 12, 0, 0, 0}));
  // A value a hair below midnight rounds into the next day.
  EXPECT_EQ(DecodeDateTime(TDateTime(36526.9999999999)), (TDateTimeParts{2000, 1, 2, 0, 0, 0, 0}));
  for (TDateTimeParts p : {TDateTimeParts{1, 1, 1, 0, 0, 0, 0}, TDateTimeParts{9999, 12, 31, 23, 59, 59, 999},
                           TDateTimeParts{2024, 2, 29, 13, 45, 30, 250}, TDateTimeParts{1600, 3, 1, 0, 0, 0, 1},
                           TDateTimeParts{1899, 12, 30, 23, 59, 59, 999}, TDateTimeParts{1066, 10, 14, 9, 30, 0, 0}})
    EXPECT_EQ(DecodeDateTime(EncodeDateTime(p)), p) << p.Year << "-" << p.Month << "-" << p.Day;
  for (TDateTimeParts bad : {TDateTimeParts{2023, 2, 29}, TDateTimeParts{2024, 13, 1}, TDateTimeParts{0, 1, 1},
                             TDateTimeParts{2024, 1, 1, 24}, TDateTimeParts{2024, 1, 1, 0, 60},
                             TDateTimeParts{2024, 1, 1, 0, 0, 0, 1000}, TDateTimeParts{2024, 4, 31}}) {
    TDateTime out;
    EXPECT_FALSE(TryEncodeDateTime(bad, out));
    EXPECT_THROW(EncodeDateTime(bad), EConvertError);
  }
  EXPECT_THROW(DecodeDateTime(TDateTime(1e10)), EConvertError);
  EXPECT_THROW(DecodeDateTime(TDateTime(std::nan(""))), EConvertError);

  EXPECT_EQ(DateTimeToISO8601(EncodeDateTime(2024, 2, 29, 13, 45, 30, 250)), "2024-02-29T13:45:30.250");
  EXPECT_EQ(DateTimeToISO8601(EncodeDateTime(2024, 2, 29)), "2024-02-29T00:00:00");
  EXPECT_EQ(ISO8601ToDateTime("2024-02-29T13:45:30.250"), EncodeDateTime(2024, 2, 29, 13, 45, 30, 250));
  EXPECT_EQ(ISO8601ToDateTime("2024-02-29"), EncodeDateTime(2024, 2, 29));
  EXPECT_EQ(ISO8601ToDateTime("2024-02-29 08:15"), EncodeDateTime(2024, 2, 29, 8, 15));
  EXPECT_EQ(ISO8601ToDateTime("2024-02-29T08:15:01.5"), EncodeDateTime(2024, 2, 29, 8, 15, 1, 500));
  EXPECT_EQ(ISO8601ToDateTime("2024-02-29T08:15:01.123999"), EncodeDateTime(2024, 2, 29, 8, 15, 1, 123));
  EXPECT_EQ(ISO8601ToDateTime("18:00").Value(), 0.75);
  for (const char* bad : {"2024-13-01", "2024-02-30", "2024-02-29T25:00", "2024-2-29", "2024-02-29Z",
                          "2024-02-29T10", "2024-02-29T10:00:00.", "24-02-29", "", "noon"}) {
    TDateTime out;
    EXPECT_FALSE(TryISO8601ToDateTime(bad, out)) << bad;
    EXPECT_THROW(ISO8601ToDateTime(bad), EConvertError) << bad;
  }

  TVariant moment(EncodeDateTime(2000, 1, 1, 12));
  EXPECT_EQ(moment.AsString(), "2000-01-01T12:00:00");
  EXPECT_EQ(moment.AsDouble(), 36526.5);
  EXPECT_EQ(TVariant("2000-01-01T12:00:00").AsDateTime(), moment.AsDateTime());
  EXPECT_EQ(TVariant(u"36526.5").AsDateTime().Value(), 36526.5);
  EXPECT_EQ(TVariant(36526).AsDateTime().Value(), 36526.0);
  EXPECT_EQ(VariantError([] { TVariant("2000-01-32").AsDateTime(); }), Cast("String", "Date"));
  EXPECT_EQ(VariantError([] { TVariant(TDateTime(1e12)).AsString(); }), Cast("Date", "String"));
}

TEST(Variant, CurrencyConvertsExactly) {
  EXPECT_EQ(TVariant(0.1).AsCurrency().Scaled(), 1000);
  EXPECT_EQ(TVariant("0.1").AsCurrency().Scaled(), 1000);
  EXPECT_EQ(TVariant("0.00005").AsCurrency().Scaled(), 0);
  EXPECT_EQ(TVariant("0.00015").AsCurrency().Scaled(), 2);
  EXPECT_EQ(TVariant("0.000050001").AsCurrency().Scaled(), 1);
  EXPECT_EQ(TVariant("-1.23456").AsCurrency().Scaled(), -12346);
  EXPECT_EQ(TVariant("922337203685477.5807").AsCurrency().Scaled(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(TVariant("-922337203685477.5808").AsCurrency().Scaled(), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(VariantError([] { TVariant("922337203685477.5808").AsCurrency(); }), Overflow("String", "Currency"));
  EXPECT_EQ(TVariant("1e2").AsCurrency().Scaled(), 1000000);
  EXPECT_EQ(TVariant("$10").AsCurrency().Scaled(), 160000);
  EXPECT_EQ(TVariant(7).AsCurrency().Scaled(), 70000);
  EXPECT_EQ(VariantError([] { TVariant(int64_t(1) << 60).AsCurrency(); }), Overflow("Int64", "Currency"));
  EXPECT_EQ(VariantError([] { TVariant("1.2.3").AsCurrency(); }), Cast("String", "Currency"));
  EXPECT_EQ(TCurrency::FromDouble(-2.00005).Scaled(), -20000);
  EXPECT_THROW(TCurrency::FromDouble(1e300), EVariantError);
  EXPECT_THROW(TCurrency::FromDouble(std::nan("")), EVariantError);
  EXPECT_EQ(TVariant(TCurrency::FromScaled(12345)).AsDouble(), 1.2345);
}

TEST(Variant, Utf8AndUtf16Conversions) {
  const char* utf8 = "a\u00e9\u20ac\U0001D11E";
  const std::u16string utf16 = u"a\u00e9\u20ac\xD834\xDD1E";
  EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
  EXPECT_EQ(Utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\xDBFF\xDFFF");  // U+10FFFF

  // Ill-formed UTF-8: one U+FFFD per maximal ill-formed subsequence.
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");          // overlong lead, stray continuation
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD");                // cut short at the end
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82" "A"), u"\uFFFDA");           // cut short before ASCII
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // beyond U+10FFFF
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xFFx\x80"), u"\uFFFDx\uFFFD");
  // Unpaired surrogates in UTF-16.
  EXPECT_EQ(Utf16ToUtf8(u"\xD800" u"a"), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(Utf16ToUtf8(u"a\xDC00"), "a\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(u"\xDC00\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");

  EXPECT_EQ(TVariant(utf16).AsString(), utf8);
  EXPECT_EQ(TVariant(utf8).AsUnicodeString(), utf16);
  EXPECT_EQ(TVariant::OleStr(utf16).AsString(), utf8);
  EXPECT_EQ(TVariant(utf8).AsType(varOleStr).VarType(), varOleStr);
  EXPECT_EQ(TVariant(3.25).AsUnicodeString(), u"3.25");
  EXPECT_EQ(VariantError([] { TVariant::Null().AsUnicodeString(); }), Cast("Null", "UnicodeString"));
}

TEST(Variant, ByteArraysConvertOnlyToBytes) {
  const uint8_t raw[] = {0, 1, 0xFF};
  TVariant bytes = TVariant::Bytes(raw, sizeof raw);
  EXPECT_EQ(bytes.VarType(), varByteArray);
  EXPECT_EQ(bytes.AsBytes(), (std::vector<uint8_t>{0, 1, 0xFF}));
  EXPECT_EQ(bytes, TVariant(std::vector<uint8_t>{0, 1, 0xFF}));
  EXPECT_NE(bytes, TVariant(std::vector<uint8_t>{0, 1}));
  EXPECT_LT(TVariant(std::vector<uint8_t>{0, 1}), bytes);
  EXPECT_NE(bytes, TVariant(String("\0\1\xFF", 3)));
  EXPECT_TRUE(TVariant().AsBytes().empty());
  EXPECT_EQ(VariantError([&] { bytes.AsString(); }), Cast("Array Byte", "String"));
  EXPECT_EQ(VariantError([&] { bytes.AsInteger(); }), Cast("Array Byte", "Integer"));
  EXPECT_EQ(VariantError([] { TVariant("abc").AsBytes(); }), Cast("String", "Array Byte"));
  EXPECT_EQ(bytes.AsType(varByteArray), bytes);
  EXPECT_EQ(VariantError([&] { bytes.AsType(varArray); }), "Invalid variant type code 8192");
}

TEST(Variant, ComparesByValueAcrossTypes) {
  const TVariant five(5);
  for (const TVariant& same : {TVariant(5.0), TVariant(uint8_t(5)), TVariant(int64_t(5)), TVariant("5"),
                               TVariant(u" 5 "), TVariant("0x5"), TVariant("5.0"), TVariant(5.0f),
                               TVariant(TCurrency::FromScaled(50000))}) {
    EXPECT_EQ(five, same);
    EXPECT_EQ(same, five);
  }
  for (const TVariant& other : {TVariant(5.5), TVariant("abc"), TVariant(""), TVariant(TCurrency::FromScaled(50001)),
                                TVariant(), TVariant::Null(), TVariant(std::vector<uint8_t>{5})})
    EXPECT_NE(five, other);

  // Exact across integer and floating-point types, also where a double cannot hold the integer.
  EXPECT_NE(TVariant(int64_t(1) << 53 | 1), TVariant(9007199254740992.0));
  EXPECT_LT(TVariant(9007199254740992.0), TVariant(int64_t(1) << 53 | 1));
  EXPECT_LT(TVariant(int64_t(-1)), TVariant(std::numeric_limits<uint64_t>::max()));
  EXPECT_GT(TVariant(18446744073709551616.0), TVariant(std::numeric_limits<uint64_t>::max()));
  EXPECT_LT(TVariant(-0.5), TVariant(0));
  EXPECT_GT(TVariant(TCurrency::FromScaled(1)), TVariant(0));
  EXPECT_LT(TVariant(1), TVariant("2.5"));
  EXPECT_FALSE(TVariant(std::nan("")) == TVariant(std::nan("")));

  // Text by content, case-sensitively, in code point order whatever the encoding.
  EXPECT_EQ(TVariant("abc"), TVariant(u"abc"));
  EXPECT_EQ(TVariant::OleStr(u"\U0001D11E"), TVariant("\U0001D11E"));
  EXPECT_NE(TVariant("abc"), TVariant("ABC"));
  EXPECT_LT(TVariant(u"\uFF61"), TVariant(u"\U0001D11E"));
  EXPECT_LT(TVariant("\uFF61"), TVariant(u"\U0001D11E"));
  EXPECT_LT(TVariant(u"ab"), TVariant(u"abc"));
  EXPECT_NE(TVariant("10"), TVariant("10.0"));  // two texts compare as texts

  // Booleans against whatever reads as a boolean.
  for (const TVariant& yes : {TVariant("1"), TVariant("True"), TVariant(2), TVariant(u"true"), TVariant(true)})
    EXPECT_EQ(TVariant(true), yes);
  EXPECT_EQ(TVariant(false), TVariant("0"));
  EXPECT_NE(TVariant(true), TVariant("maybe"));
  EXPECT_LT(TVariant(false), TVariant(true));

  // Date-times against ISO text and numbers of days.
  TVariant noon(EncodeDateTime(2000, 1, 1, 12));
  EXPECT_EQ(noon, TVariant("2000-01-01T12:00:00"));
  EXPECT_EQ(noon, TVariant(36526.5));
  EXPECT_LT(noon, TVariant("2000-01-02"));
  EXPECT_NE(noon, TVariant(true));

  EXPECT_EQ(TVariant(), TVariant());
  EXPECT_EQ(TVariant::Null(), TVariant::Null());
  EXPECT_NE(TVariant(), TVariant::Null());
  EXPECT_NE(TVariant(), TVariant(0));
}

TEST(Variant, AsTypeConvertsToEveryCode) {
  TVariant v("42");
  for (TVarType t : {varSmallint, varInteger, varSingle, varDouble, varCurrency, varShortInt, varByte, varWord,
                     varLongWord, varInt64, varUInt64, varString, varUString, varOleStr, varBoolean, varDate}) {
    TVariant c = v.AsType(t);
    EXPECT_EQ(c.VarType(), t);
    if (t == varBoolean)
      EXPECT_TRUE(c.AsBoolean());
    else
      EXPECT_EQ(c.AsInteger(), 42) << VarTypeName(t);
  }
  EXPECT_TRUE(v.AsType(varNull).IsNull());
  EXPECT_TRUE(v.AsType(varEmpty).IsEmpty());
  EXPECT_EQ(VariantError([] { TVariant(300).AsType(varByte); }), Overflow("Integer", "Byte"));
  EXPECT_TRUE(TVariant(3).IsNumeric());
  EXPECT_TRUE(TVariant(TCurrency()).IsNumeric());
  EXPECT_FALSE(TVariant(true).IsNumeric());
  EXPECT_FALSE(TVariant("3").IsNumeric());
  EXPECT_TRUE(TVariant::OleStr(u"").IsString());
}
