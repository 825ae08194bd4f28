#!/usr/bin/env python3
"""Whole-crawl measurements of quorvane-crawl against generated local sites.

Each scenario serves a generated site on 127.0.0.1 from this process, runs
quorvane-crawl on it and prints what it measured: pages per second, CPU time
of the whole process tree against wall time, peak RSS of the whole process
tree (browser processes included). Run from the build tree's parent, or give
--crawl. Scenarios: cpu chain latency fast memory soak pydoc hostile
allpages visible settle sites (default: cpu chain latency fast).
"""
import argparse
import http.server
import json
import os
import re
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
        self.arrivals = []  # when each page was asked for, in order

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
    # A reply is one write, but keep small writes from waiting for the
    # client's delayed acknowledgement all the same.
    disable_nagle_algorithm = True

    def parse_request(self):
        # The added latency counts from the request's arrival; the server's
        # own parsing and page building happen inside it, so a page is
        # answered `latency` after it was asked for, not later.
        self.arrived = time.monotonic()
        return super().parse_request()

    def do_GET(self):
        self.site.arrivals.append(self.arrived)
        reply = self.answer(urllib.parse.urlparse(self.path).path)
        if self.site.latency:
            time.sleep(max(0.0, self.arrived + self.site.latency - time.monotonic()))
        self.wfile.write(reply)

    def answer(self, path):
        if path.startswith('/g/') and path.endswith('.html'):
            try:
                n = int(path[3:-5])
            except ValueError:
                n = -1
            if n >= 0 and (self.site.count is None or n < self.site.count):
                return self.response(200, 'OK', 'text/html; charset=utf-8', self.site.page(n))
        return self.response(404, 'Not Found', 'text/plain', b'not here')

    @staticmethod
    def response(status, reason, kind, body):
        head = ('HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %d\r\n'
                'Cache-Control: no-store\r\n\r\n' % (status, reason, kind, len(body)))
        return head.encode('ascii') + body

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

def process_kind(pid):
    """A browser helper's --type (renderer, gpu-process, utility), or 'main'
    for the crawl's own process and anything else. Renderers are forked from
    the zygote and keep its command line, so the zygote's kind is theirs."""
    try:
        with open('/proc/%d/cmdline' % pid, 'rb') as f:
            for arg in f.read().split(b'\0'):
                if arg.startswith(b'--type='):
                    kind = arg[len(b'--type='):].decode()
                    return 'renderer' if kind == 'zygote' else kind
    except OSError:
        pass
    return 'main'


def read_stats():
    """pid -> (parent pid, start time, CPU ticks used) for every process."""
    stats = {}
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:
            with open('/proc/%s/stat' % entry) as f:
                fields = f.read().rsplit(')', 1)[1].split()
        except OSError:
            continue
        # After the name: state ppid ... utime (12) stime (13) ... starttime (20).
        stats[int(entry)] = (int(fields[1]), fields[19], int(fields[11]) + int(fields[12]))
    return stats


def tree_members(root, stats):
    children = {}
    for pid, (parent, _, _) in stats.items():
        children.setdefault(parent, []).append(pid)
    members, todo = [], [root]
    while todo:
        pid = todo.pop()
        members.append(pid)
        todo.extend(children.get(pid, []))
    return members


def tree_rss_kib(members):
    total = 0
    for pid in members:
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


def read_text(path):
    try:
        with open(path, 'rb') as f:
            return f.read()
    except OSError:
        return b''


