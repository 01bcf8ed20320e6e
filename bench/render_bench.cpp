#include <benchmark/benchmark.h>

#include "bench/sample_text.h"
#include "host/iso2022jp.h"
#include "host/mail_host.h"
#include "render/text_to_html.h"
#include "render/utf8_to_html.h"

namespace {

constexpr size_t MIB = 1 << 20;

void Walk(benchmark::State& state, bool pictographs) {
    PictographMap map;
    FillDocomoMap(map);
    const std::string text = SampleSjisText(MIB, pictographs);
    for (auto _ : state) {
        bool found = false;
        benchmark::DoNotOptimize(RenderSjisAsHtml(text, map, found));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The UTF-8 walk on the same dense text in UTF-8, beside Walk/dense on it in Shift-JIS.
void Utf8Walk(benchmark::State& state) {
    FillDocomoMap(g_mapDocomo);
    const std::string text = SampleUtf8Text(SampleSjisText(MIB, true));
    for (auto _ : state) {
        bool found = false;
        benchmark::DoNotOptimize(RenderUtf8AsHtml(text, CARRIER_DOCOMO, found));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["same_text_in_sjis_bytes_per_second"] = benchmark::Counter(static_cast<double>(state.iterations()) * MIB, benchmark::Counter::kIsRate);
}

void WholeCall(benchmark::State& state, bool pictographs) {
    BindBuiltinHost(g_hostApi);
    FillDocomoMap(g_mapDocomo);
    const std::string text = EncodeIso2022Jp(SampleSjisText(MIB, pictographs));
    for (auto _ : state) {
        bool found = false;
        benchmark::DoNotOptimize(ConvertTextToHtml(text, found, CARRIER_DOCOMO));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The host's codec alone, both ways, on the text without pictographs.
void Codec(benchmark::State& state, bool decode) {
    const std::string sjis = SampleSjisText(MIB, false);
    const std::string jis = EncodeIso2022Jp(sjis);
    std::string reuse;
    for (auto _ : state) {
        reuse = decode ? DecodeIso2022Jp(jis, std::move(reuse)) : EncodeIso2022Jp(sjis, std::move(reuse));
        benchmark::DoNotOptimize(reuse.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * (decode ? jis : sjis).size()));
}

BENCHMARK_CAPTURE(Codec, decode, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Codec, encode, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Walk, dense, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Walk, none, false)->Unit(benchmark::kMillisecond);
BENCHMARK(Utf8Walk)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WholeCall, dense, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(WholeCall, none, false)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
