#include "tests/tonecast/sinc_reference.h"

#include "src/tonecast/sine.h"

namespace test {

double literal_sum(const std::vector<std::int16_t>& source, std::uint32_t loopstart, double x) {
    const double pi = 3.141592653589793;
    const auto length = static_cast<std::int64_t>(source.size());
    const std::int64_t looplen = length - loopstart;
    const std::int64_t i0 = static_cast<std::int64_t>(x) - 99;
    const double s0 = sine(pi * (static_cast<double>(i0) - x));
    double acc = 0;
    for (int k = 0; k < 200; ++k) {
        std::int64_t i = i0 + k;
        double v = 0;
        if (i >= 0) {
            while (i >= length) i -= looplen;
            v = source[static_cast<std::size_t>(i)];
        }
        const double t = pi * (static_cast<double>(i0 + k) - x);
        double term = 0;
        if (t == 0) {
            term = v;
        } else {
            const double sigma = k % 2 == 0 ? 1.0 : -1.0;
            const double q = sigma / t;
            term = v * q;
            term = term * s0;
        }
        acc += term;
    }
    return acc;
}

std::int16_t literal_round(double acc) {
    if (acc >= 0) {
        double r = acc + 0.5;
        if (r > 32767) r = 32767;
        return static_cast<std::int16_t>(static_cast<int>(r));
    }
    double r = -acc + 0.5;
    if (r > 32768) r = 32768;
    return static_cast<std::int16_t>(-static_cast<int>(r));
}

std::int16_t literal_sinc(const std::vector<std::int16_t>& source, std::uint32_t loopstart,
                          double x) {
    return literal_round(literal_sum(source, loopstart, x));
}

std::vector<double> literal_positions(std::size_t length, std::uint32_t newlength) {
    const double ratio = static_cast<double>(newlength) / static_cast<double>(length);
    const double step = 1 / ratio;
    std::vector<double> x(newlength);
    for (std::uint32_t i = 0; i < newlength; ++i) x[i] = i * step;
    return x;
}

std::vector<std::int16_t> literal_resample(const std::vector<std::int16_t>& source,
                                           std::uint32_t loopstart, std::uint32_t newlength) {
    std::vector<std::int16_t> out;
    for (const double x : literal_positions(source.size(), newlength)) {
        out.push_back(literal_sinc(source, loopstart, x));
    }
    return out;
}

}  // namespace test