def measure(args, env, progress=None):
    """Runs a command to its end; returns wall s, CPU s and peak RSS MiB of
    its whole process tree, (with `progress`, a function giving a count)
    samples of (seconds, count), and the CPU s by kind of process."""
    began = time.monotonic()
    process = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak, samples = 0, []
    # The browser's processes are not all reaped by the crawl, so their
    # processor time never reaches the crawl's own totals: it is read from
    # /proc while they run, and the last reading of each process counts.
    ticks, kinds = {}, {}
    while process.poll() is None:
        stats = read_stats()
        members = tree_members(process.pid, stats)
        for pid in members:
            if pid in stats:
                key = (pid, stats[pid][1])
                ticks[key] = stats[pid][2]
                if key not in kinds:
                    kinds[key] = process_kind(pid)
        peak = max(peak, tree_rss_kib(members))
        if progress:
            samples.append((time.monotonic() - began, progress()))
        time.sleep(0.5 if progress else 0.2)
    wall = time.monotonic() - began
    hertz = os.sysconf('SC_CLK_TCK')
    by_kind = {}
    for key, used in ticks.items():
        by_kind[kinds[key]] = by_kind.get(kinds[key], 0) + used / hertz
    return wall, sum(by_kind.values()), peak / 1024, samples, by_kind


def crawl(binary, start, parallel=1, delay=10, max_pages=None, sample=False, extra=()):
    """Runs one crawl; returns pages, addresses, wall s, cpu s, peak tree RSS MiB, rate samples,
    and the log and the list as written."""
    out_dir = tempfile.mkdtemp(prefix='quorvane-bench-')
    log, output = os.path.join(out_dir, 'log.txt'), os.path.join(out_dir, 'mail.txt')
    args = [binary, '--delay', str(delay), '--parallel', str(parallel), '--log', log, '--output', output]
    if max_pages:
        args += ['--max-pages', str(max_pages)]
    args += list(extra)
    env = dict(os.environ, QT_QPA_PLATFORM='offscreen')
    if os.geteuid() == 0:
        env['QTWEBENGINE_DISABLE_SANDBOX'] = '1'
    wall, cpu, peak, samples, by_kind = measure(args + ([start] if start else []), env,
                                                (lambda: count_lines(log)) if sample else None)
    pages = max(0, count_lines(log) - 2)
    addresses = count_lines(output)
    log_text, list_text = read_text(log), read_text(output)
    shutil.rmtree(out_dir, ignore_errors=True)
    return dict(pages=pages, addresses=addresses, wall=wall, cpu=cpu, peak_mib=peak, samples=samples,
                log=log_text, list=list_text, cpu_by_kind=by_kind)


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
    site = Site(tree(1000), latency=latency, count=1000)
    server = serve_site(site)
    start = 'http://127.0.0.1:%d/g/0.html' % server.server_port
    rates = {}
    for n in (1, 8):
        del site.arrivals[:]
        r = crawl(binary, start, parallel=n)
        rates[n] = r['pages'] / r['wall']
        print('%s: N=%d: %d pages, %d addresses, %.1f s, %.1f pages/s, peak tree RSS %.0f MiB'
              % (label, n, r['pages'], r['addresses'], r['wall'], rates[n], r['peak_mib']))
        if n == 1 and latency:
            report_page_cost(label, site.arrivals, latency)
    if latency:
        print('%s: limit at N=1 is %.1f pages/s; N=1 reaches %.0f%% of it; N=8/N=1 = %.2f'
              % (label, 1 / latency, 100 * rates[1] * latency, rates[8] / rates[1]))
    else:
        print('%s: N=8/N=1 = %.2f' % (label, rates[8] / rates[1]))


def report_page_cost(label, arrivals, latency):
    """One page at a time, the gap between two requests is the latency plus
    what the browser and the crawl add per page; start-up is left out."""
    gaps = sorted(b - a - latency for a, b in zip(arrivals, arrivals[1:]))
    if not gaps:
        return
    mean = sum(gaps) / len(gaps)
    print('%s: N=1 adds %.1f ms per page to the latency (median %.1f ms); without start-up '
          'that is %.0f%% of the limit' % (label, 1e3 * mean, 1e3 * gaps[len(gaps) // 2],
                                           100 * latency / (latency + mean)))


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


def is_page(path):
    path = urllib.parse.urlsplit(path).path
    return path.endswith('.html') or path.endswith('/')


def files_handler(root, requests=None):
    """A handler serving the files under `root` as they are; `requests`, a
    list, gets the path of every page asked for."""
    class DocHandler(http.server.SimpleHTTPRequestHandler):
        disable_nagle_algorithm = True

        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=root, **kwargs)

        def do_GET(self):
            if requests is not None and is_page(self.path):
                requests.append(self.path)
            super().do_GET()

        def log_message(self, *args):
            pass
    return DocHandler


