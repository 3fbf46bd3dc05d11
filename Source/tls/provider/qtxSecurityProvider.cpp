// The provider's function table: handle checks around the credentials and
// security contexts.

#include "tls/provider/qtxSecurityProvider.h"

#include <atomic>
#include <cstring>

#include "tls/provider/qtxSecurityContext.h"
#include "tls/provider/qtxSecurityCredentials.h"

namespace qtx {
namespace {

// Tags in dwUpper tell the two kinds of handle apart.
constexpr uintptr_t kCredentialsTag = 0x43524544;  // "CRED"
constexpr uintptr_t kContextTag = 0x43545854;      // "CTXT"
// The requests the provider honours; it always allocates its tokens.
constexpr uint32_t kSupportedRequests = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                        ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_EXTENDED_ERROR | ISC_REQ_STREAM;

std::atomic<int> GContextsInUse{0};

using TCredentialsRef = std::shared_ptr<TSecurityCredentials>;

TCredentialsRef* CredentialsOf(const CredHandle* aHandle) {
  if (!aHandle || !SecIsValidHandle(*aHandle) || aHandle->dwUpper != kCredentialsTag) return nullptr;
  return reinterpret_cast<TCredentialsRef*>(aHandle->dwLower);
}

TSecurityContext* ContextOf(const CtxtHandle* aHandle) {
  if (!aHandle || !SecIsValidHandle(*aHandle) || aHandle->dwUpper != kContextTag) return nullptr;
  return reinterpret_cast<TSecurityContext*>(aHandle->dwLower);
}

SECURITY_STATUS AcquireCredentialsHandle(const char* pszPackage, uint32_t fCredentialUse,
                                         const SCH_CREDENTIALS* pAuthData, CredHandle* phCredential) {
  if (!pszPackage || std::strcmp(pszPackage, UNISP_NAME) != 0) return SEC_E_SECPKG_NOT_FOUND;
  if (fCredentialUse != SECPKG_CRED_OUTBOUND) return SEC_E_UNSUPPORTED_FUNCTION;  // a client only
  if (!pAuthData || !phCredential) return SEC_E_NO_CREDENTIALS;
  TCredentialsRef credentials;
  const SECURITY_STATUS status =
      TSecurityCredentials::Acquire(*pAuthData, &TSecurityContext::SelectClientCertificate, credentials);
  if (status != SEC_E_OK) return status;
  phCredential->dwLower = reinterpret_cast<uintptr_t>(new TCredentialsRef(std::move(credentials)));
  phCredential->dwUpper = kCredentialsTag;
  return SEC_E_OK;
}

SECURITY_STATUS FreeCredentialsHandle(CredHandle* phCredential) {
  TCredentialsRef* credentials = CredentialsOf(phCredential);
  if (!credentials) return SEC_E_INVALID_HANDLE;
  delete credentials;  // a context that uses them keeps its own reference
  *phCredential = {};
  return SEC_E_OK;
}

SECURITY_STATUS InitializeSecurityContext(CredHandle* phCredential, CtxtHandle* phContext, const char* pszTargetName,
                                          uint32_t fContextReq, uint32_t, SecBufferDesc* pInput,
                                          CtxtHandle* phNewContext, SecBufferDesc* pOutput, uint32_t* pfContextAttr) {
  if (!(fContextReq & ISC_REQ_ALLOCATE_MEMORY)) return SEC_E_UNSUPPORTED_FUNCTION;
  if (pfContextAttr) *pfContextAttr = fContextReq & kSupportedRequests;
  TCredentialsRef* credentials = CredentialsOf(phCredential);
  const TCredentialsRef none;
  if (TSecurityContext* context = ContextOf(phContext)) {
    if (phNewContext) *phNewContext = *phContext;
    return context->Initialize(credentials ? *credentials : none, pszTargetName, pInput, pOutput);
  }
  if (phContext && SecIsValidHandle(*phContext)) return SEC_E_INVALID_HANDLE;
  if (!credentials) return SEC_E_INVALID_HANDLE;
  if (!phNewContext) return SEC_E_INVALID_TOKEN;
  auto* context = new TSecurityContext;
  const SECURITY_STATUS status = context->Initialize(*credentials, pszTargetName, pInput, pOutput);
  if (status < 0) {
    delete context;
    return status;
  }
  ++GContextsInUse;
  phNewContext->dwLower = reinterpret_cast<uintptr_t>(context);
  phNewContext->dwUpper = kContextTag;
  return status;
}

SECURITY_STATUS DeleteSecurityContext(CtxtHandle* phContext) {
  TSecurityContext* context = ContextOf(phContext);
  if (!context) return SEC_E_INVALID_HANDLE;
  delete context;
  --GContextsInUse;
  *phContext = {};
  return SEC_E_OK;
}

SECURITY_STATUS ApplyControlToken(CtxtHandle* phContext, SecBufferDesc* pInput) {
  TSecurityContext* context = ContextOf(phContext);
  return context ? context->ApplyControlToken(pInput) : SEC_E_INVALID_HANDLE;
}

SECURITY_STATUS QueryContextAttributes(CtxtHandle* phContext, uint32_t ulAttribute, void* pBuffer) {
  TSecurityContext* context = ContextOf(phContext);
  return context ? context->QueryAttributes(ulAttribute, pBuffer) : SEC_E_INVALID_HANDLE;
}

SECURITY_STATUS FreeContextBuffer(void* pvContextBuffer) {
  delete[] static_cast<uint8_t*>(pvContextBuffer);
  return SEC_E_OK;
}

SECURITY_STATUS EncryptMessage(CtxtHandle* phContext, uint32_t, SecBufferDesc* pMessage, uint32_t) {
  TSecurityContext* context = ContextOf(phContext);
  return context ? context->Encrypt(pMessage) : SEC_E_INVALID_HANDLE;
}

SECURITY_STATUS DecryptMessage(CtxtHandle* phContext, SecBufferDesc* pMessage, uint32_t, uint32_t* pfQOP) {
  if (pfQOP) *pfQOP = 0;
  TSecurityContext* context = ContextOf(phContext);
  return context ? context->Decrypt(pMessage) : SEC_E_INVALID_HANDLE;
}

constexpr SecurityFunctionTable kSecurityFunctionTable = {
    AcquireCredentialsHandle, FreeCredentialsHandle, InitializeSecurityContext, DeleteSecurityContext,
    ApplyControlToken,        QueryContextAttributes, FreeContextBuffer,        EncryptMessage,
    DecryptMessage};

}  // namespace

const SecurityFunctionTable* InitSecurityInterface() { return &kSecurityFunctionTable; }

int SecurityContextsInUse() { return GContextsInUse.load(); }

}  // namespace qtx
