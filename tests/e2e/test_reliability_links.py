"""Security: what a local user with bad intent can prepare before an administrator's run, in
folders any user may write to. A link at c:\\kavro or at c:\\kavro\\datos, c:\\kavro swapped for
a link while the clean-up runs, an unquoted command with a blank and a program planted where
the platform would look first, and an msiexec.exe planted beside a downloaded copy of the
program."""
import ctypes
import os
import re
import select
import shutil
import struct

from bed import paths, suite
from bed.scenario import LOG, Scenario, component, install_folder

ENVIRONMENT = r'C:\pruebas\entorno.log'
HELPER = r'C:\pruebas\ayudante.log'
OUTSIDE = ('fuera', r'fuera\programa.exe', r'fuera\datos', r'fuera\datos\importante.dat')


def outside_folder(prefix):
    """C:\\fuera: executables and a datos folder that must survive whatever points at them."""
    (prefix.c(r'fuera\datos')).mkdir(parents=True)
    (prefix.c(r'fuera\programa.exe')).write_bytes(b'MZ')
    (prefix.c(r'fuera\datos\importante.dat')).write_text('no borrar')


class InstallFolderLinkAndPlantedMsiexecTest(Scenario):
    name = 'links-install-folder'
    watched = tuple('C:\\' + p for p in OUTSIDE)
    program = r'C:\descargas\DesinstalaKavro1.exe'

    @classmethod
    def prepare(cls, prefix):
        outside_folder(prefix)
        os.symlink(prefix.c('fuera'), prefix.c('kavro'))
        # The program run from a download folder in which an msiexec.exe was planted: had it
        # run instead of the system's, the package would still be installed.
        prefix.c('descargas').mkdir()
        shutil.copy(paths.PROGRAM, prefix.c(r'descargas\DesinstalaKavro1.exe'))
        shutil.copy(paths.CHILD, prefix.c(r'descargas\msiexec.exe'))
        suite.install_visor(prefix)
        # A component run by its bare name: the system folder's program runs (a 32-bit
        # program's System32 is SysWOW64), never the one planted beside ours.
        for planted in (rf'windows\{paths.SYSTEM_FOLDER}\kavrohijo.exe', r'descargas\kavrohijo.exe'):
            shutil.copy(paths.CHILD, prefix.c(planted))
        suite.register(prefix, {'KavroHijo': {'DisplayName': 'Kavro hijo', 'UninstallString':
                                              'kavrohijo.exe self ' + LOG + ' delete-key KavroHijo'}})

    @classmethod
    def inspect(cls, prefix):
        cls.entries = prefix.uninstall_entries()
        cls.visor_folder = prefix.c(suite.VISOR_FOLDER).exists()

    def test_nothing_behind_the_link_is_touched(self):
        self.assertTrue(all(self.exists.values()), self.exists)
        self.assertLogged(r'c:\kavro es un enlace')

    def test_the_systems_programs_run_not_those_planted_beside_ours(self):
        self.assertEqual([line.lower() for line in self.log], [rf'c:\windows\{paths.SYSTEM_FOLDER}\kavrohijo.exe'])
        self.assertNotIn('KavroVisor', self.entries)
        self.assertNotIn(suite.VISOR_PRODUCT_CODE, self.entries)
        self.assertFalse(self.visor_folder)
        # Named as the one that runs: a 32-bit program's System32 is SysWOW64.
        self.assertTrue(any(line.lower().startswith(rf'ejecutado: c:\windows\{paths.SYSTEM_FOLDER}\msiexec.exe /uninstall')
                            for line in self.run_log), self.run_log)
        self.assertRunEnded(3)  # the clean-up was refused, as it must be: the folder is not clean


