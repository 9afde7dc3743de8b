// Compiled with -ffp-contract=off, like the kernel.
#include "gong_reference.h"

#include "gong_tables.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavik::test {

using namespace tavik::kernel;

double refFround (double x)
{
	volatile float f = static_cast<float> (x);
	return f;
}

namespace {

double clampv (double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }
double rateOf (const RefBank& b) { return b.sampleRate > 0 ? b.sampleRate : 48000; }

enum Setting
{
	INSTRUMENT,
	SIZE,
	DECAY_SCALE,
	DAMPING,
	WIDTH,
	POSITION,
	VEL_TONE,
	MALLET,
	NOISE,
	BLOOM_AMOUNT,
	BLOOM_TIME,
	GLIDE_AMOUNT,
	OMBAK_AMOUNT,
	OMBAK_RATE,
	AMP_DECAY,
	AMP_RELEASE,
	BASE_FREQ,
	MASTER,
	STIFFNESS,
	COUPLING,
	EDGE_LOSS,
	RADIATION,
	GLIDE_DEPTH,
	GLIDE_TIME
};

} // namespace

RefBank::RefBank (double rate) : sampleRate (rate)
{
	for (int v = 0; v < 8; ++v)
	{
		note[v] = -1;
		rampFrom[v] = rampLeft[v] = 0;
		active[v] = released[v] = serial[v] = velocity[v] = gain[v] = 0;
		hardness[v] = 0.5;
		normGain[v] = 1;
		modeCount[v] = age[v] = tailFrames[v] = fadeStart[v] = releaseFrames[v] = releaseStep[v] = 0;
		exciterRemaining[v] = exciterLength[v] = exciterPole[v] = noiseState[v] = 0;
		rngState[v] = 1;
		bloomLevel[v] = bloomCoef[v] = glideEnv[v] = glideCoef[v] = glideOffset[v] = 0;
	}
	for (int n = 0; n < 96; ++n)
	{
		directWeight[n] = 1;
		bloomWeight[n] = modeRadius[n] = lowHz[n] = highHz[n] = 0;
	}
	for (int p = 0; p < 192; ++p)
		partialGain[p] = coefCos[p] = coefSin[p] = stateRe[p] = stateIm[p] = 0;
}

double refHeardGain (const RefBank& b, int voice)
{
	const double ramp = std::max (std::floor (0.02 * rateOf (b)), 1.0);
	const double g = b.gain[voice];
	return b.rampLeft[voice] > 0 ? refFround (g + (b.rampFrom[voice] - g) * (b.rampLeft[voice] / ramp)) : g;
}

void refSetParam (RefBank& b, int index, double value)
{
	static const double lo[24] = {0, 0.5, 0.1,  0.05, 0,  0, 0,  0, 0, 0,  0.1, 0,
	                              0, 0,   0.05, 0.02, 55, 0, -1, 0, 0, -1, 0,   0.1};
	static const double hi[24] = {5, 2, 3, 4, 1, 1, 1, 3, 1, 1, 3, 1, 2, 8, 15, 4, 440, 1, 1, 1, 1, 1, 1, 2.5};
	if (index < 0 || index > 23)
		return;
	if (index == INSTRUMENT || index == MALLET)
		value = std::floor (value + 0.5);
	const double old = b.settings[index];
	b.settings[index] = clampv (value, lo[index], hi[index]);
	bool sounding = false;
	for (int v = 0; v < 8; ++v)
		sounding = sounding || b.note[v] >= 0;
	const double ramp = std::max (std::floor (0.02 * rateOf (b)), 1.0);
	if (index == MASTER && (b.level != b.settings[MASTER] || b.levelLeft != 0))
	{
		// A new level is reached over 20 ms while anything sounds.
		if (sounding)
		{
			b.levelFrom = b.level;
			b.levelLeft = ramp;
		}
		else
		{
			b.level = b.settings[MASTER];
			b.levelLeft = 0;
		}
	}
	if (index == AMP_DECAY && old != b.settings[AMP_DECAY] && !(old >= 12 && b.settings[AMP_DECAY] >= 12))
	{
		// Every voice that follows its envelope crossfades to the new one
		// over 20 ms, from the gain it is heard at.
		for (int v = 0; v < 8; ++v)
		{
			if (b.note[v] < 0 || b.releaseFrames[v] > 0)
				continue;
			b.rampFrom[v] = refHeardGain (b, v);
			b.rampLeft[v] = ramp;
		}
	}
}

