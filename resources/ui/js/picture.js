// The sound, drawn: the gong of the current model with the strike point on
// it, and beside it the modes as a spectrum (level against pitch) over
// their ring times. Redrawn whenever a value moves.
import { computeModes } from './gongmodel.js';
import { GONG_MODEL } from './tables.js';
import { BY_PATH, displayNumber } from './params.js';

const F_MIN = 40;
const F_MAX = 4000;
const DB_FLOOR = -48;

const C = {
	grid: 'rgba(236, 228, 212, 0.07)',
	gridText: 'rgba(236, 228, 212, 0.55)',
	brass: '#e0b86a',
	bronze: '#c08a45',
	ember: '#e9773c',
	text: '#ece4d4',
};

export class Picture {
	constructor(canvas, caption, values) {
		this.canvas = canvas;
		this.caption = caption;
		this.values = values;
		this.pending = false;
		new ResizeObserver(() => this.request()).observe(canvas);
		this.request();
	}

	request() {
		if (this.pending)
			return;
		this.pending = true;
		requestAnimationFrame(() => {
			this.pending = false;
			this.draw();
		});
	}

	draw() {
		const canvas = this.canvas;
		const dpr = window.devicePixelRatio || 1;
		const w = Math.max(1, canvas.clientWidth);
		const h = Math.max(1, canvas.clientHeight);
		if (canvas.width !== Math.round(w * dpr) || canvas.height !== Math.round(h * dpr)) {
			canvas.width = Math.round(w * dpr);
			canvas.height = Math.round(h * dpr);
		}
		const g = canvas.getContext('2d');
		g.setTransform(dpr, 0, 0, dpr, 0, 0);
		g.clearRect(0, 0, w, h);
		const sound = computeModes(this.values());
		// The gong takes a square on the left; the spectrum has the rest.
		const side = Math.min(h, w * 0.36);
		drawGong(g, side / 2, h / 2, side / 2 - 6, sound);
		drawSpectrum(g, side + 10, 6, w - side - 16, h - 12, sound);
		this.describe(sound);
	}

	describe(sound) {
		const longest = Math.max(...sound.modes.map((m) => m.t60));
		const top = sound.modes[sound.modes.length - 1].hz;
		const text = `${sound.recipe.name}: ${sound.modes.length} modes from ${fmtHz(sound.modes[0].hz)} to ${fmtHz(top)}, ` +
			`longest ring ${fmtSeconds(longest)}` + (sound.ombakSplit > 0 ? `, beating at ${significant(sound.ombakSplit)} Hz` : '');
		if (this.caption.textContent !== text)
			this.caption.textContent = text;
		this.canvas.setAttribute('aria-label', text);
	}
}

// Three significant digits of a derived figure (a mode's pitch, a ring
// time), written by the page's one number formatter.
function significant(x) {
	const places = x > 0 ? Math.max(0, 2 - Math.floor(Math.log10(x))) : 0;
	return displayNumber(x, places);
}

function fmtHz(hz) {
	return hz >= 1000 ? `${significant(hz / 1000)} kHz` : `${displayNumber(hz, 0)} Hz`;
}

function fmtSeconds(s) {
	return s >= 10 ? `${displayNumber(s, 0)} s` : `${significant(s)} s`;
}

