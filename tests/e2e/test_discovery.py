"""Discovery in a real Wine registry: which installed programs are listed, in what order and
with what rows, and the message when the suite is not installed."""
import unittest

from bed import program, suite
from bed.prefix import Expandable, Prefix, uninstall_reg
from bed.scenario import LOG, Scenario, component, put_shortcut

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
            # The 64-bit view of 64-bit Windows is listed after the 32-bit one.
            prefix.reg_import(uninstall_reg({
                'Kavro64': {'DisplayName': 'Kavro 64 bits', 'UninstallString': r'C:\NoExiste\k64.exe'},
                'Otro64': {'DisplayName': 'Controlador de red', 'UninstallString': r'C:\NoExiste\red.exe'},
            }), view=64)
            cls.report = program.run(prefix, '--close')

    def test_components_are_listed_in_enumeration_order_with_their_rows(self):
        self.assertEqual(self.report.rows, [
            row('Nóminas kavro', r'"C:\No Existe\quitar nóminas.exe" /s'),
            row('LumbeKavro Pro', r'C:\NoExiste\lumbepro.exe'),
            row('Kavro II Contabilidad', r'C:\NoExiste\quitar-contabilidad.exe'),
            row('Kavro 64 bits', r'C:\NoExiste\k64.exe'),
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


class SixtyFourBitAndPublicDesktopTest(Scenario):
    """A component registered only in the 64-bit view is removed after the 32-bit ones, each
    view's %ProgramFiles% meant as its programs mean it; the suite's shortcut goes from the
    desktop shared by all users too, and from another user's profile's; a name carrying the
    log's own markers stays one entry of the log."""
    name = 'view64-public-desktop'

    @classmethod
    def prepare(cls, prefix):
        put_shortcut(prefix)
        put_shortcut(prefix, public=True)
        put_shortcut(prefix, public=True, name='Otro.lnk')
        ana = prefix.c(r'users\ana\Desktop')
        ana.mkdir(parents=True)
        for name in ('KavroII.lnk', 'Otro.lnk'):
            (ana / name).write_bytes(b'L\0\0\0')
        prefix.reg_import('[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList'
                          '\\S-1-5-21-0-0-0-1001]\n"ProfileImagePath"="C:\\\\users\\\\ana"\n', view=64)
        suite.register(prefix, component(prefix, 'KavroII', 'Kavro II <![LOG[falso]LOG]!> marcas'))
        # As 64-bit Windows means them: its own %ProgramFiles%, and its own System32 (this
        # 32-bit program's is SysWOW64).
        for folder in (r'Program Files\Kavro64\quitar.exe', r'windows\system32\kavro64.exe',
                       r'Program Files (x86)\Kavro32\quitar.exe'):
            suite.put_uninstaller(prefix, 'C:\\' + folder)
        # And a 32-bit one's %ProgramFiles% as the 32-bit program means it, whichever build runs.
        suite.register(prefix, {'KavroExpandido32': {'DisplayName': 'Kavro expandido 32', 'UninstallString': Expandable(
            r'"%ProgramFiles%\Kavro32\quitar.exe" self ' + LOG + ' delete-key KavroExpandido32')}})
        suite.register(prefix, {
            **component(prefix, 'KavroServicio', 'Kavro servicio 64', view=64),
            'KavroExpandido': {'DisplayName': 'Kavro expandido 64', 'UninstallString': Expandable(
                r'"%ProgramFiles%\Kavro64\quitar.exe" self ' + LOG + ' delete-key64 KavroExpandido')},
            'KavroSistema': {'DisplayName': 'Kavro sistema 64', 'UninstallString':
                             r'C:\Windows\System32\kavro64.exe self ' + LOG + ' delete-key64 KavroSistema'},
            'Controlador': {'DisplayName': 'Controlador de red', 'UninstallString': r'C:\NoExiste\red.exe'},
        }, view=64)

    @classmethod
    def inspect(cls, prefix):
        cls.view64 = sorted(prefix.uninstall_entries(view=64))
        cls.view32 = sorted(prefix.uninstall_entries(view=32))
        cls.public = sorted(p.name for p in prefix.public_desktop.iterdir())
        cls.ana = sorted(p.name for p in prefix.c(r'users\ana\Desktop').iterdir())

    def test_the_64_bit_components_are_listed_last_and_removed_and_the_rest_stays(self):
        self.assertEqual([r[:100].rstrip() for r in self.report.rows],
                         ['Kavro expandido 32', 'Kavro II <![LOG[falso]LOG]!> marcas', 'Kavro expandido 64',
                          'Kavro servicio 64', 'Kavro sistema 64'])
        self.assertNotIn(None, [kind for _, kind in self.run_entries])  # each line one entry
        self.assertEqual(len(self.log), 5)
        self.assertIn(r'C:\Program Files\Kavro64\quitar.exe'.lower(), [line.lower() for line in self.log])
        self.assertIn(r'C:\Program Files (x86)\Kavro32\quitar.exe'.lower(), [line.lower() for line in self.log])
        self.assertNotIn('KavroExpandido32', self.view32)
        self.assertIn(r'c:\windows\system32\kavro64.exe', [line.lower() for line in self.log])
        self.assertEqual(sorted(self.view64), ['Controlador'])
        self.assertLogged('clave KavroServicio (vista de 64 bits)')
        self.assertRunEnded(0)

    def test_the_public_and_other_profiles_shortcuts_go_and_others_stay(self):
        self.assertEqual((self.public, self.ana), (['Otro.lnk'], ['Otro.lnk']))
        self.assertFalse(self.shortcut)


if __name__ == '__main__':
    unittest.main()
