#!/usr/bin/env python3
"""The program as a lab instrument: PyVISA with the pyvisa-py backend drives
it over SCPI on loopback, against the simulated supply, in a temporary program
directory. Identity, setpoints, switch-on, measurement, a refused value, and
switch-off with its record file; writes followed by queries with PyVISA's
defaults; a batch sent over a raw socket that is then half-closed; a web
request (http.client), a TLS ClientHello and another account (setpriv)
refused; the I/O watchdog tripping while refused traffic arrives. Then, without a window (--headless): a script's OUTP OFF followed at
once by SIGTERM leaves the supply off; a script ported from another bench
supply, started with the program, switches on after *RST and APPL and reads
its own step at every step of a sweep without sleeps; and a port that cannot
be had ends the program with status 1.

    test_scpi_pyvisa.py PROGRAM SIMULATOR
"""
import glob
import http.client
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import pyvisa

# Deadlines are generous: a busy machine is slow, never wrong.
DEADLINE_S = 60
PORT_NUMBER = 16
# The simulated supply's default load: 12.5 V drive 1.25 A through it.
LOAD_OHMS = 10


def wait_for(what, condition, seconds=DEADLINE_S):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError(f"gave up waiting for {what}")


def expect(actual, expected, what):
    if actual != expected:
        raise AssertionError(f"{what}: got {actual!r}, expected {expected!r}")


def unused_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def accepts(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def start_program(program, directory, errors, options=()):
    """Starts the program on a free port; another port when that one was
    taken between the probe and the bind."""
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for _ in range(5):
        port = unused_port()
        errors.seek(0)
        errors.truncate()
        process = subprocess.Popen([program, "--scpi", str(port), *options], cwd=directory,
                                   env=environment, stdout=subprocess.DEVNULL, stderr=errors)

        def settled():
            errors.flush()
            with open(errors.name, encoding="utf-8", errors="replace") as text:
                refused = "Remote control (SCPI)" in text.read()
            return "refused" if refused or process.poll() is not None else accepts(port)

        if wait_for("the SCPI port to open", settled) is True:
            return process, port
        process.send_signal(signal.SIGTERM)
        process.wait(DEADLINE_S)
    raise AssertionError("no free port could be served")


def measurement_lines(path):
    """The log lines with a voltage near 12.5 V in a journal or record file."""
    with open(path, "rb") as log:
        text = log.read().decode("latin-1")
    return re.findall(r"\s(12\.[45]\dV)\s+(\d\.\d{3})A", text)


def last_whole_frame(frame_log):
    """The last frame the simulated supply received whole."""
    with open(frame_log, encoding="latin-1") as log:
        frames = [line.split()[1] for line in log if len(line.split()) == 2]
    return frames[-1] if frames else None


def write_then_query(resource, pairs=200):
    """pyvisa-py leaves Nagle on: a write followed at once by a query must not
    wait for a delayed acknowledgement. Answers are checked; the times are
    printed (the benchmark holds the target)."""
    times_ms = []
    for index in range(pairs):
        volts = f"{index % 30}.50"
        start = time.perf_counter()
        resource.write(f"VOLT {volts}")
        answer = resource.query("VOLT?")
        times_ms.append((time.perf_counter() - start) * 1000)
        expect(answer, volts, "setpoint read back after a write")
    times_ms.sort()
    print(f"write then query, {pairs} pairs: median {times_ms[pairs // 2]:.2f} ms, "
          f"p95 {times_ms[pairs * 95 // 100]:.2f} ms")


def half_closed_batch(port):
    """A 4 KiB batch ending in OUTP OFF and *IDN?, then a half-close, as nc -N
    does: every line runs and the reply comes back before the close."""
    lines = [f"VOLT {index % 31}.{index % 10}" for index in range(450)]
    batch = "\n".join(["OUTP ON"] + lines + ["VOLT 7.25", "OUTP OFF", "*IDN?"]).encode("ascii") + b"\n"
    if len(batch) < 4096:
        raise AssertionError(f"batch of {len(batch)} bytes")
    with socket.create_connection(("127.0.0.1", port), timeout=DEADLINE_S) as raw:
        raw.sendall(batch)
        raw.shutdown(socket.SHUT_WR)
        received = b""
        while chunk := raw.recv(4096):
            received += chunk
    if not re.fullmatch(rb"Velkor,VK-7100,0,[\d.]+\n", received):
        raise AssertionError(f"half-closed batch answered {received!r}")


def web_request_refused(port):
    """What a web page can make a browser send: the connection goes, and none
    of the body's lines runs."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=DEADLINE_S)
    try:
        connection.request("POST", "/", body=b"\nVOLT 23.5\nOUTP ON\n")
        response = connection.getresponse()
        raise AssertionError(f"a web request got an answer: {response.status}")
    except (http.client.RemoteDisconnected, ConnectionResetError, BrokenPipeError):
        pass
    finally:
        connection.close()


def client_hello(lines):
    """A TLS 1.2 ClientHello whose session ticket holds the given bytes, as a
    browser resuming a session with a ticket a web page chose would send."""
    ticket = b"\x00\x23" + len(lines).to_bytes(2, "big") + lines
    body = (b"\x03\x03" + bytes(32) + b"\x00" + b"\x00\x02\x13\x01" + b"\x01\x00"
            + len(ticket).to_bytes(2, "big") + ticket)
    handshake = b"\x01" + len(body).to_bytes(3, "big") + body
    return b"\x16\x03\x01" + len(handshake).to_bytes(2, "big") + handshake


def sent_and_closed(port, data):
    """Sends the bytes and returns what came back before the server closed."""
    with socket.create_connection(("127.0.0.1", port), timeout=DEADLINE_S) as raw:
        try:
            raw.sendall(data)
            received = b""
            while chunk := raw.recv(4096):
                received += chunk
            return received
        except (ConnectionResetError, BrokenPipeError):
            return b""


def tls_hello_refused(port):
    """TLS is what a browser speaks to an https address: the connection goes
    without a reply, and the ticket's lines never run."""
    expect(sent_and_closed(port, client_hello(b"\nVOLT 7.77\nOUTP ON\n")), b"",
           "reply to a ClientHello")


def refused_traffic(port):
    """One of each kind of traffic that is refused: a web request, a TLS
    ClientHello, one 0xFF byte."""
    web_request_refused(port)
    sent_and_closed(port, client_hello(b"\n*IDN?\n"))
    sent_and_closed(port, b"\xff")


def other_account_refused(port):
    """A client of another account is told why in one line, and nothing it
    sends runs. Only root can start a client as another account."""
    if os.geteuid() != 0:
        print("not root: the client of another account was not tried")
        return
    client = ("import socket\n"
              f"with socket.create_connection(('127.0.0.1', {port}), timeout=30) as s:\n"
              "    s.sendall(b'OUTP ON\\n')\n"
              "    print(s.makefile('rb').read().decode('ascii'), end='')\n")
    told = subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                           sys.executable, "-c", client], cwd="/", capture_output=True,
                          text=True, timeout=DEADLINE_S, check=True).stdout
    if not told.startswith("ERROR: ") or told.count("\n") != 1:
        raise AssertionError(f"another account was told {told!r}")


