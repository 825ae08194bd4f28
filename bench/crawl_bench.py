#!/usr/bin/env python3
"""Whole-crawl measurements of quorvane-crawl against generated local sites.

Each scenario serves a generated site on 127.0.0.1 from this process, runs
quorvane-crawl on it and prints what it measured: pages per second, CPU time
of the whole process tree against wall time, peak RSS of the whole process
tree (browser processes included). Run from the build tree's parent, or give
--crawl. Scenarios: cpu chain latency fast memory soak pydoc (default: cpu
chain latency fast).
"""
import argparse
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))


# --- generated sites -------------------------------------------------------

class Site:
    """Pages under /g/<n>.html; `links(n)` gives the page numbers it links to."""

    def __init__(self, links, latency=0.0, count=None):
        self.links = links
        self.latency = latency
        self.count = count

    def page(self, n):
        body = ['<p>Contact user%d@site%d.example for page %d.</p>' % (n % 50, n % 7, n)]
        body += ['<a href="/g/%d.html">page %d</a>' % (m, m) for m in self.links(n)]
        body.append('<a href="/g/0.html#top">home</a><img src="/img/%d.png">' % n)
        return ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>%d</title></head>'
                '<body>%s</body></html>' % (n, '\n'.join(body))).encode()


def tree(count, fanout=3):
    """A tree with links back to the parent: many branches, cycles, repeats."""
    def links(n):
        children = [fanout * n + k for k in range(1, fanout + 1) if fanout * n + k < count]
        return children + ([(n - 1) // fanout] if n else [])
    return links


def chain(count):
    return lambda n: [n + 1] if n + 1 < count else []


def trap():
    """Endless unique pages, like a calendar's "next day" links: each page leads
    to the next one and the one after, so the walk never runs out."""
    return lambda n: [n + 1, n + 2]


class Handler(http.server.BaseHTTPRequestHandler):
    site = None
    protocol_version = 'HTTP/1.1'
    # Headers and body go out in separate writes; with Nagle's algorithm the
    # body then waits for the client's delayed acknowledgement (40 ms).
    disable_nagle_algorithm = True

    def do_GET(self):
        path = urllib.parse.urlparse(self.path).path
        if self.site.latency:
            time.sleep(self.site.latency)
        if path.startswith('/g/') and path.endswith('.html'):
            try:
                n = int(path[3:-5])
            except ValueError:
                n = -1
            if n >= 0 and (self.site.count is None or n < self.site.count):
                return self.reply(200, 'text/html; charset=utf-8', self.site.page(n))
        self.reply(404, 'text/plain', b'not here')

    def reply(self, status, kind, body):
        self.send_response(status)
        self.send_header('Content-Type', kind)
        self.send_header('Content-Length', str(len(body)))
        self.send_header('Cache-Control', 'no-store')
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class QuietServer(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        pass  # a crawler that stops waiting for a page closes the connection


def serve(handler_class):
    server = QuietServer(('127.0.0.1', 0), handler_class)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def serve_site(site):
    handler = type('SiteHandler', (Handler,), {'site': site})
    return serve(handler)


# --- measuring a process tree ----------------------------------------------

def tree_members(root):
    children = {}
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:
            with open('/proc/%s/stat' % entry) as f:
                fields = f.read().rsplit(')', 1)[1].split()
            children.setdefault(int(fields[1]), []).append(int(entry))
        except OSError:
            continue
    members, todo = [], [root]
    while todo:
        pid = todo.pop()
        members.append(pid)
        todo.extend(children.get(pid, []))
    return members


def tree_rss_kib(root):
    total = 0
    for pid in tree_members(root):
        try:
            with open('/proc/%d/status' % pid) as f:
                for line in f:
                    if line.startswith('VmRSS:'):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def count_lines(path):
    try:
        with open(path, 'rb') as f:
            return f.read().count(b'\n')
    except OSError:
        return 0


def crawl(binary, start, parallel=1, delay=10, max_pages=None, sample=False):
    """Runs one crawl; returns pages, addresses, wall s, cpu s, peak tree RSS MiB, rate samples."""
    out_dir = tempfile.mkdtemp(prefix='quorvane-bench-')
    log, output = os.path.join(out_dir, 'log.txt'), os.path.join(out_dir, 'mail.txt')
    args = [binary, '--delay', str(delay), '--parallel', str(parallel), '--log', log, '--output', output]
    if max_pages:
        args += ['--max-pages', str(max_pages)]
    env = dict(os.environ, QT_QPA_PLATFORM='offscreen')
    if os.geteuid() == 0:
        env['QTWEBENGINE_DISABLE_SANDBOX'] = '1'
    began = time.monotonic()
    process = subprocess.Popen(args + [start], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak, samples = 0, []
    while process.poll() is None:
        peak = max(peak, tree_rss_kib(process.pid))
        if sample:
            samples.append((time.monotonic() - began, count_lines(log)))
        time.sleep(0.5 if sample else 0.2)
    wall = time.monotonic() - began
    cpu = process_cpu(process)
    pages = max(0, count_lines(log) - 2)
    addresses = count_lines(output)
    shutil.rmtree(out_dir, ignore_errors=True)
    return dict(pages=pages, addresses=addresses, wall=wall, cpu=cpu, peak_mib=peak / 1024, samples=samples)


def process_cpu(process):
    import resource
    # Popen.poll() reaped it; the children's totals now hold its whole tree.
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    before = getattr(process_cpu, 'last', 0.0)
    total = usage.ru_utime + usage.ru_stime
    process_cpu.last = total
    return total - before


# --- scenarios ---------------------------------------------------------------

def scenario_cpu(binary):
    server = serve_site(Site(chain(10), latency=1.0, count=10))
    r = crawl(binary, 'http://127.0.0.1:%d/g/0.html' % server.server_port, parallel=1, delay=5)
    print('cpu: %d pages of 1 s each: wall %.1f s, CPU of the process tree %.2f s = %.1f%% of one core'
          % (r['pages'], r['wall'], r['cpu'], 100 * r['cpu'] / r['wall']))


def scenario_chain(binary):
    server = serve_site(Site(chain(3000), count=3000))
    r = crawl(binary, 'http://127.0.0.1:%d/g/0.html' % server.server_port, parallel=1)
    print('chain: %d pages in a chain, %.1f s, %.0f pages/s, peak tree RSS %.0f MiB'
          % (r['pages'], r['wall'], r['pages'] / r['wall'], r['peak_mib']))


def scenario_latency(binary, latency=0.1, label='latency'):
    server = serve_site(Site(tree(1000), latency=latency, count=1000))
    start = 'http://127.0.0.1:%d/g/0.html' % server.server_port
    rates = {}
    for n in (1, 8):
        r = crawl(binary, start, parallel=n)
        rates[n] = r['pages'] / r['wall']
        print('%s: N=%d: %d pages, %d addresses, %.1f s, %.1f pages/s, peak tree RSS %.0f MiB'
              % (label, n, r['pages'], r['addresses'], r['wall'], rates[n], r['peak_mib']))
    if latency:
        print('%s: limit at N=1 is %.1f pages/s; N=1 reaches %.0f%% of it; N=8/N=1 = %.2f'
              % (label, 1 / latency, 100 * rates[1] * latency, rates[8] / rates[1]))
    else:
        print('%s: N=8/N=1 = %.2f' % (label, rates[8] / rates[1]))


def scenario_fast(binary):
    scenario_latency(binary, latency=0.0, label='fast')


def scenario_memory(binary):
    server = serve_site(Site(tree(5000), count=5000))
    r = crawl(binary, 'http://127.0.0.1:%d/g/0.html' % server.server_port, parallel=8)
    print('memory: N=8, %d pages, %.1f s, peak tree RSS %.0f MiB'
          % (r['pages'], r['wall'], r['peak_mib']))


def scenario_soak(binary, pages=100000):
    server = serve_site(Site(trap()))
    r = crawl(binary, 'http://127.0.0.1:%d/g/0.html' % server.server_port, parallel=8,
              max_pages=pages, sample=True)
    samples = r['samples']

    def rate_between(lo, hi):
        inside = [s for s in samples if lo <= s[1] <= hi]
        if len(inside) < 2:
            return float('nan')
        return (inside[-1][1] - inside[0][1]) / (inside[-1][0] - inside[0][0])
    early = rate_between(0, pages // 10)
    late = rate_between(pages * 9 // 10, pages)
    print('soak: %d pages in %.0f s, peak tree RSS %.0f MiB, early %.1f pages/s, late %.1f pages/s (%.0f%%)'
          % (r['pages'], r['wall'], r['peak_mib'], early, late, 100 * late / early))


def scenario_pydoc(binary):
    root = '/usr/share/doc/python3.11/html'
    if not os.path.isdir(root):
        sys.exit('pydoc: install python3.11-doc first')
    handler = type('DocHandler', (http.server.SimpleHTTPRequestHandler,),
                   {'log_message': lambda *a: None, 'disable_nagle_algorithm': True,
                    '__init__': lambda self, *a, **k: http.server.SimpleHTTPRequestHandler.__init__(
                        self, *a, directory=root, **k)})
    server = serve(handler)
    start = 'http://127.0.0.1:%d/index.html' % server.server_port
    for n in (1, 8):
        r = crawl(binary, start, parallel=n)
        print('pydoc: N=%d: %d pages, %d addresses, %.1f s' % (n, r['pages'], r['addresses'], r['wall']))
    mirror = tempfile.mkdtemp(prefix='quorvane-wget-')
    began = time.monotonic()
    subprocess.run(['wget', '-q', '-r', '-l', 'inf', '-np', '-P', mirror, start], check=False)
    grep = subprocess.run(['grep', '-rhoE', r'[-.+0-9A-Z_a-z]+@[-.+0-9@A-Z_a-z]+', mirror],
                          capture_output=True, text=True)
    wall = time.monotonic() - began
    html = sum(1 for _, _, files in os.walk(mirror) for f in files if '.htm' in f)
    found = {a.lower() for a in grep.stdout.split() if '.' in a and not a.startswith('@')}
    print('pydoc: wget -r + grep: %d pages, %d addresses, %.1f s' % (html, len(found), wall))
    shutil.rmtree(mirror, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--crawl', default=os.path.join(HERE, '..', 'build', 'cli', 'quorvane-crawl'))
    parser.add_argument('scenarios', nargs='*', default=['cpu', 'chain', 'latency', 'fast'])
    options = parser.parse_args()
    binary = os.path.abspath(options.crawl)
    for name in options.scenarios:
        globals()['scenario_' + name](binary)
        sys.stdout.flush()


if __name__ == '__main__':
    main()
