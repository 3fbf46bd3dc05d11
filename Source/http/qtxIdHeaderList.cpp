#include "http/qtxIdHeaderList.h"

#include <algorithm>

#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
bool IsFoldBreak(char c) noexcept { return c == ' ' || c == '\t' || c == ','; }
}  // namespace

TIdHeaderList::TIdHeaderList(TIdHeaderQuotingType aQuoteType)
    : FFoldLinesLength(aQuoteType == QuoteHTTP ? INT_MAX : 78), FQuoteType(aQuoteType) {
  // The plain list's own name=value helpers then split at the colon too.
  TStrings::SetNameValueSeparator(':');
}

void TIdHeaderList::SetNameValueSeparator(std::string aValue) {
  FNameValueSeparator = std::move(aValue);
  const std::string trimmed = ReadSeparator();
  if (trimmed.size() == 1) TStrings::SetNameValueSeparator(trimmed[0]);
}

std::string TIdHeaderList::ReadSeparator() const { return TrimRight(FNameValueSeparator); }

std::string TIdHeaderList::Names(int aIndex) const {
  const std::string& line = Get(aIndex);
  const size_t p = line.find(ReadSeparator());
  return p == std::string::npos ? std::string() : line.substr(0, p);
}

int TIdHeaderList::IndexOfName(std::string_view aName) const {
  const std::string separator = ReadSeparator();
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = Get(i);
    const size_t p = line.find(separator);
    if (p != std::string::npos && SameText(std::string_view(line).substr(0, p), aName)) return i;
  }
  return -1;
}

