#!/usr/bin/env bash
# The soak: a rendered recording run back and forth through the Java API for FRAMES frames by
# quillmere.posewarden.demo.Soak (two threads, re-acquisitions, the tracker closed and opened
# again), against a library built with AddressSanitizer and UndefinedBehaviorSanitizer. Prints the
# frames per second and resident memory at intervals; fails on any sanitizer report.
#   tools/soak.sh BUILD_DIR FRAMES
set -euo pipefail

BUILD="$(cd "${1:?usage: soak.sh BUILD_DIR FRAMES}" && pwd)"
FRAMES="${2:?usage: soak.sh BUILD_DIR FRAMES}"
OUT="$BUILD/soak"
export VANTOREL_CLASSIFIER="${VANTOREL_CLASSIFIER:-$BUILD/classifier/Classifier.txt}"
for f in "$BUILD/libVantorel.so" "$BUILD/java/vantorel.jar" "$BUILD/tools/render_sequence" "$VANTOREL_CLASSIFIER"; do
    [ -e "$f" ] || { echo "soak: $f is missing: build first" >&2; exit 1; }
done
rm -rf "$OUT"
mkdir -p "$OUT"
echo "== rendering the soak's sequence into $OUT/sequence"
"$BUILD/tools/render_sequence" "$OUT/sequence" --trajectory yaw --frames 60 --still-frames 8 --amplitude-deg 8 \
    --forms pgm >/dev/null

# The JVM is not built with the sanitizers: their runtime comes first, and the JVM's own use of
# SIGSEGV must reach the JVM. Leaks are not looked for: the JVM's own would drown ours.
ASAN_RUNTIME="$(${CXX:-c++} -print-file-name=libasan.so)"
echo "== $FRAMES frames through the Java API ($OUT/soak.log)"
status=0
LD_PRELOAD="$ASAN_RUNTIME" \
ASAN_OPTIONS=handle_segv=0:detect_leaks=0:allow_user_segv_handler=1:use_sigaltstack=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    java -Djava.library.path="$BUILD" -cp "$BUILD/java/vantorel.jar" quillmere.posewarden.demo.Soak \
    "$OUT/sequence" "$FRAMES" "$OUT/config" >"$OUT/soak.log" 2>"$OUT/soak-errors.log" || status=$?
grep '^soak:' "$OUT/soak.log" || true
if grep -qE 'ERROR: AddressSanitizer|runtime error:|ERROR: LeakSanitizer' "$OUT/soak-errors.log" "$OUT/soak.log"; then
    grep -B2 -A30 -E 'ERROR: AddressSanitizer|runtime error:' "$OUT/soak-errors.log" "$OUT/soak.log" | head -80 >&2
    echo "soak: a sanitizer reported a fault" >&2
    exit 1
fi
[ "$status" -eq 0 ] || { tail -20 "$OUT/soak-errors.log" >&2; echo "soak: failed (status $status)" >&2; exit 1; }
echo "== soak passed: no sanitizer report"
