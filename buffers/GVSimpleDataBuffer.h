// Sample buffers: views with their own size over shared storage, and the typed buffers that
// travel between components (real, complex, 32-bit integer, byte block).
//
// A buffer is a view on a smart buffer (GVInternalStore.h). Copying a buffer (MakeCopy, the
// CreateEx/CreateCopy/CreateUniversal constructors, Assign) makes another view on the same
// storage and copies no bytes. Every write goes through Write (overwrites everything: a shared
// storage is replaced by a zero-filled one without copying) or Modify (reads and changes: a
// shared storage is copied first); Read never copies. A view that is the single owner of its
// storage writes in place.
//
// Threads: one buffer object is used by one thread at a time. Two views on one storage may be
// used from two threads, because a view copies before it writes whenever another owner exists.
// A view handed on with RemoveOwnerShip() no longer counts as an owner: the remaining owner
// writes in place, so the holder of such a view must only read it while the owner may write.
//
// Sizes: GetSize() counts elements, GetByteSize() bytes, both unsigned 32-bit; byte sizes stay
// below 2^31. Binary element-wise operations work on the common length n = min(own size,
// other size) and never fail on the difference. Whole-buffer arithmetic is one call of a bound
// vector primitive (a missing primitive raises EGVException naming it).
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "buffers/GVInternalStore.h"
#include "buffers/Quenra.BasicDataTypes.h"
#include "host/Quenra.Elements.h"
#include "host/Quenra.Math.Complex.h"
#include "host/Quenra.Streams.h"
#include "host/Quenra.SysUtils.h"

namespace fundrel {

struct IGVSequenceStamp;
struct IGVDataBufferAccess;

class TGVMemoryBuffer;
namespace detail {
[[noreturn]] FUNDREL_API void RaiseNilOperand();
// The memory buffer behind AOther; EInvalidCast when there is none.
FUNDREL_API TGVMemoryBuffer* MemoryBufferOf(const TIntf<IGVData>& AOther);
}  // namespace detail

// ---------------------------------------------------------------------------------------------
// Interfaces

struct IGVDataBuffer : virtual IGVData {
  using Parent = IGVData;
  FUNDREL_IID("{CA519E69-AECD-43D8-89CF-3B55E15541ED}");
  // Makes this view share AOtherBuffer's storage, size and attachments (copies of them); no
  // bytes are copied.
  virtual void Assign(const TIntf<IGVDataBuffer>& AOtherBuffer) = 0;
  // Same class (for typed buffers) and the same bytes.
  virtual bool IsEqual(const TIntf<IGVDataBuffer>& AOther) = 0;
  virtual TIntf<IGVSmartBufferProxy> GetProxy(TGVSmartBufferProxyClass AProxyClass,
                                              const std::vector<TVariant>& AParameters) = 0;
  // An access object whose ByteData() asks for the address anew on every call: ByteModify for
  // [Read, Write], ByteWrite for [Write], ByteRead otherwise (empty included).
  virtual TIntf<IGVDataBufferAccess> ByteData(TBufferAccessModes AMode) = 0;
  virtual const uint8_t* ByteRead() = 0;
  virtual uint8_t* ByteWrite() = 0;
  virtual uint8_t* ByteModify() = 0;
  // A copy of the bytes.
  virtual std::vector<uint8_t> AsBytes() = 0;
  virtual uint32_t GetByteSize() = 0;
  virtual uint32_t GetSize() = 0;
  // The sequence number, shared by all views on the storage.
  virtual TIntf<IGVSequenceStamp> GetSequenceStamp() = 0;
  // Copies ASize units from this buffer at ASourceOffset into ATargetBuffer (through its Modify)
  // at ATargetOffset. Units are elements when both are of the same typed class, bytes
  // otherwise. Ranges are not checked: they must lie inside both buffers.
  virtual void CopyTo(uint32_t ASourceOffset, const TIntf<IGVDataBuffer>& ATargetBuffer, uint32_t ATargetOffset,
                      uint32_t ASize) = 0;
  // Makes the storage private before a write; with APreserveData a copy keeps the bytes,
  // without it the new storage is zero-filled. MakeUnique answers whether it had to clone.
  virtual void Unique(bool APreserveData) = 0;
  virtual bool MakeUnique(bool APreserveData) = 0;
  // The raw bytes, no header; loading reads exactly GetByteSize() bytes (a short stream raises
  // EReadError) and does not change the size.
  virtual void SaveToFile(const String& AFileName) = 0;
  virtual void LoadFromFile(const String& AFileName) = 0;
  virtual void SaveToStream(TStream& AStream) = 0;
  virtual void LoadFromStream(TStream& AStream) = 0;
};

struct IGVGenericBuffer : virtual IGVDataBuffer {
  using Parent = IGVDataBuffer;
  FUNDREL_IID("{D4612012-7681-404F-ACCB-1086DA16207B}");
};

struct IGVLinearDataBuffer : virtual IGVDataBuffer {
  using Parent = IGVDataBuffer;
  FUNDREL_IID("{4C550C77-77FF-4AF4-A959-C1085B1DE2F4}");
  // Changes the size to ASize elements; false when it already was ASize. Shrinking with
  // APreserveData keeps the storage; growing with APreserveData stays in place while the view is
  // the single owner and the storage is large enough; otherwise new zero-filled storage is made
  // (holding the old bytes that fit when APreserveData). Resizing to 0 keeps the storage.
  virtual bool Resize(uint32_t ASize, bool APreserveData) = 0;
};

struct IGVSequenceStamp : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{8A08EDCF-198E-4D37-897A-4D60E3B90AAD}");
  virtual bool GetAvailable() = 0;
  virtual void SetAvailable(bool AValue) = 0;
  virtual int64_t GetBufferNumber() = 0;
  virtual void SetBufferNumber(int64_t AValue) = 0;
};

struct IGVDataBufferAccess : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{DC851CE1-5AFE-40ED-9CCD-B5D71510D957}");
  virtual uint8_t* ByteData() = 0;
  virtual uint32_t GetByteSize() = 0;
};

struct IGVBasicBufferAccess : virtual IGVDataBufferAccess {
  using Parent = IGVDataBufferAccess;
  FUNDREL_IID("{3330AA2A-35C5-489E-B153-FAE66B83BDE0}");
  virtual uint32_t GetSize() = 0;
};

// ---------------------------------------------------------------------------------------------
// Generic, memory and linear memory buffers

// Live buffer views in the process; 0 whenever no buffer exists (a leak detector for tests).
FUNDREL_API extern std::atomic<uint32_t> _GVCountPasBuffers;

