// Tokenizing a 10 MB definition file against a plain whitespace splitter
// (std::istringstream >> std::string) over the same text.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "benchsupport.h"
#include "core/tfparse.h"

namespace {

// Unit-type-like records with quotes, comments, parens and braces, repeated
// to about 10 MB.
const std::string& DefinitionText()
{
    static const std::string text = [] {
        std::string t;
        t.reserve(10u << 20);
        for (int i = 0; t.size() < (10u << 20); i++) {
            t += "; unit type " + std::to_string(i) + "\n";
            t += "DefineUnitType \"Unit" + std::to_string(i) + "\"\n{\n";
            t += "    SetDescription (\"MLS_UNIT_" + std::to_string(i) + "\")\n";
            t += "    SetCost (" + std::to_string(100 + i % 900) + " " + std::to_string(i % 60) + ")\n";
            t += "    SetHitpoints (450 120) ; armour\n";
            t += "    SetRequirements { SetType (1) SetPrereqs (\"Factory\" \"Lab\") }\n}\n";
        }
        return t;
    }();
    return text;
}

void BM_TfGetToken(benchmark::State& state)
{
    const std::string& text = DefinitionText();
    char token[TF_FIELD];
    for (auto _ : state) {
        TF_PARSER* p = TF_OpenText("bench.txt", text.data(), text.size());
        long n = 0;
        while (TF_GetToken(p, token, sizeof token)) n++;
        benchmark::DoNotOptimize(n);
        TF_Close(p);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_TfGetToken)->Unit(benchmark::kMillisecond);

void BM_IstringstreamTokens(benchmark::State& state)
{
    const std::string& text = DefinitionText();
    for (auto _ : state) {
        std::istringstream in(text);
        std::string word;
        long n = 0;
        while (in >> word) n++;
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_IstringstreamTokens)->Unit(benchmark::kMillisecond);

} // namespace

QV_BENCH_RATIO(tfparse, "tokenizer ratio (TF_GetToken time / istringstream time)", "BM_TfGetToken",
               "BM_IstringstreamTokens");
