"""Runs a Windows program of the build under Wine, in the shared prefix of the Win32 unit
tests and on the test display, with KAVRO_PROGRAM naming the built program. CMake uses it as
the emulator of the cross build.

    python3 -m bed.wine_run PROGRAM.exe [ARGS...]
"""
import os
import subprocess
import sys
import tempfile
from pathlib import Path

# The build folder is the one holding the program run, unless the caller named one.
if 'KAVRO_BUILD' not in os.environ and len(sys.argv) > 1:
    for folder in Path(sys.argv[1]).resolve().parents:
        if (folder / 'CMakeCache.txt').exists():
            os.environ['KAVRO_BUILD'] = str(folder)
            break

from bed import paths  # noqa: E402
from bed.prefix import Prefix  # noqa: E402


# A program still running after this long is taken as hung (the longest unit test takes about
# 2.5 minutes on a busy machine).
HUNG_AFTER_S = float(os.environ.get('KAVRO_HUNG_AFTER', 300))


def report_hang(prefix, program):
    """Prints the prefix's processes (what the test had started, and what else runs there).
    Not their stacks: winedbg's `bt all` disturbs every program it looks at, those of the tests
    running beside this one too."""
    try:
        listing = prefix.wine_text('winedbg', '--command', 'info process', timeout=60)[1]
    except subprocess.TimeoutExpired:
        listing = '(winedbg gave no answer within 60 s)'
    print(f'{program} still runs after {HUNG_AFTER_S:.0f} s; the prefix runs:', listing,
          sep='\n', file=sys.stderr, flush=True)


def run(prefix, env, command):
    """Runs the command with its output taken through files and passed on once it has ended;
    returns its status, whether it was ended as hung, and whether it reported a failed
    assertion (GoogleTest's "file:line: Failure"). Never the caller's own output: the prefix's
    services, started by whichever program needs them first, take its output as theirs and
    keep it open while any program runs in the prefix, and CTest waits for the end of a test's
    output, not only of its process."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        child = subprocess.Popen(command, env=env, stdout=out, stderr=err)
        hung = False
        try:
            child.wait(timeout=HUNG_AFTER_S)
        except subprocess.TimeoutExpired:
            report_hang(prefix, command[1])
            hung = child.poll() is None  # it may have ended meanwhile, merely slow
            child.kill()
            child.wait()
        err.seek(0)
        out.seek(0)
        errors, output = err.read(), out.read()
    for text, given in ((errors, sys.stderr), (output, sys.stdout)):
        given.buffer.write(text)
        given.flush()
    status = child.returncode if child.returncode >= 0 else 128 - child.returncode
    return status, hung, b': Failure' in output


def main(argv):
    prefix = Prefix('unit', fresh=False)
    env = prefix.env()
    env['KAVRO_PROGRAM'] = paths.windows_path(paths.PROGRAM)  # for the tests of the built program
    command = [paths.WINE_LOADER, *argv[1:]]
    status, hung, failed = run(prefix, env, command)
    if hung and not failed:
        # Under Wine a start is refused now and then (once in about 28,000 here), and a test
        # then waits on the refusal's box, which nobody answers: a program that hangs is
        # reported (above) and run once more, and fails if it hangs again. A program that
        # ends, or that reported a failed assertion before it hung, is never run again.
        print(f'{argv[1]} was ended as hung; it runs once more', file=sys.stderr, flush=True)
        status = run(prefix, env, command)[0]
    return status


if __name__ == '__main__':
    sys.exit(main(sys.argv))
