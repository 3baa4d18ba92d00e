# Draws link precision against link recall for every run of the unit rules'
# sweep (bench/curation_sweep's table), one panel per generated kind.
#
#   gnuplot -e "in='docs/curation-sweep.tsv'; out='docs/curation-sweep.svg'" docs/plot-curation.gp
#
# Needs gnuplot (Debian: gnuplot-nox); CI does not draw it.
if (!exists("in")) in = 'docs/curation-sweep.tsv'
if (!exists("out")) out = 'docs/curation-sweep.svg'
set terminal svg size 1000,520 dynamic font 'sans,11'
set output out
set datafile separator "\t"
set key below
set grid
set xlabel 'link recall'
set ylabel 'link precision'
set multiplot layout 1,2
do for [kind in "cells nuclei"] {
    set title (kind eq "cells" ? 'touching cells' : 'separated nuclei')
    # columns: 1 kind, 2 sweep, 7 precision, 8 recall
    # the tuned runs are a grid around the recommended values: points only
    plot for [s in "plain ratio caps best links combined stack stacked"] \
        in using ((strcol(1) eq kind && strcol(2) eq s) ? $8 : NaN):7 \
        with linespoints pointsize (s eq "plain" ? 1.8 : 1) title s, \
        in using ((strcol(1) eq kind && strcol(2) eq "tuned") ? $8 : NaN):7 \
        with points pointsize 1 title "tuned", \
        in using ((strcol(1) eq kind && strcol(2) eq "recommended") ? $8 : NaN):7 \
        with points pointtype 6 pointsize 3 linewidth 2 title "recommended"
}
unset multiplot