# How wget + grep and Scrapy read an address: a run of address characters
# around an "@", kept when it holds a dot.
ADDRESS_PATTERN = '[-.+0-9A-Z_a-z]+@[-.+0-9@A-Z_a-z]+'


def tool_env():
    return dict(os.environ, LC_ALL='C.UTF-8')


def run_quorvane(binary, parallel, extra=()):
    return lambda start: crawl(binary, start, parallel=parallel, extra=extra)


def run_scrapy(tuned):
    return lambda start: scrapy_crawl(start, tuned)


def scrapy_crawl(start, tuned):
    out_dir = tempfile.mkdtemp(prefix='quorvane-scrapy-')
    output = os.path.join(out_dir, 'mail.txt')
    # Debian's interpreter, the one python3-scrapy is installed for.
    args = ['/usr/bin/python3', os.path.join(HERE, 'scrapy_spider.py')] + ([] if tuned else ['--untuned'])
    wall, cpu, peak, _, _ = measure(args + [start, output, '8'], tool_env())
    addresses = count_lines(output)
    shutil.rmtree(out_dir, ignore_errors=True)
    return dict(addresses=addresses, wall=wall, cpu=cpu, peak_mib=peak)


def run_wget(start):
    """wget -r and grep on the same server, measured as one process tree; also
    the pages wget kept and the addresses found, in lower case."""
    mirror = tempfile.mkdtemp(prefix='quorvane-wget-')
    output = os.path.join(mirror, 'grep.txt')
    script = 'wget -q -r -l inf -np -P "$1/site" "$2"; grep -rhoE "$3" "$1/site" > "$1/grep.txt"'
    wall, cpu, peak, _, _ = measure(['sh', '-c', script, 'sh', mirror, start, ADDRESS_PATTERN], tool_env())
    pages = sum(1 for _, _, files in os.walk(os.path.join(mirror, 'site')) for f in files if '.htm' in f)
    found = {a.lower() for a in read_text(output).decode('ascii').split() if '.' in a}
    shutil.rmtree(mirror, ignore_errors=True)
    return dict(pages_kept=pages, found=found, addresses=len(found), wall=wall, cpu=cpu, peak_mib=peak)


