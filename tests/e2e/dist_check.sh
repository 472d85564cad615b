#!/usr/bin/env bash
# The release zip on its own: unpacked into a fresh folder outside the build tree and started in
# a Wine prefix of its own (made by scripts/wine-prefix.sh: Japanese locale, the 1280x800
# desktop, the fonts), on a folder of sample pictures: a JPEG, a PNG and a GIF (the last two
# through the plug-ins in the zip), and a JPEG inside a ZIP named by an .ArcLink file (read
# through the UNZIP32.DLL in the zip). Enter steps through them as real X input; after each step
# the wallpaper must have changed, and the desktop (screenshot) and the wallpaper file the
# program wrote must both show the colour of the expected picture. Every picture is shown once
# per round, Backspace goes back to the one before. Closing from the menu leaves Vesko2.ini
# beside the program. Then the installer beside the zip: installed with /S, installed again
# through its pages, uninstalled with /S (see the section below). Screenshots and Wine's output
# are kept in the output folder, and after a failure the prefix too.
#   dist_check.sh <zip | windows build folder> <output folder>
# Given a build folder, the zip is made from it first (scripts/dist.sh) into the output folder.
# Needs an X display: `make dist-check` and CTest run it under xvfb-run.
set -uo pipefail
given=$1
out=$(realpath -m "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$out" && mkdir -p "$out"

# shellcheck source=checks.sh
. "$root/tests/e2e/checks.sh"
if [ -z "${DISPLAY:-}" ]; then
  echo "FAIL: no X display (run under xvfb-run)"
  exit 1
fi

if [ -d "$given" ]; then
  if ! zipfile=$("$root/scripts/dist.sh" "$given" "$out/dist"); then
    echo "FAIL: scripts/dist.sh could not make the zip"
    exit 1
  fi
else
  zipfile=$(realpath "$given")
fi
echo "zip: $zipfile"

# A Wine prefix of our own: its wineserver is ours to stop. wine-env.sh puts HOME under
# VESKO_BUILD; WINEPREFIX is set here as the session may have exported the shared one.
export VESKO_BUILD=$out
export WINEPREFIX=$out/wine/prefix
unpacked=$(mktemp -d "${TMPDIR:-/tmp}/vesko2-dist.XXXXXX")
program=
# shellcheck disable=SC2317  # runs from the trap
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null
  timeout 60 wineserver -k 2>/dev/null
  timeout 60 wineserver -w 2>/dev/null
  rm -rf "$unpacked"
  # The prefix (600 MB) stays only to look into a failure.
  [ "$failures" -eq 0 ] && rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# ---- the archive's contents ------------------------------------------------------------------
unzip -q "$zipfile" -d "$unpacked" || fail "the zip does not unpack"
app=$unpacked/Vesko2
top=$(find "$unpacked" -mindepth 1 -maxdepth 1 -printf '%f ')
[ "$top" = "Vesko2 " ] || fail "the zip holds '$top', not the one folder Vesko2/"
files=$(find "$app" -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null | LC_ALL=C sort | tr '\n' ' ')
expected="LICENSE.txt THIRD-PARTY.txt UNZIP32.DLL Vesko2.exe Vesko2.txt ifheif.spi ifpng.spi ifwebp.spi ifwic.spi libde265.dll libheif.dll "
[ "$files" = "$expected" ] || fail "the folder holds '$files', expected '$expected'"
if [ ! -f "$app/Vesko2.exe" ]; then
  fail "no Vesko2.exe to start"
  exit "$failures"
fi
if command -v i686-w64-mingw32-objdump >/dev/null; then
  for binary in Vesko2.exe ifpng.spi ifwebp.spi ifwic.spi ifheif.spi libheif.dll libde265.dll UNZIP32.DLL; do
    i686-w64-mingw32-objdump -h "$app/$binary" | grep -q '\.debug_' && fail "$binary keeps debug information"
  done
fi
# The program runs its own plug-ins in its process only with the sums it was built with.
for plugin in ifpng.spi ifwebp.spi; do
  sum=$(sha256sum "$app/$plugin" | cut -d' ' -f1)
  grep -q -a "$sum" "$app/Vesko2.exe" || fail "$plugin is not the file Vesko2.exe was built with"
done
guide=$app/Vesko2.txt
iconv -f CP932 -t UTF-8 "$guide" >"$out/Vesko2.utf8.txt" 2>/dev/null || fail "Vesko2.txt is not Shift_JIS"
[ "$(grep -c $'\r$' "$guide")" = "$(wc -l <"$guide")" ] || fail "Vesko2.txt has lines without CRLF"
grep -q "はじめにお読みください" "$out/Vesko2.utf8.txt" || fail "Vesko2.txt does not read as the guide"
grep -q "MIT License" "$app/LICENSE.txt" || fail "LICENSE.txt is not the MIT licence"
for name in libjpeg-turbo zlib winpthreads "Independent JPEG Group" libheif libde265 dav1d \
  "GNU LESSER GENERAL PUBLIC LICENSE" "GNU GENERAL PUBLIC LICENSE"; do
  grep -q "$name" "$app/THIRD-PARTY.txt" || fail "THIRD-PARTY.txt does not mention $name"
done

# ---- the sample pictures -----------------------------------------------------------------------
# A Japanese folder name, as a user's would be. 320x200 each: the tiled desktop is one colour.
pics=$out/壁紙
mkdir -p "$pics" "$out/arc/photos"
convert -size 320x200 xc:'#ff0000' -quality 100 "$pics/red.jpg"
convert -size 320x200 xc:'#00ff00' "$pics/green.png"
convert -size 320x200 xc:'#0000ff' "$pics/blue.gif"
convert -size 320x200 xc:'#ffff00' -quality 100 "$out/arc/photos/yellow.jpg"
(cd "$out/arc" && zip -q -X "$pics/yellow.zip" photos/yellow.jpg)

# ---- Wine ------------------------------------------------------------------------------------
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
echo "Wine prefix: $WINEPREFIX"
"$root/scripts/wine-prefix.sh" || fail "no Wine prefix"
timeout 60 wineserver -p
timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1
windows_path() { timeout 30 winepath -w "$1" 2>/dev/null; }
pics_windows=$(windows_path "$pics")
# The archive-link file: the archive, the member (Windows separators), the member's size; in the
# ANSI code page with CRLF.
size=$(stat -c %s "$out/arc/photos/yellow.jpg")
printf '%s\r\nphotos\\yellow.jpg\r\n%s\r\n' "$(windows_path "$pics/yellow.zip")" "$size" |
  iconv -f UTF-8 -t CP932 >"$pics/yellow.ArcLink"
# Tiled: any point of the desktop shows the picture.
timeout 30 wine reg add 'HKCU\Control Panel\Desktop' /v TileWallpaper /d 1 /f >/dev/null 2>&1

# The colour at one point of a picture: red, green, blue, yellow or other(r,g,b) (JPEG is lossy).
colour_at() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info: 2>/dev/null |
    awk '{ if ($1 > 220 && $2 < 35 && $3 < 35) print "red";
           else if ($2 > 220 && $1 < 35 && $3 < 35) print "green";
           else if ($3 > 220 && $1 < 35 && $2 < 35) print "blue";
           else if ($1 > 220 && $2 > 220 && $3 < 35) print "yellow";
           else if (NF == 3) printf "other(%s,%s,%s)\n", $1, $2, $3;
           else print "none" }'
}
wallpaper=$app/\$Vesko2.bmp
# The wallpaper file is replaced by a rename at each change: a new inode.
stamp() { stat -c '%i %Y' "$wallpaper" 2>/dev/null; }
# Waits up to $1 seconds for the wallpaper file to differ from stamp $2.
wait_change() {
  local i
  for ((i = 0; i < $1 * 4; i++)); do
    [ "$(stamp)" != "$2" ] && return 0
    sleep 0.25
  done
  return 1
}
# Photographs the desktop as $1.png and names the colour of the desktop and of the file.
# Waits (10 s at most) until the desktop has repainted with the file's picture.
look() {
  file=$(colour_at "$wallpaper" 10 10)
  _shows_file() { [ "$(colour_at "$1" 700 450)" = "$file" ]; }
  await_screen "$out/$1.png" _shows_file 10
  desk=$(colour_at "$out/$1.png" 700 450)
}