class FUNDREL_API TGVGenericBuffer : public TImplementsVirtual<TGVData, IGVGenericBuffer> {
 public:
  // A view of ASize bytes on AContainer as an owner, with copies of AOther's attachments (AOther
  // may be null). The address is left to the descendant.
  TGVGenericBuffer(IGVData* AOther, TGVSmartBuffer* AContainer, uint32_t ASize);
  // Another owning view on AOther's storage, same size and address, attachments copied.
  explicit TGVGenericBuffer(TGVGenericBuffer* AOther);
  ~TGVGenericBuffer() override;

  TIntf<IGVData> MakeCopy() override;

  void Assign(const TIntf<IGVDataBuffer>& AOtherBuffer) override;
  bool IsEqual(const TIntf<IGVDataBuffer>& AOther) override;
  TIntf<IGVSmartBufferProxy> GetProxy(TGVSmartBufferProxyClass AProxyClass,
                                      const std::vector<TVariant>& AParameters) override;
  TIntf<IGVDataBufferAccess> ByteData(TBufferAccessModes AMode) override;
  const uint8_t* ByteRead() override { return FDataPtr; }
  uint8_t* ByteWrite() override;
  uint8_t* ByteModify() override;
  std::vector<uint8_t> AsBytes() override;
  uint32_t GetByteSize() override { return FByteSize; }
  uint32_t GetSize() override { return FByteSize; }
  TIntf<IGVSequenceStamp> GetSequenceStamp() override;
  void CopyTo(uint32_t ASourceOffset, const TIntf<IGVDataBuffer>& ATargetBuffer, uint32_t ATargetOffset,
              uint32_t ASize) override;
  void Unique(bool APreserveData) override { MakeUnique(APreserveData); }
  bool MakeUnique(bool APreserveData) override;
  void SaveToFile(const String& AFileName) override;
  void LoadFromFile(const String& AFileName) override;
  void SaveToStream(TStream& AStream) override;
  void LoadFromStream(TStream& AStream) override;

  // "Custom", the class's own entries, "SequenceStamp" (nested) and "Data" (binary). Reading
  // fills at most GetByteSize() bytes and never resizes.
  void SerializationRead(TSerializationReader& AReader) override;
  void SerializationWrite(TSerializationWriter& AWriter, const TSerializedObjects& AObjects) override;

  int64_t GetBufferNumber() const { return FDataContainer->GetBufferNumber(); }
  void SetBufferNumber(int64_t AValue) { FDataContainer->SetBufferNumber(AValue); }
  bool GetBufferNumberAvailable() const { return FDataContainer->GetBufferNumberAvailable(); }
  void SetBufferNumberAvailable(bool AValue) { FDataContainer->SetBufferNumberAvailable(AValue); }

  TGVSmartBuffer* GetDataContainer() const noexcept { return FDataContainer; }
  // Stores the storage reference; attaching and detaching are the caller's.
  virtual void SetDataContainer(TGVSmartBuffer* AContainer) { FDataContainer = AContainer; }
  bool OwnsData() const noexcept { return FOwnsData; }
  // Stops counting as an owner of the storage (once; later calls do nothing). Done before a view
  // is handed on for transport so that the remaining owner may keep writing in place.
  virtual void RemoveOwnerShip();
  TIntf<IGVDataBuffer> GetDataBufferIntf() { return TIntf<IGVDataBuffer>(static_cast<IGVDataBuffer*>(this)); }

  // Renews the cached address and runs the change callbacks.
  void PopulateCahces();
  // Callbacks run whenever the cached address is renewed, on the thread that renews it.
  TMultiProc<>& ChangeNotify() noexcept { return FChangeNotify; }

 protected:
  virtual void InternalSerializationRead(TSerializationReader& AReader);
  virtual void InternalSerializationWrite(TSerializationWriter& AWriter);
  // Recomputes the cached address from the storage; nothing at this level.
  virtual void IntPopulateCahces();

  TIntf<IGVSequenceStamp> FSequenceStamp;  // made on first use
  uint8_t* FDataPtr = nullptr;
  uint32_t FByteSize = 0;
  TMultiProc<> FChangeNotify;
  TGVSmartBuffer* FDataContainer = nullptr;  // counted through AddReff/RemoveReff
  bool FOwnsData = true;
};

// Adds ACallback(AInstance) to ABuffer's change notification; the handle removes it again.
FUNDREL_API TMultiProc<>::THandle DVSubscribeBufferNodify(const TIntf<IGVGenericBuffer>& ABuffer, void* AInstance,
                                                          void (*ACallback)(void* AInstance));
FUNDREL_API void DVUnSubscribeBufferNodify(const TIntf<IGVGenericBuffer>& ABuffer, TMultiProc<>::THandle AProc);

// A buffer over a smart memory buffer; elements are bytes at this level.
class FUNDREL_API TGVMemoryBuffer : public TGVGenericBuffer {
 public:
  // ASize elements of new zero-filled storage.
  explicit TGVMemoryBuffer(uint32_t ASize);
  TGVMemoryBuffer(IGVData* AOther, TGVSmartMemoryBuffer* AContainer, uint32_t AByteSize);
  explicit TGVMemoryBuffer(TGVMemoryBuffer* AOther);

  TIntf<IGVData> MakeCopy() override;
  // New zero-filled storage for ASize elements.
  virtual TGVSmartMemoryBuffer* MakeCopySize(uint32_t ASize) { return new TGVSmartMemoryBuffer(ASize * ItemSize()); }
  virtual uint32_t ItemSize() { return 1; }
  uint32_t GetCharSize() { return FByteSize; }
  TGVSmartMemoryBuffer* GetCharBuffer() const noexcept { return static_cast<TGVSmartMemoryBuffer*>(FDataContainer); }
  void SetCharBuffer(TGVSmartMemoryBuffer* AContainer) { SetDataContainer(AContainer); }

 protected:
  void IntPopulateCahces() override;
};

class FUNDREL_API TGVLinearMemoryBuffer : public TImplementsVirtual<TGVMemoryBuffer, IGVLinearDataBuffer> {
 public:
  using TImplementsVirtual::TImplementsVirtual;
  bool Resize(uint32_t ASize, bool APreserveData) override;
};

