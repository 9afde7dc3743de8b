// Strike excitation: everything a freshly struck voice needs, computed from
// the settings, the model's recipe, the mallet, the note and the velocity.

#include "fround.h"
#include "gong_voice_bank.h"
#include "model_math.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavik::kernel {

namespace {

// Table index of a setting that should hold 0..count-1; anything else
// (only reachable by bypassing the instrument module's checks) reads row 0.
int tableIndex (double v, int count) { return v >= 0 && v < count ? static_cast<int> (v) : 0; }

// ToUint32 of an integral double: the value modulo 2^32.
double toUint32 (double x)
{
	if (!std::isfinite (x))
		return 0;
	double r = std::fmod (std::trunc (x), 4294967296.0);
	if (r < 0)
		r += 4294967296.0;
	return r;
}

} // namespace

void gongStrike (GongVoiceBank& bank, int voice, double note, double frequency, double velocity)
{
	if (voice < 0 || voice >= MAX_VOICES)
		return;
	const int model = tableIndex (bank.instrument, RECIPE_COUNT);
	const int mallet = tableIndex (bank.mallet, MALLET_COUNT);
	const double f = frequency;
	const double vel = velocity;
	const int K = static_cast<int> (RECIPE_MODE_COUNTS[model]);
	const double rate = bankRate (bank);

	// 1. Recipe reference values.
	const double ref = RECIPE_REFERENCE[model];
	const double size = bank.size;
	const double pitchDecay = std::pow (ref / f, 0.2);
	const double recipeDamp = RECIPE_DAMPING[model];

	// 2. Ombak split.
	double B = 0;
	if (bank.ombakAmount > 0 && RECIPE_OMBAK[model] > 0)
		B = bank.ombakRate * bank.ombakAmount / size;

	// 3. Bloom envelope: harder hits bloom faster.
	bank.bloomLevel[voice] = 0;
	bank.bloomCoef[voice] = fround (1 - std::exp (-1 / (std::max ((1.6 - 0.8 * vel) * bank.bloomTime, 0.0001) * rate)));

	// 4. Glide.
	const double drive = 1 + 0.65 * bank.coupling * vel;
	bank.glideOffset[voice] =
		drive *
		(bank.glideAmount * (RECIPE_GLIDE_DIR[model] * (RECIPE_GLIDE_DEPTH[model] * bank.glideDepth)) * vel * vel);
	bank.glideEnv[voice] = bank.glideOffset[voice] == 0 ? 0 : 1;
	const double qrate = bank.sampleRate / 128 > 0 ? bank.sampleRate / 128 : 375;
	bank.glideCoef[voice] = fround (1 - std::exp (-1 / (std::max (bank.glideTime, 0.0001) * qrate)));
	const double g0 = bank.glideEnv[voice];

	// 5. Modes.
	double sum = 0;
	for (int m = 0; m < MAX_MODES; ++m)
	{
		const int n = modeIndex (voice, m);
		const int lane0 = laneOf (voice, 0);
		const int lane1 = laneOf (voice, 1);
		if (m >= K)
		{
			for (const int lane : {lane0, lane1})
			{
				bank.partialGain[m][lane] = 0;
				bank.stateRe[m][lane] = 0;
				bank.stateIm[m][lane] = 0;
				// Unused slots also get zero coefficients, so that rendering
				// them as vector lanes leaves their state at rest.
				bank.coefCos[m][lane] = 0;
				bank.coefSin[m][lane] = 0;
				bank.directWeight[m][lane] = 1;
				bank.bloomWeight[m][lane] = 0;
			}
			bank.modeRadius[n] = 0;
			bank.lowHz[n] = 0;
			bank.highHz[n] = 0;
			continue;
		}
		const double r = static_cast<double> (m) / (K - 1);
		const double s = K > 1 ? r : 0;
		const double stretch = bank.stiffness == 0 ? 1 : 1 + s * (0.18 * bank.stiffness * s);
		const double edge = bank.edgeLoss == 0 ? 1 : 1 + (0.2 + 1.1 * s * s) * bank.edgeLoss;
		const int i = model * MAX_MODES + m;
		const double ratio = std::pow (RECIPE_MODE_FREQ[i] / ref, 1 + 0.06 * (1 - size));
		double loss = (1 / size) * (bank.damping * (recipeDamp * (1 / bank.decayScale)));
		if (bank.edgeLoss != 0)
			loss = loss * edge;
		const double radGain = bank.radiation == 0 ? 1 : clampValue (1 + (2 * s - 1) * bank.radiation * 0.45, 0.5, 1.5);

		const double k = m + 1;
		const double shape = (m % 2 == 0) ? std::cos (((k + 1) * 0.5 - 0.5) * PI * bank.strikePosition)
		                                  : std::sin (k * 0.5 * PI * bank.strikePosition);
		const double tone = (m == 0 || bank.velTone <= 0) ? 1 : std::pow (std::max (vel, 0.001), 2 * bank.velTone * s);
		const double soft = (m <= 0 || K <= 1) ? 1 : std::pow (1 - 0.75 * MALLET_SOFTNESS[mallet], r);

		double o = 0;
		if (m > 0)
		{
			const double x = drive * (bank.bloomAmount * MALLET_BLOOM[mallet] * vel * vel);
			o = (x <= 0 || K <= 1) ? 0 : x * std::pow (r, 1.5) * BLOOM_MAX_FRACTION;
		}
		const double bloomWeight = fround (o);
		const double directWeight = fround (1 - o);

		const double hz = stretch * ratio * f;
		if (B > 0)
		{
			bank.lowHz[n] = hz - 0.5 * B;
			bank.highHz[n] = hz + 0.5 * B;
		}
		else
		{
			bank.lowHz[n] = hz;
			bank.highHz[n] = hz;
		}

		const double decay = pitchDecay * RECIPE_MODE_DECAY[i] * loss;
		const double radius = std::min (fround (std::exp (-std::max (decay, 0.0) / rate)), MAX_MODE_RADIUS);
		bank.modeRadius[n] = radius;

		const double w = 1 + g0 * bank.glideOffset[voice] * (1 / k);
		const double theta0 = fround (w * bank.lowHz[n] * TWO_PI / rate);
		const double theta1 = fround (w * bank.highHz[n] * TWO_PI / rate);
		bank.coefCos[m][lane0] = static_cast<float> (fround (radius * std::cos (theta0)));
		bank.coefSin[m][lane0] = static_cast<float> (fround (radius * std::sin (theta0)));
		bank.coefCos[m][lane1] = static_cast<float> (fround (radius * std::cos (theta1)));
		bank.coefSin[m][lane1] = static_cast<float> (fround (radius * std::sin (theta1)));

		const double amp =
			radGain * fround (std::min (1000 / std::max (hz, std::numeric_limits<double>::denorm_min ()), 1.0) *
		                      RECIPE_MODE_AMP[i]);
		const double g = fround (soft * fround (amp * (STRIKE_SHAPE_FLOOR + 0.98 * std::fabs (shape)) * tone));

		if (B <= 0 && bank.stereoWidth > 0)
		{
			const double d = (m % 2 == 0) ? 0.5 * bank.stereoWidth : -0.5 * bank.stereoWidth;
			bank.partialGain[m][lane0] = static_cast<float> (fround ((1 + d) * g));
			bank.partialGain[m][lane1] = static_cast<float> (fround ((1 - d) * g));
		}
		else
		{
			bank.partialGain[m][lane0] = static_cast<float> (g);
			bank.partialGain[m][lane1] = static_cast<float> (g);
		}
		for (const int lane : {lane0, lane1})
		{
			bank.stateRe[m][lane] = 0;
			bank.stateIm[m][lane] = 0;
			bank.directWeight[m][lane] = directWeight;
			bank.bloomWeight[m][lane] = bloomWeight;
		}
		sum = sum + amp;
	}

	// 6. Normalisation of the mode sum.
	bank.normGain[voice] = sum > 0.0001 ? fround (0.95 / sum) : 0;

	// 7. Identity.
	bank.modeCount[voice] = K;
	bank.note[voice] = note;
	bank.active[voice] = 1;
	bank.released[voice] = 0;
	bank.velocity[voice] = vel;

	// 8. Effective hardness.
	const double h = clampValue (MALLET_HARDNESS[mallet] + (vel - 0.7) * bank.velTone * 0.6, 0, 1);
	bank.hardness[voice] = h;

	// 9. Strike gain.
	const double pitchFactor =
		clampValue (std::pow (std::max (0.001, f / std::max (1.0, bank.baseFreq)), 0.25 + 0.35 * (1 - h)), 0.4, 1);
	bank.gain[voice] = fround (STRIKE_HEADROOM * fround (vel * vel) * pitchFactor);

	// 10.-11. Fresh envelope and age order.
	bank.releaseFrames[voice] = 0;
	bank.releaseStep[voice] = 0;
	bank.age[voice] = 0;
	bank.strikeCount = bank.strikeCount + 1;
	bank.serial[voice] = bank.strikeCount;

	// 12. Exciter length (the stored rate, without the 48000 substitute).
	double t = (0.014 - 0.0115 * h) * clampValue (bank.baseFreq / std::max (1.0, f), 0.12, 2);
	t = clampValue (t, 0.0015, 0.014);
	double frames = std::floor (t * bank.sampleRate);
	frames = std::min (std::max (frames, 8.0), MAX_EXCITER_FRAMES);
	bank.exciterLength[voice] = frames;
	bank.exciterRemaining[voice] = frames;
	bank.noiseState[voice] = 0;

	// 13. Noise low-pass, 800 Hz (soft) to 12000 Hz (hard).
	bank.exciterPole[voice] = fround (std::exp (-(800 + 11200 * h) * TWO_PI / rate));

	// 14. Noise seed.
	const double seed = toUint32 (voice * 2654435761.0 + note * 40503.0 + bank.strikeCount * 2246822519.0);
	bank.rngState[voice] = seed == 0 ? 2463534242.0 : seed;

	// 15. Voice life.
	double life = std::min (RECIPE_TAIL_SECONDS[model], MAX_TAIL_SECONDS);
	if (bank.ampDecay < DECAY_OPEN)
		life = std::min (life, bank.ampDecay + 0.05);
	bank.tailFrames[voice] = std::floor (life * bank.sampleRate);
	bank.fadeStart[voice] = std::max (bank.tailFrames[voice] - std::floor (0.05 * bank.sampleRate), 1.0);
}

} // namespace tavik::kernel
