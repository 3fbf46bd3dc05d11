#include "platform/qtxStrings.h"

#include <algorithm>

#include "platform/qtxException.h"
#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
const char* const SDuplicateString = "String list does not allow duplicates";
const char* const SSortedListError = "Operation not allowed on sorted list";
}  // namespace

// ---- TStrings ----------------------------------------------------------------

int TStrings::Add(const std::string& aValue) {
  const int index = Count();
  Insert(index, aValue);
  return index;
}

void TStrings::AddStrings(const TStrings& aStrings) {
  const int n = aStrings.Count();  // aStrings may be this list
  for (int i = 0; i < n; ++i) Add(aStrings.Get(i));
}

void TStrings::AddStrings(const std::vector<std::string>& aStrings) {
  for (const auto& line : aStrings) Add(line);
}

void TStrings::Assign(const TStrings& aSource) {
  if (&aSource == this) return;
  FCaseSensitive = aSource.FCaseSensitive;
  FNameValueSeparator = aSource.FNameValueSeparator;
  FDelimiter = aSource.FDelimiter;
  FQuoteChar = aSource.FQuoteChar;
  FStrictDelimiter = aSource.FStrictDelimiter;
  FLineBreak = aSource.FLineBreak;
  Clear();
  AddStrings(aSource);
}

bool TStrings::SameItem(std::string_view a, std::string_view b) const {
  return FCaseSensitive ? a == b : SameText(a, b);
}

int TStrings::IndexOf(std::string_view aValue) const {
  for (int i = 0; i < Count(); ++i)
    if (SameItem(Get(i), aValue)) return i;
  return -1;
}

bool TStrings::Exchange(int aIndex1, int aIndex2) {
  if (aIndex1 == aIndex2) return true;
  const std::string first = Get(aIndex1);
  Put(aIndex1, Get(aIndex2));
  Put(aIndex2, first);
  return true;
}

std::string TStrings::Names(int aIndex) const {
  const std::string& line = Get(aIndex);
  const size_t p = line.find(FNameValueSeparator);
  return p == std::string::npos ? std::string() : line.substr(0, p);
}

std::string TStrings::ValueFromIndex(int aIndex) const {
  const std::string& line = Get(aIndex);
  const size_t p = line.find(FNameValueSeparator);
  return p == std::string::npos ? std::string() : line.substr(p + 1);
}

void TStrings::SetValueFromIndex(int aIndex, const std::string& aValue) {
  if (aValue.empty()) {
    Delete(aIndex);
    return;
  }
  const std::string& line = Get(aIndex);
  const size_t p = line.find(FNameValueSeparator);
  const std::string name = p == std::string::npos ? std::string() : line.substr(0, p);
  Put(aIndex, name + FNameValueSeparator + aValue);
}

int TStrings::IndexOfName(std::string_view aName) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = Get(i);
    const size_t p = line.find(FNameValueSeparator);
    if (p != std::string::npos && SameItem(std::string_view(line).substr(0, p), aName)) return i;
  }
  return -1;
}