class FUNDREL_API TGVSequenceStamp : public TImplements<TInterfacedObject, IGVSequenceStamp>, public ISerializable {
 public:
  explicit TGVSequenceStamp(TGVGenericBuffer* ABuffer) : FIntBuffer(ABuffer) {}
  // A stamp kept beyond its buffer reads as unavailable number 0 and ignores writes.
  bool GetAvailable() override { return FIntBuffer && FIntBuffer->GetBufferNumberAvailable(); }
  void SetAvailable(bool AValue) override {
    if (FIntBuffer) FIntBuffer->SetBufferNumberAvailable(AValue);
  }
  int64_t GetBufferNumber() override { return FIntBuffer ? FIntBuffer->GetBufferNumber() : 0; }
  void SetBufferNumber(int64_t AValue) override {
    if (FIntBuffer) FIntBuffer->SetBufferNumber(AValue);
  }
  // "Available" (always written as true) and "BufferNumber".
  void SerializationRead(TSerializationReader& AReader) override;
  void SerializationWrite(TSerializationWriter& AWriter, const TSerializedObjects& AObjects) override;

 private:
  friend class TGVGenericBuffer;
  // Not counted (the buffer holds the stamp); the buffer clears it when it dies.
  TGVGenericBuffer* FIntBuffer;
};

// ---------------------------------------------------------------------------------------------
// Access objects

// Hands out a buffer's byte address for one access mode, asking anew on every call. Holds a
// reference to the buffer.
class FUNDREL_API TGVDataBufferAccess : public TImplementsVirtual<TInterfacedObject, IGVBasicBufferAccess> {
 public:
  TGVDataBufferAccess(TGVGenericBuffer* AOwner, TBufferAccessModes AMode);
  uint8_t* ByteData() override;
  uint32_t GetByteSize() override { return FOwner->GetByteSize(); }
  uint32_t GetSize() override { return FOwner->GetSize(); }

 protected:
  TIntf<IGVDataBuffer> FOwnerIntf;
  TGVGenericBuffer* FOwner;
  TBufferAccessModes FMode;
};

// The typed form: Data() is the element address for the same mode.
template <typename TElem, typename IAccess>
class TGVTypedBufferAccess : public TImplementsVirtual<TGVDataBufferAccess, IAccess> {
 public:
  using TImplementsVirtual<TGVDataBufferAccess, IAccess>::TImplementsVirtual;
  TElem* Data() override { return reinterpret_cast<TElem*>(this->ByteData()); }
};

// Walks a buffer's elements in index order over the address and size taken when it was made.
// MoveNext/GetCurrent, or a range-for loop.
template <typename TElem>
class TGVBufferEnumerator {
 public:
  TGVBufferEnumerator(const TElem* AData, uint32_t ASize) : FData(AData), FSize(ASize) {}
  bool MoveNext() { return ++FIndex < static_cast<int64_t>(FSize); }
  TElem GetCurrent() const { return FData[FIndex]; }
  const TElem* begin() const { return FData; }
  const TElem* end() const { return FData + FSize; }

 private:
  const TElem* FData;
  uint32_t FSize;
  int64_t FIndex = -1;
};

// ---------------------------------------------------------------------------------------------
// Typed buffers

struct IGVRealBufferAccess : virtual IGVBasicBufferAccess {
  using Parent = IGVBasicBufferAccess;
  FUNDREL_IID("{81775261-B522-42E6-BD50-C070397D9B19}");
  virtual double* Data() = 0;
};
struct IGVComplexBufferAccess : virtual IGVBasicBufferAccess {
  using Parent = IGVBasicBufferAccess;
  FUNDREL_IID("{FB2CC3C6-197F-4931-AD70-84D11AA7A045}");
  virtual TComplex* Data() = 0;
};
struct IGVIntegerBufferAccess : virtual IGVBasicBufferAccess {
  using Parent = IGVBasicBufferAccess;
  FUNDREL_IID("{67C655BF-8E27-45A7-AADA-96AC94977FF1}");
  virtual int32_t* Data() = 0;
};
struct IGVBlockBufferAccess : virtual IGVBasicBufferAccess {
  using Parent = IGVBasicBufferAccess;
  FUNDREL_IID("{38E9F9FD-8FB2-4EBB-A5A6-99499855C1DB}");
  virtual uint8_t* Data() = 0;
};

using TGVRealBufferAccess = TGVTypedBufferAccess<double, IGVRealBufferAccess>;
using TGVComplexBufferAccess = TGVTypedBufferAccess<TComplex, IGVComplexBufferAccess>;
using TGVIntegerBufferAccess = TGVTypedBufferAccess<int32_t, IGVIntegerBufferAccess>;
using TGVBlockBufferAccess = TGVTypedBufferAccess<uint8_t, IGVBlockBufferAccess>;

enum class TGVThresholdType : uint8_t { ttGreaterThan, ttLessThan };
enum class TGVAutoCorrType : uint8_t { actNormal, actBiased, actUnbiased };
enum class TGVNormType : uint8_t { ntL1Norm, ntL2Norm, ntCNorm };

struct IGVRealBuffer;
struct IGVComplexBuffer;
struct IGVIntegerBuffer;
struct IGVBlockBuffer;
using TGVRealBufferRef = TIntf<IGVRealBuffer>;
using TGVComplexBufferRef = TIntf<IGVComplexBuffer>;
using TGVIntegerBufferRef = TIntf<IGVIntegerBuffer>;
using TGVBlockBufferRef = TIntf<IGVBlockBuffer>;