class InstallFolderSwappedDuringTheCleanUpTest(Scenario):
    """The moment the data folder is gone, c:\\kavro is renamed and a link to another folder put
    in its place, before the sweep lists (on Windows a user's oplock on a file of their own
    gives that moment): nothing in the folder the link points to is deleted. Before that, an
    unquoted command with a blank runs only the program registered (not one planted where the
    platform would look first), in a folder any user could change, with what it inherits: no
    handle of ours (the driver reads the program's output to its end, as agents do, while a
    helper the uninstaller left still runs; nor a second pipe the driver let the program
    inherit), the system folder, and a TEMP of its own."""
    name = 'links-swapped-install-folder'
    watched = tuple('C:\\' + p for p in OUTSIDE)
    driver_options = ('--read-output',)
    swapped = False

    @classmethod
    def environment(cls, prefix):
        return {'KAVRO_TEST_DESCENDANTS_WAIT_MS': '1000'}  # the helper is left running

    @classmethod
    def prepare(cls, prefix):
        outside_folder(prefix)
        install_folder(prefix)
        # Unquoted, "c:\kavro\mis modulos\quitar.exe" would first try c:\kavro\mis.exe.
        suite.put_uninstaller(prefix, r'C:\kavro\mis modulos\quitar.exe')
        os.chmod(prefix.c(r'kavro\mis modulos'), 0o777)  # any user may put another one there
        shutil.copy(paths.CHILD, prefix.c(r'kavro\mis.exe'))
        suite.register(prefix, {'KavroModulos': {'DisplayName': 'Kavro módulos', 'UninstallString':
            rf'c:\kavro\mis modulos\quitar.exe self {LOG} environment {ENVIRONMENT} spawn 20000 {HELPER} '
            'delete-key KavroModulos'}})

    @classmethod
    def inspect(cls, prefix):
        cls.environment_seen = suite.read_log(prefix, ENVIRONMENT)
        cls.helper_done = suite.read_log(prefix, HELPER)
        cls.temp_left = list(prefix.c('windows').glob('DesinstalaKavro1-*'))

    @classmethod
    def during_run(cls, prefix, done):
        libc = ctypes.CDLL(None, use_errno=True)
        fd = libc.inotify_init()
        kavro = prefix.c('kavro')
        libc.inotify_add_watch(fd, str(kavro).encode(), 0x200)  # IN_DELETE
        try:
            while not done.is_set() and not cls.swapped:
                if not select.select([fd], [], [], 0.1)[0]:
                    continue
                events = os.read(fd, 4096)
                while events:
                    _, mask, _, length = struct.unpack_from('iIII', events)
                    if events[16:16 + length].rstrip(b'\0') == b'datos':
                        os.rename(kavro, prefix.c('kavro.antes'))
                        os.symlink(prefix.c('fuera'), kavro)
                        cls.swapped = True
                    events = events[16 + length:]
        finally:
            os.close(fd)

    def test_nothing_behind_the_link_is_deleted(self):
        self.assertTrue(self.swapped)
        self.assertTrue(all(self.exists.values()), self.exists)
        self.assertRunEnded(0)

    def test_only_the_registered_program_ran(self):
        self.assertEqual([line.lower() for line in self.log], [r'c:\kavro\mis modulos\quitar.exe'])
        self.assertLogged(r'Ejecutado: "c:\kavro\mis modulos\quitar.exe" self',
                          'un usuario corriente podría haber sustituido sus programas')

    def test_the_uninstaller_inherits_nothing_of_ours_and_its_temp_is_its_own(self):
        [seen] = self.environment_seen
        temp = re.fullmatch(r'carpeta=C:\\windows\\system32 temp=(C:\\windows\\DesinstalaKavro1-[0-9a-f]{16}) '
                            r'tmp=(\S+) salida=\S+', seen, re.IGNORECASE)
        self.assertTrue(temp and temp.group(1) == temp.group(2), seen)
        self.assertLogged('Carpeta temporal de los desinstaladores (TEMP y TMP): ' + temp.group(1))
        self.assertEqual(self.temp_left, [])  # removed at the end
        output, extra = self.report.first('output'), self.report.first('extra')
        self.assertTrue(output and extra, self.report)  # both pipes closed when the program ended,
        self.assertLess(output['closedAfterExitMs'], 5000)  # the second one none of its standard
        self.assertLess(extra['closedAfterExitMs'], 5000)  # handles...
        self.assertEqual(self.helper_done, [])  # ...while the helper still ran
        # Only the program's own line came through: not what the uninstaller wrote.
        self.assertEqual(output['text'], 'Registro: ' + r'C:\windows\logs\Software\DesinstalaKavro1.log' + '\r\n')


