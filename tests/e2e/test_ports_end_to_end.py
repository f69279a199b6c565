#!/usr/bin/env python3
"""A bench PC's ports, end to end: the program without a window, driven by
PyVISA, against simulated supplies that log every frame they take.

- The supply on port 16 falls silent but keeps listening, a silent device
  listens on port 15: the supply gets a whole off frame right after the
  declared loss and no on frame after it; port 15 gets no on frame and no
  broken frame.
- With the output held through a loss, a second supply on port 15 that the
  search finds never gets an on frame.
- The supply hangs up and a new one appears at the same path: a stop signal
  leaves that one off.
Without a window the program says on its error output where it keeps its
files, where scripts reach it, and when the supply is found and lost.

    test_ports_end_to_end.py PROGRAM SIMULATOR
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyvisa

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "remote"))
from test_scpi_pyvisa import DEADLINE_S, expect, start_program, wait_for  # noqa: E402

# The link is declared lost after 12 reads without a reply, a second apart.
LOSS_S = 12


def frames(frame_log):
    """(ms, frame) for every whole frame the simulator took, and the bytes it
    took in all."""
    taken, received = [], 0
    with open(frame_log, encoding="latin-1") as log:
        for line in log:
            fields = line.split()
            if len(fields) == 2:
                taken.append((int(fields[0]), fields[1]))
            elif len(fields) == 3 and fields[1] == "bytes":
                received = int(fields[2])
    return taken, received


class Bench:
    """A program directory with simulators on its ports and the program."""

    def __init__(self, program, simulator, directory, settings="", program_apart=False):
        """With program_apart, the program lies in a folder of its own and
        --data-dir names the bench's directory as its data folder."""
        self.simulator = simulator
        self.directory = directory
        self.program_dir = os.path.join(directory, "program") if program_apart else directory
        self.options = ["--data-dir", directory] if program_apart else []
        self.supplies = {}
        os.makedirs(self.program_dir, exist_ok=True)
        shutil.copy(program, os.path.join(self.program_dir, "velkor"))
        if settings:
            with open(os.path.join(directory, "settings.ini"), "w", encoding="ascii") as file:
                file.write(settings)
        self.errors = open(os.path.join(directory, "velkor.err"), "w+", encoding="utf-8")
        self.process = None
        self.resource = None

    def supply(self, port_number, name, options=()):
        log = os.path.join(self.directory, f"{name}.frames")
        link = os.path.join(self.directory, "ports", f"com{port_number}")
        if os.path.lexists(link):
            os.remove(link)
        self.supplies[name] = (subprocess.Popen(
            [self.simulator, "--port", str(port_number), "--dir", self.directory,
             "--frame-log", log, *options], stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL), log)
        wait_for(f"{name}'s port", lambda: os.path.exists(link))
        return log

    def start(self):
        self.process, port = start_program(os.path.join(self.program_dir, "velkor"),
                                           self.directory, self.errors,
                                           ["--headless", *self.options])
        self.manager = pyvisa.ResourceManager("@py")
        self.resource = self.manager.open_resource(
            f"TCPIP::127.0.0.1::{port}::SOCKET",
            read_termination="\n", write_termination="\n", timeout=10_000)

    def said(self, text):
        self.errors.flush()
        with open(self.errors.name, encoding="utf-8", errors="replace") as said:
            return text in said.read()

    def switch_on(self, on_log):
        wait_for("the supply to answer", lambda: self.resource.query("*TST?") == "0")
        self.resource.write("VOLT 5;CURR 0.5;OUTP ON")
        wait_for("an on frame at the supply",
                 lambda: any(frame.endswith("O") for _, frame in frames(on_log)[0]))

    def stop(self):
        self.resource.close()
        self.manager.close()
        self.process.send_signal(signal.SIGTERM)
        expect(self.process.wait(DEADLINE_S), 0, "exit status after SIGTERM")

    def close(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait(DEADLINE_S)
        for process, _ in self.supplies.values():
            process.terminate()
            process.wait(DEADLINE_S)
        self.errors.close()


def no_on_frame_and_nothing_broken(log, name):
    taken, received = frames(log)
    on = [frame for _, frame in taken if frame.endswith("O")]
    expect(on, [], f"on frames at {name}")
    expect(received, 16 * len(taken), f"bytes at {name} beyond its whole frames")


def ends_off(log, name):
    taken, _ = frames(log)
    expect(taken[-1][1][-1:] if taken else None, "N", f"last whole frame at {name}")


def silent_supply_and_silent_device(program, simulator):
    with tempfile.TemporaryDirectory() as directory:
        bench = Bench(program, simulator, directory)
        try:
            device = bench.supply(15, "device", ["--silent"])
            supply = bench.supply(16, "supply", ["--silent-between", "10,1000"])
            bench.start()
            bench.switch_on(supply)
            # Without a window, the error output says where the program keeps
            # its files, where scripts reach it, and where the supply is.
            for line in (f"Data folder: {directory}", "SCPI: 127.0.0.1:",
                         "The supply answers on COM16"):
                if not bench.said(line):
                    raise AssertionError(f"the error output lacks {line!r}")
            wait_for("the declared loss", lambda: bench.said("The supply was lost"),
                     DEADLINE_S + LOSS_S)
            # The program searches on; the device on port 15 is listened to.
            wait_for("a frame at port 15", lambda: frames(device)[0])
            time.sleep(2)
            bench.stop()
        finally:
            bench.close()
        taken, _ = frames(supply)
        last_on = max(index for index, (_, frame) in enumerate(taken) if frame.endswith("O"))
        after = taken[last_on + 1:]
        if not after:
            raise AssertionError("no off frame reached the supply after the loss")
        expect([frame for _, frame in after if frame.endswith("O")], [],
               "on frames at the supply after the loss")
        print(f"the supply's first off frame came {after[0][0] - taken[last_on][0]} ms "
              f"after its last on frame")
        ends_off(supply, "the supply")
        no_on_frame_and_nothing_broken(device, "port 15")


def held_output_and_second_supply(program, simulator):
    with tempfile.TemporaryDirectory() as directory:
        bench = Bench(program, simulator, directory, "[General]\nlink_loss_output=hold\n")
        try:
            second = bench.supply(15, "second")
            supply = bench.supply(16, "supply", ["--silent-between", "10,1000"])
            bench.start()
            bench.switch_on(supply)
            wait_for("the held loss", lambda: bench.said("held on"), DEADLINE_S + LOSS_S)
            wait_for("frames at the second supply", lambda: len(frames(second)[0]) > 20)
            # The second supply answers, but it is not the supply whose
            # output is held: the link stays down for scripts.
            expect(bench.resource.query("*TST?"), "1", "self-test while another supply answers")
            bench.stop()
        finally:
            bench.close()
        no_on_frame_and_nothing_broken(second, "the second supply")
        ends_off(supply, "the held supply")


def hang_up_and_new_supply_at_the_path(program, simulator):
    with tempfile.TemporaryDirectory() as directory:
        bench = Bench(program, simulator, directory)
        try:
            first = bench.supply(16, "first", ["--hangup-after", "8"])
            bench.start()
            bench.switch_on(first)
            process, _ = bench.supplies["first"]
            expect(process.wait(DEADLINE_S), 0, "the first supply's exit at its hang-up")
            second = bench.supply(16, "second")
            wait_for("frames at the new supply", lambda: len(frames(second)[0]) > 5)
            bench.stop()
        finally:
            bench.close()
        ends_off(second, "the supply at the same path")
        taken, received = frames(second)
        expect(received, 16 * len(taken), "bytes at the new supply beyond its whole frames")


def data_folder_apart_from_the_program(program, simulator):
    with tempfile.TemporaryDirectory() as directory:
        bench = Bench(program, simulator, directory, program_apart=True)
        try:
            supply = bench.supply(16, "supply")
            bench.start()
            expect(bench.said(f"Data folder: {directory}"), True, "the data folder said at start")
            # The port links and the record are the data folder's; the
            # program's own folder gets nothing.
            bench.switch_on(supply)
            bench.stop()
        finally:
            bench.close()
        ends_off(supply, "the supply of the data folder's ports")
        records = os.listdir(os.path.join(directory, "Record"))
        expect(any(name.endswith(".TXT") for name in records), True, "a record in the data folder")
        expect(sorted(os.listdir(bench.program_dir)), ["velkor"], "the program's own folder")


def main():
    program, simulator = sys.argv[1], sys.argv[2]
    silent_supply_and_silent_device(program, simulator)
    held_output_and_second_supply(program, simulator)
    hang_up_and_new_supply_at_the_path(program, simulator)
    data_folder_apart_from_the_program(program, simulator)
    print("4 passed, 0 failed")


if __name__ == "__main__":
    main()
