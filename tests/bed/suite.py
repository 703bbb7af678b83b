"""Building blocks of an example Kavro II installation in a prefix: uninstallers of our own
(copies of kavro_child.exe), installed-programs entries, and a real Windows Installer package
built with wixl and installed with msiexec."""
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

from bed import paths
from bed.locks import locked
from bed.prefix import uninstall_reg

# The package's product is registered twice, as a Windows Installer product would be by a
# suite's setup: under its product code with the installer's own entry (a name without the
# product word), and under KavroVisor with the package's path as its uninstall command.
VISOR_MSI = r'C:\Kavro paquetes\Kavro Visor.msi'
VISOR_PRODUCT_CODE = '{6F3A2B10-1C2D-4E5F-8A9B-0C1D2E3F4A5B}'
VISOR_FOLDER = r'C:\Program Files (x86)\Visor K2'

_WXS = r'''<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{product}" Name="{name}" Language="1034" Codepage="1252"
           Version="1.0.0" Manufacturer="Ejemplo" UpgradeCode="{upgrade}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="datos.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="{folder}">
          <Component Id="Main" Guid="{component}">
            <File Id="MainTxt" Name="leeme.txt" Source="leeme.txt" KeyPath="yes"/>{registry}
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Complete" Level="1">
      <ComponentRef Id="Main"/>
    </Feature>
  </Product>
</Wix>
'''

_VISOR_REGISTRY = r'''
            <RegistryValue Root="HKLM" Key="SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KavroVisor"
                           Name="DisplayName" Type="string" Value="Kavro II Visor"/>
            <RegistryValue Root="HKLM" Key="SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KavroVisor"
                           Name="UninstallString" Type="string" Value="{msi_path}"/>'''

# A package whose own installed-programs entry names the suite: Windows Installer registers
# it under its product code, with the command MsiExec.exe /I{product code}.
INFORMES_PRODUCT_CODE = '{7A4B3C21-2D3E-4F50-9B8C-1D2E3F4A5B6C}'
INFORMES_FOLDER = r'C:\Program Files (x86)\Informes K2'


