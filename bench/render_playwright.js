// The peer of bench_render: playwright-core driving the given Chromium over the same pages,
// as its users render pages built by script: a new context and page per URL, goto until
// the network is idle, content(); two pages at a time, as sentrel renders them.
const { chromium } = require('playwright-core');

(async () => {
  const urls = process.argv.slice(2);
  const browser = await chromium.launch({ executablePath: process.env.BENCH_BROWSER, headless: true });
  let next = 0, bytes = 0;
  const worker = async () => {
    while (next < urls.length) {
      const url = urls[next++];
      const context = await browser.newContext();
      const page = await context.newPage();
      await page.goto(url, { waitUntil: 'networkidle', timeout: 30000 });
      bytes += (await page.content()).length;
      await context.close();
    }
  };
  await Promise.all([worker(), worker()]);
  await browser.close();
  process.stdout.write(`${bytes}\n`);
})().catch((e) => { console.error(e); process.exit(1); });
