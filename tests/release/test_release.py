"""What administrators allow the program by. The reproducibility check of scripts/test tells a
changed byte and says where it lies; a program signed by scripts/sign with a certificate made
and thrown away here verifies against that certificate's root, no longer does once a byte is
changed, and still runs, naming its version and commit in its log."""
import shutil
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from bed import paths, program
from bed.prefix import Prefix

SCRIPTS = paths.ROOT / 'scripts'
PASSWORD = 'contraseña de prueba'


def text_section(data):
    """(offset, size) of the .text section's bytes in a PE file."""
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    table = pe + 24 + struct.unpack_from('<H', data, pe + 20)[0]
    for entry in range(table, table + 40 * struct.unpack_from('<H', data, pe + 6)[0], 40):
        if data[entry:entry + 8].rstrip(b'\0') == b'.text':
            size, start = struct.unpack_from('<II', data, entry + 16)
            return start, size
    raise AssertionError('no .text section')


def changed(source, target, offset, value=None):
    """A copy of source with the byte at offset flipped (or set to value)."""
    data = bytearray(Path(source).read_bytes())
    data[offset] = data[offset] ^ 0x01 if value is None else value
    Path(target).write_bytes(data)


class ReproducibleCheckTest(unittest.TestCase):

    def compare(self, a, b):
        return subprocess.run([SCRIPTS / 'reproducible', '--compare', a, b], capture_output=True,
                              text=True)

    def test_a_changed_byte_fails_with_its_offset_and_part(self):
        built = paths.PROGRAM.read_bytes()
        pe = struct.unpack_from('<I', built, 0x3C)[0]
        self.assertEqual(struct.unpack_from('<I', built, pe + 8)[0], 0, 'a link time in its header')
        start, _ = text_section(built)
        with tempfile.TemporaryDirectory(dir=paths.BUILD) as work:
            copy, in_code, stamped = (Path(work) / name for name in ('a.exe', 'b.exe', 'c.exe'))
            shutil.copy(paths.PROGRAM, copy)
            changed(paths.PROGRAM, in_code, start + 0x123)
            changed(paths.PROGRAM, stamped, pe + 9, 0x5F)  # a link time, as ld writes by default
            same = self.compare(paths.PROGRAM, copy)
            code = self.compare(paths.PROGRAM, in_code)
            stamp = self.compare(paths.PROGRAM, stamped)
        self.assertEqual(same.returncode, 0, same.stderr)
        self.assertEqual(code.returncode, 1)
        offset = start + 0x123
        self.assertIn(f'first difference at offset {offset:#x} ({offset}), in section .text (its byte 0x123)',
                      code.stderr)
        self.assertEqual(stamp.returncode, 1)
        self.assertIn(f'offset {pe + 9:#x}', stamp.stderr)
        self.assertIn("TimeDateStamp", stamp.stderr)


