#!/usr/bin/env python3
"""The Windows program as an operator gets it, under Wine: the installer run
silently in a fresh prefix, and the installed program, without a window,
against the simulated supply on COM16, driven by PyVISA from Linux.

- The installer puts the program, its uninstaller and a Start menu entry in
  the user's folders.
- The installed program keeps its files in %LOCALAPPDATA%\\Velkor.
- It finds the supply on COM16 and switches it on at 5 V for a script.
- A Ctrl+C (SIGINT, which Wine hands over as CTRL_C_EVENT), and in a second
  run the end of the Windows session, each end it within 5 s with a whole
  off frame last at the supply and a record (text, spreadsheet, picture) in
  the data folder that ends with the stop.
- The uninstaller removes the program and leaves the records.

    test_windows_installed.py SETUP SIMULATOR     (WINEPREFIX: an empty folder)
"""
import csv
import glob
import os
import signal
import subprocess
import sys
import tempfile
import time

import pyvisa

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "remote"))
from test_ports_end_to_end import frames  # noqa: E402
from test_scpi_pyvisa import DEADLINE_S, accepts, expect, unused_port, wait_for  # noqa: E402

PORT_NUMBER = 16
# What the program promises from a stop to its last off frame and its exit.
STOP_S = 5
# A Chinese bench PC: its system code page (936, GBK) holds the Chinese
# words of the record files and of the program's messages, which an English
# one would turn into "?".
ENVIRONMENT = dict(os.environ, WINEDEBUG="-all", LC_ALL="zh_CN.UTF-8",
                   WINEQT_QPA_FONTDIR="Z:\\usr\\share\\fonts\\truetype\\dejavu")
SYSTEM_ENCODING = "gbk"


def wine(*arguments):
    return subprocess.run(["wine", *arguments], env=ENVIRONMENT, check=True, capture_output=True,
                          encoding=SYSTEM_ENCODING, errors="replace").stdout


def unix_path(windows_path):
    return subprocess.run(["winepath", "-u", windows_path], env=ENVIRONMENT, check=True,
                          capture_output=True, text=True).stdout.strip()


def folder_of(variable):
    """A folder the prefix's Windows names by an environment variable."""
    return unix_path(wine("cmd", "/c", f"echo %{variable}%").strip())


def install(setup):
    subprocess.run(["wineboot", "-i"], env=ENVIRONMENT, check=True, capture_output=True)
    subprocess.run(["winecfg", "-v", "win10"], env=ENVIRONMENT, check=True, capture_output=True)
    # Without a display Wine makes no window at all, unless its graphics
    # driver is the null one; the end of a session comes to windows only.
    wine("reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d", "null", "/f")
    wine(setup, "/S")
    program_dir = os.path.join(folder_of("LOCALAPPDATA"), "Programs", "Velkor")
    for name in ("velkor.exe", "velkor-console.exe", "Uninstall Velkor.exe", "Qt6Core.dll",
                 os.path.join("platforms", "qwindows.dll")):
        expect(os.path.exists(os.path.join(program_dir, name)), True, f"{name} installed")
    start_menu = os.path.join(folder_of("APPDATA"), "Microsoft", "Windows", "Start Menu",
                              "Programs", "Velkor.lnk")
    expect(os.path.exists(start_menu), True, "the Start menu entry")
    return program_dir


class InstalledProgram:
    """The installed console program without a window on an SCPI port of its
    own, as a script or a service starts it."""

    def __init__(self, program_dir, data_dir, errors):
        self.port = unused_port()
        self.process = subprocess.Popen(
            ["wine", os.path.join(program_dir, "velkor-console.exe"), "--headless", "--scpi",
             str(self.port)], env=ENVIRONMENT, stdout=subprocess.DEVNULL, stderr=errors)
        wait_for("the SCPI port to open",
                 lambda: self.process.poll() is not None or accepts(self.port))
        expect(self.process.poll(), None, "the program running")
        self.manager = pyvisa.ResourceManager("@py")
        self.resource = self.manager.open_resource(
            f"TCPIP::127.0.0.1::{self.port}::SOCKET",
            read_termination="\n", write_termination="\n", timeout=10_000)

    def switch_on(self, frame_log):
        wait_for("the supply to answer on COM16", lambda: self.resource.query("*TST?") == "0")
        self.resource.write("VOLT 5;CURR 1;OUTP ON")
        wait_for("an on frame at the supply",
                 lambda: any(frame.endswith("O") for _, frame in frames(frame_log)[0]))
        wait_for("a reading near 5 V",
                 lambda: abs(float(self.resource.query("MEAS:VOLT?")) - 5.0) < 0.05)
        self.resource.close()
        self.manager.close()