void refStrike (RefBank& b, int voice, double note, double f, double vel)
{
	const double* S = b.settings;
	const int model = static_cast<int> (S[INSTRUMENT]);
	const int mallet = static_cast<int> (S[MALLET]);
	const int K = static_cast<int> (RECIPE_MODE_COUNTS[model]);
	const double rate = rateOf (b);
	const double ref = RECIPE_REFERENCE[model];
	const double size = S[SIZE];
	const double pitchDecay = std::pow (ref / f, 0.2);
	const double recipeDamp = RECIPE_DAMPING[model];
	const double B = (S[OMBAK_AMOUNT] > 0 && RECIPE_OMBAK[model] > 0) ? S[OMBAK_RATE] * S[OMBAK_AMOUNT] / size : 0;

	b.bloomLevel[voice] = 0;
	b.bloomCoef[voice] = refFround (1 - std::exp (-1 / (std::max ((1.6 - 0.8 * vel) * S[BLOOM_TIME], 0.0001) * rate)));
	const double drive = 1 + 0.65 * S[COUPLING] * vel;
	b.glideOffset[voice] =
		drive *
		(S[GLIDE_AMOUNT] * (RECIPE_GLIDE_DIR[model] * (RECIPE_GLIDE_DEPTH[model] * S[GLIDE_DEPTH])) * vel * vel);
	b.glideEnv[voice] = b.glideOffset[voice] == 0 ? 0 : 1;
	const double qrate = b.sampleRate / 128 > 0 ? b.sampleRate / 128 : 375;
	b.glideCoef[voice] = refFround (1 - std::exp (-1 / (std::max (S[GLIDE_TIME], 0.0001) * qrate)));
	const double g0 = b.glideEnv[voice];

	double sum = 0;
	for (int m = 0; m < 12; ++m)
	{
		const int n = voice * 12 + m, p0 = 2 * n, p1 = 2 * n + 1;
		if (m >= K)
		{
			b.partialGain[p0] = b.partialGain[p1] = b.stateRe[p0] = b.stateRe[p1] = 0;
			b.stateIm[p0] = b.stateIm[p1] = 0;
			b.directWeight[n] = 1;
			b.bloomWeight[n] = 0;
			b.modeRadius[n] = b.lowHz[n] = b.highHz[n] = 0;
			continue;
		}
		const double r = static_cast<double> (m) / (K - 1);
		const double s = K > 1 ? r : 0;
		const double stretch = S[STIFFNESS] == 0 ? 1 : 1 + s * (0.18 * S[STIFFNESS] * s);
		const double edge = S[EDGE_LOSS] == 0 ? 1 : 1 + (0.2 + 1.1 * s * s) * S[EDGE_LOSS];
		const int i = model * 12 + m;
		const double ratio = std::pow (RECIPE_MODE_FREQ[i] / ref, 1 + 0.06 * (1 - size));
		double loss = (1 / size) * (S[DAMPING] * (recipeDamp * (1 / S[DECAY_SCALE])));
		if (S[EDGE_LOSS] != 0)
			loss = loss * edge;
		const double radGain = S[RADIATION] == 0 ? 1 : clampv (1 + (2 * s - 1) * S[RADIATION] * 0.45, 0.5, 1.5);
		const double k = m + 1;
		const double shape = m % 2 == 0 ? std::cos (((k + 1) * 0.5 - 0.5) * 3.141592653589793 * S[POSITION])
		                                : std::sin (k * 0.5 * 3.141592653589793 * S[POSITION]);
		const double tone = (m == 0 || S[VEL_TONE] <= 0) ? 1 : std::pow (std::max (vel, 0.001), 2 * S[VEL_TONE] * s);
		const double soft = (m <= 0 || K <= 1) ? 1 : std::pow (1 - 0.75 * MALLET_SOFTNESS[mallet], r);
		double o = 0;
		if (m > 0)
		{
			const double x = drive * (S[BLOOM_AMOUNT] * MALLET_BLOOM[mallet] * vel * vel);
			o = (x <= 0 || K <= 1) ? 0 : x * std::pow (r, 1.5) * 0.85;
		}
		b.bloomWeight[n] = refFround (o);
		b.directWeight[n] = refFround (1 - o);
		const double hz = stretch * ratio * f;
		b.lowHz[n] = B > 0 ? hz - 0.5 * B : hz;
		b.highHz[n] = B > 0 ? hz + 0.5 * B : hz;
		const double decay = pitchDecay * RECIPE_MODE_DECAY[i] * loss;
		b.modeRadius[n] = std::min (refFround (std::exp (-std::max (decay, 0.0) / rate)), 0.99999994);
		const double radius = b.modeRadius[n];
		const double w = 1 + g0 * b.glideOffset[voice] * (1 / k);
		const double t0 = refFround (w * b.lowHz[n] * 6.283185307179586 / rate);
		b.coefCos[p0] = refFround (radius * std::cos (t0));
		b.coefSin[p0] = refFround (radius * std::sin (t0));
		const double t1 = refFround (w * b.highHz[n] * 6.283185307179586 / rate);
		b.coefCos[p1] = refFround (radius * std::cos (t1));
		b.coefSin[p1] = refFround (radius * std::sin (t1));
		const double amp =
			radGain * refFround (std::min (1000 / std::max (hz, std::numeric_limits<double>::denorm_min ()), 1.0) *
		                         RECIPE_MODE_AMP[i]);
		const double g = refFround (soft * refFround (amp * (0.02 + 0.98 * std::fabs (shape)) * tone));
		if (B <= 0 && S[WIDTH] > 0)
		{
			const double d = m % 2 == 0 ? 0.5 * S[WIDTH] : -0.5 * S[WIDTH];
			b.partialGain[p0] = refFround ((1 + d) * g);
			b.partialGain[p1] = refFround ((1 - d) * g);
		}
		else
			b.partialGain[p0] = b.partialGain[p1] = g;
		b.stateRe[p0] = b.stateIm[p0] = b.stateRe[p1] = b.stateIm[p1] = 0;
		sum = sum + amp;
	}
	b.normGain[voice] = sum > 0.0001 ? refFround (0.95 / sum) : 0;
	b.modeCount[voice] = K;
	b.note[voice] = note;
	b.active[voice] = 1;
	b.released[voice] = 0;
	b.velocity[voice] = vel;
	const double h = clampv (MALLET_HARDNESS[mallet] + (vel - 0.7) * S[VEL_TONE] * 0.6, 0, 1);
	b.hardness[voice] = h;
	const double pitchFactor =
		clampv (std::pow (std::max (0.001, f / std::max (1.0, S[BASE_FREQ])), 0.25 + 0.35 * (1 - h)), 0.4, 1);
	b.gain[voice] = refFround (0.18 * refFround (vel * vel) * pitchFactor);
	b.releaseFrames[voice] = b.releaseStep[voice] = b.age[voice] = 0;
	b.strikeCount = b.strikeCount + 1;
	b.serial[voice] = b.strikeCount;
	double t = (0.014 - 0.0115 * h) * clampv (S[BASE_FREQ] / std::max (1.0, f), 0.12, 2);
	t = clampv (t, 0.0015, 0.014);
	const double frames = std::min (std::max (std::floor (t * b.sampleRate), 8.0), 1344.0);
	b.exciterLength[voice] = b.exciterRemaining[voice] = frames;
	b.noiseState[voice] = 0;
	b.exciterPole[voice] = refFround (std::exp (-(800 + 11200 * h) * 6.283185307179586 / rate));
	const double x = std::fmod (voice * 2654435761.0 + note * 40503.0 + b.strikeCount * 2246822519.0, 4294967296.0);
	b.rngState[voice] = x == 0 ? 2463534242.0 : x;
	double life = std::min (RECIPE_TAIL_SECONDS[model], 15.0);
	if (S[AMP_DECAY] < 12)
		life = std::min (life, S[AMP_DECAY] + 0.05);
	b.tailFrames[voice] = std::floor (life * b.sampleRate);
	b.fadeStart[voice] = std::max (b.tailFrames[voice] - std::floor (0.05 * b.sampleRate), 1.0);
}

