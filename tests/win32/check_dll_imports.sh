#!/usr/bin/env bash
# Every DLL hearthpad.exe imports is loaded from the system directory.
#
#   tests/win32/check_dll_imports.sh OBJDUMP hearthpad.exe
#
# The loader takes a KnownDLL from the system's own mapping; any other
# imported DLL it looks for in the program's folder first, before wWinMain
# can restrict anything, unless the program's load-configuration directory
# carries DependentLoadFlags with LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800). So
# each import must be a KnownDLL or be covered by those flags. Lists the
# imports, the directory and its flags as read with objdump.
set -euo pipefail

objdump="$1"
exe="$2"

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs on Windows
# 10 and 11 (the names common to both), lower case.
known=" advapi32.dll bcryptprimitives.dll cfgmgr32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll
 difxapi.dll gdi32.dll gdi32full.dll gdiplus.dll imagehlp.dll imm32.dll kernel.appcore.dll kernel32.dll
 kernelbase.dll msctf.dll msvcp_win.dll msvcrt.dll normaliz.dll nsi.dll ntdll.dll ole32.dll oleaut32.dll
 psapi.dll rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll ucrtbase.dll user32.dll
 win32u.dll wldap32.dll wow64.dll wow64win.dll ws2_32.dll "
known=" $(tr -s '[:space:]' ' ' <<<"$known") "

headers="$("$objdump" -p "$exe")"
mapfile -t imports < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
((${#imports[@]} > 0)) || { echo "no imports read from $exe"; exit 1; }

image_base=$(awk '$1 == "ImageBase" {print $2}' <<<"$headers")
read -r config_rva config_size < <(awk '$1 == "Entry" && $2 == "a" {print $3, $4}' <<<"$headers")
flags=0
if ((16#$config_size >= 16#50)); then
    # DependentLoadFlags: the WORD at offset 0x4E of the directory.
    at=$((16#$image_base + 16#$config_rva + 16#4e))
    bytes=$("$objdump" -s --start-address=$at --stop-address=$((at + 2)) "$exe" |
        awk 'NR > 4 && $1 ~ /^[0-9a-f]+$/ {print $2; exit}')
    flags=$((16#${bytes:2:2}${bytes:0:2}))
    printf 'load-configuration directory at RVA 0x%s, %d bytes, DependentLoadFlags 0x%04x\n' \
        "$config_rva" "$((16#$config_size))" "$flags"
else
    echo "no load-configuration directory"
fi
covered=$(((flags & 0x800) != 0))

status=0
for dll in "${imports[@]}"; do
    if [[ $known == *" $dll "* ]]; then
        echo "  $dll: KnownDLL"
    elif ((covered)); then
        echo "  $dll: system directory (DependentLoadFlags)"
    else
        echo "  $dll: NOT covered: found in the program's folder first"
        status=1
    fi
done
exit $status
