#pragma once
// The one door to the operating system. On Windows it includes the real SDK headers; elsewhere it
// declares the Win32 subset the system uses, with Windows layouts: DWORD is 32-bit and wide text
// is 16-bit (char16_t). The system calls every operating-system function through namespace win32,
// which forwards to the installed backend (the live machine, or a simulated one).

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>
// The others build on windows.h.
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>
#else

using BOOL = int;
using BYTE = std::uint8_t;
using UCHAR = std::uint8_t;
using BOOLEAN = std::uint8_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using DWORDLONG = std::uint64_t;
using ULONGLONG = std::uint64_t;
using LONGLONG = std::int64_t;
using ULONG_PTR = std::uintptr_t;
using WCHAR = char16_t;
using HANDLE = void*;
using HMODULE = void*;
using HWND = void*;
using HDEVINFO = void*;
using DEVINST = std::uint32_t;
using CONFIGRET = std::uint32_t;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);

union LARGE_INTEGER {
    LONGLONG QuadPart;
};
union ULARGE_INTEGER {
    ULONGLONG QuadPart;
};

struct MEMORYSTATUSEX {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    DWORDLONG ullTotalPhys;
    DWORDLONG ullAvailPhys;
    DWORDLONG ullTotalPageFile;
    DWORDLONG ullAvailPageFile;
    DWORDLONG ullTotalVirtual;
    DWORDLONG ullAvailVirtual;
    DWORDLONG ullAvailExtendedVirtual;
};
static_assert(sizeof(MEMORYSTATUSEX) == 64);

// Errors
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_READY = 21;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_INVALID_FUNCTION = 1;
inline constexpr DWORD ERROR_INVALID_DATA = 13;
inline constexpr DWORD ERROR_NOT_FOUND = 1168;

// Files
inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD FILE_READ_ATTRIBUTES = 0x80;
inline constexpr DWORD FILE_SHARE_READ = 1;
inline constexpr DWORD FILE_SHARE_WRITE = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD MAX_PATH = 260;

// Drive types
inline constexpr UINT DRIVE_UNKNOWN = 0;
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_REMOVABLE = 2;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT DRIVE_REMOTE = 4;
inline constexpr UINT DRIVE_CDROM = 5;
inline constexpr UINT DRIVE_RAMDISK = 6;

inline constexpr DWORD FILE_READ_ONLY_VOLUME = 0x00080000;

// Storage control requests
inline constexpr DWORD IOCTL_STORAGE_QUERY_PROPERTY = 0x002D1400;
inline constexpr DWORD IOCTL_STORAGE_GET_DEVICE_NUMBER = 0x002D1080;
inline constexpr DWORD IOCTL_DISK_GET_LENGTH_INFO = 0x0007405C;
inline constexpr DWORD IOCTL_DISK_GET_DRIVE_GEOMETRY = 0x00070000;
inline constexpr DWORD IOCTL_ATA_PASS_THROUGH = 0x0004D02C;
inline constexpr DWORD IOCTL_SCSI_PASS_THROUGH = 0x0004D004;
inline constexpr DWORD SMART_RCV_DRIVE_DATA = 0x0007C088;

inline constexpr DWORD FILE_DEVICE_CD_ROM = 2;
inline constexpr DWORD FILE_DEVICE_DISK = 7;

enum STORAGE_PROPERTY_ID : int {
    StorageDeviceProperty = 0,
    StorageDeviceTemperatureProperty = 52,
};
enum STORAGE_QUERY_TYPE : int {
    PropertyStandardQuery = 0,
};
enum STORAGE_BUS_TYPE : int {
    BusTypeUnknown = 0,
};
enum MEDIA_TYPE : int {
    Unknown = 0,
    RemovableMedia = 11,
    FixedMedia = 12,
};

struct STORAGE_PROPERTY_QUERY {
    STORAGE_PROPERTY_ID PropertyId;
    STORAGE_QUERY_TYPE QueryType;
    BYTE AdditionalParameters[1];
};
static_assert(sizeof(STORAGE_PROPERTY_QUERY) == 12);

struct STORAGE_DEVICE_DESCRIPTOR {
    DWORD Version;
    DWORD Size;
    BYTE DeviceType;
    BYTE DeviceTypeModifier;
    BOOLEAN RemovableMedia;
    BOOLEAN CommandQueueing;
    DWORD VendorIdOffset;
    DWORD ProductIdOffset;
    DWORD ProductRevisionOffset;
    DWORD SerialNumberOffset;
    STORAGE_BUS_TYPE BusType;
    DWORD RawPropertiesLength;
    BYTE RawDeviceProperties[1];
};
static_assert(sizeof(STORAGE_DEVICE_DESCRIPTOR) == 40);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, RemovableMedia) == 10);

