// The MIDI CC panel: which controller numbers move which parameters. Every
// edit sends the whole map; the plug-in answers with the map it adopted,
// which is what the panel then shows.
import { PARAMS, BY_PATH, SECTIONS } from './params.js';
import { send } from './bridge.js';

const CURVES = [['', 'Linear'], ['exp', 'Exponential'], ['log', 'Logarithmic'], ['s-curve', 'S-curve']];
let bindings = [];
let ui = null;
let confirmed = true;

export function mount(root) {
	ui = {
		list: root.querySelector('#cc-list'),
		empty: root.querySelector('#cc-empty'),
		add: root.querySelector('#cc-add'),
		status: root.querySelector('#cc-status'),
		count: document.querySelector('#cc-count'),
	};
	ui.add.addEventListener('click', () => {
		const used = new Set(bindings.map((b) => b.cc));
		let cc = 20;
		while (used.has(cc) && cc < 127)
			++cc;
		const mapped = new Set(bindings.map((b) => b.path));
		const target = PARAMS.find((p) => !mapped.has(p.path)) || PARAMS[0];
		bindings.push({ cc, path: target.path });
		commit();
		render();
		const rows = ui.list.querySelectorAll('.cc-row');
		const last = rows[rows.length - 1];
		if (last)
			last.querySelector('input').focus();
	});
	render();
}

// Keeps only the members the map document knows, in its own form.
function clean(b) {
	const out = { cc: b.cc, path: b.path };
	if (b.channel)
		out.channel = b.channel;
	if (typeof b.min === 'number')
		out.min = b.min;
	if (typeof b.max === 'number')
		out.max = b.max;
	if (b.curve)
		out.curve = b.curve;
	if (b.valueMode)
		out.valueMode = b.valueMode;
	if (b.takeover)
		out.takeover = b.takeover;
	if (b.enabled === false)
		out.enabled = false;
	return out;
}

export function document_() {
	return { version: 1, bindings: bindings.map(clean) };
}

function commit() {
	confirmed = false;
	send({ type: 'tavik.setCcMap', map: document_() });
	status();
}

// A map from the plug-in (the hello or a change report).
export function adopt(map) {
	const list = map && Array.isArray(map.bindings) ? map.bindings : Array.isArray(map) ? map : [];
	const incoming = list.filter((b) => b && typeof b.cc === 'number' && BY_PATH.has(b.path)).map(clean);
	const same = JSON.stringify(incoming) === JSON.stringify(bindings.map(clean));
	confirmed = true;
	// The rows edit the binding objects they were built with: keep them
	// when the plug-in confirms what the panel already shows.
	if (!same) {
		bindings = incoming;
		render();
	}
	status();
}

function status() {
	if (!ui)
		return;
	const n = bindings.length;
	ui.status.textContent = confirmed
		? (n === 0 ? 'No mappings yet.' : `${n} mapping${n === 1 ? '' : 's'} active in the plug-in.`)
		: 'Sending to the plug-in…';
	ui.count.textContent = n > 0 ? String(n) : '';
	ui.count.hidden = n === 0;
}

function option(value, text, selected) {
	const o = document.createElement('option');
	o.value = value;
	o.textContent = text;
	o.selected = selected;
	return o;
}

function render() {
	if (!ui)
		return;
	ui.list.textContent = '';
	ui.empty.hidden = bindings.length > 0;
	bindings.forEach((b, i) => {
		const row = document.createElement('li');
		row.className = 'cc-row';
		const n = i + 1;

		const cc = document.createElement('input');
		cc.type = 'number';
		cc.min = '0';
		cc.max = '127';
		cc.step = '1';
		cc.value = String(b.cc);
		cc.className = 'cc-number';
		cc.setAttribute('aria-label', `Mapping ${n}: controller number`);
		cc.addEventListener('change', () => {
			const v = Math.round(Number(cc.value));
			if (!Number.isFinite(v) || cc.value === '') {
				cc.value = String(b.cc);
				return;
			}
			b.cc = Math.min(127, Math.max(0, v));
			cc.value = String(b.cc);
			commit();
		});

		const target = document.createElement('select');
		target.className = 'cc-target';
		target.setAttribute('aria-label', `Mapping ${n}: parameter`);
		for (const section of SECTIONS) {
			const group = document.createElement('optgroup');
			group.label = section.title;
			for (const path of section.paths)
				group.append(option(path, BY_PATH.get(path).title, path === b.path));
			target.append(group);
		}
		target.addEventListener('change', () => {
			b.path = target.value;
			commit();
		});

		const channel = document.createElement('select');
		channel.className = 'cc-channel';
		channel.setAttribute('aria-label', `Mapping ${n}: MIDI channel`);
		channel.append(option('0', 'Any ch.', !b.channel));
		for (let c = 1; c <= 16; ++c)
			channel.append(option(String(c), `Ch. ${c}`, b.channel === c));
		channel.addEventListener('change', () => {
			b.channel = Number(channel.value) || undefined;
			commit();
		});

		const curve = document.createElement('select');
		curve.className = 'cc-curve';
		curve.setAttribute('aria-label', `Mapping ${n}: response curve`);
		for (const [value, text] of CURVES)
			curve.append(option(value, text, (b.curve || '') === value));
		curve.addEventListener('change', () => {
			b.curve = curve.value || undefined;
			commit();
		});

		const enabledLabel = document.createElement('label');
		enabledLabel.className = 'cc-enabled';
		const enabled = document.createElement('input');
		enabled.type = 'checkbox';
		enabled.checked = b.enabled !== false;
		enabled.setAttribute('aria-label', `Mapping ${n}: enabled`);
		enabled.addEventListener('change', () => {
			b.enabled = enabled.checked ? undefined : false;
			commit();
		});
		enabledLabel.append(enabled, document.createTextNode('On'));

		const remove = document.createElement('button');
		remove.type = 'button';
		remove.className = 'icon-button cc-remove';
		remove.setAttribute('aria-label', `Remove mapping ${n} (CC ${b.cc} to ${BY_PATH.get(b.path).title})`);
		remove.innerHTML = '<svg viewBox="0 0 16 16" aria-hidden="true"><path d="M4 4l8 8M12 4l-8 8"/></svg>';
		remove.addEventListener('click', () => {
			bindings.splice(i, 1);
			commit();
			render();
			(ui.list.querySelector('.cc-remove') || ui.add).focus();
		});

		const ccWrap = document.createElement('span');
		ccWrap.className = 'cc-prefix';
		ccWrap.textContent = 'CC';
		ccWrap.setAttribute('aria-hidden', 'true');
		const arrow = document.createElement('span');
		arrow.className = 'cc-arrow';
		arrow.setAttribute('aria-hidden', 'true');
		arrow.textContent = '→';
		row.append(ccWrap, cc, arrow, target, channel, curve, enabledLabel, remove);
		ui.list.append(row);
	});
	status();
}