started=$(date +%s)
echo "starting $app/Vesko2.exe on $pics_windows"
cd "$app" || exit 1
timeout 180 wine ./Vesko2.exe "$pics_windows" </dev/null >"$out/wine.log" 2>&1 &
program=$!
wait_change 30 "" || fail "no wallpaper file beside the program after 30 s"
look step-0
is_panel "$out/step-0.png" 30 4 || fail "no Vesko 2 window at the top left: $(pixel "$out/step-0.png" 30 4)"
echo "start: desktop $desk, file $file"
[ "$desk" = "$file" ] || fail "the desktop shows $desk, the wallpaper file $file"
order=("$file")

# One round forward: four pictures, each new, back to the first after the fourth.
step=0
press() {
  local before
  before=$(stamp)
  step=$((step + 1))
  xdotool key "$1"
  wait_change 15 "$before" || fail "$1 (step $step) did not change the wallpaper file"
  look "step-$step"
  echo "$1 (step $step): desktop $desk, file $file"
  [ "$desk" = "$file" ] || fail "step $step: the desktop shows $desk, the wallpaper file $file"
}
for _ in 1 2 3 4; do
  press Return
  case "$file" in
    red | green | blue | yellow) ;;
    *) fail "step $step: the wallpaper is $file, not one of the pictures" ;;
  esac
  [ "$file" = "${order[${#order[@]} - 1]}" ] && fail "step $step: the picture did not change"
  order+=("$file")
