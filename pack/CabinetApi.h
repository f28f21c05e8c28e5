#pragma once
// The binary interface of the platform cabinet library (Cabinet.dll): its compression (FCI)
// and decompression (FDI) structures, codes and entry points as the library exports them.
// Every callback and entry point uses the C calling convention; the structures are packed
// to 4 bytes on 32-bit builds and naturally aligned on 64-bit ones, as the library expects.

#include <windows.h>

#include <cstdint>

namespace cabapi {

#define CABAPI_CALL __cdecl

#ifndef _WIN64
#pragma pack(push, 4)
#endif

// The error record both interfaces fill on failure.
struct ERF {
    int erfOper; // FCIERROR or FDIERROR code
    int erfType; // C run-time error code of the failing callback, when there is one
    BOOL fError;
};

inline constexpr int CB_MAX_DISK_NAME = 256;
inline constexpr int CB_MAX_CABINET_NAME = 256;
inline constexpr int CB_MAX_CAB_PATH = 256;
inline constexpr int CB_MAX_FILENAME = 256;

// The parameters of the cabinet being written.
struct CCAB {
    ULONG cb;             // largest cabinet size
    ULONG cbFolderThresh; // size after which a new folder starts
    UINT cbReserveCFHeader;
    UINT cbReserveCFFolder;
    UINT cbReserveCFData;
    int iCab;
    int iDisk;
    int fFailOnIncompressible;
    USHORT setID;
    char szDisk[CB_MAX_DISK_NAME];
    char szCab[CB_MAX_CABINET_NAME];
    char szCabPath[CB_MAX_CAB_PATH];
};

enum FCIERROR : int {
    FCIERR_NONE = 0,
    FCIERR_OPEN_SRC = 1,
    FCIERR_READ_SRC = 2,
    FCIERR_ALLOC_FAIL = 3,
    FCIERR_TEMP_FILE = 4,
    FCIERR_BAD_COMPR_TYPE = 5,
    FCIERR_CAB_FILE = 6,
    FCIERR_USER_ABORT = 7,
    FCIERR_MCI_FAIL = 8,
};

enum FDIERROR : int {
    FDIERROR_NONE = 0,
    FDIERROR_CABINET_NOT_FOUND = 1,
    FDIERROR_NOT_A_CABINET = 2,
    FDIERROR_UNKNOWN_CABINET_VERSION = 3,
    FDIERROR_CORRUPT_CABINET = 4,
    FDIERROR_ALLOC_FAIL = 5,
    FDIERROR_BAD_COMPR_TYPE = 6,
    FDIERROR_MDI_FAIL = 7,
    FDIERROR_TARGET_FILE = 8,
    FDIERROR_RESERVE_MISMATCH = 9,
    FDIERROR_WRONG_CABINET = 10,
    FDIERROR_USER_ABORT = 11,
};

using TCOMP = USHORT;
inline constexpr TCOMP tcompTYPE_NONE = 0x0000;
inline constexpr TCOMP tcompTYPE_MSZIP = 0x0001;
inline constexpr TCOMP tcompTYPE_LZX = 0x0003;
inline constexpr TCOMP tcompMASK_LZX_WINDOW = 0x1F00;
inline constexpr TCOMP tcompSHIFT_LZX_WINDOW = 8;

// Status kinds of the FCI status callback.
inline constexpr UINT statusFile = 0;
inline constexpr UINT statusFolder = 1;
inline constexpr UINT statusCabinet = 2;

// Open flags the library passes to the file callbacks (the C run-time values).
inline constexpr int kOpenAccessMask = 0x0003; // _O_RDONLY 0, _O_WRONLY 1, _O_RDWR 2
inline constexpr int kOpenWriteOnly = 0x0001;
inline constexpr int kOpenReadWrite = 0x0002;
inline constexpr int kOpenCreate = 0x0100;
inline constexpr int kOpenTruncate = 0x0200;
inline constexpr int kOpenExclusive = 0x0400;

inline constexpr int kCpuUnknown = -1;

struct FDICABINETINFO {
    LONG cbCabinet;
    USHORT cFolders;
    USHORT cFiles;
    USHORT setID;
    USHORT iCabinet;
    BOOL fReserve;
    BOOL hasprev;
    BOOL hasnext;
};

enum FDINOTIFICATIONTYPE : int {
    fdintCABINET_INFO = 0,
    fdintPARTIAL_FILE = 1,
    fdintCOPY_FILE = 2,
    fdintCLOSE_FILE_INFO = 3,
    fdintNEXT_CABINET = 4,
    fdintENUMERATE = 5,
};

struct FDINOTIFICATION {
    LONG cb;
    char* psz1;
    char* psz2;
    char* psz3;
    void* pv;
    INT_PTR hf;
    USHORT date;
    USHORT time;
    USHORT attribs;
    USHORT setID;
    USHORT iCabinet;
    USHORT iFolder;
    FDIERROR fdie;
};

#ifndef _WIN64
#pragma pack(pop)
#endif

using HFCI = void*;
using HFDI = void*;

// Shared memory and FDI file callbacks.
using PFNALLOC = void*(CABAPI_CALL*)(ULONG cb);
using PFNFREE = void(CABAPI_CALL*)(void* pv);
using PFNOPEN = INT_PTR(CABAPI_CALL*)(char* pszFile, int oflag, int pmode);
using PFNREAD = UINT(CABAPI_CALL*)(INT_PTR hf, void* pv, UINT cb);
using PFNWRITE = UINT(CABAPI_CALL*)(INT_PTR hf, void* pv, UINT cb);
using PFNCLOSE = int(CABAPI_CALL*)(INT_PTR hf);
using PFNSEEK = LONG(CABAPI_CALL*)(INT_PTR hf, LONG dist, int seektype);
using PFNFDINOTIFY = INT_PTR(CABAPI_CALL*)(FDINOTIFICATIONTYPE fdint, FDINOTIFICATION* pfdin);
using PFNFDIDECRYPT = int(CABAPI_CALL*)(void* pfdid);

// FCI callbacks: every one carries an error out-parameter and the user context.
using PFNFCIFILEPLACED = int(CABAPI_CALL*)(CCAB* pccab, char* pszFile, LONG cbFile,
                                           BOOL fContinuation, void* pv);
using PFNFCIALLOC = void*(CABAPI_CALL*)(ULONG cb);
using PFNFCIFREE = void(CABAPI_CALL*)(void* memory);
using PFNFCIOPEN = INT_PTR(CABAPI_CALL*)(char* pszFile, int oflag, int pmode, int* err, void* pv);
using PFNFCIREAD = UINT(CABAPI_CALL*)(INT_PTR hf, void* memory, UINT cb, int* err, void* pv);
using PFNFCIWRITE = UINT(CABAPI_CALL*)(INT_PTR hf, void* memory, UINT cb, int* err, void* pv);
using PFNFCICLOSE = int(CABAPI_CALL*)(INT_PTR hf, int* err, void* pv);
using PFNFCISEEK = LONG(CABAPI_CALL*)(INT_PTR hf, LONG dist, int seektype, int* err, void* pv);
using PFNFCIDELETE = int(CABAPI_CALL*)(char* pszFile, int* err, void* pv);
using PFNFCIGETTEMPFILE = BOOL(CABAPI_CALL*)(char* pszTempName, int cbTempName, void* pv);
using PFNFCIGETNEXTCABINET = BOOL(CABAPI_CALL*)(CCAB* pccab, ULONG cbPrevCab, void* pv);
using PFNFCISTATUS = LONG(CABAPI_CALL*)(UINT typeStatus, ULONG cb1, ULONG cb2, void* pv);
using PFNFCIGETOPENINFO = INT_PTR(CABAPI_CALL*)(char* pszName, USHORT* pdate, USHORT* ptime,
                                                USHORT* pattribs, int* err, void* pv);

// The exported entry points.
using FnFCICreate = HFCI(CABAPI_CALL*)(ERF* perf, PFNFCIFILEPLACED, PFNFCIALLOC, PFNFCIFREE,
                                       PFNFCIOPEN, PFNFCIREAD, PFNFCIWRITE, PFNFCICLOSE, PFNFCISEEK,
                                       PFNFCIDELETE, PFNFCIGETTEMPFILE, CCAB* pccab, void* pv);
using FnFCIAddFile = BOOL(CABAPI_CALL*)(HFCI hfci, char* pszSourceFile, char* pszFileName,
                                        BOOL fExecute, PFNFCIGETNEXTCABINET, PFNFCISTATUS,
                                        PFNFCIGETOPENINFO, TCOMP typeCompress);
using FnFCIFlushCabinet = BOOL(CABAPI_CALL*)(HFCI hfci, BOOL fGetNextCab, PFNFCIGETNEXTCABINET,
                                             PFNFCISTATUS);
using FnFCIDestroy = BOOL(CABAPI_CALL*)(HFCI hfci);
using FnFDICreate = HFDI(CABAPI_CALL*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE,
                                       PFNSEEK, int cpuType, ERF* perf);
using FnFDIIsCabinet = BOOL(CABAPI_CALL*)(HFDI hfdi, INT_PTR hf, FDICABINETINFO* pfdici);
using FnFDICopy = BOOL(CABAPI_CALL*)(HFDI hfdi, char* pszCabinet, char* pszCabPath, int flags,
                                     PFNFDINOTIFY, PFNFDIDECRYPT, void* pvUser);
using FnFDIDestroy = BOOL(CABAPI_CALL*)(HFDI hfdi);

// The library's entry points, looked up once at start-up. When the library could not be
// loaded, Loaded() is false and LoadFailure() says why.
struct Library {
    FnFCICreate FCICreate = nullptr;
    FnFCIAddFile FCIAddFile = nullptr;
    FnFCIFlushCabinet FCIFlushCabinet = nullptr;
    FnFCIDestroy FCIDestroy = nullptr;
    FnFDICreate FDICreate = nullptr;
    FnFDIIsCabinet FDIIsCabinet = nullptr;
    FnFDICopy FDICopy = nullptr;
    FnFDIDestroy FDIDestroy = nullptr;
};

// The loaded library; throws Error naming "Cabinet.dll" when it could not be loaded.
const Library& Cabinet();

} // namespace cabapi
