/* The calls that StdcallDefaultCalls.c makes with stdcall as its default
 * convention, each declared __cdecl for the rest of the host. */
#ifndef STDCALL_DEFAULT_CALLS_H
#define STDCALL_DEFAULT_CALLS_H

#include "MavrelWAVChorus.h"

#include <stdint.h>

/* WAVChorus as the header declares it, through the import library. */
int32_t __cdecl callThroughDeclaration(const wchar_t* in, const wchar_t* out);
/* WAVChorus through a pointer of the header's type. */
int32_t __cdecl callThroughPointer(WAVChorusFunction chorus, const wchar_t* in, const wchar_t* out);

#endif
