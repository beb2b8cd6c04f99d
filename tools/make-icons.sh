#!/usr/bin/env bash
# Rebuilds every picture in resources/ from the Tango icon theme
# (Debian package tango-icon-theme) and the small SVG drawings below.
# Needs: ImageMagick (convert) and rsvg-convert (librsvg2-bin).
set -euo pipefail

OUT="$(cd "$(dirname "$0")/.." && pwd)/resources"
TANGO=/usr/share/icons/Tango
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
mkdir -p "$OUT"

# svg NAME SIZE  -- render the SVG read from stdin to $OUT/NAME.png (SIZE x SIZE)
svg() { cat >"$TMP/$1.svg"; rsvg-convert -w "$2" -h "$2" "$TMP/$1.svg" -o "$OUT/$1.png"; }
# tango SIZE/CONTEXT/NAME TARGET  -- copy one Tango icon
tango() { convert "$TANGO/$1.png" -strip "PNG32:$OUT/$2"; }
# sine X0 X1 YMID AMP PERIOD PHASE(deg)  -- SVG polyline points of a sine wave
sine() {
  awk -v a="$1" -v b="$2" -v y="$3" -v amp="$4" -v p="$5" -v ph="$6" 'BEGIN {
    for (x = a; x <= b + 1e-9; x += (b - a) / 48)
      printf "%.2f,%.2f ", x, y - amp * sin(6.2831853 * (x - a) / p + ph * 3.14159265 / 180) }'
}

# Shared SVG pieces (Tango palette)
DEFS='<linearGradient id="paper" x1="0" y1="0" x2="0" y2="1">
  <stop offset="0" stop-color="#ffffff"/><stop offset="1" stop-color="#e4e6e1"/></linearGradient>
<linearGradient id="title" x1="0" y1="0" x2="0" y2="1">
  <stop offset="0" stop-color="#729fcf"/><stop offset="1" stop-color="#3465a4"/></linearGradient>'
HEAD='<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32">'
# win X Y W H  -- a small window with a blue title bar
win() {
  echo "<rect x=\"$1.5\" y=\"$2.5\" width=\"$3\" height=\"$4\" rx=\"1\" fill=\"url(#paper)\" stroke=\"#555753\"/>
<rect x=\"$(($1 + 1))\" y=\"$(($2 + 1))\" width=\"$(($3 - 1))\" height=\"4\" fill=\"url(#title)\"/>
<rect x=\"$(($1 + 2))\" y=\"$(($2 + 7))\" width=\"$(($3 - 3))\" height=\"$(($4 - 8))\" fill=\"#ffffff\"/>"
}

# ---------------------------------------------------------------- Tango icons
tango 32x32/devices/video-display           monitor.png
tango 32x32/actions/document-print-preview  preview.png
tango 32x32/actions/document-print          printer.png
tango 32x32/actions/edit-copy               copy12.png
tango 32x32/actions/document-open           open.png
tango 32x32/actions/document-save           save.png
tango 32x32/categories/preferences-system   configure.png
tango 32x32/actions/system-search           find.png
# Magnifier with a small green arrow: down = next match, up = previous match
for d in next:down previous:up; do
  convert -size 32x32 xc:none \( "$TANGO/32x32/actions/system-search.png" -resize 27x27 \) \
    -geometry +0+5 -composite "$TANGO/16x16/actions/go-${d#*:}.png" -geometry +16+0 -composite \
    -strip "PNG32:$OUT/find_${d%%:*}.png"
done

# ------------------------------------------------------------- drawn icons
svg arrow_right-red 32 <<EOF
$HEAD<defs><linearGradient id="r" x1="0" y1="0" x2="0" y2="1">
<stop offset="0" stop-color="#ef2929"/><stop offset="1" stop-color="#a40000"/></linearGradient></defs>
<path d="M7.5,4.5 L27.5,16 L7.5,27.5 Z" fill="url(#r)" stroke="#820000" stroke-width="1.4" stroke-linejoin="round"/>
<path d="M9.5,8 L22,15.2 L9.5,15.2 Z" fill="#ffffff" opacity="0.35"/></svg>
EOF

svg stop 32 <<EOF
$HEAD<defs><linearGradient id="r" x1="0" y1="0" x2="0" y2="1">
<stop offset="0" stop-color="#ef2929"/><stop offset="1" stop-color="#a40000"/></linearGradient></defs>
<polygon points="10.64,2.57 21.36,2.57 29.43,10.64 29.43,21.36 21.36,29.43 10.64,29.43 2.57,21.36 2.57,10.64"
 fill="url(#r)" stroke="#820000" stroke-linejoin="round"/>