void refGlideQuantum (RefBank& b, int voice)
{
	if (b.note[voice] < 0 || b.glideOffset[voice] == 0 ||
	    std::fabs (b.glideOffset[voice] * b.glideEnv[voice]) <= 0.000001)
		return;
	b.glideEnv[voice] = refFround (b.glideEnv[voice] - b.glideEnv[voice] * b.glideCoef[voice]);
	const double rate = rateOf (b);
	for (int m = 0; m < 12 && m < b.modeCount[voice]; ++m)
	{
		const int n = voice * 12 + m;
		const double w = 1 + (1.0 / (m + 1)) * b.glideOffset[voice] * b.glideEnv[voice];
		const double t0 = refFround (w * b.lowHz[n] * 6.283185307179586 / rate);
		b.coefCos[2 * n] = refFround (b.modeRadius[n] * std::cos (t0));
		b.coefSin[2 * n] = refFround (b.modeRadius[n] * std::sin (t0));
		const double t1 = refFround (w * b.highHz[n] * 6.283185307179586 / rate);
		b.coefCos[2 * n + 1] = refFround (b.modeRadius[n] * std::cos (t1));
		b.coefSin[2 * n + 1] = refFround (b.modeRadius[n] * std::sin (t1));
	}
}

void refReleaseVoice (RefBank& b, int voice, double seconds)
{
	if (b.note[voice] < 0)
		return;
	b.released[voice] = 1;
	b.active[voice] = 0;
	if (b.rampLeft[voice] > 0)
	{
		b.gain[voice] = refHeardGain (b, voice);
		b.rampLeft[voice] = 0;
	}
	const double L = std::max (std::floor (std::max (0.005, seconds) * b.sampleRate), 1.0);
	b.releaseFrames[voice] = L;
	b.releaseStep[voice] = refFround (b.gain[voice] / L);
	if (b.tailFrames[voice] > b.age[voice] + L)
		b.tailFrames[voice] = b.age[voice] + L;
}