// Doubles. Other operands are read through Read(); Self is written through Modify() where its
// old values are used and through Write() where they are not. Statistics of an empty buffer:
// GetMinValue/GetMaxValue/GetMinIndex/GetMaxIndex answer 0.0; Mean, StdDev, GetMin and GetMax
// answer 0.0 too (the primitive refuses the empty vector and its result is not used).
struct IGVRealBuffer : virtual IGVLinearDataBuffer {
  using Parent = IGVLinearDataBuffer;
  FUNDREL_IID("{032C61EC-364E-4739-A2FE-E7DA0BA64939}");
  virtual TIntf<IGVRealBufferAccess> Data(TBufferAccessModes AMode) = 0;
  virtual const double* Read() = 0;
  virtual double* Write() = 0;
  virtual double* Modify() = 0;
  // Checked: an index outside 0..GetSize()-1 raises ERangeError "Index out of range = <index>".
  virtual double GetItem(uint32_t AIndex) = 0;
  virtual void SetItem(uint32_t AIndex, double AValue) = 0;
  virtual void VectorJaehne(double AMagnitude) = 0;
  virtual void Add(const TGVRealBufferRef& ARight) = 0;
  virtual void Subtract(const TGVRealBufferRef& ARight) = 0;
  virtual void Multiply(const TGVRealBufferRef& ARight) = 0;
  // A zero divisor gives 1e15 for a positive quotient and -1e14 otherwise (0/0 included).
  virtual void Divide(const TGVRealBufferRef& ARight) = 0;
  virtual void SetValue(double AValue) = 0;
  // The value forms do nothing (and copy nothing) for the neutral value: 0 for Add/Subtract, 1
  // for Multiply, 0 or 1 for Divide.
  virtual void AddValue(double AValue) = 0;
  virtual void SubtractValue(double AValue) = 0;
  virtual void MultiplyValue(double AValue) = 0;
  virtual void DivideValue(double AValue) = 0;
  virtual void Zero() = 0;
  // Conversions of all GetSize() elements to/from caller arrays of at least that length.
  // ToInt saturates; ToShort keeps the low 16 bits of the integer; ARound rounds to nearest,
  // otherwise toward zero.
  virtual void ToInt(int32_t* AOutBuffer, bool ARound) = 0;
  virtual void ToShort(int16_t* AOutBuffer, bool ARound) = 0;
  virtual void ToSingle(float* AOutBuffer) = 0;
  virtual void FromInt(const int32_t* AInBuffer) = 0;
  virtual void FromShort(const int16_t* AInBuffer) = 0;
  virtual void FromSingle(const float* AInBuffer) = 0;
  // Self[i] = (Src[i] - AOffset) / AFactor over the common length.
  virtual void NormalizeFrom(const TGVRealBufferRef& ASrc, double AOffset, double AFactor) = 0;
  virtual void Normalize(double AOffset, double AFactor) = 0;
  virtual double Dot(const TGVRealBufferRef& ARight) = 0;
  virtual void Threshold(double AThreshold, TGVThresholdType AType) = 0;
  // Reads GetSize() elements of ASrc, which must hold at least that many.
  virtual void ThresholdFrom(const TGVRealBufferRef& ASrc, double AThreshold, TGVThresholdType AType) = 0;
  virtual void Sqr() = 0;
  virtual void SqrFrom(const TGVRealBufferRef& ASrc) = 0;
  virtual void Sqrt() = 0;
  virtual void SqrtFrom(const TGVRealBufferRef& ASrc) = 0;
  // Source ASrc over GetSize() elements of Self, result over the common length.
  virtual void AutoCorr(const TGVRealBufferRef& ASrc, TGVAutoCorrType AType) = 0;
  // GetSize() lags of ASrc1 against ASrc2 starting at ALoLag.
  virtual void CrossCorr(const TGVRealBufferRef& ASrc1, const TGVRealBufferRef& ASrc2, int32_t ALoLag) = 0;
  virtual void Abs() = 0;
  virtual void AbsFrom(const TGVRealBufferRef& ASrc) = 0;
  virtual void Exp() = 0;
  virtual void ExpFrom(const TGVRealBufferRef& ASrc) = 0;
  virtual void Ln() = 0;
  virtual void LnFrom(const TGVRealBufferRef& ASrc) = 0;
  virtual double Mean() = 0;
  virtual double StdDev() = 0;
  // Resizes to ASrc size + AH size - 1 and fills with the full linear convolution; both
  // operands must be non-empty.
  virtual void Convolve(const TGVRealBufferRef& ASrc, const TGVRealBufferRef& AH) = 0;
  // The norm of ASrc - Self over GetSize() elements of Self.
  virtual double Norm(const TGVRealBufferRef& ASrc, TGVNormType AType) = 0;
  virtual double GetMinValue() = 0;
  virtual double GetMaxValue() = 0;
  virtual double GetMinIndex(int32_t& AIndex) = 0;
  virtual double GetMaxIndex(int32_t& AIndex) = 0;
  // Over [AIndexBegin, AIndexEnd), clamped into the buffer.
  virtual double GetMin(int32_t AIndexBegin, int32_t AIndexEnd) = 0;
  virtual double GetMax(int32_t AIndexBegin, int32_t AIndexEnd) = 0;
  // Over [AIndexBegin, AIndexEnd] clamped, skipping the missing-data marks +-MaxReal.
  virtual double GetMinRestricted(int32_t AIndexBegin, int32_t AIndexEnd) = 0;
  virtual double GetMaxRestricted(int32_t AIndexBegin, int32_t AIndexEnd) = 0;
  // Every element equals AValue (true when empty, false with any NaN).
  virtual bool IsEqualToValue(double AValue) = 0;
  virtual TGVBufferEnumerator<double> GetEnumerator() = 0;
};

// Complex doubles, real part first (the IPP complex layout). Element access is not checked.
struct IGVComplexBuffer : virtual IGVLinearDataBuffer {
  using Parent = IGVLinearDataBuffer;
  FUNDREL_IID("{FA61019A-FF10-4472-9F8C-89DC48D5C792}");
  virtual TIntf<IGVComplexBufferAccess> Data(TBufferAccessModes AMode) = 0;
  virtual const TComplex* Read() = 0;
  virtual TComplex* Write() = 0;
  virtual TComplex* Modify() = 0;
  virtual TComplex GetItem(uint32_t AIndex) = 0;
  virtual void SetItem(uint32_t AIndex, const TComplex& AValue) = 0;
  virtual void GetItemProc(uint32_t AIndex, TComplex& AResult) = 0;
  virtual TGVRealBufferRef GetReal() = 0;
  virtual TGVRealBufferRef GetImaginary() = 0;
  virtual void Add(const TGVComplexBufferRef& ARight) = 0;
  virtual void Subtract(const TGVComplexBufferRef& ARight) = 0;
  virtual void Multiply(const TGVComplexBufferRef& ARight) = 0;
  virtual void Divide(const TGVComplexBufferRef& ARight) = 0;
  virtual void AddValue(double AReal, double AImag) = 0;
  virtual void SubtractValue(double AReal, double AImag) = 0;
  virtual void MultiplyValue(double AReal, double AImag) = 0;
  virtual void DivideValue(double AReal, double AImag) = 0;
  // Resizes to the smaller of the two sizes and combines that many elements.
  virtual void SetBuffer(const TGVRealBufferRef& AReal, const TGVRealBufferRef& AImag) = 0;
  virtual void SetValue(double AReal, double AImag) = 0;
  virtual void SetValue(const TComplex& AValue) = 0;
  virtual void Zero() = 0;
  virtual void NormalizeFrom(const TGVComplexBufferRef& ASrc, const TComplex& AOffset, double AFactor) = 0;
  virtual void Normalize(const TComplex& AOffset, double AFactor) = 0;
  virtual TComplex Dot(const TGVComplexBufferRef& ASrc) = 0;
  virtual void Threshold(double AThreshold, TGVThresholdType AType) = 0;
  virtual void ThresholdFrom(const TGVComplexBufferRef& ASrc, double AThreshold, TGVThresholdType AType) = 0;
  virtual void Sqr() = 0;
  virtual void SqrFrom(const TGVComplexBufferRef& ASrc) = 0;
  virtual void Sqrt() = 0;
  // (sum |re| / size, sum |im| / size): the level of each part; (0, 0) when empty.
  virtual TComplex Mean() = 0;
  virtual void SqrtFrom(const TGVComplexBufferRef& ASrc) = 0;
  virtual void AutoCorr(const TGVComplexBufferRef& ASrc, TGVAutoCorrType AType) = 0;
  virtual void CrossCorr(const TGVComplexBufferRef& ASrc1, const TGVComplexBufferRef& ASrc2, int32_t ALoLag) = 0;
  // New real buffers of GetSize() elements.
  virtual TGVRealBufferRef Phase() = 0;
  virtual TGVRealBufferRef Magnitude() = 0;
  virtual TGVRealBufferRef PowerSpectrum() = 0;
  virtual bool IsEqualToValue(const TComplex& AValue) = 0;
  virtual TGVBufferEnumerator<TComplex> GetEnumerator() = 0;
};

