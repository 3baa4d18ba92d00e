#!/usr/bin/env bash
# Checks the Debian packages that scripts/package built in BUILD_DIR
# (default build-package): unpacked into a scratch folder, the desktop entry
# validates, every program answers --help and --version and has a manual
# page, the unpacked spotscan runs on a generated image, and the libraries
# resolve against each other there. Then the development kit, installed to a
# scratch prefix, builds the example with find_package and with pkg-config,
# and the example measures a known ROI file.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build-package}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

debs=("$build"/oxelbrowser_*.deb "$build"/oxelbrowser-dev_*.deb)
for deb in "${debs[@]}"; do
    [ -f "$deb" ] || fail "no package $deb"
    dpkg-deb -x "$deb" "$work/root"
done
root="$work/root"
libdir=$(dirname "$(find "$root/usr/lib" -name 'libOXEL_roi.so.0' | head -n1)")
[ -d "$libdir" ] || fail "the package holds no libOXEL_roi.so.0"

desktop-file-validate "$root/usr/share/applications/oxelbrowser.desktop"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/oxelbrowser.svg" ] || fail "no icon"
grep -q 'pattern="\*.roi"' "$root/usr/share/mime/packages/oxelbrowser.xml" || fail "no MIME type for .roi"
grep -q '^MimeType=application/x-oxelbrowser-roi;' "$root/usr/share/applications/oxelbrowser.desktop" ||
    fail "the desktop entry does not open ROI files"

# Every library finds what it needs inside the unpacked tree.
for lib in "$libdir"/libOXEL_*.so.0; do
    out=$(LD_LIBRARY_PATH="$libdir" ldd "$lib")
    ! grep -q 'not found' <<<"$out" || fail "$lib: $out"
done
for pair in roi:pos roiio:roi roidb:roi roiimg:pos roiimg:roi; do
    user=${pair%%:*} used=${pair##*:}
    out=$(LD_LIBRARY_PATH="$libdir" ldd "$libdir/libOXEL_$user.so.0")
    grep -q "libOXEL_$used.so.0 => $libdir/" <<<"$out" ||
        fail "libOXEL_$user does not resolve libOXEL_$used from the package"
done

# Every program answers --help and --version and has its manual page.
for program in "$root"/usr/bin/*; do
    name=$(basename "$program")
    [ -f "$root/usr/share/man/man1/$name.1.gz" ] || fail "no manual page for $name"
    version=$(LD_LIBRARY_PATH="$libdir" QT_QPA_PLATFORM=offscreen "$program" --version)
    grep -q "^$name.* [0-9]\+\.[0-9]\+\.[0-9]\+$" <<<"$version" || fail "$name --version: $version"
    help=$(LD_LIBRARY_PATH="$libdir" QT_QPA_PLATFORM=offscreen "$program" --help)
    grep -qi usage <<<"$help" || fail "$name --help says nothing about its use"
done

# The unpacked detector on a generated image.
"$build/tools/oxelgen" image 256 256 12 3 "$work/plane.jpg"
"$root/usr/bin/spotscan" "$work/plane.jpg" >"$work/regions.txt"
[ -s "$work/regions.txt" ] || fail "spotscan found no region"
! grep -vq '^[0-9]\+ [0-9]\+ [0-3]\+$' "$work/regions.txt" || fail "spotscan printed a line that is not 'x y digits'"

# The development kit, installed to a scratch prefix, used both ways.
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
printf 'known\n10 10 0 0 2301\n0 0 0 1 22330011\n0 0 2 1 22330101\n' >"$work/known.roi"
expected=$'10 10 0 0 1\n0 0 0 1 4\n0 0 2 1 3'
# (Outside the system's folders the libraries are found through
# LD_LIBRARY_PATH, as they find each other.)
prefix_libs=$(dirname "$(find "$prefix" -name libOXEL_roi.so.0 | head -n1)")
cmake -S examples/roi_area -B "$work/example" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/example" >/dev/null
[ "$(LD_LIBRARY_PATH="$prefix_libs" "$work/example/roi_area" "$work/known.roi")" = "$expected" ] ||
    fail "the example built with find_package measures wrongly"
mkdir -p "$work/pc"
PKG_CONFIG_PATH="$prefix_libs/pkgconfig" PKG_CONFIG="pkg-config --define-variable=prefix=$prefix" \
    make -s -C "$work/pc" -f "$PWD/examples/roi_area/Makefile" VPATH="$PWD/examples/roi_area" >/dev/null
[ "$(LD_LIBRARY_PATH="$prefix_libs" "$work/pc/roi_area" "$work/known.roi")" = "$expected" ] ||
    fail "the example built with pkg-config measures wrongly"
echo "check_package: packages, programs, libraries and the example all check out"