def end_line(stem):
    """The line before the save path, where the log ended."""
    with open(stem + ".TXT", encoding=SYSTEM_ENCODING) as text:
        lines = [line for line in text.read().splitlines() if line.strip()]
    saved = next(i for i, line in enumerate(lines) if line.startswith("保存路径:"))
    return lines[saved - 1]


def records(data_dir):
    return set(glob.glob(os.path.join(data_dir, "Record", "*.TXT")))


def stopped_as_promised(name, stop, program, frame_log, data_dir, known):
    """Stops the program and checks the end at the supply and on disk."""
    stopped_at_ms = time.monotonic() * 1000
    stop()
    expect(program.process.wait(DEADLINE_S), 0, f"exit status after {name}")
    taken, _ = frames(frame_log)
    last_ms, last_frame = taken[-1]
    expect(last_frame[-1], "N", f"last whole frame after {name}")
    if last_ms - stopped_at_ms > STOP_S * 1000:
        raise AssertionError(f"{name}: the off frame came {last_ms - stopped_at_ms:.0f} ms "
                             "after the stop")
    fresh = records(data_dir) - known
    expect(len(fresh), 1, f"records saved after {name}")
    stem = fresh.pop()[:-4]
    for companion in (".csv", ".png"):
        expect(os.path.exists(stem + companion), True, f"{companion} beside the record")
    with open(stem + ".csv", newline="", encoding="utf-8") as spreadsheet:
        volts = [float(row["voltage_V"]) for row in csv.DictReader(spreadsheet)
                 if row["voltage_V"]]
    expect(any(abs(v - 5.0) < 0.05 for v in volts), True, f"readings near 5 V in {stem}.csv")
    ending = end_line(stem)
    expect(ending.endswith("停止信号 / stop signal"), True, f"where the log ended: {ending!r}")
    known.add(stem + ".TXT")


def main():
    setup, simulator = sys.argv[1], os.path.abspath(sys.argv[2])
    prefix = os.environ["WINEPREFIX"]
    program_dir = install(setup)
    data_dir = os.path.join(folder_of("LOCALAPPDATA"), "Velkor")
    os.makedirs(data_dir, exist_ok=True)
    # Wine names no process as the owner of a connection, so no peer could
    # be told apart from another account's.
    with open(os.path.join(data_dir, "settings.ini"), "w", encoding="ascii") as settings:
        settings.write("scpi_other_accounts=allow\n")

    with tempfile.TemporaryDirectory() as bench:
        frame_log = os.path.join(bench, "supply.frames")
        supply = subprocess.Popen(
            [simulator, "--port", str(PORT_NUMBER), "--dir", bench, "--frame-log", frame_log],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        errors = open(os.path.join(bench, "velkor.err"), "w+", encoding=SYSTEM_ENCODING,
                      errors="replace")
        try:
            pty_link = os.path.join(bench, "ports", f"com{PORT_NUMBER}")
            wait_for("the simulated supply's port", lambda: os.path.exists(pty_link))
            com_link = os.path.join(prefix, "dosdevices", f"com{PORT_NUMBER}")
            if os.path.lexists(com_link):
                os.remove(com_link)
            os.symlink(os.path.realpath(pty_link), com_link)

            known = records(data_dir)
            ends = [("Ctrl+C", lambda program: program.process.send_signal(signal.SIGINT)),
                    ("the end of the Windows session",
                     lambda program: subprocess.run(["wineboot", "--end-session"],
                                                    env=ENVIRONMENT, check=True,
                                                    capture_output=True))]
            for name, end in ends:
                program = InstalledProgram(program_dir, data_dir, errors)
                try:
                    program.switch_on(frame_log)
                    stopped_as_promised(name, lambda: end(program), program, frame_log,
                                        data_dir, known)
                finally:
                    if program.process.poll() is None:
                        program.process.kill()
                        program.process.wait(DEADLINE_S)

            wine(os.path.join(program_dir, "Uninstall Velkor.exe"), "/S")
            wait_for("the uninstaller to remove the program",
                     lambda: not os.path.exists(os.path.join(program_dir, "velkor.exe")))
            expect(len(records(data_dir)), len(known), "records kept after the uninstall")
        except BaseException:
            errors.seek(0)
            sys.stderr.write("The program said:\n" + errors.read())
            raise
        finally:
            supply.terminate()
            supply.wait(DEADLINE_S)
            errors.close()
        # The simulator counts what it took up to its exit.
        taken, received = frames(frame_log)
        expect(received, 16 * len(taken), "bytes at the supply beyond whole frames")
    print("The installed Windows program found the supply on COM16, switched it on for a "
          "script, and ended with a whole off frame and a saved record at Ctrl+C and at the "
          "end of the Windows session; the uninstaller left the records.")


if __name__ == "__main__":
    main()
