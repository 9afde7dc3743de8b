// The preset browser: the current preset's name and edited mark exactly as
// the controller reports them, a menu of factory and saved presets,
// stepping, saving, and a drawer to rename and delete saved presets.
import { BY_PATH } from './params.js';
import { send } from './bridge.js';

let factory = []; // [{ id, name, values }] from the hello
let saved = []; // [{ id, name, usable, problem }] from tavik.presetList
let folder = '';
let supported = false;
// What the controller last reported, and what the page shows: the same,
// except right after the page asked for a preset, whose name shows at once.
let reported = { id: null, name: null, dirty: false };
let shown = reported;
let ui = null;
let openDrawer = null; // set by main.js: opens a drawer by id
// The request the page waits for an answer to (one at a time per action).
const waiting = new Map(); // action -> { id, name, timer }
const ANSWER_MS = 5000;

const $ = (root, sel) => root.querySelector(sel);

export function mount(root, { openDrawer: opener }) {
	openDrawer = opener;
	ui = {
		prefix: $(root, '#preset-prefix'),
		name: $(root, '#preset-name'),
		dirty: $(root, '#preset-dirty'),
		toggle: $(root, '#preset-toggle'),
		menu: $(root, '#preset-menu'),
		prev: $(root, '#preset-prev'),
		next: $(root, '#preset-next'),
		toast: $(root, '#preset-toast'),
		drawer: $(root, '#preset-drawer'),
		folder: $(root, '#preset-folder'),
		list: $(root, '#preset-user-list'),
		empty: $(root, '#preset-user-empty'),
		status: $(root, '#preset-drawer-status'),
		saveOpen: $(root, '#preset-save-open'),
		save: $(root, '#save-dialog'),
		saveForm: $(root, '#save-form'),
		saveName: $(root, '#save-name'),
		saveError: $(root, '#save-error'),
		saveReplace: $(root, '#save-replace'),
		saveSubmit: $(root, '#save-submit'),
		saveCancel: $(root, '#save-cancel'),
		confirm: $(root, '#confirm-dialog'),
		confirmText: $(root, '#confirm-text'),
		confirmOk: $(root, '#confirm-ok'),
		confirmCancel: $(root, '#confirm-cancel'),
	};
	ui.toggle.addEventListener('click', () => setMenu(ui.menu.hidden));
	ui.prev.addEventListener('click', () => step(-1));
	ui.next.addEventListener('click', () => step(1));
	ui.menu.addEventListener('keydown', menuKey);
	document.addEventListener('pointerdown', (e) => {
		if (!ui.menu.hidden && !ui.menu.contains(e.target) && !ui.toggle.contains(e.target))
			setMenu(false);
	});
	window.addEventListener('resize', () => {
		if (!ui.menu.hidden)
			fitMenu();
	});
	ui.saveOpen.addEventListener('click', () => openSave(ui.saveOpen));
	setupSaveDialog();
	setupConfirmDialog();
	ui.toast.addEventListener('click', () => { ui.toast.hidden = true; });
	render();
}

// ---- What the controller says ----------------------------------------

// The hello lists the factory presets and carries the preset state.
export function fromHello(hello) {
	factory = Array.isArray(hello.factoryPresets) ? hello.factoryPresets.filter((p) => p && p.id) : [];
	fromPresetState(hello.presetState);
}

export function fromPresetState(state) {
	if (!state || typeof state !== 'object')
		return;
	supported = Boolean(state.userPresetsSupported);
	const id = typeof state.currentId === 'string' && state.currentId ? state.currentId : null;
	const name = id ? (typeof state.currentName === 'string' && state.currentName ? state.currentName : nameOf(id)) : null;
	reported = { id, name, dirty: Boolean(id && state.dirty) };
	shown = reported;
	render();
}

export function onPresetList(message) {
	folder = typeof message.folder === 'string' ? message.folder : '';
	saved = (Array.isArray(message.presets) ? message.presets : [])
		.filter((p) => p && typeof p.id === 'string' && typeof p.name === 'string')
		.map((p) => ({ id: p.id, name: p.name, usable: p.usable !== false,
			problem: typeof p.problem === 'string' ? p.problem : '' }));
	supported = true;
	render();
}

