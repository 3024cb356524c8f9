/*
 * The calls of stdcall_default_host, compiled with stdcall as the default
 * calling convention (-mrtd, as /Gz does for MSVC) and with nothing but the
 * public header. Were the header's declarations without their convention, they
 * would be stdcall here and this file would not compile.
 */
#include "StdcallDefaultCalls.h"

typedef int32_t(__cdecl* CdeclChorus)(const wchar_t*, const wchar_t*);
_Static_assert(__builtin_types_compatible_p(__typeof__(&WAVChorus), CdeclChorus),
               "the header declares WAVChorus without __cdecl");
_Static_assert(__builtin_types_compatible_p(WAVChorusFunction, CdeclChorus),
               "the header's WAVChorusFunction is not __cdecl");

int32_t __cdecl callThroughDeclaration(const wchar_t* in, const wchar_t* out) {
    return WAVChorus(in, out);
}

int32_t __cdecl callThroughPointer(WAVChorusFunction chorus, const wchar_t* in,
                                   const wchar_t* out) {
    return chorus(in, out);
}
