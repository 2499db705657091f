#!/usr/bin/python3
"""The Windows Installer package under Wine's own msiexec, in a WoW64 prefix of its own.

Brings up a private bench (tools/winebench.sh up --private-display), installs, repairs, upgrades
and removes the built package silently, and reads what it left through Wine (reg query and
export in both registry views, the prefix's drive_c from Linux). The bench goes down at the end,
also when a test fails.

    installer_wine_test.py --source DIR --build DIR --package FILE.msi --version X.Y.Z
                           --volatile-key EXE --access-check EXE --state DIR [unittest arguments]

Where Windows Installer does something that Wine's msiexec does not show, the test says so
(wine_fact) instead of leaving the behaviour out.
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from wine_support import log, pe_bits, polled, wait_for, wine_fact  # noqa: E402

ARGS = None
WINE64 = "/usr/lib/wine/wine64"

INSTALL_DIR = r"C:\Program Files (x86)\Zenquill\ZQ Proximity Sensor"
PROGRAMS = ("SENSORCTL.exe", "APPWATCH.exe", "ICONREG.exe")
CLASS_KEY = r"HKCR\CLSID\{E6C7DCE5-87C7-404C-BB15-9520CCAD8CB4}"
NAMESPACE_KEY = (r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\ControlPanel"
                 r"\NameSpace\{E6C7DCE5-87C7-404C-BB15-9520CCAD8CB4}")
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
RUN_VALUE = "ZQ Proximity Sensor Monitor"
PRODUCTS_KEY = r"HKLM\Software\Classes\Installer\Products"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
CONFIG = r"C:\ZQ\Data\ZQPRX\appwatch.dat"
MONITOR_LOG = r"C:\ZQ\Data\APPWATCH.log"
TOOL_LOG = r"C:\ZQ\Data\ZQPRXIconSet.log"
DOWNGRADE_MESSAGE = ("A newer version of ZQ Proximity Sensor is already installed. Remove it "
                     "first to install this older version.")
ERROR_INSTALL_FAILURE = 1603
SKIPPED = 77  # the bench's and ctest's code for a test that could not run here


# --- The bench -------------------------------------------------------------------------------

def bench(command, *args, check=True, detached=False, into=None):
    """Runs a winebench command. A detached one's output is not captured: a program it starts
    inherits Wine's Unix stdout and would hold a capturing pipe open for as long as it runs. It
    goes to the file `into`, if given."""
    full = ["bash", os.path.join(ARGS.source, "tools", "winebench.sh"), command,
            "--state", ARGS.state]
    if command in ("run", "exec"):
        full += ["--timeout", "300"]
    output = (into or subprocess.DEVNULL) if detached else subprocess.PIPE
    result = subprocess.run(full + list(args), stdin=subprocess.DEVNULL, stdout=output,
                            stderr=output, text=True, errors="replace")
    if check and result.returncode != 0:
        raise AssertionError(f"winebench {command} {args} failed ({result.returncode}):\n"
                             f"{result.stdout}{result.stderr}")
    return result


def wine(*args):
    return bench("exec", WINE64, *args, check=False)


def drive_c(windows_path):
    """The Linux path of a C:\\ file in the bench's prefix."""
    assert windows_path[:3].upper() == "C:\\", windows_path
    return os.path.join(ARGS.state, "prefix", "drive_c", *windows_path[3:].split("\\"))


def windows_path(linux_path):
    return "Z:" + os.path.abspath(linux_path).replace("/", "\\")


def msiexec(*args):
    """Runs Wine's msiexec silently; returns its exit code and its verbose log."""
    log_file = drive_c(r"C:\msiexec.log")
    if os.path.exists(log_file):
        os.remove(log_file)
    result = wine("msiexec", *args, "/qn", "/l*v", r"C:\msiexec.log")
    text = ""
    if os.path.exists(log_file):
        with open(log_file, "rb") as f:
            raw = f.read()
        text = raw.decode("utf-16-le" if raw[1:2] == b"\0" else "latin-1", errors="replace")
    return result.returncode, text


