#pragma once
// The deployment's built-in values: the scrambled server address, user name and password,
// the port, and the two key texts. The plain texts exist only at compile time.

#include <cstdint>
#include <string>

#include "deploy/DeployPlain.h"
#include "deploy/Scrambler.h"

namespace deploy {

// The names the build's error messages give for a value that cannot be scrambled.
struct KOREKTA_FTP_HOST {};
struct KOREKTA_FTP_USER {};
struct KOREKTA_FTP_PASSWORD {};

inline constexpr char kKeyA[] = KOREKTA_PLAIN_KEY_A;
inline constexpr char kKeyB[] = KOREKTA_PLAIN_KEY_B;
inline constexpr std::uint16_t kFtpPort = KOREKTA_PLAIN_PORT;

inline constexpr ScrambledText kHost = Scramble<KOREKTA_FTP_HOST>(KOREKTA_PLAIN_HOST, kKeyA);
inline constexpr ScrambledText kUser = Scramble<KOREKTA_FTP_USER>(KOREKTA_PLAIN_USER, kKeyA);
inline constexpr ScrambledText kPassword =
    Scramble<KOREKTA_FTP_PASSWORD>(KOREKTA_PLAIN_PASSWORD, kKeyB);

// The scrambled values as system texts (each byte read in code page 1250).
std::wstring ScrambledHost();
std::wstring ScrambledUser();
std::wstring ScrambledPassword();
std::wstring KeyA();
std::wstring KeyB();

} // namespace deploy
