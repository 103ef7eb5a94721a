// The npm package taken in as its users take it, from a copy in a project's
// node_modules: require() from CommonJS, the declarations in a TypeScript
// program without the DOM's types, and a page built by each of vite, webpack
// and esbuild with their default settings (and vite's dev server), opened in
// headless Chromium. Each must filter as the package does in Node, and no
// bundle may hold the project's folder.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import { serve } from './serve.mjs';

const packageDir = path.resolve(import.meta.dirname,
  process.env.ORVESSA_PACKAGE ?? path.join(import.meta.dirname, '../../build/web/package'));
const chromiumPath = '/usr/bin/chromium';

// The same small picture everywhere; its filtered bytes come from the package in Node.
const pictureSource = `{ data: Uint8ClampedArray.from({ length: 4 * 9 * 7 }, (_, i) => (i * 37) % 251),
  width: 9, height: 7 }`;
const effectsSource = `(o, p) => [...o.gray(o.smooth(o.blur(p)), { twoColor: true, threshold: 90 }).data]`;
const expected = (async () => {
  const orvessa = await import(path.join(packageDir, 'orvessa-node.js'));
  return eval(effectsSource)(orvessa, eval(`(${pictureSource})`));
})();

let project;
before(() => {
  project = fs.mkdtempSync(path.join(os.tmpdir(), 'orvessa-consumer-'));
  fs.cpSync(packageDir, path.join(project, 'node_modules/orvessa'), { recursive: true });
  fs.writeFileSync(path.join(project, 'package.json'), '{ "type": "module", "private": true }\n');
});
after(() => project && fs.rmSync(project, { recursive: true, force: true }));

test('require() from CommonJS gives working filters', async () => {
  fs.writeFileSync(path.join(project, 'check.cjs'), `const orvessa = require('orvessa');
process.stdout.write(JSON.stringify((${effectsSource})(orvessa, ${pictureSource})));\n`);
  const out = execFileSync(process.execPath, ['check.cjs'], { cwd: project, encoding: 'utf8' });
  assert.deepEqual(JSON.parse(out), await expected);
});

test('the declarations check a Node program without the DOM, wrong pictures included', () => {
  fs.writeFileSync(path.join(project, 'tsconfig.json'), JSON.stringify({
    compilerOptions: { lib: ['es2022'], types: [], module: 'nodenext', strict: true, noEmit: true },
    files: ['check.ts'],
  }));
  fs.writeFileSync(path.join(project, 'check.ts'), `import { blur, gray, ready, type Picture } from 'orvessa';
await ready;
const picture: Picture = ${pictureSource};
gray(blur(picture), { twoColor: true });
// @ts-expect-error: an Array is no picture's data
blur({ data: [1, 2, 3], width: 1, height: 1 });\n`);
  const tsc = path.join(import.meta.dirname, 'node_modules/.bin/tsc');
  try {
    execFileSync(tsc, ['-p', project], { cwd: project, encoding: 'utf8' });
  } catch (error) {
    assert.fail(`tsc: ${error.stdout}${error.stderr}`);
  }
});

// The page's HTML, loading `script` as a module or (webpack's output) a plain script.
const html = (dir, script, module = true) => fs.writeFileSync(path.join(dir, 'index.html'),
  `<!doctype html><title>page</title><script${module ? ' type="module"' : ''} src="${script}"></script>\n`);

// One page: the filters once the module is ready, the outcome in `window.outcome`.
function writePage(dir) {
  fs.mkdirSync(dir, { recursive: true });
  fs.writeFileSync(path.join(dir, 'main.js'), `import * as orvessa from 'orvessa';
orvessa.ready.then(() => { window.outcome = (${effectsSource})(orvessa, ${pictureSource}); },
  (error) => { window.outcome = String(error); });\n`);
  html(dir, './main.js');
}

const bundlers = {
  async vite(dir, out) {
    writePage(dir);
    const { build } = await import('vite');
    await build({ root: dir, configFile: false, logLevel: 'silent', build: { outDir: out } });
  },
  async webpack(dir, out) {
    writePage(dir);
    const { default: webpack } = await import('webpack');
    const stats = await new Promise((resolve, reject) => webpack({
      mode: 'production', context: dir, entry: './main.js', output: { path: out },
    }, (error, result) => (error ? reject(error) : resolve(result))));
    assert.ok(!stats.hasErrors(), stats.toString('errors-only'));
    html(out, 'main.js', false);
  },
  async esbuild(dir, out) {
    writePage(dir);
    const esbuild = await import('esbuild');
    await esbuild.build({ absWorkingDir: dir, entryPoints: ['main.js'], bundle: true, format: 'esm', outdir: out,
      loader: { '.wasm': 'file' }, logLevel: 'silent' });
    // esbuild leaves `new URL(..., import.meta.url)` alone: the modules go beside the bundle, found by their exports.
    const resolve = createRequire(path.join(dir, 'main.js')).resolve;
    for (const name of ['orvessa.wasm', 'orvessa-simd.wasm']) fs.copyFileSync(resolve(`orvessa/${name}`), path.join(out, name));
    html(out, 'main.js');
  },
};

describe('a page built by each bundler', { skip: fs.existsSync(chromiumPath) ? false : `no Chromium at ${chromiumPath}` }, () => {
  let browser;
  before(async () => {
    const { chromium } = await import('playwright-core');
    browser = await chromium.launch({ executablePath: chromiumPath, headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking'] });
  });
  after(() => browser?.close());

  // The page at `url` filters as the package does in Node, with nothing failing.
  async function checkPage(url, what) {
    const page = await browser.newPage();
    const problems = [];
    page.on('pageerror', (e) => problems.push(e.message));
    page.on('response', (r) => r.status() >= 400 && problems.push(`${r.status()}: ${r.url()}`));
    try {
      await page.goto(url);
      const outcome = await (await page.waitForFunction(() => window.outcome, null, { timeout: 10_000 })).jsonValue();
      assert.deepEqual(outcome, await expected, what);
      assert.deepEqual(problems, [], what);
    } finally {
      await page.close();
    }
  }

  for (const [name, bundle] of Object.entries(bundlers)) {
    test(name, async () => {
      const dir = path.join(project, name), out = path.join(project, `${name}-out`);
      await bundle(dir, out);
      const files = fs.readdirSync(out, { recursive: true }).map((f) => path.join(out, f)).filter((f) => fs.statSync(f).isFile());
      assert.equal(files.filter((f) => f.endsWith('.wasm')).length, 2, `${name}: ${files}`);
      for (const file of files) {
        assert.ok(!fs.readFileSync(file).includes(project), `${file} holds the project's folder`);
      }
      const server = await serve(out);
      try {
        await checkPage(`http://127.0.0.1:${server.address().port}/`, name);
      } finally {
        server.closeAllConnections();
        await new Promise((resolve) => server.close(resolve));
      }
    });
  }

  // Vite's dev server moves the dependencies it pre-bundles away from their
  // files; its documented way for a small ES module is to leave it out.
  test('vite dev server', async () => {
    const dir = path.join(project, 'vite-dev');
    writePage(dir);
    const { createServer } = await import('vite');
    const server = await createServer({ root: dir, configFile: false, logLevel: 'silent',
      optimizeDeps: { exclude: ['orvessa'] }, server: { host: '127.0.0.1', port: 0 } });
    await server.listen();
    try {
      await checkPage(server.resolvedUrls.local[0], 'vite dev server');
    } finally {
      await server.close();
    }
  });
});
