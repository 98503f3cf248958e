"""scripts/reports on a folder of download reports written as the service writes them."""
import os
import pathlib
import subprocess
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[1] / "scripts" / "reports"
HEAD = b'<?xml version="1.0" encoding="ISO-8859-1"?><Download>'


def report(company, came_from, taken, finished):
    return (HEAD + b"<Firma>" + company + b"</Firma><BuildPC>" + came_from + b"</BuildPC>"
            b"<BuildHentet>" + taken + b"</BuildHentet><DatabaseVersjon>5.0</DatabaseVersjon>"
            b"<SQLServerVersjon></SQLServerVersjon><Ferdig>" + finished + b"</Ferdig>"
            b"</Download>\r\n")


def run(*args):
    return subprocess.run(["/usr/bin/python3", str(SCRIPT), *args], capture_output=True, text=True)


class Reports(unittest.TestCase):
    def test_table_counts_each_customer_once_per_build_and_lists_broken_files(self):
        odd = "\xc6rlig &amp; S\xf8nn &lt;AS&gt; &#8364;".encode("latin-1")
        files = {
            "VK260302101500.xml": report(odd, b"500", b"512", b"2026-03-02T10:15:00"),
            "VK260303090000.xml": report(odd, b"500", b"512", b"2026-03-03T09:00:00"),
            "VK260303120000.xml": report(b"Vik AS", b"498", b"512", b"2026-03-03T12:00:00"),
            "VK260310080000.xml": report(b"Vik AS", b"512", b"520", b"2026-03-10T08:00:00"),
            "VK000000000001.xml": b"",
            "VK000000000002.xml": report(b"Cut AS", b"500", b"512", b"2026-03-04")[:90],
            "VK000000000003.xml": b'<?xml version="1.0"?><Upload><Firma>X</Firma></Upload>',
            "VK000000000004.xml": HEAD + b"<Firma>X</Firma><BuildPC>1</BuildPC></Download>",
            "VK000000000005.xml": report(b"X", b"500", b"5x2", b"2026-03-04T00:00:00"),
            "VK000000000006.xml": bytes(range(256)) * 4,
            "VK000000000007.xml": report(b"X" * 100_000, b"500", b"512", b"2026-03-04T00:00:00"),
            "VK\x1b[2J\nnext.xml": report(b"X", b"500", b"512", b"yesterday"),
        }
        with tempfile.TemporaryDirectory() as folder:
            for name, content in files.items():
                pathlib.Path(folder, name).write_bytes(content)
            os.mkfifo(os.path.join(folder, "VKfifo.xml"))
            result = run(folder)
            self.assertEqual(result.returncode, 0, result.stderr)
            rows = [line.split() for line in result.stdout.splitlines()]
            self.assertIn("4 reports, 9 files skipped", result.stdout)
            self.assertIn(["512", "2", "2026-03-02", "2026-03-03", "498", "(1),", "500", "(1)"],
                          rows)
            self.assertIn(["520", "1", "2026-03-10", "2026-03-10", "512", "(1)"], rows)
            self.assertIn(["day", "512", "520"], rows)
            self.assertIn(["2026-03-03", "2", "-"], rows)
            self.assertIn(["2026-03-10", "-", "1"], rows)
            for name, reason in [("1", "empty"), ("2", "not well-formed XML"),
                                 ("3", "root element <Upload>, not <Download>"),
                                 ("4", "no <BuildHentet> element"),
                                 ("5", "BuildHentet is not a build number: '5x2'"),
                                 ("6", "not well-formed XML"), ("7", "larger than 64 KiB")]:
                self.assertIn(f"  VK00000000000{name}.xml: {reason}", result.stdout)
            self.assertIn("  VKfifo.xml: not a regular file", result.stdout)
            self.assertIn("  VK\\x1b[2J\\nnext.xml: Ferdig is not a date: 'yesterday'",
                          result.stdout)
            self.assertNotIn("\x1b", result.stdout)
            chart = pathlib.Path(folder, "adoption.png")
            self.assertIn(f"chart: {chart}", result.stdout)
            self.assertEqual(chart.read_bytes()[:8], b"\x89PNG\r\n\x1a\n")

    def test_command_line_faults_are_named(self):
        self.assertIn("usage: scripts/reports", run("--help").stdout)
        for args in [(), ("--chart",), ("--colour", "."), (".", "..")]:
            result = run(*args)
            self.assertEqual((result.returncode, result.stdout), (2, ""), args)
            self.assertIn("error:", result.stderr)
        result = run("/nonexistent/ftp")
        self.assertEqual(result.returncode, 1)
        self.assertIn("/nonexistent/ftp: no such folder", result.stderr)


if __name__ == "__main__":
    unittest.main()
