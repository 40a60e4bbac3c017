#include "xml/DVXmlStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/Quenra.SysUtils.h"

namespace fundrel {

int64_t TXmlMemoryStream::Read(void* ABuffer, int64_t ACount) {
  const int64_t size = static_cast<int64_t>(FData.size());
  if (ACount <= 0 || FPosition >= size) return 0;
  const int64_t n = std::min(ACount, size - FPosition);
  std::memcpy(ABuffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

void TXmlMemoryStream::Write(const void* ABuffer, int64_t ACount) {
  if (ACount <= 0) return;
  const size_t end = static_cast<size_t>(FPosition + ACount);
  if (end > FData.size()) FData.resize(end);
  std::memcpy(FData.data() + FPosition, ABuffer, static_cast<size_t>(ACount));
  FPosition += ACount;
}

int64_t TXmlMemoryStream::Seek(int64_t AOffset, TXmlSeekOrigin AOrigin) {
  int64_t base = AOrigin == TXmlSeekOrigin::Beginning ? 0
                 : AOrigin == TXmlSeekOrigin::Current ? FPosition
                                                       : static_cast<int64_t>(FData.size());
  FPosition = std::max<int64_t>(0, base + AOffset);
  return FPosition;
}

TXmlFileStream::TXmlFileStream(const String& AFileName, bool ACreate) {
  errno = 0;
  FHandle = ACreate ? ::open(AFileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)
                    : ::open(AFileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (FHandle < 0) RaiseFileOpenError(AFileName);
}

TXmlFileStream::~TXmlFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TXmlFileStream::Read(void* ABuffer, int64_t ACount) {
  int64_t done = 0;
  while (done < ACount) {
    ssize_t n = ::read(FHandle, static_cast<char*>(ABuffer) + done, static_cast<size_t>(ACount - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseReadError();
    if (n == 0) break;
    done += n;
  }
  return done;
}

void TXmlFileStream::Write(const void* ABuffer, int64_t ACount) {
  int64_t done = 0;
  while (done < ACount) {
    ssize_t n = ::write(FHandle, static_cast<const char*>(ABuffer) + done, static_cast<size_t>(ACount - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EWriteError("Stream write error");
    done += n;
  }
}

int64_t TXmlFileStream::Seek(int64_t AOffset, TXmlSeekOrigin AOrigin) {
  int whence = AOrigin == TXmlSeekOrigin::Beginning ? SEEK_SET : AOrigin == TXmlSeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(FHandle, static_cast<off_t>(AOffset), whence);
  if (r < 0) RaiseReadError();
  return r;
}

int64_t TXmlFileStream::GetSize() {
  struct stat st;
  if (::fstat(FHandle, &st) != 0) RaiseReadError();
  return st.st_size;
}

}  // namespace fundrel
