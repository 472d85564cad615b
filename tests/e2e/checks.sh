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