def watchdog_trips(resource, directory, records_before, port):
    """A script that switches the output on under the watchdog and falls
    silent: the output goes off as the OFF button does, with its record,
    however much refused traffic arrives meanwhile."""
    def records():
        return len(glob.glob(os.path.join(directory, "Record", "*.TXT")))
    wait_for(f"the {records_before} records of the switch-offs so far",
             lambda: records() == records_before)
    resource.write("OUTP:PROT:WDOG ON;WDOG:DEL 1;:OUTP ON")
    expect(resource.query("OUTP?;:OUTP:PROT:WDOG?;WDOG:DEL?"), "1;1;1", "watchdog armed")
    # Nothing of the script goes to the program while it waits, only refused
    # traffic, several times within the watchdog's delay: the record shows
    # the trip.
    def tripped_under_refused_traffic():
        refused_traffic(port)
        return records() > records_before
    wait_for("the record of the watchdog's switch-off", tripped_under_refused_traffic)
    expect(resource.query("OUTP?;:OUTP:PROT:TRIP?"), "0;1", "after the watchdog tripped")
    resource.write("OUTP:PROT:CLE;WDOG OFF")
    expect(resource.query("OUTP:PROT:TRIP?;WDOG?"), "0;0", "trip cleared, watchdog off")


def frames_on(frame_log):
    """The whole frames the simulated supply received that switch it on."""
    with open(frame_log, encoding="latin-1") as log:
        frames = [line.split()[1] for line in log if len(line.split()) == 2]
    return [frame for frame in frames if frame.endswith("O")]