void refFreeVoice (RefBank& b, int voice)
{
	b.note[voice] = -1;
	b.active[voice] = b.released[voice] = b.gain[voice] = b.releaseFrames[voice] = 0;
	b.exciterRemaining[voice] = b.normGain[voice] = b.bloomLevel[voice] = b.glideEnv[voice] = b.glideOffset[voice] = 0;
	b.rampLeft[voice] = 0;
	for (int m = 0; m < 12; ++m)
		for (int p = 2 * (voice * 12 + m); p <= 2 * (voice * 12 + m) + 1; ++p)
			b.stateRe[p] = b.stateIm[p] = b.partialGain[p] = 0;
}

void refRenderVoiceFrame (RefBank& b, int voice, double mix[2])
{
	if (b.note[voice] < 0)
		return;
	const double* S = b.settings;
	double e = 0;
	if (b.exciterRemaining[voice] > 0)
	{
		const double L = b.exciterLength[voice], t = b.exciterRemaining[voice], h = b.hardness[voice];
		uint32_t z = static_cast<uint32_t> (b.rngState[voice]);
		z = z ^ (z << 13);
		z = z ^ (z >> 17);
		z = z ^ (z << 5);
		b.rngState[voice] = z;
		const double c = b.exciterPole[voice];
		b.noiseState[voice] = refFround (refFround (b.noiseState[voice] * c) +
		                                 refFround ((1 - c) * refFround (z * std::ldexp (1.0, -31) - 1)));
		const double k = L - t;
		double pulse = 0;
		if (0 <= k && k < L && L > 0)
		{
			const double hh = clampv (h, 0, 1);
			pulse = refFround (std::pow (std::sin (((k + 0.5) / L) * 3.141592653589793), 1.15 + 2.35 * hh) /
			                   (L * (0.59 - 0.19 * hh)));
		}
		double ng = 0;
		if (L > 0)
			ng = refFround ((0.04 + 0.18 * clampv (h, 0, 1)) * clampv (S[NOISE], 0, 1) / std::sqrt (L));
		b.exciterRemaining[voice] = t - 1;
		e = refFround (pulse * (1 + 4 * ((1 - h) * (1 - h))) * 7) + refFround (ng * b.noiseState[voice]);
	}
	b.bloomLevel[voice] = refFround (b.bloomLevel[voice] + (1 - b.bloomLevel[voice]) * b.bloomCoef[voice]);

	double left = 0, right = 0;
	for (int m = 0; m < b.modeCount[voice]; ++m)
	{
		const int n = voice * 12 + m;
		const double weight = b.directWeight[n] + b.bloomWeight[n] * b.bloomLevel[voice];
		for (int side = 0; side < 2; ++side)
		{
			const int p = 2 * n + side;
			const double x = refFround (e + b.stateRe[p]);
			const double y = b.stateIm[p];
			b.stateRe[p] = refFround (refFround (b.coefCos[p] * x) - refFround (y * b.coefSin[p]));
			b.stateIm[p] = refFround (refFround (y * b.coefCos[p]) + refFround (b.coefSin[p] * x));
			const double term = refFround (weight * refFround (b.stateIm[p] * b.partialGain[p]));
			if (side == 0)
				left = refFround (left + term);
			else
				right = refFround (right + term);
		}
	}

	double g = b.gain[voice];
	if (b.releaseFrames[voice] > 0)
	{
		g = std::max (refFround (g - b.releaseStep[voice]), 0.0);
		b.releaseFrames[voice] = b.releaseFrames[voice] - 1;
	}
	else if (S[AMP_DECAY] < 12)
	{
		const double R = b.age[voice] / (S[AMP_DECAY] * b.sampleRate);
		if (R >= 1)
			g = 0;
		else
		{
			double env = R < 0.8 ? std::exp (-6.9078 * R) : std::exp (-5.5262400000000005);
			env = env * 0.18 * refFround (b.velocity[voice] * b.velocity[voice]);
			if (R > 0.8)
				env = env * ((R - 0.8) / -0.19999999999999996 + 1);
			g = refFround (env);
		}
	}
	b.gain[voice] = g;
	if (b.rampLeft[voice] > 0)
		b.rampLeft[voice] = b.rampLeft[voice] - 1;
	const double vg = refFround (refHeardGain (b, voice) * b.normGain[voice]);
	mix[0] = refFround (mix[0] + refFround (left * vg));
	mix[1] = refFround (mix[1] + refFround (right * vg));

	b.age[voice] = b.age[voice] + 1;
	if (b.age[voice] >= b.tailFrames[voice])
		refFreeVoice (b, voice);
	else if (b.releaseFrames[voice] == 0 && b.released[voice] == 1 && g <= 0)
		refFreeVoice (b, voice);
	else if (b.releaseFrames[voice] == 0 && b.age[voice] >= b.fadeStart[voice])
		refReleaseVoice (b, voice, 0.05);
}

