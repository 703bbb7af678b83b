"""Where things are: the source tree, the win32 build folder and the Wine state under it."""
import os
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get('KAVRO_BUILD', ROOT / 'build' / 'win32')).resolve()
WINE = BUILD / 'wine'                  # every prefix, the X server's state, Wine's HOME
PROGRAM = BUILD / 'DesinstalaKavro1.exe'
DRIVER = BUILD / 'tests' / 'kavro_driver.exe'
CHILD = BUILD / 'tests' / 'kavro_child.exe'
CHILD_CONSOLE = BUILD / 'tests' / 'kavro_child_console.exe'


def windows_path(path):
    """The Z: drive path under which Wine sees a Unix path."""
    return 'Z:' + str(Path(path).resolve()).replace('/', '\\')