def ported_script(program, simulator):
    """A script written for another maker's bench supply, started together
    with the program: *RST, APPL, OUTP ON, then a sweep with *OPC? and MEAS?
    and no sleeps. Every reading is its own step's, to one digit, and the
    supply never runs at the setpoints from before the reset."""
    with tempfile.TemporaryDirectory() as directory, \
            open(os.path.join(directory, "velkor.err"), "w+") as errors:
        shutil.copy(program, os.path.join(directory, "velkor"))
        frame_log = os.path.join(directory, "frames.log")
        # A light load keeps the supply at its voltage up to 10 V at 0.1 A.
        supply = subprocess.Popen([simulator, "--port", str(PORT_NUMBER), "--dir", directory,
                                   "--load-ohms", "1000", "--frame-log", frame_log],
                                  stdout=subprocess.DEVNULL)
        process = None
        try:
            wait_for("the simulated supply's port",
                     lambda: os.path.exists(os.path.join(directory, "ports", f"com{PORT_NUMBER}")))
            process, port = start_program(os.path.join(directory, "velkor"), directory, errors,
                                          ["--headless"])
            manager = pyvisa.ResourceManager("@py")
            resource = manager.open_resource(
                f"TCPIP::127.0.0.1::{port}::SOCKET",
                read_termination="\n", write_termination="\n", timeout=10_000)
            # What an earlier script left.
            resource.write("VOLT 12;CURR 1")
            resource.write("*RST")
            resource.write("APPL 3.3,0.1")
            resource.write("OUTP ON")
            expect(resource.query("OUTP?;:APPL?;:SYST:ERR?"), '1;"3.30,0.100";0,"No error"',
                   "switched on by a script started with the program")
            times_ms = []
            for volts in range(1, 11):
                start = time.perf_counter()
                resource.write(f"VOLT {volts}")
                expect(resource.query("*OPC?"), "1", f"*OPC? at {volts} V")
                measured = float(resource.query("MEAS:VOLT?"))
                times_ms.append((time.perf_counter() - start) * 1000)
                if abs(measured - volts) > 0.011:
                    raise AssertionError(f"MEAS:VOLT? at {volts} V read {measured}")
            resource.write("OUTP OFF")
            expect(resource.query("*OPC?;:SYST:ERR?"), '1;0,"No error"', "after the sweep")
            on_frames = frames_on(frame_log)
            if not on_frames or any(frame[6:10] == "1200" for frame in on_frames):
                raise AssertionError(f"frames that switched the supply on: {on_frames[:5]}")
            times_ms.sort()
            print(f"sweep of 10 steps, VOLT then *OPC? then MEAS?: median {times_ms[5]:.0f} ms, "
                  f"longest {times_ms[-1]:.0f} ms")
            resource.close()
            manager.close()
        finally:
            if process is not None:
                process.send_signal(signal.SIGTERM)
                expect(process.wait(DEADLINE_S), 0, "program's exit status")
            supply.terminate()
            supply.wait(DEADLINE_S)


