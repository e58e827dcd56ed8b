#!/usr/bin/env bash
# Draws the three images of the folder differences report with ImageMagick
# (apt-get install imagemagick). The images are committed: the build only
# copies them, so this runs only when a picture changes.
#
# Each is drawn large and scaled down, which gives smooth edges at the small
# sizes the page shows them at.
set -euo pipefail
cd "$(dirname "$0")"
convert=/usr/bin/convert
jpeg=(-filter Lanczos -quality 95 -sampling-factor 1x1 -strip)
args=()

# scaled VALUE: VALUE * scale / 100
scale=100
sc() { echo $(($1 * scale / 100)); }

# A manila folder: the back with its tab, then the front. X Y W H (top left, size).
folder() {
    local x=$1 y=$2 w=$3 h=$4
    local tabw=$((w * 2 / 5)) tabh=$((h / 7)) r=$((h / 14)) line=$((h / 45 > 1 ? h / 45 : 1))
    args+=(-stroke '#a87a22' -strokewidth "$line" -fill '#e3ae45'
        -draw "roundrectangle $x,$y $((x + tabw)),$((y + 2 * tabh)) $r,$r"
        -draw "roundrectangle $x,$((y + tabh)) $((x + w)),$((y + h)) $r,$r"
        -fill '#f6cf6e' -draw "roundrectangle $x,$((y + 2 * tabh)) $((x + w)),$((y + h)) $r,$r"
        -stroke none)
}

# A woolly sheep facing right: grey rim, white fleece, dark face, ears and legs. X Y centre.
sheep() {
    local x=$1 y=$2 legs="" rim="" wool="" p dx dy r cx cy
    for dx in -40 -16 18 40; do
        legs+="roundrectangle $((x + $(sc $dx) - $(sc 6))),$((y + $(sc 30))) "
        legs+="$((x + $(sc $dx) + $(sc 6))),$((y + $(sc 78))) 4,4 "
    done
    for p in "-52 4 34" "-26 -22 34" "8 -28 34" "42 -14 32" "50 18 30" "18 30 32" "-18 30 32" "-50 28 26"; do
        read -r dx dy r <<<"$p"
        cx=$((x + $(sc $dx))) cy=$((y + $(sc $dy)))
        rim+="circle $cx,$cy $((cx + $(sc $((r + 5))))),$cy "
        wool+="circle $cx,$cy $((cx + $(sc $r))),$cy "
    done
    local hx=$((x + $(sc 82))) hy=$((y - $(sc 4)))
    args+=(-fill '#3b3b3b' -draw "$legs" -fill '#9a9a9a' -draw "$rim" -fill white -draw "$wool"
        -fill '#3b3b3b'
        -draw "ellipse $((hx - $(sc 22))),$((hy - $(sc 20))) $(sc 14),$(sc 7) 0,360"
        -draw "ellipse $((hx + $(sc 20))),$((hy - $(sc 22))) $(sc 14),$(sc 7) 0,360"
        -draw "ellipse $hx,$hy $(sc 24),$(sc 30) 0,360"
        -fill white -draw "circle $((hx + $(sc 8))),$((hy - $(sc 6))) $((hx + $(sc 14))),$((hy - $(sc 6)))"
        -fill '#111111' -draw "circle $((hx + $(sc 9))),$((hy - $(sc 6))) $((hx + $(sc 12))),$((hy - $(sc 6)))")
}

# Header: two folders, the Source and its clone, with two identical sheep in front.
args=()
folder 16 40 250 190
folder 190 96 246 190
sheep 132 300
sheep 316 318
$convert -size 452x408 xc:white "${args[@]}" -resize 113x102 "${jpeg[@]}" rpt_folders_sheep.jpg

# The two entry icons are drawn pixel by pixel: at 10x12 and 16x16 a scaled
# drawing turns to mush.
xpm() { # NAME COLOURS... -- ROWS...
    local name=$1 rows=() colours=() w h
    shift
    while [[ $1 != -- ]]; do colours+=("$1"); shift; done
    shift
    rows=("$@")
    w=${#rows[0]} h=${#rows[@]}
    printf '/* XPM */\nstatic char *%s[] = {\n"%d %d %d 1",\n' "$name" "$w" "$h" "${#colours[@]}"
    printf '"%s",\n' "${colours[@]}"
    printf '"%s",\n' "${rows[@]}"
    printf '};\n'
}

# A file: a white page with a folded corner and three lines of text.
xpm file '. c #FFFFFF' 'G c #6B7A8F' 'W c #FFFFFF' 'L c #D9E1EC' 'B c #8EA3BF' -- \
    'GGGGGGG...' \
    'GWWWWWLG..' \
    'GWWWWWLLG.' \
    'GWWWWWGGGG' \
    'GWWWWWWWWG' \
    'GWBBBBBBWG' \
    'GWWWWWWWWG' \
    'GWBBBBBBWG' \
    'GWWWWWWWWG' \
    'GWBBBBWWWG' \
    'GWWWWWWWWG' \
    'GGGGGGGGGG' | $convert xpm:- "${jpeg[@]}" rpt_file.jpg

# A folder: the tab and back, the lighter front.
xpm folder '. c #FFFFFF' 'O c #A87A22' 'T c #E3AE45' 'F c #F6CF6E' 'H c #FADD8E' -- \
    '................' \
    '................' \
    '.OOOOOO.........' \
    'OTTTTTTO........' \
    'OTTTTTTTOOOOOOO.' \
    'OTTTTTTTTTTTTTTO' \
    'OOOOOOOOOOOOOOOO' \
    'OHHHHHHHHHHHHHHO' \
    'OFFFFFFFFFFFFFFO' \
    'OFFFFFFFFFFFFFFO' \
    'OFFFFFFFFFFFFFFO' \
    'OFFFFFFFFFFFFFFO' \
    'OFFFFFFFFFFFFFFO' \
    'OFFFFFFFFFFFFFFO' \
    '.OOOOOOOOOOOOOO.' \
    '................' | $convert xpm:- "${jpeg[@]}" rpt_folder.jpg
