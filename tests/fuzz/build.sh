#!/usr/bin/env bash
# Builds the image fuzz target (tests/fuzz/image_decode_fuzz.cpp with the
# decoder's translation unit and the preflight) with clang and libFuzzer
# into DIR: with AddressSanitizer and UndefinedBehaviorSanitizer by default,
# with MemorySanitizer (origins tracked) given --msan.
# Usage: tests/fuzz/build.sh [--msan] DIR
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
msan=0
if [ "${1:-}" = --msan ]; then
  msan=1
  shift
fi
if [ $# -ne 1 ]; then
  echo "usage: tests/fuzz/build.sh [--msan] DIR" >&2
  exit 2
fi
out=$1
mkdir -p "$out"

common=(-g -O1 -fno-omit-frame-pointer -I"$root/src" $(pkg-config --cflags-only-I stb))
if [ "$msan" -eq 1 ]; then
  sanitizers=(-fsanitize=memory -fsanitize-memory-track-origins)
  decoder_sanitizers=("${sanitizers[@]}")
else
  sanitizers=(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
  # The decoder's own undefined behaviour on valid files is reported and
  # passed over, as in the project's sanitizer build; ours stays fatal.
  decoder_sanitizers=(-fsanitize=address,undefined -fsanitize-recover=undefined)
fi

# The decoder's automatic variables start zeroed, as in the project's build;
# Clang before 16 takes that only with a flag that acknowledges it.
zero_init=(-ftrivial-auto-var-init=zero)
if ! echo 'int main(void){return 0;}' | clang -x c "${zero_init[@]}" -fsyntax-only - 2>/dev/null; then
  zero_init+=(-enable-trivial-auto-var-init-zero-knowing-it-will-be-removed-from-clang)
fi

clang -std=c11 "${common[@]}" "${zero_init[@]}" "${decoder_sanitizers[@]}" -fsanitize=fuzzer-no-link \
  -c "$root/src/data/image_decoder.c" -o "$out/image_decoder.o"
clang++ -std=c++17 "${common[@]}" "${sanitizers[@]}" -fsanitize=fuzzer-no-link \
  -c "$root/src/data/image_preflight.cpp" -o "$out/image_preflight.o"
clang++ -std=c++17 "${common[@]}" "${sanitizers[@]}" -fsanitize=fuzzer \
  "$root/tests/fuzz/image_decode_fuzz.cpp" "$out/image_decoder.o" "$out/image_preflight.o" -lm \
  -o "$out/image_decode_fuzz"
echo "built $out/image_decode_fuzz"