def port_taken_ends_headless(program):
    """Without a window, SCPI that cannot be served is a failed start."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as holder, \
            tempfile.TemporaryDirectory() as directory:
        holder.bind(("127.0.0.1", 0))
        holder.listen()
        shutil.copy(program, os.path.join(directory, "velkor"))
        ended = subprocess.run([os.path.join(directory, "velkor"), "--headless", "--scpi",
                                str(holder.getsockname()[1])], cwd=directory,
                               capture_output=True, text=True, timeout=DEADLINE_S)
        expect(ended.returncode, 1, "exit status with the SCPI port taken")
        if "127.0.0.1" not in ended.stderr:
            raise AssertionError(f"the taken address was not told: {ended.stderr!r}")


def off_then_stop_signal(program, simulator, tries=3):
    """OUTP OFF, answered, then SIGTERM at once: the close owes the supply a
    whole off frame even though it switched nothing off itself."""
    for attempt in range(tries):
        with tempfile.TemporaryDirectory() as directory, \
                open(os.path.join(directory, "velkor.err"), "w+") as errors:
            shutil.copy(program, os.path.join(directory, "velkor"))
            frame_log = os.path.join(directory, "frames.log")
            supply = subprocess.Popen([simulator, "--port", str(PORT_NUMBER), "--dir", directory,
                                       "--frame-log", frame_log], stdout=subprocess.DEVNULL)
            try:
                wait_for("the simulated supply's port", lambda: os.path.exists(
                    os.path.join(directory, "ports", f"com{PORT_NUMBER}")))
                process, port = start_program(os.path.join(directory, "velkor"), directory,
                                              errors, ["--headless"])
                manager = pyvisa.ResourceManager("@py")
                resource = manager.open_resource(
                    f"TCPIP::127.0.0.1::{port}::SOCKET",
                    read_termination="\n", write_termination="\n", timeout=10_000)
                wait_for("a reading from the supply",
                         lambda: resource.query("MEAS:VOLT?") != "9.91E37")
                resource.write("VOLT 4;CURR 1;OUTP ON")
                wait_for("an on frame at the supply",
                         lambda: (last_whole_frame(frame_log) or "").endswith("O"))
                resource.write("OUTP OFF")
                expect(resource.query("*OPC?"), "1", "OUTP OFF done")
                process.send_signal(signal.SIGTERM)
                expect(process.wait(DEADLINE_S), 0, "exit status after SIGTERM")
                resource.close()
                manager.close()
            finally:
                supply.terminate()
                supply.wait(DEADLINE_S)
            expect(last_whole_frame(frame_log)[-1:], "N",
                   f"last whole frame after OUTP OFF and SIGTERM (try {attempt + 1})")


def main():
    program, simulator = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as directory, \
            open(os.path.join(directory, "velkor.err"), "w+") as errors:
        shutil.copy(program, os.path.join(directory, "velkor"))
        supply = subprocess.Popen([simulator, "--port", str(PORT_NUMBER), "--dir", directory],
                                  stdout=subprocess.DEVNULL)
        process = None
        try:
            wait_for("the simulated supply's port",
                     lambda: os.path.exists(os.path.join(directory, "ports", f"com{PORT_NUMBER}")))
            process, port = start_program(os.path.join(directory, "velkor"), directory, errors)

            manager = pyvisa.ResourceManager("@py")
            supply_resource = manager.open_resource(
                f"TCPIP::127.0.0.1::{port}::SOCKET",
                read_termination="\n", write_termination="\n", timeout=10_000)

            identity = supply_resource.query("*IDN?")
            if not re.fullmatch(r"Velkor,VK-7100,0,\d+(\.\d+)*", identity):
                raise AssertionError(f"identity {identity!r}")

            # The link comes up once the program has found the supply's port.
            wait_for("a reading from the supply",
                     lambda: supply_resource.query("MEAS:VOLT?") != "9.91E37")
            supply_resource.write("*CLS")

            supply_resource.write("VOLT 12.5;CURR 2000 mA")
            expect(supply_resource.query("VOLT?;CURR?"), "12.50;2.000", "setpoints")
            supply_resource.write("OUTP ON")
            expect(supply_resource.query("OUTP?;:SYST:ERR?"), '1;0,"No error"', "switch-on")

            def near(query, target, tolerance):
                value = float(supply_resource.query(query))
                return abs(value - target) <= tolerance

            wait_for("12.5 V measured", lambda: near("MEAS:VOLT?", 12.5, 0.1))
            expect(near("MEAS:CURR?", 12.5 / LOAD_OHMS, 0.05), True, "current measured")
            journal = wait_for("a measurement line in the journal", lambda: [
                path for path in glob.glob(os.path.join(directory, "*.journal"))
                if measurement_lines(path)])

            supply_resource.write("VOLT 40")
            expect(supply_resource.query("SYST:ERR?"), '-222,"Data out of range"',
                   "out-of-range value")
            expect(supply_resource.query("VOLT?"), "12.50", "setpoint after the refusal")

            supply_resource.write("OUTP OFF")
            expect(supply_resource.query("OUTP?;:SYST:ERR?"), '0;0,"No error"', "switch-off")
            # The refusal's text, read with PyVISA's ASCII decoding.
            supply_resource.write("PROG:STAT RUN")
            refusal = supply_resource.query("SYST:ERR?")
            if not refusal.startswith('-221,"Settings conflict'):
                raise AssertionError(f"a run with no steps: {refusal!r}")
            # The record, its spreadsheet and its picture are written away
            # from the window's thread; the journal goes once they are.
            records = wait_for("the record after the switch-off", lambda: glob.glob(
                os.path.join(directory, "Record", "*.TXT")))
            expect(len(records), 1, "record files after one switch-off")
            expect(bool(measurement_lines(records[0])), True, "measurement lines in the record")
            wait_for(f"journal {journal} to go after the record",
                     lambda: not glob.glob(os.path.join(directory, "*.journal")))

            write_then_query(supply_resource)
            half_closed_batch(port)
            expect(supply_resource.query("VOLT?;OUTP?"), "7.25;0", "after the half-closed batch")
            web_request_refused(port)
            tls_hello_refused(port)
            other_account_refused(port)
            expect(supply_resource.query("VOLT?;OUTP?;:SYST:ERR?"), '7.25;0;0,"No error"',
                   "after the refused clients")
            # Two switch-offs so far: the first OUTP OFF, and the batch's.
            watchdog_trips(supply_resource, directory, 2, port)
            supply_resource.close()
            manager.close()
        finally:
            if process is not None:
                process.send_signal(signal.SIGTERM)
                expect(process.wait(DEADLINE_S), 0, "program's exit status")
            supply.terminate()
            supply.wait(DEADLINE_S)
    off_then_stop_signal(program, simulator)
    ported_script(program, simulator)
    port_taken_ends_headless(program)
    print("PyVISA drove the program: identity, setpoints, output on and off, "
          "measurement, refusal and record, writes then queries, a half-closed batch, "
          "the watchdog under refused traffic; a web request, a TLS ClientHello and "
          "another account were refused; without a "
          "window, OUTP OFF then SIGTERM left the supply off and a taken port ended it")


if __name__ == "__main__":
    main()
