"""Reliability and security of the clean-up: the suite's programs left open, files other
programs hold, a package entry that outlives its product, read-only executables, a file that
vanishes after the listing, names in any script, a deep data folder, names that match only
through their short alias, look-alike products, nothing deleted beyond what must be, and a
second run."""
import os
import subprocess
import time
import unittest

from bed import program, suite
from bed.prefix import Prefix
from bed.scenario import LOG, NOT_INSTALLED, Scenario, component, install_folder, put_shortcut



class OpenProgramsAndHeldFilesTest(unittest.TestCase):
    """Four runs in one prefix. The suite's main program left open with a data file: asked to
    close, it does, and everything goes. A data file and a stray executable held by a program
    outside the suite: both stay, the rest of the clean-up is done, the holder keeps running
    and nothing is left for the next restart. A package entry of the suite's own that
    outlives its product: removed, by msiexec's word, on two runs in a row."""

    @classmethod
    def setUpClass(cls):
        with Prefix('e2e-open-and-held') as prefix:
            prefix.c('pruebas').mkdir()
            install_folder(prefix)
            suite.put_uninstaller(prefix, r'C:\kavro\kavro.exe')
            suite.start(prefix, r'C:\kavro\kavro.exe', 'hold', r'C:\kavro\datos\empresa.dat', 'window', 120000,
                  'note', LOG, 'cerrado')
            suite.register(prefix, component(prefix, 'KavroII', 'Kavro II'))
            cls.open_run = program.run(prefix)
            cls.open_log = program.run_log(prefix)
            cls.open_left = prefix.c(r'kavro\datos').exists()
            cls.closed = suite.read_log(prefix, LOG)

            install_folder(prefix)
            # Outside the suite's folder, though its name begins the same: never the suite's.
            holder = suite.start(prefix, suite.put_uninstaller(prefix, r'C:\kavro-otros\visor.exe'), 'hold',
                           r'C:\kavro\datos\clientes\clientes.dat', 'hold', r'C:\kavro\setup.exe', 'sleep', 120000)
            cls.held_run = program.run(prefix)
            cls.held_log = program.run_log(prefix)
            cls.held_left = {p: prefix.c(p).exists() for p in
                             (r'kavro\datos\clientes\clientes.dat', r'kavro\datos\empresa.dat', r'kavro\setup.exe',
                              r'kavro\kavro2.exe')}
            cls.holder_running = holder.poll() is None
            cls.scheduled = prefix.wine('reg', 'query', r'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager',
                                        '/v', 'PendingFileRenameOperations', check=False,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0

            holder.kill()
            holder.wait(timeout=60)
            suite.install_visor(prefix)  # its own entry goes with the product; this one stays
            suite.register(prefix, {'KavroVisorSuite': {'DisplayName': 'Kavro II Visor', 'UninstallString': suite.VISOR_MSI}})
            cls.package_runs = [program.run(prefix), program.run(prefix)]

    def test_the_suites_open_program_is_asked_to_close_and_then_everything_goes(self):
        # It closed before the uninstaller ran (whose command line comes next in the file).
        self.assertEqual((self.open_run.exit_code, self.closed[:1], self.open_left), (0, ['cerrado'], False),
                         self.open_log)
        self.assertTrue(any(r'C:\kavro\kavro.exe' in line and line.endswith(', cerrado') for line in self.open_log))

    def test_files_another_program_holds_stay_and_the_rest_goes(self):
        self.assertEqual(self.held_run.exit_code, 3, self.held_log)
        self.assertEqual(self.held_left, {r'kavro\datos\clientes\clientes.dat': True, r'kavro\datos\empresa.dat': False,
                                          r'kavro\setup.exe': True, r'kavro\kavro2.exe': False})
        self.assertTrue(self.holder_running)
        self.assertFalse(self.scheduled)
        self.assertEqual(sum('otro programa lo tiene abierto' in line for line in self.held_log), 2, self.held_log)

    def test_a_package_entry_that_outlives_its_product_is_no_failure(self):
        self.assertEqual([r.exit_code for r in self.package_runs], [0, 0], self.package_runs)


class ReadOnlyExecutableTest(Scenario):
    name = 'read-only-exe'
    watched = (r'C:\kavro\aa.exe', r'C:\kavro\fijo.exe', r'C:\kavro\zz.exe')

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix, data=False)
        for name in ('aa.exe', 'fijo.exe', 'zz.exe'):
            prefix.c('kavro').joinpath(name).write_bytes(b'MZ')
        os.chmod(prefix.c(r'kavro\fijo.exe'), 0o444)

    def test_a_read_only_executable_is_never_removed(self):
        self.assertEqual(self.exists, {r'C:\kavro\aa.exe': False, r'C:\kavro\fijo.exe': True,
                                       r'C:\kavro\zz.exe': True})
        self.assertEqual(len(self.error_boxes()), 1, self.report)
        self.assertRunEnded(2)