<polygon points="11.41,4.91 20.59,4.91 27.09,11.41 27.09,20.59 20.59,27.09 11.41,27.09 4.91,20.59 4.91,11.41"
 fill="none" stroke="#ffffff" stroke-opacity="0.6" stroke-width="1.2"/>
<rect x="10.5" y="10.5" width="11" height="11" rx="1.5" fill="#ffffff"/></svg>
EOF

svg trends 32 <<EOF
$HEAD<defs><clipPath id="c"><rect x="3" y="5" width="26" height="22"/></clipPath>
<radialGradient id="glow"><stop offset="0" stop-color="#fce94f"/><stop offset="1" stop-color="#fce94f" stop-opacity="0"/></radialGradient></defs>
<rect x="2.5" y="4.5" width="27" height="23" rx="2" fill="#1c2c3c" stroke="#2e3436"/>
<g stroke="#4a6a8a" stroke-width="0.6"><path d="M9.5,5V27M16.5,5V27M23.5,5V27M3,10.5H29M3,16H29M3,21.5H29"/></g>
<g clip-path="url(#c)" fill="none" stroke-linecap="round" stroke-linejoin="round">
<polyline points="$(sine 3 23 21 2.5 10 0)" stroke="#ef2929" stroke-width="1.2" opacity="0.8"/>
<polyline points="3,16 6,14 9,17 12,12 15,14 18,8 21,11 23,10" stroke="#8ae234" stroke-width="2"/></g>
<circle cx="23" cy="10" r="5" fill="url(#glow)"/><circle cx="23" cy="10" r="2" fill="#ffffff" stroke="#edd400" stroke-width="0.8"/></svg>
EOF

svg line_graph 32 <<EOF
$HEAD<defs>$DEFS</defs>
<rect x="2.5" y="3.5" width="27" height="25" rx="1.5" fill="url(#paper)" stroke="#888a85"/>
<path d="M5,9.5H28M5,15.5H28M5,21.5H28" stroke="#d3d7cf"/>
<path d="M5.5,5V26.5H28" fill="none" stroke="#555753" stroke-width="1.2"/>
<polyline points="7,21 12,15 17,18 22,9 27,12" fill="none" stroke="#3465a4" stroke-width="2" stroke-linejoin="round"/>
<polyline points="7,24 12,21 17,23 22,19 27,22" fill="none" stroke="#f57900" stroke-width="1.6" stroke-linejoin="round"/>
<g fill="#ffffff" stroke="#204a87"><circle cx="12" cy="15" r="1.7"/><circle cx="17" cy="18" r="1.7"/><circle cx="22" cy="9" r="1.7"/></g></svg>
EOF

svg pie-chart 32 <<EOF
$HEAD<defs><radialGradient id="hl" cx="0.35" cy="0.3" r="0.8">
<stop offset="0" stop-color="#ffffff" stop-opacity="0.45"/><stop offset="1" stop-color="#ffffff" stop-opacity="0"/></radialGradient></defs>
<g stroke-linejoin="round">
<path d="M16,17 L16,5 A12,12 0 1 1 11.9,28.28 Z" fill="#3465a4" stroke="#204a87"/>
<path d="M16,17 L11.9,28.28 A12,12 0 0 1 4.72,12.9 Z" fill="#edd400" stroke="#c4a000"/>
<path d="M14.2,14.4 L2.92,10.3 A12,12 0 0 1 14.2,2.4 Z" fill="#ef2929" stroke="#a40000"/></g>
<circle cx="16" cy="17" r="12" fill="url(#hl)"/></svg>
EOF

svg table 32 <<EOF
$HEAD<defs>$DEFS</defs>
<rect x="3.5" y="5.5" width="25" height="22" fill="#ffffff" stroke="#555753"/>
<rect x="4" y="6" width="24" height="5" fill="url(#title)"/>
<rect x="4" y="11" width="6" height="16" fill="#dbe6f3"/>
<path d="M4,11.5H28M4,16.5H28M4,21.5H28M10.5,6V27M19.5,6V27" stroke="#888a85"/>
<path d="M12,14H18M21,14H26M12,19H17M21,19H25M12,24H18M21,24H26" stroke="#555753" stroke-opacity="0.55"/></svg>
EOF

svg excel 32 <<EOF
$HEAD<defs>$DEFS<linearGradient id="g" x1="0" y1="0" x2="0" y2="1">
<stop offset="0" stop-color="#8ae234"/><stop offset="1" stop-color="#4e9a06"/></linearGradient></defs>
<path d="M5.5,2.5H21.5L27.5,8.5V29.5H5.5Z" fill="url(#paper)" stroke="#888a85"/>
<path d="M21.5,2.5V8.5H27.5" fill="#d3d7cf" stroke="#888a85" stroke-linejoin="round"/>
<rect x="8" y="7" width="12" height="3" fill="#73d216"/>
<path d="M8,10.5H25M8,14.5H25M8,18.5H25M8,22.5H25M12.5,7V26M18.5,7V26" stroke="#73d216" stroke-width="0.9"/>
<circle cx="11" cy="22" r="8" fill="url(#g)" stroke="#3d7a05"/>
<path d="M7.6,18.6L14.4,25.4M14.4,18.6L7.6,25.4" stroke="#ffffff" stroke-width="2.6" stroke-linecap="round"/></svg>
EOF

