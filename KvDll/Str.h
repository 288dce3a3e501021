#pragma once
// CStr: the owning, NUL-terminated byte string of all native code, with an explicit length,
// quote-aware search and split, wildcard matching and engineering-notation numbers.
// Text is UTF-8. Buffers come from the shared heap (KvDll/dbg.h). Not synchronised:
// one object belongs to one thread at a time.

#include <atomic>
#include <cstdint>

#include "KvDll/objarr.h"

class CStr {
 public:
  // Objects alive / ever constructed; diagnostic counts only.
  static std::atomic<int32_t> activecnt;

  CStr();
  CStr(const char* s);
  CStr(char c);
  CStr(unsigned short* w);  // UTF-16 to UTF-8
  CStr(long n);
  CStr(int n);
  CStr(double d);
  CStr(const char* s, long n);  // exactly n characters, NUL-padded where s is shorter
  CStr(void* p, long n);        // exactly n bytes, which may hold NUL
  CStr(const CStr& s);
  virtual ~CStr();

  // Access
  int32_t GetLength() const { return length; }
  bool IsEmpty() const { return length == 0; }
  const char* GetBfr() const { return buffer ? buffer : ""; }
  char* GetBfr() { return buffer ? buffer : emptyText(); }
  operator const char*() const { return GetBfr(); }
  static int32_t SafeStrlen(const char* p);
  int32_t Serial() const { return serial; }

  // Assignment and buffer management
  CStr& operator=(const CStr& s);
  CStr& operator=(const char* s);
  CStr& operator=(char c);
  void copy(const CStr* s);
  void copy(const CStr& s);
  void copy(const char* s);
  void SetBfr(char* p);          // adopts p, a block from the shared heap
  void SetBfr(char* p, long n);
  void clrBfr();
  void freeBfr();
  void Space(long n);

  // Concatenation in place
  CStr& operator+=(const CStr& s);
  CStr& operator+=(const char* s);
  CStr& operator+=(char c);

  // Comparison
  bool Compare(const char* s, bool ignoreCase) const;
  bool Compare(const char* s, long n, bool ignoreCase) const;

  // Editing in place
  void trim();
  void ltrim();
  void rtrim();
  void CompressSpace();
  void RipQuotes();
  void lcase();
  void ucase();
  void lcase2();
  void left(long n);
  void right(long n);
  void mid(long start, long n);
  long Replace(const char* find, const char* repl);
  CStr getLeft(long n) const;
  CStr getRight(long n) const;
  CStr getMid(long start, long n) const;

  // Searching (double quotes toggle an inside state that hides what lies between them)
  char* FindChar2(char c);
  char* FindStr2(const char* s, bool ignoreCase);
  bool Search(const char* pattern) const;

  // Splitting: appends to *a (not emptied first)
  void split(CObjArr<CStr>* a, char sep) const;
  void split(CObjArr<CStr>* a, const char* sep) const;
  void split2(CObjArr<CStr>* a, char sep) const;
  // The number of cuts split2 would make, without making them.
  int32_t CountSplit2(char sep) const;

  // Numbers
  double Str2Num() const;
  // The same value; false (value 0) when the text holds no number at all.
  bool Str2Num(double& value) const;
  CStr Num2Str(double x, long digits);

 protected:
  void AllocBuffer(int n);
  void AssignCopy(const char* p, int n);
  void ConcatCopy(const char* a, int na, const char* b, int nb);
  static bool Match(const char* pattern, const char* text);
  static const char* Scan(const char* pattern, const char* text);

 private:
  static std::atomic<int32_t> count;
  char* buffer = nullptr;
  int32_t length = 0;
  int32_t serial = 0;

  void dbg();
  void appendRaw(const char* p, int n);
  static char* emptyText();
};

CStr operator+(const CStr& a, const CStr& b);
CStr operator+(const CStr& a, const char* b);
CStr operator+(const char* a, const CStr& b);
CStr operator+(const CStr& a, char b);
CStr operator+(char a, const CStr& b);

bool operator==(const CStr& a, const CStr& b);
bool operator==(const CStr& a, const char* b);
bool operator==(const char* a, const CStr& b);
bool operator!=(const CStr& a, const CStr& b);
bool operator!=(const CStr& a, const char* b);
bool operator!=(const char* a, const CStr& b);
