#!/bin/sh
# Runs the examples and a set of synthetic models through a built tzm and
# collects every listing (time-stamped lines masked) and result file in one
# folder, so that two builds, or two thread counts, can be compared with
# `diff -r`.
#
#   bench/check_identical.sh TZM GEN_DATA OUTDIR [N]
#
# N (default 2000) is the size of the synthetic data sets.  The thread count
# is taken from OMP_NUM_THREADS as usual.
set -eu
tzm=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
gen=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
out=$3
n=${4:-2000}
src=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mask() { sed -e 's/^\( *Program starts at:\).*/\1 TIME/' -e 's/^\( *Program terminates.*at:\).*/\1 TIME/'; }

# run NAME: runs $work/NAME.tzm in $work, keeps the listing and every file
# the run wrote.
run() {
    name=$1
    ls "$work" > "$work/.before"
    (cd "$work" && "$tzm" < "$name.tzm" 2> "$out/$name.err" | mask > "$out/$name.lst") || true
    ls "$work" > "$work/.after"
    for f in $(comm -13 "$work/.before" "$work/.after"); do
        [ "$f" = .after ] || mv "$work/$f" "$out/$name.$f"
    done
}

# The examples, as shipped.
cp "$src"/examples/columbus.csv "$src"/examples/columbus_new.csv "$src"/examples/counts.csv "$work"/
for t in "$src"/examples/*.tzm; do
    b=$(basename "$t" .tzm)
    cp "$t" "$work/$b.tzm"
    run "$b"
done

# Synthetic data: scattered points, the same points on an integer grid (many
# ties among distances), counts and 0/1 responses for the reweighted models.
"$gen" "$n" 7 "$work/s.csv"
awk -F, 'NR==1{print;next}{printf "%s,%d,%d,%s,%s,%s\n",$1,$2,$3,$4,$5,$6}' "$work/s.csv" > "$work/g.csv"
awk -F, 'NR==1{print "ID,X,Y,CASES,X1,X2,EXPECT";next}
  {c=int(exp(0.4*$5-0.3*$6)*(2+$4/4)); if(c<0)c=0; printf "%s,%s,%s,%d,%s,%s,%g\n",$1,$2,$3,c,$5,$6,1+($1%3)}' "$work/s.csv" > "$work/p.csv"
awk -F, 'NR==1{print "ID,X,Y,CP,X1,X2";next}
  {printf "%s,%s,%s,%d,%s,%s\n",$1,$2,$3,($4+$5>3.5)?1:0,$5,$6}' "$work/s.csv" > "$work/l.csv"
# Fit locations elsewhere: a coarse grid over the square.
awk -v n="$n" 'BEGIN{s=sqrt(n); k=0; for(i=0;i<12;i++)for(j=0;j<12;j++)printf "%d %.6f %.6f\n",++k,s*(i+0.5)/12,s*(j+0.5)/12}' > "$work/locs.txt"
"$gen" 300 11 "$work/m.csv"
bw=$(awk -v n="$n" 'BEGIN{printf "%.6f", 0.12*sqrt(n)}')
nn=$(awk -v n="$n" 'BEGIN{printf "%d", n/12}')

# ctl NAME DATA LOCS OUT DEP XYW FLAGS KERNEL BW HIST PRED OUTTYPE TEST DIAG METHOD COORD
ctl() {
    name=$1; shift
    printf '%s\n' "$1" "$2" "$3" "$4" "$5" "Synthetic $name" "$6" "$7" "$8" "$9" "${10}" "${11}" "${12}" "${13}" "${14}" "${15}" > "$work/$name.tzm"
    run "$name"
}
ctl fixed        s.csv ""       fixed.csv 4 "2,3,0" FFFFTT fnn "$bw" 0 1 1 0 1 2 1
ctl fixed_aicc   s.csv ""       fa.csv    4 "2,3,0" FFFFTT faa 0     1 0 1 0 0 2 1
# A bandwidth small enough for most Gaussian weights to underflow to 0.
ctl fixed_small  s.csv ""       fs.csv    4 "2,3,0" FFFFTT fnn 0.8   0 1 1 0 1 2 1
ctl desc_small   s.csv ""       ds.txt    0 "2,3,0" FFFTTT f   0.8   0 1 1 0 0 1 1
ctl fixed_sm_mc  m.csv ""       ""        4 "2,3,0" FFFFTT fnn 0.6   0 0 0 1 0 2 1
ctl fixed_cv     s.csv ""       ""        4 "2,3,0" FFFFTT fca 0     1 0 0 0 1 2 1
ctl adapt        s.csv ""       ad.csv    4 "2,3,0" FFFFTT vnn "$nn" 0 1 1 0 1 2 1
ctl adapt_aicc   s.csv ""       aa.csv    4 "2,3,0" FFFFTT vaa 0     1 0 1 0 1 2 1
ctl adapt_cv_smp s.csv ""       ""        4 "2,3,0" FFFFTT vcs -40   1 0 0 0 0 2 1
ctl grid_adapt   g.csv ""       ga.csv    4 "2,3,0" FFFFTT vaa 0     1 1 1 0 1 2 1
ctl grid_cyl     g.csv ""       gc.csv    4 "2,3,0" FFFFTT cnn 3     0 1 1 0 1 2 1
ctl cyl_cv       s.csv ""       cc.csv    4 "2,3,0" FFFFTT cca 0     1 0 1 0 1 2 1
ctl sphere       s.csv ""       sp.csv    4 "2,3,0" FFFFTT fnn 400   0 1 1 0 1 2 2
ctl sphere_adapt s.csv ""       sa.csv    4 "2,3,0" FFFFTT vaa 0     1 0 1 0 1 2 2
ctl locs         s.csv locs.txt lo.csv    4 "2,3,0" FFFFTT fnn "$bw" 0 0 1 0 1 2 1
ctl locs_adapt   s.csv locs.txt la.csv    4 "2,3,0" FFFFTT vnn "$nn" 0 0 1 0 1 2 1
ctl desc_fixed   s.csv ""       df.txt    0 "2,3,0" FFFTTT f   "$bw" 0 1 1 0 0 1 1
ctl desc_adapt   g.csv ""       da.txt    0 "2,3,0" FFFTTT v   "$nn" 0 1 1 0 0 1 1
ctl desc_locs    s.csv locs.txt dl.txt    0 "2,3,0" FFFTTT f   "$bw" 0 1 1 0 0 1 1
ctl syn_poisson  p.csv ""       po.csv    4 "2,3,7" FFFFTTF faa 0     1 0 1 0 1 4 1
ctl poisson_ad   p.csv ""       pa.csv    4 "2,3,7" FFFFTTF vcs -50   1 0 1 0 1 4 1
ctl syn_logistic l.csv ""       lg.csv    4 "2,3,0" FFFFTT vaa 0     1 0 1 0 1 3 1

# The Monte Carlo test costs 99 sets of fits: a smaller data set.
ctl mc           m.csv ""       ""        4 "2,3,0" FFFFTT fnn 2.5   0 0 0 1 0 2 1
ctl mc_thin      m.csv ""       ""        4 "2,3,0" FFFFTT vnn 40    0 0 0 -1 0 2 1
