"""`doromi build --sign-*`: Authenticode signatures through osslsigncode
with a throw-away certificate, checked before the output is written; the
signed file passes the size check, `info` names the signer and `extract`
takes it."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import DOROMI, ToolTestCase, run  # noqa: E402

SUBJECT = "/CN=Doromi Test Signer/O=Doromi"


class SigningTest(ToolTestCase):
    def setUp(self):
        super().setUp()
        self.cert, self.key = self.path("cert.pem"), self.path("key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key,
                        "-out", self.cert, "-days", "30", "-subj", SUBJECT], check=True, capture_output=True)
        self.source = self.tree()

    def test_pem_and_pkcs12_signatures_verify_and_pass_the_size_check(self):
        pkcs12 = self.path("signer.p12")
        subprocess.run(["openssl", "pkcs12", "-export", "-in", self.cert, "-inkey", self.key, "-out", pkcs12,
                        "-passout", "pass:pfx secret"], check=True, capture_output=True)
        for name, options in (("pem.exe", ["--sign-cert", self.cert, "--sign-key", self.key]),
                              ("p12.exe", ["--sign-pkcs12", pkcs12, "--sign-password-file", "/dev/stdin"])):
            with self.subTest(name):
                exe = self.path(name)
                built = subprocess.run([DOROMI, "build", "-o", exe, *options, self.source], input=b"pfx secret\n",
                                       capture_output=True)
                self.assertEqual(built.returncode, 0, built.stderr)
                verify = subprocess.run(["osslsigncode", "verify", "-in", exe, "-CAfile", self.cert],
                                        capture_output=True, text=True)
                self.assertEqual(verify.returncode, 0, verify.stdout[-500:])
                info = run("info", exe).out
                self.assertIn("Size check:      passes", info)
                self.assertIn("Signature:       signed by " + SUBJECT, info)
                target = self.path("out-" + name)
                run("extract", exe, "-d", target, "-q")
                self.assertTrue(os.path.exists(os.path.join(target, "입력", "문서", "안내.txt")))

    def test_bad_signing_options_leave_no_output(self):
        cases = [
            (["--sign-cert", "CERT"], "go together"),
            (["--sign-pkcs12", "CERT", "--sign-cert", "CERT", "--sign-key", "KEY"], "exclude each other"),
            (["--timestamp", "http://localhost:9"], "only apply when signing"),
            (["--sign-cert", "CERT", "--sign-key", "CERT"], "signing failed"),  # a certificate is no key
        ]
        for options, fragment in cases:
            with self.subTest(options):
                options = [self.cert if o == "CERT" else self.key if o == "KEY" else o for o in options]
                self.assertRefused([*options, self.source], fragment)

    def test_unsigned_file_says_so(self):
        self.build(self.source)
        self.assertIn("Signature:       not signed", run("info", self.path("out.exe")).out)
