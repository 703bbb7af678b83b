"""Where things are: the source tree, the build folder (win32, or win64 where the host runs
64-bit code only), the Wine state under it, and the Wine loader for its programs."""
import ctypes
import os
import subprocess
from pathlib import Path


def _without_address_randomization():
    """Wine as Debian builds it has no preloader to reserve, before anything else is mapped,
    the addresses a Windows process needs (its shared user data at 0x7ffe0000, its first
    thread's block): where the kernel's address randomization put something there first, the
    program never starts ("failed to map the shared user data: c0000018", then "ShellExecuteEx
    failed"), about one start in a few hundred. Every process the bed starts inherits a fixed
    layout instead (ADDR_NO_RANDOMIZE, as `setarch -R` gives it)."""
    libc = ctypes.CDLL(None, use_errno=True)
    current = libc.personality(0xFFFFFFFF)
    if current != -1:
        libc.personality(current | 0x0040000)


_without_address_randomization()


def _host_runs_32_bit_code():
    """False on a host that runs 64-bit code only: its kernel refuses Wine's 32-bit loader."""
    try:
        return subprocess.run(['/usr/lib/wine/wine', '--version'], capture_output=True,
                              timeout=60).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


ROOT = Path(__file__).resolve().parents[2]
# The build that runs under Wine here: the program itself (win32), or on a host that runs
# 64-bit code only, the same sources built for 64-bit Windows (win64).
PRESET = 'win32' if _host_runs_32_bit_code() else 'win64'
BUILD = Path(os.environ.get('KAVRO_BUILD', ROOT / 'build' / PRESET)).resolve()
WINE = BUILD / 'wine'                  # every prefix, the X server's state, Wine's HOME
PROGRAM = BUILD / 'DesinstalaKavro1.exe'
DRIVER = BUILD / 'tests' / 'kavro_driver.exe'
CHILD = BUILD / 'tests' / 'kavro_child.exe'
CHILD_CONSOLE = BUILD / 'tests' / 'kavro_child_console.exe'


def _is_64_bit(program):
    """True for an x86_64 Windows program (its PE header's machine field)."""
    try:
        with open(program, 'rb') as f:
            header = f.read(4096)
        at = int.from_bytes(header[0x3C:0x40], 'little')
        return header[at:at + 4] == b'PE\0\0' and header[at + 4:at + 6] == b'\x64\x86'
    except OSError:
        return False


# Wine's own launcher starts the 32-bit loader, which a host that runs 64-bit code only refuses
# (ENOEXEC); a 64-bit build runs under the 64-bit loader, in the same kind of prefix.
PROGRAM_IS_64_BIT = _is_64_bit(PROGRAM) if PROGRAM.exists() else PRESET == 'win64'
WINE_LOADER = '/usr/lib/wine/wine64' if PROGRAM_IS_64_BIT else 'wine'
# The program's own system folder in a 64-bit prefix (a 32-bit program's System32 is SysWOW64).
SYSTEM_FOLDER = 'system32' if PROGRAM_IS_64_BIT else 'syswow64'


def windows_path(path):
    """The Z: drive path under which Wine sees a Unix path."""
    return 'Z:' + str(Path(path).resolve()).replace('/', '\\')
