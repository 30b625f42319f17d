#!/usr/bin/env bash
# make demo: installs OrvexView into the private Wine prefix with its
# installer, puts a generated camera card in drive E: (a removable drive),
# starts the camera simulator on COM1, prints the card through camwalk and
# opens Wine's explorer on the extension. With a DISPLAY the window stays
# open; without one it runs a scripted tour under Xvfb, saves
# build/demo/*.png and a contact sheet as build/demo/contact-sheet.pdf, and exits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
export BUILD_DIR=$build ROOT=$root
mkdir -p "$build/demo"

prepare='
    set -e
    bin=$BUILD_DIR/bin
    WINEDEBUG=-all wine "$BUILD_DIR/OrvexView-Setup.exe" /S
    card="$WINEPREFIX/drive_c/OrvexCard"
    # The tour pastes into an empty C:\Pasted.
    rm -rf "$WINEPREFIX/drive_c/Pasted"
    [ -e "$card/DCIM/101ORVEX/IMG_0100.CR2" ] || { rm -rf "$card"; wine "$bin/make-card.exe" "C:\\OrvexCard" 12 1600 pair >/dev/null; }
    # The Wi-Fi camera'"'"'s card: four pictures; the simulator adds its new shots to it.
    wifi="$WINEPREFIX/drive_c/WifiCard/DCIM/100ORVEX"
    rm -rf "$WINEPREFIX/drive_c/WifiCard" && mkdir -p "$wifi"
    cp "$card"/DCIM/100ORVEX/IMG_000[1-4].JPG "$wifi/"
    # A video beside the RAW+JPEG pair: a real camera'"'"'s clip from the test files.
    cp "$ROOT/tests/data/camera-files/QuickTime.mov" "$card/DCIM/101ORVEX/MVI_0101.MOV"
    # Drive E: is the card, as Wine shows a removable drive.
    ln -sfn "$card" "$WINEPREFIX/dosdevices/e:"
    wine reg add "HKLM\\Software\\Wine\\Drives" /v "e:" /d floppy /f /reg:64 >/dev/null 2>&1
    # "Hard Disk" shows a folder of the names people give, in scripts the ANSI code page lacks.
    names="$WINEPREFIX/drive_c/Fotos Ärger 写真"
    mkdir -p "$names"
    pictures=("$card"/DCIM/100ORVEX/*.JPG)
    i=0
    for name in "Ärger am Strand" "Фото с моря" "Ωραία μέρα" "花見 2026" "😀 Geburtstag" "Crème brûlée"; do
        cp "${pictures[$i]}" "$names/$name.JPG"
        i=$((i + 1))
    done
    # A folder of 10,000 pictures (links to one), for "Hard Disk" in the big-folder tour.
    big="$WINEPREFIX/drive_c/Big Folder"
    if [ ! -e "$big/IMG_10000.JPG" ]; then
        mkdir -p "$big"
        for i in $(seq 1 10000); do ln -f "${pictures[0]}" "$big/IMG_$i.JPG"; done
    fi
    # The camera model whose card is drive E: and whose camera is on COM1.
    wine reg add "HKLM\\Software\\Pictavia\\OrvexView\\Settings" /v Camera /d "Serial Camera" /f /reg:64 >/dev/null 2>&1'
# HKLM is written in the 64-bit view (where the module reads it): with Wine's 32-bit loader
# installed, a plain "wine reg" is a 32-bit program writing the 32-bit view.
# Wine learns a drive's type when it starts: the card is seen from the next session on.
"$root/tools/wine-session.sh" bash -c "$prepare"
walk='bin=$BUILD_DIR/bin; wine "$bin/camwalk.exe" | tr -d "\r" | tee "$BUILD_DIR/demo/camwalk.txt"'
# The camera simulator serves the same card on COM1 (and LPT1, for the
# "Parallel" connection type), pacing 115200 bps.
camera='python3 "$ROOT/tools/serial-camera-sim.py" --card "$WINEPREFIX/drive_c/OrvexCard" \
    --link "$BUILD_DIR/demo/com1" --log "$BUILD_DIR/demo/camera.log" > "$BUILD_DIR/demo/camera.pty" &
    trap "kill $! 2>/dev/null" EXIT
    for _ in $(seq 100); do [ -s "$BUILD_DIR/demo/camera.pty" ] && break; sleep 0.1; done
    ln -sfn "$(readlink -f "$BUILD_DIR/demo/com1")" "$WINEPREFIX/dosdevices/com1"
    ln -sfn "$(readlink -f "$BUILD_DIR/demo/com1")" "$WINEPREFIX/dosdevices/lpt1"'

if [ -n "${DISPLAY:-}" ]; then
    echo "In Wine's explorer, open OrvexView under My Computer (tree pane or double click)."
    exec "$root/tools/wine-session.sh" bash -c "$camera; $walk"'
        wine explorer "C:\\"'
fi

# The tour prints to the PostScript printer on FILE:, which Wine writes to a
# file of that name in explorer's current folder.
rm -f "$build/demo/FILE:"
# First the way to the camera view at 192 DPI (Wine gives a program the DPI set when it starts), then the tour.
dpi='HKCU\Control Panel\Desktop'
(cd "$build/demo" && "$root/tools/wine-session.sh" bash -c "$camera; $walk"'
    wine reg add "'"$dpi"'" /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
    wine "$bin/explorer_tour.exe" "$(winepath -w "$BUILD_DIR/demo")" hidpi | tr -d "\r"
    wine reg delete "'"$dpi"'" /v LogPixels /f >/dev/null 2>&1
    folder="HKLM\\Software\\Pictavia\\Orvex Cameras\\ImageViewer"
    wine "$bin/explorer_tour.exe" "$(winepath -w "$BUILD_DIR/demo")" kinds | tr -d "\r"
    # "Digital Camera" as a Wi-Fi camera: the PTP/IP simulator, taking a new shot every 8 seconds.
    python3 "$ROOT/tools/ptpip-camera-sim.py" --card "$WINEPREFIX/drive_c/WifiCard" --port 0 --new-every 8 \
        --log "$BUILD_DIR/demo/wifi-camera.log" > "$BUILD_DIR/demo/wifi.address" &
    wifi=$!
    for _ in $(seq 100); do [ -s "$BUILD_DIR/demo/wifi.address" ] && break; sleep 0.1; done
    settings="HKLM\\Software\\Pictavia\\OrvexView\\Settings"
    network="HKLM\\Software\\Pictavia\\Orvex Cameras\\Wi-Fi Camera\\Remote\\Network"
    wine reg add "$network" /v Address /d "$(head -n1 "$BUILD_DIR/demo/wifi.address")" /f /reg:64 >/dev/null 2>&1
    wine reg add "$settings" /v Camera /d "Wi-Fi Camera" /f /reg:64 >/dev/null 2>&1
    wine "$bin/explorer_tour.exe" "$(winepath -w "$BUILD_DIR/demo")" wifi | tr -d "\r"
    kill $wifi 2>/dev/null || true
    wine reg add "$settings" /v Camera /d "Serial Camera" /f /reg:64 >/dev/null 2>&1
    [ -s FILE: ] && mv FILE: raw-print.ps
    wine reg add "$folder" /v CurrentFolder /d "C:\\Big Folder" /f /reg:64 >/dev/null 2>&1
    wine "$bin/explorer_tour.exe" "$(winepath -w "$BUILD_DIR/demo")" big | tr -d "\r"
    wine reg add "$folder" /v CurrentFolder /d "C:\\Fotos Ärger 写真" /f /reg:64 >/dev/null 2>&1
    wine "$bin/explorer_tour.exe" "$(winepath -w "$BUILD_DIR/demo")" | tr -d "\r"')
# The tests share this prefix: the tour's installation, card drive and serial camera model go again.
"$root/tools/wine-session.sh" bash -c '
    wine "C:\\Program Files\\Pictavia\\OrvexView\\Uninstall.exe" /S >/dev/null 2>&1
    dir="$WINEPREFIX/drive_c/Program Files/Pictavia/OrvexView"
    for _ in $(seq 300); do [ -e "$dir" ] || break; sleep 0.1; done
    wine reg delete "HKLM\\Software\\Wine\\Drives" /v "e:" /f /reg:64 >/dev/null 2>&1
    rm -f "$WINEPREFIX/dosdevices/e:"'
if [ -s "$build/demo/raw-print.ps" ]; then
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r60 -dFirstPage=1 -dLastPage=1 \
        -sOutputFile="$build/demo/raw-print.png" "$build/demo/raw-print.ps"
    rm -f "$build/demo/raw-print.ps"
fi
if [ -s "$build/demo/FILE:" ]; then
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile="$build/demo/contact-sheet.pdf" "$build/demo/FILE:"
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r60 -dFirstPage=1 -dLastPage=1 \
        -sOutputFile="$build/demo/contact-sheet.png" "$build/demo/FILE:"
    rm -f "$build/demo/FILE:"
fi
echo "screenshots: $build/demo/{mycomputer,root,removable,camera,camera-hidpi,select,pasted,list,viewer,print,contact-sheet,open-dialog,serial,progress,back-during-transfer,any-name,big-folder,big-folder-end,card-kinds,card-kinds-list,raw-viewer,raw-print,video-open,wifi-camera,wifi-new-shot}.png"
echo "contact sheet: $build/demo/contact-sheet.pdf"
