// Operations: the reference-counted messages that travel through pins.
//
// The sender creates an operation (new ..., held by a TIntf), offers it through a pin and drops
// its reference; receivers that keep it (queues) hold their own. Receivers recognise an
// operation by its class with IsType<T>(), which also matches descendants; typed operations are
// told apart by their value type (TLKTypedSuppliedOperation<float> is not one of double).
//
// Every operation takes a fresh 32-bit OperationID from one process-wide counter when it is
// made; a copy made with the copying constructor of its class keeps the ID, so copies of one
// request that arrive along several paths can be recognised as one. The counter wraps after
// 2^32 operations, which is harmless: only consecutive requests are compared.
//
// Fields written by receivers (pump owner and granted rate) are guarded inside the operation, so
// a copy queued to a worker thread may answer while the sender reads; everything else is set at
// construction and read-only afterwards.
#pragma once

#include <cstdint>
#include <mutex>
#include <typeinfo>
#include <type_traits>

#include "host/Quenra.Interfaces.h"

namespace fundrel {

class TLKNotifyOperation;

struct ILKNotifyOperation : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{5B0E4C1A-7D2F-4E8B-9A61-3C5D7E9F1B24}");
  // The implementing object; never null.
  virtual TLKNotifyOperation* GetInstance() = 0;
  virtual uint32_t GetOperationID() = 0;
  // True when the operation is a T or a descendant of T.
  template <typename T>
  bool IsType();
  // The operation as a T, or null when it is not one.
  template <typename T>
  T* As();
};

// The process-wide operation counter; every call returns the next ID.
FUNDREL_API uint32_t LKNextOperationID() noexcept;

class FUNDREL_API TLKNotifyOperation : public TImplements<TInterfacedObject, ILKNotifyOperation> {
 public:
  TLKNotifyOperation() noexcept : FOperationID(LKNextOperationID()) {}
  // A copy shares the original's ID.
  TLKNotifyOperation(const TLKNotifyOperation& AOther) noexcept : FOperationID(AOther.FOperationID) {}
  TLKNotifyOperation& operator=(const TLKNotifyOperation&) = delete;

  TLKNotifyOperation* GetInstance() override { return this; }
  uint32_t GetOperationID() override { return FOperationID; }
  uint32_t OperationID() const { return FOperationID; }

  template <typename T>
  bool IsType() const {
    return dynamic_cast<const T*>(this) != nullptr;
  }

 private:
  const uint32_t FOperationID;
};

template <typename T>
bool ILKNotifyOperation::IsType() {
  static_assert(std::is_base_of_v<TLKNotifyOperation, T>, "IsType tests operation classes");
  return dynamic_cast<T*>(GetInstance()) != nullptr;
}
template <typename T>
T* ILKNotifyOperation::As() {
  return dynamic_cast<T*>(GetInstance());
}

// Makes a new operation of class T and returns the first reference to it.
template <typename T, typename... A>
TIntf<ILKNotifyOperation> LKMakeOperation(A&&... AArgs) {
  return TIntf<ILKNotifyOperation>(static_cast<ILKNotifyOperation*>(new T(std::forward<A>(AArgs)...)));
}

// Stream control.
class FUNDREL_API TLKStopOperation : public TLKNotifyOperation {};
// The end of a stop sequence. Deliberately not a stop: a handler testing for stop must not act
// on it a second time.
class FUNDREL_API TLKEndStopOperation : public TLKNotifyOperation {};
// A file source reached its end but keeps the stream open.
class FUNDREL_API TLKFileEndNoStopOperation : public TLKNotifyOperation {};
class FUNDREL_API TLKStartOperation : public TLKNotifyOperation {};
// Upstream question "is this stream running?"; a disabled source answers with ignore-stream.
class FUNDREL_API TLKQueryStreamOperation : public TLKNotifyOperation {};
class FUNDREL_API TLKIgnoreStreamOperation : public TLKNotifyOperation {};

// A start with a rate (samples or values per second).
class FUNDREL_API TLKStartRateOperation : public TLKStartOperation {
 public:
  explicit TLKStartRateOperation(double ARate) : FRate(ARate) {}
  double Rate() const { return FRate; }

 protected:
  void SetRate(double ARate) { FRate = ARate; }

 private:
  double FRate;
};

// A tick carrying a sample count; the base of every operation that supplies data, so a clock
// sink driven by a data stream sees each buffer as a tick of its sample count.
class FUNDREL_API TLKClockOperation : public TLKNotifyOperation {
 public:
  // One value per operation unless the sender says otherwise.
  static constexpr uint32_t DefaultSamples = 1;
  explicit TLKClockOperation(uint32_t ASamples = DefaultSamples) : FSamples(ASamples) {}
  uint32_t Samples() const { return FSamples; }

 protected:
  void SetSamples(uint32_t ASamples) { FSamples = ASamples; }

 private:
  uint32_t FSamples;
};

