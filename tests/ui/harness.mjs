// Puts the editor page in Chromium and connects it to a real controller:
// the page's messages go line by line to `zorv-render --bridge`, and the
// controller's messages come back into the page through the injected
// script's _deliver, as the plug-in's web view does.
import { spawn } from 'node:child_process';
import { readFileSync, writeFileSync, mkdirSync, existsSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { extname, join, resolve, normalize, sep, dirname } from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
const repo = resolve(here, '..', '..');

const bundle = process.env.ZORV_BUNDLE || '/work/main/build/Zorv.vst3';

// The page is the bundle's copy: resources/ui with the tables the build
// writes beside it (js/tables.js).
export const config = {
	render: process.env.ZORV_RENDER || '/work/main/build/tools/zorv-render',
	bundle,
	uiDir: process.env.ZORV_UI_DIR || join(bundle, 'Contents', 'Resources', 'ui'),
	hostScript: process.env.ZORV_HOST_SCRIPT || join(repo, 'source', 'editor', 'tavik_host.js'),
	artefacts: process.env.ZORV_ARTEFACT_DIR || join(repo, 'build', 'artefacts', 'editor'),
	chromium: process.env.CHROMIUM || '/usr/bin/chromium',
};

export const ORIGIN = 'http://tavik-ui.test';

const MIME = {
	'.html': 'text/html; charset=utf-8',
	'.js': 'text/javascript; charset=utf-8',
	'.mjs': 'text/javascript; charset=utf-8',
	'.css': 'text/css; charset=utf-8',
	'.svg': 'image/svg+xml',
	'.png': 'image/png',
	'.woff2': 'font/woff2',
	'.json': 'application/json',
};

// Stands in for the web view's script message handler: the page's
// window.webkit.messageHandlers.tavik.postMessage(text).
const SHIM = `
window.webkit = { messageHandlers: { tavik: { postMessage: function (text) {
	if (typeof text !== 'string') throw new TypeError('the tavik handler takes a string');
	window.__zorvPost(text);
} } } };
`;

let browser = null;

export async function launchBrowser() {
	if (!browser) {
		browser = await chromium.launch({
			executablePath: config.chromium,
			headless: true,
			args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
				'--disable-background-networking', '--disable-component-update', '--disable-sync'],
		});
	}
	return browser;
}

export async function closeBrowser() {
	if (browser)
		await browser.close();
	browser = null;
}

// The controller behind `zorv-render --bridge`. Lines are collected in
// arrival order; waitFor resolves when a matching line has arrived.
class Bridge {
	constructor(presetFiles = {}) {
		this.lines = [];
		this.waiters = [];
		this.stderr = '';
		this.deliver = null;
		// A bank cache and a home (with its user presets folder) of its own,
		// and no proxy for loopback addresses.
		this.dataHome = mkdtempSync(join(tmpdir(), 'zorv-ui-data-'));
		this.home = join(this.dataHome, 'home');
		this.presetFolder = join(this.home, '.vst3', 'presets', 'Tavik Music', 'Zorv');
		mkdirSync(this.presetFolder, { recursive: true });
		for (const [name, bytes] of Object.entries(presetFiles))
			writeFileSync(join(this.presetFolder, name), bytes);
		const env = { ...process.env, XDG_DATA_HOME: this.dataHome, HOME: this.home };
		for (const name of ['https_proxy', 'HTTPS_PROXY', 'all_proxy', 'ALL_PROXY'])
			delete env[name];
		this.child = spawn(config.render, ['--plugin', config.bundle, '--bridge'], {
			stdio: ['pipe', 'pipe', 'pipe'],
			env,
		});
		this.child.stderr.on('data', (d) => { this.stderr += d; });
		this.exited = new Promise((res) => this.child.on('exit', (code) => res(code)));
		createInterface({ input: this.child.stdout }).on('line', (line) => this.onLine(line));
	}

	onLine(line) {
		let obj;
		try {
			obj = JSON.parse(line);
		} catch {
			this.lines.push({ raw: line, obj: null });
			return;
		}
		this.lines.push({ raw: line, obj });
		if (!('zorv' in obj) && this.deliver)
			this.deliver(line);
		this.waiters = this.waiters.filter((w) => {
			if (w.pred(obj)) {
				w.resolve(obj);
				return false;
			}
			return true;
		});
	}

	send(obj) {
		this.child.stdin.write(`${typeof obj === 'string' ? obj : JSON.stringify(obj)}\n`);
	}

	messages(pred = () => true) {
		return this.lines.map((l) => l.obj).filter((o) => o && pred(o));
	}

	waitFor(pred, what = 'a bridge line', timeout = 10000, from = 0) {
		const seen = this.lines.slice(from).map((l) => l.obj).find((o) => o && pred(o));
		if (seen)
			return Promise.resolve(seen);
		return new Promise((res, rej) => {
			const timer = setTimeout(() => rej(new Error(`timed out waiting for ${what}`)), timeout);
			this.waiters.push({ pred, resolve: (o) => { clearTimeout(timer); res(o); } });
		});
	}

