#pragma once
// A TCP relay between a TLS client and a TLS server that reshapes the
// server's records on their way to the client: each record cut into two
// TCP segments with a pause between them, records sent two at a time in
// one segment, or the stream ended the way a hostile or broken peer ends
// it (in the middle of a record, with or without closing, or at a record
// boundary without a TLS close). The client's bytes pass unchanged.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "qtxTestSockets.h"

namespace qtx::test {

class TTlsRecordRelay {
public:
  enum class TMode { Pass, Split, Merge };
  // How the server's stream ends for the client.
  enum class TCut {
    AtRecordBoundary,  // nothing more, then a TCP close (no TLS close)
    MidRecordStall,    // half of the next record, then silence (the connection stays)
    MidRecordClose     // half of the next record, then a TCP close
  };

  TTlsRecordRelay(uint16_t aServerPort, TMode aMode);
  ~TTlsRecordRelay();
  TTlsRecordRelay(const TTlsRecordRelay&) = delete;
  TTlsRecordRelay& operator=(const TTlsRecordRelay&) = delete;

  uint16_t Port() const noexcept { return FListener.Port(); }
  // Forwards aRecords more records of the server, then ends the stream as
  // aCut says.
  void CutAfter(int aRecords, TCut aCut);
  // How many records went in two segments, and how many segments held two
  // records.
  int SplitRecords() const noexcept { return FSplit.load(); }
  int MergedSegments() const noexcept { return FMerged.load(); }

private:
  void Run();
  // Forwards what the server sent (whole records, as the mode says);
  // false once the client's side is closed or cut.
  bool ForwardRecords(int aClient, bool aServerClosed);
  bool SendRecords(int aClient, size_t aLength, bool aSplit);

  TTestListener FListener;
  uint16_t FServerPort;
  TMode FMode;
  std::mutex FLock;
  int FRecordsBeforeCut = -1;  // -1: no cut
  TCut FCut = TCut::AtRecordBoundary;
  TBytes FFromServer;
  std::atomic<int> FSplit{0};
  std::atomic<int> FMerged{0};
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

}  // namespace qtx::test
