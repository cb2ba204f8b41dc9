// The library's own entry points besides the snapshot: the interface version and, on Windows,
// the loader's entry routine.

#include "platform/Win32.h"

#ifdef _WIN32
#define SM_EXPORT __declspec(dllexport)
#else
#define SM_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// The interface version hosts check before anything else; nothing inside calls it.
SM_EXPORT unsigned int RNIGetCompatibleVersion() {
    return 0x00020000;
}

#ifdef _WIN32
// mingw-w64's runtime gives every DLL a static-TLS directory through the object that defines
// this callback, and the loader refuses DisableThreadLibraryCalls to a DLL with one. Thread-local
// variables here are emulated (TlsAlloc) and need no directory, so the library defines the
// callback as absent: that object is not linked, and a thread starting or ending calls nothing in
// the library. Given up: winpthread's clean-up, at their end, of threads it did not create.
extern "C" const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = nullptr;

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
