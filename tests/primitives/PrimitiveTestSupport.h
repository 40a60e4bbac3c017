// Shared helpers of the loader tests: a child process for cases that change process-wide state,
// a temporary library folder, and re-running the loaders and binders in place.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "primitives/DVIPPILoader.h"
#include "primitives/DVIPPSLoader.h"
#include "primitives/GVBasicDispatcher.h"
#include "primitives/GVNormDispatcher.h"
#include "primitives/GVResizeDispatcher.h"
#include "primitives/GVScopeDispatcher.h"

namespace fundrel::test {

// Runs ABody in a forked child, which may change the environment and re-load the libraries
// without touching this process. Failed expectations in the child are printed there and fail
// the test here through the exit status.
inline void InChild(const std::function<void()>& ABody) {
  std::fflush(nullptr);
  pid_t pid = fork();
  ASSERT_NE(pid, -1);
  if (pid == 0) {
    try {
      ABody();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "exception in child: " << e.what();
    }
    std::fflush(nullptr);
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "child failed (status " << status << "); see its messages above";
}

// A fresh directory removed again at the end of the scope; Link() puts a symbolic link named
// AName to ATarget into it.
class TTempDir {
 public:
  TTempDir() {
    char tmpl[] = "/tmp/fundrel-ipp-XXXXXX";
    FPath = mkdtemp(tmpl) ? tmpl : "";
  }
  ~TTempDir() {
    std::error_code ec;
    if (!FPath.empty()) std::filesystem::remove_all(FPath, ec);
  }
  const std::string& Path() const { return FPath; }
  void Link(const std::string& AName, const std::string& ATarget) const {
    std::filesystem::create_symlink(ATarget, FPath + "/" + AName);
  }

 private:
  std::string FPath;
};

// The folder the loaders found our built libraries in when this process started.
inline std::string BuiltLibraryDir() {
  static const std::string dir = IPPLibraryDirectory();
  return dir;
}

// Frees every primitive library, points FUNDREL_IPP_PATH at ADir and loads and binds again,
// the way start-up does. For child processes.
inline void ReloadFrom(const std::string& ADir) {
  setenv(IPPPathVariable, ADir.c_str(), 1);
  DVIPPILoader::FreeIPPILibraries();
  DVIPPSLoader::FreeIPPSLibraries();
  DVIPPSLoader::LoadIPPSLibraries();
  DVIPPILoader::LoadIPPILibraries();
  GVResizeDispatcher::BindResizePrimitives();
  GVScopeDispatcher::BindScopePrimitives();
  BindBasicPrimitives();
  GVNormDispatcher::BindNormPrimitives();
}

inline std::vector<TPrimitiveInfo> AllPrimitives() {
  std::vector<TPrimitiveInfo> all = BasicPrimitives();
  for (auto* more : {&GVScopeDispatcher::ScopePrimitives, &GVResizeDispatcher::ResizePrimitives,
                     &GVNormDispatcher::NormPrimitives})
    for (const TPrimitiveInfo& p : more()) all.push_back(p);
  return all;
}

}  // namespace fundrel::test
