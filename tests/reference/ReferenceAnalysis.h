#pragma once
// The straightforward analysis: one virtual I() per pixel read, one atan2 per edge block, the
// column-by-column smoothing with scratch buffers, and a plain loop over Distance. The fast
// paths of the library must give exactly these results, bit for bit; the benchmarks report
// their speed as a ratio to these.
//
// Built as a separate library so that no caller can inline or devirtualise it.

#include <vector>

#include "analysis/GrayscaleImage.h"
#include "analysis/OrientationHistogram.h"
#include "analysis/RGBAImage.h"

namespace reference {

// The finished bins (counted, blurred, scaled) of the image's orientation histogram.
std::vector<float> HistogramBins(const Image& image, float contrastThreshold, int numBins);

// 5-tap binomial smoothing in place, horizontal then vertical.
void Smooth(GrayscaleImage& image);
void Smooth(RGBAImage& image);

// Blends other into image in place with the weight alpha (clamped to 0..1).
void Blend(GrayscaleImage& image, const GrayscaleImage& other, float alpha);
void Blend(RGBAImage& image, const RGBAImage& other, float alpha);

// Index of the first nearest histogram by probe.Distance, strictly smaller wins, or -1.
int Match(const OrientationHistogram& probe, const std::vector<OrientationHistogram*>& examples);

}  // namespace reference
