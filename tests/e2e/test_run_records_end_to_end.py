#!/usr/bin/env python3
"""Runs and the records they leave, end to end: the program without a window,
driven by PyVISA, against the simulated supply.

- A run of 3 steps x 2 passes: PROG:STEP? and PROG:PASS? go through every
  step of every pass in order and answer 0 once it is over. Its record has
  the line where the run began and the one where it completed; Python's csv
  reads a step and a pass on every row, each step with its own setpoints;
  ImageMagick finds the pass mark in its picture.
- An over-current trip's record ends with a line that says so, its
  spreadsheet's step and pass cells are empty, and its picture has no pass
  mark.
- A stop signal's record says so.

    test_run_records_end_to_end.py PROGRAM SIMULATOR
"""
import csv
import glob
import os
import re
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_ports_end_to_end import Bench  # noqa: E402
from test_scpi_pyvisa import expect, wait_for  # noqa: E402

STEPS = [(6.5, 0.8, 2), (12.0, 1.5, 2), (3.0, 0.2, 2)]
PASSES = 2
PASS_MARK = "rgb(150,60,190)"
# The columns scripts already read, in their order; new ones come after.
FIRST_COLUMNS = ["time", "voltage_V", "current_A", "voltage_setpoint_V", "current_setpoint_A",
                 "status", "link_up", "fresh"]


def write_step_table(directory):
    with sqlite3.connect(os.path.join(directory, "db1.sqlite")) as database:
        database.execute('CREATE TABLE VK7100PPS1 (ID INTEGER PRIMARY KEY, "电压（V）" REAL, '
                         '"电流（A）" REAL, "时间（S）" REAL)')
        database.executemany("INSERT INTO VK7100PPS1 VALUES (?, ?, ?, ?)",
                             [(row, *step) for row, step in enumerate(STEPS, 1)])


def new_record(directory, known):
    """The stem of the one record published since `known`, once its
    spreadsheet and picture are there too."""
    def published():
        stems = {path[:-4] for path in glob.glob(os.path.join(directory, "Record", "*.TXT"))}
        fresh = stems - known
        ready = [stem for stem in fresh
                 if os.path.exists(stem + ".csv") and os.path.exists(stem + ".png")]
        return ready if len(ready) == len(fresh) and ready else None
    stems = wait_for("a new record with its spreadsheet and picture", published)
    expect(len(stems), 1, "new records")
    known.add(stems[0])
    return stems[0]


def text_lines(stem):
    with open(stem + ".TXT", encoding="utf-8") as text:
        return text.read().splitlines()


def end_line(stem):
    """The line before the save path, where the log ended."""
    lines = [line for line in text_lines(stem) if line.strip()]
    saved = next(i for i, line in enumerate(lines) if line.startswith("保存路径:"))
    return lines[saved - 1]


def rows(stem):
    with open(stem + ".csv", newline="", encoding="utf-8") as table:
        reader = csv.DictReader(table)
        expect(reader.fieldnames, FIRST_COLUMNS + ["step", "pass"], "spreadsheet columns")
        return list(reader)


def pass_mark_pixels(stem):
    """How many pixels of the picture have the pass mark's colour."""
    counted = subprocess.run(
        ["convert", stem + ".png", "-alpha", "off", "-fuzz", "6%", "-fill", "black", "+opaque",
         PASS_MARK, "-fill", "white", "-opaque", PASS_MARK, "-format", "%[fx:mean*w*h]",
         "info:"], check=True, capture_output=True, text=True)
    return round(float(counted.stdout))