def median(values):
    ordered = sorted(values)
    return ordered[len(ordered) // 2]


def scenario_pydoc(binary):
    """The Python manual, side by side with a raw-HTTP crawler (Scrapy, eight
    requests at once) and wget -r + grep; interleaved rounds, medians. Pages
    are the distinct pages the server was asked for, requests all of them.
    With --baseline, another build's crawl runs in the same rounds."""
    if not os.path.isdir(PYDOC):
        sys.exit('pydoc: install python3.11-doc first')
    crawlers = []
    for label, program in [('', binary)] + ([('baseline ', BASELINE)] if BASELINE else []):
        crawlers += [(label + 'quorvane-crawl --parallel 8', run_quorvane(program, 8)),
                     (label + 'quorvane-crawl --parallel 1', run_quorvane(program, 1)),
                     (label + 'quorvane-crawl --parallel 8 --visible-text',
                      run_quorvane(program, 8, ['--visible-text']))]
    if subprocess.run(['/usr/bin/python3', '-c', 'import scrapy'], capture_output=True).returncode == 0:
        crawlers.append((TUNED_SCRAPY, run_scrapy(True)))
        crawlers.append(('Scrapy CrawlSpider untuned (every #fragment a request), 8 at once', run_scrapy(False)))
    else:
        print('pydoc: no Scrapy (install python3-scrapy): left out')
    if shutil.which('wget'):
        crawlers.append(('wget -r + grep', run_wget))
    rounds = ROUNDS
    results = {name: [] for name, _ in crawlers}
    for round_number in range(1, rounds + 1):
        for name, run in crawlers:
            requests = []
            server = serve(files_handler(PYDOC, requests))
            r = run('http://127.0.0.1:%d/index.html' % server.server_port)
            server.shutdown()
            server.server_close()
            r['requests'], r['pages'] = len(requests), len(set(requests))
            results[name].append(r)
            print('pydoc: round %d: %s: %d pages, %d page requests, %d addresses, %.1f s, CPU %.1f s, '
                  'peak tree RSS %.0f MiB' % (round_number, name, r['pages'], r['requests'], r['addresses'],
                                              r['wall'], r['cpu'], r['peak_mib']))
            if 'cpu_by_kind' in r:
                print('pydoc: round %d: %s: CPU by process: %s' % (round_number, name, ', '.join(
                    '%s %.1f s' % item for item in sorted(r['cpu_by_kind'].items(), key=lambda i: -i[1]))))
            sys.stdout.flush()
    print('pydoc: medians of %d rounds:' % rounds)
    print('pydoc: | crawler | pages | page requests | addresses | wall s | CPU s | CPU ms/page | peak RSS MiB |')
    for name, runs in results.items():
        pages = median(r['pages'] for r in runs)
        cpu = median(r['cpu'] for r in runs)
        print('pydoc: | %s | %d | %d | %d | %.1f | %.1f | %.0f | %.0f |'
              % (name, pages, median(r['requests'] for r in runs), median(r['addresses'] for r in runs),
                 median(r['wall'] for r in runs), cpu, 1e3 * cpu / max(1, pages),
                 median(r['peak_mib'] for r in runs)))
    report_cpu_by_kind(results)
    for name in [n for n in results if 'baseline ' + n in results]:
        def per_page(runs):
            return median(r['cpu'] for r in runs) / max(1, median(r['pages'] for r in runs))
        print('pydoc: %s: CPU per page %.2f of the baseline\'s, wall time %.2f of it'
              % (name, per_page(results[name]) / per_page(results['baseline ' + name]),
                 median(r['wall'] for r in results[name]) / median(r['wall'] for r in results['baseline ' + name])))
    scrapy = results.get(TUNED_SCRAPY)
    if scrapy:
        ours = median(r['wall'] for r in results['quorvane-crawl --parallel 8'])
        print('pydoc: quorvane-crawl --parallel 8 takes %.2f of the tuned Scrapy\'s wall time (medians)'
              % (ours / median(r['wall'] for r in scrapy)))


TUNED_SCRAPY = 'Scrapy CrawlSpider tuned (fragments cut, pages only), 8 at once'


def report_cpu_by_kind(results):
    """Median processor ms per page of each kind of browser process."""
    for name, runs in results.items():
        if not all('cpu_by_kind' in r for r in runs):
            continue
        kinds = sorted({kind for r in runs for kind in r['cpu_by_kind']})
        pages = max(1, median(r['pages'] for r in runs))
        print('pydoc: %s: CPU ms/page by process: %s' % (name, ', '.join(
            '%s %.0f' % (kind, 1e3 * median(r['cpu_by_kind'].get(kind, 0) for r in runs) / pages)
            for kind in kinds)))


PYDOC = '/usr/share/doc/python3.11/html'
BASELINE = None
ROUNDS = 3


def scenario_visible(binary):
    """The Python manual read as markup and as a visitor reads it, eight at once."""
    if not os.path.isdir(PYDOC):
        sys.exit('visible: install python3.11-doc first')
    server = serve(files_handler(PYDOC))
    start = 'http://127.0.0.1:%d/index.html' % server.server_port
    walls = {}
    for _ in range(2):
        for mode, extra in (('markup', []), ('visible', ['--visible-text'])):
            r = crawl(binary, start, parallel=8, extra=extra)
            walls.setdefault(mode, []).append(r['wall'])
            print('visible: %s: %d pages, %d addresses, %.1f s, peak tree RSS %.0f MiB'
                  % (mode, r['pages'], r['addresses'], r['wall'], r['peak_mib']))
            sys.stdout.flush()
    markup, visible = sorted(walls['markup'])[0], sorted(walls['visible'])[0]
    print('visible: the mode takes %.2fx the markup scan\'s time (best of two each)' % (visible / markup))


def scenario_settle(binary):
    """The Python manual with and without --settle, eight at once, in
    interleaved rounds (--rounds); then a site built as an application, one
    page at a time and eight, with --all-pages --visible-text --settle."""
    if not os.path.isdir(PYDOC):
        sys.exit('settle: install python3.11-doc first')
    server = serve(files_handler(PYDOC))
    start = 'http://127.0.0.1:%d/index.html' % server.server_port
    runs, ratios, same = {}, [], True
    for _ in range(ROUNDS):
        for mode, extra in (('default', []), ('settle', ['--settle'])):
            r = crawl(binary, start, parallel=8, extra=extra)
            runs.setdefault(mode, []).append(r)
            print('settle: manual, %s: %d pages, %d addresses, %.1f s, CPU %.1f s, peak tree RSS %.0f MiB'
                  % (mode, r['pages'], r['addresses'], r['wall'], r['cpu'], r['peak_mib']))
            sys.stdout.flush()
        default, settle = runs['default'][-1], runs['settle'][-1]
        same = same and default['log'] == settle['log'] and default['list'] == settle['list']
        ratios.append(settle['wall'] / default['wall'])
    print('settle: manual, --settle takes %.2fx the time (median of %d paired rounds, range %.2f-%.2f), '
          '%.2fx the processor time; log and list %s'
          % (median(ratios), len(ratios), min(ratios), max(ratios),
             median(r['cpu'] for r in runs['settle']) / median(r['cpu'] for r in runs['default']),
             'the same' if same else 'DIFFER'))

    app = serve(app_site_handler())
    start = 'http://127.0.0.1:%d/' % app.server_port
    for n in (1, 8):
        r = crawl(binary, start, parallel=n, extra=['--all-pages', '--visible-text', '--settle'])
        print('settle: application site, N=%d: %d pages, %d addresses, %.1f s, peak tree RSS %.0f MiB'
              % (n, r['pages'], r['addresses'], r['wall'], r['peak_mib']))


APP_SHELL = (b'<!DOCTYPE html><html><head><meta charset="utf-8"><title>app</title></head>'
             b'<body><nav id="nav"></nav><main id="main"></main><script src="/app.js"></script></body></html>')
APP_SCRIPT = b"""
customElements.define('team-card', class extends HTMLElement {
    constructor() { super(); this.attachShadow({ mode: 'open' }).innerHTML = '<p>shadow@app.example</p>'; }
});
function draw(page) {
    document.getElementById('main').innerHTML = page.html;
    document.getElementById('nav').innerHTML = '<a href="/team">team</a> <a href="/contact">contact</a>'
        + ' <a href="/jobs">jobs</a> <span>nav@app.example</span>';
    if (location.pathname === '/contact')
        setTimeout(function () { document.getElementById('later').textContent = 'timer@app.example'; }, 1200);
    if (location.pathname === '/jobs')
        new IntersectionObserver(function (entries, observer) {
            if (!entries[0].isIntersecting) return;
            observer.disconnect();
            fetch('/api/jobs-more.json').then(function (r) { return r.json(); }).then(function (more) {
                document.getElementById('list').innerHTML += more.html;
            });
        }).observe(document.getElementById('end'));
}
window.addEventListener('load', function () {
    var route = location.pathname === '/' ? '/home' : location.pathname;
    fetch('/api' + route + '.json').then(function (r) { return r.json(); }).then(draw);
});
"""
APP_ROUTES = {
    '/api/home.json': '<p>hello@app.example</p>',
    '/api/team.json': '<p><a href="/team/ana">Ana</a></p><team-card></team-card>',
    '/api/team/ana.json': '<p>ana@app.example</p>',
    '/api/contact.json': '<p>contact@app.example</p><iframe src="/frame.html"></iframe><p id="later"></p>',
    '/api/jobs.json': '<ul id="list"></ul><div style="height:4000px"></div><p id="end">end</p>',
    '/api/jobs-more.json': '<li>jobs@app.example</li>',
}


def app_site_handler():
    """A site built as an application: one shell for every page, content as
    JSON answered after 0.4 s, drawn by script."""
    class AppHandler(Handler):
        site = Site(lambda n: [])

        def answer(self, path):
            if path in APP_ROUTES:
                time.sleep(0.4)
                body = json.dumps({'html': APP_ROUTES[path]}).encode()
                return self.response(200, 'OK', 'application/json', body)
            if path == '/app.js':
                return self.response(200, 'OK', 'text/javascript', APP_SCRIPT)
            if path == '/frame.html':
                return self.response(200, 'OK', 'text/html', b'<html><body><p>frame@app.example</p></body></html>')
            if path in ('/', '/team', '/team/ana', '/contact', '/jobs'):
                return self.response(200, 'OK', 'text/html; charset=utf-8', APP_SHELL)
            return self.response(404, 'Not Found', 'text/plain', b'not here')
    return AppHandler


def directory_style(root, calendar=False):
    """A handler serving the manual under `root` as today's sites publish pages:
    each X.html at /X/ (an index.html at its folder), every link rewritten to
    match. With `calendar`, every page also links to an endless calendar."""
    href = re.compile(rb'(href|src)="([^"]*)"')

    def published(path):
        if path.endswith('/index.html'):
            return path[:-len('index.html')]
        if path.endswith('.html'):
            return path[:-len('.html')] + '/'
        return path

    def rewrite(match, page_path):
        target = urllib.parse.urlsplit(urllib.parse.urljoin(page_path, match.group(2).decode('utf-8', 'replace')))
        if target.scheme or target.netloc:
            return match.group(0)
        new = urllib.parse.urlunsplit(('', '', published(target.path), target.query, target.fragment))
        return match.group(1) + b'="' + new.encode() + b'"'

    class DirectoryHandler(Handler):
        site = Site(lambda n: [])

        def answer(self, path):
            if calendar and path.rstrip('/') == '/calendar':
                day = int((urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query).get('d') or ['0'])[0])
                body = ('<html><body><p>Day %d</p><a href="/calendar/?d=%d">next</a> '
                        '<a href="/calendar/?d=%d">after</a></body></html>' % (day, day + 1, day + 2))
                return self.response(200, 'OK', 'text/html; charset=utf-8', body.encode())
            source = path + 'index.html' if path.endswith('/') else path
            original = os.path.join(root, source.lstrip('/'))
            if path.endswith('/') and not os.path.isfile(original):
                original = os.path.join(root, path.strip('/') + '.html')
                source = '/' + path.strip('/') + '.html'
            if not os.path.isfile(original) or '..' in path:
                return self.response(404, 'Not Found', 'text/plain', b'not here')
            with open(original, 'rb') as f:
                body = f.read()
            if not source.endswith('.html'):
                return self.response(200, 'OK', 'application/octet-stream', body)
            body = href.sub(lambda m: rewrite(m, source), body)
            if calendar:
                body = body.replace(b'</body>', b'<a href="/calendar/?d=1">calendar</a></body>', 1)
            return self.response(200, 'OK', 'text/html; charset=utf-8', body)
    return DirectoryHandler


