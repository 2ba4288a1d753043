# A fatal start-up error on a terminal console waits for one key (echoed, no
# Enter needed) before the program ends with status -1.
source "$(dirname "$0")/harness.sh" "$1" "$2"
start_xvfb
printf 'grid_res = 2000000000\n' > "$WORK/params.txt"
cd "$WORK"
python3 - "$FLUXBALL_BIN" <<'PY' || fail "the console wait did not behave"
import os, pty, sys, time, select

pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], [sys.argv[1]])

def read_for(seconds):
    out = b""
    end = time.time() + seconds
    while time.time() < end:
        r, _, _ = select.select([fd], [], [], 0.1)
        if r:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            out += chunk
    return out

text = read_for(3.0)
assert b"Error: cannot allocate solver data!" in text, text
# Still waiting for the key.
done, status = os.waitpid(pid, os.WNOHANG)
assert done == 0, "program ended without waiting for a key"
os.write(fd, b"x")
echo = read_for(1.0)
done, status = os.waitpid(pid, 0)
assert os.WIFEXITED(status) and os.WEXITSTATUS(status) == 255, status
assert b"x" in echo, echo
PY
pass
