#!/usr/bin/env bash
# Checks the tables of a built Marrowlink.p: it exports `_mod_descrip` and
# nothing else, and the DLL imports only from DLLs that every Windows has.
#   module_symbols.sh elf NM FILE      the native module (dynamic symbol table)
#   module_symbols.sh pe OBJDUMP FILE  the Windows DLL (export and import tables)
# A fourth argument "sanitized" lets through what AddressSanitizer adds beside
# an exported variable (its ODR indicator, "__odr_asan.<name>").
set -euo pipefail
kind=$1 tool=$2 file=$3 build=${4:-}

# The C runtime (msvcrt.dll) and the kernel (KERNEL32.dll) are all the
# statically linked runtime needs; both ship with every Windows the host runs on.
allowed_imports='^(KERNEL32\.dll|msvcrt\.dll)$'

fail=0
case $kind in
  elf)
    exports=$("$tool" -D --defined-only "$file" | awk 'NF >= 3 { print $3 }' | sort -u)
    if [ "$build" = sanitized ]; then
      exports=$(grep -v '^__odr_asan\.' <<<"$exports" || true)
    fi
    ;;
  pe)
    dump=$("$tool" -p "$file")
    grep -q 'file format pei-i386' <<<"$dump" || { echo "not a PE32 (i386) file: $file"; exit 1; }
    # Rows of the export name table look like "[   0] _mod_descrip".
    exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
                   on && /^[[:space:]]*\[ *[0-9]+\]/ { sub(/^[[:space:]]*\[ *[0-9]+\][[:space:]]*/, ""); print; next }
                   on { on = 0 }' <<<"$dump" | sort -u)
    imports=$(awk '/DLL Name:/ { print $3 }' <<<"$dump" | sort -u)
    echo "imports: $(tr '\n' ' ' <<<"$imports")"
    while read -r dll; do
      [ -z "$dll" ] && continue
      grep -Eq "$allowed_imports" <<<"$dll" || { echo "import from a DLL that is not Windows' own: $dll"; fail=1; }
    done <<<"$imports"
    ;;
  *) echo "usage: $0 elf|pe TOOL FILE"; exit 2 ;;
esac

echo "exports: $(tr '\n' ' ' <<<"$exports")"
[ "$exports" = "_mod_descrip" ] || { echo "the module must export _mod_descrip and nothing else"; fail=1; }
exit $fail