class SigningTest(unittest.TestCase):
    """One throwaway root and code-signing certificate, one signed copy of the build's program."""

    @classmethod
    def setUpClass(cls):
        cls.work = paths.BUILD / 'release-test'
        shutil.rmtree(cls.work, ignore_errors=True)
        cls.work.mkdir(parents=True)
        env = {'PASSWORD': PASSWORD}
        (cls.work / 'firma.cnf').write_text(
            'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n')
        for command in (
                ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'raiz.key', '-out',
                 'raiz.pem', '-days', '2', '-subj', '/CN=Raiz de prueba',
                 '-addext', 'basicConstraints=critical,CA:TRUE', '-addext', 'keyUsage=critical,keyCertSign'],
                ['req', '-newkey', 'rsa:2048', '-nodes', '-keyout', 'firma.key', '-out', 'firma.csr',
                 '-subj', '/CN=Firma de prueba'],
                ['x509', '-req', '-in', 'firma.csr', '-CA', 'raiz.pem', '-CAkey', 'raiz.key',
                 '-set_serial', '7', '-days', '2', '-extfile', 'firma.cnf', '-out', 'firma.pem'],
                ['pkcs12', '-export', '-inkey', 'firma.key', '-in', 'firma.pem', '-certfile',
                 'raiz.pem', '-out', 'firma.p12', '-passout', 'env:PASSWORD']):
            subprocess.run(['openssl', *command], cwd=cls.work, env=env, check=True, capture_output=True)
        cls.unsigned = paths.PROGRAM.read_bytes()
        cls.signed = cls.work / 'DesinstalaKavro1.exe'
        cls.signing = cls.sign(PASSWORD, cls.signed)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)  # the key and its certificates are nobody's, and go

    @classmethod
    def sign(cls, password, output, program=None):
        return subprocess.run([SCRIPTS / 'sign', '--pkcs12', cls.work / 'firma.p12',
                               '--ca', cls.work / 'raiz.pem', program or paths.PROGRAM, output],
                              env={'PATH': '/usr/bin:/bin', 'KAVRO_SIGN_PASSWORD': password},
                              stdin=subprocess.DEVNULL, capture_output=True, text=True)

    def verify(self, path):
        return subprocess.run(['osslsigncode', 'verify', '-CAfile', self.work / 'raiz.pem',
                               '-in', path], capture_output=True, text=True)

    def test_the_signature_verifies_against_the_root_and_is_all_that_was_added(self):
        self.assertEqual(self.signing.returncode, 0, self.signing.stderr)
        verified = self.verify(self.signed)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        self.assertIn('Signature verification: ok', verified.stdout)
        self.assertIn('Text description: Desinstalador de KavroII', verified.stdout)
        self.assertRegex(verified.stdout, r'Message digest algorithm\s*: SHA256')
        self.assertIn('Subject: /CN=Firma de prueba', verified.stdout)
        # The build is left as it was, and the signature is all that was added to it.
        self.assertEqual(paths.PROGRAM.read_bytes(), self.unsigned)
        subprocess.run(['osslsigncode', 'remove-signature', '-in', self.signed,
                        '-out', self.work / 'sin.exe'], check=True, capture_output=True)
        self.assertEqual((self.work / 'sin.exe').read_bytes(), self.unsigned)

    def test_a_changed_byte_fails_verification(self):
        start, size = text_section(self.signed.read_bytes())
        changed(self.signed, self.work / 'cambiado.exe', start + size // 2)
        verified = self.verify(self.work / 'cambiado.exe')
        self.assertNotEqual(verified.returncode, 0)
        self.assertIn('MISMATCH', verified.stdout + verified.stderr)

    def test_a_wrong_password_or_an_existing_output_writes_nothing(self):
        wrong = self.sign('otra', self.work / 'mal.exe')
        self.assertNotEqual(wrong.returncode, 0)
        self.assertFalse((self.work / 'mal.exe').exists())
        copy = self.work / 'copia.exe'
        shutil.copy(paths.PROGRAM, copy)
        in_place = self.sign(PASSWORD, copy, program=copy)
        self.assertNotEqual(in_place.returncode, 0)
        self.assertEqual(copy.read_bytes(), self.unsigned)
        self.assertEqual(sorted(p.name for p in self.work.glob('.sign.*')), [])

    def test_the_signed_program_runs_and_names_its_version_and_commit(self):
        cache = (paths.BUILD / 'CMakeCache.txt').read_text()
        commit = next(line.split('=', 1)[1] for line in cache.splitlines()
                      if line.startswith('KAVRO_COMMIT_TEXT:'))
        with Prefix('release-signed') as prefix:
            report = program.run(prefix, program=self.signed, args=('/?',))
            log = program.run_log(prefix)
        self.assertEqual(report.exit_code, 0, report)
        self.assertTrue(log and log[0].startswith(f'Inicio: DesinstalaKavro 1.00 (commit {commit}), '),
                        log)