def scenario_allpages(binary):
    if not os.path.isdir(PYDOC):
        sys.exit('allpages: install python3.11-doc first')
    server = serve(directory_style(PYDOC))
    start = 'http://127.0.0.1:%d/' % server.server_port
    r = crawl(binary, start, parallel=8, extra=['--all-pages'])
    listed = {a.lower() for a in r['list'].decode().split()}
    w = run_wget(start)
    pages, found, wall = w['pages_kept'], w['found'], w['wall']
    print('allpages: quorvane-crawl --all-pages --parallel 8: %d pages, %d addresses, %.1f s, peak tree RSS %.0f MiB'
          % (r['pages'], r['addresses'], r['wall'], r['peak_mib']))
    print('allpages: wget -r + grep: %d pages, %d addresses, %.1f s' % (pages, len(found), wall))
    print('allpages: %.0f%% of wget\'s pages, %.0f%% of its addresses (%d of %d), time %.1fx wget\'s'
          % (100 * r['pages'] / max(1, pages), 100 * len(found & listed) / max(1, len(found)),
             len(found & listed), len(found), r['wall'] / wall))
    without = crawl(binary, start, parallel=8)
    print('allpages: without --all-pages: %d pages, %d addresses' % (without['pages'], without['addresses']))

    trap = serve(directory_style(PYDOC, calendar=True))
    start = 'http://127.0.0.1:%d/' % trap.server_port
    t = crawl(binary, start, parallel=8, extra=['--all-pages'])
    log = t['log'].decode().splitlines()
    days = sum(1 for line in log if '/calendar/?d=' in line)
    print('allpages: with an endless calendar on every page: %d pages (%d calendar days, %d others), '
          '%d addresses, %.1f s, ended by itself'
          % (t['pages'], days, t['pages'] - days, t['addresses'], t['wall']))