def install(package, *properties):
    return msiexec("/i", windows_path(package), *properties)


def reg_query(key, view, *options):
    """reg query's listing as [{"key": its name, value name: data}] (an empty value's data is
    ""), or None when the key is absent."""
    result = wine("reg", "query", key, *options, f"/reg:{view}")
    if result.returncode != 0:
        return None
    entries = []
    for line in result.stdout.splitlines():
        if line.startswith("HKEY_"):
            entries.append({"key": line})
        elif entries and len(parts := line.strip().split("    ", 2)) >= 2:
            entries[-1][parts[0]] = parts[2] if len(parts) == 3 else ""
    return entries


def reg_value(key, name, view):
    """The data of one registry value, or None when key or value is absent."""
    entries = reg_query(key, view, *(["/ve"] if name is None else ["/v", name]))
    return entries[0].get(name or "(Default)") if entries else None


def products():
    """Entries of Programs and Features named like ours (32-bit view, where the package goes)."""
    return [e for e in reg_query(UNINSTALL_KEY, 32, "/s") or []
            if e.get("DisplayName") == "ZQ Proximity Sensor"]


def registry_snapshot():
    """Every value under HKLM\\Software (both views) and HKCU\\Software, as text lines; not
    what Wine keeps for its session once a program has shown a window (its first may be the
    settings window the package registers)."""
    lines = set()
    for key, view in (("HKLM\\Software", 64), ("HKLM\\Software", 32), ("HKCU\\Software", 64)):
        out = drive_c(r"C:\snapshot.reg")
        if os.path.exists(out):
            os.remove(out)
        result = wine("reg", "export", key, r"C:\snapshot.reg", f"/reg:{view}", "/y")
        assert result.returncode == 0, result.stderr
        with open(out, "rb") as f:
            text = f.read().decode("utf-16", errors="replace")
        os.remove(out)
        section = ""
        for line in text.replace("\\\r\n", "").splitlines():
            if line.startswith("["):
                wine_session = "\\Software\\Wine\\Temporary System Parameters" in line
                section = "" if wine_session else f"{view}:{line}"
                if section:
                    lines.add(section)
            elif line and section:
                lines.add(f"{section} {line}")
    return lines


# Where Wine itself writes while programs run (its own caches and temporary files).
SNAPSHOT_IGNORED = ("windows/temp", "windows/installer", "users/", "windows/logs", "snapshot.reg")


def file_snapshot():
    root = drive_c("C:\\")
    found = set()
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
            if not path.lower().startswith(SNAPSHOT_IGNORED) and not path.endswith(".log"):
                found.add(path)
    return found


def packed_guid(guid):
    """A GUID as Windows Installer writes it into registry key names."""
    hex_digits = guid.strip("{}").replace("-", "").upper()
    swapped = "".join(hex_digits[i + 1] + hex_digits[i] for i in range(16, 32, 2))
    return hex_digits[7::-1] + hex_digits[11:7:-1] + hex_digits[15:11:-1] + swapped


def component_keys():
    """The installer's UserData keys of the package's own components."""
    with open(os.path.join(ARGS.source, "installer", "ZQProximitySensor.wxs")) as f:
        source = f.read()
    guids = [part.split('"', 1)[0] for part in source.split('<Component Id=')[1:]
             for part in [part.split('Guid="', 1)[1]]]
    assert len(guids) == 5, guids
    return [r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Installer\UserData"
            f"\\S-1-5-18\\Components\\{packed_guid(g)}" for g in guids]


def wine_component_leftovers():
    """The bare keys of the package's own components, which alone may stay (no value under
    them)."""
    wine_fact("the last removal of a component deletes its key under the installer's UserData",
               "msiexec may leave each component's key there, empty")
    return {f"64:[{key}]" for key in component_keys()}


def read_bytes(windows_file):
    with open(drive_c(windows_file), "rb") as f:
        return f.read()


def read_text(windows_file):
    try:
        return read_bytes(windows_file).decode("utf-16-le", errors="replace")
    except FileNotFoundError:
        return ""