export function onPresetResult(m) {
	const pending = waiting.get(m.action);
	if (pending) {
		clearTimeout(pending.timer);
		waiting.delete(m.action);
	}
	const message = typeof m.message === 'string' && m.message ? m.message
		: m.ok ? 'Done.' : 'The plug-in refused that.';
	switch (m.action) {
	case 'save': return saveAnswered(m, message);
	case 'rename': return renameAnswered(m, message);
	case 'load':
		if (!m.ok) {
			shown = reported;
			render();
		}
		return say(m.ok ? 'ok' : 'warn', message, !m.ok);
	case 'delete':
		return say(m.ok ? 'ok' : 'warn', message, !m.ok);
	default:
		return undefined;
	}
}

function nameOf(id) {
	const preset = factory.find((p) => p.id === id) || saved.find((p) => p.id === id);
	return preset ? preset.name : id.replace(/^user:/, '');
}

// A request the controller answers with one presetResult; no answer at all
// (a plug-in that does not know it) is said too.
function request(message, action, extra = {}) {
	const previous = waiting.get(action);
	if (previous)
		clearTimeout(previous.timer);
	const entry = { ...extra, timer: setTimeout(() => {
		if (waiting.get(action) !== entry)
			return;
		waiting.delete(action);
		onPresetResult({ action, ok: false, message: 'The plug-in did not answer. Try again, or reopen the editor.' });
	}, ANSWER_MS) };
	waiting.set(action, entry);
	send(message);
}

// ---- Loading -----------------------------------------------------------

function loadable() {
	return [...factory, ...(supported ? saved.filter((p) => p.usable) : [])];
}

export function load(id) {
	const preset = loadable().find((p) => p.id === id);
	if (!preset)
		return;
	// Shown at once; the controller's report follows and is what stays.
	shown = { id, name: preset.name, dirty: false };
	if (id.startsWith('user:'))
		request({ type: 'tavik.loadPreset', id }, 'load', { id });
	else
		send({ type: 'tavik.loadFactoryPreset', id });
	render();
}

function step(delta) {
	const list = loadable();
	if (list.length === 0)
		return;
	const i = shown.id ? list.findIndex((p) => p.id === shown.id) : -1;
	const j = i < 0 ? (delta > 0 ? 0 : list.length - 1) : (i + delta + list.length) % list.length;
	load(list[j].id);
}

// ---- The menu ----------------------------------------------------------

function setMenu(open) {
	ui.menu.hidden = !open;
	ui.toggle.setAttribute('aria-expanded', String(open));
	if (open) {
		buildMenu();
		fitMenu();
		const chosen = ui.menu.querySelector('[aria-checked="true"]') || items()[0];
		if (chosen)
			chosen.focus();
	}
}

// Keeps the open menu inside the window; it scrolls when it is taller.
function fitMenu() {
	const top = ui.toggle.getBoundingClientRect().bottom + 6;
	ui.menu.style.maxHeight = `${Math.max(120, Math.min(420, innerHeight - top - 8))}px`;
}

function items() {
	return [...ui.menu.querySelectorAll('[role^="menuitem"]')];
}

function menuKey(e) {
	const list = items();
	const i = list.indexOf(document.activeElement);
	let j = null;
	switch (e.key) {
	case 'ArrowDown': j = (i + 1) % list.length; break;
	case 'ArrowUp': j = (i - 1 + list.length) % list.length; break;
	case 'Home': j = 0; break;
	case 'End': j = list.length - 1; break;
	case 'Escape':
		e.preventDefault();
		setMenu(false);
		ui.toggle.focus();
		return;
	case 'Tab':
		setMenu(false);
		return;
	default: return;
	}
	e.preventDefault();
	list[j].focus();
}

function menuItem(role, cls, parts, onChoose) {
	const item = document.createElement('button');
	item.type = 'button';
	item.className = cls;
	item.setAttribute('role', role);
	item.tabIndex = -1;
	for (const [partCls, text] of parts) {
		const s = document.createElement('span');
		s.className = partCls;
		s.textContent = text;
		item.append(s);
	}
	item.addEventListener('click', onChoose);
	return item;
}

function group(label, caption) {
	const g = document.createElement('div');
	g.setAttribute('role', 'group');
	g.setAttribute('aria-label', label);
	const c = document.createElement('div');
	c.className = 'menu-caption';
	c.setAttribute('aria-hidden', 'true');
	c.textContent = caption;
	g.append(c);
	return g;
}