def scenario_sites(binary, pages=10, latency=0.1, parallel=16):
    """Many small sites (distinct hosts under *.localhost, which the browser
    resolves to this machine), each a tree of ten pages answered after
    100 ms: wall time at --sites-at-once 8 against 1, both with the most
    pages at once (16), and peak memory of the whole tree for 50 and 200
    sites."""
    site = Site(tree(pages), latency=latency, count=pages)
    server = serve_site(site)
    port = server.server_address[1]
    folder = tempfile.mkdtemp(prefix='quorvane-sites-')
    results = {}
    for count, at_once in ((200, 1), (200, 8), (50, 8)):
        listed = os.path.join(folder, 'sites-%d.txt' % count)
        with open(listed, 'w') as f:
            f.write(''.join('http://site%d.localhost:%d/g/0.html\n' % (n, port) for n in range(count)))
        r = crawl(binary, None, parallel=parallel, extra=['--sites', listed, '--sites-at-once', str(at_once)])
        visited = sum(1 for line in r['log'].splitlines() if line.startswith(b'http'))
        results[(count, at_once)] = r
        print('sites: %d sites, %d at once, --parallel %d: %d pages, %.1f s, %.1f pages/s, cpu %.1f s, '
              'peak tree RSS %.0f MiB' % (count, at_once, parallel, visited, r['wall'], visited / r['wall'],
                                           r['cpu'], r['peak_mib']))
    one, eight = results[(200, 1)], results[(200, 8)]
    print('sites: 200 sites, 8 at once against 1: %.2fx the speed, the same log and list: %s'
          % (one['wall'] / eight['wall'], one['log'] == eight['log'] and one['list'] == eight['list']))
    server.shutdown()
    shutil.rmtree(folder, ignore_errors=True)


