// Sample banks, from a folder or downloaded. Zorv synthesises its sound, so
// the plug-in answers every load with a refusal; the panel passes on what
// it says in plain words.
import { send } from './bridge.js';

const ERRORS = {
	'bank-missing': (id) => `No bank could be read${id ? ` from “${id}”` : ''}.`,
	'bank-fetch-failed': (id) => `The bank could not be downloaded${id ? ` from ${id}` : ''}.`,
	'bank-hash-mismatch': () => 'The bank\'s contents do not match its checksum.',
	'bank-malformed': () => 'The bank\'s files are not in a form the plug-in can read.',
	'bank-unsupported-codec': () => 'The bank uses an audio format the plug-in cannot decode.',
	'bank-too-large': () => 'The audio engine did not take the bank.',
	'bank-instrument-unknown': (id) => `The bank has no instrument named “${id}”.`,
};

let ui = null;
let lastDiagnostic = null;
let awaiting = false;

export function mount(root) {
	ui = {
		pick: root.querySelector('#bank-pick'),
		folderForm: root.querySelector('#bank-folder-form'),
		folderPath: root.querySelector('#bank-folder-path'),
		hostedForm: root.querySelector('#bank-hosted-form'),
		url: root.querySelector('#bank-url'),
		sha: root.querySelector('#bank-sha'),
		result: root.querySelector('#bank-result'),
		current: root.querySelector('#bank-current'),
	};
	ui.pick.addEventListener('click', () => {
		awaiting = true;
		send({ type: 'tavik.pickFolder' });
		say('info', 'Asking the plug-in for a folder…');
	});
	ui.folderForm.addEventListener('submit', (e) => {
		e.preventDefault();
		const path = ui.folderPath.value.trim();
		if (!path) {
			say('warn', 'Type the path of a bank folder first.');
			ui.folderPath.focus();
			return;
		}
		request({ type: 'tavik.loadBank', source: 'user-folder', bankPath: path });
	});
	ui.hostedForm.addEventListener('submit', (e) => {
		e.preventDefault();
		const url = ui.url.value.trim();
		if (!/^https:\/\//i.test(url)) {
			say('warn', 'A hosted bank needs an address that starts with https://.');
			ui.url.focus();
			return;
		}
		request({ type: 'tavik.loadBank', source: 'hosted', url, sha256: ui.sha.value.trim() },
			'Downloading the bank…', 'A large bank can take a few minutes; Zorv keeps playing meanwhile.');
	});
}

function request(message, headline = 'Loading…', detail = undefined) {
	awaiting = true;
	lastDiagnostic = null;
	send(message);
	say('info', headline, detail);
}

export function refresh() {
	send({ type: 'tavik.getBankState' });
}

function say(kind, headline, detail) {
	if (!ui)
		return;
	ui.result.textContent = '';
	ui.result.className = `notice ${kind}`;
	const h = document.createElement('p');
	h.className = 'headline';
	h.textContent = headline;
	ui.result.append(h);
	if (detail) {
		const d = document.createElement('p');
		d.className = 'detail';
		d.textContent = detail;
		ui.result.append(d);
	}
	ui.result.hidden = false;
}

export function onFolderPicked(message) {
	awaiting = false;
	if (message.ok && message.path) {
		ui.folderPath.value = message.path;
		say('ok', 'Folder chosen.', message.path);
	} else if (message.cancelled) {
		say('info', 'No folder was chosen.');
	} else {
		say('warn', 'This plug-in can\'t open a folder picker here.',
			`${message.error ? `It says: “${message.error}”. ` : ''}You can type the folder's path in the Folder path field instead.`);
		ui.folderPath.focus();
	}
}

// The engine's own account of a refused load arrives just before the
// bank state; it is kept to explain the refusal.
export function onRuntimeDiagnostics(message) {
	const records = message.report && Array.isArray(message.report.diagnostics) ? message.report.diagnostics : [];
	const bank = records.filter((r) => typeof r.code === 'string' && r.code.startsWith('bank.'));
	if (bank.length)
		lastDiagnostic = bank[bank.length - 1].message;
}

export function onBankState(message) {
	if (!ui)
		return;
	const runtime = message.runtime;
	ui.current.textContent = runtime && runtime.source
		? `Loaded: ${runtime.instrument ? runtime.instrument.name : runtime.locator} (${runtime.source})`
		: 'No sample bank is loaded. Zorv plays its own synthesised gongs.';
	if (message.error && message.error.code) {
		const explain = ERRORS[message.error.code];
		const headline = explain ? explain(message.error.requestedId) : `The bank was not loaded (${message.error.code}).`;
		const parts = [];
		if (lastDiagnostic)
			parts.push(`The engine reports: ${lastDiagnostic}.`);
		parts.push('Zorv makes its sound by modal synthesis, so this build does not play sample banks; your gongs are unaffected.');
		say('warn', headline, parts.join(' '));
		lastDiagnostic = null;
	} else if (awaiting && message.reason === 'loadBank') {
		say('ok', 'Bank loaded.');
	}
	awaiting = false;
}
