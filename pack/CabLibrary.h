#pragma once
// The platform cabinet library, Cabinet.dll: loaded once at start-up, its entry points
// looked up by name and typed by the platform's own declarations (fci.h, fdi.h), and the
// memory and file callbacks that the compressor and the extractor hand it.
//
// The library never receives a real path: the engine registers each path of a run in that
// run's RunFiles and gives the library a name ("<n>") that only these file callbacks turn
// back into the path, so no path passes through the code page.

#include <windows.h>

#include <fci.h>
#include <fdi.h>

#include <string>
#include <vector>

namespace cab {

// The entry points of the loaded library.
struct Api {
    decltype(&::FCICreate) FCICreate = nullptr;
    decltype(&::FCIAddFile) FCIAddFile = nullptr;
    decltype(&::FCIFlushCabinet) FCIFlushCabinet = nullptr;
    decltype(&::FCIDestroy) FCIDestroy = nullptr;
    decltype(&::FDICreate) FDICreate = nullptr;
    decltype(&::FDIIsCabinet) FDIIsCabinet = nullptr;
    decltype(&::FDICopy) FDICopy = nullptr;
    decltype(&::FDIDestroy) FDIDestroy = nullptr;
};

// The loaded library; throws ECabError naming "Cabinet.dll" when it could not be loaded.
const Api& Library();

// The files of one compression or copy run: the paths behind the names the library
// receives, and the file the engine has handed to the library.
class RunFiles {
public:
    // Registers path; the name the library receives for it.
    std::string Add(const std::wstring& path);
    // The path name stands for: a registered one, or an 8-bit path that converts without
    // loss; false for any other.
    bool PathOf(const char* name, std::wstring& path) const;

    // The open file the engine handed to the library (a source to pack, a target to write),
    // -1 when none. The library's close callback gives it back: it becomes -1 and
    // closedByLibrary is set.
    INT_PTR handedOut = -1;
    bool closedByLibrary = false;

    // The run's files from the context pointer the FCI callbacks receive.
    static RunFiles& Of(void* pv) { return *static_cast<RunFiles*>(pv); }

private:
    std::vector<std::wstring> paths_;
};

// The FDI file callbacks receive no context (the FCI ones receive pv): the files of the
// running copy reach them through the calling thread's pointer that this scope sets, and
// an outer run's are put back afterwards.
class FdiFilesScope {
public:
    explicit FdiFilesScope(RunFiles& files);
    ~FdiFilesScope();
    FdiFilesScope(const FdiFilesScope&) = delete;
    FdiFilesScope& operator=(const FdiFilesScope&) = delete;

private:
    RunFiles* outer_;
};

inline HANDLE AsHandle(INT_PTR hf) {
    return reinterpret_cast<HANDLE>(hf);
}

// Memory for both interfaces: zero-filled blocks of the C run-time heap.
void* DIAMONDAPI Alloc(ULONG cb);
void DIAMONDAPI Free(void* memory);

// The FCI file callbacks; pv is the run's RunFiles. Open creates a file or truncates an
// existing one when asked to create; every call reports the system error code in *err.
INT_PTR DIAMONDAPI FciOpen(char* name, int oflag, int pmode, int* err, void* pv);
UINT DIAMONDAPI FciRead(INT_PTR hf, void* memory, UINT cb, int* err, void* pv);
UINT DIAMONDAPI FciWrite(INT_PTR hf, void* memory, UINT cb, int* err, void* pv);
int DIAMONDAPI FciClose(INT_PTR hf, int* err, void* pv);
LONG DIAMONDAPI FciSeek(INT_PTR hf, LONG dist, int seekType, int* err, void* pv);
int DIAMONDAPI FciDelete(char* name, int* err, void* pv);
// A unique name in the system's temporary folder (prefix "cab"), registered in the run.
BOOL DIAMONDAPI FciTempFile(char* name, int size, void* pv);

// The FDI file callbacks, over the files of the innermost FdiFilesScope.
INT_PTR DIAMONDAPI FdiOpen(char* name, int oflag, int pmode);
UINT DIAMONDAPI FdiRead(INT_PTR hf, void* memory, UINT cb);
UINT DIAMONDAPI FdiWrite(INT_PTR hf, void* memory, UINT cb);
int DIAMONDAPI FdiClose(INT_PTR hf);
LONG DIAMONDAPI FdiSeek(INT_PTR hf, LONG dist, int seekType);

} // namespace cab
