#pragma once
// String lists: an ordered list of text lines with name=value access,
// delimited text, and text joined with CR LF.

#include <string>
#include <string_view>
#include <vector>

#include "platform/qtxStreams.h"

namespace qtx {

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStrings {
public:
  virtual ~TStrings() = default;

  virtual int Count() const = 0;
  virtual const std::string& Get(int aIndex) const = 0;
  virtual void Put(int aIndex, const std::string& aValue) = 0;
  virtual void Insert(int aIndex, const std::string& aValue) = 0;
  virtual void Delete(int aIndex) = 0;
  virtual void Clear() = 0;

  const std::string& operator[](int aIndex) const { return Get(aIndex); }
  const std::string& Strings(int aIndex) const { return Get(aIndex); }
  void SetStrings(int aIndex, const std::string& aValue) { Put(aIndex, aValue); }

  virtual int Add(const std::string& aValue);
  void Append(const std::string& aValue) { Add(aValue); }
  void AddStrings(const TStrings& aStrings);
  void AddStrings(const std::vector<std::string>& aStrings);
  virtual void Assign(const TStrings& aSource);
  virtual int IndexOf(std::string_view aValue) const;
  bool Exchange(int aIndex1, int aIndex2);

  bool CaseSensitive() const noexcept { return FCaseSensitive; }
  void SetCaseSensitive(bool aValue) { FCaseSensitive = aValue; }

  // name=value access; the separator is NameValueSeparator.
  char NameValueSeparator() const noexcept { return FNameValueSeparator; }
  void SetNameValueSeparator(char aValue) { FNameValueSeparator = aValue; }
  std::string Names(int aIndex) const;
  std::string ValueFromIndex(int aIndex) const;
  void SetValueFromIndex(int aIndex, const std::string& aValue);
  virtual int IndexOfName(std::string_view aName) const;
  std::string Values(std::string_view aName) const;
  // Sets the value of the first line named aName; an empty value deletes it.
  void SetValues(const std::string& aName, const std::string& aValue);

  // Lines joined with LineBreak (CR LF) after each; the setter splits at CR LF, LF or CR.
  std::string Text() const;
  void SetText(std::string_view aText);
  const std::string& LineBreak() const noexcept { return FLineBreak; }
  void SetLineBreak(std::string aValue) { FLineBreak = std::move(aValue); }

  char Delimiter() const noexcept { return FDelimiter; }
  void SetDelimiter(char aValue) { FDelimiter = aValue; }
  char QuoteChar() const noexcept { return FQuoteChar; }
  void SetQuoteChar(char aValue) { FQuoteChar = aValue; }
  // With strict delimiting only the delimiter splits items; otherwise blanks do too.
  bool StrictDelimiter() const noexcept { return FStrictDelimiter; }
  void SetStrictDelimiter(bool aValue) { FStrictDelimiter = aValue; }
  std::string DelimitedText() const;
  void SetDelimitedText(std::string_view aText);
  std::string CommaText() const;
  void SetCommaText(std::string_view aText);

  void LoadFromStream(TStream& aStream);
  void SaveToStream(TStream& aStream) const;
  void LoadFromFile(const std::string& aFileName);
  void SaveToFile(const std::string& aFileName) const;

  std::vector<std::string> ToVector() const;

protected:
  bool SameItem(std::string_view a, std::string_view b) const;

private:
  bool FCaseSensitive = false;
  char FNameValueSeparator = '=';
  char FDelimiter = ',';
  char FQuoteChar = '"';
  bool FStrictDelimiter = false;
  std::string FLineBreak = "\r\n";
};

class TStringList : public TStrings {
public:
  TStringList() = default;
  explicit TStringList(std::vector<std::string> aLines) : FItems(std::move(aLines)) {}
  TStringList(const TStringList& aOther) : TStrings() { Assign(aOther); }
  TStringList& operator=(const TStringList& aOther) {
    if (this != &aOther) Assign(aOther);
    return *this;
  }

  int Count() const override { return static_cast<int>(FItems.size()); }
  const std::string& Get(int aIndex) const override;
  void Put(int aIndex, const std::string& aValue) override;
  void Insert(int aIndex, const std::string& aValue) override;
  void Delete(int aIndex) override;
  void Clear() override { FItems.clear(); }
  int Add(const std::string& aValue) override;
  int IndexOf(std::string_view aValue) const override;

  bool Sorted() const noexcept { return FSorted; }
  void SetSorted(bool aValue);
  TDuplicates Duplicates() const noexcept { return FDuplicates; }
  void SetDuplicates(TDuplicates aValue) { FDuplicates = aValue; }
  void Sort();
  // With a sorted list: true and the index when found, else false and the insert point.
  bool Find(std::string_view aValue, int& aIndex) const;

  std::vector<std::string>& Items() noexcept { return FItems; }
  const std::vector<std::string>& Items() const noexcept { return FItems; }

private:
  void CheckIndex(int aIndex, bool aAllowEnd = false) const;
  int Compare(std::string_view a, std::string_view b) const;

  std::vector<std::string> FItems;
  bool FSorted = false;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
};

}  // namespace qtx
