// The byte streams the XML documents load from and save to: a small seekable stream interface
// over memory and over files. Owned objects (not reference-counted); one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "host/Quenra.Config.h"

namespace fundrel {

enum class TXmlSeekOrigin { Beginning, Current, End };

class FUNDREL_API TXmlStream {
 public:
  virtual ~TXmlStream() = default;
  // Reads up to ACount bytes; answers how many were read (0 at the end).
  virtual int64_t Read(void* ABuffer, int64_t ACount) = 0;
  // Writes ACount bytes; a short write raises EWriteError.
  virtual void Write(const void* ABuffer, int64_t ACount) = 0;
  // Moves the position; answers the new position from the beginning.
  virtual int64_t Seek(int64_t AOffset, TXmlSeekOrigin AOrigin) = 0;
  virtual int64_t GetSize() = 0;

  int64_t GetPosition() { return Seek(0, TXmlSeekOrigin::Current); }
  void SetPosition(int64_t APosition) { Seek(APosition, TXmlSeekOrigin::Beginning); }
};

// A growable block of memory; seeking past the end and writing there fills the gap with zeros.
class FUNDREL_API TXmlMemoryStream final : public TXmlStream {
 public:
  TXmlMemoryStream() = default;
  // Starts with a copy of AData, positioned at 0.
  explicit TXmlMemoryStream(std::string AData) : FData(std::move(AData)) {}

  int64_t Read(void* ABuffer, int64_t ACount) override;
  void Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TXmlSeekOrigin AOrigin) override;
  int64_t GetSize() override { return static_cast<int64_t>(FData.size()); }

  const std::string& Data() const { return FData; }

 private:
  std::string FData;
  int64_t FPosition = 0;
};

// A file opened for reading (ACreate false) or created and truncated for writing (ACreate true).
// Failure to open raises EFOpenError "Cannot open file "<name>"."; read and write errors raise
// EReadError and EWriteError.
class FUNDREL_API TXmlFileStream final : public TXmlStream {
 public:
  TXmlFileStream(const String& AFileName, bool ACreate);
  ~TXmlFileStream() override;

  int64_t Read(void* ABuffer, int64_t ACount) override;
  void Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TXmlSeekOrigin AOrigin) override;
  int64_t GetSize() override;

 private:
  int FHandle = -1;
};

}  // namespace fundrel
