#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "buffers/BufferTesting.h"
#include "host/Quenra.SysUtils.h"

namespace fundrel::testing {
namespace {

using Model = std::vector<std::complex<double>>;

class ComplexBufferTest : public BufferTest {};

Model RandomModel(size_t ASize, unsigned ASeed) {
  std::mt19937 gen(ASeed);
  std::uniform_real_distribution<double> dist(-4.0, 4.0);
  Model result(ASize);
  for (auto& z : result) z = {dist(gen), dist(gen)};
  return result;
}

TGVComplexBufferRef BufferOf(const Model& AModel) {
  std::vector<TComplex> data;
  for (const auto& z : AModel) data.emplace_back(z);
  return TGVComplexBuffer::CreateData(data.data(), static_cast<uint32_t>(data.size()));
}

double MaxDiff(const TGVComplexBufferRef& ABuffer, const Model& AModel) {
  EXPECT_EQ(ABuffer->GetSize(), AModel.size());
  double diff = 0.0;
  for (uint32_t i = 0; i < ABuffer->GetSize() && i < AModel.size(); ++i)
    diff = std::max(diff, std::abs(std::complex<double>(ABuffer->GetItem(i)) - AModel[i]));
  return diff;
}

TEST_F(ComplexBufferTest, CreateBuffersPadsTheMissingPartWithZero) {
  auto three = TGVRealBuffer::CreateData(std::vector<double>{1, 2, 3}.data(), 3);
  auto five = TGVRealBuffer::CreateData(std::vector<double>{10, 20, 30, 40, 50}.data(), 5);

  auto shortReal = TGVComplexBuffer::CreateBuffers(three, five);
  ASSERT_EQ(shortReal->GetSize(), 5u);
  EXPECT_EQ(shortReal->GetItem(2), TComplex(3, 30));
  EXPECT_EQ(shortReal->GetItem(3), TComplex(0, 40));
  EXPECT_EQ(shortReal->GetItem(4), TComplex(0, 50));

  auto shortImag = TGVComplexBuffer::CreateBuffers(five, three);
  ASSERT_EQ(shortImag->GetSize(), 5u);
  EXPECT_EQ(shortImag->GetItem(0), TComplex(10, 1));
  EXPECT_EQ(shortImag->GetItem(4), TComplex(50, 0));

  // SetBuffer keeps only the common length, even over a longer buffer.
  auto target = TGVComplexBuffer::CreateValue(7.0, 7.0, 8);
  target->SetBuffer(three, five);
  ASSERT_EQ(target->GetSize(), 3u);
  EXPECT_EQ(target->GetItem(0), TComplex(1, 10));
  EXPECT_EQ(target->GetItem(2), TComplex(3, 30));
}

TEST_F(ComplexBufferTest, MeanAveragesTheMagnitudeOfEachPart) {
  TComplex data[] = {{1, -2}, {-3, 4}};
  EXPECT_EQ(TGVComplexBuffer::CreateData(data, 2)->Mean(), TComplex(2, 3));
}

TEST_F(ComplexBufferTest, BinaryOperationsFollowTheModelOverTheCommonLength) {
  const Model a = RandomModel(7, 1), b = RandomModel(4, 2);
  using Op = void (IGVComplexBuffer::*)(const TGVComplexBufferRef&);
  const std::pair<Op, std::complex<double> (*)(std::complex<double>, std::complex<double>)> ops[] = {
      {&IGVComplexBuffer::Add, [](auto x, auto y) { return x + y; }},
      {&IGVComplexBuffer::Subtract, [](auto x, auto y) { return x - y; }},
      {&IGVComplexBuffer::Multiply, [](auto x, auto y) { return x * y; }},
      {&IGVComplexBuffer::Divide, [](auto x, auto y) { return x / y; }},
  };
  for (const auto& [op, fn] : ops) {
    // Longer Self: only the first 4 elements change.
    Model expected = a;
    for (size_t i = 0; i < b.size(); ++i) expected[i] = fn(a[i], b[i]);
    auto self = BufferOf(a);
    ((*self).*op)(BufferOf(b));
    EXPECT_LT(MaxDiff(self, expected), 1e-12);

    // Shorter Self: the extra elements of the operand are ignored.
    expected = b;
    for (size_t i = 0; i < b.size(); ++i) expected[i] = fn(b[i], a[i]);
    self = BufferOf(b);
    ((*self).*op)(BufferOf(a));
    EXPECT_LT(MaxDiff(self, expected), 1e-12);
  }
}

TEST_F(ComplexBufferTest, ValueOperationsAndFunctionsFollowTheModel) {
  const Model a = RandomModel(9, 3);
  const std::complex<double> v(1.5, -0.5);
  auto expect = [&](auto AOp, auto AFn) {
    Model expected = a;
    for (auto& z : expected) z = AFn(z);
    auto self = BufferOf(a);
    AOp(self);
    EXPECT_LT(MaxDiff(self, expected), 1e-12);
  };
  expect([&](auto& b) { b->AddValue(v.real(), v.imag()); }, [&](auto z) { return z + v; });
  expect([&](auto& b) { b->SubtractValue(v.real(), v.imag()); }, [&](auto z) { return z - v; });
  expect([&](auto& b) { b->MultiplyValue(v.real(), v.imag()); }, [&](auto z) { return z * v; });
  expect([&](auto& b) { b->DivideValue(v.real(), v.imag()); }, [&](auto z) { return z / v; });
  expect([&](auto& b) { b->Sqr(); }, [&](auto z) { return z * z; });
  expect([&](auto& b) { b->Sqrt(); }, [&](auto z) { return std::sqrt(z); });
  expect([&](auto& b) { b->Normalize(TComplex(v), 4.0); }, [&](auto z) { return (z - v) / 4.0; });
  expect([&](auto& b) { b->SqrFrom(BufferOf(a)); }, [&](auto z) { return z * z; });
  expect([&](auto& b) { b->SetValue(TComplex(v)); }, [&](auto) { return v; });
  expect([&](auto& b) { b->Zero(); }, [&](auto) { return std::complex<double>(); });

  // Dot does not conjugate and stops at the common length.
  const Model b = RandomModel(5, 4);
  std::complex<double> dot;
  for (size_t i = 0; i < b.size(); ++i) dot += a[i] * b[i];
  const TComplex got = BufferOf(a)->Dot(BufferOf(b));
  EXPECT_LT(std::abs(std::complex<double>(got) - dot), 1e-12);
}

TEST_F(ComplexBufferTest, PartsAndSpectraAreRealBuffersOfTheSameSize) {
  const Model a = RandomModel(6, 5);
  auto buffer = BufferOf(a);
  auto re = buffer->GetReal(), im = buffer->GetImaginary();
  auto mag = buffer->Magnitude(), phase = buffer->Phase(), power = buffer->PowerSpectrum();
  for (const auto& part : {re, im, mag, phase, power}) ASSERT_EQ(part->GetSize(), a.size());
  for (uint32_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(re->GetItem(i), a[i].real());
    EXPECT_EQ(im->GetItem(i), a[i].imag());
    EXPECT_NEAR(mag->GetItem(i), std::abs(a[i]), 1e-12);
    EXPECT_NEAR(phase->GetItem(i), std::arg(a[i]), 1e-12);
    EXPECT_NEAR(power->GetItem(i), std::norm(a[i]), 1e-12);
  }
}

// The distance of AGot from the lag sum under either conjugation convention.
double LagDiff(const TComplex& AGot, const std::complex<double>& APlain, const std::complex<double>& AConj) {
  const std::complex<double> got(AGot);
  return std::min(std::abs(got - APlain), std::abs(got - AConj));
}

TEST_F(ComplexBufferTest, CorrelationsMatchNaiveLagSums) {
  const Model a = RandomModel(6, 6), b = RandomModel(4, 7);
  const Model head(a.begin(), a.begin() + 4);
  // AutoCorr reads GetSize() elements of the source (the first 4 of a) and fills the common
  // length; a source that is the buffer itself must be read before it is overwritten, whether
  // the storage is private or shared.
  auto fresh = TGVComplexBuffer::CreateSize(4);
  fresh->AutoCorr(BufferOf(a), TGVAutoCorrType::actNormal);
  auto solo = BufferOf(head);
  solo->AutoCorr(solo, TGVAutoCorrType::actNormal);
  auto shared = BufferOf(head);
  auto keep = TGVComplexBuffer::CreateUniversal(shared->MakeCopy());
  shared->AutoCorr(shared, TGVAutoCorrType::actNormal);
  for (size_t lag = 0; lag < 4; ++lag) {
    std::complex<double> plain, conj;
    for (size_t i = 0; i + lag < 4; ++i) {
      plain += a[i] * a[i + lag];
      conj += std::conj(a[i]) * a[i + lag];
    }
    for (const auto& got : {fresh, solo, shared}) EXPECT_LT(LagDiff(got->GetItem(lag), plain, conj), 1e-12) << lag;
  }
  EXPECT_EQ(MaxDiff(keep, head), 0.0);

  // CrossCorr: GetSize() lags from ALoLag, operand 2 read ahead of operand 1.
  auto cross = TGVComplexBuffer::CreateSize(3);
  cross->CrossCorr(BufferOf(b), BufferOf(a), -1);
  for (int n = 0; n < 3; ++n) {
    std::complex<double> plain, conj;
    for (int i = 0; i < 4; ++i) {
      const int j = i + n - 1;
      if (j < 0 || j >= 6) continue;
      plain += b[i] * a[j];
      conj += std::conj(b[i]) * a[j];
    }
    EXPECT_LT(LagDiff(cross->GetItem(n), plain, conj), 1e-12) << "lag " << n - 1;
  }
}

TEST_F(ComplexBufferTest, WritingASharedBufferLeavesTheOtherViewAlone) {
  const Model a = RandomModel(5, 8);
  auto first = BufferOf(a);
  auto second = TGVComplexBuffer::CreateUniversal(first->MakeCopy());
  ASSERT_EQ(StorageOf(first), StorageOf(second));

  first->SetItem(1, TComplex(9, 9));
  EXPECT_NE(StorageOf(first), StorageOf(second));
  EXPECT_EQ(second->GetItem(1), TComplex(a[1]));
  EXPECT_EQ(first->GetItem(2), TComplex(a[2]));

  // A From operation whose source is the buffer itself reads the old values even when the write
  // has to move it to new storage.
  auto third = second->MakeCopy();
  second->SqrFrom(second);
  Model squares = a;
  for (auto& z : squares) z *= z;
  EXPECT_LT(MaxDiff(second, squares), 1e-12);
  EXPECT_EQ(MaxDiff(TGVComplexBuffer::CreateUniversal(third), a), 0.0);
}

TEST_F(ComplexBufferTest, IsEqualToValueNeedsBothPartsAndNoNaN) {
  EXPECT_TRUE(TGVComplexBuffer::Create()->IsEqualToValue(TComplex(1, 2)));
  auto buffer = TGVComplexBuffer::CreateValue(TComplex(1, 2), 4);
  EXPECT_TRUE(buffer->IsEqualToValue(TComplex(1, 2)));
  EXPECT_FALSE(buffer->IsEqualToValue(TComplex(1, 0)));
  buffer->SetItem(3, TComplex(1, std::nan("")));
  EXPECT_FALSE(buffer->IsEqualToValue(TComplex(1, 2)));
  EXPECT_FALSE(TGVComplexBuffer::CreateValue(std::nan(""), 0.0, 1)->IsEqualToValue(TComplex(std::nan(""), 0.0)));
}

}  // namespace
}  // namespace fundrel::testing
