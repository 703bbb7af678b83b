"""Runs a Windows program of the build under Wine, in the shared prefix of the Win32 unit
tests and on the test display, with KAVRO_PROGRAM naming the built program. CMake uses it as
the emulator of the cross build.

    python3 -m bed.wine_run PROGRAM.exe [ARGS...]
"""
import os
import re
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


# A program still running after this long is taken as hung (the longest unit test takes about
# 2.5 minutes on a busy machine): the prefix's processes and the program's stacks are printed
# before it is ended, so a hang explains itself.
HUNG_AFTER_S = float(os.environ.get('KAVRO_HUNG_AFTER', 300))


def _winedbg(env, *args):
    # Into a file: a pipe could be held by what the debugger starts. Cut short so that the
    # report ends before CTest's limit.
    with tempfile.TemporaryFile() as output:
        try:
            subprocess.run([paths.WINE_LOADER, 'winedbg', *args], env=env, stdin=subprocess.DEVNULL,
                           stdout=output, stderr=subprocess.STDOUT, timeout=60, check=False)
        except subprocess.TimeoutExpired:
            output.write(b'\n(winedbg cut short after 60 s)\n')
        output.seek(0)
        return output.read().decode(errors='replace')


def _tree(processes, pid):
    """The process `pid` and those listed under it (what it started), from `info process`."""
    ids, depth = [], None
    for line in processes.splitlines():
        found = re.match(r"\s*[=>]?([0-9a-f]{8}) .*'", line)
        if not found:
            continue
        indent = line.index("'")  # names are indented under the process that started them
        if int(found.group(1), 16) == pid:
            ids, depth = [pid], indent
        elif depth is not None and indent > depth:
            ids.append(int(found.group(1), 16))
        elif depth is not None:
            break
    return ids


def report_hang(env, program, pid):
    """Prints the prefix's processes, then each thread's stack in the program's process (given
    its id) and in those it started: only theirs, as the debugger disturbs what it looks at."""
    processes = _winedbg(env, '--command', 'info process')
    print(f'{program} still runs after {HUNG_AFTER_S:.0f} s; the prefix runs:\n{processes}',
          file=sys.stderr, flush=True)
    if pid is None:
        return
    threads, owner = {}, None
    for line in _winedbg(env, '--command', 'info thread').splitlines():
        if re.match(r'[0-9a-f]{8} ', line):
            owner = threads.setdefault(int(line[:8], 16), [])
        elif owner is not None and re.match(r'\t[0-9a-f]{8} ', line):
            owner.append(line[1:9])
    for process in _tree(processes, pid):
        with tempfile.NamedTemporaryFile('w', suffix='.txt', delete=False) as script:
            script.write(f'attach 0x{process:x}\n' +
                         ''.join(f'bt 0x{tid}\n' for tid in threads.get(process, [])) + 'detach\n')
        try:
            print(_winedbg(env, '--file', paths.windows_path(script.name)), file=sys.stderr, flush=True)
        finally:
            os.unlink(script.name)


def _write_all(fd, data):
    while data:
        data = data[os.write(fd, data):]


def run_relayed(command, env):
    """Runs the command with its output passed on through pipes of this process; returns its
    exit status as soon as it has ended, whether it was ended as hung, and whether it reported
    a failed assertion (GoogleTest's "file:line: Failure") before. The prefix's services
    (started by whichever program needs them first, with that program's output as theirs) keep
    that output open for as long as any program runs in the prefix: given the caller's own, a
    test whose program has long ended would still be waited for by CTest, which waits for the
    end of a test's output."""
    started = time.monotonic()
    hung = False
    child = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    targets = {child.stdout.fileno(): sys.stdout.fileno(), child.stderr.fileno(): sys.stderr.fileno()}
    for source in targets:
        os.set_blocking(source, False)
    start_of_errors = bytearray()  # where a test program gives its process id
    tail, failed = b'', False

    def relay(sources):
        nonlocal tail, failed
        for source in sources:
            while source in targets:
                try:
                    data = os.read(source, 65536)
                except BlockingIOError:
                    break
                if data:
                    if source == child.stderr.fileno() and len(start_of_errors) < 4096:
                        start_of_errors.extend(data)
                    elif source == child.stdout.fileno():
                        failed = failed or b': Failure' in tail + data
                        tail = data[-16:]
                    _write_all(targets[source], data)
                else:
                    del targets[source]

    while targets and child.poll() is None:
        relay(select.select(list(targets), [], [], 0.2)[0])
        if time.monotonic() - started > HUNG_AFTER_S:
            announced = re.search(rb'wine-run pid: (\d+)', start_of_errors)
            report_hang(env, command[1], int(announced.group(1)) if announced else None)
            if child.poll() is None:  # it may have ended meanwhile, merely slow
                child.kill()
                hung = True
            break
    child.wait()
    relay(list(targets))  # what the program wrote before it ended; never waits for more
    return (child.returncode if child.returncode >= 0 else 128 - child.returncode), hung, failed


def main(argv):
    prefix = Prefix('unit', fresh=False)
    env = prefix.env()
    env['KAVRO_PROGRAM'] = paths.windows_path(paths.PROGRAM)  # for the tests of the built program
    command = [paths.WINE_LOADER, *argv[1:]]
    status, hung, failed = run_relayed(command, env)
    if hung and not failed:
        # Under Wine a start is refused now and then (once in about 28,000 here), and a test
        # then waits on the refusal's box, which nobody answers: a program that hangs is
        # reported (above) and run once more, and fails if it hangs again. A program that
        # ends, or that reported a failed assertion before it hung, is never run again.
        print(f'{argv[1]} was ended as hung; it runs once more', file=sys.stderr, flush=True)
        status, _, _ = run_relayed(command, env)
    return status


if __name__ == '__main__':
    sys.exit(main(sys.argv))