// An operation carrying one value, reachable without knowing its type.
class FUNDREL_API TLKSuppliedOperation : public TLKClockOperation {
 public:
  using TLKClockOperation::TLKClockOperation;
  // The C++ type of the value.
  virtual const std::type_info& ValueType() const = 0;
  // The value's address, to be cast to ValueType() only.
  virtual const void* ValueAddress() const = 0;
  // The value as an interface when it is an interface reference (a buffer), else null; the
  // caller may query it (Supports) before casting.
  virtual IInterface* ValueInterface() const { return nullptr; }
  // The value as a T when it is exactly a T, else null.
  template <typename T>
  const T* ValueAs() const {
    return ValueType() == typeid(T) ? static_cast<const T*>(ValueAddress()) : nullptr;
  }
};

namespace detail {
template <typename T>
struct IsIntf : std::false_type {};
template <typename I>
struct IsIntf<TIntf<I>> : std::true_type {};
}  // namespace detail

// A supplied value of type T (a buffer interface, a double, a string...).
template <typename T>
class TLKTypedSuppliedOperation : public TLKSuppliedOperation {
 public:
  explicit TLKTypedSuppliedOperation(T AValue, uint32_t ASamples = DefaultSamples)
      : TLKSuppliedOperation(ASamples), FValue(std::move(AValue)) {}
  const T& Value() const { return FValue; }
  const std::type_info& ValueType() const override { return typeid(T); }
  const void* ValueAddress() const override { return &FValue; }
  IInterface* ValueInterface() const override {
    if constexpr (detail::IsIntf<T>::value) {
      return FValue.get();
    } else {
      return nullptr;
    }
  }

 private:
  T FValue;
};

// The range the values of a stream will lie in.
template <typename T>
class TLKTypedSuppliedRangeOperation : public TLKNotifyOperation {
 public:
  TLKTypedSuppliedRangeOperation(T AMin, T AMax) : FMin(std::move(AMin)), FMax(std::move(AMax)) {}
  const T& Min() const { return FMin; }
  const T& Max() const { return FMax; }

 private:
  T FMin, FMax;
};

// Downstream: the sender is pumped by AMaster (not owned), not by its own clock.
class FUNDREL_API TLKStartPumpOperation : public TLKNotifyOperation {
 public:
  explicit TLKStartPumpOperation(TObject* AMaster) : FMaster(AMaster) {}
  TObject* Master() const { return FMaster; }

 private:
  TObject* FMaster;
};

// Upstream through a clock pin: whether the sender needs clock ticks.
class FUNDREL_API TLKClockNeededOperation : public TLKNotifyOperation {
 public:
  explicit TLKClockNeededOperation(bool ANeeded) : FNeeded(ANeeded) {}
  bool Needed() const { return FNeeded; }

 private:
  bool FNeeded;
};

// Upstream: a pump owner asks for one buffer. Copies keep the request's OperationID, so a
// generator reached along several paths produces once per request.
class FUNDREL_API TLKMasterPumpOperation : public TLKNotifyOperation {
 public:
  explicit TLKMasterPumpOperation(TObject* ASender) : FSender(ASender) {}
  TLKMasterPumpOperation(const TLKMasterPumpOperation& AOther) = default;
  TObject* Sender() const { return FSender; }

 private:
  TObject* FSender;
};

// Downstream: "who wants to drive this stream?". Until a receiver takes over, the pump owner is
// the sender and the granted rate the requested one, so an unanswered request leaves the sender
// pumping itself.
//
// Take-over rule: a taker wins when its priority is at least the sender's (nobody has taken
// over yet) or strictly above the priority of the taker recorded so far; so among equals the
// first taker keeps the pump, and a taker below the sender's priority never gets it.
class FUNDREL_API TLKPumpRequestOperation : public TLKNotifyOperation {
 public:
  // The pump type this library uses for sample streams.
  static constexpr uint32_t SamplePumpType = 2;
  // The request of a component that only passes the question on (no sender, no rate).
  TLKPumpRequestOperation() : TLKPumpRequestOperation(nullptr, SamplePumpType, 0, 0.0) {}
  TLKPumpRequestOperation(TObject* ASender, uint32_t APumpType, uint32_t APriority, double ARate)
      : FSender(ASender), FPumpType(APumpType), FPriority(APriority), FRate(ARate), FPumpOwner(ASender),
        FOwnerPriority(APriority), FGrantedRate(ARate) {}

  TObject* Sender() const { return FSender; }
  uint32_t PumpType() const { return FPumpType; }
  uint32_t Priority() const { return FPriority; }
  double Rate() const { return FRate; }

  // Records ATaker as pump owner with AGrantedRate when the rule above lets it win; true then.
  // A taker that already owns the pump may change the granted rate.
  bool TakeOver(TObject* ATaker, uint32_t APriority, double AGrantedRate);
  TObject* PumpOwner() const;
  double GrantedRate() const;
  bool TakenOver() const;

 private:
  TObject* const FSender;
  const uint32_t FPumpType, FPriority;
  const double FRate;
  mutable std::mutex FMutex;
  TObject* FPumpOwner;
  uint32_t FOwnerPriority;
  double FGrantedRate;
  bool FTakenOver = false;
};

}  // namespace fundrel
