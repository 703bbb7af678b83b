"""The X display that Wine's windows need. A display set by the caller is used as it is;
otherwise one Xvfb is started for the build folder and shared until `stop`.

    python3 -m bed.xdisplay start|stop|show
"""
import json
import os
import signal
import sys
import time

from bed import paths
from bed.locks import locked

STATE = paths.WINE / 'xvfb.json'
LOCK = paths.WINE / 'xvfb.lock'


def _alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def _own():
    """The display of the Xvfb this build folder started, if it still runs."""
    try:
        state = json.loads(STATE.read_text())
    except (OSError, ValueError):
        return None
    return state['display'] if _alive(state['pid']) else None


def running():
    """True when the Xvfb of this build folder is already up (started by someone else)."""
    return _own() is not None


def display():
    """A usable DISPLAY value, starting Xvfb when the caller has none."""
    if os.environ.get('DISPLAY'):
        return os.environ['DISPLAY']
    with locked(LOCK):
        current = _own()
        if current:
            return current
        read_end, write_end = os.pipe()
        os.set_inheritable(write_end, True)
        devnull = os.open(os.devnull, os.O_RDWR)
        # A session of its own: the server outlives this process and is ended by stop().
        pid = os.posix_spawnp('Xvfb', ['Xvfb', '-displayfd', str(write_end), '-screen', '0',
                                       '1280x1024x24', '-nolisten', 'tcp'], os.environ,
                              file_actions=[(os.POSIX_SPAWN_DUP2, devnull, 0),
                                            (os.POSIX_SPAWN_DUP2, devnull, 1),
                                            (os.POSIX_SPAWN_DUP2, devnull, 2)],
                              setsid=True)
        os.close(write_end)
        os.close(devnull)
        number = b''
        deadline = time.monotonic() + 30
        with os.fdopen(read_end, 'rb') as pipe:
            while not number.endswith(b'\n') and time.monotonic() < deadline:
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            os.kill(pid, signal.SIGKILL)
            raise RuntimeError('Xvfb did not start')
        value = ':' + number.decode().strip()
        STATE.write_text(json.dumps({'display': value, 'pid': pid}))
        return value


def stop():
    """Ends every Wine server of the build folder, then the Xvfb it started."""
    from bed.prefix import kill_all_servers
    kill_all_servers()
    with locked(LOCK):
        try:
            state = json.loads(STATE.read_text())
        except (OSError, ValueError):
            return
        if _alive(state['pid']):
            os.kill(state['pid'], signal.SIGTERM)
        STATE.unlink(missing_ok=True)


def main(argv):
    command = argv[1] if len(argv) > 1 else 'show'
    if command in ('start', 'show'):
        print(display())
    if command == 'start':
        # The Win32 suite's shared prefix is started once here, before its tests start their
        # programs in it side by side: two first starts of a fresh clone at once have hung.
        import subprocess
        from bed.prefix import Prefix
        Prefix('unit', fresh=False).wine('cmd', '/c', 'exit', timeout=300, check=False,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elif command == 'stop':
        stop()
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