function drawGong(g, cx, cy, maxR, sound) {
	// The smallest size shows as 55 % of the space, the largest fills it.
	const size = BY_PATH.get('ir.size');
	const r = maxR * (0.55 + 0.45 * (sound.size - size.min) / (size.max - size.min));
	const model = sound.model;
	g.save();
	// Soft halo: brighter and wider for long rings.
	const halo = g.createRadialGradient(cx, cy, r * 0.8, cx, cy, r * 1.12);
	halo.addColorStop(0, 'rgba(224, 160, 80, 0.18)');
	halo.addColorStop(1, 'rgba(224, 160, 80, 0)');
	g.fillStyle = halo;
	g.beginPath();
	g.arc(cx, cy, r * 1.12, 0, Math.PI * 2);
	g.fill();

	// The plate: darker bronze for the large, low gongs, brighter brass for
	// the small ones.
	const tints = [
		['#8a5a2b', '#3b2412'], ['#b98a4e', '#4d3419'], ['#a26b33', '#412713'],
		['#c99a55', '#5a3c1c'], ['#94632f', '#321d0c'], ['#b07a3c', '#43290f'],
	][model];
	const face = g.createRadialGradient(cx - r * 0.35, cy - r * 0.4, r * 0.05, cx, cy, r);
	face.addColorStop(0, tints[0]);
	face.addColorStop(1, tints[1]);
	g.fillStyle = face;
	g.beginPath();
	g.arc(cx, cy, r, 0, Math.PI * 2);
	g.fill();

	// Hammering: one faint ring per mode.
	g.strokeStyle = 'rgba(255, 220, 160, 0.09)';
	g.lineWidth = 1;
	const K = sound.modes.length;
	for (let i = 1; i <= K; ++i) {
		g.beginPath();
		g.arc(cx, cy, r * (0.18 + 0.78 * i / K), 0, Math.PI * 2);
		g.stroke();
	}

	// Rim (turned edge), heavier on the deep-rimmed models.
	const rimWidth = [0.05, 0.02, 0.1, 0.08, 0.12, 0.06][model] * r;
	g.lineWidth = Math.max(1.5, rimWidth);
	g.strokeStyle = 'rgba(20, 12, 6, 0.65)';
	g.beginPath();
	g.arc(cx, cy, r - g.lineWidth / 2, 0, Math.PI * 2);
	g.stroke();
	g.lineWidth = 1;
	g.strokeStyle = 'rgba(255, 214, 150, 0.35)';
	g.beginPath();
	g.arc(cx, cy, r - 0.5, Math.PI * 1.05, Math.PI * 1.6);
	g.stroke();

	// Centres: a boss on the gong ageng, a raised dome on the small
	// opera gong, a dark striking zone on the tam-tam.
	if (model === 4 || model === 3) {
		const br = r * (model === 4 ? 0.2 : 0.3);
		const boss = g.createRadialGradient(cx - br * 0.4, cy - br * 0.45, br * 0.1, cx, cy, br);
		boss.addColorStop(0, '#f0c47c');
		boss.addColorStop(0.6, '#9c6a32');
		boss.addColorStop(1, '#3a220e');
		g.fillStyle = boss;
		g.beginPath();
		g.arc(cx, cy, br, 0, Math.PI * 2);
		g.fill();
	} else if (model === 0 || model === 5) {
		g.fillStyle = 'rgba(15, 9, 4, 0.35)';
		g.beginPath();
		g.arc(cx, cy, r * 0.3, 0, Math.PI * 2);
		g.fill();
	}

	// The strike point: 0 is the centre, 1 the edge.
	const a = -Math.PI * 0.22;
	const d = sound.strikePosition * (r - Math.max(4, rimWidth));
	const sx = cx + d * Math.cos(a);
	const sy = cy + d * Math.sin(a);
	const glow = g.createRadialGradient(sx, sy, 0, sx, sy, r * 0.28);
	glow.addColorStop(0, 'rgba(255, 170, 90, 0.75)');
	glow.addColorStop(1, 'rgba(255, 140, 60, 0)');
	g.fillStyle = glow;
	g.beginPath();
	g.arc(sx, sy, r * 0.28, 0, Math.PI * 2);
	g.fill();
	g.fillStyle = '#fff2dc';
	g.beginPath();
	g.arc(sx, sy, Math.max(2.5, r * 0.045), 0, Math.PI * 2);
	g.fill();
	g.strokeStyle = 'rgba(255, 242, 220, 0.7)';
	g.lineWidth = 1.25;
	g.beginPath();
	g.arc(sx, sy, Math.max(5, r * 0.09), 0, Math.PI * 2);
	g.stroke();
	g.restore();
}

function xOf(hz, x0, w) {
	const t = Math.log(hz / F_MIN) / Math.log(F_MAX / F_MIN);
	return x0 + Math.min(1, Math.max(0, t)) * w;
}

