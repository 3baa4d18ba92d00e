#!/usr/bin/env bash
# A 2048 x 2048 dataset in the real browser under Xvfb: the whole image fits
# the canvas, a click selects the ROI beyond x = 1000 under the pointer, a
# right click marks it false, Drop FP removes it, Save ROIs writes the file
# through the real dialog, and the saved file lacks exactly that ROI.
# Usage: realsize_under_xvfb.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# A square w x h at (x, y) as an outline.
square() { printf '%s %s %s %s %s%s%s%s\n' "$1" "$2" "$5" "$6" \
    "$(printf '2%.0s' $(seq "$4"))" "$(printf '3%.0s' $(seq "$3"))" \
    "$(printf '0%.0s' $(seq "$4"))" "$(printf '1%.0s' $(seq "$3"))"; }
{
    echo wide
    square 200 200 60 60 20 0
    square 960 960 38 38 20 0
    square 1000 300 60 60 20 0
    square 1500 1500 60 60 20 0
    square 1900 100 60 60 20 0
} > "$work/wide.roi"
mkdir -p "$work/image/wide"
convert -size 2048x2048 xc:gray15 "$work/image/wide/000-020.jpg"
doomed="1500 1500 20 0 "

cat > "$work/session.sh" <<SH
#!/usr/bin/env bash
set -u
export QT_QPA_PLATFORM=xcb
export OXELBROWSER_IMAGE_ROOT="$work/image"
export OXELBROWSER_TRACE_INPUT=1
cd "$work"
"$build/oxelbrowser/oxelbrowser" "$work/wide.roi" >"$work/out.txt" 2>"$work/err.txt" &
pid=\$!
wid=\$(timeout 30 xdotool search --sync --onlyvisible --name '^Dozoriz Izudavov\$' | head -1)
[ -n "\$wid" ] || { echo "FAIL: no window"; kill \$pid; exit 1; }
sleep 0.5
xdotool windowfocus --sync "\$wid" || true
fail() { echo "FAIL: \$1"; cat "$work/err.txt"; kill \$pid; exit 1; }
expect_view() {
    for _ in \$(seq 50); do
        last=\$(grep '^view ' "$work/out.txt" | tail -1)
        case "\$last" in "view \$1"*) return 0 ;; esac
        sleep 0.1
    done
    fail "after \$2 the window shows '\$last', expected 'view \$1'"
}
at() { grep "^\$1 \$2 " "$work/out.txt" | head -1 | cut -d' ' -f3-; }

# The canvas (at 10, 10, 601 pixels) shows the whole image: image pixel
# 1530 is canvas pixel 1530 * 601 / 2048 = 449.
xdotool key --window "\$wid" Home
xdotool mousemove --window "\$wid" 459 459 click 1
expect_view "t=0 z=20 selected=1 removed=0" "a click on the ROI at 1500"
xdotool mousemove --window "\$wid" 459 459 click 3
expect_view "t=0 z=20 selected=1 removed=1" "a right click on the ROI at 1500"
xdotool mousemove --window "\$wid" \$(at widget pushButton_drop_false_positive) click 1
sleep 0.5
xdotool mousemove --window "\$wid" \$(at widget pushButton_save_roifile) click 1
sleep 1
xdotool key --window "\$wid" ctrl+a
xdotool type --window "\$wid" "$work/saved.roi"
xdotool key --window "\$wid" Return
for _ in \$(seq 50); do [ -s "$work/saved.roi" ] && break; sleep 0.1; done
[ -s "$work/saved.roi" ] || fail "nothing saved"
kill \$pid
wait \$pid
status=\$?
[ "\$status" = 143 ] || { echo "FAIL: exit status \$status"; exit 1; }
exit 0
SH
chmod +x "$work/session.sh"
xvfb-run -a -s "-screen 0 800x1000x24" "$work/session.sh"

# The saved file is the read one without the ROI at 1500, line for line.
grep -v "^$doomed" "$work/wide.roi" > "$work/expected.roi"
if ! cmp -s "$work/expected.roi" "$work/saved.roi"; then
    echo "FAIL: saved file differs from the expected one"
    diff "$work/expected.roi" "$work/saved.roi" || true
    exit 1
fi
echo "1 passed, 0 failed"
