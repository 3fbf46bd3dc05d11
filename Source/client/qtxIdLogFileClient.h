#pragma once
// The HTTP client's traffic log: a file log whose records are written one
// whole record at a time under a lock, so that records of connections on
// several threads never interleave.

#include <mutex>
#include <string>

#include "transport/qtxIdLogFile.h"

namespace qtx {

class TqtxIdLogFileBase : public TIdLogFile {
public:
  using TIdLogFile::TIdLogFile;
  std::string ClassName() const override { return "TqtxIdLogFileBase"; }

protected:
  void WriteToFile(const TIdBytes& aRecord) override {
    std::lock_guard guard(FLock);
    TIdLogFile::WriteToFile(aRecord);
  }

private:
  std::mutex FLock;
};

class TqtxIdLogFileClient : public TqtxIdLogFileBase {
public:
  using TqtxIdLogFileBase::TqtxIdLogFileBase;
  std::string ClassName() const override { return "TqtxIdLogFileClient"; }
};

}  // namespace qtx
