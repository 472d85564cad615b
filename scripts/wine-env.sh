# Sourced by the scripts that run Wine: everything lives under the build tree.
vesko_root=${vesko_root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
vesko_build=${VESKO_BUILD:-$vesko_root/build}
export WINEPREFIX=${WINEPREFIX:-$vesko_build/wine/prefix}
export HOME=$vesko_build/wine/home
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
# Wine's recycle bin is the XDG trash, used only when $HOME/.local/share exists (otherwise a
# delete with undo asks to delete for good).
mkdir -p "$HOME/.local/share"