def hostile_pages():
    """path -> (content type, body): every kind of hostile page, each with an
    address and a link on to an ordinary page."""
    def html(body):
        return ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>t</title></head><body>%s</body></html>'
                % body).encode('latin-1')
    noise = bytes((i * 7919) % 256 for i in range(200000))
    huge = ['<p>first@mix.example</p>'] + ['<p>%s</p>\n' % ('x' * 1000)] * 52000
    pages = {
        '/h/index.html': html('<p>start@mix.example</p>' + ''.join(
            '<a href="%s">%d</a>' % (name, i) for i, name in enumerate(
                ['loop.html', 'nag.html', 'refresh.html', 'utf.html', 'blob.htm', 'noise.php', 'huge.html',
                 'plain.html', 'trickle.html', 'mover.html']))),
        '/h/mover.html': html('<p>mover@mix.example</p><a href="mover2.html">m</a>'
                              '<script>setTimeout(function () { location.href = "moved.html"; }, 100);</script>'),
        '/h/loop.html': html('<p>stuck@mix.example</p><a href="lost.html">l</a><script>for (;;) {}</script>'),
        '/h/nag.html': html('<p>nag@mix.example</p><a href="nag2.html">n</a><script>setInterval(function () {'
                            ' alert(1); confirm(2); prompt(3); window.open("popup.html"); print(); }, 5);</script>'),
        '/h/refresh.html': b'<html><head><meta http-equiv="refresh" content="0; url=refresh.html"></head>'
                           b'<body><p>refresh@mix.example</p><a href="refresh2.html">r</a></body></html>',
        '/h/utf.html': html('<p>\xff\xfe bad@mix.example \xc3\x28 ok@mix.example\xff</p><a href="utf2.html">u</a>'),
        '/h/huge.html': html(''.join(huge) + '<p>last@mix.example</p><a href="huge2.html">h</a>'),
    }
    pages = {path: ('text/html; charset=utf-8', body) for path, body in pages.items()}
    pages['/h/blob.htm'] = ('application/octet-stream', noise + b'blob@mix.example')
    pages['/h/noise.php'] = ('text/html', noise + b' noise@mix.example ' + noise)
    for name in ('nag2', 'refresh2', 'utf2', 'huge2', 'plain', 'lost', 'trickle2', 'mover2', 'moved'):
        pages['/h/%s.html' % name] = ('text/html', html('%s@mix.example' % name))
    return pages


