# Shared set-up steps of the developer scripts (sourced, not run).

KOREKTA_PACKAGES=(cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  libz-mingw-w64-dev googletest wine64 python3-pyftpdlib cabextract gcab xvfb xdotool
  imagemagick zip unzip curl binutils-mingw-w64-i686 file proftpd-core)

# Installs the Debian packages that are missing (one apt-get update, then install).
korekta_install_packages() {
  local missing=() p
  for p in "${KOREKTA_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    # proftpd-core comes with a system service; the tests run their own ProFTPD on
    # 127.0.0.1, so no daemon may be started by the installation (Debian's policy-rc.d).
    local policy=/usr/sbin/policy-rc.d made_policy=""
    if [ ! -e "$policy" ]; then
      printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
      $sudo chmod 755 "$policy"
      made_policy=1
    fi
    local status=0
    $sudo apt-get update -qq &&
      DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null ||
      status=$?
    [ -z "$made_policy" ] || $sudo rm -f "$policy"
    return $status
  fi
}

# Quiet wine with a prefix of its own, created on first use.
korekta_wine_env() {
  export WINEDEBUG=-all
  export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-korekta}"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the wine prefix $WINEPREFIX (once)"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}

# A persistent wineserver makes each test process start in milliseconds. Wine's background
# processes (services.exe and the like) are started here, with their output going nowhere:
# started by the first test instead, they would inherit CTest's output pipes and CTest would
# wait for them to the end.
korekta_start_wineserver() {
  wineserver -p >/dev/null 2>&1 || true
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}
korekta_stop_wineserver() { wineserver -k >/dev/null 2>&1 || true; }

# korekta_configure_build DIR TOOLCHAIN [extra cmake args]: configure once, then build.
korekta_configure_build() {
  local dir=$1 toolchain=$2
  shift 2
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" "$@" >/dev/null
  elif [ $# -gt 0 ]; then
    cmake "$dir" "$@" >/dev/null
  fi
  cmake --build "$dir" -j2
}

# The shipped executable must be a 32-bit GUI program that imports only system DLLs.
korekta_check_pe32() {
  local exe=$1
  file "$exe" | grep -q "PE32 executable (GUI) Intel 80386" || {
    echo "$exe is not a PE32 GUI executable: $(file "$exe")" >&2
    return 1
  }
  local dlls bad
  dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
  bad=$(echo "$dlls" | grep -viE '^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|ole32|oleaut32|advapi32|ws2_32|shlwapi|winmm|msvcrt|uxtheme|imm32|version)\.dll$' || true)
  if [ -n "$bad" ]; then
    echo "$exe imports DLLs that are not part of Windows: $bad" >&2
    return 1
  fi
}

# korekta_install_list PACKAGE...: installs those of the given Debian packages that are
# missing, through the same steps as korekta_install_packages.
korekta_install_list() {
  local KOREKTA_PACKAGES=("$@")
  korekta_install_packages
}

# The release archive (CPack) of a build: it must unpack to the checked executable, with the
# technician's guide in a form Notepad reads right (UTF-8 with its mark, CRLF line ends).
korekta_check_release_archive() {
  local dir=$1 zip unpacked guide lines crlf
  cmake --build "$dir" --target package >/dev/null
  zip=$(ls "$dir"/korekta-*-win32.zip)
  unpacked=$(mktemp -d)
  unzip -q "$zip" -d "$unpacked"
  korekta_check_pe32 "$unpacked"/korekta-*/korekta.exe
  for f in README.md INSTRUKCJA.txt licences/zlib.txt licences/gcc-runtime.txt; do
    [ -f "$unpacked"/korekta-*/"$f" ] || { echo "$zip lacks $f" >&2; rm -rf "$unpacked"; return 1; }
  done
  guide=$(ls "$unpacked"/korekta-*/INSTRUKCJA.txt)
  lines=$(grep -c '' "$guide")
  crlf=$(grep -c $'\r$' "$guide")
  if [ "$(head -c 3 "$guide" | od -An -tx1 | tr -d ' ')" != efbbbf ] || [ "$lines" != "$crlf" ]; then
    echo "$zip: INSTRUKCJA.txt is not UTF-8 with its mark and CRLF line ends" >&2
    rm -rf "$unpacked"
    return 1
  fi
  rm -rf "$unpacked"
  echo "Release archive: $zip"
}