function modelOf(preset) {
	const p = BY_PATH.get('ir.instrument');
	const v = preset.values && preset.values['ir.instrument'];
	return typeof v === 'number' ? p.entries[Math.round(v)] || '' : '';
}

function choose(id) {
	load(id);
	setMenu(false);
	ui.toggle.focus();
}

function buildMenu() {
	ui.menu.textContent = '';
	const f = group('Factory presets', 'Factory');
	factory.forEach((preset, i) => {
		const item = menuItem('menuitemradio', 'preset-item', [['preset-num', String(i + 1).padStart(2, '0')],
			['preset-title', preset.name], ['preset-model', modelOf(preset)]], () => choose(preset.id));
		item.dataset.presetId = preset.id;
		f.append(item);
	});
	ui.menu.append(f);
	if (supported && saved.length) {
		const u = group('Saved presets', 'Saved');
		for (const preset of saved) {
			const parts = [['preset-num', ''], ['preset-title', preset.name]];
			if (!preset.usable)
				parts.push(['preset-problem', preset.problem || 'cannot be loaded']);
			const item = menuItem('menuitemradio', `preset-item${preset.usable ? '' : ' unusable'}`, parts, () => {
				if (preset.usable)
					choose(preset.id);
			});
			item.dataset.presetId = preset.id;
			if (!preset.usable)
				item.setAttribute('aria-disabled', 'true');
			u.append(item);
		}
		ui.menu.append(u);
	}
	if (supported) {
		const sep = document.createElement('div');
		sep.setAttribute('role', 'separator');
		sep.className = 'menu-separator';
		const save = menuItem('menuitem', 'preset-action', [['preset-title', 'Save preset…']], () => {
			setMenu(false);
			openSave(ui.toggle);
		});
		save.dataset.action = 'save';
		const manage = menuItem('menuitem', 'preset-action', [['preset-title', 'Rename or delete saved presets…']], () => {
			setMenu(false);
			send({ type: 'tavik.listPresets' });
			openDrawer('preset-drawer', ui.toggle);
		});
		manage.dataset.action = 'manage';
		ui.menu.append(sep, save, manage);
	}
	markCurrent();
}

function markCurrent() {
	for (const item of ui.menu.querySelectorAll('[role="menuitemradio"]'))
		item.setAttribute('aria-checked', String(item.dataset.presetId === shown.id));
}

// ---- Saving ------------------------------------------------------------

let saveReturn = null;

function openSave(returnTo) {
	saveReturn = returnTo;
	ui.saveName.value = shown.name || '';
	saveProblem('');
	ui.saveName.removeAttribute('aria-invalid');
	ui.saveReplace.hidden = true;
	ui.saveSubmit.disabled = false;
	ui.save.showModal();
	ui.saveName.focus();
	ui.saveName.select();
}

function saveProblem(text) {
	ui.saveError.textContent = text;
	ui.saveError.hidden = !text;
}

function setupSaveDialog() {
	const submit = (overwrite) => {
		const name = ui.saveName.value.trim();
		if (!name) {
			saveProblem('Type a name for the preset.');
			ui.saveName.setAttribute('aria-invalid', 'true');
			ui.saveName.focus();
			return;
		}
		saveProblem('Saving…');
		ui.saveSubmit.disabled = true;
		ui.saveReplace.hidden = true;
		const message = { type: 'tavik.savePreset', name };
		if (overwrite)
			message.overwrite = true;
		request(message, 'save', { name });
	};
	ui.saveForm.addEventListener('submit', (e) => {
		e.preventDefault();
		submit(false);
	});
	ui.saveReplace.addEventListener('click', () => submit(true));
	ui.saveCancel.addEventListener('click', () => ui.save.close());
	// Typing a new name forgets the offer to replace the old one.
	ui.saveName.addEventListener('input', () => {
		ui.saveReplace.hidden = true;
		ui.saveSubmit.disabled = false;
		ui.saveName.removeAttribute('aria-invalid');
		saveProblem('');
	});
	ui.save.addEventListener('close', () => {
		waiting.delete('save');
		if (saveReturn && saveReturn.isConnected)
			saveReturn.focus();
		saveReturn = null;
	});
}

