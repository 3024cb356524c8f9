// Takes the README's picture of the page: the bundled sample chorused and
// playing, on a desktop's width, in the dark scheme.
//   node tests/web/readme-picture.mjs build-web/site docs/web-page.png
// (after scripts/web.sh --no-serve and npm ci in tests/web)
import path from 'node:path';
import { launchBrowser, startServer } from './support.mjs';

const [site, out] = process.argv.slice(2);
if (!site || !out) {
  console.error('usage: node tests/web/readme-picture.mjs SITE_DIR OUT.png');
  process.exit(2);
}
const server = await startServer(path.resolve(site), path.resolve(site));
const browser = await launchBrowser();
try {
  const context = await browser.newContext({ viewport: { width: 1200, height: 900 }, colorScheme: 'dark' });
  const page = await context.newPage();
  await page.goto(server.url);
  await page.locator('#sample-button').click();
  await page.locator('#download').waitFor({ state: 'visible' });
  await page.locator('#play').click();
  await page.waitForFunction(() => Number(document.getElementById('seek').value) > 1.1);
  await page.locator('#play').click();
  await page.locator('#play').blur();
  const bottom = await page.evaluate(() => document.getElementById('result').getBoundingClientRect().bottom + 20);
  await page.screenshot({ path: out, fullPage: true, clip: { x: 0, y: 0, width: 1200, height: Math.ceil(bottom) } });
} finally {
  await browser.close();
  server.close();
}