class VanishingExecutableTest(Scenario):
    """Another process deletes an executable after the listing was taken: the sweep goes on."""
    name = 'vanishing-exe'
    watched = (r'C:\kavro\zzz.exe',)

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix, data=False)
        for i in range(2000):
            prefix.c('kavro').joinpath(f'a{i:04d}.exe').write_bytes(b'MZ')
        prefix.c('kavro').joinpath('zzz.exe').write_bytes(b'MZ')
        cls.vanished = False

    @classmethod
    def during_run(cls, prefix, done):
        # The sweep deletes in name order: once a0000.exe is gone, the listing has been taken.
        first, last = prefix.c(r'kavro\a0000.exe'), prefix.c(r'kavro\zzz.exe')
        while not done.is_set():
            if not first.exists():
                try:
                    last.unlink()
                    cls.vanished = True
                except FileNotFoundError:
                    pass
                return
            time.sleep(0.0005)

    @classmethod
    def inspect(cls, prefix):
        cls.left = sorted(p.name for p in prefix.c('kavro').iterdir())

    def test_the_sweep_went_on_and_ended_normally(self):
        if not self.vanished:
            self.skipTest('the program reached the file first')
        self.assertEqual(self.error_boxes(), [], self.report)
        self.assertEqual(self.left, ['kavro.dll', 'kavro.exe', 'leeme.txt'])
        self.assertRunEnded(0)


FOREIGN_NAMES = ('programa con espacios.exe', 'configuración avanzada.exe', 'программа.exe',
                 '設定ツール.exe', 'Ω μέγα.EXE')


class ForeignNamesTest(Scenario):
    """Names with blanks, accents and non-Latin letters, in the install folder, the data
    folder and the installed-programs list."""
    name = 'foreign-names'
    watched = tuple(rf'C:\kavro\{n}' for n in FOREIGN_NAMES) + (r'C:\kavro\datos',)

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix)
        for name in FOREIGN_NAMES:
            prefix.c('kavro').joinpath(name).write_bytes(b'MZ')
        folder = prefix.c(r'kavro\datos\Компания 会社 ñandú')
        folder.mkdir(parents=True)
        (folder / 'données ü.dat').write_text('x')
        # The uninstaller keeps a window up a moment, so the list can be read meanwhile.
        suite.register(prefix, component(prefix, 'KavroΩ', 'Kavro — Ωμέγα 漢字 Ñandú', 'window', 800))

    @classmethod
    def inspect(cls, prefix):
        cls.registered = prefix.has_uninstall_entry('KavroΩ')

    def test_everything_is_found_and_removed(self):
        self.assertEqual([r[:100].rstrip() for r in self.report.rows], ['Kavro — Ωμέγα 漢字 Ñandú'])
        self.assertFalse(self.registered)
        for path, present in self.exists.items():
            self.assertFalse(present, path)
        self.assertRunEnded(0)


def chain(folder, levels):
    """A chain of folders `levels` deep below `folder`, each made relative to the one above (as
    any user can make one, whatever the length of its path); the deepest, as a Unix path."""
    fd = os.open(folder, os.O_RDONLY)
    for _ in range(levels):
        os.mkdir('d', dir_fd=fd)
        below = os.open('d', os.O_RDONLY, dir_fd=fd)
        os.close(fd)
        fd = below
    os.close(fd)


def remove_chain(folder):
    """Removes such a chain without recursion (shutil.rmtree recurses once a level)."""
    fds = [os.open(folder, os.O_RDONLY)]
    while 'd' in os.listdir(fds[-1]):
        fds.append(os.open('d', os.O_RDONLY, dir_fd=fds[-1]))
    for above, below in zip(reversed(fds[:-1]), reversed(fds[1:])):
        for name in os.listdir(below):
            os.unlink(name, dir_fd=below)
        os.close(below)
        os.rmdir('d', dir_fd=above)
    os.close(fds[0])


class DeepDataFolderTest(Scenario):
    """A data folder 2,000 files in 12 long-named levels, and beside them a chain 3,000 folders
    deep that a user made: the first goes whole; the chain is walked as deep as a walk goes and
    left below that. The run and /list both end by themselves with their last line."""
    name = 'deep-data'
    watched = (r'C:\kavro\datos\nivel 00 con un nombre largo para alargar la ruta',
               r'C:\kavro\datos\profunda\d')

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix)
        prefix.c(r'kavro\datos\profunda').mkdir()
        chain(prefix.c(r'kavro\datos\profunda'), 3000)
        deep = prefix.c(r'kavro\datos')
        count = 0
        for level in range(12):
            deep = deep / f'nivel {level:02d} con un nombre largo para alargar la ruta'
            deep.mkdir()
            for i in range(2000 // 12 + (1 if level < 2000 % 12 else 0)):
                (deep / f'registro {i:03d}.dat').write_text('x')
                count += 1
        assert count == 2000 and len(str(deep)) > 260

    @classmethod
    def inspect(cls, prefix):
        cls.listed = program.run(prefix, args=('/list', '/quiet'))
        cls.list_log = program.run_log(prefix)
        remove_chain(prefix.c(r'kavro\datos\profunda'))

    def test_the_tree_goes_but_what_lies_too_deep(self):
        self.assertEqual(self.exists, {r'C:\kavro\datos\nivel 00 con un nombre largo para alargar la ruta': False,
                                       r'C:\kavro\datos\profunda\d': True})
        self.assertLogged('está a más de 64 niveles de carpetas')
        self.assertRunEnded(3)
        self.assertEqual(self.listed.exit_code, 3, self.listed)
        self.assertTrue(self.list_log[-1].startswith('Fin: código de salida 3 '), self.list_log[-1])


class ShortAliasTest(Scenario):
    """Names that match *.exe only through the short alias the file system keeps for them."""
    name = 'short-alias'
    watched = (r'C:\kavro\setup.exee', r'C:\kavro\programa largo.exe1', r'C:\kavro\notas.exe.txt',
               r'C:\kavro\real.exe')

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix, data=False)
        for name in ('setup.exee', 'programa largo.exe1', 'notas.exe.txt', 'real.exe'):
            prefix.c('kavro').joinpath(name).write_bytes(b'MZ')

    def test_only_names_of_their_own_ending_in_exe_are_swept(self):
        self.assertEqual(self.exists, {r'C:\kavro\setup.exee': True, r'C:\kavro\programa largo.exe1': True,
                                       r'C:\kavro\notas.exe.txt': True, r'C:\kavro\real.exe': False})
        self.assertRunEnded(0)