function saveAnswered(m, message) {
	if (m.ok) {
		if (ui.save.open)
			ui.save.close();
		say('ok', message, false);
		return;
	}
	if (!ui.save.open) {
		say('warn', message, true);
		return;
	}
	ui.saveSubmit.disabled = false;
	saveProblem(message);
	ui.saveName.setAttribute('aria-invalid', 'true');
	if (m.exists) {
		ui.saveReplace.hidden = false;
		ui.saveReplace.focus();
	} else {
		ui.saveName.focus();
	}
}

// ---- Renaming and deleting --------------------------------------------

let renaming = null; // { id, value, error, focused }: the row being renamed
let pendingFocus = null; // a renamed preset's id, focused once the list has it
let deleting = null; // the preset the confirmation asks about

function renderList() {
	const focusedId = ui.list.contains(document.activeElement) ? document.activeElement.closest('li')?.dataset.presetId : null;
	const focusedAction = focusedId ? document.activeElement.dataset.action : null;
	ui.list.textContent = '';
	ui.empty.hidden = saved.length > 0;
	ui.folder.textContent = 'Presets you save are kept as .vstpreset files, where hosts list them too';
	if (folder) {
		const path = document.createElement('code');
		path.className = 'path';
		path.textContent = folder;
		ui.folder.append(': ', path);
	} else {
		ui.folder.append('.');
	}
	for (const preset of saved) {
		const li = document.createElement('li');
		li.className = `user-preset${preset.usable ? '' : ' unusable'}`;
		li.dataset.presetId = preset.id;
		const title = document.createElement('div');
		title.className = 'up-name';
		title.textContent = preset.name;
		if (preset.id === shown.id) {
			const mark = document.createElement('span');
			mark.className = 'up-current';
			mark.textContent = 'current';
			title.append(' ', mark);
		}
		li.append(title);
		if (!preset.usable) {
			const problem = document.createElement('div');
			problem.className = 'up-problem';
			problem.textContent = preset.problem || 'This file cannot be loaded.';
			li.append(problem);
		}
		if (renaming && renaming.id === preset.id) {
			li.append(renameForm(preset));
		} else {
			const actions = document.createElement('div');
			actions.className = 'up-actions';
			const button = (text, action, label, onClick) => {
				const b = document.createElement('button');
				b.type = 'button';
				b.className = 'button small';
				b.textContent = text;
				b.dataset.action = action;
				b.setAttribute('aria-label', `${text} ${label}`);
				b.addEventListener('click', onClick);
				actions.append(b);
				return b;
			};
			if (preset.usable)
				button('Load', 'load', preset.name, () => load(preset.id));
			button('Rename', 'rename', preset.name, () => startRename(preset));
			button('Delete', 'delete', preset.name, () => confirmDelete(preset));
			li.append(actions);
		}
		ui.list.append(li);
	}
	if (renaming) {
		renaming.input = ui.list.querySelector('.rename-input');
		if (renaming.input && !renaming.focused) {
			renaming.focused = true;
			renaming.input.focus();
			renaming.input.select();
		}
	} else if (focusedId) {
		const li = [...ui.list.children].find((x) => x.dataset.presetId === focusedId);
		const target = li && (li.querySelector(`[data-action="${focusedAction}"]`) || li.querySelector('button'));
		(target || ui.saveOpen).focus();
	}
}

function renameForm(preset) {
	const form = document.createElement('form');
	form.className = 'rename-form';
	form.noValidate = true;
	const input = document.createElement('input');
	input.type = 'text';
	input.className = 'rename-input';
	input.spellcheck = false;
	input.autocomplete = 'off';
	input.value = renaming.value ?? preset.name;
	input.setAttribute('aria-label', `New name for ${preset.name}`);
	const errorId = `rename-error-${Math.random().toString(36).slice(2)}`;
	input.setAttribute('aria-describedby', errorId);
	const error = document.createElement('p');
	error.className = 'field-error';
	error.id = errorId;
	error.setAttribute('role', 'alert');
	error.textContent = renaming.error || '';
	if (renaming.error)
		input.setAttribute('aria-invalid', 'true');
	input.addEventListener('input', () => { renaming.value = input.value; });
	input.addEventListener('keydown', (e) => {
		if (e.key === 'Escape') {
			e.preventDefault();
			e.stopPropagation();
			endRename(true);
		}
	});
	const ok = document.createElement('button');
	ok.type = 'submit';
	ok.className = 'button small primary';
	ok.textContent = 'Rename';
	const cancel = document.createElement('button');
	cancel.type = 'button';
	cancel.className = 'button small';
	cancel.textContent = 'Cancel';
	cancel.addEventListener('click', () => endRename(true));
	form.addEventListener('submit', (e) => {
		e.preventDefault();
		const name = input.value.trim();
		if (!name) {
			renaming.error = 'Type a name for the preset.';
			renaming.focused = false;
			renderList();
			return;
		}
		renaming.value = input.value;
		request({ type: 'tavik.renamePreset', id: preset.id, name }, 'rename', { id: preset.id, name });
		status('Renaming…');
	});
	const row = document.createElement('div');
	row.className = 'up-actions';
	row.append(input, ok, cancel);
	form.append(row, error);
	return form;
}

