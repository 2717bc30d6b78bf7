// The command-line parser with the program's options, on arbitrary argument lists: the input's
// bytes split at zero bytes, after the program's name.
//
// Only cmdline_exception may leave the parse (and -h, whose exit is replaced by an exception
// here). The outcome (options, operands, or the error message) must equal that of a small
// model of the grammar written here from the option table: options and operands in any
// order, short options clustered, -o taking the next argument whatever it looks like, no value
// attached to an option, long names matched whole.

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "src/tonecast/converter_options.h"

namespace {

struct help_requested {};

class options_under_test : public converter_options {
protected:
    void on_help() override { throw help_requested(); }
};

// What a parse leaves behind.
struct outcome {
    std::string error;  // the exception's message; "help" after -h
    std::int32_t encoding = ENCODING_ADPCM;
    bool verbose = false, update = false;
    std::string output;
    std::vector<std::string> operands;

    bool operator==(const outcome& o) const {
        return error == o.error && encoding == o.encoding && verbose == o.verbose &&
               update == o.update && output == o.output && operands == o.operands;
    }
};

// Applies one recognised option; false for -h, which ends the parse.
bool apply(outcome& r, const std::string& name, const std::string& value) {
    if (name == "s" || name == "pcm16") r.encoding = ENCODING_PCM16;
    if (name == "c" || name == "pcm8") r.encoding = ENCODING_PCM8;
    if (name == "a" || name == "adpcm") r.encoding = ENCODING_ADPCM;
    if (name == "v" || name == "verbose") r.verbose = true;
    if (name == "u" || name == "update") r.update = true;
    if (name == "o") r.output = value;
    return !(name == "h" || name == "help");
}

outcome model(const std::vector<std::string>& args) {
    const std::string shorts = "scahvuo";
    const std::vector<std::string> longs = {"pcm16", "pcm8", "adpcm", "help", "verbose", "update"};
    outcome r;
    bool waiting = false;
    for (const std::string& a : args) {
        if (a.empty()) {
            r.error = "(empty argument)";  // refused; the message is the parser's own choice
            return r;
        }
        if (waiting) {
            waiting = false;
            apply(r, "o", a);
        } else if (a[0] != '-') {
            r.operands.push_back(a);
        } else if (a == "-") {
            r.error = "unrecognized option '-'";
            return r;
        } else if (a[1] == '-') {
            const std::string name = a.substr(2);
            bool known = false;
            for (const std::string& l : longs) known = known || l == name;
            if (!known) {
                r.error = "unrecognized option '" + a + "'";
                return r;
            }
            if (!apply(r, name, "")) {
                r.error = "help";
                return r;
            }
        } else {
            for (std::size_t i = 1; i < a.size(); ++i) {
                if (shorts.find(a[i]) == std::string::npos) {
                    r.error = std::string("invalid option -- ") + a[i];
                    return r;
                }
                if (a[i] == 'o') {
                    waiting = true;
                } else if (!apply(r, std::string(1, a[i]), "")) {
                    r.error = "help";
                    return r;
                }
            }
        }
    }
    if (waiting) r.error = "option requires an argument -- o";
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    if (size == 0) args.clear();
    std::vector<const char*> argv = {"tonecast"};
    for (const std::string& a : args) argv.push_back(a.c_str());

    options_under_test options;
    outcome got;
    try {
        options.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const cmdline_exception& e) {
        got.error = e.what();
        FUZZ_CHECK(!got.error.empty());
    } catch (const help_requested&) {
        got.error = "help";
    }
    got.encoding = options.encoding;
    got.verbose = options.verbose;
    got.update = options.update;
    got.output = options.output_name;
    got.operands = options.input_files;

    const outcome want = model(args);
    if (want.error == "(empty argument)") {
        // Whatever the message, the empty argument ends the parse like any other error.
        FUZZ_CHECK(!got.error.empty() && got.error != "help");
        got.error = want.error;
    }
    FUZZ_CHECK(got == want);
    return 0;
}
