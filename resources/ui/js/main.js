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

// Side drawers: one open at a time; Escape or a click beside the drawer
// closes it; focus returns to what opened it. While one is open the
// controls it covers are inert, so Tab never reaches (and keys never turn)
// a knob nobody can see; the top bar stays in reach to switch drawers.
const drawerHooks = {
	'diag-drawer': (open) => diagnostics.setOpen(open),
	'bank-drawer': (open) => { if (open) banks.refresh(); },
};

let openDrawer = null;

function setupDrawers() {
	const buttons = [...document.querySelectorAll('[data-drawer]')];
	const content = document.getElementById('content');
	const scrim = document.getElementById('scrim');
	let openId = null;
	let opener = null;
	function close(returnFocus) {
		if (!openId)
			return;
		const id = openId;
		document.getElementById(id).hidden = true;
		const button = buttons.find((b) => b.dataset.drawer === id);
		if (button)
			button.setAttribute('aria-expanded', 'false');
		openId = null;
		content.inert = false;
		scrim.hidden = true;
		document.body.classList.remove('drawer-open');
		if (drawerHooks[id])
			drawerHooks[id](false);
		const back = opener && opener.isConnected ? opener : button;
		opener = null;
		if (returnFocus && back)
			back.focus();
	}
	function open(id, from) {
		if (openId === id)
			return close(true);
		const previousOpener = openId ? opener : null;
		close(false);
		const drawer = document.getElementById(id);
		drawer.hidden = false;
		openId = id;
		opener = from || previousOpener || buttons.find((b) => b.dataset.drawer === id) || null;
		content.inert = true;
		scrim.hidden = false;
		document.body.classList.add('drawer-open');
		const button = buttons.find((b) => b.dataset.drawer === id);
		if (button)
			button.setAttribute('aria-expanded', 'true');
		if (drawerHooks[id])
			drawerHooks[id](true);
		drawer.querySelector('.drawer-close').focus();
	}
	for (const b of buttons)
		b.addEventListener('click', () => open(b.dataset.drawer, b));
	scrim.addEventListener('click', () => close(false));
	for (const drawer of document.querySelectorAll('.drawer')) {
		drawer.querySelector('.drawer-close').addEventListener('click', () => close(true));
		drawer.addEventListener('keydown', (e) => {
			if (e.key === 'Escape' && !e.defaultPrevented) {
				e.preventDefault();
				close(true);
			}
		});
	}
	openDrawer = (id, from) => {
		if (openId !== id)
			open(id, from);
	};
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
	bridge.on('tavik.presetState', (m) => presets.fromPresetState(m.presetState));
	bridge.on('tavik.presetList', (m) => presets.onPresetList(m));
	bridge.on('tavik.presetResult', (m) => presets.onPresetResult(m));
	bridge.on('tavik.ccMapChanged', (m) => ccmap.adopt(m.map));
	bridge.on('tavik.ccLearnState', (m) => ccmap.onLearnState(m));
	bridge.on('tavik.midiCc', (m) => ccmap.onController(m));
	bridge.on('tavik.lifecycle', (m) => diagnostics.onLifecycle(m));
	bridge.on('tavik.runtimeDiagnostics', (m) => {
		banks.onRuntimeDiagnostics(m);
		diagnostics.onRuntimeDiagnostics(m);
	});
	bridge.on('tavik.hostChanged', (m) => diagnostics.onHostChanged(m));
	bridge.on('tavik.transport', (m) => diagnostics.onTransport(m));
	bridge.on('tavik.bankState', (m) => banks.onBankState(m));
	bridge.on('tavik.folderPicked', (m) => banks.onFolderPicked(m));
}

function main() {
	buildSections();
	const picture = new Picture(document.getElementById('picture'),
		document.getElementById('picture-caption'), () => store.snapshot());
	store.onAny(() => picture.request());
	ccmap.mount(document.getElementById('cc-drawer'));
	diagnostics.mount(document.getElementById('diag-drawer'));
	banks.mount(document.getElementById('bank-drawer'));
	setupDrawers();
	presets.mount(document, { openDrawer: (id, from) => openDrawer(id, from) });
	wireMessages();
	bridge.start();
	document.getElementById('offline').hidden = bridge.connected();
	document.body.dataset.ready = 'true';
}

main();
