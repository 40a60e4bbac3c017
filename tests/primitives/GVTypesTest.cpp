// DVLoadLibrary: the handle on success, the linker's message through the callback or an exception.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "PrimitiveTestSupport.h"
#include "primitives/GVTypes.h"

namespace fundrel {
namespace {

struct TErrorLog {
  int Calls = 0;
  TObject* Sender = nullptr;
  String Message;
  int32_t Code = -1;
  bool HandledOnEntry = true;
};

TDVLoadErrorEvent Recorder(TErrorLog& ALog, bool ASetHandled) {
  return [&ALog, ASetHandled](TObject* Sender, const String& AMessage, int32_t ACode, bool& AHandled) {
    ++ALog.Calls;
    ALog.Sender = Sender;
    ALog.Message = AMessage;
    ALog.Code = ACode;
    ALog.HandledOnEntry = AHandled;
    if (ASetHandled) AHandled = true;
  };
}

TEST(DVLoadLibrary, LoadsALibraryWithoutCallingTheCallback) {
  TErrorLog log;
  TLibHandle handle = DVLoadLibrary(nullptr, FUNDREL_TEST_DUP2, Recorder(log, true));
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(log.Calls, 0);
  auto id = reinterpret_cast<int (*)()>(platform::DynLibSymbol(handle, "fundrel_fixture_id"));
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(id(), 2);
  DVFreeLibrary(handle);
  DVFreeLibrary(nullptr);
}

TEST(DVLoadLibrary, MissingFileReportsTheLinkersTextToCallbackOrException) {
  test::TTempDir dir;
  const String missing = dir.Path() + "/libnothing.so";
  TObject* sender = reinterpret_cast<TObject*>(&dir);  // only passed through, never used

  // Handled: no handle, no exception; the callback saw the message and the code.
  TErrorLog handled;
  EXPECT_EQ(DVLoadLibrary(sender, missing, Recorder(handled, true)), nullptr);
  EXPECT_EQ(handled.Calls, 1);
  EXPECT_EQ(handled.Sender, sender);
  EXPECT_FALSE(handled.HandledOnEntry);
  EXPECT_EQ(handled.Code, ENOENT);
  EXPECT_EQ(handled.Message.rfind(missing, 0), 0u) << handled.Message;
  EXPECT_NE(handled.Message.find("No such file"), String::npos) << handled.Message;

  // A callback that leaves the flag alone does not stop the exception; neither does its absence.
  TErrorLog unhandled;
  for (bool withCallback : {true, false}) {
    try {
      DVLoadLibrary(sender, missing, withCallback ? Recorder(unhandled, false) : nullptr);
      ADD_FAILURE() << "no exception";
    } catch (const EGVDLLLoadError& e) {
      EXPECT_EQ(e.Message(), handled.Message);
    }
  }
  EXPECT_EQ(unhandled.Calls, 1);
}

TEST(DVLoadLibrary, FileThatIsNotALibraryFailsWithAMessage) {
  test::TTempDir dir;
  const String bogus = dir.Path() + "/libbogus.so";
  std::ofstream(bogus) << "this is not a shared object\n";
  TErrorLog log;
  EXPECT_EQ(DVLoadLibrary(nullptr, bogus, Recorder(log, true)), nullptr);
  EXPECT_EQ(log.Calls, 1);
  EXPECT_NE(log.Message.find(bogus), String::npos) << log.Message;
}

}  // namespace
}  // namespace fundrel
