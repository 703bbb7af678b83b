"""Runs a Windows program of the build under Wine, in the shared prefix of the Win32 unit
tests and on the test display, with KAVRO_PROGRAM naming the built program. CMake uses it as
the emulator of the cross build.

    python3 -m bed.wine_run PROGRAM.exe [ARGS...]
"""
import os
import sys
from pathlib import Path

# The build folder is the one holding the program run, unless the caller named one.
if 'KAVRO_BUILD' not in os.environ and len(sys.argv) > 1:
    for folder in Path(sys.argv[1]).resolve().parents:
        if (folder / 'CMakeCache.txt').exists():
            os.environ['KAVRO_BUILD'] = str(folder)
            break

from bed import paths  # noqa: E402
from bed.prefix import Prefix  # noqa: E402


def main(argv):
    prefix = Prefix('unit', fresh=False)
    env = prefix.env()
    env['KAVRO_PROGRAM'] = paths.windows_path(paths.PROGRAM)  # for the tests of the built program
    os.execvpe(paths.WINE_LOADER, [paths.WINE_LOADER, *argv[1:]], env)


if __name__ == '__main__':
    main(sys.argv)
