#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include "win32/WinHttpHandle.h"

namespace {

// Wine's WinHttpCloseHandle clears the last error; texts built after a scope's handles are closed
// (the configuration request's diagnostic) must still see the failed call's code.
TEST(UniqueResource, ClosingKeepsTheLastError) {
  win32::UniqueWinHttp session(
      ::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  ASSERT_TRUE(session);
  ::SetLastError(ERROR_WINHTTP_TIMEOUT);
  session.reset();
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_TIMEOUT));
}

}  // namespace