bool TIdHeaderList::IsContinuation(int aIndex) const {
  if (!FUnfoldLines || aIndex >= Count()) return false;
  const std::string& line = Get(aIndex);
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

std::string TIdHeaderList::GetValueFromLine(int& aLine) const {
  const std::string& line = Get(aLine);
  const size_t p = line.find(ReadSeparator());
  std::string value = p == std::string::npos ? std::string() : TrimLeft(line.substr(p + ReadSeparator().size()));
  ++aLine;
  // Each continuation joins with one space, appended in place so that a value
  // of many lines costs its length, not its length times its lines.
  while (IsContinuation(aLine)) {
    while (!value.empty() && static_cast<unsigned char>(value.back()) <= ' ') value.pop_back();
    value.append(" ").append(TrimView(Get(aLine)));
    ++aLine;
  }
  return Trim(value);
}

std::string TIdHeaderList::Values(std::string_view aName) const {
  int index = IndexOfName(aName);
  return index < 0 ? std::string() : GetValueFromLine(index);
}

void TIdHeaderList::DeleteContinuations(int aIndex) {
  int end = aIndex + 1;
  while (IsContinuation(end)) ++end;
  // At once: deleting line by line would move the rest of the list each time.
  Items().erase(Items().begin() + aIndex + 1, Items().begin() + end);
}

void TIdHeaderList::DeleteHeader(int aIndex) {
  DeleteContinuations(aIndex);
  Delete(aIndex);
}

std::vector<std::string> TIdHeaderList::FoldLine(const std::string& aLine) const {
  if (!FFoldLines || static_cast<int64_t>(aLine.size()) <= FFoldLinesLength) return {aLine};
  const size_t width = static_cast<size_t>(std::max(FFoldLinesLength, 1));
  std::vector<std::string> pieces;
  std::string current;
  size_t lastBreak = std::string::npos;  // the piece may end after this many characters
  for (char c : aLine) {
    if (current.size() + 1 > width && lastBreak != std::string::npos) {
      std::string piece = TrimRight(std::string_view(current).substr(0, lastBreak));
      if (piece.size() > 1) {  // never leave a blank line behind
        pieces.push_back(std::move(piece));
        current = " " + current.substr(lastBreak);
      }
      lastBreak = std::string::npos;
    }
    current += c;
    if (IsFoldBreak(c)) lastBreak = current.size();
  }
  pieces.push_back(TrimRight(current));
  return pieces;
}

void TIdHeaderList::SetValues(const std::string& aName, const std::string& aValue) {
  const int index = IndexOfName(aName);
  if (aValue.empty()) {
    if (index >= 0) DeleteHeader(index);
    return;
  }
  const std::vector<std::string> lines = FoldLine(aName + FNameValueSeparator + aValue);
  if (index < 0) {
    for (const auto& line : lines) Add(line);
    return;
  }
  DeleteContinuations(index);
  Put(index, lines.front());
  for (size_t i = 1; i < lines.size(); ++i) Insert(index + static_cast<int>(i), lines[i]);
}

void TIdHeaderList::AddValue(const std::string& aName, const std::string& aValue) {
  if (aName.empty() || aValue.empty()) return;
  for (const auto& line : FoldLine(aName + FNameValueSeparator + aValue)) Add(line);
}

void TIdHeaderList::Extract(std::string_view aName, TStrings& aDest) const {
  int i = 0;
  while (i < Count()) {
    if (SameText(Names(i), aName)) {
      aDest.Add(GetValueFromLine(i));
    } else {
      ++i;
    }
  }
}

TIdHeaderQuotingType TIdHeaderList::ParamQuoteType(std::string_view aName) const noexcept {
  const bool mimeHeader = SameText(aName, "Content-Type") || SameText(aName, "Content-Disposition");
  if (FQuoteType == QuoteRFC822 && mimeHeader) return QuoteMIME;
  if (FQuoteType == QuoteMIME && !mimeHeader) return QuoteRFC822;
  return FQuoteType;
}

std::string TIdHeaderList::Params(std::string_view aName, std::string_view aParam) const {
  return ExtractHeaderSubItem(Values(aName), aParam, ParamQuoteType(aName));
}

void TIdHeaderList::SetParams(const std::string& aName, std::string_view aParam, std::string_view aValue) {
  SetValues(aName, ReplaceHeaderSubItem(Values(aName), aParam, aValue, ParamQuoteType(aName)));
}

std::string TIdHeaderList::AllParams(std::string_view aName) const {
  const std::string value = Values(aName);
  const size_t p = value.find(';');
  return p == std::string::npos ? std::string() : Trim(std::string_view(value).substr(p + 1));
}

void TIdHeaderList::SetAllParams(const std::string& aName, std::string_view aValue) {
  if (IndexOfName(aName) < 0) return;
  std::string value = ExtractHeaderItem(Values(aName));
  if (!aValue.empty()) value += "; " + std::string(aValue);
  SetValues(aName, value);
}

void TIdHeaderList::ConvertToStdValues(TStrings& aDest) const {
  int i = 0;
  while (i < Count()) {
    const std::string name = Names(i);
    if (name.empty()) {
      ++i;
      continue;
    }
    const std::string value = GetValueFromLine(i);
    aDest.Add(name + aDest.NameValueSeparator() + value);
  }
}

void TIdHeaderList::AddStdValues(const TStrings& aSrc) {
  for (int i = 0; i < aSrc.Count(); ++i) AddValue(aSrc.Names(i), aSrc.ValueFromIndex(i));
}

void TIdHeaderList::AddStrings(const TStrings& aStrings) {
  if (dynamic_cast<const TIdHeaderList*>(&aStrings)) {
    TStringList::AddStrings(aStrings);
  } else {
    AddStdValues(aStrings);
  }
}

void TIdHeaderList::Assign(const TStrings& aSource) {
  if (&aSource == this) return;
  if (const auto* headers = dynamic_cast<const TIdHeaderList*>(&aSource)) {
    SetNameValueSeparator(headers->FNameValueSeparator);
    FUnfoldLines = headers->FUnfoldLines;
    FFoldLines = headers->FFoldLines;
    FFoldLinesLength = headers->FFoldLinesLength;
  }
  Clear();
  AddStrings(aSource);
}

void TIdHeaderList::AssignTo(TStrings& aDest) const {
  if (auto* headers = dynamic_cast<TIdHeaderList*>(&aDest)) {
    headers->Assign(*this);
    return;
  }
  aDest.Clear();
  ConvertToStdValues(aDest);
}

}  // namespace qtx
