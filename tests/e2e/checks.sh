# Shared by the end-to-end scripts: counting failures and reading screenshots.
# shellcheck shell=bash
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# "r g b" of one point of a screenshot.
pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:
}
# Whether a point of a screenshot shows the panel's colour.
is_panel() { [ "$(pixel "$1" "$2" "$3")" = "244 228 210" ]; }
# Photographs the screen into $1 until `$2 $1` holds, for at most $3 seconds (20 by default):
# a wait for what a person would see, never for a fixed time. False when it never held.
await_screen() {
  local shot=$1 check=$2 end=$((SECONDS + ${3:-20}))
  while :; do
    import -window root "$shot" 2>/dev/null && $check "$shot" && return 0
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.2
  done
}
# A fingerprint of the part WxH+X+Y of a screenshot.
region() { convert "$1" -crop "$2" +repage -format '%#' info:; }
# Waits until the command line $1 holds, for at most $2 seconds (20 by default); false when it
# never held.
await() {
  local end=$((SECONDS + ${2:-20}))
  until eval "$1"; do
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.2
  done
}
# Photographs the screen into $1 until the part $3 (WxH+X+Y) differs from that part of the
# screenshot $2 (something opened or moved there), for at most $4 seconds.
await_change() {
  local shot=$1 before_part geometry=$3
  before_part=$(region "$2" "$3")
  _part_changed() { [ "$(region "$1" "$geometry")" != "$before_part" ]; }
  await_screen "$shot" _part_changed "${4:-20}"
}
# ... until that part is again as in $2 (what opened there has gone).
await_restored() {
  local shot=$1 before_part geometry=$3
  before_part=$(region "$2" "$3")
  _part_restored() { [ "$(region "$1" "$geometry")" = "$before_part" ]; }
  await_screen "$shot" _part_restored "${4:-20}"
}
# Presses keys once for the program's window, then waits until `$1 <screenshot $2>` holds (30 s
# at most). A click on the panel gives it the focus first, and the keys go only once the
# desktop's foreground window is the program's: a key that then shows nothing is one the
# program dropped, never pressed again to hide it.
# Two of those clicks within the double-click time would open the message box a double click on
# the panel shows, and the keys would go to it: a click waits until 0.7 s have passed since the
# last.
_last_panel_click=0
# shellcheck disable=SC2154  # each script sets build before it reads this file
program_has_focus() {
  [ "$(timeout 20 wine "$build/tests/win/foreground_probe.exe" 2>/dev/null | tr -d '\r')" = TVesko2MainForm ]
}
key_until() {
  local check=$1 shot=$2 wait_ms
  shift 2
  wait_ms=$(((_last_panel_click + 700000000 - $(date +%s%N)) / 1000000))
  [ "$wait_ms" -gt 0 ] && sleep "$(printf '%d.%03d' $((wait_ms / 1000)) $((wait_ms % 1000)))"
  xdotool mousemove "${panel_x:-30}" "${panel_y:-4}" click 1
  _last_panel_click=$(date +%s%N)
  await program_has_focus 20 || {
    echo "the panel did not take the focus for $*"
    return 1
  }
  xdotool key "$@"
  await_screen "$shot" "$check" 30
}
# Whether the program with process id $1 has ended, waiting at most $2 seconds.
await_exit() { await "! kill -0 $1 2>/dev/null" "${2:-20}"; }
# Steps a folder of pictures with Enter through two rounds and checks every wallpaper: each must
# equal (within the fuzz $2, say 0.6%) one of the references $out/ref/<name>.png for the names
# in $1, and each round must show every name once. Needs $out and $wallpaper.
cycle_pictures() {
  local names=$1 fuzz=$2 count step before now shown round distinct
  count=$(wc -w <<<"$names")
  which_picture() {
    local name
    for name in $names; do
      [ "$(identify -format '%wx%h' "$wallpaper")" = "$(identify -format '%wx%h' "$out/ref/$name.png")" ] ||
        continue
      [ "$(compare -metric AE -fuzz "$fuzz" "$wallpaper" "$out/ref/$name.png" null: 2>&1)" = "0" ] &&
        echo "$name" && return
    done
    echo "none"
  }
  stamp() { stat -c %y "$wallpaper" 2>/dev/null; }
  shown=$(which_picture)
  echo "start: $shown"
  [ "$shown" = none ] && fail "the first wallpaper matches no reference decoding"
  for ((step = 1; step < 2 * count; step++)); do
    before=$(stamp)
    # The file is replaced whole (written beside it, then renamed): a new stamp is a new picture.
    rewritten() { [ "$(stamp)" != "$before" ]; }
    key_until rewritten "$out/.probe.png" Return || fail "Enter $step wrote no wallpaper"
    now=$(which_picture)
    echo "Enter $step: $now"
    [ "$now" = none ] && fail "the wallpaper after Enter $step matches no reference decoding"
    shown="$shown $now"
  done
  import -window root "$out/last.png"
  for round in "$(echo "$shown" | cut -d' ' -f1-"$count")" \
    "$(echo "$shown" | cut -d' ' -f"$((count + 1))"-"$((2 * count))")"; do
    distinct=$(tr ' ' '\n' <<<"$round" | sort -u | grep -vc '^none$')
    [ "$distinct" -eq "$count" ] || fail "a round showed $distinct different pictures: $round"
  done
}