RefInstrument::RefInstrument (double sampleRate) : bank (static_cast<double> (static_cast<float> (sampleRate))) {}

void RefInstrument::pushEvent (int kind, int frame, int a, double value)
{
	queue.push_back ({kind, frame, a, static_cast<float> (value)});
}

void RefInstrument::applyParameter (int index, double value)
{
	if (index == 24)
		fixedVelocity = value >= 0.5 ? 1 : 0;
	else if (index == 25)
		performanceVelocity = clampv (value, 0, 1);
	else
		refSetParam (bank, index, value);
}

void RefInstrument::handleEvent (int kind, double note, double value)
{
	if (kind == 3)
	{
		for (int v = 0; v < 6; ++v)
			if (bank.note[v] == note && bank.active[v] == 1)
				refReleaseVoice (bank, v, bank.settings[AMP_RELEASE]);
		return;
	}
	const double velocity = fixedVelocity == 1 ? performanceVelocity : value;
	const double frequency = bank.settings[BASE_FREQ] * std::pow (2.0, (note - 45) / 12);
	for (int v = 0; v < 6; ++v)
		if (bank.note[v] == note && bank.active[v] == 1)
			refReleaseVoice (bank, v, bank.settings[AMP_RELEASE]);
	int voice = -1;
	for (int v = 0; v < 6 && voice < 0; ++v)
		if (bank.note[v] < 0)
			voice = v;
	if (voice < 0)
	{
		voice = 0;
		for (int v = 1; v < 6; ++v)
			if (bank.serial[v] < bank.serial[voice])
				voice = v;
		// The stolen voice sounds on in voice 6 or 7 (a free one, else the
		// one nearer the end of its fade) and fades out over 10 ms.
		int fade = bank.note[6] < 0 ? 6 : bank.note[7] < 0 ? 7 : bank.releaseFrames[7] < bank.releaseFrames[6] ? 7 : 6;
		RefBank& b = bank;
		for (double* field :
		     {b.note,          b.active,      b.released,         b.serial,        b.velocity,    b.hardness,
		      b.gain,          b.normGain,    b.modeCount,        b.age,           b.tailFrames,  b.fadeStart,
		      b.releaseFrames, b.releaseStep, b.exciterRemaining, b.exciterLength, b.exciterPole, b.noiseState,
		      b.rngState,      b.bloomLevel,  b.bloomCoef,        b.glideEnv,      b.glideCoef,   b.glideOffset,
		      b.rampFrom,      b.rampLeft})
			field[fade] = field[voice];
		for (int m = 0; m < 12; ++m)
		{
			const int from = voice * 12 + m, to = fade * 12 + m;
			for (double* field : {b.directWeight, b.bloomWeight, b.modeRadius, b.lowHz, b.highHz})
				field[to] = field[from];
			for (int side = 0; side < 2; ++side)
				for (double* field : {b.partialGain, b.coefCos, b.coefSin, b.stateRe, b.stateIm})
					field[2 * to + side] = field[2 * from + side];
		}
		refReleaseVoice (bank, fade, 0.01);
		refFreeVoice (bank, voice);
	}
	refStrike (bank, voice, note, frequency, clampv (velocity, 0, 1));
}

