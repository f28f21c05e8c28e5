#pragma once
// File copy and the transfer direction of the upgrade transfer window.

#include <cstdint>
#include <string>

// Transfer direction: fetch from the server, send to it, or both.
enum TOpcRW : std::uint8_t { orwRead = 0, orwWrite = 1, orwALL = 2 };

// Copies source to target with the platform's file copy (contents, attributes and the
// source's last-write time). With failIfExists an existing target is left alone and the
// result is false. Raises nothing, shows nothing: the result alone tells.
bool CopyFileTo(const std::wstring& source, const std::wstring& target, bool failIfExists);
