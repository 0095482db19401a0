#!/usr/bin/python3
"""trawlex-batch against Playwright on the same job.

A loopback site of PAGES results pages with LISTINGS listings each (the demo site's
markup, so the bundled demo template reads it) is generated and served; then
trawlex-batch (--delay 0) and Playwright driving Debian's Chromium (load each page,
extract the listings with querySelectorAll, follow rel=next) capture it, taking turns,
--repeat times each. Reported per tool, as the median of its runs: pages per second over
the whole run (process start to exit, browser start-up included) and over the pages
after the first (first page's rows to last page's rows), and the peak of the summed
resident memory of all its processes (sampled every 50 ms from /proc).

    bench/batch_vs_playwright.py BUILD/bin [--pages 20] [--listings 500] [--repeat 3]

Playwright comes from npm's playwright-core, looked for in $PLAYWRIGHT_DIR (a folder
with node_modules/playwright-core, outside the repository); without it only
trawlex-batch is measured. Chromium is Debian's (apt-get install chromium).
"""
import argparse
import functools
import http.server
import json
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

PLAYWRIGHT_JS = r"""
const { chromium } = require('playwright-core');
(async () => {
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--no-first-run'],
  });
  const page = await browser.newPage();
  let url = process.argv[2], pages = 0, rows = 0, first = 0, last = 0;
  while (url) {
    await page.goto(url, { waitUntil: 'load' });
    const got = await page.evaluate(() => {
      const out = [];
      for (const li of document.querySelectorAll('li.listing')) {
        const t = (s) => { const e = li.querySelector(s); return e ? e.textContent.trim() : ''; };
        out.push([t('.name'), t('.street'), t('.town'), t('.phone')]);
      }
      const next = document.querySelector('a[rel=next]');
      return { out, next: next ? next.href : null };
    });
    pages += 1; rows += got.out.length; url = got.next;
    last = Date.now() / 1000;
    if (pages === 1) first = last;
  }
  await browser.close();
  console.log(JSON.stringify({ pages, rows, first, last }));
})();
"""


def make_site(root, pages, listings):
    n = 0
    for p in range(1, pages + 1):
        items = []
        for i in range(listings):
            n += 1
            items.append(
                f'  <li class="listing" id="listing-{n:06d}">\n'
                f'    <h3 class="name"><a href="listing-{n:06d}.html">Business {n}</a></h3>\n'
                f'    <p class="street">{n % 900 + 100} Main Street</p>\n'
                f'    <p class="town">Town {n % 97}</p>\n'
                f'    <p class="phone">(802) 555-{n % 10000:04d}</p>\n'
                f'  </li>\n')
        nxt = (f'<a class="next" rel="next" href="results-{p + 1}.html">Next page</a>'
               if p < pages else '')
        with open(os.path.join(root, f'results-{p}.html'), 'w', encoding='utf-8') as f:
            f.write('<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>Results</title>'
                    '</head><body>\n<ul class="results">\n' + ''.join(items) +
                    f'</ul>\n<nav class="pager">{nxt}</nav>\n</body></html>\n')


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def tree_rss_kb(pid):
    """The summed resident memory of pid and all its descendants."""
    total, todo = 0, [pid]
    while todo:
        p = todo.pop()
        try:
            with open(f'/proc/{p}/status') as f:
                for line in f:
                    if line.startswith('VmRSS:'):
                        total += int(line.split()[1])
            for task in os.listdir(f'/proc/{p}/task'):
                with open(f'/proc/{p}/task/{task}/children') as f:
                    todo.extend(int(c) for c in f.read().split())
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total


