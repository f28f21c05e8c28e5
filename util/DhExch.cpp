#include "util/DhExch.h"

#include <windows.h>

bool CopyFileTo(const std::wstring& source, const std::wstring& target, bool failIfExists) {
    return CopyFileW(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE) != 0;
}
