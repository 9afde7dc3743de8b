// The page's copy of the parameter values (plain units), and who to tell
// when one moves. Values change from the player's gestures (local) and from
// the plug-in's paramChanged messages (host).
import { PARAMS, BY_PATH, fromHost } from './params.js';

const values = new Map(PARAMS.map((p) => [p.path, p.def]));
const pathListeners = new Map();
const anyListeners = [];
// Controls the player is dragging right now: the plug-in's reports for them
// wait until the pointer lets go, so the knob does not jump under it. The
// newest waiting report is then shown, so the page ends up where the
// plug-in is.
const held = new Set();
const waiting = new Map();

export function get(path) {
	return values.get(path);
}

export function snapshot() {
	return new Map(values);
}

export function onPath(path, fn) {
	if (!pathListeners.has(path))
		pathListeners.set(path, []);
	pathListeners.get(path).push(fn);
}

export function onAny(fn) {
	anyListeners.push(fn);
}

function notify(path, origin) {
	for (const fn of pathListeners.get(path) || [])
		fn(values.get(path), origin);
	for (const fn of anyListeners)
		fn(path, origin);
}

export function setLocal(path, plain) {
	values.set(path, plain);
	notify(path, 'local');
}

// A value reported by the plug-in. Returns false when it was ignored
// because the player holds that control.
export function setFromHost(path, plain) {
	const p = BY_PATH.get(path);
	if (!p || typeof plain !== 'number' || !Number.isFinite(plain))
		return false;
	if (held.has(path)) {
		waiting.set(path, plain);
		return false;
	}
	values.set(path, fromHost(p, plain));
	notify(path, 'host');
	return true;
}

export function hold(path) {
	held.add(path);
	waiting.delete(path);
}

export function release(path) {
	held.delete(path);
	if (waiting.has(path)) {
		const plain = waiting.get(path);
		waiting.delete(path);
		setFromHost(path, plain);
	}
}