// Signed 32-bit integers; arithmetic saturates. Element access is not checked.
struct IGVIntegerBuffer : virtual IGVLinearDataBuffer {
  using Parent = IGVLinearDataBuffer;
  FUNDREL_IID("{51D45274-AF18-4746-BBF1-94C82F07139B}");
  virtual TIntf<IGVIntegerBufferAccess> Data(TBufferAccessModes AMode) = 0;
  virtual const int32_t* Read() = 0;
  virtual int32_t* Write() = 0;
  virtual int32_t* Modify() = 0;
  virtual int32_t GetItem(uint32_t AIndex) = 0;
  virtual void SetItem(uint32_t AIndex, int32_t AValue) = 0;
  virtual void Add(const TGVIntegerBufferRef& ARight) = 0;
  virtual void Subtract(const TGVIntegerBufferRef& ARight) = 0;
  virtual void Multiply(const TGVIntegerBufferRef& ARight) = 0;
  virtual void Divide(const TGVIntegerBufferRef& ARight) = 0;
  // Remainder with the sign of the dividend; a zero divisor raises EDivByZero, INT32_MIN mod -1
  // EIntOverflow (elements before it already changed).
  virtual void ModBuffer(const TGVIntegerBufferRef& ARight) = 0;
  virtual void AndBuffer(const TGVIntegerBufferRef& ARight) = 0;
  virtual void OrBuffer(const TGVIntegerBufferRef& ARight) = 0;
  virtual void XorBuffer(const TGVIntegerBufferRef& ARight) = 0;
  // Shift by Right[i] & 31; RShift is logical (zeros enter from the left).
  virtual void LShift(const TGVIntegerBufferRef& ARight) = 0;
  virtual void RShift(const TGVIntegerBufferRef& ARight) = 0;
  virtual void SetValue(int32_t AValue) = 0;
  virtual void AddValue(int32_t AValue) = 0;
  virtual void SubtractValue(int32_t AValue) = 0;
  virtual void MultiplyValue(int32_t AValue) = 0;
  // Quotient truncated toward zero; 0 and 1 do nothing.
  virtual void DivideValue(int32_t AValue) = 0;
  virtual void ModValue(int32_t AValue) = 0;
  virtual void AndValue(int32_t AValue) = 0;
  virtual void OrValue(int32_t AValue) = 0;
  virtual void XorValue(int32_t AValue) = 0;
  virtual void LShiftValue(int32_t AValue) = 0;
  // Arithmetic shift, unlike RShift.
  virtual void RShiftValue(int32_t AValue) = 0;
  virtual void Zero() = 0;
  virtual int32_t Dot(const TGVIntegerBufferRef& ARight) = 0;
  virtual bool IsEqualToValue(int32_t AValue) = 0;
  virtual int32_t GetMinValue() = 0;
  virtual int32_t GetMaxValue() = 0;
  virtual TGVBufferEnumerator<int32_t> GetEnumerator() = 0;
};

// Bytes. Arithmetic saturates to 0..255; element access is checked.
struct IGVBlockBuffer : virtual IGVLinearDataBuffer {
  using Parent = IGVLinearDataBuffer;
  FUNDREL_IID("{1D7F6725-9466-43E9-9B6C-164FAB691FEA}");
  virtual TIntf<IGVBlockBufferAccess> Data(TBufferAccessModes AMode) = 0;
  virtual const uint8_t* Read() = 0;
  virtual uint8_t* Write() = 0;
  virtual uint8_t* Modify() = 0;
  virtual void Add(const TGVBlockBufferRef& ARight) = 0;
  virtual void Subtract(const TGVBlockBufferRef& ARight) = 0;
  virtual void Multiply(const TGVBlockBufferRef& ARight) = 0;
  // Unsigned integer division; a zero divisor raises EDivByZero.
  virtual void Divide(const TGVBlockBufferRef& ARight) = 0;
  virtual void SetValue(uint8_t AValue) = 0;
  virtual void Zero() = 0;
  // Appends AValue.GetSize() bytes taken from the start of AValue's bytes.
  virtual void Append(const TIntf<IGVDataBuffer>& AValue) = 0;
  // Removes ALength bytes at AIndex; a range outside the buffer raises EAssertionFailed.
  virtual void Remove(int32_t AIndex, int32_t ALength) = 0;
  virtual bool IsEqualToValue(uint8_t AValue) = 0;
  virtual uint8_t GetItem(uint32_t AIndex) = 0;
  virtual void SetItem(uint32_t AIndex, uint8_t AValue) = 0;
  virtual TGVBufferEnumerator<uint8_t> GetEnumerator() = 0;
};

// The shared part of the typed buffers: element size, the access family, copying and
// comparison by class, and the sharing constructors.
template <typename TSelf, typename TElem, typename IBuf, typename IAccess>
class TGVTypedBuffer : public TImplementsVirtual<TGVLinearMemoryBuffer, IBuf> {
  using TBase = TImplementsVirtual<TGVLinearMemoryBuffer, IBuf>;

 public:
  using TElement = TElem;
  static constexpr uint32_t ElementSize = sizeof(TElem);

