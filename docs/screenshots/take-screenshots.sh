#!/bin/bash
# Takes the README screenshots of the desktop program under Xvfb with fluxbox (a
# window manager with a system tray) and xdotool:
#   xvfb-run -a -s "-screen 0 1280x800x24" docs/screenshots/take-screenshots.sh BUILD_DIR
# Everything the program writes goes to a demo folder under /tmp; the real home is
# never touched. The screen coordinates fit the demo's window size and fonts.
set -e
BUILD=${1:?build folder}
HERE=$(cd "$(dirname "$0")" && pwd)
R=$(mktemp -d /tmp/kestrow-shots-XXXXXX)
T=$R/trees
mkdir -p $R/home/.config $R/home/.local/share $R/home/.fluxbox $R/data $R/etc/xdg $R/run $R/shots
chmod 700 $R/run
export HOME=$R/home KESTROW_HOME=$R/data XDG_CONFIG_HOME=$R/home/.config XDG_DATA_HOME=$R/home/.local/share \
       XDG_CONFIG_DIRS=$R/etc/xdg XDG_RUNTIME_DIR=$R/run

mkdir -p $T/Documents/letters $T/Documents/reports $T/Photos/2025 $T/Photos/2026 $T/Backup/Documents \
         $T/Backup/Photos $T/Music
for i in $(seq 1 40); do echo "letter $i" > $T/Documents/letters/letter$i.txt; done
for i in $(seq 1 25); do head -c 20000 /dev/urandom > $T/Documents/reports/report$i.pdf; done
# Enough photo data for a run that lasts a few seconds.
for y in 2025 2026; do for i in $(seq 1 300); do head -c 4000000 /dev/urandom > $T/Photos/$y/IMG_$i.jpg; done; done
for i in $(seq 1 10); do echo "song $i" > $T/Music/track$i.mp3; done
cat > $R/data/kestrow.ini <<INI
[Reminders]
SysTray=False
ScheduledSyncsMsg=False
[Form Dimensions]
Height=0000008000
Width=0000013500
[ColumnWidths]
ColumnOne=0000000150
ColumnTwo=0000000230
ColumnThree=0000000230
ColumnFour=0000000160
ColumnFive=0000000160
[Miscellaneous]
RunOnWindowsStartup=False
INI
cat > "$R/data/Default Task List.kwt" <<KWT
[Documents]
SourceFolderSpec=$T/Documents/
TargetFolderSpec=$T/Backup/Documents/
IntervalType=3
IntervalIncrement=1
StartTime=0.75
NextCloneDateTime=46100.75
LastCloneDateTime=46099.7501157407
Category=Documents
[Photos]
SourceFolderSpec=$T/Photos/
TargetFolderSpec=$T/Backup/Photos/
IntervalType=0
Category=Pictures
[Music to USB stick]
SourceFolderSpec=$T/Music/
TargetFolderSpec=/media/demo/USBSTICK/Music/
IntervalType=4
DaysOfWeek=65
StartTime=0.5
NextCloneDateTime=46103.5
LastCloneDateTime=46096.5
ErrorOnLastClone=True
Category=Personal
[Settings]
SourceFolderSpec=$R/home/.config/
TargetFolderSpec=$T/USB-Backup/config/<:>$T/Backup/config/
IntervalType=2
IntervalIncrement=6
NextCloneDateTime=46100.375
Category=Settings
KWT

printf 'background: none\n' > $HOME/.fluxbox/overlay
printf 'session.screen0.rootCommand:\nsession.styleOverlay: %s/.fluxbox/overlay\n' "$HOME" > $HOME/.fluxbox/init
fluxbox > $R/fluxbox.log 2>&1 &
FB=$!
sleep 6 # the tray must exist before the program starts
"$BUILD/bin/kestrow" > $R/kestrow.log 2>&1 &
K=$!
sleep 4
TRAY=""
for w in $(xdotool search --class kestrow); do
    [ "$(xdotool getwindowgeometry $w | awk '/Geometry/ {print $2}')" = "18x18" ] && TRAY=$w
done
shot() { import -window root $R/shots/$1.png; }

xdotool mousemove --window $TRAY 9 9 click 1      # activation shows the window
sleep 2
xdotool mousemove 150 149 click 1                 # select "Documents"
sleep 1; shot 01-main-window
xdotool mousemove --window $TRAY 9 9 click 3; sleep 2; shot 02-tray-menu
xdotool key Escape; sleep 1
xdotool mousemove 150 167 click 1                 # "Photos"
sleep 1
xdotool mousemove 190 90 click 1                  # Run Task
sleep 2; shot 03a-confirm-list                    # Confirm Synchronization Actions is on
xdotool key Return                                # Perform Actions, the default button
sleep 1.2; shot 03-run-in-progress
xdotool mousemove --window $TRAY 9 9 click 3; sleep 1; shot 04-tray-menu-during-run
xdotool key Escape
sleep 25; shot 05-after-run
xdotool mousemove --window $TRAY 9 9 click 3; sleep 1
xdotool mousemove 1140 698 click 1                # Pause Scheduler
sleep 1; shot 06-paused
xdotool mousemove 20 28 click 1; sleep 1; shot 07-file-menu
xdotool key Escape; sleep 1
xdotool mousemove 90 149 click --repeat 2 --delay 80 1
sleep 2; shot 08-task-properties
xdotool key Escape; sleep 1
kill $K; sleep 2; kill $FB

S=$R/shots
convert $S/01-main-window.png -crop 902x557+0+0 +repage $HERE/main-window.png
cp $S/02-tray-menu.png $HERE/tray-menu.png
convert $S/03a-confirm-list.png -crop 902x557+0+0 +repage $HERE/confirm-list.png
convert $S/03-run-in-progress.png -crop 902x557+0+0 +repage $HERE/run-in-progress.png
cp $S/04-tray-menu-during-run.png $HERE/tray-menu-during-run.png
convert $S/05-after-run.png -crop 902x557+0+0 +repage $HERE/after-run.png
convert $S/06-paused.png -crop 902x557+0+0 +repage $HERE/scheduler-paused.png
convert $S/07-file-menu.png -crop 902x557+0+0 +repage $HERE/file-menu.png
convert $S/08-task-properties.png -crop 902x557+0+0 +repage $HERE/task-properties.png
for f in 01-main-window 03-run-in-progress 06-paused; do
    convert $S/$f.png -crop 20x20+1214+780 +repage -filter point -resize 600% -bordercolor white -border 6 $S/tray-$f.png
done
convert $S/tray-01-main-window.png $S/tray-03-run-in-progress.png $S/tray-06-paused.png +append $HERE/tray-icons.png
rm -rf "$R"
