#!/usr/bin/python3
"""A background run that finds nothing new, timed as a whole process.

The reference does the same outside work with standard tools: curl fetches the
descriptor and its signature and sqlite3 reads the settings row (it checks no
signature, so it does less than the service). Both run against the same
loopback update host and the same SQLite file, interleaved, many times.
Prints the median wall times, their ratio, our peak memory, the number of
shared libraries loaded, and whether a module that a run without windows, mail
or ODBC does not need (Qt, VMime, unixODBC) was loaded.
"""
import http.server
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

RUNS = int(sys.argv[1]) if len(sys.argv) > 1 else 60
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")
SETTINGS_QUERY = ("SELECT Serienummer, RegFirma, Postnummer, UpdateServiceSendMail, "
                  "UpdateServiceSendTo, UpdateServiceMailSent, MailServer, MailBrukerid, "
                  "MailPassord, MailDomene, MailAvsender FROM Innstillinger")


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder):
    handler = lambda *a, **k: Quiet(*a, directory=folder, **k)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def timed(argv, env=None):
    start = time.perf_counter()
    result = subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(f"{argv[0]} failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
    return elapsed


def main():
    # The reference's tools, the signer and GNU time for the peak memory.
    if subprocess.run([os.path.join(ROOT, "scripts", "lib", "debian-packages.sh"), "curl",
                       "sqlite3", "minisign", "time"]).returncode != 0:
        sys.exit("the packages this benchmark needs could not be installed")
    if not os.path.exists(os.path.join(BUILD, "tvkUpdateService")):
        sys.exit(f"no tvkUpdateService in {BUILD}: build first (scripts/test)")
    work = tempfile.mkdtemp(prefix="tvkbench.")
    try:
        www = os.path.join(work, "www", "files")
        program = os.path.join(work, "program")
        os.makedirs(www)
        os.makedirs(program)
        for name in os.listdir(BUILD):
            if name == "tvkUpdateService" or ".so" in name:
                shutil.copy2(os.path.join(BUILD, name), program)
        with open(os.path.join(www, "update.ini"), "w", newline="") as f:
            f.write("[Update]\r\nBuild=500\r\nSetup=VelkorSetup\r\n[Filter]\r\nTest=0\r\n")
        subprocess.run(["minisign", "-S", "-s", os.path.join(BUILD, "release-signing.key"), "-m",
                        os.path.join(www, "update.ini")], check=True, stdout=subprocess.DEVNULL)
        server = serve(os.path.join(work, "www"))
        host = f"http://127.0.0.1:{server.server_address[1]}/files"
        with open(os.path.join(program, "Velkor5.ini"), "w", newline="") as f:
            f.write(f"[UpdateService]\r\nHost={host}\r\n")
        with open(os.path.join(program, "version.ini"), "w", newline="") as f:
            f.write("[Version]\r\nMajor=7\r\nMinor=9\r\nBuild=500\r\n")

        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        ours = [os.path.join(program, "tvkUpdateService"), "1", "bench", "1044", "true"]
        timed(ours, env)  # first run creates Velkor.db and writes the defaults
        database = os.path.join(program, "Velkor.db")
        reference_fetch = ["curl", "-s", "-f", "-o", os.path.join(work, "update.ini"),
                           host + "/update.ini", "-o", os.path.join(work, "update.ini.minisig"),
                           host + "/update.ini.minisig"]
        reference_read = ["sqlite3", database, SETTINGS_QUERY]

        our_times, reference_times = [], []
        for _ in range(RUNS):
            our_times.append(timed(ours, env))
            reference_times.append(timed(reference_fetch) + timed(reference_read))

        # Peak memory of one run, measured by GNU time: a parent of the run's
        # own whose small footprint before the exec is all the figure can
        # include (a Python parent forks with its whole heap counted).
        measured = subprocess.run(["/usr/bin/time", "-f", "%M"] + ours, env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        peak_kb = int(measured.stderr.split()[-1])
        traced = subprocess.run(ours, env=dict(env, LD_DEBUG="libs"),
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        loaded = [line.split("calling init: ")[1].strip()
                  for line in traced.stderr.decode(errors="replace").splitlines()
                  if "calling init: " in line]
        unneeded = [path for path in loaded
                    if any(name in os.path.basename(path) for name in
                           ("libtvkWindows", "libQt6", "libvmime", "libodbc", "libtvkMail",
                            "libtvkOdbc"))]
        server.shutdown()

        ours_median = statistics.median(our_times) * 1000
        reference_median = statistics.median(reference_times) * 1000
        print(f"runs: {RUNS}")
        print(f"median wall time: ours {ours_median:.2f} ms, reference (curl + sqlite3) "
              f"{reference_median:.2f} ms")
        print(f"ratio ours/reference: {ours_median / reference_median:.2f} (goal <= 0.8)")
        print(f"peak memory of one run: {peak_kb / 1024:.1f} MB (goal <= 12 MB)")
        print(f"shared libraries loaded: {len(loaded)}")
        print("windows, mail or ODBC module loaded: " +
              (", ".join(os.path.basename(p) for p in unneeded) if unneeded else "none"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
