#include "host/Quenra.Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fundrel {

int64_t TStream::Size() {
  int64_t here = Seek(0, TSeekOrigin::soCurrent);
  int64_t end = Seek(0, TSeekOrigin::soEnd);
  Seek(here, TSeekOrigin::soBeginning);
  return end;
}

void TStream::ReadBuffer(void* ABuffer, int64_t ACount) {
  if (ACount > 0 && Read(ABuffer, ACount) != ACount) RaiseReadError();
}

void TStream::WriteBuffer(const void* ABuffer, int64_t ACount) {
  if (ACount > 0 && Write(ABuffer, ACount) != ACount) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& ASource, int64_t ACount) {
  if (ACount == 0) {
    ASource.SetPosition(0);
    ACount = ASource.Size();
  }
  uint8_t chunk[65536];
  int64_t done = 0;
  while (done < ACount) {
    int64_t n = std::min<int64_t>(sizeof chunk, ACount - done);
    ASource.ReadBuffer(chunk, n);
    WriteBuffer(chunk, n);
    done += n;
  }
  return done;
}

int64_t TMemoryStream::Read(void* ABuffer, int64_t ACount) {
  if (ACount <= 0 || FPosition >= Size()) return 0;
  int64_t n = std::min(ACount, Size() - FPosition);
  std::memcpy(ABuffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* ABuffer, int64_t ACount) {
  if (ACount <= 0) return 0;
  if (FPosition + ACount > Size()) FData.resize(static_cast<size_t>(FPosition + ACount));
  std::memcpy(FData.data() + FPosition, ABuffer, static_cast<size_t>(ACount));
  FPosition += ACount;
  return ACount;
}

int64_t TMemoryStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  int64_t base = AOrigin == TSeekOrigin::soBeginning ? 0 : AOrigin == TSeekOrigin::soCurrent ? FPosition : Size();
  if (base + AOffset < 0) throw EStreamError("Invalid stream position");
  FPosition = base + AOffset;
  return FPosition;
}

void TMemoryStream::SetSize(int64_t ASize) {
  if (ASize < 0) throw EStreamError("Invalid stream size");
  FData.resize(static_cast<size_t>(ASize));
  FPosition = std::min(FPosition, ASize);
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& ASource) {
  ASource.SetPosition(0);
  int64_t n = ASource.Size();
  std::vector<uint8_t> data(static_cast<size_t>(n));
  ASource.ReadBuffer(data.data(), n);
  FData = std::move(data);
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& ADest) const { ADest.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size())); }

void TMemoryStream::LoadFromFile(const String& AFileName) {
  TFileStream file(AFileName, fmOpenRead);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const String& AFileName) const {
  TFileStream file(AFileName, fmCreate);
  SaveToStream(file);
}

TFileStream::TFileStream(const String& AFileName, uint32_t AMode) : FFileName(AFileName) {
  int flags = AMode == fmCreate          ? O_RDWR | O_CREAT | O_TRUNC
              : AMode == fmOpenWrite     ? O_WRONLY
              : AMode == fmOpenReadWrite ? O_RDWR
                                         : O_RDONLY;
  errno = 0;
  FHandle = ::open(AFileName.c_str(), flags | O_CLOEXEC, 0666);
  if (FHandle < 0) RaiseFileOpenError(AFileName);
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileStream::Read(void* ABuffer, int64_t ACount) {
  int64_t done = 0;
  while (done < ACount) {
    ssize_t n = ::read(FHandle, static_cast<uint8_t*>(ABuffer) + done, static_cast<size_t>(ACount - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* ABuffer, int64_t ACount) {
  int64_t done = 0;
  while (done < ACount) {
    ssize_t n = ::write(FHandle, static_cast<const uint8_t*>(ABuffer) + done, static_cast<size_t>(ACount - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  int whence = AOrigin == TSeekOrigin::soBeginning ? SEEK_SET : AOrigin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(FHandle, AOffset, whence);
  if (r < 0) throw EStreamError("Invalid stream position in " + FFileName);
  return r;
}

void TFileStream::SetSize(int64_t ASize) {
  if (::ftruncate(FHandle, ASize) != 0) throw EStreamError("Cannot set the size of " + FFileName);
}

}  // namespace fundrel