svg pdf 32 <<EOF
$HEAD<defs>$DEFS</defs>
<path d="M6.5,2.5H20.5L26.5,8.5V29.5H6.5Z" fill="url(#paper)" stroke="#888a85"/>
<path d="M20.5,2.5V8.5H26.5" fill="#d3d7cf" stroke="#888a85" stroke-linejoin="round"/>
<path d="M9,6.5H18M9,9.5H18M9,12.5H24M9,15.5H24" stroke="#babdb6"/>
<rect x="2.5" y="18.5" width="24" height="10" rx="1.5" fill="#cc0000" stroke="#a40000"/>
<text x="14.5" y="26.6" font-family="DejaVu Sans" font-weight="bold" font-size="8.6"
 text-anchor="middle" fill="#ffffff" letter-spacing="0.3">PDF</text></svg>
EOF

# report.png: a page with a bar chart and a green tick (the supply within its limits)
svg report 32 <<EOF
$HEAD<defs>$DEFS<linearGradient id="g" x1="0" y1="0" x2="0" y2="1">
<stop offset="0" stop-color="#8ae234"/><stop offset="1" stop-color="#4e9a06"/></linearGradient></defs>
<path d="M4.5,2.5H18.5L24.5,8.5V29.5H4.5Z" fill="url(#paper)" stroke="#888a85"/>
<path d="M18.5,2.5V8.5H24.5" fill="#d3d7cf" stroke="#888a85" stroke-linejoin="round"/>
<path d="M7,6.5H15M7,9.5H15M7,12.5H21" stroke="#babdb6"/>
<path d="M7,15.5H21" stroke="#ef2929" stroke-dasharray="2,1"/>
<path d="M8.5,27V19M12,27V17M15.5,27V21" stroke="#3465a4" stroke-width="2.4"/>
<circle cx="23" cy="23" r="7.5" fill="url(#g)" stroke="#3d7a05"/>
<path d="M19.3,23.2L22,25.9L26.7,20.3" fill="none" stroke="#ffffff" stroke-width="2.4" stroke-linecap="round" stroke-linejoin="round"/></svg>
EOF

svg cascade 32 <<EOF
$HEAD<defs>$DEFS</defs>$(win 2 2 17 14)$(win 7 8 17 14)$(win 12 14 17 14)</svg>
EOF
svg tile_horizontal 32 <<EOF
$HEAD<defs>$DEFS</defs>$(win 3 3 25 12)$(win 3 17 25 12)</svg>
EOF
svg tile_vertical 32 <<EOF
$HEAD<defs>$DEFS</defs>$(win 3 3 12 26)$(win 17 3 12 26)</svg>
EOF

# config.png: a gear with a serial (D-sub) connector in front
gear=$(awk 'BEGIN { n = 8; for (i = 0; i < 4 * n; i++) {       # 8 teeth, radii 23 / 17.5
  a = (i - 0.5) * 3.14159265 / (2 * n); r = (int((i + 1) / 2) % 2) ? 23 : 17.5
  printf "%.2f,%.2f ", 26 + r * cos(a), 26 + r * sin(a) } }')
cat >"$TMP/config.svg" <<EOF
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 64 64"><defs>
<linearGradient id="m" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#eeeeec"/><stop offset="1" stop-color="#888a85"/></linearGradient>
<linearGradient id="f" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#729fcf"/><stop offset="1" stop-color="#204a87"/></linearGradient></defs>
<polygon points="$gear" fill="url(#m)" stroke="#555753" stroke-width="1.5" stroke-linejoin="round"/>
<circle cx="26" cy="26" r="12" fill="none" stroke="#ffffff" stroke-opacity="0.6" stroke-width="2"/>
<circle cx="26" cy="26" r="7" fill="#ffffff" stroke="#555753" stroke-width="1.5"/>
<rect x="24.5" y="36.5" width="38" height="24" rx="4" fill="url(#m)" stroke="#555753"/>
<circle cx="28.5" cy="48.5" r="2" fill="#555753"/><circle cx="58.5" cy="48.5" r="2" fill="#555753"/>
<path d="M32.5,41.5H54.5L52,55.5H35Z" fill="url(#f)" stroke="#2e3436" stroke-linejoin="round"/>
<g fill="#fce94f" stroke="#8f5902" stroke-width="0.6">
$(for x in 35.5 39.5 43.5 47.5 51.5; do echo "<circle cx=\"$x\" cy=\"45.5\" r=\"1.2\"/>"; done)
$(for x in 37.5 41.5 45.5 49.5; do echo "<circle cx=\"$x\" cy=\"50.5\" r=\"1.2\"/>"; done)</g></svg>
EOF
rsvg-convert -w 64 -h 64 "$TMP/config.svg" -o "$OUT/config.png"

