"""Wine prefixes for tests, the demo and the benchmarks.

A template prefix is made once per build folder (wineboot, about ten seconds); every test
prefix is a clone of it made with hard links, which takes milliseconds. Files that Wine
rewrites in place (the registry hives) and the user's folders are real copies, so nothing a
test does reaches the template. The user folders that Wine links to the real home (Desktop,
Documents, ...) are real folders inside the prefix, and Wine's HOME is a folder of the build,
so nothing ever lands in the user's own home or ~/.wine.
"""
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from bed import paths, xdisplay
from bed.locks import locked

TEMPLATE = paths.WINE / 'template'
# Raise it when the template's making changes: an older template is then made again.
TEMPLATE_VERSION = '3'

# Settings of every prefix: Wine draws the window frames itself (an X server without a window
# manager draws none) and manages the windows itself (a managed window, once destroyed, waits
# 2 s for a window manager that is not there: every windowed program, a minimal one too, ended
# 2 s late), and a crashing program ends without Wine's crash dialog, as it would on an
# unattended machine.
TEMPLATE_SETTINGS = (
    ('HKCU\\Software\\Wine\\X11 Driver', 'Decorated', 'REG_SZ', 'N'),
    ('HKCU\\Software\\Wine\\X11 Driver', 'Managed', 'REG_SZ', 'N'),
    ('HKCU\\Software\\Wine\\WineDbg', 'ShowCrashDialog', 'REG_DWORD', '0'),
)
PREFIXES = paths.WINE / 'prefixes'
HOME = paths.WINE / 'home'
UNINSTALL_KEY = r'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'


def base_env(prefix_path):
    env = dict(os.environ)
    HOME.mkdir(parents=True, exist_ok=True)
    env.update({
        'WINEPREFIX': str(prefix_path),
        'WINEDEBUG': env.get('KAVRO_WINEDEBUG', '-all'),
        'HOME': str(HOME),
        'XDG_CONFIG_HOME': str(HOME / '.config'),
        'XDG_DATA_HOME': str(HOME / '.local' / 'share'),
        'XDG_CACHE_HOME': str(HOME / '.cache'),
        # No Mono or Gecko installer prompts, no menu entries or file associations in $HOME.
        'WINEDLLOVERRIDES': 'mscoree=;mshtml=;winemenubuilder.exe=',
    })
    return env


def _make_template():
    TEMPLATE.parent.mkdir(parents=True, exist_ok=True)
    work = Path(tempfile.mkdtemp(prefix='template-', dir=TEMPLATE.parent))
    shutil.rmtree(work)
    env = base_env(work)
    env.pop('DISPLAY', None)  # wineboot needs no windows
    subprocess.run([paths.WINE_LOADER, 'wineboot', '-i'], env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=300)
    for key, name, kind, value in TEMPLATE_SETTINGS:
        subprocess.run([paths.WINE_LOADER, 'reg', 'add', key, '/v', name, '/t', kind, '/d', value, '/f'],
                       env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(['wineserver', '-w'], env=env, check=True, timeout=300)
    for user in (work / 'drive_c' / 'users').iterdir():
        for entry in list(user.iterdir()):
            if entry.is_symlink():  # Desktop, Documents, ... point at the real home
                entry.unlink()
                entry.mkdir()
    (work / '.kavro-template').write_text(TEMPLATE_VERSION)
    os.rename(work, TEMPLATE)


def template():
    """The template prefix, made on first use (and again when its making has changed)."""
    with locked(paths.WINE / 'template.lock'):
        stamp = TEMPLATE / '.kavro-template'
        current = stamp.read_text() if stamp.exists() else None
        if current != TEMPLATE_VERSION or not (TEMPLATE / 'system.reg').exists():
            if TEMPLATE.exists():
                _end_server(TEMPLATE)
                shutil.rmtree(TEMPLATE)
            _make_template()
    return TEMPLATE


def _clone(dest):
    # Hard links for the bulk of the prefix (Wine's DLLs, never written), real copies for
    # what Wine writes in place.
    subprocess.run(['cp', '-al', str(TEMPLATE), str(dest)], check=True)
    for hive in ('system.reg', 'user.reg', 'userdef.reg', '.update-timestamp'):
        if (dest / hive).exists():
            (dest / hive).unlink()
            shutil.copy2(TEMPLATE / hive, dest / hive)
    users = dest / 'drive_c' / 'users'
    shutil.rmtree(users)
    shutil.copytree(TEMPLATE / 'drive_c' / 'users', users, symlinks=True)


def _end_server(prefix_path):
    env = base_env(prefix_path)
    for command in (['wineserver', '-k'], ['wineserver', '-w']):
        subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)


