// Components with persisted properties of every kind, shared by the type-information, streaming
// and serializer tests.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "host/Quenra.ComponentStreaming.h"
#include "host/Quenra.TypInfo.h"
#include "host/Quenra.Types.h"

namespace streamtest {

using namespace fundrel;

enum class TMode { mdSlow, mdFast, mdExact };
FUNDREL_ENUM_NAMES(TMode, mdSlow, mdFast, mdExact)
enum class TOption { opA, opB, opC };
FUNDREL_ENUM_NAMES(TOption, opA, opB, opC)

// A nested persistent with a list-valued defined property: a count, then (x y) pairs as singles.
class TShape : public TLockPersistent {
 public:
  using TLockPersistent::TLockPersistent;
  uint32_t GetColor() const { return FColor; }
  void SetColor(uint32_t AValue) { Setter(FColor, AValue); }
  std::vector<float> Points;

  void DefineProperties(TFiler& AFiler) override {
    TLockPersistent::DefineProperties(AFiler);
    AFiler.DefineProperty(
        "Points",
        [this](TReader& R) {
          R.ReadListBegin();
          int32_t count = R.ReadInteger();
          Points.clear();
          while (!R.EndOfList()) {
            R.ReadListBegin();
            float x = R.ReadSingle(), y = R.ReadSingle();
            R.ReadListEnd();
            if (static_cast<int64_t>(Points.size()) < 2 * static_cast<int64_t>(count)) Points.insert(Points.end(), {x, y});
          }
          R.ReadListEnd();
        },
        [this](TWriter& W) {
          W.WriteListBegin();
          W.WriteInteger(static_cast<int64_t>(Points.size() / 2));
          for (size_t i = 0; i + 1 < Points.size(); i += 2) {
            W.WriteListBegin();
            W.WriteSingle(Points[i]);
            W.WriteSingle(Points[i + 1]);
            W.WriteListEnd();
          }
          W.WriteListEnd();
        },
        !Points.empty());
  }

 private:
  uint32_t FColor = 0xFF000000u;
};
FUNDREL_PUBLISHED(TShape, TLockPersistent) { P.Prop("Color", &TShape::GetColor, &TShape::SetColor).Default(0xFF000000u); }

class TPointItem : public TLockCollectionItem {
 public:
  using TLockCollectionItem::TLockCollectionItem;
  int32_t GetValue() const { return FValue; }
  void SetValue(int32_t AValue) { Setter(FValue, AValue); }
  const String& GetLabel() const { return FLabel; }
  void SetLabel(const String& AValue) { Setter(FLabel, AValue); }

 private:
  int32_t FValue = 0;
  String FLabel;
};
FUNDREL_PUBLISHED(TPointItem, TLockCollectionItem) {
  P.Prop("Value", &TPointItem::GetValue, &TPointItem::SetValue).Default(0);
  P.Prop("Label", &TPointItem::GetLabel, &TPointItem::SetLabel).Default("");
}

class TWeightedItem : public TPointItem {
 public:
  using TPointItem::TPointItem;
  double GetWeight() const { return FWeight; }
  void SetWeight(double AValue) { Setter(FWeight, AValue); }

 private:
  double FWeight = 1.0;
};
FUNDREL_PUBLISHED(TWeightedItem, TPointItem) { P.Prop("Weight", &TWeightedItem::GetWeight, &TWeightedItem::SetWeight).Default(1.0); }

using TPointItems = TTypedLockCollection<TPointItem>;
FUNDREL_PUBLISHED(TPointItems, TLockCollection) {}

class TChild : public TComponent {
 public:
  using TComponent::TComponent;
  int32_t GetLevel() const { return FLevel; }
  void SetLevel(int32_t AValue) { FLevel = AValue; }

 private:
  int32_t FLevel = 0;
};
FUNDREL_PUBLISHED(TChild, TComponent) { P.Prop("Level", &TChild::GetLevel, &TChild::SetLevel).Default(0); }

// Every value kind: integers, enumeration, boolean, set, double, single, string, a nested
// persistent, a collection, a component reference, an event, a binary and a list defined property.
class TSample : public TLockComponent {
 public:
  explicit TSample(TComponent* AOwner)
      : TLockComponent(AOwner), FShape(this, Lock(), ChangeCallback()), FItems(this, Lock(), ChangeCallback()) {}

