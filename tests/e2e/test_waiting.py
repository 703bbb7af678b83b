"""Waiting for the real end of each uninstall: an uninstaller that hands over to a copy of
itself, a Windows Installer product registered by its product code, and a sub-component
removed by the main uninstaller. (The exit statuses of uninstallers that fail, say "try again
later" or ask for a restart are checked in test_unattended, where agents run the program.)"""
import unittest

from bed import suite
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
        cls.msiexec_log = prefix.default_log.parent / f'DesinstalaKavro1-msi-{suite.INFORMES_PRODUCT_CODE}.log'
        cls.msiexec_logged = cls.msiexec_log.exists() and cls.msiexec_log.stat().st_size > 0

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
                          f'msiexec.exe /x {suite.INFORMES_PRODUCT_CODE} /passive /norestart /L*v+ '
                          rf'"C:\windows\logs\Software\DesinstalaKavro1-msi-{suite.INFORMES_PRODUCT_CODE}.log"',
                          'registro de msiexec: ')
        self.assertTrue(self.msiexec_logged)  # msiexec's own verbose log, beside ours


if __name__ == '__main__':
    unittest.main()
