#!/usr/bin/env bash
# The browser as a user runs it: a small generated dataset, its ROI file made
# with spotscan, the real program under Xvfb, keys and clicks with xdotool,
# a screenshot, units made and a click in the lineage tree that moves the
# main window. Usage: demo_under_xvfb.sh BUILD_DIR
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

# A ROI of time point 1 on plane 12: its start is its first pixel.
roi_start=$(awk '$3 == 12 && $4 == 1 { print $1, $2; exit }' "$work/tiny.roi")
[ -n "$roi_start" ] || { echo "FAIL: no ROI at t=1 z=12 in the demo"; exit 1; }
rx=${roi_start% *}
ry=${roi_start#* }

cat > "$work/session.sh" <<SH
#!/usr/bin/env bash
set -u
# A real window on the X server, whatever the other tests run on.
export QT_QPA_PLATFORM=xcb
export OXELBROWSER_IMAGE_ROOT="$work/image"
export OXELBROWSER_OUTLINEGEN="$build/outlinegen/outlinegen"
export OXELBROWSER_TRACE_INPUT=1
# The tree reports where it draws a node, and the main window its position.
export OXELBROWSER_TREE_REPORT=1
# Settings (the tree's geometry) stay in the work folder.
export XDG_CONFIG_HOME="$work/config"
export XDG_STATE_HOME="$work/state"
"$build/oxelbrowser/oxelbrowser" "$work/tiny.roi" >"$work/out.txt" 2>"$work/err.txt" &
pid=\$!
wid=\$(timeout 30 xdotool search --sync --onlyvisible --name '^Dozoriz Izudavov\$' | head -1)
[ -n "\$wid" ] || { echo "FAIL: no window"; kill \$pid; exit 1; }
sleep 0.5
xdotool windowfocus --sync "\$wid" || true

# What the window shows after each input: the last line it traced.
expect_view() {
    for _ in \$(seq 50); do
        last=\$(grep '^view ' "$work/out.txt" | tail -1)
        case "\$last" in "view \$1"*) return 0 ;; esac
        sleep 0.1
    done
    echo "FAIL: after \$2 the window shows '\$last', expected 'view \$1'"
    kill \$pid
    exit 1
}
# The keys reach the canvas at once, although a number field has the focus.
xdotool key --window "\$wid" f;    expect_view "t=1 z=20 selected=0" "F"
xdotool key --window "\$wid" f;    expect_view "t=2 z=20 selected=0" "F F"
xdotool key --window "\$wid" d;    expect_view "t=1 z=20 selected=0" "F F D"
xdotool key --window "\$wid" Down; expect_view "t=1 z=21 selected=0" "Down"
xdotool key --window "\$wid" Up Up Up Up Up Up Up Up Up
expect_view "t=1 z=12 selected=0" "Up nine times"
# A click on a ROI of the plane on view selects it (the canvas sits at 10, 10).
xdotool mousemove --window "\$wid" \$((10 + $rx)) \$((10 + $ry)) click 1
expect_view "t=1 z=12 selected=1" "a click on a ROI"
grep -q "^roi(001012" "$work/err.txt" || { echo "FAIL: no selection line"; kill \$pid; exit 1; }
xdotool key --window "\$wid" z t t
for x in 40 60 80 100 120 140; do
    xdotool mousemove --window "\$wid" \$((10 + x)) \$((10 + x)) click 1
done
# Make units (U), then the first dead end (B): the view shows its unit.
xdotool key --window "\$wid" u
for _ in \$(seq 100); do grep -q '^units t=3 ' "$work/out.txt" && break; sleep 0.1; done
xdotool key --window "\$wid" b
for _ in \$(seq 50); do grep -q '^Dead-end branch: ' "$work/out.txt" && break; sleep 0.1; done
found=\$(sed -n 's/^Dead-end branch: //p' "$work/out.txt" | tail -1)
[ -n "\$found" ] || { echo "FAIL: no dead-end line after B"; kill \$pid; exit 1; }
if [ "\$found" != none ]; then
    expect_view "t=\$((10#\${found:0:3})) z=\$((10#\${found:3:3})) " "the dead-end key"
fi
echo "dead end: \$found"
sleep 0.5
import -window "\$wid" "$work/shot.png"
kill -0 \$pid || { echo "FAIL: the browser ended early"; exit 1; }

# The lineage tree: make units (U), open the tree (V), click the node that the
# tree reports for the last time point, and see the main window go there.
xdotool key --window "\$wid" u
for i in \$(seq 100); do grep -q "^units t=3 " "$work/out.txt" && break; sleep 0.2; done
grep -q "^units t=3 " "$work/out.txt" || { echo "FAIL: no units made"; exit 1; }
sleep 1
xdotool key --window "\$wid" v
twid=\$(timeout 30 xdotool search --sync --onlyvisible --name '^Lineage\$' | head -1)
[ -n "\$twid" ] || { echo "FAIL: no lineage tree window"; exit 1; }
for i in \$(seq 100); do grep -q "^tree: units=" "$work/out.txt" && break; sleep 0.2; done
sleep 0.5
report=\$(grep "^tree: units=" "$work/out.txt" | tail -1)
[ -n "\$report" ] || { echo "FAIL: the tree reported nothing"; exit 1; }
set -- \$report
node=\${3#node=}; t=\${4#t=}; zmin=\$6; zmax=\$7; x=\$9; y=\${10}
xdotool mousemove --window "\$twid" "\$x" "\$y" click 1
for i in \$(seq 50); do grep -q "^browser: t=\$t .* root=\$node\$" "$work/out.txt" && break; sleep 0.2; done
state=\$(grep "^browser: " "$work/out.txt" | tail -1)
case "\$state" in
"browser: t=\$t z="*" root=\$node") ;;
*) echo "FAIL: after a click on \$node (time point \$t) the main window shows: \$state"; exit 1 ;;
esac
z=\${state#*z=}; z=\${z%% *}
[ "\$z" -ge "\$zmin" ] && [ "\$z" -le "\$zmax" ] ||
    { echo "FAIL: plane \$z is outside the unit's planes \$zmin to \$zmax"; exit 1; }
import -window "\$twid" "$work/tree.png"
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
[ -s "$work/tree.png" ] || { echo "FAIL: no screenshot of the lineage tree"; exit 1; }
size=$(identify -format '%w %h' "$work/shot.png")
[ "$size" = "620 878" ] || echo "note: window size $size"
if grep -q "Cannot find" "$work/err.txt"; then
    echo "FAIL: an image of the dataset was not found"
    exit 1
fi
echo "1 passed, 0 failed"
