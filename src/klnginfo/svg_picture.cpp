#include "src/klnginfo/svg_picture.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "src/klnginfo/report.h"

namespace klng {

namespace {

// A coordinate with one decimal, formatted from integers: the same text on every platform and
// in every locale.
std::string num(double v) {
    const auto tenths = static_cast<long long>(std::llround(v * 10));
    const long long mag = tenths < 0 ? -tenths : tenths;
    std::string s = tenths < 0 ? "-" : "";
    s += std::to_string(mag / 10);
    if (mag % 10 != 0) s += "." + std::to_string(mag % 10);
    return s;
}

// Text for an XML attribute or element. Bytes that do not form UTF-8 become U+FFFD, control
// characters "?", so that any file name yields a well-formed document.
std::string xml_text(const std::string& in) {
    std::string out;
    for (std::size_t i = 0; i < in.size();) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c < 0x80) {
            switch (c) {
                case '&': out += "&amp;"; break;
                case '<': out += "&lt;"; break;
                case '>': out += "&gt;"; break;
                case '"': out += "&quot;"; break;
                default: out += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c); break;
            }
            ++i;
            continue;
        }
        // The length of a well-formed sequence (no overlong forms, no surrogates), else 0.
        std::size_t len = 0;
        std::uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07u;
        }
        for (std::size_t k = 1; len != 0 && k < len; ++k) {
            const auto d = i + k < in.size() ? static_cast<unsigned char>(in[i + k]) : 0u;
            if ((d & 0xC0u) != 0x80u) len = 0;
            cp = cp << 6 | (d & 0x3Fu);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
            len = 0;
        }
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(in, i, len);
            i += len;
        }
    }
    return out;
}

double wave_y(double v) { return kWaveTop + kWaveHeight / 2.0 - v * (kWaveHeight / 2.0) / 32768.0; }

// A tick step of 1, 2 or 5 times a power of ten, seconds; `decimals` digits show it.
struct tick_step {
    double seconds = 1;
    int decimals = 0;
    long long mantissa = 1;  // seconds = mantissa * 10^-decimals
};

// The smallest step that gives at most 8 intervals over the duration.
tick_step choose_ticks(double duration) {
    for (int e = -6; e <= 9; ++e) {
        double power = 1;  // 10^|e|
        for (int k = 0; k < (e < 0 ? -e : e); ++k) power *= 10;
        for (long long m : {1, 2, 5}) {
            const double step =
                e < 0 ? static_cast<double>(m) / power : static_cast<double>(m) * power;
            if (duration / step <= 8) {
                tick_step t;
                t.seconds = step;
                t.decimals = e < 0 ? -e : 0;
                t.mantissa = e < 0 ? m : m * static_cast<long long>(power);
                return t;
            }
        }
    }
    return tick_step{};
}

