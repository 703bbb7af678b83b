"""Runs nobody can answer: a window station no user sees (as for a deployment agent running as
SYSTEM), /quiet, the usage text, the log's place, a log that cannot be written or is a link,
and a user without a desktop folder."""
import os
import shutil
import unittest

from bed import program, suite
from bed.prefix import Prefix
from bed.scenario import (LOG, NOT_INSTALLED, SWEPT, Scenario, component, install_folder,
                          put_shortcut)

MISSING = r'C:\NoExiste\quitar.exe'


class HiddenStationNotInstalledTest(Scenario):
    name = 'hidden-not-installed'
    driver_options = ('--hidden-station',)
    watched = (r'C:\kavro\datos',) + SWEPT
    timeout = 90

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix)
        put_shortcut(prefix)

    def test_ends_by_itself_with_the_message_in_the_log_and_the_cleanup_done(self):
        self.assertRunEnded(0)
        self.assertLogged('sin nadie que pueda responder', 'Mensaje: ' + NOT_INSTALLED,
                          r'Borrada la carpeta de datos c:\kavro\datos (2 archivos)',
                          r'Borrado el ejecutable c:\kavro\setup.exe')
        self.assertFalse(any(self.exists.values()), self.exists)
        self.assertFalse(self.shortcut)


class HiddenStationCommandMissingTest(Scenario):
    name = 'hidden-command-missing'
    driver_options = ('--hidden-station',)
    watched = (r'C:\kavro\datos',)
    timeout = 90

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix)
        suite.register(prefix, {'KavroAyuda': {'DisplayName': 'Kavro Ayuda', 'UninstallString': MISSING},
                                **component(prefix, 'KavroII', 'Kavro II')})

    def test_ends_by_itself_with_status_one_and_the_text_in_the_log(self):
        self.assertRunEnded(1)
        self.assertLogged(f'Mensaje: El programa: {MISSING} NO puede ser Ejecutado NO EXISTE.')
        self.assertEqual(len(self.log), 1)  # the other component still ran
        self.assertFalse(self.exists[r'C:\kavro\datos'])


class QuietTest(Scenario):
    """/quiet from the user's own desktop, with a user without a desktop folder."""
    name = 'quiet-no-desktop'
    args = ('/QUIET',)
    watched = (r'C:\kavro\datos',)

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix)
        suite.register(prefix, component(prefix, 'KavroII', 'Kavro II', 'sleep', 300))
        shutil.rmtree(prefix.desktop)

    @classmethod
    def inspect(cls, prefix):
        cls.registered = prefix.has_uninstall_entry('KavroII')

    def test_no_window_no_box_and_the_run_goes_on_without_a_desktop(self):
        self.assertIsNone(self.report.first('shown'), self.report)
        self.assertEqual(self.report.messages, [])
        self.assertFalse(self.registered)
        self.assertFalse(self.exists[r'C:\kavro\datos'])
        self.assertLogged('No hay carpeta de escritorio')
        self.assertRunEnded(0)


class CommandLineAndLogTest(unittest.TestCase):
    """Several runs in one prefix: /? and an unknown switch do nothing; /log writes where it is
    told; a log that cannot be written, and a default log that is a link to another file,
    change nothing in the run and never touch that file."""

    @classmethod
    def setUpClass(cls):
        with Prefix('e2e-command-line') as prefix:
            install_folder(prefix)
            prefix.c('pruebas').mkdir()
            suite.register(prefix, component(prefix, 'KavroII', 'Kavro II'))
            cls.help = program.run(prefix, args=('/?',))
            cls.invalid = program.run(prefix, args=('/desinstalar',))
            cls.log_after_refusals = program.run_log(prefix)
            cls.data_after_refusals = prefix.c(r'kavro\datos').exists()
            cls.ran_after_refusals = list(suite.read_log(prefix, LOG))

            prefix.temp.mkdir(parents=True, exist_ok=True)
            (prefix.temp / 'DesinstalaKavro1.log').unlink(missing_ok=True)
            # The default log made a hard link to a file of someone else's, and the /log file a
            # symbolic link to another: neither target may change.
            (prefix.c('pruebas') / 'ajeno.txt').write_text('ajeno\n')
            (prefix.c('pruebas') / 'otro.txt').write_text('otro\n')
            os.link(prefix.c(r'pruebas\ajeno.txt'), prefix.temp / 'DesinstalaKavro1.log')
            os.symlink(prefix.c(r'pruebas\otro.txt'), prefix.c(r'pruebas\enlace.log'))
            cls.linked_default = program.run(prefix)
            cls.linked_given = program.run(prefix, args=('/log', r'C:\pruebas\enlace.log'))
            cls.targets = [(prefix.c('pruebas') / n).read_text() for n in ('ajeno.txt', 'otro.txt')]
            cls.fresh = sorted(p.name for p in prefix.temp.glob('DesinstalaKavro1-*.log')) + \
                sorted(p.name for p in prefix.c('pruebas').glob('enlace-*.log'))

            cls.unwritable = program.run(prefix, args=('/log', r'C:\NoExiste\registro.log'))
            os.makedirs(prefix.c('Mis registros'))
            cls.given = program.run(prefix, args=('/log', r'C:\Mis registros\k.log'))
            cls.given_log = program.run_log(prefix, r'C:\Mis registros\k.log')
            cls.given_bytes = prefix.c(r'Mis registros\k.log').read_bytes()

    def test_usage_and_invalid_switch_do_nothing(self):
        self.assertEqual(self.help.exit_code, 0, self.help)
        self.assertEqual(self.invalid.exit_code, 1639, self.invalid)
        for report in (self.help, self.invalid):
            self.assertEqual(len(report.messages), 1, report)
            self.assertIn('/quiet', report.messages[0]['text'])
            self.assertIn('1639', report.messages[0]['text'])
        self.assertTrue(self.data_after_refusals)
        self.assertEqual(self.ran_after_refusals, [])
        self.assertTrue(self.log_after_refusals[-1].startswith('Fin: código de salida 1639 '))

    def test_a_linked_log_is_never_written_through(self):
        self.assertEqual(self.targets, ['ajeno\n', 'otro\n'])
        self.assertEqual(self.linked_default.exit_code, 0, self.linked_default)
        self.assertEqual(self.linked_given.exit_code, 0, self.linked_given)
        self.assertEqual(len(self.fresh), 2, self.fresh)  # a name of its own beside each

    def test_an_unwritable_log_changes_nothing_and_a_given_one_is_written(self):
        self.assertEqual(self.unwritable.exit_code, 0, self.unwritable)
        self.assertEqual(self.given.exit_code, 0, self.given)
        self.assertTrue(self.given_log[0].startswith('Inicio: DesinstalaKavro 1.00'), self.given_log)
        self.assertIn(r'/log "C:\Mis registros\k.log"', self.given_log[0])
        self.assertTrue(self.given_log[-1].startswith('Fin: código de salida 0 '))
        # UTF-8 with its mark and CRLF line ends, every line stamped: what Notepad and the
        # deployment tools' log viewers read.
        self.assertTrue(self.given_bytes.startswith(b'\xef\xbb\xbf'))
        lines = self.given_bytes[3:].decode('utf-8').split('\r\n')
        self.assertEqual(lines[-1], '')
        self.assertTrue(all(program.STAMP.match(line) for line in lines[:-1]), lines)


if __name__ == '__main__':
    unittest.main()