	// The controller's current value of a parameter, asked as the host.
	async get(id) {
		const mark = this.lines.length;
		this.send({ zorv: 'get', id });
		const answer = await this.waitFor((o) => o.zorv === 'value' && o.id === id, `value of ${id}`, 10000, mark);
		return answer.normalized;
	}

	// The controller's display text, units and plain value for a normalized
	// value, as a host asks with getParamStringByValue and
	// normalizedParamToPlain. Queries may be pipelined.
	async text(id, normalized) {
		const mark = this.lines.length;
		this.send({ zorv: 'text', id, normalized });
		const answer = await this.waitFor((o) => o.zorv === 'text' && o.id === id && o.normalized === normalized,
			`text of ${id} at ${normalized}`, 10000, mark);
		return { text: answer.text, units: answer.units, plain: answer.plain };
	}

	async quit() {
		if (this.child.exitCode === null) {
			this.send({ zorv: 'quit' });
			this.child.stdin.end();
		}
		const timer = setTimeout(() => this.child.kill('SIGKILL'), 5000);
		const code = await this.exited;
		clearTimeout(timer);
		rmSync(this.dataHome, { recursive: true, force: true });
		return code;
	}
}

// One editor session: a fresh page and a fresh controller. `presetFiles`
// (file name -> bytes) are put in the user presets folder first, as a host
// or another session would have left them.
export async function openEditor({ width = 720, height = 560, presetFiles = {} } = {}) {
	const b = await launchBrowser();
	const context = await b.newContext({ viewport: { width, height }, deviceScaleFactor: 1 });
	const page = await context.newPage();
	const bridge = new Bridge(presetFiles);
	const sent = [];
	const problems = [];
	const offsite = [];

	page.on('console', (msg) => {
		if (msg.type() === 'error' || msg.type() === 'warning')
			problems.push(`console ${msg.type()}: ${msg.text()}`);
	});
	page.on('pageerror', (err) => problems.push(`page error: ${err.message}`));

	await context.route('**/*', async (route) => {
		const url = new URL(route.request().url());
		if (url.origin !== ORIGIN) {
			offsite.push(url.href);
			return route.abort();
		}
		const root = normalize(config.uiDir) + sep;
		const file = normalize(join(config.uiDir, decodeURIComponent(url.pathname)));
		if (!file.startsWith(root) || !existsSync(file))
			return route.fulfill({ status: 404, body: 'not found' });
		return route.fulfill({
			status: 200,
			headers: { 'content-type': MIME[extname(file)] || 'application/octet-stream' },
			body: readFileSync(file),
		});
	});

	await page.exposeBinding('__zorvPost', (_source, text) => {
		let obj = null;
		try {
			obj = JSON.parse(text);
		} catch {
			problems.push(`page sent text that is not JSON: ${text}`);
		}
		sent.push(obj);
		bridge.send(text);
	});
	await page.addInitScript({ content: SHIM });
	await page.addInitScript({ path: config.hostScript });

	// Delivered one after another, in the order the controller sent them.
	let chain = Promise.resolve();
	bridge.deliver = (line) => {
		chain = chain.then(() => page.evaluate(
			(l) => window.tavikHost && window.tavikHost._deliver(JSON.parse(l)), line)).catch(() => {});
	};

	await page.goto(`${ORIGIN}/index.html`);
	await page.waitForSelector('body[data-hello="received"]', { timeout: 15000 });

	const session = {
		page, context, bridge, sent, problems, offsite,
		// Page messages of one type, in order.
		sentOf: (type) => sent.filter((m) => m && m.type === type),
		async waitForSent(pred, what, timeout = 5000) {
			const start = Date.now();
			for (;;) {
				const hit = sent.find((m) => m && pred(m));
				if (hit)
					return hit;
				if (Date.now() - start > timeout)
					throw new Error(`timed out waiting for the page to send ${what}`);
				await new Promise((r) => setTimeout(r, 20));
			}
		},
		// Lets pending bridge traffic settle: a round trip through the tool.
		async settle() {
			await bridge.get(0);
			await chain;
			await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => setTimeout(r, 0))));
		},
		async close() {
			await context.close();
			return bridge.quit();
		},
	};
	return session;
}

export function artefactPath(name) {
	mkdirSync(config.artefacts, { recursive: true });
	return join(config.artefacts, name);
}

// The page's own tables module, as the build wrote it for this bundle.
export const TABLES = await import(pathToFileURL(join(config.uiDir, 'js', 'tables.js')).href);

export const PARAM_IDS = Object.fromEntries(TABLES.PARAMETERS.map((p) => [p.path, p.id]));
export const PROGRAM_CHANGE_ID = 1057030145;
