#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>

#include "BufferTesting.h"

namespace fundrel::testing {
namespace {

using RealBufferTest = BufferTest;

TGVRealBufferRef Values(std::vector<double> AValues) {
  return TGVRealBuffer::CreateData(AValues.data(), static_cast<uint32_t>(AValues.size()));
}

std::vector<double> Elements(const TGVRealBufferRef& ABuffer) {
  return std::vector<double>(ABuffer->Read(), ABuffer->Read() + ABuffer->GetSize());
}

void ExpectNear(const std::vector<double>& AActual, const std::vector<double>& AExpected, double ATolerance,
                const char* AWhat) {
  ASSERT_EQ(AActual.size(), AExpected.size()) << AWhat;
  for (size_t i = 0; i < AActual.size(); ++i)
    EXPECT_NEAR(AActual[i], AExpected[i], ATolerance * std::max(1.0, std::fabs(AExpected[i]))) << AWhat << " at " << i;
}

TEST_F(RealBufferTest, ConstructorsFromEverySourceType) {
  const uint8_t bytes[] = {0, 128, 255};
  ExpectNear(Elements(TGVRealBuffer::CreateByteData(bytes, 3, 255.0)), {0.0, 128.0 / 255, 1.0}, 1e-15, "bytes/255");
  EXPECT_EQ(Elements(TGVRealBuffer::CreateByteData(bytes, 3, 1.0)), (std::vector<double>{0, 128, 255}));
  const uint16_t words[] = {65535, 2};
  EXPECT_EQ(Elements(TGVRealBuffer::CreateWordData(words, 2, 2.0)), (std::vector<double>{32767.5, 1}));
  const int16_t shorts[] = {-32768, 7};
  EXPECT_EQ(Elements(TGVRealBuffer::CreateSmallIntData(shorts, 2, 1.0)), (std::vector<double>{-32768, 7}));
  EXPECT_EQ(Elements(TGVRealBuffer::CreateSmallIntData(shorts, 2, -2.0)), (std::vector<double>{16384, -3.5}));
  const uint32_t cardinals[] = {4294967295u};
  EXPECT_EQ(TGVRealBuffer::CreateCardinalData(cardinals, 1, 1.0)->GetItem(0), 4294967295.0);
  const int32_t ints[] = {-5, INT32_MIN};
  EXPECT_EQ(Elements(TGVRealBuffer::CreateIntegerData(ints, 2, 1.0)), (std::vector<double>{-5, -2147483648.0}));
  EXPECT_EQ(Elements(TGVRealBuffer::CreateIntegerData(ints, 2, 10.0)), (std::vector<double>{-0.5, -214748364.8}));
  const int64_t longs[] = {-(int64_t(1) << 40), 3};
  EXPECT_EQ(Elements(TGVRealBuffer::CreateInt64Data(longs, 2, 1.0)), (std::vector<double>{-1099511627776.0, 3}));
  EXPECT_EQ(Elements(TGVRealBuffer::CreateInt64Data(longs, 2, 4.0)), (std::vector<double>{-274877906944.0, 0.75}));
  const uint64_t ulongs[] = {uint64_t(1) << 63, 5};
  EXPECT_EQ(TGVRealBuffer::CreateUInt64Data(ulongs, 2, 1.0)->GetItem(0), 9.223372036854775808e18);
  EXPECT_EQ(TGVRealBuffer::CreateUInt64Data(ulongs, 2, 2.0)->GetItem(0), 4.611686018427387904e18)
      << "unsigned before dividing";
  const float singles[] = {0.5f, -1.25f};
  EXPECT_EQ(Elements(TGVRealBuffer::CreateSingleData(singles, 2)), (std::vector<double>{0.5, -1.25}));
  EXPECT_EQ(Elements(TGVRealBuffer::CreateData(nullptr, 2)), (std::vector<double>{0, 0}));
  EXPECT_EQ(Elements(TGVRealBuffer::CreateValue(2.5, 3)), (std::vector<double>{2.5, 2.5, 2.5}));
  EXPECT_EQ(Elements(TGVRealBuffer::CreateArrayList(TArrayList<double>{3, 1, 2})), (std::vector<double>{3, 1, 2}));
  EXPECT_EQ(TGVRealBuffer::Create()->GetSize(), 0u);

  TGVRealBufferRef source = Values({4, 5});
  TGVRealBufferRef universal = TGVRealBuffer::CreateUniversal(source);
  EXPECT_EQ(StorageOf(universal), StorageOf(source));
  TGVRealBufferRef copy = TGVRealBuffer::CreateCopy(source);
  EXPECT_EQ(StorageOf(copy), StorageOf(source));
  EXPECT_EQ(StorageOf(source)->GetCountOwners(), 3);
}

TEST_F(RealBufferTest, ElementAccessIsCheckedAndEnumerable) {
  TGVRealBufferRef a = Values({1, 2, 3});
  try {
    a->GetItem(3);
    ADD_FAILURE() << "no exception";
  } catch (const ERangeError& e) {
    EXPECT_STREQ(e.what(), "Index out of range = 3");
  }
  EXPECT_THROW(a->SetItem(7, 0), ERangeError);
  a->SetItem(2, 30);
  double sum = 0;
  for (double v : a->GetEnumerator()) sum += v;
  EXPECT_EQ(sum, 33.0);
  TGVBufferEnumerator<double> e = a->GetEnumerator();
  std::vector<double> seen;
  while (e.MoveNext()) seen.push_back(e.GetCurrent());
  EXPECT_EQ(seen, (std::vector<double>{1, 2, 30}));
}

TEST_F(RealBufferTest, BinaryOperationsWorkOnTheCommonLength) {
  const std::vector<double> self = {10, -20, 30, 40, 50}, right = {2, 4, -5};
  struct TCase {
    const char* Name;
    std::function<void(const TGVRealBufferRef&, const TGVRealBufferRef&)> Op;
    std::function<double(double, double)> Model;
  };
  const TCase cases[] = {
      {"Add", [](auto& a, auto& b) { a->Add(b); }, std::plus<double>()},
      {"Subtract", [](auto& a, auto& b) { a->Subtract(b); }, std::minus<double>()},
      {"Multiply", [](auto& a, auto& b) { a->Multiply(b); }, std::multiplies<double>()},
      {"Divide", [](auto& a, auto& b) { a->Divide(b); }, std::divides<double>()},
  };
  for (const TCase& c : cases) {
    TGVRealBufferRef shorter = Values(right);
    TGVRealBufferRef a = Values(self);
    c.Op(a, shorter);
    std::vector<double> expected = self;
    for (size_t i = 0; i < right.size(); ++i) expected[i] = c.Model(self[i], right[i]);
    EXPECT_EQ(Elements(a), expected) << c.Name << " into a longer buffer";
    TGVRealBufferRef b = Values(right);
    c.Op(b, Values(self));
    EXPECT_EQ(b->GetSize(), 3u) << c.Name;
  }
  EXPECT_EQ(Values({1, 2})->Dot(Values({3, 4, 100})), 11.0);
  EXPECT_EQ(TGVRealBuffer::Create()->Dot(Values({1})), 0.0);
  EXPECT_THROW(Values({1})->Add(TGVRealBufferRef()), EGVException);
}

TEST_F(RealBufferTest, ZeroDivisorsGiveLargeFiniteMarks) {
  TGVRealBufferRef a = Values({6, -6, 0, 8});
  a->Divide(Values({0, 0, 0, 2}));
  EXPECT_EQ(Elements(a), (std::vector<double>{1e15, -1e14, -1e14, 4}));
}

TEST_F(RealBufferTest, ValueFormsSkipNeutralValuesWithoutCopying) {
  TGVRealBufferRef a = Values({1, 2});
  TGVRealBufferRef shared = TGVRealBuffer::CreateCopy(a);
  TGVSmartBuffer* storage = StorageOf(a);
  a->AddValue(0);
  a->SubtractValue(0);
  a->MultiplyValue(1);
  a->DivideValue(1);
  a->DivideValue(0);
  EXPECT_EQ(StorageOf(a), storage) << "a neutral value must not copy a shared buffer";
  a->AddValue(1);
  a->MultiplyValue(3);
  a->SubtractValue(0.5);
  a->DivideValue(2);
  EXPECT_EQ(Elements(a), (std::vector<double>{2.75, 4.25}));
  EXPECT_EQ(Elements(shared), (std::vector<double>{1, 2}));
  a->SetValue(-1);
  EXPECT_TRUE(a->IsEqualToValue(-1));
  a->Zero();
  EXPECT_TRUE(a->IsEqualToValue(0));
  EXPECT_TRUE(TGVRealBuffer::Create()->IsEqualToValue(5)) << "empty";
  EXPECT_FALSE(Values({NAN})->IsEqualToValue(NAN));
  EXPECT_FALSE(Values({1})->IsEqualToValue(NAN));
}

TEST_F(RealBufferTest, ElementFunctionsInPlaceAndFromASource) {
  const std::vector<double> x = {0.25, 1, 2.5, 9};
  struct TCase {
    const char* Name;
    void (IGVRealBuffer::*InPlace)();
    void (IGVRealBuffer::*From)(const TGVRealBufferRef&);
    double (*Model)(double);
  };
  const TCase cases[] = {
      {"Sqr", &IGVRealBuffer::Sqr, &IGVRealBuffer::SqrFrom, [](double v) { return v * v; }},
      {"Sqrt", &IGVRealBuffer::Sqrt, &IGVRealBuffer::SqrtFrom, [](double v) { return std::sqrt(v); }},
      {"Abs", &IGVRealBuffer::Abs, &IGVRealBuffer::AbsFrom, [](double v) { return std::fabs(-v); }},
      {"Exp", &IGVRealBuffer::Exp, &IGVRealBuffer::ExpFrom, [](double v) { return std::exp(v); }},
      {"Ln", &IGVRealBuffer::Ln, &IGVRealBuffer::LnFrom, [](double v) { return std::log(v); }},
  };
  for (const TCase& c : cases) {
    std::vector<double> input = x;
    if (c.InPlace == &IGVRealBuffer::Abs)
      for (double& v : input) v = -v;
    std::vector<double> expected;
    for (double v : x) expected.push_back(c.Model(v));
    TGVRealBufferRef a = Values(input);
    ((*a).*c.InPlace)();
    ExpectNear(Elements(a), expected, 1e-15, c.Name);
    // From a 4-element source into a shared 6-element buffer: Write clones without copying, so
    // the two elements beyond the common length are zero.
    TGVRealBufferRef target = Values({7, 7, 7, 7, 7, 7});
    TGVRealBufferRef keep = TGVRealBuffer::CreateCopy(target);
    ((*target).*c.From)(Values(input));
    expected.push_back(0);
    expected.push_back(0);
    ExpectNear(Elements(target), expected, 1e-15, c.Name);
    EXPECT_TRUE(keep->IsEqualToValue(7)) << c.Name;
  }
}

TEST_F(RealBufferTest, NormalizeThresholdAndNorms) {
  TGVRealBufferRef a = Values({1, 3, 5});
  TGVRealBufferRef shared = TGVRealBuffer::CreateCopy(a);
  a->Normalize(1, 2);
  EXPECT_EQ(Elements(a), (std::vector<double>{0, 1, 2}));
  EXPECT_EQ(Elements(shared), (std::vector<double>{1, 3, 5}));
  TGVRealBufferRef b = TGVRealBuffer::CreateSize(2);
  b->NormalizeFrom(shared, 0, -1);
  EXPECT_EQ(Elements(b), (std::vector<double>{-1, -3}));

  TGVRealBufferRef t = Values({-2, 0, 2});
  t->Threshold(1, TGVThresholdType::ttGreaterThan);
  EXPECT_EQ(Elements(t), (std::vector<double>{-2, 0, 1}));
  t->Threshold(-1, TGVThresholdType::ttLessThan);
  EXPECT_EQ(Elements(t), (std::vector<double>{-1, 0, 1}));
  TGVRealBufferRef from = TGVRealBuffer::CreateSize(2);
  from->ThresholdFrom(Values({5, -5, 9}), 0, TGVThresholdType::ttLessThan);
  EXPECT_EQ(Elements(from), (std::vector<double>{5, 0}));

  TGVRealBufferRef self = Values({1, 2, 3});
  TGVRealBufferRef other = Values({2, 0, 3, 100});
  EXPECT_DOUBLE_EQ(self->Norm(other, TGVNormType::ntL1Norm), 3.0);
  EXPECT_DOUBLE_EQ(self->Norm(other, TGVNormType::ntL2Norm), std::sqrt(5.0));
  EXPECT_DOUBLE_EQ(self->Norm(other, TGVNormType::ntCNorm), 2.0);
}

TEST_F(RealBufferTest, StatisticsAndRanges) {
  TGVRealBufferRef a = Values({4, -1, 7, 0, 7, -3, 2, 9, -8, 5});
  EXPECT_DOUBLE_EQ(a->Mean(), 2.2);
  double mean = 2.2, ss = 0;
  for (double v : Elements(a)) ss += (v - mean) * (v - mean);
  EXPECT_NEAR(a->StdDev(), std::sqrt(ss / 9), 1e-12);
  EXPECT_EQ(a->GetMinValue(), -8.0);
  EXPECT_EQ(a->GetMaxValue(), 9.0);
  int32_t index = -1;
  EXPECT_EQ(a->GetMaxIndex(index), 9.0);
  EXPECT_EQ(index, 7);
  EXPECT_EQ(a->GetMinIndex(index), -8.0);
  EXPECT_EQ(index, 8);
  EXPECT_EQ(a->GetMin(-5, 100), -8.0) << "clamped to the whole buffer";
  EXPECT_EQ(a->GetMax(0, 7), 7.0) << "the end is exclusive";
  EXPECT_EQ(a->GetMin(2, 5), 0.0);
  EXPECT_EQ(a->GetMax(20, 100), 5.0) << "a begin past the end becomes the last element";
  EXPECT_EQ(a->GetMinRestricted(2, 2), 7.0) << "the end is inclusive";
  EXPECT_EQ(a->GetMaxRestricted(-3, 99), 9.0);
  EXPECT_EQ(a->GetMinRestricted(5, 2), 0.0) << "an empty range";

  TGVRealBufferRef empty = TGVRealBuffer::Create();
  index = 5;
  EXPECT_EQ(empty->GetMaxIndex(index), 0.0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(empty->GetMinValue(), 0.0);
  EXPECT_EQ(empty->GetMax(0, 10), 0.0);
  EXPECT_EQ(empty->GetMinRestricted(0, 10), 0.0);
}

TEST_F(RealBufferTest, RestrictedStatisticsSkipMissingDataMarks) {
  EXPECT_EQ(Values({DBL_MAX, 5, 3})->GetMinRestricted(0, 2), 0.0) << "a leading mark seeds 0.0";
  EXPECT_EQ(Values({5, DBL_MAX, 3})->GetMinRestricted(0, 2), 3.0);
  EXPECT_EQ(Values({-DBL_MAX, 5, 3})->GetMinRestricted(0, 2), 0.0);
  EXPECT_EQ(Values({-5, -DBL_MAX, -3})->GetMaxRestricted(0, 2), -3.0);
  EXPECT_EQ(Values({-DBL_MAX, -5, -3})->GetMaxRestricted(0, 2), 0.0);
  EXPECT_EQ(Values({1, NAN, 0.5})->GetMinRestricted(0, 2), 0.5) << "NaN is never taken";
  EXPECT_EQ(Values({-DBL_MAX, DBL_MAX})->GetMaxRestricted(0, 1), 0.0);
}

TEST_F(RealBufferTest, ConversionsRoundSaturateAndWrap) {
  TGVRealBufferRef a = Values({40000.0, 3e9, -2.5, 2.5, -1.7, 1e20, NAN});
  std::vector<int16_t> shorts(7);
  a->ToShort(shorts.data(), true);
  EXPECT_EQ(shorts[0], -25536) << "the low 16 bits, no saturation";
  EXPECT_EQ(shorts[2], -2) << "ties to even";
  EXPECT_EQ(shorts[3], 2);
  EXPECT_EQ(shorts[4], -2);
  a->ToShort(shorts.data(), false);
  EXPECT_EQ(shorts[4], -1) << "toward zero";
  EXPECT_EQ(shorts[5], 0) << "1e20 is a multiple of 2^20";
  EXPECT_EQ(shorts[6], 0) << "NaN";
  std::vector<int32_t> ints(7);
  a->ToInt(ints.data(), true);
  EXPECT_EQ(ints[1], 2147483647);
  EXPECT_EQ(ints[4], -2);
  a->ToInt(ints.data(), false);
  EXPECT_EQ(ints[4], -1);
  std::vector<float> singles(7);
  a->ToSingle(singles.data());
  EXPECT_EQ(singles[2], -2.5f);

  TGVRealBufferRef b = TGVRealBuffer::CreateSize(2);
  const int32_t i32[] = {-7, 8};
  b->FromInt(i32);
  EXPECT_EQ(Elements(b), (std::vector<double>{-7, 8}));
  const int16_t i16[] = {-32768, 1};
  b->FromShort(i16);
  EXPECT_EQ(Elements(b), (std::vector<double>{-32768, 1}));
  const float f32[] = {0.25f, 4};
  b->FromSingle(f32);
  EXPECT_EQ(Elements(b), (std::vector<double>{0.25, 4}));
}

TEST_F(RealBufferTest, CorrelationAndConvolution) {
  const std::vector<double> x = {1, 2, 3, 4}, h = {1, 0, -1};
  TGVRealBufferRef c = TGVRealBuffer::CreateSize(1);
  c->Convolve(Values(x), Values(h));
  EXPECT_EQ(Elements(c), (std::vector<double>{1, 2, 2, 2, -3, -4}));
  TGVRealBufferRef self = Values(x);
  self->Convolve(self, Values({1, 1}));
  EXPECT_EQ(Elements(self), (std::vector<double>{1, 3, 5, 7, 4})) << "a source that is the target itself";
  TGVRealBufferRef none = Values({1});
  none->Convolve(TGVRealBuffer::Create(), Values(h));
  EXPECT_EQ(none->GetSize(), 0u);

  // Autocorrelation r[k] = sum x[i] x[i+k], biased / N, unbiased / (N - k).
  const double r[] = {30, 20, 11, 4};
  for (auto type : {TGVAutoCorrType::actNormal, TGVAutoCorrType::actBiased, TGVAutoCorrType::actUnbiased}) {
    TGVRealBufferRef a = TGVRealBuffer::CreateSize(4);
    a->AutoCorr(Values(x), type);
    for (int k = 0; k < 4; ++k) {
      double expected = type == TGVAutoCorrType::actNormal ? r[k]
                        : type == TGVAutoCorrType::actBiased ? r[k] / 4
                                                             : r[k] / (4 - k);
      EXPECT_NEAR(a->GetItem(k), expected, 1e-12) << "type " << int(type) << " lag " << k;
    }
  }
  // Cross-correlation over lags 0..2: sum src1[i] * src2[i + lag].
  TGVRealBufferRef cc = TGVRealBuffer::CreateSize(3);
  cc->CrossCorr(Values({1, 2}), Values({1, 1, 2, 3}), 0);
  EXPECT_EQ(Elements(cc), (std::vector<double>{3, 5, 8}));
}

}  // namespace
}  // namespace fundrel::testing
