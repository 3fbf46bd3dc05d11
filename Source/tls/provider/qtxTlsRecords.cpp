#include "tls/provider/qtxTlsRecords.h"

namespace qtx {
namespace {

// change_cipher_spec, alert, handshake, application_data, heartbeat.
constexpr uint8_t kFirstContentType = 20;
constexpr uint8_t kLastContentType = 24;
constexpr uint8_t kVersionMajor = 3;

}  // namespace

TTlsRecordCheck CheckTlsRecord(const uint8_t* aData, size_t aSize, size_t& aLength) {
  if (aSize >= 1 && (aData[0] < kFirstContentType || aData[0] > kLastContentType)) return TTlsRecordCheck::Malformed;
  if (aSize >= 2 && aData[1] != kVersionMajor) return TTlsRecordCheck::Malformed;
  if (aSize < kTlsRecordHeaderSize) return TTlsRecordCheck::Incomplete;
  const size_t body = static_cast<size_t>(aData[3]) << 8 | aData[4];
  if (body > kTlsMaxRecordBody) return TTlsRecordCheck::Malformed;
  if (aSize < kTlsRecordHeaderSize + body) return TTlsRecordCheck::Incomplete;
  aLength = kTlsRecordHeaderSize + body;
  return TTlsRecordCheck::Whole;
}

size_t WholeTlsRecords(const uint8_t* aData, size_t aSize, bool& aMalformed) {
  aMalformed = false;
  size_t position = 0;
  while (true) {
    size_t length = 0;
    switch (CheckTlsRecord(aData + position, aSize - position, length)) {
      case TTlsRecordCheck::Whole: position += length; break;
      case TTlsRecordCheck::Incomplete: return position;
      case TTlsRecordCheck::Malformed: aMalformed = true; return position;
    }
  }
}

}  // namespace qtx