def installed_processes(name):
    """Linux process ids of an installed program running in this bench's prefix (other benches
    on the machine may run theirs)."""
    prefix = os.path.join(ARGS.state, "prefix").encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                command = f.read()
            with open(f"/proc/{entry}/environ", "rb") as f:
                environment = f.read().split(b"\0")
        except OSError:
            continue
        if (f"ZQ Proximity Sensor\\{name}".encode() in command and
                os.path.realpath(prefix) in (os.path.realpath(v[11:]) for v in environment
                                             if v.startswith(b"WINEPREFIX="))):
            found.append(int(entry))
    return found


def default_config():
    with open(os.path.join(ARGS.source, "installer", "appwatch.dat"), "rb") as f:
        return f.read()


def put(path, data):
    """Writes a file at a Linux path (drive_c() gives the one of a C:\\ path)."""
    with open(path, "wb") as f:
        f.write(data)


def make_package(version, out_dir, signing=None):
    """A package of another version, from the same programs and the same WiX source; signed
    when `signing` gives ZQ_SIGN_PFX and ZQ_SIGN_PASSWORD."""
    out = os.path.join(out_dir, f"ZQProximitySensor-{version}.msi")
    env = {k: v for k, v in os.environ.items() if not k.startswith("ZQ_SIGN_")}
    env.update(signing or {})
    subprocess.run(["bash", os.path.join(ARGS.source, "installer", "make-package.sh"),
                    "--version", version, "--programs", os.path.join(ARGS.build, "bin"),
                    "--helper", os.path.join(ARGS.build, "installer", "zqsetup.dll"),
                    "--icon", os.path.join(ARGS.source, "sensorctl", "resources", "icons",
                                           "sensorctl.ico"),
                    "--out", out], check=True, env=env, stdout=subprocess.DEVNULL)
    return out


def msi_table(package, table):
    return subprocess.run(["msiinfo", "export", package, table], check=True, capture_output=True,
                          text=True).stdout


def lower_version(version):
    major, minor, build = (int(p) for p in version.split(".")[:3])
    return f"{major}.{minor}.{build - 1}" if build > 0 else f"{major}.{minor - 1}.99"


def remove_everything():
    """Back to a machine without the product, whatever a test left."""
    for entry in products():
        code = entry["key"].rsplit("\\", 1)[-1]
        wine("msiexec", "/x", code, "/qn")
    wine("reg", "delete", CLASS_KEY, "/f", "/reg:64")
    wine_fact("the rollback of a failed second install takes away what that install made",
               "it unregisters the product but leaves its files, its Run value and its "
               "components' registration (a later removal then keeps the files, counting them "
               "as another product's)")
    wine("reg", "delete", RUN_KEY, "/v", RUN_VALUE, "/f", "/reg:32")
    shutil.rmtree(drive_c(r"C:\Program Files (x86)\Zenquill"), ignore_errors=True)
    for key in component_keys():
        wine("reg", "delete", key, "/f", "/reg:64")
    for path in glob.glob(drive_c(r"C:\ZQ")) + glob.glob(drive_c(r"C:\ZQ.moved-*")):
        if os.path.islink(path) or os.path.isfile(path):
            os.remove(path)
        else:
            shutil.rmtree(path, ignore_errors=True)


def tree(path):
    """What is at a Linux path, links not followed: {relative path: bytes, "dir" or link}."""
    if os.path.islink(path):
        return {".": ("link", os.readlink(path))}
    if os.path.isfile(path):
        with open(path, "rb") as f:
            return {".": f.read()}
    found = {".": "dir"}
    for folder, dirs, files in os.walk(path):
        for name in dirs + files:
            full = os.path.join(folder, name)
            found.update({os.path.relpath(full, path) + k[1:]: v for k, v in tree(full).items()})
    return found


# --- The tests -------------------------------------------------------------------------------

