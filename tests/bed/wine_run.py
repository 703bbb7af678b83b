"""Runs a Windows program of the build under Wine, in the shared prefix of the Win32 unit
tests and on the test display, with KAVRO_PROGRAM naming the built program. CMake uses it as
the emulator of the cross build.

    python3 -m bed.wine_run PROGRAM.exe [ARGS...]
"""
import os
import select
import subprocess
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


def _write_all(fd, data):
    while data:
        data = data[os.write(fd, data):]


def run_relayed(command, env):
    """Runs the command with its output passed on through pipes of this process, and returns
    its exit status as soon as it has ended. The prefix's services (started by whichever
    program needs them first, with that program's output as theirs) keep that output open for
    as long as any program runs in the prefix: given the caller's own, a test whose program has
    long ended would still be waited for by CTest, which waits for the end of a test's output."""
    child = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    targets = {child.stdout.fileno(): sys.stdout.fileno(), child.stderr.fileno(): sys.stderr.fileno()}
    for source in targets:
        os.set_blocking(source, False)

    def relay(sources):
        for source in sources:
            while source in targets:
                try:
                    data = os.read(source, 65536)
                except BlockingIOError:
                    break
                if data:
                    _write_all(targets[source], data)
                else:
                    del targets[source]

    while targets and child.poll() is None:
        relay(select.select(list(targets), [], [], 0.2)[0])
    child.wait()
    relay(list(targets))  # what the program wrote before it ended; never waits for more
    return child.returncode if child.returncode >= 0 else 128 - child.returncode


def main(argv):
    prefix = Prefix('unit', fresh=False)
    env = prefix.env()
    env['KAVRO_PROGRAM'] = paths.windows_path(paths.PROGRAM)  # for the tests of the built program
    return run_relayed([paths.WINE_LOADER, *argv[1:]], env)


if __name__ == '__main__':
    sys.exit(main(sys.argv))
