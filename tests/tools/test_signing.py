"""`doromi build --sign-*`: Authenticode signatures through osslsigncode
with a throw-away certificate, checked before the output is written; the
signed file passes the size check, `info` names the signer and `extract`
takes it."""
import json
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import ARCHIVE_OFFSET, DOROMI, ToolTestCase, run  # noqa: E402

SUBJECT = "/CN=Doromi Test Signer/O=Doromi"


def security_entry(data):
    """The offset of the PE header's security directory entry (start, size)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    return optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112) + 4 * 8


class SigningTest(ToolTestCase):
    def setUp(self):
        super().setUp()
        self.cert, self.key = self.make_signer(SUBJECT)
        self.source = self.tree()

    def make_signer(self, subject, name="", *options):
        """A throw-away certificate and key; `options` go to openssl req."""
        cert, key = self.path(name + "cert.pem"), self.path(name + "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "30", "-subj", subject, *options], check=True, capture_output=True)
        return cert, key

    def signed(self, cert, key, out="signed.exe"):
        return self.build("--sign-cert", cert, "--sign-key", key, self.source, out=out)

    def info(self, exe, env=None):
        """`doromi info` in words and as JSON, with `env` as the environment."""
        text = subprocess.run([DOROMI, "info", exe], capture_output=True, env=env).stdout.decode()
        report = json.loads(subprocess.run([DOROMI, "info", "--json", exe], capture_output=True, env=env).stdout)
        return text, report["signature"]

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

    # osslsigncode prints bytes outside ASCII as "\\xNN": they are read back
    # as the signer's name, UTF-8 in a UTF8String, raw bytes in a T61String.
    def test_signer_names_read_as_text(self):
        latin1_only = self.path("t61.cnf")
        with open(latin1_only, "w") as f:
            f.write("[req]\ndistinguished_name=dn\nstring_mask=nombstr\n[dn]\n")
        cases = [("/CN=서명자/O=테스트", ["-utf8"], "/CN=서명자/O=테스트", None),
                 ("/CN=Latin\xe9/O=x", ["-config", latin1_only], "/CN=Latin\\xE9/O=x", b"/CN=Latin\xe9/O=x")]
        for i, (subject, options, shown, raw) in enumerate(cases):
            with self.subTest(subject):
                arg = subject.encode("latin-1" if raw else "utf-8")
                cert, key = self.make_signer(os.fsdecode(arg), str(i), *options)
                self.signed(cert, key, out=f"{i}.exe")
                text, signature = self.info(self.path(f"{i}.exe"))
                self.assertIn("Signature:       signed by " + shown + "\n", text)
                self.assertEqual(signature["signer"], (raw or subject.encode()).decode("utf-8", "replace"))
                self.assertEqual(signature.get("signer_hex"), raw.hex() if raw else None)

    # Only a program that cannot be started is blamed on osslsigncode; a
    # table whose bytes are no signature, or no certificate entry at all, is
    # damaged, whatever reads it.
    def test_damaged_certificate_tables_are_called_so(self):
        data = bytearray(self.signed(self.cert, self.key))
        entry = security_entry(data)
        start, size = struct.unpack_from("<II", data, entry)
        spoiled = bytearray(data)
        spoiled[start + 8:start + 200] = b"\x55" * 192  # the PKCS#7 data, not the WIN_CERTIFICATE header
        pointing = bytearray(self.build(self.source, out="plain.exe"))
        struct.pack_into("<II", pointing, entry, ARCHIVE_OFFSET, 100)  # at the archive's first bytes
        no_tools = {**os.environ, "PATH": "/nonexistent"}
        cases = [(data, None, "signed by " + SUBJECT, (True, False)),
                 (data, no_tools, "signed; the signer cannot be read: is osslsigncode installed?", (True, False)),
                 (spoiled, None, f"damaged (the certificate table, {size} bytes at offset {start}, cannot be read",
                  (False, True)),
                 (spoiled, no_tools, "signed; the signer cannot be read: is osslsigncode installed?", (True, False)),
                 (pointing, None, "not signed: the certificate table is damaged (the PE header names 100 bytes at "
                  f"offset {ARCHIVE_OFFSET}, which hold no certificate)", (False, True)),
                 (pointing, no_tools, "not signed: the certificate table is damaged", (False, True))]
        for i, (content, env, words, (signed, damaged)) in enumerate(cases):
            with self.subTest(case=i, words=words[:40]):
                with open(self.path("case.exe"), "wb") as f:
                    f.write(content)
                text, signature = self.info(self.path("case.exe"), env)
                self.assertIn("Signature:       " + words, text)
                self.assertEqual(text.count("osslsigncode"), words.count("osslsigncode"), text)
                self.assertEqual((signature["signed"], signature["damaged"]), (signed, damaged))
