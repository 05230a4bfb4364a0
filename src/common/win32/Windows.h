#pragma once
// <windows.h> for the program's Windows code; include this instead of it, before
// the program's own headers. <windows.h> defines function-like names as macros
// (ReplaceFile → ReplaceFileW) that clash with the ports' method names; those
// are taken back here, and the Windows calls are spelled with their W suffix.

#include <windows.h>

#undef ReplaceFile
