// The option parser: every argument vector gives one exact sequence of handler calls, or one
// exact error message after the calls made before the fault.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <util/cmdline>

namespace {

// Registers options like the converter's, plus a long option with a value, and records calls.
class recording_cmdline : public cmdline {
public:
    recording_cmdline() {
        for (const char* name : {"s", "pcm16", "a", "v", "verbose", "h"}) add_option(name, false);
        add_option("o", true);
        add_option("name", true);
        add_option("", true);  // ignored
    }
    std::vector<std::string> calls;

protected:
    void on_option(std::string name, std::string value) override {
        calls.push_back("opt " + name + "=" + value);
    }
    void on_operand(std::string operand) override { calls.push_back("operand " + operand); }
};

struct ParseCase {
    const char* name;
    std::vector<const char*> args;  // without the program name
    std::vector<std::string> calls;
    const char* error;  // nullptr: parse succeeds
    friend void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }
};

class Parse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(Parse, CallsHandlersInOrderOrThrows) {
    const ParseCase& c = GetParam();
    std::vector<const char*> argv{"prog"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    recording_cmdline parser;
    if (c.error) {
        try {
            parser.parse(static_cast<int>(argv.size()), argv.data());
            FAIL() << "no exception";
        } catch (const cmdline_exception& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
    } else {
        EXPECT_NO_THROW(parser.parse(static_cast<int>(argv.size()), argv.data()));
    }
    EXPECT_EQ(parser.calls, c.calls);
}

const ParseCase kParseCases[] = {
    {"nothing", {}, {}, nullptr},
    {"cluster_then_value", {"-vo", "out.klng", "in.wav"},
     {"opt v=", "opt o=out.klng", "operand in.wav"}, nullptr},
    {"value_starting_with_dash", {"-o", "-v"}, {"opt o=-v"}, nullptr},
    {"attached_value_is_options", {"-ofile"}, {}, "invalid option -- f"},
    {"rest_of_cluster_is_not_the_value", {"-ov", "in.wav"}, {"opt v=", "opt o=in.wav"}, nullptr},
    {"second_o_replaces_first", {"-oo", "x"}, {"opt o=x"}, nullptr},
    {"long_without_value", {"--pcm16", "--verbose"}, {"opt pcm16=", "opt verbose="}, nullptr},
    {"long_with_value", {"--name", "--x"}, {"opt name=--x"}, nullptr},
    {"long_equals_is_not_split", {"--name=value"}, {}, "unrecognized option '--name=value'"},
    {"double_dash_is_not_end_of_options", {"a", "--", "b"}, {"operand a"},
     "unrecognized option '--'"},
    {"single_dash", {"-"}, {}, "unrecognized option '-'"},
    {"one_letter_long_form", {"--o"}, {}, "unrecognized option '--o'"},
    {"unknown_long", {"-v", "--pcm4", "-s"}, {"opt v="}, "unrecognized option '--pcm4'"},
    {"unknown_in_cluster", {"-vx"}, {"opt v="}, "invalid option -- x"},
    {"operands_around_options", {"a.wav", "-s", "b.wav", "-a", "c.wav"},
     {"operand a.wav", "opt s=", "operand b.wav", "opt a=", "operand c.wav"}, nullptr},
    {"repeated_option", {"-v", "-v", "--verbose"}, {"opt v=", "opt v=", "opt verbose="}, nullptr},
    {"short_missing_value", {"in.wav", "-o"}, {"operand in.wav"},
     "option requires an argument -- o"},
    {"short_missing_value_in_cluster", {"-vo"}, {"opt v="}, "option requires an argument -- o"},
    {"long_missing_value", {"--name"}, {}, "option '--name' requires an argument"},
    {"empty_argument", {"a.wav", ""}, {"operand a.wav"}, "empty argument"},
    {"empty_value", {"-o", ""}, {}, "empty argument"},
    {"empty_before_option_error", {"", "-x"}, {}, "empty argument"},
};

INSTANTIATE_TEST_SUITE_P(Cases, Parse, ::testing::ValuesIn(kParseCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Parse, HandlerExceptionsPassThroughUnchanged) {
    struct throwing : recording_cmdline {
        void on_operand(std::string) override { throw 42; }
    } parser;
    const char* argv[] = {"prog", "-v", "x", "-s"};
    EXPECT_THROW(parser.parse(4, argv), int);
    EXPECT_EQ(parser.calls, std::vector<std::string>{"opt v="});
}

TEST(Parse, ProgramNameIsNeverLookedAt) {
    recording_cmdline parser;
    const char* argv[] = {"-x"};
    EXPECT_NO_THROW(parser.parse(1, argv));
    EXPECT_NO_THROW(parser.parse(0, argv));
    EXPECT_TRUE(parser.calls.empty());
}

}  // namespace
