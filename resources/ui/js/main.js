// Builds the editor and connects it to the plug-in.
import { BY_PATH, SECTIONS } from './params.js';
import * as store from './store.js';
import * as bridge from './bridge.js';
import { createControl } from './controls.js';
import { Picture } from './picture.js';
import * as presets from './presets.js';
import * as ccmap from './ccmap.js';
import * as diagnostics from './diagnostics.js';
import * as banks from './banks.js';

function buildSections() {
	const host = document.getElementById('sections');
	for (const section of SECTIONS) {
		const card = document.createElement('section');
		card.className = `panel group group-${section.key}`;
		card.setAttribute('aria-labelledby', `group-${section.key}-title`);
		const h = document.createElement('h2');
		h.className = 'panel-title';
		h.id = `group-${section.key}-title`;
		h.textContent = section.title;
		card.append(h);
		const lists = document.createElement('div');
		lists.className = 'lists';
		const knobs = document.createElement('div');
		knobs.className = 'knobs';
		for (const path of section.paths) {
			const p = BY_PATH.get(path);
			(p.kind === 'list' ? lists : knobs).append(createControl(p));
		}
		if (lists.children.length)
			card.append(lists);
		card.append(knobs);
		host.append(card);
	}
}

// Side drawers: one open at a time; Escape closes; focus returns to the
// button that opened it.
const drawerHooks = {
	'diag-drawer': (open) => diagnostics.setOpen(open),
	'bank-drawer': (open) => { if (open) banks.refresh(); },
};

function setupDrawers() {
	const buttons = [...document.querySelectorAll('[data-drawer]')];
	let openId = null;
	function close(returnFocus) {
		if (!openId)
			return;
		const id = openId;
		document.getElementById(id).hidden = true;
		const button = buttons.find((b) => b.dataset.drawer === id);
		button.setAttribute('aria-expanded', 'false');
		openId = null;
		document.body.classList.remove('drawer-open');
		if (drawerHooks[id])
			drawerHooks[id](false);
		if (returnFocus)
			button.focus();
	}
	function open(id) {
		if (openId === id)
			return close(true);
		close(false);
		const drawer = document.getElementById(id);
		drawer.hidden = false;
		openId = id;
		document.body.classList.add('drawer-open');
		buttons.find((b) => b.dataset.drawer === id).setAttribute('aria-expanded', 'true');
		if (drawerHooks[id])
			drawerHooks[id](true);
		drawer.querySelector('.drawer-close').focus();
	}
	for (const b of buttons)
		b.addEventListener('click', () => open(b.dataset.drawer));
	for (const drawer of document.querySelectorAll('.drawer')) {
		drawer.querySelector('.drawer-close').addEventListener('click', () => close(true));
		drawer.addEventListener('keydown', (e) => {
			if (e.key === 'Escape') {
				e.preventDefault();
				close(true);
			}
		});
	}
}

function wireMessages() {
	bridge.on('tavik.hello', (hello) => {
		for (const p of Array.isArray(hello.params) ? hello.params : [])
			store.setFromHost(p.path, p.value);
		presets.fromHello(hello);
		if (hello.ccMap)
			ccmap.adopt(hello.ccMap);
		diagnostics.fromHello(hello);
		document.body.dataset.hello = 'received';
	});
	bridge.on('tavik.paramChanged', (m) => store.setFromHost(m.path, m.value));
	bridge.on('tavik.ccMapChanged', (m) => ccmap.adopt(m.map));
	bridge.on('tavik.lifecycle', (m) => {
		diagnostics.onLifecycle(m);
		const loaded = (m.events || []).filter((e) => e.kind === 'presetLoaded' && e.detail);
		if (loaded.length) {
			const last = loaded[loaded.length - 1];
			presets.noteLoaded(last.detail.id, last.detail.name);
		}
	});
	bridge.on('tavik.runtimeDiagnostics', (m) => {
		banks.onRuntimeDiagnostics(m);
		diagnostics.onRuntimeDiagnostics(m);
	});
	bridge.on('tavik.hostChanged', (m) => diagnostics.onHostChanged(m));
	bridge.on('tavik.transport', (m) => diagnostics.onTransport(m));
	bridge.on('tavik.bankState', (m) => banks.onBankState(m));
	bridge.on('tavik.folderPicked', (m) => banks.onFolderPicked(m));
	bridge.on('*', (m) => {
		if (m.presetState && m.type !== 'tavik.hello')
			presets.fromPresetState(m.presetState);
	});
}

function main() {
	buildSections();
	const picture = new Picture(document.getElementById('picture'),
		document.getElementById('picture-caption'), () => store.snapshot());
	store.onAny(() => picture.request());
	presets.mount(document);
	ccmap.mount(document.getElementById('cc-drawer'));
	diagnostics.mount(document.getElementById('diag-drawer'));
	banks.mount(document.getElementById('bank-drawer'));
	setupDrawers();
	wireMessages();
	bridge.start();
	document.getElementById('offline').hidden = bridge.connected();
	document.body.dataset.ready = 'true';
}

main();
