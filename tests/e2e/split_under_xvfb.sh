#!/usr/bin/env bash
# Cutting two touching nuclei apart in the real browser under Xvfb: a dataset
# in which two nuclei, one above the other, have grown into one unit, Make
# units (U), both parents marked elite (E and a click), Split, Save ROIs
# through the real file dialog, and the saved file checked for the pieces.
# Usage: split_under_xvfb.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# A square w x h at (x, y) as an outline.
square() { printf '%s %s %s %s %s%s%s%s\n' "$1" "$2" "$5" "$6" \
    "$(printf '2%.0s' $(seq "$4"))" "$(printf '3%.0s' $(seq "$3"))" \
    "$(printf '0%.0s' $(seq "$4"))" "$(printf '1%.0s' $(seq "$3"))"; }
{
    echo touch
    for z in 0 1 2; do square 10 10 8 8 $z 0; square 10 10 8 8 $z 1; square 10 10 14 8 $z 2; done
    square 16 10 8 8 3 0; square 13 10 8 8 3 1; square 10 10 14 8 3 2
    for z in 4 5; do square 16 10 8 8 $z 0; square 16 10 8 8 $z 1; square 10 10 14 8 $z 2; done
} > "$work/touch.roi"
mkdir -p "$work/image/touch"
for t in 000 001 002; do
    for z in 000 001 002 003 004 005; do
        convert -size 64x64 xc:gray15 "$work/image/touch/$t-$z.jpg"
    done
done
rois_before=$(($(wc -l < "$work/touch.roi") - 1))

cat > "$work/session.sh" <<SH
#!/usr/bin/env bash
set -u
export QT_QPA_PLATFORM=xcb
export OXELBROWSER_IMAGE_ROOT="$work/image"
export OXELBROWSER_OUTLINEGEN="$build/outlinegen/outlinegen"
export OXELBROWSER_TRACE_INPUT=1
export XDG_STATE_HOME="$work/state"
cd "$work"
"$build/oxelbrowser/oxelbrowser" "$work/touch.roi" >"$work/out.txt" 2>"$work/err.txt" &
pid=\$!
wid=\$(timeout 30 xdotool search --sync --onlyvisible --name '^Dozoriz Izudavov\$' | head -1)
[ -n "\$wid" ] || { echo "FAIL: no window"; kill \$pid; exit 1; }
sleep 0.5
xdotool windowfocus --sync "\$wid" || true
fail() { echo "FAIL: \$1"; cat "$work/err.txt"; kill \$pid; exit 1; }
wait_for() {
    for _ in \$(seq 100); do grep -q "\$1" "$work/out.txt" && return 0; sleep 0.1; done
    fail "no line '\$1'"
}
expect_view() {
    for _ in \$(seq 50); do
        last=\$(grep '^view ' "$work/out.txt" | tail -1)
        case "\$last" in "view \$1"*) return 0 ;; esac
        sleep 0.1
    done
    fail "after \$2 the window shows '\$last', expected 'view \$1'"
}
at() { grep "^\$1 \$2 " "$work/out.txt" | head -1 | cut -d' ' -f3-; }
click_at() { xdotool mousemove --window "\$wid" \$1 \$2 click 1; }

xdotool key --window "\$wid" u
wait_for '^units t=2 '
# Plane 1 of time point 0: A. Plane 4: B. Each marked elite (the canvas at 10, 10).
xdotool key --window "\$wid" --delay 30 \$(printf 'Up %.0s' \$(seq 19))
expect_view "t=0 z=1 " "Up to plane 1"
xdotool key --window "\$wid" e
click_at 23 23
expect_view "t=0 z=1 selected=0 removed=0 elite=1" "E and a click on A"
xdotool key --window "\$wid" Down Down Down
xdotool key --window "\$wid" e
click_at 30 23
expect_view "t=0 z=4 selected=0 removed=0 elite=2" "E and a click on B"

# The second tab, Split; then the first tab, Save ROIs into the real dialog.
click_at \$(at tab KVR)
click_at \$(at widget pushButton_split)
wait_for '^split: case 3'
click_at \$(at tab File)
click_at \$(at widget pushButton_save_roifile)
sleep 1
xdotool key --window "\$wid" ctrl+a
xdotool type --window "\$wid" "$work/saved.roi"
xdotool key --window "\$wid" Return
for _ in \$(seq 50); do [ -s "$work/saved.roi" ] && break; sleep 0.1; done
[ -s "$work/saved.roi" ] || fail "nothing saved"
kill \$pid
wait \$pid
status=\$?
# Killed by our TERM (143) is the expected end; anything else is a crash.
[ "\$status" = 143 ] || { echo "FAIL: exit status \$status"; exit 1; }
exit 0
SH
chmod +x "$work/session.sh"
xvfb-run -a -s "-screen 0 800x1000x24" "$work/session.sh"

# Every piece the split traced is in the saved file, which now holds more ROIs.
pieces=$(sed -n 's/^roi_\(plus\|minus\): //p' "$work/out.txt")
[ -n "$pieces" ] || { echo "FAIL: no pieces traced"; exit 1; }
while read -r line; do
    grep -qxF "$line" "$work/saved.roi" || { echo "FAIL: piece '$line' not saved"; exit 1; }
done <<< "$pieces"
[ "$(head -1 "$work/saved.roi")" = touch ] || { echo "FAIL: dataset name"; exit 1; }
rois_after=$(($(wc -l < "$work/saved.roi") - 1))
[ "$rois_after" -gt "$rois_before" ] || { echo "FAIL: $rois_after ROIs saved, $rois_before before"; exit 1; }
echo "pieces: $(echo "$pieces" | wc -l); ROIs $rois_before -> $rois_after"
echo "1 passed, 0 failed"
