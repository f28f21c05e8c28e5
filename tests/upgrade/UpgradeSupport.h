#pragma once
// What the upgrade tests share: the module windows (created once, as start-up makes them),
// a real server that the built-in credentials log in to, and the update folders that a
// fetch makes beside the test program.

#include <string>
#include <vector>

#include "FtpTestServer.h"

// The five module windows, created once for the whole test program; their globals point
// at them. The transfer window's client uses the given port.
void UseModuleWindows(std::uint16_t ftpPort);

// The deployment's plain user name and password, which the built-in scrambled values
// unscramble to.
std::string PlainUser();
std::string PlainPassword();

// A real server that accepts the built-in credentials; root: the folder it serves.
FtpTestServer BuiltInServer(const std::wstring& root = L"");
FtpTestServer BuiltInScriptedServer(const FtpScript& script);

// Writes bytes to a file, creating its folders.
void WriteWholeFile(const std::wstring& path, const std::string& bytes);
// The bytes of a fixture of tests/upgrade/fixtures.
std::string FixtureBytes(const std::string& name);
// The Windows path of a remote path ("//Upgrade/a.cab") below a served root.
std::wstring ServedPath(const std::wstring& root, const std::wstring& remote);

// Whether text is ProgramFolder() + "Update" + a timestamp of this second's form + "\".
bool IsUpdateFolder(const std::wstring& text);
// Removes the "Update..." folders beside the test program, with everything in them.
void RemoveUpdateFolders();
// A file's last-write time as a 64-bit FILETIME value; -1 when it cannot be read.
long long LastWriteTime(const std::wstring& path);
