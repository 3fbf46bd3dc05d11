#pragma once
// A list of raw header lines ("Name: value"), kept in order with their
// duplicates and folding, with case-insensitive name lookup, unfolding on
// read, folding on write and access to the parameters of a value.

#include <climits>
#include <string>
#include <string_view>
#include <vector>

#include "http/qtxIdHeaderItems.h"
#include "platform/qtxStrings.h"

namespace qtx {

class TIdHeaderList : public TStringList {
public:
  explicit TIdHeaderList(TIdHeaderQuotingType aQuoteType);
  TIdHeaderList(const TIdHeaderList&) = delete;
  TIdHeaderList& operator=(const TIdHeaderList&) = delete;

  // Written between name and value; its right-trimmed form is searched when reading.
  const std::string& NameValueSeparator() const noexcept { return FNameValueSeparator; }
  void SetNameValueSeparator(std::string aValue);
  bool UnfoldLines() const noexcept { return FUnfoldLines; }
  void SetUnfoldLines(bool aValue) noexcept { FUnfoldLines = aValue; }
  bool FoldLines() const noexcept { return FFoldLines; }
  void SetFoldLines(bool aValue) noexcept { FFoldLines = aValue; }
  int FoldLength() const noexcept { return FFoldLinesLength; }
  void SetFoldLength(int aValue) noexcept { FFoldLinesLength = aValue; }
  TIdHeaderQuotingType QuoteType() const noexcept { return FQuoteType; }

  // The line's text up to the separator, untrimmed; empty without one.
  std::string Names(int aIndex) const;
  int IndexOfName(std::string_view aName) const override;
  // The unfolded value of the first line named aName, or empty.
  std::string Values(std::string_view aName) const;
  // Replaces the first line named aName (and its continuation lines) in
  // place, or appends; an empty value deletes it.
  void SetValues(const std::string& aName, const std::string& aValue);
  // Appends a line even when the name exists already; nothing when either is empty.
  void AddValue(const std::string& aName, const std::string& aValue);
  // The unfolded value of the line at aLine; aLine moves past its continuation lines.
  std::string GetValueFromLine(int& aLine) const;
  // Appends to aDest the value of every line named aName, in order.
  void Extract(std::string_view aName, TStrings& aDest) const;

  std::string Params(std::string_view aName, std::string_view aParam) const;
  void SetParams(const std::string& aName, std::string_view aParam, std::string_view aValue);
  // Everything after the main item; setting keeps the main item and replaces the rest.
  std::string AllParams(std::string_view aName) const;
  void SetAllParams(const std::string& aName, std::string_view aValue);

  // Every header as a name=value pair (values unfolded), and back.
  void ConvertToStdValues(TStrings& aDest) const;
  void AddStdValues(const TStrings& aSrc);
  // Another header list is copied line by line, any other list as name=value pairs.
  void AddStrings(const TStrings& aStrings);
  void Assign(const TStrings& aSource) override;
  // Copies into aDest: line by line into a header list, as name=value pairs otherwise.
  void AssignTo(TStrings& aDest) const;

private:
  bool IsContinuation(int aIndex) const;
  void DeleteContinuations(int aIndex);
  void DeleteHeader(int aIndex);
  std::vector<std::string> FoldLine(const std::string& aLine) const;
  TIdHeaderQuotingType ParamQuoteType(std::string_view aName) const noexcept;
  std::string ReadSeparator() const;

  std::string FNameValueSeparator = ": ";
  bool FUnfoldLines = true;
  bool FFoldLines = true;
  int FFoldLinesLength;
  TIdHeaderQuotingType FQuoteType;
};

}  // namespace qtx
