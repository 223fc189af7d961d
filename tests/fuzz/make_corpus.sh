#!/usr/bin/env bash
# Regenerates the seed corpora of the fuzz targets (tests/fuzz/corpus/<target>/):
# a handful of small files each, valid and damaged, from the fixture generators
# (tests/fixtures), the bundled example and the program's own writers
# (fuzz_make_seeds). Inputs that fuzzing found are added by hand as
# corpus/<target>/finding-<what>. Usage: tests/fuzz/make_corpus.sh [BUILD_DIR] (default build/test).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/test}
corpus=tests/fuzz/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

generate() {  # generator name -> $work/<generator>
  mkdir -p "$work/$1"
  /usr/bin/python3 "tests/fixtures/$1.py" "$work/$1" >/dev/null
}
take() {  # target generator file...
  local target=$1 from=$2
  shift 2
  mkdir -p "$corpus/$target"
  for file in "$@"; do cp "$work/$from/$file" "$corpus/$target/$file"; done
}

# Inputs fuzzing found (finding-*) stay: the replay keeps them mended.
mkdir -p "$corpus"
find "$corpus" -type f ! -name 'finding-*' -delete
for g in make_projects make_sections make_geology make_boreholes make_model_files make_png make_gif make_bmp make_jpegs \
  make_chart_properties make_series_data; do
  generate "$g"
done
take project make_projects current.q3d rich_tree.q3d legacy_v3.q3d legacy_v4.q3d object_newer.q3d \
  direction_infinite.q3d tree_count_huge.q3d
cp examples/Example.q3d "$corpus/project/example.q3d"
take section make_sections valid_v1.sec v0_positive_range.sec accented.sec huge_product.sec missing_last_value.sec
cp examples/BH1_BH2_12.5kHz.sec "$corpus/section/example.sec"
take inclination make_geology crlf.ink cr.ink blank_lines.ink first_not_zero.ink huge_n.ink nan_station.ink
take inclination make_boreholes tilted.ink
take geology make_geology valid.bgd styles.bgd newer_style.bgd huge_count.bgd nan_depth.bgd
take geology make_boreholes rocks.bgd
take model make_model_files full_crlf.mdl full_cr.mdl sphere_sections.mdl bad_float.mdl not_finite.mdl too_deep.mdl
take png make_png rgb8.png rgba8.png grey2_adam7.png pal2.png rgb16.png ztxt.png huge_storage.png bad_filter.png
take gif make_gif transparent.gif interlaced_rows.gif local_table.gif loop_0.gif comment.gif huge_frame.gif \
  code_beyond_table.gif damaged_bad_code.gif damaged_cut_short.gif frame_beyond_screen.gif frame_within_screen.gif
take jpeg make_jpegs baseline.jpg progressive.jpg grey.jpg cmyk_app14.jpg truncated.jpg no_end.jpg bad_marker.jpg vast.jpg
take chart_properties make_chart_properties chart.bin empty.bin long_string.bin unknown_type.bin deep_nesting.bin \
  wrong_type.bin negative_increment.bin
take series_data make_series_data full.bin y_only.bin huge_count.bin negative_count.bin long_label.bin truncated.bin
take bmp make_bmp pal1.bmp pal4.bmp pal8.bmp rgb565.bmp rgba32.bmp v5_argb32.bmp core8.bmp two_in_a_row.bin \
  huge_dimensions.bmp width_overflow.bmp large_dimensions_no_pixels.bmp

# What only the program's writers make, plus hand-written texts the writers never produce.
cmake --build "$build" --target fuzz_make_seeds >/dev/null
QT_QPA_PLATFORM=offscreen "$build/tests/fuzz/fuzz_make_seeds" "$corpus" "$work/make_sections/valid_v1.sec"
printf '; by hand\r\n[Options]\r\nMetric=1\r\nExportPath=/tmp\r\n[Options]\r\nbroken line\r\n[Empty]\r\n' \
  >"$corpus/settings/by_hand.ini"
printf 'ColorMap 3 1\n  -5.5 0 0 255\n  0,25 0 255 0\n 12.25 255 0 0\n' >"$corpus/palette/three_stops.clr"
printf '0\nSECTION\n2\nENTITIES\n0\nPOINT\n8\nA\n10\n1,5\n0\nEOF\n' >"$corpus/dxf/comma_decimal.dxf"
