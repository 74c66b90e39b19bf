// MinGW routes strtod and wcstof (what nlohmann::json's lexer reads a number with a fraction or
// an exponent with, and what std::stof calls) to its own implementation, which with its helpers
// adds about 21 KB to the stub. Defined here, in an object the linker sees before MinGW's
// library, they call msvcrt.dll's instead, as the rest of the C runtime does. msvcrt.dll parses
// the same decimal forms (the JSON lexer has checked the syntax already); wcstof is msvcrt.dll's
// wcstod narrowed to float, as msvcrt.dll has no wcstof.
#include <stdlib.h>
#include <wchar.h>

// msvcrt.dll's own functions, through their import slots (the headers map the plain names to
// MinGW's); the symbol names carry the target's label prefix.
#define BRINDLE_IMPORT_SLOT(name) BRINDLE_IMPORT_SLOT_OF(__USER_LABEL_PREFIX__, name)
#define BRINDLE_IMPORT_SLOT_OF(prefix, name) BRINDLE_IMPORT_SLOT_TEXT(prefix, name)
#define BRINDLE_IMPORT_SLOT_TEXT(prefix, name) "__imp_" #prefix #name

extern "C" {

extern double(__cdecl* const msvcrtStrtod)(const char* text, char** end) __asm__(BRINDLE_IMPORT_SLOT(strtod));
extern double(__cdecl* const msvcrtWcstod)(const wchar_t* text, wchar_t** end) __asm__(BRINDLE_IMPORT_SLOT(wcstod));

double __cdecl __mingw_strtod(const char* text, char** end) { return msvcrtStrtod(text, end); }

float __cdecl __mingw_wcstof(const wchar_t* text, wchar_t** end) { return static_cast<float>(msvcrtWcstod(text, end)); }

}  // extern "C"
