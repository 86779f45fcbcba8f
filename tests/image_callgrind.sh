#!/bin/sh
# Instructions per pixel of the image writers, measured with callgrind on image_bench:
# the writer's inclusive count minus the frame-memory reads (ReadFrameLine), per pixel.
#   tests/image_callgrind.sh BUILD_DIR     (image_bench built there, -O2)
set -eu
bench="${1:?build directory}/tests/image_bench"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
pixels=$((720 * 576))

inclusive() {  # callgrind file, function name -> inclusive Ir
    callgrind_annotate --inclusive=yes "$1" 2>/dev/null |
        awk -v f="$2" '$0 ~ ("[ :]" f "\\(") { gsub(",", "", $1); print $1; exit }'
}

for writer in bmp yuv ppm jpeg; do
    for layout in 0 1 2 3; do
        [ "$writer" = jpeg ] && [ "$layout" != 0 ] && continue
        file="$out/$writer.$layout"
        valgrind --tool=callgrind --callgrind-out-file="$file" "$bench" "$writer" "$layout" >/dev/null 2>&1
        case $writer in
            bmp) fn=WriteBmp ;; yuv) fn=WriteYUV ;; ppm) fn=WritePbm ;; jpeg) fn=ConvertJpegRow ;;
        esac
        total=$(inclusive "$file" "$fn")
        reads=$(inclusive "$file" ReadFrameLine)
        [ -n "$reads" ] || reads=0
        awk -v w="$writer" -v l="$layout" -v t="$total" -v r="$reads" -v p="$pixels" \
            'BEGIN { printf "%-4s layout %s: %.1f instructions per pixel\n", w, l, (t - r) / p }'
    done
done
