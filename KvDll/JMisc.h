#pragma once
// Small helpers shared by the native parts: the 1-2-5 scale steps, RGB/HSV colours, and
// conversions between the program's UTF-8 texts and automation strings (UTF-16, NUL-
// terminated, allocated from the shared heap with their length in front; free them with
// freeBstr). Texts handed out here come from the shared heap; free them with freeStr.

#include <cstdint>

// Result codes, 32-bit as the automation layer gives them.
inline constexpr long kS_OK = 0;
inline constexpr long kE_UNEXPECTED = static_cast<int32_t>(0x8000FFFFu);
inline constexpr long kE_OUTOFMEMORY = static_cast<int32_t>(0x8007000Eu);

double scale125(double x, long up);

void RGBtoHSV(short r, short g, short b, double* h, double* s, double* v);
void HSVtoRGB(double h, double s, double v, short* r, short* g, short* b);
long HSVtoRGB(double h, double s, double v);  // r + g * 256 + b * 65536

// *bstr receives a new automation string made from s; the one it held is freed.
long str2bstr(unsigned short** bstr, const char* s);
// *s receives a new UTF-8 copy of w (the old text is freed); a null w gives "" and
// kE_UNEXPECTED.
long bstr2str(unsigned short* w, char** s);
unsigned short* getBstr(const char* s);  // null on failure
void freeBstr(unsigned short* w);
long bstrLen(const unsigned short* w);  // in UTF-16 units
char* getStr(const char* s);            // null and "Insufficient memory" on failure
char* getStr(unsigned short* w);        // a null w gives ""
void freeStr(const char* s);
// *dst receives a heap copy of src (the old text is freed); 0 or kE_OUTOFMEMORY.
long aStrCpy(char** dst, const char* src);
