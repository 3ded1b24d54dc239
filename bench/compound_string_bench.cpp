// The "::" parser beside Motif's own plain-text conversion, on texts of the
// same number of lines: the parser must stay within a small factor of it as
// texts grow (no cost that grows with the square of the segments).
#include <string>

#include <benchmark/benchmark.h>

#include <Xm/Xm.h>

#include "wizard/bx.h"

namespace {

std::string compound_text(int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += ":t\"line of a dialog text\"";
    return text;
}

std::string plain_text(int lines)
{
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += "line of a dialog text\n";
    return text;
}

void CompoundSyntax(benchmark::State &state)
{
    const std::string text = compound_text(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        XmString s = cvtParseCompoundString(text.c_str());
        benchmark::DoNotOptimize(s);
        XmStringFree(s);
    }
    state.SetComplexityN(state.range(0));
}

void MotifPlainText(benchmark::State &state)
{
    const std::string text = plain_text(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        XmString s = XmStringCreateLtoR(const_cast<char *>(text.c_str()), const_cast<char *>(""));
        benchmark::DoNotOptimize(s);
        XmStringFree(s);
    }
    state.SetComplexityN(state.range(0));
}

BENCHMARK(CompoundSyntax)->RangeMultiplier(4)->Range(4, 4096)->Complexity();
BENCHMARK(MotifPlainText)->RangeMultiplier(4)->Range(4, 4096)->Complexity();

} // namespace
