#!/bin/bash
# Whether a Windows program needs no DLL beyond Windows' own: a DLL the
# build links in by mistake (zlib1.dll, libstdc++-6.dll, libwinpthread-1.dll)
# is on no user's machine, though Wine may supply one.
#   tests/windows/check_dlls.sh PROGRAM.exe
set -euo pipefail
system='^(kernel32|msvcrt|bcrypt|shell32|advapi32|user32|ntdll|ws2_32)\.dll$'
needed=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p')
others=$(echo "$needed" | grep -viE "$system" || true)
if [ -n "$others" ]; then
  echo "$1 needs DLLs that are not Windows' own:" $others >&2
  exit 1
fi
echo "$1 needs only Windows' own DLLs:" $needed
