#!/usr/bin/env bash
# The demo and the track command: a configuration folder tracked through the Java API, then
# pictures of the run (annotated contact sheet, video, pose plot).
#   tools/demo.sh BUILD_DIR               render a synthetic head sequence, track it, compare with
#                                         its ground truth; output in BUILD_DIR/demo/
#   tools/demo.sh BUILD_DIR CONFIG_DIR [--frames N]
#                                         track a configuration folder of your own; pictures in
#                                         BUILD_DIR/track/<folder name>/
# The tracking is the jar's own runner, with nothing set up: java -jar BUILD_DIR/java/vantorel.jar.
set -euo pipefail

BUILD="$(cd "${1:?usage: demo.sh BUILD_DIR [CONFIG_DIR [--frames N]]}" && pwd)"
CONFIG="${2:-}"
shift $(( $# < 2 ? $# : 2 ))
# The replay that draws the pictures links the library statically: it is told where the classifier is.
PICTURES_CLASSIFIER="${VANTOREL_CLASSIFIER:-$BUILD/classifier/Classifier.txt}"
[ -s "$PICTURES_CLASSIFIER" ] || { echo "demo: no face classifier at $PICTURES_CLASSIFIER" >&2; exit 1; }
for f in "$BUILD/java/vantorel.jar" "$BUILD/tools/render_sequence" "$BUILD/tools/track_pictures"; do
    [ -e "$f" ] || { echo "demo: $f is missing: build first" >&2; exit 1; }
done

track() {  # CONFIG_DIR LOG_FILE [TrackSequence options...]
    java -jar "$BUILD/java/vantorel.jar" "$1" --log "$2" "${@:3}"
}

pictures() {  # track_pictures arguments...
    VANTOREL_CLASSIFIER="$PICTURES_CLASSIFIER" "$BUILD/tools/track_pictures" "$@"
}

if [ -z "$CONFIG" ]; then
    OUT="$BUILD/demo"
    SEQUENCE="$OUT/sequence"
    rm -rf "$OUT"
    mkdir -p "$OUT"
    echo "== rendering a synthetic head sequence into $SEQUENCE"
    # A face's relief under a mild lamp: ten still frames for the detector, then a 15-degree turn
    # with two nods while the head drifts by up to 60, 20 and 80 mm.
    "$BUILD/tools/render_sequence" "$SEQUENCE" --trajectory tour --frames 160 --still-frames 10 \
        --amplitude-deg 15 --shading 0.4 --forms pgm --preview
    echo "== tracking it from Java (one line per frame)"
    track "$SEQUENCE" "$OUT/track-log.txt"
    echo "== comparing with the ground truth and drawing the pictures"
    pictures "$SEQUENCE" "$OUT/track-log.txt" "$OUT" --truth "$SEQUENCE/ground-truth.txt"
    echo "== the tracker's own output files: $SEQUENCE/poses.txt, $SEQUENCE/results.txt"
else
    [ -d "$CONFIG" ] || { echo "track: no such folder: $CONFIG" >&2; exit 1; }
    CONFIG="$(cd "$CONFIG" && pwd)"
    OUT="$BUILD/track/$(basename "$CONFIG")"
    mkdir -p "$OUT"
    echo "== tracking $CONFIG from Java (one line per frame)"
    # Relative file names in the configuration are the library's business: run from the folder.
    (cd "$CONFIG" && track "$CONFIG" "$OUT/track-log.txt" "$@")
    echo "== drawing the pictures"
    (cd "$CONFIG" && pictures "$CONFIG" "$OUT/track-log.txt" "$OUT")
    echo "== the output files its ParamTrackerZBCCE.cfg names (RESULTS_FILE, POSES_FILE) are written by the tracker"
fi
