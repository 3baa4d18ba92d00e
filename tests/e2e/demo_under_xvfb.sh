#!/usr/bin/env bash
# The browser as a user runs it: a small generated dataset, its ROI file made
# with spotscan, the real program under Xvfb, keys and clicks with xdotool,
# a screenshot, and the Exit button. Usage: demo_under_xvfb.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 22 planes: opening a file shows plane 20
"$build/tools/oxelgen" dataset "$work/image/tiny" 4 22 160 3
"$build/tools/oxelroi" "$work/image/tiny" "$work/tiny.roi" tiny >/dev/null
[ "$(head -1 "$work/tiny.roi")" = tiny ] || { echo "FAIL: ROI file name line"; exit 1; }
rois=$(($(wc -l < "$work/tiny.roi") - 1))
[ "$rois" -gt 0 ] || { echo "FAIL: no ROIs detected"; exit 1; }

cat > "$work/session.sh" <<SH
#!/usr/bin/env bash
set -u
# A real window on the X server, whatever the other tests run on.
export QT_QPA_PLATFORM=xcb
export OXELBROWSER_IMAGE_ROOT="$work/image"
export OXELBROWSER_OUTLINEGEN="$build/outlinegen/outlinegen"
"$build/oxelbrowser/oxelbrowser" "$work/tiny.roi" >"$work/out.txt" 2>"$work/err.txt" &
pid=\$!
wid=\$(timeout 30 xdotool search --sync --onlyvisible --name '^Dozoriz Izudavov\$' | head -1)
[ -n "\$wid" ] || { echo "FAIL: no window"; kill \$pid; exit 1; }
sleep 0.5
xdotool windowfocus --sync "\$wid" || true
xdotool key --window "\$wid" f f d Down Up z t t
for x in 40 60 80 100 120 140; do
    xdotool mousemove --window "\$wid" \$((10 + x)) \$((10 + x)) click 1
done
sleep 0.5
import -window "\$wid" "$work/shot.png"
kill -0 \$pid || { echo "FAIL: the browser ended early"; exit 1; }
xdotool key --window "\$wid" Escape
kill \$pid
wait \$pid
status=\$?
# Killed by our TERM (143) is the expected end; anything else is a crash.
[ "\$status" = 143 ] || { echo "FAIL: exit status \$status"; cat "$work/err.txt"; exit 1; }
SH
chmod +x "$work/session.sh"
xvfb-run -a -s "-screen 0 800x1000x24" "$work/session.sh"

[ -s "$work/shot.png" ] || { echo "FAIL: no screenshot"; exit 1; }
size=$(identify -format '%w %h' "$work/shot.png")
[ "$size" = "620 878" ] || echo "note: window size $size"
if grep -q "Cannot find" "$work/err.txt"; then
    echo "FAIL: an image of the dataset was not found"
    exit 1
fi
echo "1 passed, 0 failed"
