"""Runs DesinstalaKavro1.exe in a prefix through the driver and reads back what happened."""
import json
import re
import subprocess

from bed import paths

# One entry of the log, in the layout of configuration-management logs (CMTrace's).
ENTRY = re.compile(r'^<!\[LOG\[(.*)\]LOG\]!><time="\d\d:\d\d:\d\d\.\d{3}[+-]\d{3}" date="\d\d-\d\d-\d{4}" '
                   r'component="DesinstalaKavro" context="" type="([123])" thread="\d+" file="">$')


def log_entries(prefix, windows_path=None):
    """(text, type) of each entry of the program's log (by default
    %SystemRoot%\\Logs\\Software\\DesinstalaKavro1.log); [] when there is none. A line that is no
    entry is kept whole, with type None, so a test sees it."""
    path = prefix.c(windows_path) if windows_path else prefix.default_log
    if not path.exists():
        return []
    entries = []
    for line in path.read_text(encoding='utf-8-sig').splitlines():
        entry = ENTRY.match(line)
        entries.append((entry.group(1), int(entry.group(2))) if entry else (line, None))
    return entries


def run_log(prefix, windows_path=None):
    """The texts of the program's log entries (see log_entries)."""
    return [text for text, _ in log_entries(prefix, windows_path)]


class Report:
    """The driver's events, in order. Each event is a dict with 'ev' and 't' (ms)."""

    def __init__(self, events, wine_returncode):
        self.events = events
        self.wine_returncode = wine_returncode

    def all(self, name):
        return [e for e in self.events if e['ev'] == name]

    def first(self, name):
        found = self.all(name)
        return found[0] if found else None

    @property
    def window(self):
        return self.first('window')

    @property
    def rows(self):
        """The last content of the list that the driver could read."""
        seen = self.all('rows')
        return seen[-1]['rows'] if seen else None

    @property
    def messages(self):
        return self.all('message')

    @property
    def exit_code(self):
        event = self.first('exit')
        return event['code'] if event else None

    @property
    def timed_out(self):
        return self.first('timeout') is not None

    def __repr__(self):
        return '\n'.join(json.dumps(e, ensure_ascii=False) for e in self.events)


def run(prefix, *driver_options, timeout=180, program=None, args=(), env=None, tag=''):
    """Starts the program (by default the build's DesinstalaKavro1.exe, with no arguments)
    through the driver in the prefix, waits for its end and returns the Report. env adds to
    or replaces variables of the Wine environment; a tag of its own lets runs overlap."""
    report_file = prefix.path / f'driver-report{tag}.jsonl'
    report_file.unlink(missing_ok=True)
    program = program or paths.PROGRAM
    # A Unix path is reached through Wine's Z: drive; a Windows path is taken as it is.
    program = program if str(program)[1:2] == ':' else paths.windows_path(program)
    done = prefix.wine(paths.DRIVER, '--report', paths.windows_path(report_file),
                       '--timeout', str(timeout), *driver_options, '--',
                       program, *args, check=False, timeout=timeout + 60, extra_env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    events = []
    if report_file.exists():
        for line in report_file.read_text(encoding='utf-8').splitlines():
            if line.strip():
                events.append(json.loads(line))
    return Report(events, done.returncode)