function drawSpectrum(g, x0, y0, w, h, sound) {
	if (w < 40 || h < 40)
		return;
	g.save();
	const small = h < 150;
	const labelH = 14;
	const ringH = Math.max(18, Math.round(h * 0.24));
	const specH = h - ringH - labelH - 8;
	const specBottom = y0 + specH;
	const ringTop = specBottom + labelH + 6;
	g.font = `${small ? 9 : 10}px system-ui, sans-serif`;
	g.textBaseline = 'top';

	// Grid: octave-ish frequency lines and 12 dB level lines.
	g.strokeStyle = C.grid;
	g.fillStyle = C.gridText;
	g.lineWidth = 1;
	const ticks = small ? [100, 1000] : [50, 100, 200, 500, 1000, 2000];
	for (const f of ticks) {
		const x = Math.round(xOf(f, x0, w)) + 0.5;
		g.beginPath();
		g.moveTo(x, y0);
		g.lineTo(x, specBottom);
		g.stroke();
		const label = f >= 1000 ? `${f / 1000}k` : String(f);
		g.fillText(label, x + 3, specBottom + 3);
	}
	for (let db = 0; db >= DB_FLOOR; db -= 12) {
		const y = Math.round(y0 + (db / DB_FLOOR) * specH) + 0.5;
		g.beginPath();
		g.moveTo(x0, y);
		g.lineTo(x0 + w, y);
		g.stroke();
	}

	const maxGain = Math.max(...sound.modes.map((m) => m.gain), 1e-9);
	const yOfGain = (gain) => {
		const db = 20 * Math.log10(Math.max(gain / maxGain, 1e-6));
		return y0 + Math.min(1, db / DB_FLOOR) * specH;
	};

	// Each mode is a peak: narrow for long rings, broad for short ones. The
	// solid part is heard at once, the outline above it blooms in.
	const fill = g.createLinearGradient(0, y0, 0, specBottom);
	fill.addColorStop(0, 'rgba(240, 196, 110, 0.85)');
	fill.addColorStop(1, 'rgba(192, 120, 56, 0.05)');
	for (const m of sound.modes) {
		const x = xOf(m.hz, x0, w);
		const half = Math.max(3, Math.min(w * 0.04, 3.5 + 22 / (m.t60 + 0.4)));
		const direct = yOfGain(m.gain * (1 - m.bloom));
		const full = yOfGain(m.gain);
		peak(g, x, half, direct, specBottom);
		g.fillStyle = fill;
		g.fill();
		if (m.bloom > 0.02) {
			peak(g, x, half, full, specBottom);
			g.setLineDash([3, 3]);
			g.strokeStyle = 'rgba(255, 214, 150, 0.7)';
			g.lineWidth = 1;
			g.stroke();
			g.setLineDash([]);
		}
		g.strokeStyle = C.brass;
		g.lineWidth = 1.5;
		g.beginPath();
		g.moveTo(x, direct);
		g.lineTo(x, specBottom);
		g.stroke();
		if (m.split > 0) {
			// Ombak: the mode's two partials beat; drawn as a twin line.
			g.strokeStyle = 'rgba(233, 119, 60, 0.9)';
			g.beginPath();
			g.moveTo(x + 3, direct + 4);
			g.lineTo(x + 3, specBottom);
			g.stroke();
		}
	}

	// Ring time of every mode, on a log scale from 0.05 s to the longest a
	// voice rings.
	const tOf = (t) => Math.log(Math.max(t, 0.05) / 0.05) / Math.log(GONG_MODEL.maxTailSeconds / 0.05);
	g.fillStyle = 'rgba(236, 228, 212, 0.04)';
	g.fillRect(x0, ringTop, w, ringH);
	for (const m of sound.modes) {
		const x = xOf(m.hz, x0, w);
		const bh = Math.max(1, tOf(m.t60) * ringH);
		const bar = g.createLinearGradient(0, ringTop + ringH - bh, 0, ringTop + ringH);
		bar.addColorStop(0, C.ember);
		bar.addColorStop(1, 'rgba(233, 119, 60, 0.25)');
		g.fillStyle = bar;
		g.fillRect(Math.round(x - 2), ringTop + ringH - bh, 4, bh);
	}
	g.fillStyle = C.gridText;
	g.textBaseline = 'top';
	g.fillText('ring time', x0 + 4, ringTop + 2);
	g.textAlign = 'right';
	g.fillText('level', x0 + w - 4, y0 + 2);
	g.restore();
}

function peak(g, x, half, top, bottom) {
	g.beginPath();
	g.moveTo(x - half * 2.2, bottom);
	g.bezierCurveTo(x - half * 0.9, bottom, x - half * 0.35, top, x, top);
	g.bezierCurveTo(x + half * 0.35, top, x + half * 0.9, bottom, x + half * 2.2, bottom);
	g.closePath();
}
