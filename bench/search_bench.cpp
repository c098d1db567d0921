// The image search on hostile files, whose time must grow with the file's size and no faster: one where
// every JPEG start follows an unmatched ">>stream" (the other-JPEG count walks back for a dictionary),
// one with tens of thousands of /Encrypt values inside nested dictionaries (the encryption check).
// Compare the time per byte across the sizes; the complexity line fits O(N).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/batch/image_search.h"

namespace {

using namespace pagewash;

std::vector<std::uint8_t> pdfOf(const std::string& body) {
    const std::string text = "%PDF-1.4\n1 0 obj\n" + body + "\nendobj\n" + std::string(200, '\n') + "%%EOF\n";
    return {text.begin(), text.end()};
}

std::string repeated(const std::string& unit, std::int64_t bytes) {
    std::string text;
    while (static_cast<std::int64_t>(text.size()) < bytes) text += unit;
    return text;
}

void BM_SearchUnmatchedStreamStarts(benchmark::State& state) {
    const auto pdf = pdfOf(repeated(">>stream\n\xFF\xD8\xFF", state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(searchPdfImages(pdf, false));
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_SearchNestedEncryptValues(benchmark::State& state) {
    std::string nested;
    for (int depth = 0; depth < 16; ++depth) nested += "<< /K ";
    nested += "[" + repeated("/Encrypt ", state.range(0)) + "]";
    for (int depth = 0; depth < 16; ++depth) nested += " >>";
    const auto pdf = pdfOf(nested);
    for (auto _ : state) benchmark::DoNotOptimize(searchPdfImages(pdf, false));
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_SearchUnmatchedStreamStarts)->RangeMultiplier(4)->Range(64 << 10, 4 << 20)->Complexity();
BENCHMARK(BM_SearchNestedEncryptValues)->RangeMultiplier(4)->Range(64 << 10, 4 << 20)->Complexity();
