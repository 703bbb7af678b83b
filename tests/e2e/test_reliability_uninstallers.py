"""Reliability: uninstallers that crash, fail, take long, leave a child behind or are console
programs; and a user who closes the window during the run."""
import unittest

from bed import suite
from bed.scenario import Scenario, component, install_folder

GRANDCHILD_LOG = r'C:\pruebas\nieto.log'


class MisbehavingUninstallersTest(Scenario):
    name = 'misbehaving-uninstallers'
    driver_options = ('--probe',)
    timeout = 300

    @classmethod
    def environment(cls, prefix):
        # The bound on waiting for what an uninstaller left running, 10 minutes outside tests.
        return {'KAVRO_TEST_DESCENDANTS_WAIT_MS': '3000'}

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix)
        suite.register(prefix, {
            **component(prefix, 'Kavro1Falla', 'Kavro que falla', 'crash'),
            **component(prefix, 'Kavro2Codigo', 'Kavro con código de error', 'delete-key', 'Kavro2Codigo', 'exit', 3),
            **component(prefix, 'Kavro3Lento', 'Kavro lento', 'window', 20000),
            **component(prefix, 'Kavro4Padre', 'Kavro que deja un hijo', 'spawn', 20000, GRANDCHILD_LOG),
            **component(prefix, 'Kavro5Consola', 'Kavro de consola', 'sleep', 500, console=True),
        })

    @classmethod
    def inspect(cls, prefix):
        # Read right after the run: the grandchild is still asleep.
        cls.grandchild = suite.read_log(prefix, GRANDCHILD_LOG)
        cls.remaining = {k: prefix.has_uninstall_entry(k) for k in
                         ('Kavro1Falla', 'Kavro2Codigo', 'Kavro3Lento', 'Kavro4Padre', 'Kavro5Consola')}

    def test_every_uninstaller_ran_in_turn(self):
        self.assertEqual([line.split(' ')[0].rsplit('\\', 1)[1] for line in self.log],
                         ['Kavro1Falla.exe', 'Kavro2Codigo.exe', 'Kavro3Lento.exe', 'Kavro4Padre.exe',
                          'Kavro5Consola.exe'])
        # The crashing one never reached its last step, and says so in the exit status; the
        # others removed their entries.
        self.assertEqual(self.remaining, {'Kavro1Falla': True, 'Kavro2Codigo': False, 'Kavro3Lento': False,
                                          'Kavro4Padre': False, 'Kavro5Consola': False})
        self.assertLogged('Kavro1Falla.exe record', 'la entrada sigue registrada')
        self.assertRunEnded(3)

    def test_the_window_answered_while_the_slow_one_ran(self):
        probes = [p for p in self.report.all('probe') if p['row'] == 2]
        self.assertGreater(len(probes), 10, self.report)
        self.assertTrue(all(p['answered'] for p in probes))

    def test_a_child_left_running_is_waited_for_only_up_to_the_bound(self):
        # It sleeps 20 s; the run gave up on it after 3 s, named it, and left it running.
        self.assertEqual(self.grandchild, [])
        self.assertLogged(r'sin esperar más a: C:\desinstaladores\Kavro4Padre.exe')


class CloseDuringRunTest(Scenario):
    """The user closes the window while an uninstaller runs: the run still completes."""
    name = 'close-during-run'
    driver_options = ('--close-during-run',)
    watched = (r'C:\kavro\datos', r'C:\kavro\setup.exe')

    @classmethod
    def prepare(cls, prefix):
        install_folder(prefix)
        suite.register(prefix, {
            **component(prefix, 'KavroA', 'Kavro A', 'window', 1500),
            **component(prefix, 'KavroB', 'Kavro B', 'window', 500),
        })

    def test_the_run_completes(self):
        self.assertTrue(self.report.first('close-sent'), self.report)
        self.assertEqual(len(self.log), 2)
        self.assertFalse(self.exists[r'C:\kavro\datos'])
        self.assertFalse(self.exists[r'C:\kavro\setup.exe'])
        self.assertRunEnded(0)


if __name__ == '__main__':
    unittest.main()
