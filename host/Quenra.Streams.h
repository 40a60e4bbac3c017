// Byte streams: the abstract stream, a growing memory stream and a file stream.
//
// Positions and sizes are signed 64-bit byte counts. A stream object is used by one thread at a
// time. Short reads and writes through ReadBuffer/WriteBuffer raise EReadError "Stream read
// error" and EWriteError "Stream write error"; Read and Write report the count moved instead.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "host/Quenra.Interfaces.h"
#include "host/Quenra.SysUtils.h"

namespace fundrel {

enum class TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class FUNDREL_API TStream : public TObject {
 public:
  // Moves up to ACount bytes; returns how many moved (0 at the end).
  virtual int64_t Read(void* ABuffer, int64_t ACount) = 0;
  virtual int64_t Write(const void* ABuffer, int64_t ACount) = 0;
  // Returns the new position; a position before 0 raises EStreamError.
  virtual int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) = 0;
  virtual int64_t Size();
  virtual void SetSize(int64_t ASize) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t APosition) { Seek(APosition, TSeekOrigin::soBeginning); }
  void ReadBuffer(void* ABuffer, int64_t ACount);
  void WriteBuffer(const void* ABuffer, int64_t ACount);
  // Copies ACount bytes from ASource's position (0: all of ASource from its start); returns
  // the count copied.
  int64_t CopyFrom(TStream& ASource, int64_t ACount);
};

// A stream over a growing byte array, which it owns.
class FUNDREL_API TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> ABytes) : FData(std::move(ABytes)) {}

  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  // New bytes are zero.
  void SetSize(int64_t ASize) override;

  const uint8_t* Memory() const { return FData.data(); }
  const std::vector<uint8_t>& Bytes() const { return FData; }
  void Clear();
  void LoadFromStream(TStream& ASource);
  void SaveToStream(TStream& ADest) const;
  void LoadFromFile(const String& AFileName);
  void SaveToFile(const String& AFileName) const;

 private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

enum TFileMode : uint32_t {
  fmOpenRead = 0,       // existing file, read only
  fmOpenWrite = 1,      // existing file, write only
  fmOpenReadWrite = 2,  // existing file
  fmCreate = 0xFF00,    // create or truncate, read and write
};

// A stream over a file. Opening fails with EFOpenError "Cannot open file "<name>"." followed by
// the system's reason.
class FUNDREL_API TFileStream : public TStream {
 public:
  TFileStream(const String& AFileName, uint32_t AMode);
  ~TFileStream() override;

  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  void SetSize(int64_t ASize) override;
  const String& FileName() const { return FFileName; }

 private:
  String FFileName;
  int FHandle = -1;
};

}  // namespace fundrel