def kill_all_servers():
    """Ends the Wine server (and every process) of each prefix of the build folder."""
    roots = [TEMPLATE] + (sorted(PREFIXES.iterdir()) if PREFIXES.exists() else [])
    for root in roots:
        if (root / 'system.reg').exists():
            _end_server(root)


class Prefix:
    """One Wine prefix of the build folder, cloned from the template."""

    def __init__(self, name, fresh=True):
        template()
        self.path = PREFIXES / name
        with locked(PREFIXES / (name + '.lock')):
            stamp = self.path / '.kavro-template'
            outdated = self.path.exists() and (not stamp.exists() or stamp.read_text() != TEMPLATE_VERSION)
            if (fresh or outdated) and self.path.exists():
                self.remove()
            if not (self.path / 'system.reg').exists():
                if self.path.exists():
                    shutil.rmtree(self.path)
                PREFIXES.mkdir(parents=True, exist_ok=True)
                _clone(self.path)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()

    # --- environment and processes ---

    def env(self):
        # Every Wine process of a prefix gets the same display: the first one that needs a
        # window starts the prefix's desktop process, which all later windows depend on.
        env = base_env(self.path)
        env['DISPLAY'] = xdisplay.display()
        return env

    def wine(self, *args, timeout=300, check=True, extra_env=None, **kwargs):
        env = self.env()
        env.update(extra_env or {})
        return subprocess.run([paths.WINE_LOADER, *map(str, args)], env=env, timeout=timeout, check=check,
                              **kwargs)

    def wine_text(self, *args, timeout=300, extra_env=None):
        """Runs a Wine command; its status and its output, taken through a file: a pipe would
        stay open as long as the services a first start leaves running."""
        with tempfile.TemporaryFile() as output:
            done = self.wine(*args, timeout=timeout, check=False, extra_env=extra_env,
                             stdout=output, stderr=output)
            output.seek(0)
            return done.returncode, output.read().decode(errors='replace')

    def kill(self):
        """Ends every process of the prefix and waits until its Wine server is gone: a server
        still shutting down would otherwise take in the processes of a new prefix made at the
        same place (the server is found by the folder's inode, which a new clone can reuse)."""
        _end_server(self.path)

    def remove(self):
        self.kill()
        shutil.rmtree(self.path, ignore_errors=True)

    # --- files ---

    def c(self, windows_path=''):
        """The Unix path of a path on drive C: of this prefix, such as c('kavro\\datos')."""
        rel = windows_path.replace('\\', '/').lstrip('/')
        if rel[:2].lower() == 'c:':
            rel = rel[2:].lstrip('/')
        return self.path / 'drive_c' / rel

    def attrib(self, windows_path, *flags):
        """Sets DOS attributes (+r, +h, +s) the way Windows programs see them."""
        self.wine('cmd', '/c', 'attrib', *flags, windows_path, stdout=subprocess.DEVNULL,
                  stderr=subprocess.DEVNULL)

    @property
    def desktop_windows_path(self):
        return 'C:\\users\\' + self.user.name + '\\Desktop'

    @property
    def user(self):
        users = [u for u in (self.path / 'drive_c' / 'users').iterdir() if u.name != 'Public']
        return users[0]

    @property
    def desktop(self):
        return self.user / 'Desktop'

    @property
    def public_desktop(self):
        """The desktop shared by all users."""
        return self.path / 'drive_c' / 'users' / 'Public' / 'Desktop'

    @property
    def temp(self):
        """The user's %TEMP%."""
        return self.user / 'Temp'

    @property
    def default_log(self):
        """Where the program's log goes by default (it runs with administrator rights)."""
        return self.c(r'windows\logs\Software\DesinstalaKavro1.log')  # Wine's own folder is "logs"

    # --- registry ---

    def reg_import(self, text, view=32):
        """Imports registry text (the body of a .reg file) into the 32- or 64-bit view."""
        fd, name = tempfile.mkstemp(suffix='.reg', dir=self.path)
        with os.fdopen(fd, 'wb') as f:
            f.write(('\ufeffWindows Registry Editor Version 5.00\r\n\r\n' + text.replace('\n', '\r\n'))
                    .encode('utf-16-le'))
        try:
            # A failed import is tried once more: under load, a first start in a fresh prefix
            # has once ended with status 1 (reg.exe says why on its output, kept for the error).
            for attempt in (1, 2):
                status, output = self.wine_text('reg', 'import', name, f'/reg:{view}',
                                                extra_env={'WINEDEBUG': 'err+all'})
                if status == 0:
                    return
                print(f'reg import, attempt {attempt}: status {status}:', output[-3000:],
                      file=sys.stderr, flush=True)
            raise subprocess.CalledProcessError(status, 'reg import')
        finally:
            os.unlink(name)

    def reg_export(self, key, view=32):
        """{subkey path relative to key: {value name: value}} of the key's whole tree; {} when
        the key does not exist. String values come back as str, dwords as int."""
        fd, name = tempfile.mkstemp(suffix='.reg', dir=self.path)
        os.close(fd)
        try:
            done = self.wine('reg', 'export', key, name, f'/reg:{view}', '/y',
                             check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if done.returncode != 0:
                return {}
            return parse_reg(Path(name).read_bytes().decode('utf-16'), key)
        finally:
            os.unlink(name)

    def has_uninstall_entry(self, subkey, view=32):
        done = self.wine('reg', 'query', UNINSTALL_KEY + '\\' + subkey, f'/reg:{view}', check=False,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return done.returncode == 0

    def files(self):
        """Every file and folder on drive C:, as Windows paths relative to C:\\, links
        included and never followed."""
        root = self.path / 'drive_c'
        found = set()
        for folder, dirs, files in os.walk(root):
            for name in dirs + files:
                found.add(str((Path(folder) / name).relative_to(root)).replace('/', '\\'))
        return found

    def uninstall_entries(self, view=32):
        """The installed-programs list of the given view: {subkey: {value: data}}."""
        return {k: v for k, v in self.reg_export(UNINSTALL_KEY, view).items() if k and '\\' not in k}


def reg_string(text):
    return '"' + text.replace('\\', '\\\\').replace('"', '\\"') + '"'


class Expandable(str):
    """A value stored as REG_EXPAND_SZ, its %VARIABLE% references left for the reader."""


def uninstall_reg(entries):
    """.reg text for installed-programs entries: {subkey: {value name: str | Expandable | int}}."""
    out = []
    for subkey, values in entries.items():
        out.append(f'[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{subkey}]')
        for name, value in values.items():
            if isinstance(value, int):
                out.append(f'{reg_string(name)}=dword:{value:08x}')
            elif isinstance(value, Expandable):
                data = (value + '\0').encode('utf-16-le')
                out.append(f'{reg_string(name)}=hex(2):' + ','.join(f'{b:02x}' for b in data))
            else:
                out.append(f'{reg_string(name)}={reg_string(value)}')
        out.append('')
    return '\n'.join(out) + '\n'


def parse_reg(text, root):
    """Parses the text of an exported .reg file (strings, expandable strings and dwords; other
    types are kept as their raw text)."""
    keys, current = {}, None
    root_full = root.replace('HKLM', 'HKEY_LOCAL_MACHINE', 1).lower()
    pending = ''
    for raw in text.splitlines():
        line = pending + raw.strip()
        pending = ''
        if line.endswith('\\') and not line.startswith('['):
            pending = line[:-1]
            continue
        if line.startswith('[') and line.endswith(']'):
            full = line[1:-1]
            rel = full[len(root_full):].lstrip('\\') if full.lower().startswith(root_full) else full
            current = keys.setdefault(rel, {})
        elif current is not None and line.startswith(('"', '@')):
            name, value = _split_value(line)
            current[name] = value
    return keys


def _split_value(line):
    if line.startswith('@'):
        name, rest = '', line[2:]
    else:
        i, name = 1, ''
        while line[i] != '"':
            if line[i] == '\\':
                i += 1
            name += line[i]
            i += 1
        rest = line[i + 2:]
    if rest.startswith('"'):
        value, i = '', 1
        while i < len(rest) and rest[i] != '"':
            if rest[i] == '\\':
                i += 1
            value += rest[i]
            i += 1
        return name, value
    if rest.startswith('dword:'):
        return name, int(rest[6:], 16)
    if rest.startswith('hex(2):'):  # an expandable string, as its UTF-16 bytes
        return name, bytes.fromhex(rest[7:].replace(',', '')).decode('utf-16-le').rstrip('\0')
    return name, rest
