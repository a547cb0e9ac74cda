#!/usr/bin/env bash
# The libraries export only the public interface: every global symbol the
# static library defines is in the intro_music namespace or has the
# intro_music_ prefix (weak copies of standard-library templates aside, which
# any program may hold too), and the shared library exports nothing but the
# public calls. Prints the counts.
# Usage: symbol_check.sh LIBRARY.a LIBRARY.so
set -euo pipefail
static_library=$1
shared_library=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

# "TYPE MANGLED" for every defined external symbol.
static_symbols=$(nm --defined-only --extern-only "$static_library" | awk 'NF >= 3 { print $2, $3 }')
[ -n "$static_symbols" ] || fail "no symbols read from $static_library"
ours_mangled='^(_Z[A-Z]*N+K?11intro_music|_ZZN+K?11intro_music|_Z[A-Z]*11intro_music|intro_music_)'
# Weak (W, V) and unique (u) copies of standard-library templates and the compiler's helpers.
standard_mangled='^(_Z[A-Z]*N*K?St|_Z[A-Z]*N*K?9__gnu_cxx|_ZZN*K?St|DW\.ref\.)'
leaks=$(echo "$static_symbols" | while read -r type name; do
    if [[ "$name" =~ $ours_mangled ]]; then continue; fi
    if [[ "$type" =~ ^[WVu]$ && "$name" =~ $standard_mangled ]]; then continue; fi
    echo "$type $(echo "$name" | c++filt)"
done)
[ -z "$leaks" ] || fail "the static library defines names outside the intro_music namespace:
$leaks"
echo "static library: $(echo "$static_symbols" | wc -l) external definitions, $(echo "$static_symbols" | awk '{ print $2 }' | grep -cE "$ours_mangled") of them intro_music's, none unprefixed"
ours='^(intro_music::|intro_music_)'

exported=$(nm -D -C --defined-only "$shared_library" | awk 'NF >= 3 && $2 != "A" { $1 = ""; $2 = ""; sub(/^  /, ""); print }' | sed 's/@@.*//')
[ -n "$exported" ] || fail "no symbols exported by $shared_library"
outside=$(echo "$exported" | grep -vE "$ours" || true)
[ -z "$outside" ] || fail "the shared library exports names outside the interface:
$outside"
internal=$(echo "$exported" | grep -E '^intro_music::engine::' || true)
[ -z "$internal" ] || fail "the shared library exports engine internals:
$internal"
echo "shared library: $(echo "$exported" | wc -l) exported symbols ($(echo "$exported" | grep -c '^intro_music_') C, $(echo "$exported" | grep -c '^intro_music::') C++), all public calls"
soname=$(readelf -d "$shared_library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[ "$soname" = libintro_music.so.1 ] || fail "SONAME is '$soname', not libintro_music.so.1"
echo "SONAME $soname"
echo PASS
