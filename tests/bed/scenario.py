"""One end-to-end scenario: a prefix of its own, prepared by the test, one run of the program
through the driver (which answers message boxes; the window closes by itself), and what the
tests look at afterwards."""
import threading
import unittest

from bed import program, suite
from bed.prefix import Prefix

NOT_INSTALLED = 'La aplicación KavroII No está instalada en el equipo'
LOG = r'C:\pruebas\registro.log'
SWEPT = (r'C:\kavro\setup.exe', r'C:\kavro\Update.EXE', r'C:\kavro\kavro2.exe')
KEPT = (r'C:\kavro\kavro.exe', r'C:\kavro\kavro.dll', r'C:\kavro\leeme.txt')


class Scenario(unittest.TestCase):
    name = None          # the prefix's name; a class without one is a base, not a scenario
    watched = ()         # Windows paths whose existence is noted after the run
    driver_options = ()
    args = ()            # the program's command line
    program = None       # the program's Windows path, when not the build's own
    list_files = False   # note every file of drive C: before and after the run
    timeout = 180

    @classmethod
    def prepare(cls, prefix):
        """Installs what the scenario needs."""

    @classmethod
    def environment(cls, prefix):
        """Variables added to the program's Wine environment."""
        return None

    @classmethod
    def during_run(cls, prefix, done):
        """Work done alongside the run, in a thread, until done is set."""

    @classmethod
    def setUpClass(cls):
        if cls.name is None:
            raise unittest.SkipTest('base class')
        with Prefix('e2e-' + cls.name) as prefix:
            prefix.c('pruebas').mkdir(exist_ok=True)
            prefix.desktop.mkdir(parents=True, exist_ok=True)
            cls.prefix = prefix
            cls.prepare(prefix)
            cls.files_before = prefix.files() if cls.list_files else None
            done = threading.Event()
            helper = threading.Thread(target=cls.during_run, args=(prefix, done))
            helper.start()
            try:
                cls.report = program.run(prefix, *cls.driver_options, timeout=cls.timeout,
                                         args=cls.args, env=cls.environment(prefix),
                                         program=cls.program)
            finally:
                done.set()
                helper.join()
            cls.log = suite.read_log(prefix, LOG)
            cls.run_entries = program.log_entries(prefix)
            cls.run_log = [text for text, _ in cls.run_entries]
            cls.files_after = prefix.files() if cls.list_files else None
            cls.exists = {p: prefix.c(p).exists() or prefix.c(p).is_symlink() for p in cls.watched}
            cls.shortcut = (prefix.desktop / 'KavroII.lnk').exists()
            cls.inspect(prefix)

    @classmethod
    def inspect(cls, prefix):
        """Reads what else the tests look at, before the prefix is shut down."""

    def assertRunEnded(self, code):
        self.assertFalse(self.report.timed_out, self.report)
        self.assertEqual(self.report.exit_code, code, self.report)
        self.assertTrue(self.run_log and self.run_log[-1].startswith(f'Fin: código de salida {code} '),
                        self.run_log)

    def assertLogged(self, *texts):
        """Each text is part of some line of the program's log."""
        for text in texts:
            self.assertTrue(any(text in line for line in self.run_log), (text, self.run_log))

    def error_boxes(self):
        return [m for m in self.report.messages
                if m['title'] == 'DesinstalaKavro' and m['text'] != NOT_INSTALLED]


def install_folder(prefix, data=True):
    """c:\\kavro with the main executable, stray executables, a library and a text file, and
    a small data folder."""
    kavro = prefix.c('kavro')
    kavro.mkdir(parents=True, exist_ok=True)
    for name in ('kavro.exe', 'setup.exe', 'Update.EXE', 'kavro2.exe', 'kavro.dll', 'leeme.txt'):
        (kavro / name).write_bytes(b'MZ')
    if data:
        (kavro / 'datos' / 'clientes').mkdir(parents=True, exist_ok=True)
        (kavro / 'datos' / 'empresa.dat').write_text('x')
        (kavro / 'datos' / 'clientes' / 'clientes.dat').write_text('x')


def put_shortcut(prefix, public=False, name='KavroII.lnk'):
    """A shortcut on the user's desktop, or on the one shared by all users."""
    desktop = prefix.public_desktop if public else prefix.desktop
    desktop.mkdir(parents=True, exist_ok=True)
    (desktop / name).write_bytes(b'L\0\0\0')


def component(prefix, key, name, *steps, console=False, view=32):
    """An installed-programs entry whose uninstaller (a copy of the child program) records its
    command line in LOG, does the given steps and deletes its own entry (in the registry view
    it is registered in: register it there)."""
    uninstaller = suite.put_uninstaller(prefix, rf'C:\desinstaladores\{key}.exe', console=console)
    return {key: {'DisplayName': name, 'UninstallString': suite.command(
        uninstaller, 'record', LOG, *steps, 'delete-key64' if view == 64 else 'delete-key', key)}}


def restore_shortcut_steps(prefix):
    """Steps of an uninstaller that puts the desktop shortcut back."""
    return ('write', prefix.desktop_windows_path + r'\KavroII.lnk', 'acceso')