def measure(cmd, env):
    """Wall seconds from start to exit, peak RSS in kB, stdout and stderr as text."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.monotonic()
        proc = subprocess.Popen(cmd, env=env, stdout=out, stderr=err)
        peak = 0
        while proc.poll() is None:
            peak = max(peak, tree_rss_kb(proc.pid))
            time.sleep(0.05)
        seconds = time.monotonic() - start
        out.seek(0)
        err.seek(0)
        stdout, stderr = out.read().decode(errors='replace'), err.read().decode(errors='replace')
    if proc.returncode != 0:
        sys.exit(f'{cmd[0]} failed ({proc.returncode}): {stderr}')
    return seconds, peak, stdout, stderr


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('bindir')
    ap.add_argument('--pages', type=int, default=20)
    ap.add_argument('--listings', type=int, default=500)
    ap.add_argument('--repeat', type=int, default=3,
                    help='runs of each tool, taken in turns; the median is reported')
    args = ap.parse_args()
    if args.pages < 1 or args.listings < 1 or args.repeat < 1:
        sys.exit('--pages, --listings and --repeat must be at least 1')

    pw_dir = os.environ.get('PLAYWRIGHT_DIR', '')
    with_playwright = bool(pw_dir) and os.path.isdir(
        os.path.join(pw_dir, 'node_modules', 'playwright-core'))
    if not with_playwright:
        print('PLAYWRIGHT_DIR holds no node_modules/playwright-core: measuring trawlex-batch only',
              file=sys.stderr)

    with tempfile.TemporaryDirectory() as tmp:
        site = os.path.join(tmp, 'site')
        os.mkdir(site)
        make_site(site, args.pages, args.listings)
        handler = functools.partial(QuietHandler, directory=site)
        server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        start = f'http://127.0.0.1:{server.server_port}/results-1.html'

        env = dict(os.environ, XDG_STATE_HOME=os.path.join(tmp, 'state'))
        env.pop('DISPLAY', None)
        env.pop('WAYLAND_DISPLAY', None)
        env.setdefault('QTWEBENGINE_CHROMIUM_FLAGS',
                       '--disable-gpu --disable-background-networking '
                       '--disable-component-update --no-first-run')
        out_csv = os.path.join(tmp, 'out.csv')

        # Each run: (seconds start to exit, seconds from the first page's end to the last
        # page's end, peak RSS kB, rows).
        def trawlex():
            t, rss, _, err = measure([os.path.join(args.bindir, 'trawlex-batch'),
                                      os.path.join(args.bindir, 'us_demo_directory.orp.json'),
                                      start, '-o', out_csv, '--delay', '0', '--progress', 'json'],
                                     env)
            reports = [json.loads(line) for line in err.splitlines() if line.startswith('{')]
            with open(out_csv, encoding='utf-8-sig') as f:
                rows = sum(1 for _ in f) - 1
            return t, reports[-1]['seconds'] - reports[0]['seconds'], rss, rows

        script = os.path.join(pw_dir, 'bench_capture.js')

        def playwright():
            t, rss, out, _ = measure(['node', script, start],
                                     dict(os.environ, NODE_PATH=os.path.join(pw_dir, 'node_modules')))
            got = json.loads(out)
            return t, got['last'] - got['first'], rss, got['rows']

        tools = [('trawlex-batch', trawlex)]
        if with_playwright:
            with open(script, 'w') as f:
                f.write(PLAYWRIGHT_JS)
            tools.append(('playwright', playwright))
        # In turns, so that a change in the machine's load falls on both alike.
        runs = {name: [] for name, _ in tools}
        for _ in range(args.repeat):
            for name, fn in tools:
                runs[name].append(fn())
        server.shutdown()

    expected = args.pages * args.listings
    turns = max(1, args.pages - 1)
    print(f'{args.pages} pages x {args.listings} listings, loopback, --delay 0, '
          f'median of {args.repeat} runs each')
    print(f'{"":14s} {"whole run":>22s}  {"pages after the first":>22s}  {"peak RSS":>9s}  rows')
    medians = {}
    for name, _ in tools:
        whole = statistics.median(r[0] for r in runs[name])
        pages = statistics.median(r[1] for r in runs[name])
        rss = statistics.median(r[2] for r in runs[name])
        rows = {r[3] for r in runs[name]}
        medians[name] = (whole, pages)
        print(f'{name:14s} {args.pages / whole:6.2f} pages/s {whole:6.2f} s  '
              f'{turns / pages:6.2f} pages/s {pages / turns:5.3f} s  {rss / 1024:6.0f} MB  '
              f'{"/".join(map(str, sorted(rows)))}')
        if rows != {expected}:
            print(f'  {name} did not capture the {expected} listings', file=sys.stderr)
    if len(medians) == 2:
        (tw, tp), (pw, pp) = medians['trawlex-batch'], medians['playwright']
        print(f'ratio of pages/s, trawlex-batch / playwright: whole run {pw / tw:.2f}, '
              f'pages after the first {pp / tp:.2f}')


if __name__ == '__main__':
    main()
