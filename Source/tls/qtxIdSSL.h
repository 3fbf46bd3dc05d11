#pragma once
// The base of the TLS IO handlers: a socket handler whose bytes pass in the
// clear while PassThrough is on and through the TLS session otherwise.

#include <memory>
#include <span>
#include <string>

#include "transport/qtxIdIOHandlerRegistry.h"
#include "transport/qtxIdIOHandlerStack.h"

namespace qtx {

// The class entry of the TLS handlers' base (abstract): a connection that
// needs TLS and has no handler asks the registry for a class inheriting
// from it.
inline const TIdIOHandlerClass& IdSSLIOHandlerSocketBaseClass() {
  static const TIdIOHandlerClass entry("TIdSSLIOHandlerSocketBase", &IdIOHandlerStackClass());
  return entry;
}

class TIdSSLIOHandlerSocketBase : public TIdIOHandlerStack {
public:
  explicit TIdSSLIOHandlerSocketBase(TComponent* aOwner = nullptr) : TIdIOHandlerStack(aOwner) {}

  // True (the default): bytes pass unencrypted. Turning it off on a
  // connected handler starts TLS on the connection.
  bool PassThrough() const noexcept { return fPassThrough; }
  virtual void SetPassThrough(bool aValue) { fPassThrough = aValue; }
  // The URL being requested; its host is the TLS server name.
  const std::string& URIToCheck() const noexcept { return FURIToCheck; }
  virtual void SetURIToCheck(const std::string& aValue) { FURIToCheck = aValue; }
  // True on the accepting side of a connection.
  bool IsPeer() const noexcept { return fIsPeer; }
  void SetIsPeer(bool aValue) { fIsPeer = aValue; }

  // Starts TLS unless the handler passes bytes through.
  virtual void StartSSL() = 0;
  // A new handler of the same kind with the same TLS settings.
  virtual std::unique_ptr<TIdSSLIOHandlerSocketBase> Clone() = 0;

protected:
  virtual int ReadSecure(std::span<uint8_t> aBuffer) = 0;
  virtual int WriteSecure(const TIdBytes& aBuffer, int aOffset, int aLength) = 0;

  // The stack's connect (TCP and any proxy tunnel), in the clear whatever
  // PassThrough says; PassThrough is as it was afterwards, also on failure.
  void ConnectInTheClear();
  // The host the TLS session is with: the host of URIToCheck, else Host.
  // A proxy only carries the tunnel, so its host is never the TLS peer.
  std::string TLSPeerHost() const;

  int ReadDataFromSource(std::span<uint8_t> aBuffer) override {
    return fPassThrough ? TIdIOHandlerStack::ReadDataFromSource(aBuffer) : ReadSecure(aBuffer);
  }
  int WriteDataToTarget(const TIdBytes& aBuffer, int aOffset, int aLength) override {
    return fPassThrough ? TIdIOHandlerStack::WriteDataToTarget(aBuffer, aOffset, aLength)
                        : WriteSecure(aBuffer, aOffset, aLength);
  }

  bool fPassThrough = true;
  bool fIsPeer = false;
  std::string FURIToCheck;
};

}  // namespace qtx