struct STORAGE_DEVICE_NUMBER {
    DWORD DeviceType;
    DWORD DeviceNumber;
    DWORD PartitionNumber;
};
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == 12);

struct GET_LENGTH_INFORMATION {
    LARGE_INTEGER Length;
};
static_assert(sizeof(GET_LENGTH_INFORMATION) == 8);

struct DISK_GEOMETRY {
    LARGE_INTEGER Cylinders;
    MEDIA_TYPE MediaType;
    DWORD TracksPerCylinder;
    DWORD SectorsPerTrack;
    DWORD BytesPerSector;
};
static_assert(sizeof(DISK_GEOMETRY) == 24);

// SetupAPI and the configuration manager
inline constexpr DWORD DIGCF_DEFAULT = 0x1;
inline constexpr DWORD DIGCF_PRESENT = 0x2;
inline constexpr DWORD DIGCF_ALLCLASSES = 0x4;
inline constexpr DWORD DIGCF_DEVICEINTERFACE = 0x10;
inline constexpr DWORD SPDRP_DEVICEDESC = 0x0;
inline constexpr DWORD SPDRP_FRIENDLYNAME = 0xC;
inline constexpr DWORD SPDRP_ENUMERATOR_NAME = 0x16;
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr CONFIGRET CR_SUCCESS = 0;
inline constexpr CONFIGRET CR_FAILURE = 0x13;
inline constexpr CONFIGRET CR_NO_SUCH_DEVNODE = 0x0D;
inline constexpr ULONG CM_LOCATE_DEVNODE_NORMAL = 0;
inline constexpr ULONG DN_NO_SHOW_IN_DM = 0x40000000;
inline constexpr ULONG DN_MOVED = 0x00001000;

struct SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};
static_assert(sizeof(SP_DEVINFO_DATA) == 32);

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
};
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 32);

struct SP_DEVICE_INTERFACE_DETAIL_DATA_W {
    DWORD cbSize;
    WCHAR DevicePath[1];
};
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 8);

#endif // _WIN32

#ifndef IOCTL_ATA_PASS_THROUGH
#define IOCTL_ATA_PASS_THROUGH 0x0004D02C
#endif
#ifndef IOCTL_SCSI_PASS_THROUGH
#define IOCTL_SCSI_PASS_THROUGH 0x0004D004
#endif
#ifndef DN_NO_SHOW_IN_DM
#define DN_NO_SHOW_IN_DM 0x40000000
#endif
#ifndef DN_MOVED
#define DN_MOVED 0x00001000
#endif

// Wide text crosses the seam as char16_t, the system's own code unit. On Windows WCHAR is a
// 16-bit wchar_t with the same representation.
static_assert(sizeof(WCHAR) == 2);

namespace win32 {

inline const char16_t* text(const WCHAR* s) {
    return reinterpret_cast<const char16_t*>(s);
}
inline char16_t* text(WCHAR* s) {
    return reinterpret_cast<char16_t*>(s);
}

// {4D36E967-E325-11CE-BFC1-08002BE10318}: the disk-drive setup class.
inline constexpr GUID GUID_DEVCLASS_DISKDRIVE = {
    0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
// {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}: the disk device interface class.
inline constexpr GUID GUID_DEVINTERFACE_DISK = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

inline bool sameGuid(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}

// Monotonic clock in seconds; the simulated machine sets it.
double monotonicSeconds();

DWORD GetLastError();

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status);

HANDLE CreateFileW(const char16_t* name, DWORD access, DWORD share, void* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned, void* overlapped);

DWORD GetLogicalDrives();
UINT GetDriveTypeW(const char16_t* root);
int IsNetDrive(int drive);
BOOL GetVolumeInformationW(const char16_t* root, char16_t* name, DWORD nameSize, DWORD* serial,
                           DWORD* maxComponent, DWORD* flags, char16_t* fileSystem,
                           DWORD fileSystemSize);
BOOL GetDiskFreeSpaceExW(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                         ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree);
UINT GetSystemDirectoryW(char16_t* buffer, UINT size);
DWORD GetModuleFileNameW(HMODULE module, char16_t* buffer, DWORD size);

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, const char16_t* enumerator, HWND parent,
                              DWORD flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* data, const GUID* interfaceClass,
                                 DWORD index, SP_DEVICE_INTERFACE_DATA* interfaceData);
BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* interfaceData,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD size,
                                      DWORD* required, SP_DEVINFO_DATA* data);
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property,
                                       DWORD* registryType, BYTE* buffer, DWORD size,
                                       DWORD* required);
BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* data, char16_t* id, DWORD size,
                                 DWORD* required);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
CONFIGRET CM_Locate_DevNodeW(DEVINST* node, const char16_t* instanceId, ULONG flags);
CONFIGRET CM_Get_DevNode_Status(ULONG* status, ULONG* problem, DEVINST node, ULONG flags);

} // namespace win32