LOOKALIKES = {
    'Lumbe1': 'LUMBEKAVRO', 'Lumbe2': 'lumbekavro', 'Cero': 'Kavr0 II', 'Espacios': 'K A V R O',
    'Cavro': 'Cavro Gestión', 'Cirilico': 'КAVRO (К cirílica)', 'Corto': 'KAVR',
}
PICKED = {'LumbePro': 'LumbeKavro Pro', 'KavroII': 'Kavro II'}


class LookalikeProductsTest(Scenario):
    """The sibling product and names that merely resemble the suite's stay registered; only
    what the selection rule picks is uninstalled."""
    name = 'lookalikes'

    @classmethod
    def prepare(cls, prefix):
        entries = {}
        for key, name in {**LOOKALIKES, **PICKED}.items():
            # Each keeps a window up a moment, so the list can be read while it runs.
            entries.update(component(prefix, key, name, 'window', 800))
        suite.register(prefix, entries)

    @classmethod
    def inspect(cls, prefix):
        cls.registered = {key: prefix.has_uninstall_entry(key) for key in {**LOOKALIKES, **PICKED}}

    def test_only_the_picked_ones_are_uninstalled(self):
        self.assertEqual({k for k, present in self.registered.items() if present}, set(LOOKALIKES))
        self.assertEqual(sorted(r[:100].rstrip() for r in self.report.rows), sorted(PICKED.values()))
        self.assertRunEnded(0)


class NothingElseIsDeletedTest(Scenario):
    """A full listing of drive C: before and after: the only files gone are the shortcut,
    the data folder's tree and the stray executables at the top of the install folder."""
    name = 'nothing-else'
    list_files = True

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix)
        put_shortcut(prefix)
        for folder in ('bin', 'datos2', r'datos\sub'):
            prefix.c('kavro').joinpath(folder.replace('\\', '/')).mkdir(parents=True, exist_ok=True)
        for path in (r'bin\ayuda.exe', r'datos2\otro.exe', r'datos\sub\x.exe', 'kavro.exe.bak'):
            prefix.c('kavro').joinpath(path.replace('\\', '/')).write_bytes(b'MZ')
        prefix.c('Kavro paquetes').mkdir()
        prefix.c('Kavro paquetes').joinpath('otro.exe').write_bytes(b'MZ')
        # An uninstaller that only deletes its own entry.
        suite.register(prefix, component(prefix, 'KavroII', 'Kavro II'))

    def test_only_the_allowed_files_are_gone(self):
        gone = self.files_before - self.files_after
        desktop = self.prefix.desktop.relative_to(self.prefix.path / 'drive_c')
        allowed = {str(desktop).replace('/', '\\') + r'\KavroII.lnk',
                   r'kavro\setup.exe', r'kavro\Update.EXE', r'kavro\kavro2.exe'}
        allowed |= {p for p in self.files_before if p == r'kavro\datos' or p.startswith('kavro\\datos\\')}
        self.assertEqual(gone, allowed)
        self.assertRunEnded(0)


class SecondRunTest(unittest.TestCase):
    """Running the program twice: the second run finds nothing to do."""

    @classmethod
    def setUpClass(cls):
        with Prefix('e2e-second-run') as prefix:
            suite.install_example(prefix, uninstaller_ms=300)
            cls.first = program.run(prefix)
            cls.after_first = suite.snapshot(prefix)
            cls.second = program.run(prefix)
            cls.after_second = suite.snapshot(prefix)

    def test_the_second_run_is_clean(self):
        self.assertEqual(self.first.exit_code, 0, self.first)
        self.assertEqual([m['text'] for m in self.second.messages], [NOT_INSTALLED])
        self.assertEqual(self.second.exit_code, 0, self.second)
        self.assertEqual(self.after_second, self.after_first)


if __name__ == '__main__':
    unittest.main()
