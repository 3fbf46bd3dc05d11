#pragma once
// HTTP authentication: the base of every scheme, the challenge parser and
// the process-wide registry that maps scheme words to scheme classes.

#include <memory>
#include <string>
#include <string_view>

#include "http/qtxIdHeaderList.h"

namespace qtx {

// What the engine does after a challenge was weighed.
enum TIdAuthWhatsNext {
  wnAskTheProgram = 0,  // credentials are needed from the application
  wnDoRequest = 1,      // send the request again with the new header
  wnFail = 2,
};

class TIdAuthentication {
public:
  TIdAuthentication();
  virtual ~TIdAuthentication() = default;
  TIdAuthentication(const TIdAuthentication&) = delete;
  TIdAuthentication& operator=(const TIdAuthentication&) = delete;

  // The value of the Authorization (or Proxy-Authorization) header.
  virtual std::string Authentication() = 0;
  // Decides the next step from the challenge lines in AuthParams.
  TIdAuthWhatsNext Next() { return DoNext(); }
  virtual int Steps() const = 0;
  int CurrentStep() const noexcept { return FCurrentStep; }
  virtual void Reset() { FCurrentStep = 0; }
  virtual bool KeepAlive() const { return false; }
  // The method and request URI of the request about to be written.
  virtual void SetRequest(const std::string& aMethod, const std::string& aUri);

  std::string Username() const { return FParams.Values("Username"); }
  virtual void SetUsername(const std::string& aValue) { FParams.SetValues("Username", aValue); }
  std::string Password() const { return FParams.Values("Password"); }
  virtual void SetPassword(const std::string& aValue) { FParams.SetValues("Password", aValue); }

  TIdHeaderList& Params() noexcept { return FParams; }
  const TIdHeaderList& Params() const noexcept { return FParams; }
  // The challenge lines of the last response, one per header line, each
  // starting with its scheme word.
  TIdHeaderList& AuthParams() noexcept { return FAuthParams; }
  const TIdHeaderList& AuthParams() const noexcept { return FAuthParams; }
  // Copies the lines as they are, from any kind of list.
  void SetAuthParams(const TStrings& aValue);

  // The first challenge line of the scheme aAuthName, or empty.
  std::string ReadAuthInfo(std::string_view aAuthName) const;

protected:
  virtual TIdAuthWhatsNext DoNext() = 0;
  // The name=value pairs of the challenge of aAuthName, in a case-insensitive list.
  void ParseChallenge(std::string_view aAuthName, TStrings& aDest) const;

  int FCurrentStep = 0;
  TIdHeaderList FParams{QuoteHTTP};
  TIdHeaderList FAuthParams{QuoteHTTP};
};

// The name=value pairs after the scheme word of one challenge line:
// quoted values lose their quotes and escapes, unquoted ones are trimmed.
void ParseAuthChallengeParams(std::string_view aChallenge, TStrings& aDest);

// A class reference: makes a new object of one scheme class.
using TIdAuthenticationClass = std::unique_ptr<TIdAuthentication> (*)();

template <typename T>
std::unique_ptr<TIdAuthentication> NewAuthentication() {
  return std::make_unique<T>();
}

// The registry starts with "Basic", "NTLM" and "Digest", in that order. Names
// are compared without regard to case; registering a known name replaces its class.
void RegisterAuthenticationMethod(const std::string& aMethodName, TIdAuthenticationClass aAuthClass);
void UnregisterAuthenticationMethod(std::string_view aMethodName);
// The class registered for the scheme word, or none.
TIdAuthenticationClass FindAuthClass(std::string_view aAuthName);

}  // namespace qtx
