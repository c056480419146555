// The console's errno values and the texts they print.
#include "platform/in_out_error_posix.h"

#include <errno.h>
#include <gtest/gtest.h>

#include "base/text.h"

TEST(InOutErrorFromErrno, OnlyMatchingMeaningsKeepTheRuntimeTexts) {
  const struct {
    int error;
    const char16_t* message;
  } cases[] = {
      {EACCES, u"Dateizugriff verweigert"},
      {EPERM, u"Dateizugriff verweigert"},
      {ENOSPC, u"Zu wenig Speicherplatz"},
      {EDQUOT, u"Zu wenig Speicherplatz"},
      // errno 5 and 101 collide with the runtime's codes for access denied and disk full.
      {EIO, u"E/A-Fehler 5"},
      {ENETUNREACH, u"E/A-Fehler 101"},
      {EPIPE, u"E/A-Fehler 32"},
      {EBADF, u"E/A-Fehler 9"},
      {ENXIO, u"E/A-Fehler 6"},
      {EFBIG, u"E/A-Fehler 27"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    const EInOutError error = InOutErrorFromErrno(c.error);
    EXPECT_EQ(Utf16ToUtf8(error.Message()), Utf16ToUtf8(c.message));
  }
}
