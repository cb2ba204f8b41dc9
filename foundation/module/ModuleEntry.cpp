// The library's own entry points besides the snapshot: the interface version and, on Windows,
// the loader's entry routine.

#include "platform/Win32.h"

extern "C" {

// The interface version hosts check before anything else; nothing inside calls it.
#ifdef _WIN32
__declspec(dllexport)
#else
__attribute__((visibility("default")))
#endif
unsigned int RNIGetCompatibleVersion() {
    return 0x00020000;
}

#ifdef _WIN32
// Runs under the loader lock: it only turns off the thread notifications the library has no
// use for. No object of the library is built at load time.
BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}
#endif
}
