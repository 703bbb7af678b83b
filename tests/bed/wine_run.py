"""Runs a Windows program of the build under Wine, in the shared prefix of the Win32 unit
tests and on the test display, with KAVRO_PROGRAM naming the built program. CMake uses it as
the emulator of the cross build.

    python3 -m bed.wine_run PROGRAM.exe [ARGS...]
"""
import os
import select
import subprocess
import sys
import tempfile
import time
from pathlib import Path

# The build folder is the one holding the program run, unless the caller named one.
if 'KAVRO_BUILD' not in os.environ and len(sys.argv) > 1:
    for folder in Path(sys.argv[1]).resolve().parents:
        if (folder / 'CMakeCache.txt').exists():
            os.environ['KAVRO_BUILD'] = str(folder)
            break

from bed import paths  # noqa: E402
from bed.prefix import Prefix  # noqa: E402


# A program still running after this long is taken as hung, short of CTest's limit (600 s): what
# every process of the prefix is doing is printed before it is ended, so a hang explains itself.
HUNG_AFTER_S = float(os.environ.get('KAVRO_HUNG_AFTER', 420))


def _winedbg(env, *args):
    # Into a file: a pipe could be held by what the debugger starts. Cut short so that the
    # report ends before CTest's limit.
    with tempfile.TemporaryFile() as output:
        try:
            subprocess.run([paths.WINE_LOADER, 'winedbg', *args], env=env, stdin=subprocess.DEVNULL,
                           stdout=output, stderr=subprocess.STDOUT, timeout=80, check=False)
        except subprocess.TimeoutExpired:
            output.write(b'\n(winedbg cut short after 80 s)\n')
        output.seek(0)
        return output.read().decode(errors='replace')


def report_hang(env, program):
    """Prints the prefix's processes and the stack of each of their threads (the debugger
    leaves them running)."""
    print(f'{program} still runs after {HUNG_AFTER_S:.0f} s; the prefix runs:', file=sys.stderr)
    for command in ('info process', 'bt all'):
        print(_winedbg(env, '--command', command), file=sys.stderr, flush=True)


def _write_all(fd, data):
    while data:
        data = data[os.write(fd, data):]


def run_relayed(command, env):
    """Runs the command with its output passed on through pipes of this process, and returns
    its exit status as soon as it has ended. The prefix's services (started by whichever
    program needs them first, with that program's output as theirs) keep that output open for
    as long as any program runs in the prefix: given the caller's own, a test whose program has
    long ended would still be waited for by CTest, which waits for the end of a test's output."""
    started = time.monotonic()
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
        if time.monotonic() - started > HUNG_AFTER_S:
            report_hang(env, command[1])
            child.kill()
            break
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