done
[ "${order[4]}" = "${order[0]}" ] || fail "after a round of four the first picture ${order[0]} is not back (${order[4]})"
round=$(printf '%s\n' "${order[@]:0:4}" | sort | tr '\n' ' ')
[ "$round" = "blue green red yellow " ] || fail "one round showed '$round', not each of the four pictures once"
declare -A picture_of=([red]="red.jpg" [green]="green.png (plug-in)" [blue]="blue.gif (plug-in)"
  [yellow]="photos\\yellow.jpg inside yellow.zip, through yellow.ArcLink and UNZIP32.DLL")
for colour in red green blue yellow; do
  case " ${order[*]} " in
    *" $colour "*) ;;
    *) fail "never shown: ${picture_of[$colour]}" ;;
  esac
done
echo "order: ${order[*]:0:4}"
# Backspace: the picture before; Enter: forward again.
press BackSpace
[ "$file" = "${order[3]}" ] || fail "Backspace showed $file, not the previous picture ${order[3]}"
press Return
[ "$file" = "${order[4]}" ] || fail "Enter after Backspace showed $file, not ${order[4]}"

registry=$(timeout 30 wine reg query 'HKCU\Control Panel\Desktop' /v Wallpaper 2>/dev/null | tr -d '\r' | grep -i 'wallpaper')
echo "registry: $registry"
case "$registry" in
  *"\$Vesko2.bmp"*) ;;
  *) fail "the registry does not name the wallpaper file" ;;
esac

# Close from the menu's last entry (終了): the settings file appears beside the program.
xdotool mousemove 30 4 click 3
await_change "$out/menu.png" "$out/step-$step.png" 40x30+40+20 10 || fail "no context menu at the window"
xdotool key Up Return
await_exit "$program" 10 || fail "the program did not end from its menu's 終了"
program=
ini=$app/Vesko2.ini
if [ -f "$ini" ]; then
  folder=$(iconv -f CP932 -t UTF-8 "$ini" | tr -d '\r' | sed -n 's/^PaperFolder=//p')
  echo "settings: PaperFolder=$folder"
  [ "$folder" = "$pics_windows" ] || fail "Vesko2.ini names the folder '$folder'"
else
  fail "no Vesko2.ini beside the program after closing"
fi
echo "time with the program: $(($(date +%s) - started)) s"

