"""The uninstallers of a registered suite really run, one after another, in list order: two
programs of ours and a real Windows Installer package, with one command that does not exist."""
import unittest

from bed import program, suite
from bed.prefix import Prefix

LOG = r'C:\pruebas\registro.log'
MISSING = r'C:\NoExiste\quitar-ayuda.exe'


class UninstallersTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with Prefix('e2e-uninstallers') as prefix:
            prefix.c('pruebas').mkdir()
            for folder in ('contabilidad', 'nominas'):
                (prefix.c('kavro') / folder).mkdir(parents=True)
                (prefix.c('kavro') / folder / 'datos.dat').write_text('x')
            quitar = suite.put_uninstaller(prefix, r'C:\kavro\desinstalar.exe')
            nominas = suite.put_uninstaller(prefix, r'C:\kavro\quitar nóminas.exe')
            recorder = suite.put_uninstaller(prefix, r'C:\otros\quitar.exe')
            suite.install_visor(prefix)
            # The subkey names set the enumeration order: Ayuda, II, Nominas, Visor.
            suite.register(prefix, {
                'KavroAyuda': {'DisplayName': 'Kavro Ayuda', 'UninstallString': MISSING},
                'KavroII': {'DisplayName': 'Kavro II', 'UninstallString': suite.command(
                    quitar, 'record', LOG, 'window', 700, 'delete', r'C:\kavro\contabilidad',
                    'delete-key', 'KavroII')},
                'KavroNominas': {'DisplayName': 'Nóminas para KAVRO', 'UninstallString': suite.command(
                    nominas, 'record', LOG, 'sleep', 700, 'delete', r'C:\kavro\nominas',
                    'delete-key', 'KavroNominas')},
                'Lumbe': {'DisplayName': 'LUMBEKAVRO', 'UninstallString': suite.command(recorder, 'record', LOG)},
                'Editor': {'DisplayName': 'Editor de textos', 'UninstallString': suite.command(recorder, 'record', LOG)},
            })
            cls.before = prefix.uninstall_entries()
            cls.report = program.run(prefix, '--close')
            cls.after = prefix.uninstall_entries()
            cls.log = suite.read_log(prefix, LOG)
            cls.files = {p: prefix.c(p).exists() for p in
                         (r'C:\kavro\contabilidad', r'C:\kavro\nominas', suite.VISOR_FOLDER)}

    def test_the_package_was_really_installed_before_the_run(self):
        self.assertIn(suite.VISOR_PRODUCT_CODE, self.before)
        self.assertEqual(self.before['KavroVisor']['UninstallString'], suite.VISOR_MSI)

    def test_every_component_is_gone_and_nothing_else(self):
        for gone in ('KavroII', 'KavroNominas', 'KavroVisor', suite.VISOR_PRODUCT_CODE):
            self.assertNotIn(gone, self.after, self.report)
        for kept in ('KavroAyuda', 'Lumbe', 'Editor'):
            self.assertIn(kept, self.after)
        self.assertEqual(self.files, {r'C:\kavro\contabilidad': False, r'C:\kavro\nominas': False,
                                      suite.VISOR_FOLDER: False})

    def test_uninstallers_ran_in_list_order_each_once_with_the_command_intact(self):
        self.assertEqual(len(self.log), 2, self.log)
        self.assertTrue(self.log[0].startswith(r'C:\kavro\desinstalar.exe record'), self.log)
        self.assertTrue(self.log[1].startswith(r'"C:\kavro\quitar nóminas.exe" record'), self.log)
        rows = self.report.all('rows')[-1]['rows']
        self.assertEqual([r[:100].rstrip() for r in rows],
                         ['Kavro Ayuda', 'Kavro II', 'Nóminas para KAVRO', 'Kavro II Visor'])
        selected = [e['index'] for e in self.report.all('selected') if e['index'] >= 0]
        self.assertEqual(selected, sorted(set(selected)))
        self.assertIn(3, selected)

    def test_the_missing_command_is_reported_and_the_rest_still_run(self):
        self.assertEqual([(m['title'], m['text']) for m in self.report.messages],
                         [('Mensaje', f'El programa: {MISSING} NO puede ser Ejecutado NO EXISTE.')])

    def test_close_requests_during_the_run_are_refused(self):
        # The driver asks to close every half second from the moment the list is filled; the
        # window still saw every row through.
        first_row = self.report.all('selected')[1]['t']
        last_row = [e for e in self.report.all('selected') if e['index'] == 3][0]['t']
        closes = [e['t'] for e in self.report.all('close-sent') if first_row <= e['t'] <= last_row]
        self.assertGreaterEqual(len(closes), 2, self.report)
        self.assertFalse(self.report.timed_out, self.report)

    def test_exit_status_says_a_command_could_not_be_started(self):
        self.assertEqual(self.report.exit_code, 1, self.report)


if __name__ == '__main__':
    unittest.main()
