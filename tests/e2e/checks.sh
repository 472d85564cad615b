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
