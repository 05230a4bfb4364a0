# shellcheck shell=bash
# The environment every Wine run of the Windows build uses; source it.
# Errors of Wine itself stay quiet except failed module loads (a missing DLL
# import shows up); Mono and Gecko are never offered; no menu entries or file
# associations are written into the user's desktop; 64-bit prefixes only.
export WINEDEBUG=${WINEDEBUG:--all,err+module}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
export WINEARCH=win64
