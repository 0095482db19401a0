#!/usr/bin/python3
"""Writes the bundled demo site, a fictional business directory, into demo/site/.

Every business, street, town, number and address here is invented; telephone numbers
use the 555-0100 to 555-0199 range kept for fiction and e-mail addresses the reserved example.com
and example.net domains (no ".o" in any address: the
program reads a link holding ".o" and no "http" as a template file). Run it again after changing the data; the output is committed.
"""
import html
import os
import random
import sys

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..', 'site')
PAGES = 6
PER_PAGE = 20

rng = random.Random(1947)

OWNERS = ['Abernathy', 'Baxter', 'Castellano', 'Delacroix', 'Eriksen', 'Fairweather',
          'Gallagher', 'Hollister', 'Ibáñez', 'Jablonski', 'Kowalczyk', 'Lindqvist',
          'Montgomery', 'Nakamura', 'Okonkwo', 'Pettersson', 'Quintero', 'Rosenthal',
          'Sørensen', 'Thibodeaux', 'Underwood', 'Valdés', 'Whitcombe', 'Yilmaz', 'Zelenko',
          'Müller', 'Brontë', 'Nguyễn', 'Łukasik', 'Čapek']
TRADES = [('Bakery', 'bakery'), ('Hardware', 'hardware'), ('Plumbing', 'plumbing'),
          ('Florist', 'flowers'), ('Dental Care', 'dental'), ('Auto Repair', 'auto'),
          ('Bookshop', 'books'), ('Café', 'cafe'), ('Locksmiths', 'locks'),
          ('Tailoring', 'tailor'), ('Pet Grooming', 'pets'), ('Electricians', 'electric'),
          ('Piano Tuning', 'piano'), ('Crêperie', 'creperie'), ('Bicycle Works', 'bikes'),
          ('Framing Studio', 'framing'), ('Roofing', 'roofing'), ('Delicatessen', 'deli')]
STREETS = ['Harbour Street', 'Maple Avenue', 'Old Mill Road', 'Juniper Lane', 'Station Road',
           'Lighthouse Way', 'Orchard Close', 'Beacon Hill Road', 'Willow Crescent',
           'Foundry Row', 'Chapel Street', 'Riverside Drive', 'Quarry Lane', 'Bellweather Court',
           'Rue Montclair', 'Straße am Anger']
TOWNS = ['Maple Falls', 'Cedar Point', 'Port Wendell', 'East Amberly', 'Greywater',
         'Little Haskett', 'Saint-Rémy Crossing', 'Brookhaven Ridge']

AREAS = ['207', '319', '413', '541', '608', '802']

KINDS = ['Family business', 'Open six days a week', 'Established 1987', 'Free estimates',
         'Wheelchair access', 'Evening appointments', 'Parking at the rear']


def slug(text):
    table = str.maketrans('áàâäãåçéèêëíìîïñóòôöõøúùûüýłčễ', 'aaaaaaceeeeiiiinoooooouuuuylce')
    s = ''.join(c if c.isalnum() else '-' for c in text.lower().translate(table))
    return '-'.join(p for p in s.split('-') if p)


def make_businesses(n):
    seen = set()
    result = []
    while len(result) < n:
        owner = rng.choice(OWNERS)
        trade, word = rng.choice(TRADES)
        name = f"{owner} {trade}" if rng.random() < 0.7 else f"{owner} & Sons {trade}"
        if name in seen:
            continue
        seen.add(name)
        number = len(result) + 1
        biz = {
            'id': f"{number:03d}",
            'name': name,
            'street': f"{rng.randint(1, 240)} {rng.choice(STREETS)}",
            'town': rng.choice(TOWNS),
            'phone': f"({rng.choice(AREAS)}) 555-01{rng.randint(0, 99):02d}",
            'kind': rng.choice(KINDS),
            'email': None,
        }
        # About one in eight shows no e-mail address on its detail page.
        if rng.random() > 0.125:
            domain = 'example.com' if rng.random() < 0.6 else 'example.net'
            biz['email'] = f"{rng.choice(['info', 'hello', 'office', 'contact'])}@{slug(owner)}-{word}.{domain}"
        result.append(biz)
    return result


STYLE = """
body { margin: 0; font: 15px/1.5 "DejaVu Sans", Arial, sans-serif; color: #22313f; background: #f4f1ea; }
header { background: #2f5d50; color: #fff; padding: 16px 32px; }
header a { color: #fff; text-decoration: none; }
header .brand { font-size: 24px; font-weight: bold; letter-spacing: .02em; }
header .tag { opacity: .8; font-size: 13px; }
main { max-width: 860px; margin: 20px auto; padding: 0 20px; }
ol.results { list-style: none; padding: 0; margin: 0; }
li.listing { background: #fff; border-radius: 6px; margin: 10px 0; padding: 10px 16px;
             box-shadow: 0 1px 2px rgba(0,0,0,.12); }
li.listing h3 { margin: 0 0 4px; font-size: 17px; }
li.listing h3 a { color: #2f5d50; }
li.listing p { margin: 0; display: inline-block; margin-right: 18px; color: #4a5a68; }
li.listing .kind { display: block; font-size: 12px; color: #8a8f94; }
nav.pager { display: flex; justify-content: space-between; margin: 18px 0 40px; }
nav.pager a { background: #2f5d50; color: #fff; padding: 6px 14px; border-radius: 4px;
              text-decoration: none; }
dl.card { background: #fff; border-radius: 6px; padding: 16px 24px; }
dl.card dt { font-weight: bold; margin-top: 8px; }
dl.card dd { margin: 0 0 4px; }
footer { text-align: center; font-size: 12px; color: #8a8f94; margin: 30px 0; }
"""