function startRename(preset) {
	renaming = { id: preset.id, value: null, error: '', focused: false };
	renderList();
}

function endRename(refocus) {
	const id = renaming && renaming.id;
	renaming = null;
	renderList();
	if (refocus && id) {
		const li = [...ui.list.children].find((x) => x.dataset.presetId === id);
		const b = li && li.querySelector('[data-action="rename"]');
		(b || ui.saveOpen).focus();
	}
}

function renameAnswered(m, message) {
	if (m.ok) {
		const newId = typeof m.id === 'string' ? m.id : null;
		renaming = null;
		renderList();
		say('ok', message, false);
		// Focus follows the preset to its new name once the list arrives.
		const li = newId && [...ui.list.children].find((x) => x.dataset.presetId === newId);
		if (li)
			li.querySelector('[data-action="rename"]')?.focus();
		else
			pendingFocus = newId;
		return;
	}
	if (renaming) {
		// Said beside the name being typed, where the musician looks.
		renaming.error = message;
		renaming.focused = false;
		status('');
		renderList();
		return;
	}
	say('warn', message, true);
}

function confirmDelete(preset) {
	deleting = preset;
	ui.confirmText.textContent = `“${preset.name}” is removed from your presets folder. This cannot be undone.`;
	document.getElementById('confirm-title').textContent = `Delete “${preset.name}”?`;
	ui.confirm.showModal();
	ui.confirmCancel.focus();
}

function setupConfirmDialog() {
	ui.confirmCancel.addEventListener('click', () => ui.confirm.close());
	ui.confirmOk.addEventListener('click', () => {
		const preset = deleting;
		ui.confirm.close();
		if (preset) {
			request({ type: 'tavik.deletePreset', id: preset.id }, 'delete', { id: preset.id });
			status('Deleting…');
		}
	});
	ui.confirm.addEventListener('close', () => {
		const preset = deleting;
		deleting = null;
		const li = preset && [...ui.list.children].find((x) => x.dataset.presetId === preset.id);
		const b = li && li.querySelector('[data-action="delete"]');
		(b || ui.saveOpen).focus();
	});
}

// ---- Messages to the musician -----------------------------------------

function status(text) {
	if (ui)
		ui.status.textContent = text;
}

let toastTimer = 0;

// A result goes to the drawer's status line when the drawer is open, and
// to a short notice under the preset bar otherwise. Problems stay until
// clicked away or replaced; successes fade.
function say(kind, text, sticky) {
	if (!ui)
		return;
	status(text);
	if (!ui.drawer.hidden)
		return;
	clearTimeout(toastTimer);
	ui.toast.textContent = text;
	ui.toast.className = `toast ${kind}`;
	ui.toast.hidden = false;
	if (!sticky)
		toastTimer = setTimeout(() => { ui.toast.hidden = true; }, 5000);
}

// ---- Drawing -----------------------------------------------------------

function render() {
	if (!ui)
		return;
	const current = shown.id ? shown : null;
	ui.name.textContent = current ? current.name : 'No preset';
	ui.name.classList.toggle('muted', !current);
	ui.prefix.textContent = current ? 'Preset: ' : '';
	ui.dirty.hidden = !(current && current.dirty);
	ui.prev.disabled = ui.next.disabled = loadable().length === 0;
	// The menu is kept built while closed, so what it offers is always there
	// to read; an open one is only re-marked, keeping the focus in place.
	if (ui.menu.hidden)
		buildMenu();
	else
		markCurrent();
	renderList();
	if (pendingFocus) {
		const li = [...ui.list.children].find((x) => x.dataset.presetId === pendingFocus);
		if (li) {
			li.querySelector('[data-action="rename"]')?.focus();
			pendingFocus = null;
		}
	}
}
