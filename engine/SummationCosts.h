#pragma once

// What each way of summing a spectrum is predicted to cost, in nanoseconds on
// the 2-core test machine, fitted to benchmark timings of each method alone.
// The synthesis compares these predictions to choose a method, so only their
// ratios matter; they decide speed, never the result.
namespace ravelle::costs {

// Lines merged by position, summed near each point: setting up, merging each
// distinct position, each term summed, each point.
inline constexpr double kMergedSetUp = 3300.0;
inline constexpr double kMergedPerPosition = 20.0;
inline constexpr double kMergedPerTerm = 4.5;
inline constexpr double kMergedPerPoint = 7.0;

// A Fourier sum through one transform: setting up; each frequency, and each
// factor of the stick spectrum's transform at a frequency (a group of n
// equivalent nuclei counts 1 + (n - 1) kRepeatedFactor factors: its repeats
// reuse one cosine), more with tight error bounds; each transform of n
// points costs n (kTransformPerPoint + kTransformPerHalving log2 n).
inline constexpr double kFourierSetUp = 5000.0;
inline constexpr double kFourierPerFrequency = 3.0;
inline constexpr double kFourierPerFactorTight = 1.0;
inline constexpr double kFourierPerFactorCrude = 0.6;
inline constexpr double kRepeatedFactor = 0.5;
inline constexpr double kTransformPerPoint = 0.6;
inline constexpr double kTransformPerHalving = 0.25;

// The Fourier series summed term by term: each point, and each frequency at
// a point, more when the majorant is summed too.
inline constexpr double kSeriesPerPoint = 1500.0;
inline constexpr double kSeriesPerTerm = 1.4;
inline constexpr double kSeriesPerTermWithMajorant = 2.4;

// A merged sum this cheap replaces a Fourier sum whose error bound falls
// short of the accuracy goal.
inline constexpr double kCarefulBudget = 400e3;

} // namespace ravelle::costs