def page(title, body):
    return f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{html.escape(title)}</title>
<link rel="stylesheet" href="site.css">
</head>
<body>
<header>
  <a class="brand" href="index.html">Lantern Bay Business Directory</a>
  <div class="tag">Local trades and shops of the Lantern Bay coast &mdash; a demonstration site</div>
</header>
<main>
{body}
</main>
<footer>Lantern Bay Business Directory is fictional: every business, address and number on it is invented.</footer>
</body>
</html>
"""


def listing_item(b):
    e = html.escape
    return f"""  <li class="listing" id="listing-{b['id']}">
    <h3 class="name"><a href="listing-{b['id']}.html">{e(b['name'])}</a></h3>
    <p class="street">{e(b['street'])}</p>
    <p class="town">{e(b['town'])}</p>
    <p class="phone">{e(b['phone'])}</p>
    <span class="kind">{e(b['kind'])}</span>
  </li>"""


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, 'site.css'), 'w', encoding='utf-8') as f:
        f.write(STYLE.lstrip())
    unique = make_businesses(PAGES * PER_PAGE - 8)
    # Eight listings reappear on a later page, as paid entries do on real directories.
    slots = list(unique)
    repeats = [(1, 0), (2, 7), (3, 3), (3, 15), (4, 11), (5, 4), (5, 18), (5, 19)]
    for k, (page_index, position) in enumerate(repeats):
        earlier = unique[rng.randint(0, (page_index * PER_PAGE) - 1 - k)]
        slots.insert(page_index * PER_PAGE + position, earlier)
    assert len(slots) == PAGES * PER_PAGE

    for p in range(PAGES):
        items = slots[p * PER_PAGE:(p + 1) * PER_PAGE]
        first = p * PER_PAGE + 1
        prev = f'<a class="prev" href="results-{p}.html">&laquo; Previous page</a>' if p > 0 else '<span></span>'
        nxt = (f'<a class="next" rel="next" href="results-{p + 2}.html">Next page &raquo;</a>'
               if p + 1 < PAGES else '<span class="last">Last page</span>')
        body = f"""<h1>All businesses</h1>
<p class="summary">Results {first}&ndash;{first + len(items) - 1} of {PAGES * PER_PAGE}, page {p + 1} of {PAGES}</p>
<ol class="results">
{chr(10).join(listing_item(b) for b in items)}
</ol>
<nav class="pager">{prev}{nxt}</nav>"""
        with open(os.path.join(OUT, f"results-{p + 1}.html"), 'w', encoding='utf-8') as f:
            f.write(page(f"All businesses - page {p + 1} - Lantern Bay Business Directory", body))

    e = html.escape
    for b in unique:
        mail = (f'<a class="email" href="mailto:{e(b["email"])}">{e(b["email"])}</a>'
                if b['email'] else '<span class="no-email">No e-mail address listed</span>')
        body = f"""<h1 class="name">{e(b['name'])}</h1>
<dl class="card">
  <dt>Address</dt><dd class="address">{e(b['street'])}, {e(b['town'])}</dd>
  <dt>Telephone</dt><dd class="phone">{e(b['phone'])}</dd>
  <dt>E-mail</dt><dd class="contact">{mail}</dd>
  <dt>About</dt><dd>{e(b['kind'])}.</dd>
</dl>
<p><a href="results-1.html">&laquo; Back to all businesses</a></p>"""
        with open(os.path.join(OUT, f"listing-{b['id']}.html"), 'w', encoding='utf-8') as f:
            f.write(page(f"{b['name']} - Lantern Bay Business Directory", body))

    body = f"""<h1>Find a local business</h1>
<p>Welcome to the Lantern Bay Business Directory: {len(unique)} shops, trades and services
from Maple Falls to Saint-Rémy Crossing, listed twenty to a page.</p>
<p style="font-size:18px"><a id="browse" rel="next" href="results-1.html">Browse all businesses &raquo;</a></p>
<h2>Popular this week</h2>
<ul>
{chr(10).join(f'  <li><a href="listing-{b["id"]}.html">{e(b["name"])}</a> &mdash; {e(b["town"])}</li>' for b in unique[:5])}
</ul>"""
    with open(os.path.join(OUT, "index.html"), 'w', encoding='utf-8') as f:
        f.write(page("Lantern Bay Business Directory", body))


if __name__ == '__main__':
    main()
