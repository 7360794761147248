// MaxAudio.dll: no code of its own.  Its exports (MaxAudio.def) forward to
// MaxAPI.dll; Windows still calls a DLL's entry point at every load and
// thread start, and there is nothing to do at any of them.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