  // ASize zero elements.
  explicit TGVTypedBuffer(uint32_t ASize = 0)
      : TBase(static_cast<IGVData*>(nullptr), new TGVSmartMemoryBuffer(ASize * ElementSize), ASize * ElementSize) {}
  // Another view on AOther's storage (of any memory-buffer class: its bytes seen as TElem).
  explicit TGVTypedBuffer(TGVMemoryBuffer* AOther) : TBase(AOther) {}

  TIntf<IGVData> MakeCopy() override { return TIntf<IGVData>(static_cast<IGVData*>(new TSelf(static_cast<TSelf*>(this)))); }
  TGVSmartMemoryBuffer* MakeCopySize(uint32_t ASize) override { return new TGVSmartMemoryBuffer(ASize * ElementSize); }
  uint32_t ItemSize() override { return ElementSize; }
  uint32_t GetSize() override { return this->FByteSize / ElementSize; }

  TIntf<IAccess> Data(TBufferAccessModes AMode) override {
    return TIntf<IAccess>(static_cast<IAccess*>(new TGVTypedBufferAccess<TElem, IAccess>(this, AMode)));
  }
  const TElem* Read() override { return reinterpret_cast<const TElem*>(this->FDataPtr); }
  TElem* Write() override {
    this->Unique(false);
    return reinterpret_cast<TElem*>(this->FDataPtr);
  }
  TElem* Modify() override {
    this->Unique(true);
    return reinterpret_cast<TElem*>(this->FDataPtr);
  }
  TGVBufferEnumerator<TElem> GetEnumerator() override { return TGVBufferEnumerator<TElem>(Read(), GetSize()); }

  // False unless AOther is of this class (or a descendant), then the bytes decide.
  bool IsEqual(const TIntf<IGVDataBuffer>& AOther) override {
    if (!AOther || !dynamic_cast<TSelf*>(AOther->GetInstance())) return false;
    return TGVGenericBuffer::IsEqual(AOther);
  }
  // Elements when the target is of this class, bytes otherwise.
  void CopyTo(uint32_t ASourceOffset, const TIntf<IGVDataBuffer>& ATargetBuffer, uint32_t ATargetOffset,
              uint32_t ASize) override {
    if (ATargetBuffer && dynamic_cast<TSelf*>(ATargetBuffer->GetInstance()))
      TGVGenericBuffer::CopyTo(ASourceOffset * ElementSize, ATargetBuffer, ATargetOffset * ElementSize,
                               ASize * ElementSize);
    else
      TGVGenericBuffer::CopyTo(ASourceOffset, ATargetBuffer, ATargetOffset, ASize);
  }

  // The element count and addresses without virtual dispatch on this object, for the class's
  // own operations on their hot path (the same contract as GetSize/Read/Modify/Write).
  uint32_t Count() const noexcept { return this->FByteSize / ElementSize; }
  const TElem* ReadData() const noexcept { return reinterpret_cast<const TElem*>(this->FDataPtr); }
  TElem* ModifyData() {
    if (!this->FDataContainer->SingleOwner()) this->MakeUnique(true);
    return reinterpret_cast<TElem*>(this->FDataPtr);
  }
  TElem* WriteData() {
    if (!this->FDataContainer->SingleOwner()) this->MakeUnique(false);
    return reinterpret_cast<TElem*>(this->FDataPtr);
  }
  // The object behind another buffer of this family; a null operand raises EGVException.
  // Buffer classes derive from TGVData along their primary bases, so the complete object, found
  // through the vtable's offset-to-top without a call, begins with its TGVData; debug builds
  // check this against GetInstance.
  static TSelf* Peer(const TIntf<IBuf>& AOther) {
    if (!AOther) detail::RaiseNilOperand();
    void* complete = dynamic_cast<void*>(AOther.get());
    auto* peer = static_cast<TSelf*>(static_cast<TGVData*>(static_cast<TObject*>(complete)));
#ifndef NDEBUG
    Assert(static_cast<TGVData*>(peer) == AOther->GetInstance(), "Buffer object is not at the start of its class");
#endif
    return peer;
  }

  // Runs AFn(right, self, n) over the common length n of this buffer and ARight, Self written
  // through Modify. The operand's address is taken first: when it is this very buffer on a
  // shared storage, Modify moves Self and the old storage, still held by the other owner, keeps
  // the operand's values.
  template <typename TFn>
  void InPlace(const TIntf<IBuf>& ARight, TFn&& AFn) {
    TSelf* right = Peer(ARight);
    const uint32_t n = Count() < right->Count() ? Count() : right->Count();
    if (!n) return;
    const TElem* operand = right->ReadData();
    AFn(operand, ModifyData(), n);
  }

  // Constructors, as interfaces. ASize zero elements; a copy of ASize elements at AData (zeros
  // when AData is null); the items of a list in order.
  static TIntf<IBuf> Create() { return CreateSize(0); }
  static TIntf<IBuf> CreateSize(uint32_t ASize) { return TIntf<IBuf>(static_cast<IBuf*>(new TSelf(ASize))); }
  static TIntf<IBuf> CreateData(const TElem* AData, uint32_t ASize) {
    auto* made = new TSelf(ASize);
    TIntf<IBuf> result(static_cast<IBuf*>(made));
    if (AData && ASize) std::memcpy(made->WriteData(), AData, size_t{ASize} * ElementSize);
    return result;
  }
  static TIntf<IBuf> CreateArrayList(const TArrayList<TElem>& AOther) {
    return CreateData(AOther.Items().data(), static_cast<uint32_t>(AOther.Count()));
  }
  // Shares the storage of any data object whose instance is a memory buffer, its bytes seen as
  // elements; others raise EInvalidCast.
  static TIntf<IBuf> CreateUniversal(const TIntf<IGVData>& AOther) {
    return TIntf<IBuf>(static_cast<IBuf*>(new TSelf(detail::MemoryBufferOf(AOther))));
  }
  // Constructors that share storage, as interfaces.
  static TIntf<IBuf> CreateEx(TSelf* AOther) { return TIntf<IBuf>(static_cast<IBuf*>(new TSelf(AOther))); }
  static TIntf<IBuf> CreateCopy(const TIntf<IBuf>& AOther) {
    auto* other = AOther ? dynamic_cast<TSelf*>(AOther->GetInstance()) : nullptr;
    if (!other) RaiseInvalidCast();
    return CreateEx(other);
  }
};

