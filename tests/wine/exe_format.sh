#!/bin/bash
# exe_format.sh <objdump> <objcopy> <Vorquin.exe> <version>
# Checks the 32-bit image: PE32 GUI program, system DLLs only, and the
# version, icon and manifest resources.
set -euo pipefail

objdump=$1 objcopy=$2 exe=$3 version=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$work/headers.txt
"$objdump" -p "$exe" > "$headers"

grep -q 'file format pei-i386$' "$headers" || fail "not a pei-i386 image"
grep -qE '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)$' "$headers" || fail "optional header is not PE32"
grep -qE '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)$' "$headers" || fail "subsystem is not Windows GUI"

dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$headers")
[[ -n $dlls ]] || fail "no imported DLLs found"
while read -r dll; do
    [[ -z $dll ]] && continue
    case ${dll,,} in
        kernel32.dll | user32.dll | advapi32.dll | msvcrt.dll) ;;
        *) fail "imports $dll" ;;
    esac
done <<< "$dlls"

# Resources as type/name: 3 icon, 0xe group icon, 0x10 version, 0x18 manifest.
resources=$(awk '/^The .rsrc Resource Directory section/ {on = 1; next}
                 on && /^[0-9a-f]+   Entry: ID: / {type = $4; sub(/,$/, "", type)}
                 on && /^[0-9a-f]+     Entry: ID: / {name = $4; sub(/,$/, "", name); print type "/" name}' "$headers")
for resource in 0x000003/0x000001 0x00000e/0x000001 0x000010/0x000001 0x000018/0x000001; do
    grep -qx "$resource" <<< "$resources" || fail "no resource $resource"
done

rsrc=$work/rsrc.bin
"$objcopy" -O binary --only-section=.rsrc "$exe" "$rsrc"
has() { LC_ALL=C grep -qaP "$1" "$rsrc"; }
has 'requestedExecutionLevel level="asInvoker" uiAccess="false"' || fail "manifest without asInvoker"

# grep -P pattern for text in UTF-16LE, every byte escaped.
utf16() { printf '%s' "$1" | od -An -v -tx1 | tr -s ' \n' '  ' | sed 's/ *\([0-9a-f][0-9a-f]\) */\\x\1\\x00/g'; }
# A version string: key, zero, padding to 4 bytes, value, zero.
for pair in "ProductName=Vorquin" "OriginalFilename=Vorquin.exe" \
            "FileVersion=$version" "ProductVersion=$version"; do
    key=${pair%%=*} value=${pair#*=}
    has "$(utf16 "$key")\\x00\\x00(\\x00\\x00)?$(utf16 "$value")\\x00\\x00" ||
        fail "version resource lacks $key \"$value\""
done
# VS_FIXEDFILEINFO: signature, then FILEVERSION as two little-endian dwords.
IFS=. read -r major minor patch <<< "$version"
word() { printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8)); }
has "\\xbd\\x04\\xef\\xfe\\x00\\x00\\x01\\x00$(word "$minor")$(word "$major")\\x00\\x00$(word "$patch")" ||
    fail "fixed file version is not $version"

if ((failures)); then
    echo "--- objdump -p (excerpt)"
    grep -E 'file format|Magic|Subsystem|DLL Name' "$headers"
    exit 1
fi
echo "exe_format: ok ($(tr '\n' ' ' <<< "$dlls"))"
