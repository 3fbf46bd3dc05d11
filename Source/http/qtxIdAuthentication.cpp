#include "http/qtxIdAuthentication.h"

#include <mutex>
#include <utility>
#include <vector>

#include "http/qtxIdAuthenticationBasic.h"
#include "http/qtxIdAuthenticationDigest.h"
#include "http/qtxIdAuthenticationNTLM.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

TIdAuthentication::TIdAuthentication() { FParams.SetFoldLength(INT_MAX); }

void TIdAuthentication::SetRequest(const std::string&, const std::string&) {}

void TIdAuthentication::SetAuthParams(const TStrings& aValue) {
  if (&aValue == &FAuthParams) return;
  FAuthParams.Clear();
  for (int i = 0; i < aValue.Count(); ++i) FAuthParams.Add(aValue[i]);
}

std::string TIdAuthentication::ReadAuthInfo(std::string_view aAuthName) const {
  for (int i = 0; i < FAuthParams.Count(); ++i) {
    const std::string& line = FAuthParams[i];
    if (StartsText(aAuthName, line) &&
        (line.size() == aAuthName.size() || static_cast<unsigned char>(line[aAuthName.size()]) <= ' '))
      return line;
  }
  return std::string();
}

void TIdAuthentication::ParseChallenge(std::string_view aAuthName, TStrings& aDest) const {
  ParseAuthChallengeParams(ReadAuthInfo(aAuthName), aDest);
}

void ParseAuthChallengeParams(std::string_view aChallenge, TStrings& aDest) {
  const size_t space = aChallenge.find(' ');
  std::string_view rest = space == std::string_view::npos ? std::string_view() : aChallenge.substr(space + 1);
  const auto trimLeft = [&rest] {
    while (!rest.empty() && static_cast<unsigned char>(rest.front()) <= ' ') rest.remove_prefix(1);
  };
  trimLeft();
  while (!rest.empty()) {
    const size_t equals = rest.find('=');
    const std::string name = Trim(rest.substr(0, equals));
    rest = equals == std::string_view::npos ? std::string_view() : rest.substr(equals + 1);
    trimLeft();
    std::string value;
    if (!rest.empty() && rest.front() == '"') {
      size_t pos = 1;
      while (pos < rest.size() && rest[pos] != '"') {
        if (rest[pos] == '\\' && pos + 1 < rest.size()) ++pos;
        value += rest[pos++];
      }
      const size_t comma = rest.find(',', pos);
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    } else {
      const size_t comma = rest.find(',');
      value = Trim(rest.substr(0, comma));
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    if (!name.empty()) aDest.Add(name + "=" + value);
    trimLeft();
  }
}

// ---- registry ------------------------------------------------------------------

namespace {
struct TAuthRegistry {
  // The schemes of the library, registered at start-up in this order.
  TAuthRegistry() {
    Methods.emplace_back("Basic", &NewAuthentication<TIdBasicAuthentication>);
    Methods.emplace_back("NTLM", &NewAuthentication<TIdNTLMAuthentication>);
    Methods.emplace_back("Digest", &NewAuthentication<TIdDigestAuthentication>);
  }

  std::mutex Lock;
  std::vector<std::pair<std::string, TIdAuthenticationClass>> Methods;

  auto Find(std::string_view aName) {
    auto it = Methods.begin();
    while (it != Methods.end() && !SameText(it->first, aName)) ++it;
    return it;
  }
};

// Built on first use, so the start-up schemes are present in any program
// that links the registry, whatever the linker keeps of a static library.
TAuthRegistry& Registry() {
  static TAuthRegistry registry;
  return registry;
}
}  // namespace

void RegisterAuthenticationMethod(const std::string& aMethodName, TIdAuthenticationClass aAuthClass) {
  TAuthRegistry& registry = Registry();
  std::lock_guard guard(registry.Lock);
  const auto it = registry.Find(aMethodName);
  if (it != registry.Methods.end()) {
    it->second = aAuthClass;
  } else {
    registry.Methods.emplace_back(aMethodName, aAuthClass);
  }
}

void UnregisterAuthenticationMethod(std::string_view aMethodName) {
  TAuthRegistry& registry = Registry();
  std::lock_guard guard(registry.Lock);
  const auto it = registry.Find(aMethodName);
  if (it != registry.Methods.end()) registry.Methods.erase(it);
}

TIdAuthenticationClass FindAuthClass(std::string_view aAuthName) {
  TAuthRegistry& registry = Registry();
  std::lock_guard guard(registry.Lock);
  const auto it = registry.Find(aAuthName);
  return it == registry.Methods.end() ? nullptr : it->second;
}

}  // namespace qtx