# ------------------------------------------------------- application icon
cat >"$TMP/zep.svg" <<EOF
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 256 256"><defs>
<linearGradient id="bg" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#3b7bc8"/><stop offset="1" stop-color="#12305e"/></linearGradient>
<linearGradient id="bolt" x1="0" y1="0" x2="0" y2="1"><stop offset="0" stop-color="#fff7a0"/><stop offset="1" stop-color="#f5b800"/></linearGradient></defs>
<rect x="8" y="8" width="240" height="240" rx="48" fill="url(#bg)" stroke="#0b1f3f" stroke-width="8"/>
<path d="M24,72H232M24,128H232M24,184H232M72,24V232M128,24V232M184,24V232" stroke="#ffffff" stroke-opacity="0.12" stroke-width="4"/>
<polyline points="$(sine 20 236 128 62 216 0)" fill="none" stroke="#8ae234" stroke-width="18" stroke-linecap="round"/>
<path d="M150,22 L64,146 H120 L96,236 L196,102 H138 L176,22 Z" fill="url(#bolt)" stroke="#8f3f00" stroke-width="10" stroke-linejoin="round"/></svg>
EOF
for s in 16 24 32 48 64 128; do rsvg-convert -w $s -h $s "$TMP/zep.svg" -o "$TMP/zep-$s.png"; done
convert "$TMP"/zep-{16,24,32,48,64,128}.png "$OUT/ZEPIcon.ico"
# The same picture for the desktop's menu entry (cmake --install).
cp "$TMP/zep-128.png" "$OUT/zep.png"

# ------------------------------------------------ side picture for dialogs
cat >"$TMP/side.svg" <<EOF
<svg xmlns="http://www.w3.org/2000/svg" width="131" height="430" viewBox="0 0 131 430"><defs>
<linearGradient id="bg" x1="0" y1="0" x2="0.3" y2="1"><stop offset="0" stop-color="#0a1f4d"/>
<stop offset="0.55" stop-color="#0f4c7a"/><stop offset="1" stop-color="#0e8a8a"/></linearGradient>
<radialGradient id="glow" cx="0.5" cy="0.18" r="0.5"><stop offset="0" stop-color="#9cd3ff" stop-opacity="0.35"/>
<stop offset="1" stop-color="#9cd3ff" stop-opacity="0"/></radialGradient>
<pattern id="grid" width="16" height="16" patternUnits="userSpaceOnUse">
<path d="M16,0V16H0" fill="none" stroke="#ffffff" stroke-opacity="0.07"/></pattern></defs>
<rect width="131" height="430" fill="url(#bg)"/><rect width="131" height="430" fill="url(#grid)"/>
<ellipse cx="65" cy="80" rx="120" ry="140" fill="url(#glow)"/>
<g fill="none" stroke-width="2" stroke-linecap="round" opacity="0.7">
<polyline points="$(sine -5 136 250 26 120 0)" stroke="#fce94f"/>
<polyline points="$(sine -5 136 250 26 120 120)" stroke="#8ae234"/>
<polyline points="$(sine -5 136 250 26 120 240)" stroke="#ef6b6b"/></g>
<g fill="none" stroke="#ffffff" stroke-opacity="0.18" stroke-width="1.2">
<polyline points="$(sine -5 136 330 14 60 90)"/><polyline points="$(sine -5 136 170 10 90 30)"/></g>
<path d="M74,44 L46,88 H64 L56,122 L90,74 H70 L84,44 Z" fill="#fce94f" fill-opacity="0.85" stroke="#ffffff" stroke-opacity="0.5" stroke-width="2" stroke-linejoin="round"/>
<rect x="0" y="0" width="3" height="430" fill="#ffffff" fill-opacity="0.15"/></svg>
EOF
rsvg-convert "$TMP/side.svg" -o "$TMP/side.png"
convert "$TMP/side.png" -background '#0a1f4d' -alpha remove -strip -quality 92 "$OUT/sidepanel.jpg"

# Drop text chunks so rebuilding gives byte-identical files
for f in "$OUT"/*.png; do convert "$f" -strip -define png:exclude-chunks=date,time "PNG32:$f"; done
echo "Images written to $OUT"