std::string tick_label(long long units, int decimals) {
    std::string digits = std::to_string(units);
    if (decimals == 0) return digits;
    if (digits.size() <= static_cast<std::size_t>(decimals)) {
        digits.insert(0, static_cast<std::size_t>(decimals) + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - static_cast<std::size_t>(decimals), ".");
    return digits;
}

void draw_whole_wave(std::ostringstream& s, const wave_info& w,
                     const std::vector<std::int16_t>& samples, double rate) {
    const double n = static_cast<double>(samples.size());
    const int right = kPlotLeft + kPlotWidth;
    const int bottom = kWaveTop + kWaveHeight;
    s << "<text x=\"" << kPlotLeft << "\" y=\"" << kWaveTop - 8
      << "\" font-weight=\"bold\">Whole wave</text>\n";
    s << "<rect id=\"plot\" x=\"" << kPlotLeft << "\" y=\"" << kWaveTop << "\" width=\""
      << kPlotWidth << "\" height=\"" << kWaveHeight << "\" fill=\"#fbfbfb\" stroke=\"#999\"/>\n";
    // Amplitude axis, in sample values.
    for (int v : {32767, 16384, 0, -16384, -32768}) {
        const std::string y = num(wave_y(v));
        s << "<line x1=\"" << kPlotLeft << "\" y1=\"" << y << "\" x2=\"" << right << "\" y2=\"" << y
          << "\" stroke=\"#e4e4e4\"/>"
          << "<text x=\"" << kPlotLeft - 4 << "\" y=\"" << y
          << "\" text-anchor=\"end\" dominant-baseline=\"middle\">" << v << "</text>\n";
    }
    if (w.looped && n > 0) {
        const double x0 = kPlotLeft + kPlotWidth * static_cast<double>(w.loop_start) / n;
        const double width = kPlotWidth * static_cast<double>(w.loop_length) / n;
        s << "<rect id=\"loop\" x=\"" << num(x0) << "\" y=\"" << kWaveTop << "\" width=\""
          << num(width) << "\" height=\"" << kWaveHeight << "\" data-start=\"" << w.loop_start
          << "\" data-end=\"" << w.loop_start + w.loop_length
          << "\" fill=\"#f2b531\" fill-opacity=\"0.25\" stroke=\"#c98a00\"/>\n";
        s << "<text x=\"" << num(x0 + 3) << "\" y=\"" << kWaveTop + 12 << "\" fill=\"#8a5d00\">"
          << "loop start " << w.loop_start << "</text>\n";
        s << "<text x=\"" << num(x0 + width - 3) << "\" y=\"" << kWaveTop + 12
          << "\" text-anchor=\"end\" fill=\"#8a5d00\">loop end " << w.loop_start + w.loop_length
          << "</text>\n";
    }
    // The wave: with more samples than pixel columns, one vertical stroke per column from its
    // smallest to its largest sample, reaching back to the previous column's last sample so
    // that the strokes join; otherwise a line through every sample.
    if (samples.empty()) {
        s << "<text x=\"" << kPlotLeft + kPlotWidth / 2 << "\" y=\"" << kWaveTop + kWaveHeight / 2
          << "\" text-anchor=\"middle\">no samples</text>\n";
    } else if (samples.size() > static_cast<std::size_t>(kPlotWidth)) {
        s << "<path id=\"wave\" fill=\"none\" stroke=\"#1f4e9c\" stroke-width=\"1\" d=\"";
        std::size_t i = 0;
        std::int32_t previous = samples[0];
        for (int c = 0; c < kPlotWidth; ++c) {
            const std::size_t end =
                samples.size() * static_cast<std::size_t>(c + 1) / std::size_t{kPlotWidth};
            std::int32_t lo = previous;
            std::int32_t hi = previous;
            for (; i < end; ++i) {
                lo = std::min<std::int32_t>(lo, samples[i]);
                hi = std::max<std::int32_t>(hi, samples[i]);
            }
            previous = samples[end - 1];
            s << 'M' << num(kPlotLeft + c + 0.5) << ' ' << num(wave_y(hi)) << 'V'
              << num(wave_y(lo));
        }
        s << "\"/>\n";
    } else {
        s << "<polyline id=\"wave\" fill=\"none\" stroke=\"#1f4e9c\" stroke-width=\"1\" points=\"";
        for (std::size_t i = 0; i < samples.size(); ++i) {
            s << (i ? " " : "") << num(kPlotLeft + kPlotWidth * (static_cast<double>(i) + 0.5) / n)
              << ',' << num(wave_y(samples[i]));
        }
        s << "\"/>\n";
    }
    // Time axis, in seconds at the wave's rate.
    const double duration = n / rate;
    if (duration > 0) {
        const tick_step step = choose_ticks(duration);
        for (long long k = 0; static_cast<double>(k) * step.seconds <= duration * (1 + 1e-9); ++k) {
            const std::string x =
                num(kPlotLeft + kPlotWidth * static_cast<double>(k) * step.seconds / duration);
            s << "<line x1=\"" << x << "\" y1=\"" << bottom << "\" x2=\"" << x << "\" y2=\""
              << bottom + 5 << "\" stroke=\"#555\"/>"
              << "<text x=\"" << x << "\" y=\"" << bottom + 17 << "\" text-anchor=\"middle\">"
              << tick_label(k * step.mantissa, step.decimals) << "</text>\n";
        }
    }
    s << "<text x=\"" << kPlotLeft + kPlotWidth / 2 << "\" y=\"" << bottom + 33
      << "\" text-anchor=\"middle\">time (s)</text>\n";
}

void draw_seam(std::ostringstream& s, const wave_info& w,
               const std::vector<std::int16_t>& samples) {
    const int right = kPlotLeft + kPlotWidth;
    const int bottom = kSeamTop + kSeamHeight;
    const int middle = kPlotLeft + kPlotWidth / 2;
    s << "<text x=\"" << kPlotLeft << "\" y=\"" << kSeamTop - 8
      << "\" font-weight=\"bold\">Loop seam</text>\n";
    s << "<rect id=\"seam-plot\" x=\"" << kPlotLeft << "\" y=\"" << kSeamTop << "\" width=\""
      << kPlotWidth << "\" height=\"" << kSeamHeight << "\" fill=\"#fbfbfb\" stroke=\"#999\"/>\n";
    if (!w.looped || w.loop_length == 0 || w.loop_start + w.loop_length > samples.size()) {
        s << "<text x=\"" << middle << "\" y=\"" << kSeamTop + kSeamHeight / 2
          << "\" text-anchor=\"middle\">no loop: the wave plays once</text>\n";
        return;
    }
    const std::uint64_t k = std::min(kSeamSamples, w.loop_length);
    const std::uint64_t end = w.loop_start + w.loop_length;
    // As the target plays them: the loop's last k samples, then its first k.
    std::vector<std::int32_t> shown;
    for (std::uint64_t i = end - k; i < end; ++i) shown.push_back(samples[i]);
    for (std::uint64_t i = w.loop_start; i < w.loop_start + k; ++i) shown.push_back(samples[i]);
    // Zoomed to the samples shown, at least 64 values high so that near-silence stays flat.
    std::int32_t lo = *std::min_element(shown.begin(), shown.end());
    std::int32_t hi = *std::max_element(shown.begin(), shown.end());
    if (hi - lo < 64) {
        const std::int32_t mid = lo + (hi - lo) / 2;
        lo = mid - 32;
        hi = mid + 32;
    }
    const double pad = (hi - lo) * 0.08;
    const double top_value = hi + pad;
    const double span = (hi - lo) + 2 * pad;
    auto y_of = [&](double v) { return kSeamTop + (top_value - v) * kSeamHeight / span; };
    auto x_of = [&](std::size_t i) {
        return kPlotLeft +
               kPlotWidth * (static_cast<double>(i) + 0.5) / static_cast<double>(shown.size());
    };
    for (std::int32_t v : {hi, lo}) {
        s << "<text x=\"" << kPlotLeft - 4 << "\" y=\"" << num(y_of(v))
          << "\" text-anchor=\"end\" dominant-baseline=\"middle\">" << v << "</text>"
          << "<line x1=\"" << kPlotLeft << "\" y1=\"" << num(y_of(v)) << "\" x2=\"" << right
          << "\" y2=\"" << num(y_of(v)) << "\" stroke=\"#e4e4e4\"/>\n";
    }
    s << "<line id=\"seam\" x1=\"" << middle << "\" y1=\"" << kSeamTop << "\" x2=\"" << middle
      << "\" y2=\"" << bottom << "\" stroke=\"#d22\" stroke-dasharray=\"4 3\"/>\n";
    s << "<polyline id=\"seam-wave\" fill=\"none\" stroke=\"#1f4e9c\" stroke-width=\"1.5\" "
         "points=\"";
    for (std::size_t i = 0; i < shown.size(); ++i) {
        s << (i ? " " : "") << num(x_of(i)) << ',' << num(y_of(shown[i]));
    }
    s << "\"/>\n<g fill=\"#1f4e9c\">";
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const bool at_seam = i + 1 == k || i == k;
        s << "<circle cx=\"" << num(x_of(i)) << "\" cy=\"" << num(y_of(shown[i])) << "\" r=\""
          << (at_seam ? "3.5\" fill=\"#d22" : "2") << "\"/>";
    }
    s << "</g>\n";
    s << "<text x=\"" << kPlotLeft << "\" y=\"" << bottom + 15 << "\">sample " << end - k
      << "</text>"
      << "<text x=\"" << middle - 6 << "\" y=\"" << bottom + 15
      << "\" text-anchor=\"end\">loop end " << end << " |</text>"
      << "<text x=\"" << middle + 6 << "\" y=\"" << bottom + 15 << "\">| loop start "
      << w.loop_start << "</text>"
      << "<text x=\"" << right << "\" y=\"" << bottom + 15 << "\" text-anchor=\"end\">sample "
      << w.loop_start + k - 1 << "</text>\n";
    const seam_info seam = measure_seam(w, samples);
    const bool click = seam_clicks(seam);
    s << "<text x=\"" << middle << "\" y=\"" << bottom + 33 << "\" text-anchor=\"middle\""
      << (click ? " fill=\"#d22\" font-weight=\"bold\"" : "") << ">jump at the seam "
      << (seam.jump > 0 ? "+" : "") << seam.jump << ", largest step inside the loop "
      << seam.largest_step << (click ? ": the seam clicks" : "") << "</text>\n";
}

}  // namespace

std::string draw_svg(const std::string& name, const wave_info& w,
                     const std::vector<std::int16_t>& samples, double rate) {
    std::ostringstream s;
    s << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kSvgWidth << "\" height=\""
      << kSvgHeight << "\" viewBox=\"0 0 " << kSvgWidth << ' ' << kSvgHeight
      << "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"11\">\n";
    const std::string title = xml_text(name);
    s << "<title>" << title << "</title>\n";
    s << "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    s << "<text x=\"20\" y=\"24\" font-size=\"14\">" << title << ": " << encoding_name(w.encoding)
      << ", " << w.samples << " samples at " << num(rate) << " Hz, "
      << format_seconds(w.samples, rate) << " s, ";
    if (w.looped) {
        s << "loop " << w.loop_start << " to " << w.loop_start + w.loop_length;
    } else {
        s << "no loop";
    }
    s << "</text>\n";
    draw_whole_wave(s, w, samples, rate);
    draw_seam(s, w, samples);
    s << "</svg>\n";
    return s.str();
}

}  // namespace klng