class InstallerTest(unittest.TestCase):
    def setUp(self):
        remove_everything()
        self.temp = self.enterContext(tempfile.TemporaryDirectory(prefix="zq-installer-"))

    def installed(self, package=None, *properties):
        """Installs (with REINSTALL properties, repairs); the run must succeed. Its log."""
        code, text = install(package or ARGS.package, *properties)
        self.assertEqual(code, 0, text[-3000:])
        return text

    def removed(self, package=None):
        """Removes; the run must succeed and leave nothing of the product."""
        code, text = msiexec("/x", windows_path(package or ARGS.package))
        self.assertEqual(code, 0, text[-3000:])
        self.assertRemoved()

    def start_detached(self, command):
        """Runs a command line as the shell would: the whole text, handed to cmd.exe as a line
        of its own, "start" with an empty title, then the text exactly as given. What Wine and
        the started program print goes to start.out (a file: a pipe would be held open)."""
        batch = os.path.join(self.temp, "start.cmd")
        with open(batch, "w", newline="\r\n") as f:
            f.write(f'@start "" {command}\n')
        with open(os.path.join(self.temp, "start.out"), "ab") as said:
            return bench("exec", WINE64, "cmd", "/c", windows_path(batch), check=False,
                         detached=True, into=said)

    def install_with_class_key_blocked(self):
        """An install whose ICONREG -R fails: the class key made volatile first."""
        self.assertEqual(bench("run", ARGS.volatile_key, check=False).returncode, 0,
                         "could not block the class key")
        try:
            return install(ARGS.package)
        finally:
            wine("reg", "delete", CLASS_KEY, "/f", "/reg:64")

    def assertInstalled(self):
        for name in PROGRAMS:
            path = drive_c(f"{INSTALL_DIR}\\{name}")
            self.assertTrue(os.path.isfile(path), f"{name} is not installed")
            self.assertEqual(pe_bits(path), 32, f"{name} is no 32-bit program")
        command = f'"{INSTALL_DIR}\\SENSORCTL.exe"'
        self.assertEqual(reg_value(f"{CLASS_KEY}\\Shell\\Open\\Command", None, 64), command)
        self.assertEqual(reg_value(f"{CLASS_KEY}\\DefaultIcon", None, 64), command + ", -130")
        self.assertEqual(reg_value(CLASS_KEY, None, 64), "ZQ Proximity Sensor")
        self.assertEqual(reg_value(NAMESPACE_KEY, None, 64), "ZQ Proximity Sensor")
        self.assertEqual(reg_value(RUN_KEY, RUN_VALUE, 32), f'"{INSTALL_DIR}\\APPWATCH.exe"')
        self.assertTrue(os.path.isfile(drive_c(CONFIG)), "no configuration")
        for made in (MONITOR_LOG, TOOL_LOG):  # by the package, so users need not create files
            self.assertTrue(os.path.isfile(drive_c(made)) and not os.path.islink(drive_c(made)),
                            f"{made} was not made")
        self.assertEqual(len(products()), 1, "not exactly one entry in Programs and Features")

    def assertRemoved(self):
        # (The maker's folder holds the program folder: neither may be left.)
        self.assertFalse(os.path.exists(drive_c(r"C:\Program Files (x86)\Zenquill")),
                         "program folder or Zenquill folder left")
        self.assertIsNone(reg_query(CLASS_KEY, 64), "class key left")
        self.assertIsNone(reg_query(NAMESPACE_KEY, 64), "namespace key left")
        self.assertIsNone(reg_value(RUN_KEY, RUN_VALUE, 32), "Run value left")
        self.assertEqual(products(), [], "still in Programs and Features")

    def assertProductIcon(self):
        """Programs and Features takes a Windows Installer product's icon from ProductIcon."""
        ours = [e for e in reg_query(PRODUCTS_KEY, 64, "/s")
                if "ProductIcon" in e and any("ZQ Proximity Sensor" in v for v in e.values())]
        self.assertEqual(len(ours), 1, "no published product icon")
        with open(os.path.join(ARGS.source, "sensorctl", "resources", "icons", "sensorctl.ico"),
                  "rb") as f:
            self.assertEqual(read_bytes(ours[0]["ProductIcon"]), f.read())

    def test_install_opens_settings_and_uninstall_keeps_user_data(self):
        files_before, registry_before = file_snapshot(), registry_snapshot()
        self.installed()
        self.assertInstalled()
        self.assertEqual(read_bytes(CONFIG), default_config())
        # Registered in the 64-bit view only, where the Control Panel of 64-bit Windows reads.
        self.assertIsNone(reg_query(CLASS_KEY, 32))
        entry = products()[0]
        self.assertEqual(entry.get("Publisher"), "Zenquill")
        self.assertEqual(entry.get("DisplayVersion"), ARGS.version)
        self.assertProductIcon()

        self.open_settings_as_registered()

        # The user changes the configuration and appwatch has logged: both are the user's.
        changed = b"[Debug]\r\n0\r\n[Executable]\r\nvideo.exe\r\n[ClassName]\r\n"
        put(drive_c(CONFIG), changed)
        put(drive_c(MONITOR_LOG), "09:05:03:0042::ExecutableFileList:\r\n".encode("utf-16-le"))
        self.removed()
        self.assertEqual(read_bytes(CONFIG), changed)
        self.assertTrue(os.path.isfile(drive_c(MONITOR_LOG)))
        self.assertTrue(os.path.isfile(drive_c(TOOL_LOG)))
        user_data = {"ZQ", "ZQ/Data", "ZQ/Data/ZQPRX", "ZQ/Data/ZQPRX/appwatch.dat"}
        self.assertEqual(file_snapshot() ^ files_before, user_data)
        self.assertLessEqual(registry_snapshot() ^ registry_before, wine_component_leftovers())

    def test_uninstall_removes_default_configuration_and_empty_folders(self):
        files_before = file_snapshot()
        self.installed()
        os.remove(drive_c(TOOL_LOG))  # no log: nothing of the user's in the folders
        self.removed()
        self.assertEqual(file_snapshot() ^ files_before, set(), "folders or files left")

    def open_settings_as_registered(self):
        """Runs the registered open command as the shell would and waits for the window. A
        start after which no settings program runs and no window came is tried once more: CI
        has seen a start that showed nothing, and a program that cannot open its window fails
        the second start as well."""
        command = reg_value(f"{CLASS_KEY}\\Shell\\Open\\Command", None, 64)

        def windows(*only):
            return bench("exec", "xdotool", "search", *only, "--classname", "sensorctl.exe",
                         check=False).stdout.split()
        for attempt in (1, 2):
            self.assertEqual(self.start_detached(command).returncode, 0)
            started = time.monotonic()

            def outcome():
                if windows("--onlyvisible"):
                    return "shown"
                gone = time.monotonic() - started > 10 and not installed_processes("SENSORCTL.exe")
                return "gone" if gone else None
            seen = polled(outcome, bool, timeout=60)
            if seen == "shown":
                log(f"the settings window seen {time.monotonic() - started:.1f} s after start "
                    f"{attempt}")
                break
            with open(os.path.join(self.temp, "start.out"), errors="replace") as f:
                said = f.read().strip()
            if seen != "gone" or attempt == 2:
                self.fail(f"the settings window: not seen after start {attempt} "
                          f"({time.monotonic() - started:.0f} s); processes "
                          f"{installed_processes('SENSORCTL.exe')}, unseen windows {windows()}, "
                          f"output {said!r}")
            log(f"no settings program ran and no window came after start {attempt} (output "
                f"{said!r}); starting it again")
        shot = os.path.join(ARGS.build, "installer", "installed-settings.png")
        bench("exec", "import", "-window", "root", shot, check=False)
        bench("exec", WINE64, "taskkill", "/f", "/im", "SENSORCTL.exe", check=False,
              detached=True)

    def test_removal_ends_running_monitor(self):
        """A monitor started from the installed files is asked to end ("WM_PRXCNTSTOP") before
        they go."""
        wine_fact("msiexec's Restart Manager ends monitors of other sessions too "
                   "(MSIRMSHUTDOWN)", "one session and one desktop, and no Restart Manager "
                   "behind msiexec: the package's own Property table is read for that")
        self.installed()
        self.assertIn("MSIRMSHUTDOWN\t1", msi_table(ARGS.package, "Property"))
        self.start_detached(f'"{INSTALL_DIR}\\APPWATCH.exe"')
        try:
            # Running once its window has loaded the configuration, which it logs.
            wait_for(lambda: installed_processes("APPWATCH.exe") and
                     "ExecutableFileList:" in read_text(MONITOR_LOG),
                     "the installed monitor running", timeout=60)
            self.removed()
            self.assertEqual(installed_processes("APPWATCH.exe"), [], "the monitor outlived the removal")
        finally:
            bench("exec", WINE64, "taskkill", "/f", "/im", "APPWATCH.exe", check=False,
                  detached=True)

    def test_existing_configuration_is_kept(self):
        """A configuration that was there before the package (appwatch deployed by other
        means, say) is neither replaced on install nor removed with the package."""
        own = b"[Executable]\r\nrecorder.exe\r\n"
        os.makedirs(os.path.dirname(drive_c(CONFIG)))
        put(drive_c(CONFIG), own)
        self.installed()
        self.assertInstalled()
        self.assertEqual(read_bytes(CONFIG), own)
        self.removed()
        self.assertEqual(read_bytes(CONFIG), own)

    def test_what_a_user_made_at_the_data_paths_is_moved_aside_unread(self):
        """Whatever stands at a data path and is not a plain folder (or log) that only
        administrators can change is moved aside, untouched, and named in the package log; the
        install goes on with fresh folders. Wine shows an owner other than the prefix's user for
        a file of another Unix user, and a world-writable folder as one everybody may change."""
        wine_fact("a junction or link is opened itself, and the set-up step moves it aside",
                   "a Unix link's target is opened even when the link itself is asked for, and a "
                   "rename would move the target; the step sees the handle name another place "
                   "and fails the install instead, touching nothing")
        outside = os.path.join(self.temp, "outside")

        def users_folder():
            os.makedirs(drive_c(r"C:\ZQ\Data\ZQPRX"))
            put(drive_c(r"C:\ZQ\notes.txt"), b"the user's own file")
            put(drive_c(CONFIG), b"[Executable]\r\nplanted.exe\r\n")
            for folder, dirs, files in os.walk(drive_c(r"C:\ZQ")):
                for name in [folder] + [os.path.join(folder, n) for n in files]:
                    os.chown(name, 4242, 4242)

        def linked_folder():
            os.makedirs(os.path.join(outside, "Data"))
            put(os.path.join(outside, "Data", "keep.txt"), b"outside")
            os.symlink(outside, drive_c(r"C:\ZQ"))

        def file_for_folder():
            os.makedirs(drive_c(r"C:\ZQ\Data"))
            put(drive_c(r"C:\ZQ\Data\ZQPRX"), b"not a folder")

        def open_folder():
            os.makedirs(drive_c(r"C:\ZQ\Data"))
            put(drive_c(MONITOR_LOG), "planted\r\n".encode("utf-16-le"))
            os.chmod(drive_c(r"C:\ZQ\Data"), 0o777)

        def linked_log():
            os.makedirs(drive_c(r"C:\ZQ\Data"))
            os.makedirs(outside)
            put(os.path.join(outside, "victim.txt"), b"victim")
            os.symlink(os.path.join(outside, "victim.txt"), drive_c(MONITOR_LOG))

        # name, preparation, the path found unfit, whether Wine lets it be moved aside
        rows = [("a user's C:\\ZQ with a file and a changed configuration", users_folder, r"C:\ZQ",
                 True),
                ("a link at C:\\ZQ", linked_folder, r"C:\ZQ", False),
                ("a file at C:\\ZQ\\Data\\ZQPRX", file_for_folder, r"C:\ZQ\Data\ZQPRX", True),
                ("C:\\ZQ\\Data open to everybody", open_folder, r"C:\ZQ\Data", True),
                ("a link at the monitor log", linked_log, MONITOR_LOG, False)]
        for name, prepare, moved, movable in rows:
            with self.subTest(name):
                remove_everything()
                shutil.rmtree(outside, ignore_errors=True)
                prepare()
                before, outside_before = tree(drive_c(moved)), tree(outside)
                code, text = install(ARGS.package)
                if not movable:
                    self.assertEqual(code, ERROR_INSTALL_FAILURE & 0xFF, text[-3000:])
                    self.assertRemoved()
                    self.assertEqual(tree(drive_c(moved)), before, "the link was changed")
                    self.assertEqual(tree(outside), outside_before, "a link was followed")
                    self.assertIn(f"{moved} is not a folder that only Administrators", text)
                    continue
                self.assertEqual(code, 0, text[-3000:])
                self.assertInstalled()
                self.assertEqual(read_bytes(CONFIG), default_config())
                asides = glob.glob(drive_c(moved) + ".moved-*")
                self.assertEqual(len(asides), 1, "not moved aside")
                self.assertEqual(tree(asides[0]), before, "what was moved aside was changed")
                self.assertEqual(tree(outside), outside_before, "a link was followed")
                aside = moved + asides[0][len(drive_c(moved)):]
                self.assertIn(f"moved {moved} aside to {aside}", text)
                self.removed()
                self.assertEqual(tree(asides[0]), before, "removal touched what was moved aside")

    def test_reinstall_that_fails_keeps_what_was_there(self):
        """A reinstall whose ICONREG -R fails rolls back only what it made itself: the item
        that was registered and the default configuration that was there stay."""
        wine_fact("a failed REINSTALL is rolled back", "msiexec runs no rollback at all when "
                   "REINSTALL is set, so the failing run is the same package installed again, "
                   "which Wine rolls back")
        self.installed()
        wine("reg", "delete", CLASS_KEY, "/f", "/reg:64")
        code, text = self.install_with_class_key_blocked()
        self.assertNotEqual(code, 0, "the repair succeeded although ICONREG -R failed")
        self.assertEqual(reg_value(NAMESPACE_KEY, None, 64), "ZQ Proximity Sensor")
        self.assertEqual(read_bytes(CONFIG), default_config())

    def test_install_twice_and_repair(self):
        self.installed()
        self.installed()
        self.assertInstalled()

        # Repair. Windows' "msiexec /f<mode> package" is the REINSTALL and REINSTALLMODE
        # properties of an install, given here. A deleted program comes back with the usual
        # repair (missing or older files).
        wine_fact("msiexec /f repairs", "Wine 8's msiexec does not carry out /f (for a product "
                   "code it is a stub, for a package it fails)")
        sensorctl = drive_c(f"{INSTALL_DIR}\\SENSORCTL.exe")
        original = read_bytes(f"{INSTALL_DIR}\\SENSORCTL.exe")
        os.remove(sensorctl)
        self.installed(None, "REINSTALL=ALL", "REINSTALLMODE=omus")
        self.assertEqual(read_bytes(f"{INSTALL_DIR}\\SENSORCTL.exe"), original)

        # A damaged one, same size and version resource, with the repair that also replaces
        # files of equal version ("msiexec /fecmus").
        damaged = bytearray(original)
        damaged[0x400:0x800] = b"\xcc" * 0x400
        put(sensorctl, damaged)
        self.installed(None, "REINSTALL=ALL", "REINSTALLMODE=ecmus")
        self.assertEqual(read_bytes(f"{INSTALL_DIR}\\SENSORCTL.exe"), original)
        self.assertInstalled()

    def test_upgrade_keeps_configuration_and_downgrade_is_refused(self):
        older = make_package(lower_version(ARGS.version), self.temp)
        self.installed(older)
        self.assertEqual(products()[0].get("DisplayVersion"), lower_version(ARGS.version))
        changed = b"[Debug]\r\n255\r\n[Executable]\r\nplayer.exe\r\n[ClassName]\r\n"
        put(drive_c(CONFIG), changed)

        self.installed()
        self.assertInstalled()
        self.assertEqual(products()[0].get("DisplayVersion"), ARGS.version)
        self.assertEqual(read_bytes(CONFIG), changed, "the upgrade lost the configuration")

        # A rebuilt package of the same version (a new product code) replaces it as well.
        self.installed(make_package(ARGS.version, os.path.join(self.temp, "rebuilt")))
        self.assertInstalled()

        code, text = install(older)
        self.assertEqual(code, ERROR_INSTALL_FAILURE & 0xFF,  # exit codes reach Linux modulo 256
                         "an older package installed over a newer one")
        # The message is the launch condition's, read from the package's own table.
        wine_fact("the launch condition's message is shown and written to the log",
                   "msiexec writes neither under /qn")
        self.assertIn(f"NOT ZQ_NEWER_PRODUCT_FOUND OR Installed\t{DOWNGRADE_MESSAGE}",
                      msi_table(older, "LaunchCondition"))
        self.assertIn("ZQ_NEWER_PRODUCT_FOUND = ", text)
        self.assertEqual(products()[0].get("DisplayVersion"), ARGS.version)
        self.assertInstalled()
        self.assertEqual(read_bytes(CONFIG), changed)

    def test_signed_package_installs(self):
        """The signature added to the package (a stream of its own) leaves it installable, and
        the programs it installs carry theirs. The unsigned build is what the other tests use."""
        key, cert, pfx = (os.path.join(self.temp, n) for n in ("key.pem", "cert.pem", "s.pfx"))
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                        key, "-out", cert, "-days", "2", "-subj", "/CN=ZQ test signing",
                        "-addext", "extendedKeyUsage=codeSigning"], check=True,
                       capture_output=True)
        subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                        "-passout", "pass:throwaway"], check=True, capture_output=True)
        signed = make_package(ARGS.version, os.path.join(self.temp, "signed"),
                              {"ZQ_SIGN_PFX": pfx, "ZQ_SIGN_PASSWORD": "throwaway"})
        self.installed(signed)
        self.assertInstalled()
        for name in PROGRAMS:
            verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in",
                                       drive_c(f"{INSTALL_DIR}\\{name}")], capture_output=True)
            self.assertEqual(verified.returncode, 0, f"installed {name} is not signed")
        self.removed(signed)

    def test_data_folder_access_lists(self):
        """The descriptors the package applies, checked with Windows' access check for a user and
        an administrator."""
        wine_fact("the installed folders carry the access lists", "no access list is kept on "
                   "a folder (a DACL is mapped onto Unix mode bits)")
        result = bench("run", ARGS.access_check, check=False)
        log(result.stdout)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("0 failed", result.stdout)

    def test_failed_registration_rolls_back(self):
        files_before = file_snapshot()
        code, text = self.install_with_class_key_blocked()
        self.assertNotEqual(code, 0, "the install succeeded although ICONREG -R failed")
        self.assertRemoved()
        # ICONREG logged why; the log is kept like every log. The rollback of the folder step
        # took the default configuration and the empty ZQPRX folder away again.
        tool_log = read_bytes(TOOL_LOG).decode("utf-16-le")
        self.assertIn("RegCreateKeyEx:Fail", tool_log)
        self.assertFalse(os.path.exists(drive_c(CONFIG)), "default configuration left")
        self.assertEqual(file_snapshot() ^ files_before, {"ZQ", "ZQ/Data"})


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--version", required=True)
    for name in ("source", "build", "package", "volatile-key", "access-check", "state"):
        parser.add_argument(f"--{name}", required=True, type=os.path.abspath)
    ARGS, rest = parser.parse_known_args()

    # The package is 32-bit and so are the programs it installs and runs: a 32-bit bench, which
    # reports itself skipped (77) on a machine that cannot run 32-bit programs.
    up = bench("up", "--bits", "32", "--private-display", check=False)
    if up.returncode == SKIPPED:
        log(up.stderr.strip())
        bench("down", check=False)
        return SKIPPED
    if up.returncode != 0:
        raise AssertionError(f"winebench up failed ({up.returncode}):\n{up.stdout}{up.stderr}")
    try:
        # The prefix must be WoW64: 32-bit programs run in it beside 64-bit ones.
        assert os.path.isdir(drive_c(r"C:\windows\syswow64")), "the prefix is not WoW64"
        program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
        ok = program.result.wasSuccessful()
    finally:
        remove_everything()
        bench("down", check=False)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
