#pragma once
// A security provider in the shape the SChannel TLS channel calls (the SSPI
// shape): a table of functions over credentials and security contexts, with
// messages passed in typed buffers and outcomes given as status codes. The
// TLS client behind it is GnuTLS, run over buffers in memory; this layer
// frames the TLS records itself, so a caller hands over whatever bytes it
// has received and is told what to do with them:
//   SEC_E_INCOMPLETE_MESSAGE  no whole record yet: read more, keep the bytes;
//   SECBUFFER_EXTRA           bytes past the records used: keep them for the
//                             next call;
//   SEC_I_CONTINUE_NEEDED     send the output token (if any), read more;
//   SEC_I_INCOMPLETE_CREDENTIALS  the server asks for a client certificate
//                             that the credentials do not hold;
//   SEC_I_RENEGOTIATE         a post-handshake exchange needs the context
//                             again (InitializeSecurityContext);
//   SEC_I_CONTEXT_EXPIRED     the peer closed TLS (close_notify).

#include <cstdint>

#include "platform/qtxTypes.h"
#include "tls/provider/qtxCertificateStore.h"

namespace qtx {

using SECURITY_STATUS = int32_t;
using ALG_ID = uint32_t;

constexpr SECURITY_STATUS SEC_E_OK = 0;
constexpr SECURITY_STATUS SEC_I_CONTINUE_NEEDED = 0x00090312;
constexpr SECURITY_STATUS SEC_I_CONTEXT_EXPIRED = 0x00090317;
constexpr SECURITY_STATUS SEC_I_INCOMPLETE_CREDENTIALS = 0x00090320;
constexpr SECURITY_STATUS SEC_I_RENEGOTIATE = 0x00090321;
constexpr SECURITY_STATUS SEC_E_INSUFFICIENT_MEMORY = static_cast<int32_t>(0x80090300);
constexpr SECURITY_STATUS SEC_E_INVALID_HANDLE = static_cast<int32_t>(0x80090301);
constexpr SECURITY_STATUS SEC_E_UNSUPPORTED_FUNCTION = static_cast<int32_t>(0x80090302);
constexpr SECURITY_STATUS SEC_E_INTERNAL_ERROR = static_cast<int32_t>(0x80090304);
constexpr SECURITY_STATUS SEC_E_SECPKG_NOT_FOUND = static_cast<int32_t>(0x80090305);
constexpr SECURITY_STATUS SEC_E_INVALID_TOKEN = static_cast<int32_t>(0x80090308);
constexpr SECURITY_STATUS SEC_E_NO_CREDENTIALS = static_cast<int32_t>(0x8009030E);
constexpr SECURITY_STATUS SEC_E_INCOMPLETE_MESSAGE = static_cast<int32_t>(0x80090318);
constexpr SECURITY_STATUS SEC_E_BUFFER_TOO_SMALL = static_cast<int32_t>(0x80090321);
constexpr SECURITY_STATUS SEC_E_ILLEGAL_MESSAGE = static_cast<int32_t>(0x80090326);
constexpr SECURITY_STATUS SEC_E_DECRYPT_FAILURE = static_cast<int32_t>(0x80090330);
constexpr SECURITY_STATUS SEC_E_ALGORITHM_MISMATCH = static_cast<int32_t>(0x80090331);

// ---------------------------------------------------------------- buffers

constexpr uint32_t SECBUFFER_VERSION = 0;
constexpr uint32_t SECBUFFER_EMPTY = 0;
constexpr uint32_t SECBUFFER_DATA = 1;
constexpr uint32_t SECBUFFER_TOKEN = 2;
constexpr uint32_t SECBUFFER_EXTRA = 5;
constexpr uint32_t SECBUFFER_STREAM_TRAILER = 6;
constexpr uint32_t SECBUFFER_STREAM_HEADER = 7;
constexpr uint32_t SECBUFFER_APPLICATION_PROTOCOLS = 18;

struct SecBuffer {
  uint32_t cbBuffer;
  uint32_t BufferType;
  void* pvBuffer;
};

struct SecBufferDesc {
  uint32_t ulVersion;
  uint32_t cBuffers;
  SecBuffer* pBuffers;
};

// An application-protocols buffer holds the ALPN extension form:
// uint32 ProtocolListsSize, uint32 ProtoNegoExt (2: ALPN), uint16
// ProtocolListSize, then each protocol as a length byte and its bytes.
constexpr uint32_t SecApplicationProtocolNegotiationExt_ALPN = 2;

// ---------------------------------------------------------------- handles

struct SecHandle {
  uintptr_t dwLower = 0;
  uintptr_t dwUpper = 0;
};
using CredHandle = SecHandle;
using CtxtHandle = SecHandle;

inline bool SecIsValidHandle(const SecHandle& aHandle) { return aHandle.dwLower != 0; }

// ---------------------------------------------------------------- algorithms

// The algorithm identifiers the provider reports and understands.
constexpr ALG_ID CALG_3DES = 0x6603;
constexpr ALG_ID CALG_AES = 0x6611;
constexpr ALG_ID CALG_AES_128 = 0x660e;
constexpr ALG_ID CALG_AES_256 = 0x6610;
constexpr ALG_ID CALG_RC4 = 0x6801;
constexpr ALG_ID CALG_MD5 = 0x8003;
constexpr ALG_ID CALG_SHA1 = 0x8004;
constexpr ALG_ID CALG_SHA_256 = 0x800c;
constexpr ALG_ID CALG_SHA_384 = 0x800d;
constexpr ALG_ID CALG_SHA_512 = 0x800e;
constexpr ALG_ID CALG_RSA_KEYX = 0xa400;
constexpr ALG_ID CALG_DH_EPHEM = 0xaa02;
constexpr ALG_ID CALG_ECDH_EPHEM = 0xae06;

// ---------------------------------------------------------------- credentials

constexpr const char* UNISP_NAME = "Microsoft Unified Security Protocol Provider";
constexpr uint32_t SECPKG_CRED_OUTBOUND = 2;
constexpr uint32_t SCH_CREDENTIALS_VERSION = 5;
// Credential flags: manual validation (the caller checks the server's
// certificate) and no default credentials (a request for a client
// certificate that the credentials do not hold is the caller's to answer).
constexpr uint32_t SCH_CRED_MANUAL_CRED_VALIDATION = 0x08;
constexpr uint32_t SCH_CRED_NO_DEFAULT_CREDS = 0x10;

// Client protocol bits.
constexpr uint32_t SP_PROT_SSL3_CLIENT = 0x00000020;
constexpr uint32_t SP_PROT_TLS1_0_CLIENT = 0x00000080;
constexpr uint32_t SP_PROT_TLS1_1_CLIENT = 0x00000200;
constexpr uint32_t SP_PROT_TLS1_2_CLIENT = 0x00000800;
constexpr uint32_t SP_PROT_TLS1_3_CLIENT = 0x00002000;

struct TLS_PARAMETERS {
  uint32_t grbitDisabledProtocols;  // SP_PROT_... bits never to negotiate
};

struct SCH_CREDENTIALS {
  uint32_t dwVersion;  // SCH_CREDENTIALS_VERSION
  uint32_t cCreds;     // 0 or 1 client certificate, with its private key
  const PCCERT_CONTEXT* paCred;
  uint32_t dwFlags;
  uint32_t cTlsParameters;
  const TLS_PARAMETERS* pTlsParameters;
  // Bulk ciphers to allow (CALG_... identifiers); none: the default set.
  uint32_t cSupportedAlgs;
  const ALG_ID* palgSupportedAlgs;
};

// ---------------------------------------------------------------- contexts

// Request flags of InitializeSecurityContext.
constexpr uint32_t ISC_REQ_SEQUENCE_DETECT = 0x00000008;
constexpr uint32_t ISC_REQ_REPLAY_DETECT = 0x00000004;
constexpr uint32_t ISC_REQ_CONFIDENTIALITY = 0x00000010;
constexpr uint32_t ISC_REQ_ALLOCATE_MEMORY = 0x00000100;
constexpr uint32_t ISC_REQ_EXTENDED_ERROR = 0x00004000;
constexpr uint32_t ISC_REQ_STREAM = 0x00008000;
constexpr uint32_t SECURITY_NATIVE_DREP = 0x10;

// The token of ApplyControlToken that asks for a TLS close (close_notify
// from the next InitializeSecurityContext).
constexpr uint32_t SCHANNEL_SHUTDOWN = 1;

// Context attributes.
constexpr uint32_t SECPKG_ATTR_STREAM_SIZES = 4;
constexpr uint32_t SECPKG_ATTR_APPLICATION_PROTOCOL = 35;
constexpr uint32_t SECPKG_ATTR_REMOTE_CERT_CONTEXT = 0x53;
constexpr uint32_t SECPKG_ATTR_ISSUER_LIST_EX = 0x59;
constexpr uint32_t SECPKG_ATTR_CONNECTION_INFO = 90;

struct SecPkgContext_StreamSizes {
  uint32_t cbHeader;
  uint32_t cbTrailer;
  uint32_t cbMaximumMessage;
  uint32_t cBuffers;
  uint32_t cbBlockSize;
};

struct SecPkgContext_ConnectionInfo {
  uint32_t dwProtocol;  // one SP_PROT_..._CLIENT bit
  ALG_ID aiCipher;
  uint32_t dwCipherStrength;
  ALG_ID aiHash;
  uint32_t dwHashStrength;
  ALG_ID aiExch;
  uint32_t dwExchStrength;
};

constexpr uint32_t SecApplicationProtocolNegotiationStatus_None = 0;
constexpr uint32_t SecApplicationProtocolNegotiationStatus_Success = 1;

struct SecPkgContext_ApplicationProtocol {
  uint32_t ProtoNegoStatus;
  uint32_t ProtoNegoExt;
  uint8_t ProtocolIdSize;
  uint8_t ProtocolId[255];
};

struct CERT_NAME_BLOB {
  uint32_t cbData;
  const uint8_t* pbData;
};

// The distinguished names (DER) of the certificate authorities whose client
// certificates the server accepts; valid while the context lives.
struct SecPkgContext_IssuerListInfoEx {
  const CERT_NAME_BLOB* aIssuers;
  uint32_t cIssuers;
};

// The provider's functions. Output tokens are allocated by the provider
// (ISC_REQ_ALLOCATE_MEMORY) and freed with FreeContextBuffer; the remote
// certificate attribute is a PCCERT_CONTEXT whose hCertStore holds the rest
// of the chain the server sent.
struct SecurityFunctionTable {
  SECURITY_STATUS (*AcquireCredentialsHandle)(const char* pszPackage, uint32_t fCredentialUse,
                                              const SCH_CREDENTIALS* pAuthData, CredHandle* phCredential);
  SECURITY_STATUS (*FreeCredentialsHandle)(CredHandle* phCredential);
  SECURITY_STATUS (*InitializeSecurityContext)(CredHandle* phCredential, CtxtHandle* phContext,
                                               const char* pszTargetName, uint32_t fContextReq,
                                               uint32_t TargetDataRep, SecBufferDesc* pInput,
                                               CtxtHandle* phNewContext, SecBufferDesc* pOutput,
                                               uint32_t* pfContextAttr);
  SECURITY_STATUS (*DeleteSecurityContext)(CtxtHandle* phContext);
  SECURITY_STATUS (*ApplyControlToken)(CtxtHandle* phContext, SecBufferDesc* pInput);
  SECURITY_STATUS (*QueryContextAttributes)(CtxtHandle* phContext, uint32_t ulAttribute, void* pBuffer);
  SECURITY_STATUS (*FreeContextBuffer)(void* pvContextBuffer);
  SECURITY_STATUS (*EncryptMessage)(CtxtHandle* phContext, uint32_t fQOP, SecBufferDesc* pMessage,
                                    uint32_t MessageSeqNo);
  SECURITY_STATUS (*DecryptMessage)(CtxtHandle* phContext, SecBufferDesc* pMessage, uint32_t MessageSeqNo,
                                    uint32_t* pfQOP);
};

// The provider's table; it lives for the process.
const SecurityFunctionTable* InitSecurityInterface();

// How many security contexts exist and are not yet deleted.
int SecurityContextsInUse();

}  // namespace qtx