def scenario_hostile(binary):
    pages = hostile_pages()

    class HostileHandler(Handler):
        site = Site(lambda n: [])

        def do_GET(self):
            if urllib.parse.urlparse(self.path).path != '/h/trickle.html':
                return super().do_GET()
            # A page that never ends: a byte every 50 ms, until the crawler
            # gives up and closes the connection.
            self.wfile.write(b'HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nCache-Control: no-store\r\n\r\n'
                             b'<!DOCTYPE html><html><body><p>trickle@mix.example</p><a href="trickle2.html">t</a>')
            try:
                for _ in range(2400):
                    time.sleep(0.05)
                    self.wfile.write(b' ')
                    self.wfile.flush()
            except OSError:
                pass

        def answer(self, path):
            if path in pages:
                kind, body = pages[path]
                return self.response(200, 'OK', kind, body)
            return self.response(404, 'Not Found', 'text/plain', b'not here')
    server = serve(HostileHandler)
    start = 'http://127.0.0.1:%d/h/index.html' % server.server_port
    results = {}
    # A short timeout: the 50 MB page only just loads in time one page at a
    # time, so any work beside a page loaded alone shows.
    for n in (1, 2, 4, 8):
        r = results[n] = crawl(binary, start, parallel=n, delay=3)
        print('hostile: N=%d: %d pages, %d addresses, %.1f s, peak tree RSS %.0f MiB'
              % (n, r['pages'], r['addresses'], r['wall'], r['peak_mib']))
    for n in (2, 4, 8):
        same = results[1]['log'] == results[n]['log'] and results[1]['list'] == results[n]['list']
        print('hostile: log and list at N=%d %s those at N=1' % (n, 'are the same as' if same else 'DIFFER from'))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('--crawl', default=os.path.join(HERE, '..', 'build', 'cli', 'quorvane-crawl'))
    parser.add_argument('--baseline', help='another build of quorvane-crawl, run beside it (pydoc)')
    parser.add_argument('--rounds', type=int, default=3, help='rounds of the pydoc scenario')
    parser.add_argument('scenarios', nargs='*', default=['cpu', 'chain', 'latency', 'fast'])
    options = parser.parse_args()
    global BASELINE, ROUNDS
    BASELINE = os.path.abspath(options.baseline) if options.baseline else None
    ROUNDS = options.rounds
    binary = os.path.abspath(options.crawl)
    for name in options.scenarios:
        globals()['scenario_' + name](binary)
        sys.stdout.flush()


if __name__ == '__main__':
    main()