  int32_t GetCount() const { return FCount; }
  void SetCount(int32_t AValue) { Setter(FCount, AValue); }
  int64_t GetBig() const { return FBig; }
  void SetBig(int64_t AValue) { Setter(FBig, AValue); }
  uint8_t GetSmall() const { return FSmall; }
  void SetSmall(uint8_t AValue) { Setter(FSmall, AValue); }
  bool GetFlag() const { return FFlag; }
  void SetFlag(bool AValue) { Setter(FFlag, AValue); }
  TMode GetMode() const { return FMode; }
  void SetMode(TMode AValue) { Setter(FMode, AValue); }
  uint32_t GetOptions() const { return FOptions; }
  void SetOptions(uint32_t AValue) { Setter(FOptions, AValue); }
  double GetGain() const { return FGain; }
  void SetGain(double AValue) { Setter(FGain, AValue); }
  float GetRatio() const { return FRatio; }
  void SetRatio(float AValue) { Setter(FRatio, AValue); }
  const String& GetCaption() const { return FCaption; }
  void SetCaption(const String& AValue) { Setter(FCaption, AValue); }
  TShape* GetShape() { return &FShape; }
  void SetShape(const TShape& AValue) { FShape.SetColor(AValue.GetColor()); }
  TPointItems* GetItems() { return &FItems; }
  TComponent* GetPartner() const { return FPartner; }
  void SetPartner(TComponent* AValue) { FPartner = AValue; }
  const std::function<void()>& GetOnStop() const { return FOnStop; }
  void SetOnStop(std::function<void()> AValue) { FOnStop = std::move(AValue); }

  std::vector<uint8_t> Data;
  std::vector<int32_t> Values;
  int StartsFromCode = 0, StartsFromLoading = 0;
  bool LoadingSeenInReadState = false;

  void CreateStart(bool AFromConstructor) override {
    TLockComponent::CreateStart(AFromConstructor);
    ++(AFromConstructor ? StartsFromCode : StartsFromLoading);
  }
  void ReadState(TReader& AReader) override {
    LoadingSeenInReadState = IsLoading();
    TLockComponent::ReadState(AReader);
  }
  void DefineProperties(TFiler& AFiler) override {
    TLockComponent::DefineProperties(AFiler);
    AFiler.DefineBinaryProperty(
        "Data",
        [this](TStream& S) {
          Data.resize(static_cast<size_t>(S.Size()));
          S.ReadBuffer(Data.data(), S.Size());
        },
        [this](TStream& S) { S.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size())); }, !Data.empty());
    AFiler.DefineProperty(
        "Values",
        [this](TReader& R) {
          R.ReadListBegin();
          int32_t count = R.ReadInteger();
          if (count < 0 || count > 65536) throw EReadError("Invalid count of values");
          Values.assign(static_cast<size_t>(count), 0);
          for (size_t i = 0; !R.EndOfList(); ++i) {
            int32_t v = R.ReadInteger();
            if (i < Values.size()) Values[i] = v;  // elements beyond the count are dropped
          }
          R.ReadListEnd();
        },
        [this](TWriter& W) {
          W.WriteListBegin();
          W.WriteInteger(static_cast<int64_t>(Values.size()));
          for (int32_t v : Values) W.WriteInteger(v);
          W.WriteListEnd();
        },
        !Values.empty());
  }

 private:
  int32_t FCount = 10;
  int64_t FBig = 0;
  uint8_t FSmall = 0;
  bool FFlag = true;
  TMode FMode = TMode::mdFast;
  uint32_t FOptions = 1u << static_cast<int>(TOption::opA);
  double FGain = 0.0;
  float FRatio = 0.0f;
  String FCaption;
  TShape FShape;
  TPointItems FItems;
  TComponent* FPartner = nullptr;
  std::function<void()> FOnStop;
};
FUNDREL_PUBLISHED(TSample, TLockComponent) {
  P.Prop("Count", &TSample::GetCount, &TSample::SetCount).Default(10);
  P.Prop("Big", &TSample::GetBig, &TSample::SetBig).Default(0);
  P.Prop("Small", &TSample::GetSmall, &TSample::SetSmall).Default(0);
  P.Prop("Flag", &TSample::GetFlag, &TSample::SetFlag).Default(true);
  P.Prop("Mode", &TSample::GetMode, &TSample::SetMode).Default(TMode::mdFast);
  P.SetProp<TOption>("Options", &TSample::GetOptions, &TSample::SetOptions).Default(1);
  P.Prop("Gain", &TSample::GetGain, &TSample::SetGain).Default(0.0);
  P.Prop("Ratio", &TSample::GetRatio, &TSample::SetRatio).Default(0.0);
  P.Prop("Caption", &TSample::GetCaption, &TSample::SetCaption).Default("");
  P.Prop("Shape", &TSample::GetShape, &TSample::SetShape);
  P.Prop("Items", &TSample::GetItems);
  P.Prop("Partner", &TSample::GetPartner, &TSample::SetPartner);
  P.Prop("OnStop", &TSample::GetOnStop, &TSample::SetOnStop);
}

inline void RegisterTestClasses() { RegisterClasses<TSample, TChild, TPointItem, TWeightedItem>(); }

}  // namespace streamtest
