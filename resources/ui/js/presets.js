// The factory preset browser: the current preset's name, a mark when it
// has been edited, stepping and a list to choose from.
import { BY_PATH, PARAMS } from './params.js';
import * as store from './store.js';
import { send } from './bridge.js';

let presets = [];
let current = null; // { id, name }
let baseline = null; // Map path -> plain
let dirty = false;
let ui = null;
// Set from the page's own preset request until the controller's reports
// for it have arrived: meanwhile the values pass through other presets'
// and must not be taken for a program change.
let loading = null;

function same(p, a, b) {
	return Math.abs(a - b) <= 1e-9 * Math.max(1, Math.abs(p.max - p.min));
}

function matches(values) {
	return PARAMS.every((p) => values[p.path] === undefined || same(p, store.get(p.path), values[p.path]));
}

function recompute() {
	if (baseline)
		dirty = !matches(baseline);
	render();
}

function adopt(preset) {
	current = { id: preset.id, name: preset.name };
	baseline = preset.values || null;
}

export function mount(root) {
	ui = {
		name: root.querySelector('#preset-name'),
		dirty: root.querySelector('#preset-dirty'),
		toggle: root.querySelector('#preset-toggle'),
		menu: root.querySelector('#preset-menu'),
		prev: root.querySelector('#preset-prev'),
		next: root.querySelector('#preset-next'),
	};
	ui.toggle.addEventListener('click', () => setMenu(ui.menu.hidden));
	ui.prev.addEventListener('click', () => step(-1));
	ui.next.addEventListener('click', () => step(1));
	ui.menu.addEventListener('keydown', (e) => {
		const items = [...ui.menu.querySelectorAll('[role="menuitemradio"]')];
		const i = items.indexOf(document.activeElement);
		if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
			e.preventDefault();
			const j = (i + (e.key === 'ArrowDown' ? 1 : -1) + items.length) % items.length;
			items[j].focus();
		} else if (e.key === 'Escape') {
			e.preventDefault();
			setMenu(false);
			ui.toggle.focus();
		} else if (e.key === 'Tab') {
			setMenu(false);
		}
	});
	document.addEventListener('pointerdown', (e) => {
		if (!ui.menu.hidden && !ui.menu.contains(e.target) && !ui.toggle.contains(e.target))
			setMenu(false);
	});
	store.onAny((path, origin) => {
		scheduleCheck(origin);
	});
	render();
}

function setMenu(open) {
	ui.menu.hidden = !open;
	ui.toggle.setAttribute('aria-expanded', String(open));
	if (open) {
		const chosen = ui.menu.querySelector('[aria-checked="true"]') || ui.menu.querySelector('[role="menuitemradio"]');
		if (chosen)
			chosen.focus();
	}
}

// A burst of reports from the plug-in that lands exactly on a factory
// preset means the host chose it (a program change): follow it.
let checkQueued = false;
function scheduleCheck(origin) {
	if (origin !== 'host') {
		recompute();
		return;
	}
	if (checkQueued)
		return;
	checkQueued = true;
	setTimeout(() => {
		checkQueued = false;
		if (loading && (!dirtyAgainst(baseline) || Date.now() > loading.until))
			loading = null;
		if (!loading && (!current || dirtyAgainst(baseline))) {
			const hit = presets.find((p) => p.values && matches(p.values));
			if (hit)
				adopt(hit);
		}
		recompute();
	}, 0);
}

function dirtyAgainst(values) {
	return !values || !matches(values);
}

export function load(id) {
	const preset = presets.find((p) => p.id === id);
	if (!preset)
		return;
	adopt(preset);
	dirty = false;
	loading = { id, until: Date.now() + 2000 };
	send({ type: 'tavik.loadFactoryPreset', id });
	render();
}

function step(delta) {
	if (presets.length === 0)
		return;
	const i = current ? presets.findIndex((p) => p.id === current.id) : -1;
	const j = i < 0 ? (delta > 0 ? 0 : presets.length - 1) : (i + delta + presets.length) % presets.length;
	load(presets[j].id);
}

// The hello lists the presets with their values and says which is current.
export function fromHello(hello) {
	presets = Array.isArray(hello.factoryPresets) ? hello.factoryPresets.filter((p) => p && p.id) : [];
	buildMenu();
	fromPresetState(hello.presetState);
}

export function fromPresetState(state) {
	if (!state || typeof state !== 'object')
		return;
	if (state.currentId) {
		const preset = presets.find((p) => p.id === state.currentId);
		current = { id: state.currentId, name: state.currentName || (preset && preset.name) || state.currentId };
		baseline = preset ? preset.values : null;
	}
	dirty = Boolean(state.dirty);
	render();
}

// A preset chosen somewhere else (reported in the lifecycle feed).
export function noteLoaded(id, name) {
	const preset = presets.find((p) => p.id === id);
	current = { id, name: name || (preset && preset.name) || id };
	baseline = preset ? preset.values : null;
	recompute();
}

function modelOf(preset) {
	const p = BY_PATH.get('ir.instrument');
	const v = preset.values && preset.values['ir.instrument'];
	return typeof v === 'number' ? p.entries[Math.round(v)] || '' : '';
}

function buildMenu() {
	ui.menu.textContent = '';
	presets.forEach((preset, i) => {
		const item = document.createElement('button');
		item.type = 'button';
		item.className = 'preset-item';
		item.setAttribute('role', 'menuitemradio');
		item.dataset.presetId = preset.id;
		item.innerHTML = '<span class="preset-num"></span><span class="preset-title"></span><span class="preset-model"></span>';
		item.querySelector('.preset-num').textContent = String(i + 1).padStart(2, '0');
		item.querySelector('.preset-title').textContent = preset.name;
		item.querySelector('.preset-model').textContent = modelOf(preset);
		item.addEventListener('click', () => {
			load(preset.id);
			setMenu(false);
			ui.toggle.focus();
		});
		ui.menu.append(item);
	});
	render();
}

function render() {
	if (!ui)
		return;
	ui.name.textContent = current ? current.name : 'No preset';
	ui.name.classList.toggle('muted', !current);
	const showDirty = Boolean(current) && dirty;
	ui.dirty.hidden = !showDirty;
	ui.toggle.setAttribute('aria-label', `Preset: ${current ? current.name : 'none'}${showDirty ? ' (edited)' : ''}. Choose a factory preset`);
	for (const item of ui.menu.querySelectorAll('[role="menuitemradio"]'))
		item.setAttribute('aria-checked', String(Boolean(current) && item.dataset.presetId === current.id));
	ui.prev.disabled = ui.next.disabled = presets.length === 0;
}

export function state() {
	return { current, dirty, count: presets.length };
}
