"""Reliability: the registry provider missing, more subkeys than can be counted, and
uninstall commands that are long or hold characters outside the ANSI code page."""
import unittest

from bed import suite
from bed.scenario import (LOG, SWEPT, Scenario, component, install_folder,
                          put_shortcut)


class ProviderUnavailableTest(Scenario):
    """Without the WMI registry provider the registry functions list the installed programs
    instead, in both views: the suite is found and removed."""
    name = 'no-wmi'
    watched = (r'C:\kavro\datos',) + SWEPT + (r'C:\kavro\kavro.exe',)

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix)
        put_shortcut(prefix)
        suite.register(prefix, component(prefix, 'KavroII', 'Kavro II'))
        suite.register(prefix, component(prefix, 'Kavro64', 'Kavro 64', view=64), view=64)

    @classmethod
    def environment(cls, prefix):
        return {'WINEDLLOVERRIDES': prefix.env()['WINEDLLOVERRIDES'] + ';wbemprox='}

    @classmethod
    def inspect(cls, prefix):
        cls.still_registered = [prefix.has_uninstall_entry('KavroII'),
                                prefix.has_uninstall_entry('Kavro64', view=64)]

    def test_the_suite_is_found_and_removed_all_the_same(self):
        self.assertEqual(self.report.messages, [])
        self.assertEqual(len(self.log), 2)
        self.assertEqual(self.still_registered, [False, False])
        self.assertLogged('vista de 32 bits: ', 'vista de 64 bits: ', 'por las funciones del registro')
        self.assertRunEnded(0)

    def test_only_the_cleanup_deletes(self):
        self.assertFalse(self.exists[r'C:\kavro\datos'])
        for path in SWEPT:
            self.assertFalse(self.exists[path], path)
        self.assertTrue(self.exists[r'C:\kavro\kavro.exe'])
        self.assertFalse(self.shortcut)


class ThirtyThreeThousandSubkeysTest(Scenario):
    """33,000 installed programs: the first 32,767 are looked at; a component past them is
    not; nothing crashes."""
    name = '33000-subkeys'
    timeout = 600

    @classmethod
    def prepare(cls, prefix):
        entries = {f'Prog{i:05d}': {'DisplayName': f'Programa {i}', 'UninstallString': r'C:\otros\quitar.exe'}
                   for i in range(33000)}
        # The registry hands the names over sorted: Prog32766 is the 32,767th, the last one
        # looked at; Prog32767 comes after it.
        # Each uninstaller keeps a window up a moment, so the list can be read meanwhile.
        entries.update(component(prefix, 'Prog32766', 'Kavro último contado', 'window', 800))
        entries.update(component(prefix, 'Prog32767', 'Kavro primero sin contar'))
        suite.register(prefix, entries)

    @classmethod
    def inspect(cls, prefix):
        cls.registered = {key: prefix.has_uninstall_entry(key) for key in ('Prog32766', 'Prog32767')}

    def test_the_last_counted_subkey_is_looked_at_and_the_next_is_not(self):
        self.assertEqual(len(self.log), 1, self.log)
        self.assertIn('Prog32766', self.log[0])
        self.assertEqual(self.registered, {'Prog32766': False, 'Prog32767': True})
        self.assertEqual([r[:100].rstrip() for r in self.report.rows], ['Kavro último contado'])
        self.assertRunEnded(0)


class LongAndForeignCommandsTest(Scenario):
    """A 2,000-character command and one with characters outside code page 1252 both reach
    their uninstaller intact."""
    name = 'long-foreign-commands'

    @classmethod
    def prepare(cls, prefix):
        long_text = ('segmento-' * 250)[:1900]
        foreign = suite.put_uninstaller(prefix, r'C:\desinstaladores\Программа 漢字\quitar Ω.exe')
        cls.commands = {
            'KavroLargo': suite.command(suite.put_uninstaller(prefix, r'C:\desinstaladores\largo.exe'),
                                        'record', LOG, 'note', r'C:\pruebas\nota.log', long_text,
                                        'delete-key', 'KavroLargo'),
            'KavroUnicode': suite.command(foreign, 'record', LOG, 'note', r'C:\pruebas\nota.log',
                                          'Ωμέγα 漢字 ñandú', 'delete-key', 'KavroUnicode'),
        }
        assert len(cls.commands['KavroLargo']) >= 2000
        suite.register(prefix, {key: {'DisplayName': key.replace('Kavro', 'Kavro '), 'UninstallString': command}
                                for key, command in cls.commands.items()})

    @classmethod
    def inspect(cls, prefix):
        cls.notes = suite.read_log(prefix, r'C:\pruebas\nota.log')

    def test_each_uninstaller_got_its_command_intact(self):
        self.assertEqual(self.log, [self.commands['KavroLargo'], self.commands['KavroUnicode']])
        self.assertEqual(self.notes[1], 'Ωμέγα 漢字 ñandú')
        self.assertRunEnded(0)


if __name__ == '__main__':
    unittest.main()
