#pragma once
// A fresh, empty folder for one test, removed with everything in it when the test ends.

#include <cstdint>
#include <string>

#include "util/FileSystem.h"

class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    // The folder's path, ending in "\".
    const std::wstring& Path() const { return path_; }
    // Path() + name.
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

    // Writes bytes to Path() + name (sub-folders are created) and returns the full path.
    std::wstring Write(const std::wstring& name, const std::string& bytes) const;

private:
    std::wstring path_;
};

// Reads a whole file; throws when it cannot be opened.
std::string ReadFileBytes(const std::wstring& path);
// Sets a file's last-write time from a local date and time.
void SetFileLocalTime(const std::wstring& path, int year, int month, int day, int hour = 12,
                      int minute = 0, int second = 0);
// Deterministic pseudo-random bytes.
std::string PatternBytes(std::size_t size, std::uint32_t seed = 1);
// Writes bytes to a full path, creating the missing folders on the way; returns the path.
std::wstring WriteFileAt(const std::wstring& path, const std::string& bytes);
