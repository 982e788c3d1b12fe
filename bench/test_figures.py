#!/usr/bin/env python3
"""Checks bench/figures.py: what counts as worse, and that a benchmark run again counts its best."""

import json
import os
import subprocess
import sys
import tempfile
import unittest

FIGURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "figures.py")


class Figures(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.saved = os.path.join(self.folder.name, "saved.json")
        self.output = os.path.join(self.folder.name, "output.txt")

    def tearDown(self):
        self.folder.cleanup()

    def figures(self, command, text):
        with open(self.output, "w") as out:
            out.write(text)
        environment = dict(os.environ, TELLWAVE_BENCH_FIGURES=self.saved)
        return subprocess.run([sys.executable, FIGURES, command, self.output], capture_output=True, text=True,
                              env=environment)

    def test_worse_figures_and_their_best_runs(self):
        first = ("== status\nstatus seconds: 1.00 s\nstatus ratio: 0.80\nsqlite3 shell (best of 3): 0.50 s\n"
                 "== replies\nreplies rows: 10000 rows\nreplies seconds: 2.00 s\n")
        self.assertEqual(self.figures("save", first).returncode, 0)
        with open(self.saved) as data:
            self.assertEqual(json.load(data)["figures"]["status / status ratio"]["better"], 1)

        # A time 20 % longer and a ratio 20 % lower are worse; a baseline, a count and 10 % are not.
        slower = ("== status\nstatus seconds: 1.20 s\nstatus ratio: 0.64\nsqlite3 shell (best of 3): 0.90 s\n"
                  "== replies\nreplies rows: 20000 rows\nreplies seconds: 2.20 s\n")
        self.assertEqual(self.figures("worse", slower).stdout.split(), ["status"])
        compared = self.figures("compare", slower)
        self.assertEqual(compared.returncode, 1)
        self.assertIn("2 figures more than 15% worse", compared.stdout)

        # Run again, the benchmark's best value of each figure counts, whichever run it came from.
        again = slower + ("== status\nstatus seconds: 1.05 s\nstatus ratio: 0.79\n"
                          "== status\nstatus seconds: 1.30 s\nstatus ratio: 0.50\n")
        self.assertEqual(self.figures("worse", again).stdout.split(), [])
        self.assertEqual(self.figures("compare", again).returncode, 0)


if __name__ == "__main__":
    unittest.main()
