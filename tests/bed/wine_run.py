"""Runs a Windows program of the build under Wine, in the shared prefix of the Win32 unit
tests and on the test display, with KAVRO_PROGRAM naming the built program. CMake uses it as
the emulator of the cross build.

    python3 -m bed.wine_run PROGRAM.exe [ARGS...]
"""
import os
import sys

from bed import paths
from bed.prefix import Prefix


def main(argv):
    prefix = Prefix('unit', fresh=False)
    env = prefix.env()
    env['KAVRO_PROGRAM'] = paths.windows_path(paths.PROGRAM)  # for the tests of the built program
    os.execvpe('wine', ['wine', *argv[1:]], env)


if __name__ == '__main__':
    main(sys.argv)