void RefInstrument::renderFrame (float& left, float& right)
{
	if (quantumPosition == 0)
		for (int v = 0; v < 8; ++v)
			refGlideQuantum (bank, v);
	double mix[2] = {0, 0};
	for (int v = 0; v < 8; ++v)
		refRenderVoiceFrame (bank, v, mix);
	if (bank.levelLeft > 0)
	{
		bank.levelLeft = bank.levelLeft - 1;
		const double ramp = std::max (std::floor (0.02 * rateOf (bank)), 1.0);
		const double target = bank.settings[MASTER];
		bank.level = bank.levelLeft == 0 ? target : target + (bank.levelFrom - target) * (bank.levelLeft / ramp);
	}
	left = static_cast<float> (mix[0] * bank.level);
	right = static_cast<float> (mix[1] * bank.level);
	quantumPosition = quantumPosition + 1 == 128 ? 0 : quantumPosition + 1;
}

void RefInstrument::processBlock (int frames, float* left, float* right)
{
	for (int i = 0; i < frames; ++i)
	{
		for (const Event& e : queue)
			if (e.frame == i && e.kind == 1)
				applyParameter (e.a, e.value);
		for (const Event& e : queue)
			if (e.frame == i && e.kind != 1)
				handleEvent (e.kind, e.a, e.value);
		renderFrame (left[i], right[i]);
	}
	queue.clear ();
}

} // namespace tavik::test
