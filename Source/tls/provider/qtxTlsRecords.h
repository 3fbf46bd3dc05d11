#pragma once
// TLS record framing: every record starts with a five-byte header (content
// type, protocol version, length of what follows). The security provider
// hands GnuTLS whole records only, so that a partial record stays with the
// caller (SEC_E_INCOMPLETE_MESSAGE) and bytes past the records it used go
// back as extra data.

#include <cstddef>
#include <cstdint>

namespace qtx {

constexpr size_t kTlsRecordHeaderSize = 5;
// The largest record body TLS allows (TLSCiphertext: 2^14 + 2048).
constexpr size_t kTlsMaxRecordBody = 16384 + 2048;

enum class TTlsRecordCheck { Whole, Incomplete, Malformed };

// Looks at the record at the start of aData: Whole (with aLength set to the
// header and body), Incomplete when more bytes must come, Malformed when the
// header is no TLS record header (unknown content type, a version other than
// 3.x, a body longer than TLS allows).
TTlsRecordCheck CheckTlsRecord(const uint8_t* aData, size_t aSize, size_t& aLength);

// The length of the longest prefix of aData made of whole records; sets
// aMalformed when a record header in it (or after it) is malformed.
size_t WholeTlsRecords(const uint8_t* aData, size_t aSize, bool& aMalformed);

}  // namespace qtx
