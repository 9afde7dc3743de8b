// The page's one channel to the plug-in. "tavik.ready" always goes first;
// nothing else leaves before it. Incoming messages are routed by "type".

const listeners = new Map();
let readySent = false;
let host = null;

export function connected() {
	return host !== null;
}

export function on(type, handler) {
	if (!listeners.has(type))
		listeners.set(type, []);
	listeners.get(type).push(handler);
}

function dispatch(message) {
	if (!message || typeof message !== 'object' || typeof message.type !== 'string')
		return;
	for (const handler of listeners.get(message.type) || [])
		handler(message);
	for (const handler of listeners.get('*') || [])
		handler(message);
}

export function send(message) {
	if (!readySent)
		throw new Error(`bridge: ${message.type} before tavik.ready`);
	if (host)
		host.postMessage(message);
}

// Opens the channel: registers for the plug-in's messages and announces the
// page. Without a host (the page opened on its own) the editor still works
// as a preview, it just has no one to talk to.
export function start() {
	host = window.tavikHost || null;
	if (host) {
		const receive = (message) => {
			if (typeof message === 'string') {
				try {
					message = JSON.parse(message);
				} catch {
					return;
				}
			}
			dispatch(message);
		};
		// boot.js has usually announced the page already and kept what came
		// since; without it, announce now.
		if (window.tavikBoot) {
			window.tavikBoot.attach(receive);
		} else {
			host.onMessage(receive);
			host.postMessage({ type: 'tavik.ready' });
		}
	}
	readySent = true;
}

// A gesture on one parameter: begin, any number of values, end. The plug-in
// expects every value inside such a bracket so the host records one undo step.
export class Gesture {
	constructor(path) {
		this.path = path;
		this.open = false;
	}
	set(plain) {
		if (!this.open) {
			send({ type: 'tavik.beginEdit', path: this.path });
			this.open = true;
		}
		send({ type: 'tavik.setParam', path: this.path, value: plain });
	}
	end() {
		if (this.open)
			send({ type: 'tavik.endEdit', path: this.path });
		this.open = false;
	}
}

// A complete gesture for one discrete change (a key press, a wheel notch, a click).
export function editOnce(path, plain) {
	const g = new Gesture(path);
	g.set(plain);
	g.end();
}
