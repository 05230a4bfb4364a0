#pragma once
// <windows.h> for the program's Windows code; include this instead of it, before
// the program's own headers. <windows.h> defines function-like names as macros
// (ReplaceFile → ReplaceFileW) that clash with the ports' method names; those
// are taken back here, and the Windows calls are spelled with their W suffix.
// Winsock 2 comes first: <windows.h> would otherwise bring the old Winsock.

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#undef ReplaceFile