std::string TStrings::Values(std::string_view aName) const {
  const int i = IndexOfName(aName);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(const std::string& aName, const std::string& aValue) {
  const int i = IndexOfName(aName);
  if (aValue.empty()) {
    if (i >= 0) Delete(i);
  } else if (i >= 0) {
    Put(i, aName + FNameValueSeparator + aValue);
  } else {
    Add(aName + FNameValueSeparator + aValue);
  }
}

std::string TStrings::Text() const {
  std::string text;
  for (int i = 0; i < Count(); ++i) {
    text += Get(i);
    text += FLineBreak;
  }
  return text;
}

void TStrings::SetText(std::string_view aText) {
  Clear();
  size_t start = 0;
  while (start < aText.size()) {
    size_t end = start;
    while (end < aText.size() && aText[end] != '\r' && aText[end] != '\n') ++end;
    Add(std::string(aText.substr(start, end - start)));
    if (end < aText.size() && aText[end] == '\r') ++end;
    if (end < aText.size() && aText[end] == '\n') ++end;
    start = end;
  }
}

std::string TStrings::DelimitedText() const {
  if (Count() == 1 && Get(0).empty()) return std::string(2, FQuoteChar);
  std::string text;
  for (int i = 0; i < Count(); ++i) {
    const std::string& item = Get(i);
    bool quote = false;
    for (char c : item) {
      if (c == FDelimiter || c == FQuoteChar || c == '\0' ||
          (!FStrictDelimiter && static_cast<unsigned char>(c) <= ' ')) {
        quote = true;
        break;
      }
    }
    if (i > 0) text += FDelimiter;
    if (!quote) {
      text += item;
      continue;
    }
    text += FQuoteChar;
    for (char c : item) {
      if (c == FQuoteChar) text += FQuoteChar;
      text += c;
    }
    text += FQuoteChar;
  }
  return text;
}

void TStrings::SetDelimitedText(std::string_view aText) {
  Clear();
  const auto isBreak = [this](char c) {
    return c == FDelimiter || (!FStrictDelimiter && static_cast<unsigned char>(c) <= ' ' && c != '\0');
  };
  size_t p = 0;
  const auto skipBlanks = [&] {
    if (!FStrictDelimiter)
      while (p < aText.size() && static_cast<unsigned char>(aText[p]) <= ' ' && aText[p] != '\0') ++p;
  };
  skipBlanks();
  while (p < aText.size()) {
    std::string item;
    if (aText[p] == FQuoteChar) {
      ++p;
      while (p < aText.size()) {
        if (aText[p] == FQuoteChar) {
          if (p + 1 < aText.size() && aText[p + 1] == FQuoteChar) {
            item += FQuoteChar;
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += aText[p++];
      }
      // Text between a closing quote and the next break belongs to no item.
      while (p < aText.size() && !isBreak(aText[p])) ++p;
    } else {
      while (p < aText.size() && !isBreak(aText[p])) item += aText[p++];
    }
    Add(item);
    skipBlanks();
    if (p < aText.size() && aText[p] == FDelimiter) {
      ++p;
      skipBlanks();
      if (p >= aText.size()) Add(std::string());  // a trailing delimiter ends an empty item
    }
  }
}

std::string TStrings::CommaText() const {
  TStringList copy;
  copy.Assign(*this);
  copy.SetDelimiter(',');
  copy.SetQuoteChar('"');
  copy.SetStrictDelimiter(false);
  return copy.DelimitedText();
}

void TStrings::SetCommaText(std::string_view aText) {
  const char delimiter = FDelimiter, quote = FQuoteChar;
  const bool strict = FStrictDelimiter;
  FDelimiter = ',';
  FQuoteChar = '"';
  FStrictDelimiter = false;
  SetDelimitedText(aText);
  FDelimiter = delimiter;
  FQuoteChar = quote;
  FStrictDelimiter = strict;
}

void TStrings::LoadFromStream(TStream& aStream) {
  const int64_t remaining = aStream.Size() - aStream.Position();
  std::string text(static_cast<size_t>(std::max<int64_t>(remaining, 0)), '\0');
  if (!text.empty()) aStream.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  SetText(text);
}

void TStrings::SaveToStream(TStream& aStream) const {
  const std::string text = Text();
  aStream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TStrings::LoadFromFile(const std::string& aFileName) {
  TFileStream file(aFileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TStrings::SaveToFile(const std::string& aFileName) const {
  TFileStream file(aFileName, fmCreate);
  SaveToStream(file);
}

std::vector<std::string> TStrings::ToVector() const {
  std::vector<std::string> lines;
  lines.reserve(static_cast<size_t>(Count()));
  for (int i = 0; i < Count(); ++i) lines.push_back(Get(i));
  return lines;
}

// ---- TStringList -------------------------------------------------------------

void TStringList::CheckIndex(int aIndex, bool aAllowEnd) const {
  const int limit = Count() + (aAllowEnd ? 1 : 0);
  if (aIndex < 0 || aIndex >= limit) throw EListError::IndexOutOfBounds(aIndex);
}

const std::string& TStringList::Get(int aIndex) const {
  CheckIndex(aIndex);
  return FItems[static_cast<size_t>(aIndex)];
}

void TStringList::Put(int aIndex, const std::string& aValue) {
  if (FSorted) throw EListError(SSortedListError);
  CheckIndex(aIndex);
  FItems[static_cast<size_t>(aIndex)] = aValue;
}

void TStringList::Insert(int aIndex, const std::string& aValue) {
  if (FSorted) throw EListError(SSortedListError);
  CheckIndex(aIndex, true);
  FItems.insert(FItems.begin() + aIndex, aValue);
}

void TStringList::Delete(int aIndex) {
  CheckIndex(aIndex);
  FItems.erase(FItems.begin() + aIndex);
}

int TStringList::Compare(std::string_view a, std::string_view b) const {
  return CaseSensitive() ? a.compare(b) : CompareText(a, b);
}

int TStringList::Add(const std::string& aValue) {
  if (!FSorted) return TStrings::Add(aValue);
  int index = 0;
  if (Find(aValue, index)) {
    if (FDuplicates == TDuplicates::dupIgnore) return index;
    if (FDuplicates == TDuplicates::dupError) throw EListError(SDuplicateString);
  }
  FItems.insert(FItems.begin() + index, aValue);
  return index;
}

int TStringList::IndexOf(std::string_view aValue) const {
  if (!FSorted) return TStrings::IndexOf(aValue);
  int index = 0;
  return Find(aValue, index) ? index : -1;
}

void TStringList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [this](const std::string& a, const std::string& b) { return Compare(a, b) < 0; });
}

void TStringList::SetSorted(bool aValue) {
  if (aValue && !FSorted) Sort();
  FSorted = aValue;
}

bool TStringList::Find(std::string_view aValue, int& aIndex) const {
  int low = 0, high = Count() - 1;
  bool found = false;
  while (low <= high) {
    const int mid = (low + high) / 2;
    const int c = Compare(FItems[static_cast<size_t>(mid)], aValue);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) {
        found = true;
        if (FDuplicates != TDuplicates::dupAccept) low = mid;
      }
    }
  }
  aIndex = low;
  return found;
}

}  // namespace qtx
