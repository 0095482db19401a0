// The Playwright half of the declarative-template benchmark: Debian's Chromium, driven by
// playwright-core, loads the same 1,000-listing page and extracts the same five fields of
// every listing with querySelectorAll; timed from "page loaded" to "record text ready".
//
//   node records.cjs PAGE.html [LOADS]
//
// playwright-core is looked for in $PLAYWRIGHT_CORE_DIR/node_modules, then the usual way.
'use strict';

const path = require('path');

function loadPlaywright() {
    const dir = process.env.PLAYWRIGHT_CORE_DIR;
    return require(dir ? path.join(path.resolve(dir), 'node_modules', 'playwright-core')
                       : 'playwright-core');
}

// The fields as the declarative template reads them: text with white space collapsed,
// the area code by the same pattern, the link's resolved address.
function extract() {
    const text = (root, selector) => {
        const e = root.querySelector(selector);
        return e ? e.textContent.replace(/\s+/g, ' ').trim() : '';
    };
    const area = /\((\d{3})\)/;
    const lines = [];
    for (const li of document.querySelectorAll('li.listing')) {
        const phone = text(li, '.phone').match(area);
        const link = li.querySelector('.name a');
        lines.push([text(li, '.name'), text(li, '.street'), text(li, '.town'),
                    phone ? phone[1] : '', link ? link.href : ''].join('\u00a4'));
    }
    return lines.join('\r\n');
}

async function main() {
    const [page, loadsText = '20'] = process.argv.slice(2);
    if (!page) {
        console.error('usage: node records.cjs PAGE.html [LOADS]');
        process.exit(2);
    }
    const loads = Math.max(1, parseInt(loadsText, 10) || 20);
    const { chromium } = loadPlaywright();
    const browser = await chromium.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
               '--disable-component-update', '--no-first-run', '--proxy-server=127.0.0.1:9'],
    });
    try {
        const tab = await browser.newPage();
        const url = 'file://' + path.resolve(page);
        const times = [];
        let records = 0;
        for (let i = 0; i < loads; ++i) {
            await tab.goto(url, { waitUntil: 'load' });
            const start = process.hrtime.bigint();
            const text = await tab.evaluate(extract);
            times.push(Number(process.hrtime.bigint() - start) / 1e6);
            records = text ? text.split('\r\n').length : 0;
        }
        // The mean, as Google Benchmark gives for the Trawlex half, beside the median.
        const mean = times.reduce((a, b) => a + b, 0) / times.length;
        times.sort((a, b) => a - b);
        const median = times[Math.floor(times.length / 2)];
        console.log(`Playwright + Chromium, page to records: ${records} records, ` +
                    `mean ${mean.toFixed(1)} ms, median ${median.toFixed(1)} ms, ` +
                    `fastest ${times[0].toFixed(1)} ms over ${loads} loads`);
        if (records === 0)
            process.exitCode = 1;
    } finally {
        await browser.close();
    }
}

main().catch((e) => {
    console.error(`Playwright half failed: ${e.message}`);
    process.exit(1);
});