class FUNDREL_API TGVRealBuffer
    : public TGVTypedBuffer<TGVRealBuffer, double, IGVRealBuffer, IGVRealBufferAccess> {
  using TBase = TGVTypedBuffer<TGVRealBuffer, double, IGVRealBuffer, IGVRealBufferAccess>;

 public:
  using TBase::TBase;

  // Further constructors, as interfaces. The divider forms give element i = AData[i] /
  // ADivider, or AData[i] exactly when ADivider is 1.0; a null AData gives zeros.
  static TGVRealBufferRef CreateValue(double AValue, uint32_t ASize);
  static TGVRealBufferRef CreateByteData(const uint8_t* AData, uint32_t ASize, double ADivider);
  static TGVRealBufferRef CreateWordData(const uint16_t* AData, uint32_t ASize, double ADivider);
  static TGVRealBufferRef CreateSmallIntData(const int16_t* AData, uint32_t ASize, double ADivider);
  static TGVRealBufferRef CreateCardinalData(const uint32_t* AData, uint32_t ASize, double ADivider);
  static TGVRealBufferRef CreateIntegerData(const int32_t* AData, uint32_t ASize, double ADivider);
  static TGVRealBufferRef CreateInt64Data(const int64_t* AData, uint32_t ASize, double ADivider);
  static TGVRealBufferRef CreateUInt64Data(const uint64_t* AData, uint32_t ASize, double ADivider);
  static TGVRealBufferRef CreateSingleData(const float* AData, uint32_t ASize);

  double GetItem(uint32_t AIndex) override;
  void SetItem(uint32_t AIndex, double AValue) override;
  void VectorJaehne(double AMagnitude) override;
  void Add(const TGVRealBufferRef& ARight) override;
  void Subtract(const TGVRealBufferRef& ARight) override;
  void Multiply(const TGVRealBufferRef& ARight) override;
  void Divide(const TGVRealBufferRef& ARight) override;
  void SetValue(double AValue) override;
  void AddValue(double AValue) override;
  void SubtractValue(double AValue) override;
  void MultiplyValue(double AValue) override;
  void DivideValue(double AValue) override;
  void Zero() override;
  void ToInt(int32_t* AOutBuffer, bool ARound) override;
  void ToShort(int16_t* AOutBuffer, bool ARound) override;
  void ToSingle(float* AOutBuffer) override;
  void FromInt(const int32_t* AInBuffer) override;
  void FromShort(const int16_t* AInBuffer) override;
  void FromSingle(const float* AInBuffer) override;
  void NormalizeFrom(const TGVRealBufferRef& ASrc, double AOffset, double AFactor) override;
  void Normalize(double AOffset, double AFactor) override;
  double Dot(const TGVRealBufferRef& ARight) override;
  void Threshold(double AThreshold, TGVThresholdType AType) override;
  void ThresholdFrom(const TGVRealBufferRef& ASrc, double AThreshold, TGVThresholdType AType) override;
  void Sqr() override;
  void SqrFrom(const TGVRealBufferRef& ASrc) override;
  void Sqrt() override;
  void SqrtFrom(const TGVRealBufferRef& ASrc) override;
  void AutoCorr(const TGVRealBufferRef& ASrc, TGVAutoCorrType AType) override;
  void CrossCorr(const TGVRealBufferRef& ASrc1, const TGVRealBufferRef& ASrc2, int32_t ALoLag) override;
  void Abs() override;
  void AbsFrom(const TGVRealBufferRef& ASrc) override;
  void Exp() override;
  void ExpFrom(const TGVRealBufferRef& ASrc) override;
  void Ln() override;
  void LnFrom(const TGVRealBufferRef& ASrc) override;
  double Mean() override;
  double StdDev() override;
  void Convolve(const TGVRealBufferRef& ASrc, const TGVRealBufferRef& AH) override;
  double Norm(const TGVRealBufferRef& ASrc, TGVNormType AType) override;
  double GetMinValue() override;
  double GetMaxValue() override;
  double GetMinIndex(int32_t& AIndex) override;
  double GetMaxIndex(int32_t& AIndex) override;
  double GetMin(int32_t AIndexBegin, int32_t AIndexEnd) override;
  double GetMax(int32_t AIndexBegin, int32_t AIndexEnd) override;
  double GetMinRestricted(int32_t AIndexBegin, int32_t AIndexEnd) override;
  double GetMaxRestricted(int32_t AIndexBegin, int32_t AIndexEnd) override;
  bool IsEqualToValue(double AValue) override;
  // Element copy into a real buffer (offsets and size in elements).
  void CopyToReal(uint32_t ASourceOffset, TGVRealBuffer* ATarget, uint32_t ATargetOffset, uint32_t ASize);
};

class FUNDREL_API TGVComplexBuffer
    : public TGVTypedBuffer<TGVComplexBuffer, TComplex, IGVComplexBuffer, IGVComplexBufferAccess> {
  using TBase = TGVTypedBuffer<TGVComplexBuffer, TComplex, IGVComplexBuffer, IGVComplexBufferAccess>;

 public:
  using TBase::TBase;

  static TGVComplexBufferRef CreateValue(const TComplex& AValue, uint32_t ASize);
  static TGVComplexBufferRef CreateValue(double AReal, double AImag, uint32_t ASize);
  // Size = the larger of the two; where one part is missing it is 0.0.
  static TGVComplexBufferRef CreateBuffers(const TGVRealBufferRef& AReal, const TGVRealBufferRef& AImaginary);
  static TGVComplexBufferRef CreateBufferObjects(TGVRealBuffer* AReal, TGVRealBuffer* AImaginary);

  TComplex GetItem(uint32_t AIndex) override { return Read()[AIndex]; }
  void SetItem(uint32_t AIndex, const TComplex& AValue) override;
  void GetItemProc(uint32_t AIndex, TComplex& AResult) override { AResult = Read()[AIndex]; }
  TGVRealBufferRef GetReal() override;
  TGVRealBufferRef GetImaginary() override;
  void Add(const TGVComplexBufferRef& ARight) override;
  void Subtract(const TGVComplexBufferRef& ARight) override;
  void Multiply(const TGVComplexBufferRef& ARight) override;
  void Divide(const TGVComplexBufferRef& ARight) override;
  void AddValue(double AReal, double AImag) override;
  void SubtractValue(double AReal, double AImag) override;
  void MultiplyValue(double AReal, double AImag) override;
  void DivideValue(double AReal, double AImag) override;
  void SetBuffer(const TGVRealBufferRef& AReal, const TGVRealBufferRef& AImag) override;
  void SetValue(double AReal, double AImag) override;
  void SetValue(const TComplex& AValue) override;
  void Zero() override;
  void NormalizeFrom(const TGVComplexBufferRef& ASrc, const TComplex& AOffset, double AFactor) override;
  void Normalize(const TComplex& AOffset, double AFactor) override;
  TComplex Dot(const TGVComplexBufferRef& ASrc) override;
  void Threshold(double AThreshold, TGVThresholdType AType) override;
  void ThresholdFrom(const TGVComplexBufferRef& ASrc, double AThreshold, TGVThresholdType AType) override;
  void Sqr() override;
  void SqrFrom(const TGVComplexBufferRef& ASrc) override;
  void Sqrt() override;
  TComplex Mean() override;
  void SqrtFrom(const TGVComplexBufferRef& ASrc) override;
  void AutoCorr(const TGVComplexBufferRef& ASrc, TGVAutoCorrType AType) override;
  void CrossCorr(const TGVComplexBufferRef& ASrc1, const TGVComplexBufferRef& ASrc2, int32_t ALoLag) override;
  TGVRealBufferRef Phase() override;
  TGVRealBufferRef Magnitude() override;
  TGVRealBufferRef PowerSpectrum() override;
  bool IsEqualToValue(const TComplex& AValue) override;
};

