"""Encrypted files made by qpdf in every revision and method compare like
their `qpdf --decrypt` copies; visual reports of encrypted inputs are not
encrypted, pass qpdf --check and render like those of the decrypted ones;
files that need a user password give the documented messages.

usage: test_encrypted.py MORVEX PAGELIST PAGETEXT WORKDIR"""

import json
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import realpdf  # noqa: E402

MORVEX = PAGELIST = PAGETEXT = WORK = None

# name -> qpdf arguments after the passwords (the weak ones need
# --allow-weak-crypto, given for all).
METHODS = {
    "r2-rc4-40": ["40"],
    "r3-rc4-128": ["128", "--use-aes=n"],
    "r4-rc4-128": ["128", "--use-aes=n", "--force-V4"],
    "r4-aes-128": ["128", "--use-aes=y"],
    "r4-aes-clear-metadata": ["128", "--use-aes=y", "--cleartext-metadata"],
    "r5-aes-256": ["256", "--force-R5"],
    "r6-aes-256": ["256"],
}


def run(*cmd):
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")


def sources():
    from reportlab.pdfgen import canvas
    from PIL import Image
    png = os.path.join(WORK, "img.png")
    img = Image.new("RGB", (30, 20))
    for x in range(30):
        for y in range(20):
            img.putpixel((x, y), (x * 8, y * 12, 90))
    img.save(png)
    plain = os.path.join(WORK, "reportlab.pdf")
    c = canvas.Canvas(plain)
    c.setTitle("A title (with parentheses)")
    for i in range(3):
        c.setFont("Helvetica-Bold", 15)
        c.drawString(72, 760, "Encrypted report, page %d" % (i + 1))
        c.setFont("Times-Roman", 11)
        for k in range(12):
            c.drawString(72, 720 - 15 * k, "Line %d of page %d: (brackets) and \\ backslash" % (k, i + 1))
        c.drawImage(png, 380, 640, width=120, height=80)
        c.showPage()
    c.save()
    # The same document with its objects in object streams.
    objstm = os.path.join(WORK, "reportlab-objstm.pdf")
    realpdf.run("qpdf", "--object-streams=generate", plain, objstm)
    return [plain, objstm]


class Encrypted(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = []  # (encrypted, decrypted, user password)
        for src in sources():
            base = os.path.basename(src)[:-4]
            for name, args in METHODS.items():
                for user in ("", "user-pw"):
                    enc = os.path.join(WORK, "%s-%s%s.pdf" % (base, name, "-user" if user else ""))
                    realpdf.run("qpdf", "--allow-weak-crypto", "--encrypt", user, "owner-pw", *args, "--", src, enc)
                    dec = enc[:-4] + "-decrypted.pdf"
                    realpdf.run("qpdf", "--decrypt", "--password=owner-pw", enc, dec)
                    cls.files.append((enc, dec, user))

    def test_empty_user_password_compares_like_the_decrypted_copy(self):
        for enc, dec, user in self.files:
            if user:
                continue
            for cmd in ("compare", "text"):
                for a, b in ((enc, dec), (dec, enc), (enc, enc)):
                    with self.subTest(file=os.path.basename(a), other=os.path.basename(b), cmd=cmd):
                        code, out, err = run(MORVEX, cmd, a, b)
                        self.assertEqual(code, 0, err)
                        report = json.loads(out)
                        self.assertEqual(report["differences"], [])
                        self.assertEqual(report["pages_compared"], 3)

    def render(self, pdf):
        prefix = pdf[:-4] + "-page"
        realpdf.run("pdftoppm", "-r", "24", "-gray", pdf, prefix)
        pages = sorted(f for f in os.listdir(WORK) if f.startswith(os.path.basename(prefix)) and f.endswith(".pgm"))
        out = []
        for f in pages:
            with open(os.path.join(WORK, f), "rb") as fh:
                out.append(fh.read())
            os.remove(os.path.join(WORK, f))
        return out

    def test_visual_reports_are_plain_pdf_and_render_like_the_decrypted_ones(self):
        for enc, dec, user in self.files:
            if user:
                continue
            with self.subTest(file=os.path.basename(enc)):
                rep_enc = enc[:-4] + "-visual.pdf"
                rep_dec = dec[:-4] + "-visual.pdf"
                for a, b, rep in ((enc, enc, rep_enc), (dec, dec, rep_dec)):
                    code, _, err = run(MORVEX, "visual", a, b, "-o", rep)
                    self.assertEqual(code, 0, err)
                code, out, err = run("qpdf", "--check", rep_enc)
                self.assertEqual(code, 0, out + err)
                self.assertIn("File is not encrypted", out)
                pages = self.render(rep_enc)
                self.assertEqual(len(pages), 3)
                self.assertEqual(pages, self.render(rep_dec))

    def test_user_password_files(self):
        for enc, dec, user in self.files:
            if not user:
                continue
            with self.subTest(file=os.path.basename(enc)):
                # The command loads through the options functions: it asks
                # for the password, and with it compares like the copy.
                code, out, err = run(MORVEX, "compare", enc, dec)
                self.assertEqual((code, err.strip()), (2, "morvex: password required: " + enc))
                code, out, err = run(MORVEX, "compare", "--password-a", "nope", enc, dec)
                self.assertEqual((code, err.strip()), (2, "morvex: wrong password: " + enc))
                for pw in (user, "owner-pw"):
                    code, out, err = run(MORVEX, "compare", "--password-a", pw, enc, dec)
                    self.assertEqual(code, 0, out + err)
                want_list = run(PAGELIST, dec)[1]
                want_text = run(PAGETEXT, dec)[1]
                for pw in (user, "owner-pw"):
                    self.assertEqual(run(PAGELIST, "--password", pw, enc)[1], want_list)
                    self.assertEqual(run(PAGETEXT, "--password", pw, enc)[1], want_text)
                code, _, err = run(PAGELIST, "--password", "not it", enc)
                self.assertEqual((code, err.strip()), (2, "morvex_pagelist: wrong password: " + enc))
                code, _, err = run(PAGELIST, enc)
                self.assertEqual((code, err.strip()), (2, "morvex_pagelist: encrypted PDFs are not supported: " + enc))

    def test_page_lists_match_qpdf(self):
        for enc, dec, user in self.files:
            with self.subTest(file=os.path.basename(enc)):
                args = ["--password", user] if user else []
                code, out, err = run(PAGELIST, *args, enc)
                self.assertEqual(code, 0, err)
                self.assertEqual(int(out.split()[1]), int(realpdf.run("qpdf", "--show-npages", dec)))


if __name__ == "__main__":
    MORVEX, PAGELIST, PAGETEXT, WORK = sys.argv[1:5]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
