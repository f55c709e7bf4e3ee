"""record.py TITLE [SECONDS]: records the window titled TITLE through bridge-host.exe (two
folders up, as in the package) and prints where the recording went. It reads only what
bridge-host keeps stable (docs/protocol.md, "Compatibility"); the exit code is its own."""
import os, subprocess, sys, time

if len(sys.argv) < 2:
    sys.exit("usage: record.py TITLE [SECONDS]")
here = os.path.dirname(os.path.abspath(__file__))
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 5
# A list of arguments, quoted as bridge-host's C runtime reads them back.
host = subprocess.Popen([os.path.join(here, "..", "..", "bridge-host.exe"), "record",
                         "--title", sys.argv[1], "--until-enter"],
                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                        encoding="utf-8")  # what bridge-host writes to a pipe
for line in host.stdout:  # each status line of the bridge, on a line of its own
    if line.rstrip("\n") == "startcapture":
        time.sleep(seconds)
        break
rest, _ = host.communicate("\n")  # Enter stops the recording
saved = [line[len("saved: "):] for line in rest.splitlines() if line.startswith("saved: ")]
if host.returncode in (0, 3) and saved:  # 3: complete, but shorter than asked
    print("recording:", saved[0])
sys.exit(host.returncode)
