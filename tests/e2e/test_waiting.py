"""Waiting for the real end of each uninstall, and an exit status a deployment agent can
trust: an uninstaller that hands over to a copy of itself, a Windows Installer product
registered by its product code, a sub-component removed by the main uninstaller, and the exit
statuses of uninstallers that fail, say "try again later" or ask for a restart."""
import subprocess
import unittest

from bed import program, suite
from bed.prefix import UNINSTALL_KEY, Prefix
from bed.scenario import LOG, Scenario, component, install_folder

EXISTS_LOG = r'C:\pruebas\existe.log'


class WholeUninstallTest(Scenario):
    name = 'whole-uninstall'
    watched = (r'C:\kavro\datos', suite.INFORMES_FOLDER, r'C:\desinstaladores\Kavro3Sub.exe')

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix)
        suite.install_informes(prefix)
        cls.informes_before = prefix.uninstall_entries().get(suite.INFORMES_PRODUCT_CODE, {})
        suite.register(prefix, {
            # Hands over to a copy that works 3 s after the uninstaller itself has ended.
            **component(prefix, 'Kavro1Entrega', 'Kavro entrega', 'hand-over', 'sleep', 3000,
                        'exists', r'C:\kavro\datos', EXISTS_LOG, 'note', LOG, 'fin-de-la-copia'),
            # The suite's main uninstaller also removes a sub-component, entry and file.
            **component(prefix, 'Kavro2Principal', 'Kavro II', 'delete-key', 'Kavro3Sub',
                        'delete', r'C:\desinstaladores\Kavro3Sub.exe'),
            **component(prefix, 'Kavro3Sub', 'Kavro sub'),
        })

    @classmethod
    def inspect(cls, prefix):
        cls.entries = prefix.uninstall_entries()
        cls.existed = suite.read_log(prefix, EXISTS_LOG)

    def test_the_product_was_registered_by_its_product_code(self):
        self.assertEqual(self.informes_before.get('UninstallString'),
                         f'MsiExec.exe /I{suite.INFORMES_PRODUCT_CODE}')

    def test_everything_is_removed_without_a_box(self):
        self.assertEqual(self.report.messages, [])
        for key in ('Kavro1Entrega', 'Kavro2Principal', 'Kavro3Sub', suite.INFORMES_PRODUCT_CODE):
            self.assertNotIn(key, self.entries)
        self.assertFalse(self.exists[suite.INFORMES_FOLDER])
        self.assertRunEnded(0)

    def test_the_next_component_and_the_cleanup_waited_for_the_copy(self):
        self.assertEqual([line.split(' ')[0].rsplit('\\', 1)[-1] for line in self.log],
                         ['Kavro1Entrega.exe', 'fin-de-la-copia', 'Kavro2Principal.exe'])
        self.assertEqual(self.existed, [r'C:\kavro\datos sí'])
        self.assertFalse(self.exists[r'C:\kavro\datos'])
        self.assertLogged(r'esperados también: C:\desinstaladores\Kavro1Entrega.exe',
                          'Ya desinstalado: la clave Kavro3Sub',
                          f'msiexec.exe /x {suite.INFORMES_PRODUCT_CODE} /passive /norestart')


class ExitStatusesTest(unittest.TestCase):
    """Four runs in one prefix, each with two uninstallers: what each exit status says, and
    which wins when several apply."""
    RUNS = {
        'falla-y-reinicio': ((('exit', 1603), ('delete-key', 'K', 'exit', 3010)), 3),
        'reintentar': ((('exit', 1603), ('exit', 1618)), 1618),
        'reinicio': ((('delete-key', 'K', 'exit', 3010), ('delete-key', 'K', 'exit', 1641)), 3010),
        'sin-arrancar': ((('exit', 1618), None), 1),
    }

    @classmethod
    def setUpClass(cls):
        cls.seen = {}
        with Prefix('e2e-exit-statuses') as prefix:
            prefix.c('pruebas').mkdir()
            for run, (uninstallers, _) in cls.RUNS.items():
                entries = {}
                for i, steps in enumerate(uninstallers):
                    key = f'Kavro{i}{run}'
                    if steps is None:
                        entries[key] = {'DisplayName': key, 'UninstallString': r'C:\NoExiste\quitar.exe'}
                    else:
                        entries.update(component(prefix, key, key, *(key if s == 'K' else s for s in steps)))
                suite.register(prefix, entries)
                report = program.run(prefix, '--hidden-station', timeout=90)
                cls.seen[run] = (report.exit_code, program.run_log(prefix)[-1])
                for key in entries:  # what a failed uninstaller left, so the next run starts clean
                    prefix.wine('reg', 'delete', f'{UNINSTALL_KEY}\\{key}', '/f', '/reg:32', check=False,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def test_each_run_ends_with_the_status_that_wins(self):
        for run, (_, status) in self.RUNS.items():
            with self.subTest(run):
                code, last_line = self.seen[run]
                self.assertEqual(code, status)
                self.assertTrue(last_line.startswith(f'Fin: código de salida {status} '), last_line)


if __name__ == '__main__':
    unittest.main()