def _build_msi(out, **fields):
    with locked(paths.WINE / 'msi.lock'):
        if not out.exists():
            with tempfile.TemporaryDirectory() as work:
                work = Path(work)
                (work / 'leeme.txt').write_text(fields['name'] + '\n')
                (work / 'paquete.wxs').write_text(_WXS.format(**fields))
                subprocess.run(['wixl', '-a', 'x86', '-o', str(work / 'paquete.msi'), 'paquete.wxs'],
                               cwd=work, check=True, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
                shutil.move(work / 'paquete.msi', out)
    return out


def visor_msi():
    """The example package, built with wixl once per build folder."""
    return _build_msi(paths.WINE / 'Kavro Visor.msi', product=VISOR_PRODUCT_CODE, name='Visor de planos K2',
                      upgrade='{0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}', folder='Visor K2',
                      component='{1B2C3D4E-5F60-4718-9A0B-1C2D3E4F5A6B}',
                      registry=_VISOR_REGISTRY.format(msi_path=VISOR_MSI))


def _install_msi(prefix, package, windows_path):
    """Copies the package to its place in the prefix and installs it with msiexec."""
    target = prefix.c(windows_path)
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copy(package, target)
    status, output = prefix.wine_text('msiexec', '/i', windows_path, '/qn')
    if status != 0:  # what Wine said, for whoever reads the failure
        raise RuntimeError(f'msiexec /i {windows_path} ended with {status}:\n{output}')


def install_visor(prefix):
    _install_msi(prefix, visor_msi(), VISOR_MSI)


def install_informes(prefix):
    """Installs "Kavro II Informes" with msiexec: a product whose own entry is a component."""
    package = _build_msi(paths.WINE / 'Kavro Informes.msi', product=INFORMES_PRODUCT_CODE,
                         name='Kavro II Informes', upgrade='{2C3D4E5F-6071-4829-8B1C-2D3E4F5A6B7C}',
                         folder='Informes K2', component='{3D4E5F60-7182-4930-9C2D-3E4F5A6B7C8D}',
                         registry='')
    _install_msi(prefix, package, r'C:\pruebas\Kavro Informes.msi')


def put_uninstaller(prefix, windows_path, console=False):
    """A copy of the child program at a path of the prefix, to serve as an uninstaller."""
    target = prefix.c(windows_path)
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copy(paths.CHILD_CONSOLE if console else paths.CHILD, target)
    return windows_path


def command(program, *steps):
    """A command line: the program (quoted when it has a blank) and the child's steps."""
    def quote(part):
        return f'"{part}"' if ' ' in part or not part else part
    return ' '.join([quote(program), *(quote(str(s)) for s in steps)])


def start(prefix, program, *steps):
    """A program of the prefix started beside the run (from Linux), given a moment to start;
    it ends with the prefix."""
    running = subprocess.Popen([paths.WINE_LOADER, program, *map(str, steps)], env=prefix.env(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(2)
    return running


def register(prefix, entries, view=32):
    prefix.reg_import(uninstall_reg(entries), view=view)


def receipt(prefix):
    """The values of the run's receipt for detection rules ({} when there is none)."""
    return prefix.reg_export(r'HKLM\SOFTWARE\DesinstalaKavro', view=64).get('', {})


def read_log(prefix, windows_path):
    """The lines a child program appended to a log of the prefix."""
    path = prefix.c(windows_path)
    return path.read_text(encoding='utf-8').splitlines() if path.exists() else []


# ---- the built-in example: a complete Kavro II installation ----

EXAMPLE_OTHERS = {
    # The sibling product, which is not part of the suite, and unrelated programs.
    'LumbeKavro': {'DisplayName': 'LUMBEKAVRO', 'UninstallString': r'C:\Lumbe\quitar.exe'},
    'EditorTextos': {'DisplayName': 'Editor de textos', 'UninstallString': r'C:\Editor\quitar.exe'},
    'Calculadora': {'DisplayName': 'Calculadora científica', 'UninstallString': r'C:\Calc\quitar.exe'},
}


def install_example(prefix, uninstaller_ms=1500):
    """Installs the example suite in the prefix: the install folder c:\\kavro with the main
    executable, stray executables, a library and a text file; the data folder tree; two
    components with uninstallers of ours (each shows a window for uninstaller_ms, deletes its
    files and its installed-programs entry); a real Windows Installer package; the sibling
    product and unrelated programs; and the desktop shortcut."""
    kavro = prefix.c('kavro')
    for module in ('contabilidad', 'nominas'):
        (kavro / 'modulos' / module).mkdir(parents=True)
        (kavro / 'modulos' / module / f'{module}.dll').write_bytes(b'MZ')
    shutil.copy(paths.CHILD, kavro / 'kavro.exe')
    for name in ('setup.exe', 'actualizar.exe'):
        (kavro / name).write_bytes(b'MZ')
    (kavro / 'kavro.dll').write_bytes(b'MZ')
    (kavro / 'leeme.txt').write_text('Kavro II\n')
    for folder, files in {'empresas': 4, 'empresas\\2025': 3, 'copias': 2, 'informes': 3}.items():
        target = kavro / 'datos' / folder.replace('\\', '/')
        target.mkdir(parents=True)
        for i in range(files):
            (target / f'registro{i}.dat').write_text('datos de ejemplo\n')
    prefix.desktop.mkdir(parents=True, exist_ok=True)
    (prefix.desktop / 'KavroII.lnk').write_bytes(b'L\0\0\0example shortcut')

    main_uninstaller = put_uninstaller(prefix, r'C:\kavro\desinstalar.exe')
    payroll_uninstaller = put_uninstaller(prefix, r'C:\kavro\quitar nóminas.exe')
    install_visor(prefix)
    register(prefix, {
        'KavroII': {'DisplayName': 'Kavro II', 'UninstallString': command(
            main_uninstaller, 'window', uninstaller_ms, 'delete', r'C:\kavro\modulos\contabilidad',
            'delete-key', 'KavroII')},
        '{5E1D7A22-0F3B-4C1D-9A8E-4B2C6D7E8F90}': {
            'DisplayName': 'Nóminas para kavro II', 'UninstallString': command(
                payroll_uninstaller, 'window', uninstaller_ms, 'delete', r'C:\kavro\modulos\nominas',
                'delete-key', '{5E1D7A22-0F3B-4C1D-9A8E-4B2C6D7E8F90}')},
        **EXAMPLE_OTHERS,
    })


def snapshot(prefix):
    """What the run may change: installed programs, the install folder's top, the data
    folder's files, the component folders and the shortcut."""
    kavro = prefix.c('kavro')
    data = kavro / 'datos'
    return {
        'programs': sorted(v.get('DisplayName', k) for k, v in prefix.uninstall_entries().items()),
        'install_folder': sorted(p.name + ('\\' if p.is_dir() else '') for p in kavro.iterdir())
        if kavro.exists() else None,
        'data_files': sorted(str(p.relative_to(data)) for p in data.rglob('*') if p.is_file())
        if data.exists() else None,
        'component_folders': sorted(p.name for p in (kavro / 'modulos').iterdir())
        if (kavro / 'modulos').exists() else [],
        'visor_installed': prefix.c(VISOR_FOLDER).exists(),
        'shortcut': (prefix.desktop / 'KavroII.lnk').exists(),
    }
