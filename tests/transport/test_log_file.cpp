// The file traffic log: its record formats, its line-end and time switches,
// the name that cannot change while the file is open, and appending.

#include <gtest/gtest.h>

#include "core/qtxIdException.h"
#include "support/qtxTestHelpers.h"
#include "support/qtxTestShell.h"
#include "transport/qtxIdLogFile.h"

namespace qtx {
namespace {

using test::Bytes;
using test::Raised;

TEST(LogFile, WritesEachRecordAsSwitchedAndAppendsAfterReopening) {
  test::TTempFolder folder;
  const std::string file = folder.File("traffic.log");
  test::WriteFileBytes(file, Bytes("earlier\r\n"));
  TIdLogFile log;
  log.SetFileName(file);
  log.SetLogTime(false);
  log.SetActive(true);
  EXPECT_EQ(Raised<EIdException>([&] { log.SetFileName(folder.File("other.log")); }).Message(),
            "Unable to set Filename while log file is open.");

  log.Connect(nullptr);
  TIdBytes sent = Bytes("GET / HTTP/1.1\r\n\n\r");
  log.Send(sent);
  EXPECT_EQ(sent, Bytes("GET / HTTP/1.1\r\n\n\r"));  // the log changes its record, not the bytes
  log.SetReplaceCRLF(false);
  TIdBytes received = Bytes("a\r\nb");
  log.Receive(received);
  log.SetActive(false);

  log.SetFileName(file);
  log.SetActive(true);
  log.Disconnect();
  log.SetActive(false);
  TIdBytes ignored = Bytes("while closed");
  log.Send(ignored);
  EXPECT_EQ(test::Text(test::ReadFileBytes(file)), "earlier\r\n"
                                                   "Stat Connected.\r\n"
                                                   "Sent: GET / HTTP/1.1<EOL><LF><CR>\r\n"
                                                   "Recv: a\r\nb\r\n"
                                                   "Stat Disconnected.\r\n");
}

}  // namespace
}  // namespace qtx