# ---- the installer ---------------------------------------------------------------------------
# Beside the zip. /S installs for this user alone: the files, the Start-menu shortcut, the entry
# of the installed-apps list, the Run value; the installed program sets a wallpaper. A second
# install, through its pages as a person goes through them (Enter on each; each page
# photographed), ends the running program first and keeps its settings. The uninstaller /S ends
# the program again, takes away all it put there, and keeps the settings.
version=$(basename "$zipfile" .zip)
version=${version#Vesko2-}
setup=$(dirname "$zipfile")/Vesko2-$version-setup.exe
reg_value() {
  timeout 30 wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vesko2'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
local_windows=$(timeout 30 wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
programs_windows=$(timeout 30 wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
installed_windows="$local_windows\\Programs\\Vesko 2"
installed=$(timeout 30 winepath -u "$installed_windows" 2>/dev/null)
shortcut=$(timeout 30 winepath -u "$programs_windows\\Microsoft\\Windows\\Start Menu\\Programs\\Vesko 2.lnk" 2>/dev/null)
if [ ! -f "$setup" ]; then
  fail "no installer beside the zip ($setup)"
elif [ -z "$installed" ]; then
  fail "no %LOCALAPPDATA% in the prefix"
else
  timeout 120 wine "$setup" /S </dev/null >>"$out/wine.log" 2>&1 || fail "the installer /S failed"
  for file in LICENSE.txt THIRD-PARTY.txt UNZIP32.DLL Vesko2.exe Vesko2.txt ifheif.spi ifpng.spi \
    ifwebp.spi ifwic.spi libde265.dll libheif.dll uninstall.exe; do
    [ -f "$installed/$file" ] || fail "the installer did not put $file into $installed_windows"
  done
  cmp -s "$app/Vesko2.exe" "$installed/Vesko2.exe" || fail "the installed Vesko2.exe is not the zip's"
  [ -f "$shortcut" ] || fail "no Start-menu shortcut"
  [ "$(reg_value "$uninstall_key" DisplayName)" = "Vesko 2" ] || fail "no installed-apps entry"
  [ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "the entry's version is not $version"
  [ "$(reg_value "$uninstall_key" InstallLocation)" = "$installed_windows" ] || fail "the entry's location is not $installed_windows"
  for name in Publisher DisplayIcon UninstallString QuietUninstallString EstimatedSize; do
    [ -n "$(reg_value "$uninstall_key" "$name")" ] || fail "the entry has no $name"
  done
  run_value=$(reg_value "$run_key" "Vesko 2")
  [ "$run_value" = "\"$installed_windows\\Vesko2.exe\" /startup" ] || fail "the Run value is '$run_value'"

  # The installed program sets a wallpaper beside itself.
  wallpaper=$installed/\$Vesko2.bmp
  (cd "$installed" && timeout 180 wine ./Vesko2.exe "$pics_windows" </dev/null >>"$out/wine.log" 2>&1) &
  program=$!
  wait_change 30 "" || fail "the installed program wrote no wallpaper"
  # The second install, page by page: Welcome, the choices (Windows の起動時に起動する ticked),
  # the folder, the copying, the end (今すぐ起動する ticked).
  timeout 180 wine "$setup" </dev/null >>"$out/wine.log" 2>&1 &
  installer=$!
  # A page is photographed once it shows, then Enter (its default button) goes on; an Enter
  # that came before the page could take it goes again.
  wizard=500x380+390+210
  import -window root "$out/.before-setup.png"
  await_change "$out/setup-welcome.png" "$out/.before-setup.png" "$wizard" 30 || fail "no installer window"
  previous=$out/setup-welcome.png
  for page in choices folder copying; do
    for _ in 1 2 3; do
      xdotool key Return
      await_change "$out/setup-$page.png" "$previous" "$wizard" 10 && break
    done
    previous=$out/setup-$page.png
  done
  # After the copying the end page comes by itself: it has the welcome page's picture at its side.
  side=100x200+420+260
  finish_page() { [ "$(region "$1" "$side")" = "$(region "$out/setup-welcome.png" "$side")" ]; }
  await_screen "$out/setup-finish.png" finish_page 60 || fail "no installer end page"
  for _ in 1 2 3; do
    xdotool key Return
    await_exit "$installer" 10 && break
  done
  await_exit "$installer" 60 || fail "the installer did not end after its last page"
  # It ended the program it found running (which wrote its settings), and 今すぐ起動する
  # started the new one.
  await_exit "$program" 20 || fail "the installer left the running program"
  program=
  settings=$(iconv -f CP932 -t UTF-8 "$installed/Vesko2.ini" 2>/dev/null | tr -d '\r' | sed -n 's/^PaperFolder=//p')
  [ "$settings" = "$pics_windows" ] || fail "after the second install Vesko2.ini names '$settings'"
  await "[ -n \"\$(pgrep -f 'Programs.Vesko 2.Vesko2.exe')\" ]" 20 ||
    fail "今すぐ起動する started no program"

  # The uninstaller /S: it runs from a copy of itself, and is done when its files are gone.
  timeout 120 wine "$installed/uninstall.exe" /S </dev/null >>"$out/wine.log" 2>&1
  await "[ ! -e \"$installed/uninstall.exe\" ] && [ ! -e \"$installed/Vesko2.exe\" ]" 60 ||
    fail "the uninstaller left its files"
  await "[ -z \"\$(pgrep -f 'Programs.Vesko 2.Vesko2.exe')\" ]" 20 ||
    fail "a Vesko 2 process outlived the uninstaller"
  left=$(find "$installed" -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null | LC_ALL=C sort | tr '\n' ' ')
  case "$left" in
    *Vesko2.ini*) ;;
    *) fail "the uninstaller /S did not keep the settings (left: '$left')" ;;
  esac
  for file in $left; do
    case $file in Vesko2.ini | Vesko2.mes | Vesko2.exclude.txt | '$Vesko2.bmp') ;;
      *) fail "the uninstaller left $file" ;;
    esac
  done
  [ ! -e "$shortcut" ] || fail "the uninstaller left the shortcut"
  [ -z "$(reg_value "$uninstall_key" DisplayName)" ] || fail "the uninstaller left the installed-apps entry"
  [ -z "$(reg_value "$run_key" "Vesko 2")" ] || fail "the uninstaller left the Run value"
fi

echo "screenshots: $out"
[ "$failures" -eq 0 ] && echo "dist check: passed" || echo "dist check: $failures failures"
exit "$failures"
