"""Runs nobody can answer: a window station no user sees (as for a deployment agent running as
SYSTEM), with the exit statuses such an agent reads, /quiet, the usage text, the log's place,
a log that cannot be written or is a link, and a user without a desktop folder."""
import concurrent.futures
import os
import re
import shutil
import subprocess
import time
import unittest

from bed import paths, program, suite
from bed.prefix import UNINSTALL_KEY, Prefix, reg_string
from bed.scenario import LOG, NOT_INSTALLED, component, install_folder, put_shortcut

MISSING = r'C:\NoExiste\quitar.exe'
NIETO = r'C:\pruebas\nieto.log'


class HiddenStationRunsTest(unittest.TestCase):
    """Five runs in one prefix, in a window station no user sees (as a deployment agent running
    as SYSTEM makes them, where a message box would wait forever): each ends by itself, with
    the boxes' texts in the log, the clean-up done, and the exit status that wins when several
    apply. Each run has up to two uninstallers; None is a command that does not exist."""
    RUNS = {
        'sin-instalar': ((), 0, 'Mensaje: ' + NOT_INSTALLED),
        'falla-y-reinicio': ((('exit', 1603), ('delete-key', 'K', 'exit', 3010)), 3, None),
        'reintentar': ((('exit', 1603), ('exit', 1618)), 1618, None),
        # 1641: an uninstaller has already started a restart, which outranks one needed.
        'reinicio': ((('delete-key', 'K', 'exit', 3010), ('delete-key', 'K', 'exit', 1641)), 1641, None),
        'sin-arrancar': ((('exit', 1618), None), 1,
                         f'Mensaje: El programa: {MISSING} NO puede ser Ejecutado NO EXISTE.'),
    }

    @classmethod
    def setUpClass(cls):
        cls.seen = {}
        with Prefix('e2e-hidden-station') as prefix:
            prefix.c('pruebas').mkdir()
            for run, (uninstallers, _, _) in cls.RUNS.items():
                install_folder(prefix)
                put_shortcut(prefix)
                entries = {}
                for i, steps in enumerate(uninstallers):
                    key = f'Kavro{i}{run}'
                    if steps is None:
                        entries[key] = {'DisplayName': key, 'UninstallString': MISSING}
                    else:
                        entries.update(component(prefix, key, key, *(key if s == 'K' else s for s in steps)))
                suite.register(prefix, entries)
                report = program.run(prefix, '--hidden-station', timeout=90)
                log = program.run_log(prefix)
                this_run = log[max(i for i, line in enumerate(log) if line.startswith('Inicio:')):]
                cls.seen[run] = (report, this_run, prefix.c(r'kavro\datos').exists(),
                                 (prefix.desktop / 'KavroII.lnk').exists())
                for key in entries:  # what a failed uninstaller left, so the next run starts clean
                    prefix.wine('reg', 'delete', f'{UNINSTALL_KEY}\\{key}', '/f', '/reg:32', check=False,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def test_each_run_ends_by_itself_cleaned_up_with_the_status_that_wins(self):
        for run, (_, status, text) in self.RUNS.items():
            with self.subTest(run):
                report, log, data_left, shortcut_left = self.seen[run]
                self.assertFalse(report.timed_out, report)
                self.assertEqual(report.exit_code, status, log)
                self.assertIn('sin nadie que pueda responder', log[0])
                self.assertTrue(log[-1].startswith(f'Fin: código de salida {status} '), log)
                if text:
                    self.assertIn(text, log)
                self.assertFalse(shortcut_left, log)
                # While a component remains, its data stays for the retry.
                self.assertEqual(data_left, status not in (0, 1641), log)


class NobodyToAnswerTest(unittest.TestCase):
    """Runs in a window station nobody sees, in one prefix, as an agent makes them: an
    uninstaller that would ask first, removed with its quiet command; one stuck on a question
    (and what it started), ended by /timeout while the next component is still removed; a
    second run started while the first is under way, which does nothing at all; an uninstaller
    in c:\\kavro that finds another installation under way (1618), then the agent's retry once
    it is over; and a run the agent ends from outside mid-uninstaller, then its retry. The
    receipt for detection rules is read after each of the last four."""

    @classmethod
    def setUpClass(cls):
        with Prefix('e2e-nobody-to-answer') as prefix:
            prefix.c('pruebas').mkdir()
            asks = suite.put_uninstaller(prefix, r'C:\desinstaladores\pregunta.exe')
            suite.register(prefix, {'KavroPregunta': {
                'DisplayName': 'Kavro pregunta',
                'UninstallString': suite.command(asks, 'note', LOG, 'interactiva', 'box', '¿Seguro?',
                                                 'delete-key', 'KavroPregunta'),
                'QuietUninstallString': suite.command(asks, 'note', LOG, 'silenciosa', 'exists', r'C:\kavro',
                                                      LOG, 'delete-key', 'KavroPregunta')}})
            # No c:\kavro before the run: its name is held while the uninstaller runs.
            cls.quiet = program.run(prefix, '--hidden-station', timeout=90)
            cls.quiet_ran = suite.read_log(prefix, LOG) + [prefix.c('kavro').exists()]

            install_folder(prefix)
            suite.register(prefix, {
                **component(prefix, 'Kavro1Atascado', 'Kavro atascado', 'spawn', 9000, NIETO, 'box', '¿Seguro?'),
                **component(prefix, 'Kavro2', 'Kavro dos'),
                # One that hands over to a copy of itself, the copy stuck on the question.
                **component(prefix, 'Kavro3Entrega', 'Kavro entrega', 'hand-over', 'box', '¿Seguro?')})
            started = time.monotonic()
            cls.stuck = program.run(prefix, '--hidden-station', timeout=90, args=('/timeout', '5'))
            cls.stuck_log = program.run_log(prefix)
            time.sleep(max(0.0, 12 - (time.monotonic() - started)))  # the grandchild's note is due
            cls.grandchild = suite.read_log(prefix, NIETO)
            cls.stuck_left = (prefix.has_uninstall_entry('Kavro1Atascado'), prefix.has_uninstall_entry('Kavro2'),
                              prefix.c(r'kavro\datos').exists())
            prefix.wine('reg', 'delete', UNINSTALL_KEY + r'\Kavro3Entrega', '/f', '/reg:32',
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

            prefix.wine('reg', 'delete', UNINSTALL_KEY + r'\Kavro1Atascado', '/f', '/reg:32',
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            suite.register(prefix, component(prefix, 'KavroLento', 'Kavro lento', 'sleep', 4000))
            (prefix.c('pruebas') / 'registro.log').unlink()
            first = concurrent.futures.ThreadPoolExecutor(1).submit(
                program.run, prefix, '--hidden-station', timeout=90, tag='-primera')
            time.sleep(1)
            cls.second = program.run(prefix, '--hidden-station', timeout=90)
            cls.second_log = program.run_log(prefix)
            cls.first = first.result()
            cls.twice_ran = suite.read_log(prefix, LOG)

            install_folder(prefix)
            busy = prefix.c(r'pruebas\otra-instalacion')
            busy.write_text('x')
            own = suite.put_uninstaller(prefix, r'C:\kavro\desinstalar.exe')
            suite.register(prefix, {'KavroOcupado': {'DisplayName': 'Kavro ocupado', 'UninstallString': suite.command(
                own, 'exit-if', r'C:\pruebas\otra-instalacion', 1618, 'delete-key', 'KavroOcupado')}})
            left = lambda: tuple(prefix.c(p).exists() for p in  # noqa: E731
                                 (r'kavro\desinstalar.exe', r'kavro\datos\empresa.dat', r'kavro\setup.exe'))
            cls.busy = [program.run(prefix, '--hidden-station', timeout=90)]
            cls.busy_left, cls.busy_receipts = [left()], [suite.receipt(prefix)]
            busy.unlink()
            cls.busy.append(program.run(prefix, '--hidden-station', timeout=90))
            cls.busy_left.append(left())
            cls.busy_receipts.append(suite.receipt(prefix))

            suite.register(prefix, component(prefix, 'KavroLargo', 'Kavro largo', 'sleep', 15000))
            cls.killed = program.run(prefix, '--hidden-station', timeout=6)
            cls.killed_receipt = suite.receipt(prefix)
            cls.killed_temps = list(prefix.c('windows').glob('DesinstalaKavro1-*'))
            cls.after_kill = program.run(prefix, '--hidden-station', timeout=90)
            log = program.run_log(prefix)
            cls.after_kill_log = log[max(i for i, line in enumerate(log) if line.startswith('Inicio:')):]
            cls.after_kill_temps = list(prefix.c('windows').glob('DesinstalaKavro1-*'))

    def test_the_quiet_command_removes_what_would_have_asked(self):
        self.assertEqual((self.quiet.exit_code, self.quiet_ran), (0, ['silenciosa', r'C:\kavro sí', False]),
                         self.quiet)

    def test_a_stuck_uninstaller_is_ended_at_the_time_limit_and_the_run_goes_on(self):
        self.assertEqual(self.stuck.exit_code, 3, self.stuck_log)
        self.assertEqual(self.stuck_left, (True, False, True))  # the next one went; the data stays
        self.assertEqual(self.grandchild, [])  # what it started was ended with it
        for key in ('Kavro1Atascado', 'Kavro3Entrega'):  # the copy it handed over to, too
            self.assertTrue(any(line.startswith('Tiempo agotado: la desinstalación de la clave ' + key)
                                and 'no terminó en 5 s' in line for line in self.stuck_log), self.stuck_log)

    def test_a_second_run_meanwhile_does_nothing_and_says_retry(self):
        self.assertEqual((self.first.exit_code, self.second.exit_code), (0, 1618), self.second_log)
        self.assertLess(self.second.first('exit')['t'], 3000, self.second)
        self.assertEqual(len(self.twice_ran), 1, self.twice_ran)  # the uninstaller ran once
        self.assertEqual(sum('otra ejecución de DesinstalaKavro está en curso' in line
                             for line in self.second_log), 1, self.second_log)


    def test_what_a_retry_needs_stays_until_the_retry_removes_the_component(self):
        self.assertEqual([r.exit_code for r in self.busy], [1618, 0], self.busy)
        # The uninstaller and the data stay; the other stray executables go.
        self.assertEqual(self.busy_left, [(True, True, False), (False, False, False)])
        self.assertEqual([(r.get('Queda'), r.get('CodigoDeSalida')) for r in self.busy_receipts], [(1, 1618), (0, 0)])
        self.assertTrue(all(r['Fin'].endswith('Z') and r['Version'] and
                            r['Registro'] == r'C:\windows\logs\Software\DesinstalaKavro1.log'
                            for r in self.busy_receipts), self.busy_receipts)

    def test_a_run_ended_from_outside_is_named_by_its_retry_which_cleans_what_it_left(self):
        self.assertTrue(self.killed.timed_out, self.killed)
        self.assertEqual((self.killed_receipt.get('Queda'), 'CodigoDeSalida' in self.killed_receipt), (1, False))
        self.assertEqual(len(self.killed_temps), 1, self.killed_temps)
        self.assertEqual(self.after_kill.exit_code, 0, self.after_kill_log)
        self.assertEqual(self.after_kill_temps, [])
        self.assertTrue(any(line.startswith('Aviso: la ejecución anterior, iniciada el ') and
                            'se cortó durante la desinstalación de "Kavro largo"' in line
                            for line in self.after_kill_log), self.after_kill_log)
        self.assertIn('Borrada la carpeta temporal que dejó una ejecución anterior: '
                      + 'C:\\windows\\' + self.killed_temps[0].name, self.after_kill_log)


class ListTest(unittest.TestCase):
    """/list, as a detection and compliance check: on a clean PC, nothing (0); with the whole
    suite, components that fail (1603), name no program or a package that does not exist, both
    shortcuts and an entry of the suite in the running user's own list, the report of what a
    run would do, in the log and on standard output, with nothing run or changed (3); and the
    run after it carries out exactly that, and never runs that user's own entry."""

    @classmethod
    def setUpClass(cls):
        with Prefix('e2e-list') as prefix:
            prefix.c('pruebas').mkdir()
            own = suite.put_uninstaller(prefix, r'C:\desinstaladores\propio.exe')
            prefix.reg_import('[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KavroPropio]\n'
                              '"DisplayName"="Kavro propio"\n'
                              f'"UninstallString"={reg_string(suite.command(own, "note", LOG, "propio"))}\n')
            # SYSTEM's own list is loaded twice, as HKEY_USERS\.DEFAULT and as S-1-5-18: one entry.
            for profile in ('.DEFAULT', 'S-1-5-18'):
                prefix.reg_import(f'[HKEY_USERS\\{profile}\\Software\\Microsoft\\Windows\\CurrentVersion'
                                  '\\Uninstall\\KavroDefecto]\n"DisplayName"="Kavro de SYSTEM"\n')
            # The running user filled their own list: 25 entries of the suite, one with a long name.
            prefix.reg_import(''.join(
                f'[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KavroRelleno{i:02}]\n'
                f'"DisplayName"="Kavro relleno {"x" * 5000 if i == 0 else i}"\n' for i in range(24)))
            # A user's own entry alone is nothing a run would remove: the PC has nothing.
            cls.clean = program.run(prefix, args=('/list', '/quiet'))
            suite.install_example(prefix, uninstaller_ms=300)
            suite.register(prefix, {**component(prefix, 'KavroFalla', 'Kavro falla', 'exit', 1603),
                                    'KavroSinPrograma': {'DisplayName': 'Kavro sin programa', 'UninstallString': MISSING},
                                    'KavroPerdido': {'DisplayName': 'Kavro perdido',
                                                     'UninstallString': r'C:\Kavro paquetes\No está.msi'}})
            put_shortcut(prefix, public=True)
            prefix.c(r'kavro\oculto.exe').write_bytes(b'MZ')  # hidden: never swept, never reported
            prefix.attrib(r'C:\kavro\oculto.exe', '+h')
            state = lambda: (suite.snapshot(prefix), prefix.uninstall_entries(),  # noqa: E731
                             {f for f in prefix.files() if not f.startswith(('windows\\logs', 'pruebas'))})
            before = state()
            cls.listed = program.run(prefix, '--output-to', r'C:\pruebas\inventario.txt', args=('/list', '/quiet'))
            cls.unchanged = state() == before
            log = program.run_log(prefix)
            this_run = log[max(i for i, line in enumerate(log) if line.startswith('Inicio:')):]
            cls.reported = [t[len('Inventario: '):] for t in this_run if t.startswith('Inventario: ')]
            cls.output = prefix.c(r'pruebas\inventario.txt').read_text(encoding='utf-8').splitlines()
            # With /log in a folder of its own: msiexec's logs stay in the administrators' folder.
            prefix.c(r'pruebas\propio').mkdir()
            program.run(prefix, args=('/quiet', '/log', r'C:\pruebas\propio\registro.log'))
            cls.ran = suite.read_log(prefix, LOG)
            cls.msiexec_logs = (sorted(p.name for p in prefix.c(r'pruebas\propio').glob('*-msi-*')),
                                sorted(p.name for p in prefix.default_log.parent.glob('*-msi-*')))
            cls.run_entries = program.log_entries(prefix, r'C:\pruebas\propio\registro.log')
            cls.run_entries = cls.run_entries[max(i for i, (text, _) in enumerate(cls.run_entries)
                                                  if text.startswith('Inicio:')):]

    def test_a_clean_pc_has_nothing_and_a_pc_with_the_suite_is_reported_untouched(self):
        self.assertEqual((self.clean.exit_code, self.listed.exit_code), (0, 3), self.listed)
        self.assertTrue(self.unchanged)
        # The output names the log actually written, then holds the report.
        self.assertEqual(self.output[0], 'Registro: ' + r'C:\windows\logs\Software\DesinstalaKavro1.log')
        self.assertEqual(self.output[1:], self.reported)
        expected = [r'clave KavroII, nombre "Kavro II", se entregaría: C:\kavro\desinstalar.exe window 300',
                    r'se entregaría: "C:\kavro\quitar nóminas.exe" window 300',
                    rf'se entregaría: C:\windows\{paths.SYSTEM_FOLDER}\msiexec.exe /uninstall "C:\Kavro paquetes\Kavro Visor.msi" '
                    r'/qn /norestart /L*v+ "C:\windows\logs\Software\DesinstalaKavro1-msi-KavroVisor.log"',
                    r'KavroPropio', r'Carpeta de datos (se borraría): c:\kavro\datos (12 archivos)',
                    r'Ejecutable (se borraría): c:\kavro\setup.exe', r'Ejecutable (se borraría): c:\kavro\quitar nóminas.exe',
                    r'Desktop\KavroII.lnk', r'Public\Desktop\KavroII.lnk']
        for text in expected:  # the letter case of a 32-bit program's SysWOW64 is ours
            self.assertTrue(any(text.lower() in line.lower() for line in self.reported), (text, self.reported))
        self.assertFalse(any('kavro.exe' in line or 'oculto.exe' in line for line in self.reported),
                         self.reported)

    def test_the_run_hands_over_and_removes_exactly_what_was_listed(self):
        def found(lines, pattern):
            return sorted(m.group(1) for m in map(re.compile(pattern).match, lines) if m)
        ran = [text for text, _ in self.run_entries]
        listed = (found(self.reported, r'Componente: .*?, se entregaría(?: \(QuietUninstallString\))?: '
                                       r'(.*?)(?: \(NO EXISTE: .*)?$'),
                  found(self.reported, r'Ejecutable \(se borraría\): (.*)'),
                  found(self.reported, r'Acceso directo \(se borraría\): (.*)'),
                  found(self.reported, r'Carpeta de datos \(se borraría\): (\S*)'))
        done = (found(ran, r'(?:Ejecutado|No se pudo poner en marcha)(?: \(QuietUninstallString\))?: '
                           r'(.*?)(?: \(\d+ ms\)|; el componente queda).*'),
                found(ran, r'Borrado el ejecutable (.*)'), found(ran, r'Borrado el acceso directo (.*)'),
                # Kept, and said at warning level, while components remain: their retry needs it.
                found(ran, r'Se conserva la carpeta de datos (\S*): la suite sigue instalada'))
        self.assertEqual(listed, done)
        self.assertIn(2, [kind for text, kind in self.run_entries if text.startswith('Se conserva la carpeta')])
        self.assertEqual(len(listed[0]), 6, listed[0])
        # Each component that remains is named, key and name, at warning level or above.
        remaining = {key for key in ('KavroFalla', 'KavroSinPrograma', 'KavroPerdido', 'KavroII')
                     if any(f'queda: clave {key},' in text and kind >= 2 for text, kind in self.run_entries)}
        self.assertEqual(remaining, {'KavroFalla', 'KavroSinPrograma', 'KavroPerdido'}, ran)
        self.assertEqual(self.msiexec_logs[0], [])
        self.assertIn('DesinstalaKavro1-msi-KavroVisor.log', self.msiexec_logs[1])
        # 1: an uninstaller could not be started, which outranks what remains.
        self.assertTrue(self.run_entries[-1][0].startswith('Fin: código de salida 1 ('), self.run_entries[-1])

    def test_another_users_own_entry_is_named_and_never_run(self):
        self.assertEqual(sum('KavroDefecto' in line for line in self.reported), 1, self.reported)
        self.assertNotIn('propio', self.ran)
        self.assertIn(2, [kind for text, kind in self.run_entries if 'instalación propia de un usuario' in text])

    def test_a_users_many_entries_make_a_bounded_log_and_report(self):
        # Ten of the user's 25 named, each in a line of a few hundred characters, and one line
        # with the rest, in the report and in the run's log alike.
        own = [line for line in self.reported if 'KavroPropio' in line or 'KavroRelleno' in line]
        self.assertEqual(len(own), 10, self.reported)
        self.assertEqual(sum(line.startswith('Instalaciones propias más de HKEY_USERS\\S-1-5-21-')
                             and line.endswith(': 15') for line in self.reported), 1, self.reported)
        logged = [text for text, _ in self.run_entries if 'instalación propia de un usuario: ' in text
                  and ('KavroPropio' in text or 'KavroRelleno' in text)]
        self.assertEqual(len(logged), 10, logged)
        self.assertTrue(all(len(text) < 1000 for text in logged), logged)
        self.assertTrue(any('Aviso: 15 instalaciones propias más de KavroII en HKEY_USERS' in text
                            for text, _ in self.run_entries), self.run_entries)


class CommandLineAndLogTest(unittest.TestCase):
    """Several runs in one prefix: /? and an unknown switch do nothing; /quiet, for a user
    without a desktop folder, shows nothing and removes the suite; /log writes where it is
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
            cls.log_after_refusals = program.log_entries(prefix)
            cls.data_after_refusals = prefix.c(r'kavro\datos').exists()
            cls.ran_after_refusals = list(suite.read_log(prefix, LOG))

            shutil.rmtree(prefix.desktop)  # the SYSTEM account's case
            cls.quiet = program.run(prefix, args=('/QUIET',))
            cls.quiet_log = program.run_log(prefix)
            cls.quiet_left = (prefix.has_uninstall_entry('KavroII'), prefix.c(r'kavro\datos').exists())

            cls.temp_logs = list(prefix.temp.glob('DesinstalaKavro1*.log'))
            prefix.default_log.unlink()
            # The default log made a hard link to a file of someone else's, and the /log file a
            # symbolic link to another: neither target may change.
            (prefix.c('pruebas') / 'ajeno.txt').write_text('ajeno\n')
            (prefix.c('pruebas') / 'otro.txt').write_text('otro\n')
            os.link(prefix.c(r'pruebas\ajeno.txt'), prefix.default_log)
            os.symlink(prefix.c(r'pruebas\otro.txt'), prefix.c(r'pruebas\enlace.log'))
            cls.linked_default = program.run(prefix)
            cls.linked_given = program.run(prefix, args=('/log', r'C:\pruebas\enlace.log'))
            os.mkdir(prefix.c(r'pruebas\destino'))
            os.symlink(prefix.c(r'pruebas\destino'), prefix.c(r'pruebas\carpeta'))  # a folder on the way
            cls.through_folder = program.run(prefix, args=('/log', r'C:\pruebas\carpeta\k.log'))
            cls.behind_folder_link = os.listdir(prefix.c(r'pruebas\destino'))
            cls.targets = [(prefix.c('pruebas') / n).read_text() for n in ('ajeno.txt', 'otro.txt')]
            cls.fresh = sorted(p.name for p in prefix.default_log.parent.glob('DesinstalaKavro1-*.log')) + \
                sorted(p.name for p in prefix.c('pruebas').glob('enlace-*.log'))

            cls.unwritable = program.run(prefix, '--output-to', r'C:\pruebas\salida.txt',
                                         args=('/log', r'C:\NoExiste\registro.log'))
            output = prefix.c(r'pruebas\salida.txt').read_text(encoding='utf-8').splitlines()
            cls.unwritable_log = (output[0], program.run_log(prefix, output[0][len('Registro: '):]))
            os.makedirs(prefix.c('Mis registros'))
            # A log past 5 MB is kept as the previous one (k.lo_) and a new one started.
            prefix.c(r'Mis registros\k.log').write_bytes(b'\xef\xbb\xbf' + b'viejo\r\n' * 800000)
            cls.given = program.run(prefix, args=('/log', r'C:\Mis registros\k.log'))
            cls.previous = prefix.c(r'Mis registros\k.lo_').read_bytes()[:17]
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
        self.assertTrue(self.log_after_refusals[-1][0].startswith('Fin: código de salida 1639 '))
        self.assertEqual([kind for text, kind in self.log_after_refusals if text.startswith('Mensaje: Uso:')],
                         [1, 3])  # the usage text asked for, then that of an invalid command line

    def test_quiet_shows_nothing_and_goes_on_without_a_desktop(self):
        self.assertIsNone(self.quiet.first('shown'), self.quiet)
        self.assertEqual(self.quiet.messages, [])
        self.assertEqual(self.quiet.exit_code, 0, self.quiet)
        self.assertEqual(self.quiet_left, (False, False))
        self.assertTrue(any('No hay carpeta de escritorio' in line for line in self.quiet_log))
        self.assertTrue(self.quiet_log[-1].startswith('Fin: código de salida 0 '))

    def test_the_log_is_where_only_administrators_write_and_never_written_through_a_link(self):
        self.assertEqual(self.temp_logs, [])
        self.assertEqual(self.targets, ['ajeno\n', 'otro\n'])
        self.assertEqual(self.linked_default.exit_code, 0, self.linked_default)
        self.assertEqual(self.linked_given.exit_code, 0, self.linked_given)
        self.assertEqual((self.through_folder.exit_code, self.behind_folder_link), (0, []))
        # A name of its own beside each; the log through a folder link went to the default one's.
        self.assertEqual(len(self.fresh), 3, self.fresh)

    def test_an_unwritable_log_changes_nothing_and_a_given_one_is_written(self):
        self.assertEqual(self.unwritable.exit_code, 0, self.unwritable)
        # Its folder missing: the run's log is a default one, which says why first, and named.
        named, log = self.unwritable_log
        self.assertTrue(named.startswith(r'Registro: C:\windows\logs\Software\DesinstalaKavro1'), named)
        start = max(i for i, line in enumerate(log) if line.startswith('Inicio:'))
        self.assertTrue(log[start - 1].startswith(r'Aviso: no se pudo usar el registro pedido C:\NoExiste\registro.log '
                                                  '(error '), log)
        self.assertEqual(self.given.exit_code, 0, self.given)
        self.assertTrue(self.given_log[0].startswith('Inicio: DesinstalaKavro 1.00'), self.given_log)
        self.assertIn(r'/log "C:\Mis registros\k.log"', self.given_log[0])
        self.assertTrue(self.given_log[-1].startswith('Fin: código de salida 0 '))
        # UTF-8 with its mark and CRLF line ends, every line stamped: what Notepad and the
        # deployment tools' log viewers read.
        self.assertTrue(self.given_bytes.startswith(b'\xef\xbb\xbf'))
        self.assertEqual(self.previous, b'\xef\xbb\xbf' + b'viejo\r\n' * 2)
        lines = self.given_bytes[3:].decode('utf-8').split('\r\n')
        self.assertEqual(lines[-1], '')
        self.assertTrue(all(program.ENTRY.match(line) for line in lines[:-1]), lines)
        self.assertEqual(program.ENTRY.match(lines[0]).group(2), '1')  # the start is information


if __name__ == '__main__':
    unittest.main()
