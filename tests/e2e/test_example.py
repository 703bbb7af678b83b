"""The built-in example of scripts/demo, removed by one run of the program: what the demo
shows is what the program does."""
import unittest

from bed import paths, program, suite
from bed.prefix import Prefix


class ExampleSuiteTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with Prefix('e2e-example') as prefix:
            suite.install_example(prefix, uninstaller_ms=600)
            cls.before = suite.snapshot(prefix)
            bitmap = prefix.path / 'window.bmp'
            cls.report = program.run(prefix, '--snapshot', paths.windows_path(bitmap))
            cls.after = suite.snapshot(prefix)
            cls.picture = bitmap.read_bytes() if bitmap.exists() else b''

    def test_the_example_was_installed(self):
        self.assertEqual(self.before['component_folders'], ['contabilidad', 'nominas'])
        self.assertTrue(self.before['visor_installed'])
        self.assertTrue(self.before['shortcut'])
        self.assertEqual(len(self.before['data_files']), 12)

    def test_the_suite_is_gone_and_everything_else_stays(self):
        self.assertEqual(self.after['programs'],
                         ['Calculadora científica', 'Editor de textos', 'LUMBEKAVRO'])
        self.assertEqual(self.after['install_folder'], ['kavro.dll', 'kavro.exe', 'leeme.txt', 'modulos\\'])
        self.assertEqual(self.after['component_folders'], [])
        self.assertIsNone(self.after['data_files'])
        self.assertFalse(self.after['visor_installed'])
        self.assertFalse(self.after['shortcut'])
        self.assertEqual(self.report.messages, [])
        self.assertEqual(self.report.exit_code, 0, self.report)

    def test_a_picture_of_the_window_was_taken_while_an_uninstaller_ran(self):
        shot = self.report.first('snapshot')
        self.assertTrue(shot and shot['written'], self.report)
        selected = [e for e in self.report.all('selected') if e['index'] >= 0 and e['t'] <= shot['t']]
        self.assertTrue(selected, self.report)
        self.assertEqual(self.picture[:2], b'BM')
        width = int.from_bytes(self.picture[18:22], 'little')
        self.assertGreater(width, 374)  # the client area and the frame Wine draws around it


if __name__ == '__main__':
    unittest.main()
