// The Windows entry point of a plug-in DLL.  Include it once per plug-in, in
// the file that defines ext_main; elsewhere it is empty.
//
// Without an entry point of its own, the MinGW start-up code binds to the
// DllMain that the SDK's import library MaxAudio.lib names, and Windows then
// calls MaxAudio.dll's entry point with the plug-in's handle at every load,
// unload and thread start and exit.  Nothing needs doing at any of them.
#pragma once

#ifdef _WIN32
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
#endif
