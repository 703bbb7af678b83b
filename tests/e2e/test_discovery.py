"""Discovery in a real Wine registry: which installed programs are listed, in what order and
with what rows, and the message when the suite is not installed."""
import unittest

from bed import program
from bed.prefix import Prefix, uninstall_reg

NOT_INSTALLED = 'La aplicación KavroII No está instalada en el equipo'


def row(name, command):
    return name[:100].ljust(100) + command


class SuiteRegisteredTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with Prefix('e2e-discovery') as prefix:
            # Registered in this order; the registry hands them over in its own (sorted) order.
            prefix.reg_import(uninstall_reg({
                '{A1}': {'DisplayName': 'Kavro II Contabilidad',
                         'UninstallString': r'C:\NoExiste\quitar-contabilidad.exe'},
                'KavroNominas': {'DisplayName': 'Nóminas kavro',
                                 'UninstallString': r'"C:\No Existe\quitar nóminas.exe" /s'},
                'Lumbe': {'DisplayName': 'LUMBEKAVRO', 'UninstallString': r'C:\NoExiste\lumbe.exe'},
                'LumbePro': {'DisplayName': 'LumbeKavro Pro', 'UninstallString': r'C:\NoExiste\lumbepro.exe'},
                'Editor': {'DisplayName': 'Editor de textos', 'UninstallString': r'C:\NoExiste\editor.exe'},
                'SinNombre': {'UninstallString': r'C:\NoExiste\kavro.exe'},
            }), view=32)
            # A 32-bit program sees the 32-bit view only: this one is not looked at.
            prefix.reg_import(uninstall_reg({
                'Kavro64': {'DisplayName': 'Kavro 64 bits', 'UninstallString': r'C:\NoExiste\k64.exe'},
            }), view=64)
            cls.report = program.run(prefix, '--close')

    def test_components_are_listed_in_enumeration_order_with_their_rows(self):
        self.assertEqual(self.report.rows, [
            row('Nóminas kavro', r'"C:\No Existe\quitar nóminas.exe" /s'),
            row('LumbeKavro Pro', r'C:\NoExiste\lumbepro.exe'),
            row('Kavro II Contabilidad', r'C:\NoExiste\quitar-contabilidad.exe'),
        ], self.report)

    def test_no_message_says_the_suite_is_missing(self):
        self.assertNotIn(NOT_INSTALLED, [m['text'] for m in self.report.messages])
        self.assertFalse(self.report.timed_out, self.report)


class SuiteNotInstalledTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with Prefix('e2e-not-installed') as prefix:
            prefix.reg_import(uninstall_reg({
                'Lumbe': {'DisplayName': 'LumbeKavro', 'UninstallString': r'C:\NoExiste\lumbe.exe'},
                'Editor': {'DisplayName': 'Editor de textos', 'UninstallString': r'C:\NoExiste\editor.exe'},
            }), view=32)
            cls.report = program.run(prefix, '--close')

    def test_message_with_its_exact_text_and_title(self):
        self.assertEqual(len(self.report.messages), 1, self.report)
        message = self.report.messages[0]
        self.assertEqual(message['title'], 'DesinstalaKavro')
        self.assertEqual(message['text'], NOT_INSTALLED)
        self.assertEqual(len(message['buttons']), 1)
        self.assertTrue(message['icon'])
        self.assertTrue(message['ownedByMain'])

    def test_list_stays_empty(self):
        self.assertEqual(self.report.rows, [])
        self.assertEqual(self.report.exit_code, 0, self.report)


if __name__ == '__main__':
    unittest.main()