def run_of_three_steps_twice(bench, known):
    resource = bench.resource
    resource.write(f"PROG:COUN {PASSES}")
    resource.write("PROG:STAT RUN")
    expect(resource.query("SYST:ERR?"), '0,"No error"', "run start")
    positions = []
    deadline = time.monotonic() + len(STEPS) * PASSES * 2 + 20
    while resource.query("PROG:STAT?") == "RUN" and time.monotonic() < deadline:
        position = tuple(int(value) for value in resource.query("PROG:STEP?;PASS?").split(";"))
        if position != (0, 0) and (not positions or positions[-1] != position):
            positions.append(position)
        time.sleep(0.25)
    expect(positions, [(step, run_pass) for run_pass in range(1, PASSES + 1)
                       for step in range(1, len(STEPS) + 1)], "step and pass during the run")
    expect(resource.query("PROG:STEP?;PASS?"), "0;0", "step and pass after the run")

    stem = new_record(bench.directory, known)
    lines = text_lines(stem)
    expect(lines[3].endswith("序列运行开始：3 步 × 2 遍 / run started: 3 steps × 2 passes"), True,
           f"the run's start line: {lines[3]!r}")
    ending = end_line(stem)
    expect(ending.endswith("序列运行完成，共 2 遍 / run completed after 2 passes"), True,
           f"the run's end line: {ending!r}")
    table = rows(stem)
    expect(all(row["step"] and row["pass"] for row in table), True, "a step and pass on every row")
    order = [(int(row["pass"]), int(row["step"])) for row in table]
    expect(order, sorted(order), "rows in the run's order")
    expect({(step, run_pass) for run_pass, step in order},
           {(step, run_pass) for run_pass in range(1, PASSES + 1)
            for step in range(1, len(STEPS) + 1)}, "every step of every pass in the rows")
    for row in table:
        volts, amperes, _ = STEPS[int(row["step"]) - 1]
        expect((float(row["voltage_setpoint_V"]), float(row["current_setpoint_A"])),
               (volts, amperes), f"setpoints of step {row['step']}")
    marks = pass_mark_pixels(stem)
    expect(marks > 400, True, f"pass mark pixels in the run's picture: {marks}")


def over_current_trip(bench, known):
    resource = bench.resource
    # 12 V into the simulator's 10 ohms wants 1.2 A, over the 0.5 A limit.
    resource.write("CURR:PROT ON;:VOLT 12;CURR 0.5;:OUTP ON")
    wait_for("the over-current trip", lambda: resource.query("CURR:PROT:TRIP?") == "1")
    stem = new_record(bench.directory, known)
    ending = end_line(stem)
    # With the readings of the reply that reported it.
    expect(bool(re.search(r"过流保护关闭输出 / over-current trip: \d\d\.\d\dV \d\.\d{3}A$",
                          ending)), True, f"the trip's end line: {ending!r}")
    expect(all(row["step"] == "" and row["pass"] == "" for row in rows(stem)), True,
           "no step and pass outside a run")
    expect(pass_mark_pixels(stem), 0, "pass mark pixels in a manual record")
    resource.write("OUTP:PROT:CLE;:CURR:PROT OFF")


def journal_has(directory, text):
    for path in glob.glob(os.path.join(directory, "*.journal")):
        with open(path, encoding="utf-8", errors="replace") as journal:
            if text in journal.read():
                return True
    return False


def stop_signal(bench, known):
    bench.resource.write("VOLT 5;CURR 1;OUTP ON")
    wait_for("a measurement line in the journal", lambda: journal_has(bench.directory, "05.00V"))
    bench.stop()
    ending = end_line(new_record(bench.directory, known))
    expect(ending.endswith("停止信号 / stop signal"), True, f"the stop signal's line: {ending!r}")


def main():
    program, simulator = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as directory:
        bench = Bench(program, simulator, directory)
        try:
            write_step_table(directory)
            bench.supply(16, "supply")
            bench.start()
            wait_for("the supply to answer", lambda: bench.resource.query("*TST?") == "0")
            known = set()
            run_of_three_steps_twice(bench, known)
            over_current_trip(bench, known)
            stop_signal(bench, known)
        finally:
            bench.close()
    print("A run of 3 steps x 2 passes went through every step and pass; its record, a trip's "
          "and a stop signal's say how they began and ended, in the text, the spreadsheet "
          "and the picture")


if __name__ == "__main__":
    main()
