"""The program's window as a user sees it, under Wine at 96 DPI."""
import unittest

from bed import program
from bed.prefix import Prefix

WS_CAPTION, WS_SYSMENU = 0x00C00000, 0x00080000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_THICKFRAME = 0x00020000, 0x00010000, 0x00040000
WS_EX_APPWINDOW = 0x00040000


class WindowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with Prefix('e2e-window') as prefix:
            cls.report = program.run(prefix, '--close')

    def test_window_is_the_designed_form(self):
        w = self.report.window
        self.assertIsNotNone(w, self.report)
        self.assertEqual(w['caption'], 'Desinstalador KavroII')
        self.assertEqual(w['client'], [0, 0, 374, 105])
        self.assertEqual(w['style'] & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU)
        self.assertEqual(w['style'] & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0)

    def test_window_is_centred_and_has_no_taskbar_button(self):
        w = self.report.window
        frame, screen = w['frame'], w['monitor']
        self.assertLessEqual(abs((frame[0] + frame[2]) - (screen[0] + screen[2])), 1)
        self.assertLessEqual(abs((frame[1] + frame[3]) - (screen[1] + screen[3])), 1)
        self.assertTrue(w['owned'])
        self.assertFalse(w['exstyle'] & WS_EX_APPWINDOW)

    def test_controls_label_and_empty_list(self):
        controls = [(c['class'].lower(), c['id'], c['visible'], c['rect']) for c in self.report.window['controls']]
        self.assertEqual(controls, [
            ('listbox', 101, False, [181, 7, 203, 26]),   # File1
            ('listbox', 102, True, [12, 25, 364, 93]),     # LstKeys
            ('static', 103, True, [11, 7, 180, 22]),       # Label1
        ])
        self.assertEqual(self.report.window['controls'][2]['text'], 'Componentes a desinstalar')
        self.assertEqual(self.report.window['focusId'], 102)
        self.assertEqual(self.report.all('rows')[0]['rows'], [])

    def test_program_ends_cleanly(self):
        self.assertFalse(self.report.timed_out, self.report)
        self.assertEqual(self.report.exit_code, 0, self.report)


if __name__ == '__main__':
    unittest.main()


class HighDpiTest(unittest.TestCase):
    """At 150 % (144 DPI) the form is laid out anew in real pixels, not stretched."""

    @classmethod
    def setUpClass(cls):
        with Prefix('e2e-window-144dpi') as prefix:
            prefix.reg_import('[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:00000090\n', view=64)
            cls.report = program.run(prefix, '--close')

    def test_client_area_and_controls_scale_with_the_dpi(self):
        w = self.report.window
        self.assertIsNotNone(w, self.report)
        self.assertEqual(w['client'], [0, 0, 561, 158])
        rects = [c['rect'] for c in w['controls']]
        self.assertEqual(rects, [[272, 11, 305, 40], [18, 38, 546, 140], [17, 11, 271, 34]])
        self.assertEqual(self.report.exit_code, 0, self.report)