// (Src[i] - vsub) / vdiv for complex vectors, through the bound primitive.
FUNDREL_API void GVComplexNormalizeFrom(const TComplex* pSrc, TComplex* pDst, int32_t len, TComplex vsub, double vdiv);

class FUNDREL_API TGVIntegerBuffer
    : public TGVTypedBuffer<TGVIntegerBuffer, int32_t, IGVIntegerBuffer, IGVIntegerBufferAccess> {
  using TBase = TGVTypedBuffer<TGVIntegerBuffer, int32_t, IGVIntegerBuffer, IGVIntegerBufferAccess>;

 public:
  using TBase::TBase;

  static TGVIntegerBufferRef CreateValue(int32_t AValue, uint32_t ASize);

  int32_t GetItem(uint32_t AIndex) override { return Read()[AIndex]; }
  void SetItem(uint32_t AIndex, int32_t AValue) override;
  void Add(const TGVIntegerBufferRef& ARight) override;
  void Subtract(const TGVIntegerBufferRef& ARight) override;
  void Multiply(const TGVIntegerBufferRef& ARight) override;
  void Divide(const TGVIntegerBufferRef& ARight) override;
  void ModBuffer(const TGVIntegerBufferRef& ARight) override;
  void AndBuffer(const TGVIntegerBufferRef& ARight) override;
  void OrBuffer(const TGVIntegerBufferRef& ARight) override;
  void XorBuffer(const TGVIntegerBufferRef& ARight) override;
  void LShift(const TGVIntegerBufferRef& ARight) override;
  void RShift(const TGVIntegerBufferRef& ARight) override;
  void SetValue(int32_t AValue) override;
  void AddValue(int32_t AValue) override;
  void SubtractValue(int32_t AValue) override;
  void MultiplyValue(int32_t AValue) override;
  void DivideValue(int32_t AValue) override;
  void ModValue(int32_t AValue) override;
  void AndValue(int32_t AValue) override;
  void OrValue(int32_t AValue) override;
  void XorValue(int32_t AValue) override;
  void LShiftValue(int32_t AValue) override;
  void RShiftValue(int32_t AValue) override;
  void Zero() override;
  int32_t Dot(const TGVIntegerBufferRef& ARight) override;
  bool IsEqualToValue(int32_t AValue) override;
  int32_t GetMinValue() override;
  int32_t GetMaxValue() override;
  // Element copy into an integer buffer (offsets and size in elements).
  void CopyToInteger(uint32_t ASourceOffset, TGVIntegerBuffer* ATarget, uint32_t ATargetOffset, uint32_t ASize);
};

class FUNDREL_API TGVBlockBuffer
    : public TGVTypedBuffer<TGVBlockBuffer, uint8_t, IGVBlockBuffer, IGVBlockBufferAccess> {
  using TBase = TGVTypedBuffer<TGVBlockBuffer, uint8_t, IGVBlockBuffer, IGVBlockBufferAccess>;

 public:
  using TBase::TBase;

  // Size first, as the constructor has always taken it.
  static TGVBlockBufferRef CreateValue(uint32_t ASize, uint8_t AValue);
  static TGVBlockBufferRef CreateArray(const std::vector<uint8_t>& ABytes);
  // Shares a block buffer's storage; any other data buffer is copied as bytes.
  static TGVBlockBufferRef CreateUniversal(const TIntf<IGVData>& AOther);

  void Add(const TGVBlockBufferRef& ARight) override;
  void Subtract(const TGVBlockBufferRef& ARight) override;
  void Multiply(const TGVBlockBufferRef& ARight) override;
  void Divide(const TGVBlockBufferRef& ARight) override;
  void SetValue(uint8_t AValue) override;
  void Zero() override;
  void Append(const TIntf<IGVDataBuffer>& AValue) override;
  void Remove(int32_t AIndex, int32_t ALength) override;
  bool IsEqualToValue(uint8_t AValue) override;
  uint8_t GetItem(uint32_t AIndex) override;
  void SetItem(uint32_t AIndex, uint8_t AValue) override;
};

FUNDREL_PUBLISHED(TGVGenericBuffer, TGVData) {}
FUNDREL_PUBLISHED(TGVMemoryBuffer, TGVGenericBuffer) { P.Constructor<uint32_t>(); }
FUNDREL_PUBLISHED(TGVLinearMemoryBuffer, TGVMemoryBuffer) { P.Constructor<uint32_t>(); }
FUNDREL_PUBLISHED(TGVRealBuffer, TGVLinearMemoryBuffer) { P.Constructor<uint32_t>(); }
FUNDREL_PUBLISHED(TGVComplexBuffer, TGVLinearMemoryBuffer) { P.Constructor<uint32_t>(); }
FUNDREL_PUBLISHED(TGVIntegerBuffer, TGVLinearMemoryBuffer) { P.Constructor<uint32_t>(); }
FUNDREL_PUBLISHED(TGVBlockBuffer, TGVLinearMemoryBuffer) { P.Constructor<uint32_t>(); }

// A new buffer of class AClass (TGVMemoryBuffer or a descendant) with ASize zero elements: the
// factory of stream types. Raises EInvalidCast for another class.
FUNDREL_API TIntf<IGVDataBuffer> GVCreateBuffer(TClass AClass, uint32_t ASize);

}  // namespace fundrel
