#!/bin/sh
# Runs one Windows test program under wine for CTest: run-under-wine.sh program.exe [arguments].
# The wine prefix is the caller's (WINEPREFIX, made once with `wineboot -i`); wine's own
# messages, its desktop menus and its .NET and HTML installers are kept out of the run.
# HP_WINE names another wine loader (the default is wine64 where it is on PATH, else wine).
wine=${HP_WINE:-$(command -v wine64 || echo wine)}
WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree=d;mshtml=d' exec "$wine" "$@"