class LinksInsideTheInstallFolderTest(Scenario):
    """Links a user planted inside c:\\kavro before the run: the data folder, and the folder of
    modules, which an uninstaller deletes from by path, and a hard link to a file elsewhere.
    Nothing behind any of them is touched: each link is removed before anything runs, or (where
    that cannot be done, as under Wine) nothing runs from c:\\kavro and the component remains;
    the hard link's other name keeps its permissions."""
    name = 'links-data-folder'
    watched = tuple('C:\\' + p for p in OUTSIDE) + (
        r'C:\fuera\modulos\contabilidad.dll', r'C:\kavro\datos', r'C:\kavro\modulos')

    @classmethod
    def prepare(cls, prefix):
        outside_folder(prefix)
        prefix.c(r'fuera\modulos').mkdir()
        prefix.c(r'fuera\modulos\contabilidad.dll').write_bytes(b'MZ')
        prefix.c('kavro').mkdir()
        os.symlink(prefix.c(r'fuera\datos'), prefix.c(r'kavro\datos'))
        os.symlink(prefix.c(r'fuera\modulos'), prefix.c(r'kavro\modulos'))
        prefix.c(r'fuera\ajeno.exe').write_bytes(b'MZ')
        prefix.c(r'fuera\ajeno.exe').chmod(0o666)
        os.link(prefix.c(r'fuera\ajeno.exe'), prefix.c(r'kavro\ajeno.exe'))
        suite.register(prefix, component(prefix, 'KavroModulos', 'Kavro módulos', 'delete',
                                         r'C:\kavro\modulos\contabilidad.dll'))

    @classmethod
    def inspect(cls, prefix):
        cls.registered = prefix.has_uninstall_entry('KavroModulos')
        cls.hard_link = (prefix.c(r'fuera\ajeno.exe').stat().st_mode & 0o777, prefix.c(r'kavro\ajeno.exe').exists())

    def test_nothing_behind_the_links_is_touched(self):
        for path in self.watched[:-2]:
            self.assertTrue(self.exists[path], path)
        self.assertEqual(self.hard_link, (0o666, False))
        self.assertLogged(r'Quitado el enlace c:\kavro\ajeno.exe')
        # Windows removes each link itself, and the uninstaller then runs; Wine 8 cannot remove
        # a link to a folder without following it: nothing runs, and with the component left
        # the clean-up keeps the data folder (here the link) for the retry.
        if self.exists[r'C:\kavro\modulos']:
            self.assertEqual((self.log, self.registered), ([], True))
            self.assertLogged(r'No se pudo hacer de los administradores c:\kavro\modulos',
                              'No se ejecuta la desinstalación de la clave KavroModulos',
                              r'Se conserva la carpeta de datos c:\kavro\datos')
            self.assertRunEnded(3)
        else:
            self.assertFalse(self.registered)
            self.assertRunEnded(0)


class FileLinksTest(Scenario):
    """Links to files, which Wine shows as plain files: one inside the data folder and one
    among the executables swept. What they point to survives, with its permissions."""
    name = 'links-to-files'
    watched = (r'C:\fuera\programa.exe', r'C:\fuera\datos\importante.dat')

    @classmethod
    def prepare(cls, prefix):
        outside_folder(prefix)
        for target in cls.watched:
            prefix.c(target).chmod(0o666)
        (prefix.c(r'kavro\datos')).mkdir(parents=True)
        (prefix.c(r'kavro\datos\a.dat')).write_text('x')
        os.symlink(prefix.c(r'fuera\datos\importante.dat'), prefix.c(r'kavro\datos\enlace.dat'))
        os.symlink(prefix.c(r'fuera\programa.exe'), prefix.c(r'kavro\enlace.exe'))

    @classmethod
    def inspect(cls, prefix):
        cls.modes = [prefix.c(target).stat().st_mode & 0o777 for target in cls.watched]

    def test_what_the_links_point_to_survives(self):
        self.assertTrue(all(self.exists.values()), self.exists)
        self.assertEqual(self.modes, [0o666, 0o666])  # never given the administrators' permissions
        # Windows removes each link itself; Wine cannot without following it: the error box.
        self.assertIn(self.report.exit_code, (0, 2), self.report)
        self.assertRunEnded(self.report.exit_code)
