#include "src/klnginfo/report.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "src/klnginfo/sample_rate.h"

namespace klng {

namespace {

std::string format_millihertz(std::uint64_t mhz) {
    std::ostringstream s;
    const std::uint64_t frac = mhz % 1000;
    s << mhz / 1000 << '.' << frac / 100 << frac / 10 % 10 << frac % 10;
    return s.str();
}

std::string rate_text(const wave_info& w, const rate_choice& c) {
    std::ostringstream s;
    switch (c.source) {
        case rate_choice::field: s << w.rate_field << " Hz (rate field)"; break;
        case rate_choice::wrapped_field:
            s << static_cast<std::uint64_t>(c.rate) << " Hz (rate field " << w.rate_field << " + "
              << (c.wraps > 1 ? std::to_string(c.wraps) + " x " : "")
              << "65536, as the timer tells)";
            break;
        case rate_choice::timer:
            s << format_millihertz(playback_millihertz(w.timer))
              << " Hz from the timer (rate field " << w.rate_field << " does not agree with it)";
            break;
    }
    return s.str();
}

std::string signed_text(std::int32_t v) { return (v > 0 ? "+" : "") + std::to_string(v); }

}  // namespace

std::string format_seconds(std::uint64_t samples, double rate) {
    const double us = std::round(static_cast<double>(samples) * 1e6 / rate);
    // Rates are at least 1 Hz and sample counts below 2^33, so this fits easily.
    const auto micro = static_cast<std::uint64_t>(us);
    std::ostringstream s;
    s << micro / 1000000 << '.';
    const std::string frac = std::to_string(micro % 1000000);
    s << std::string(6 - frac.size(), '0') << frac;
    return s.str();
}

seam_info measure_seam(const wave_info& w, const std::vector<std::int16_t>& samples) {
    seam_info seam;
    if (!w.looped || w.loop_length == 0 || w.loop_start + w.loop_length > samples.size()) {
        return seam;
    }
    const auto start = static_cast<std::size_t>(w.loop_start);
    const auto end = static_cast<std::size_t>(w.loop_start + w.loop_length);
    seam.first = samples[start];
    seam.last = samples[end - 1];
    seam.jump = seam.first - seam.last;
    for (std::size_t i = start; i + 1 < end; ++i) {
        const std::int32_t step = std::abs(samples[i + 1] - samples[i]);
        if (step > seam.largest_step) seam.largest_step = step;
    }
    return seam;
}

bool seam_clicks(const seam_info& seam) { return std::abs(seam.jump) > seam.largest_step; }

std::string format_report(const std::string& name, const wave_info& w,
                          const std::vector<std::int16_t>& samples) {
    const rate_choice rate = choose_rate(w.rate_field, w.timer);
    std::ostringstream s;
    s << name << ": OK\n";
    s << "  file size:    " << w.file_size << " bytes, " << w.block_count
      << (w.block_count == 1 ? " block" : " blocks") << " (\"DATA\" at offset " << w.data_block
      << ", " << w.data_block_size << " bytes";
    if (w.block_count > 1) s << "; " << w.block_count - 1 << " other skipped";
    s << ")\n";
    s << "  version:      " << (w.version >> 8) << '.' << (w.version & 0xFF) << '\n';
    s << "  encoding:     " << unsigned{w.encoding} << ' ' << encoding_name(w.encoding) << ", "
      << samples_per_word(w.encoding) << " samples per word\n";
    s << "  sample rate:  " << rate_text(w, rate) << '\n';
    s << "  timer:        " << w.timer << ", playback rate "
      << format_millihertz(playback_millihertz(w.timer)) << " Hz\n";
    s << "  loop:         " << (w.looped ? "yes" : "no") << '\n';
    s << "  loop start:   word " << w.loop_start_words << " = sample " << w.loop_start << " = "
      << format_seconds(w.loop_start, rate.rate) << " s\n";
    s << "  loop length:  " << w.loop_length_words << " words = " << w.loop_length
      << " samples = " << format_seconds(w.loop_length, rate.rate) << " s\n";
    s << "  samples:      " << w.samples << " = " << format_seconds(w.samples, rate.rate) << " s\n";
    if (w.looped) {
        const seam_info seam = measure_seam(w, samples);
        s << "  loop seam:    sample " << w.loop_start + w.loop_length - 1 << " = " << seam.last
          << " -> sample " << w.loop_start << " = " << seam.first << ", jump "
          << signed_text(seam.jump) << " (largest step inside the loop " << seam.largest_step
          << (seam_clicks(seam) ? ": the seam clicks" : "") << ")\n";
    }
    if (w.encoding == kAdpcm) {
        s << "  adpcm header: predictor " << w.adpcm_predictor << ", step index "
          << unsigned{w.adpcm_step_index} << '\n';
    }
    return s.str();
}

}  // namespace klng
