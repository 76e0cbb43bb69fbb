#!/usr/bin/env python3
"""scripts/x-servers-left finds a process left with its build's mark, says
so, ends it and fails; one with another build's mark it leaves alone."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "x-servers-left")


def check(build):
    r = subprocess.run([sys.executable, SCRIPT, build], capture_output=True, text=True)
    return r.returncode, r.stdout + r.stderr


class LeftServers(unittest.TestCase):
    def test_a_marked_process_left_is_named_and_ended(self):
        with tempfile.TemporaryDirectory() as ours, tempfile.TemporaryDirectory() as theirs:
            # Popen returns once the child runs sleep, its environment the one given.
            def left(build):
                return subprocess.Popen(["sleep", "600"], env=dict(os.environ, VORQ_TEST_X_SERVER=build))
            mine, other = left(ours), left(theirs)
            try:
                status, said = check(ours)
                self.assertEqual(status, 1, said)
                self.assertIn(f"still runs: {mine.pid} sleep 600", said)
                self.assertEqual(mine.wait(timeout=30), -9)
                self.assertIsNone(other.poll())
                self.assertEqual(check(ours), (0, "no X server a test started is still running\n"))
            finally:
                for p in (mine, other):
                    p.kill()
                    p.wait()


if __name__ == "__main__":
    unittest.main()
