// Shapes of hostile input, each at 1x, 2x and 4x its base size: the time of 2x must stay
// near twice that of 1x. Run: glyphory_bench_shapes --benchmark_filter=... ; the note's
// table divides the 2x and 4x times by the 1x time of the same shape. The nested shapes keep
// one size at depths 1, 8, 32 and 63: divide each time by the depth-1 time instead.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/sample_text.h"
#include "host/mail_host.h"
#include "mime/message_rewriter.h"

namespace {

void Rewrite(benchmark::State& state, const std::string& message) {
    BindBuiltinHost(g_hostApi);
    FillDocomoMap(g_mapDocomo);
    for (auto _ : state) {
        bool changed = false;
        benchmark::DoNotOptimize(RewriteMessage(message, "", true, changed, CARRIER_DOCOMO));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message.size()));
}

size_t Scale(const benchmark::State& state, size_t base) { return base * static_cast<size_t>(state.range(0)); }

// A text part that declares its transfer encoding on many lines, each removed when it is converted.
void EncodingDeclarations(benchmark::State& state) {
    std::string message = "Content-Type: text/plain; charset=Shift_JIS\r\n";
    for (size_t i = 0; i < Scale(state, 20000); ++i) message += "Content-Transfer-Encoding: 8bit\r\n";
    Rewrite(state, message + "\r\n\xF8\x9F\r\n");
}

// A Subject of unterminated encoded words, read through the host as the command reads it.
void UnterminatedEncodedWords(benchmark::State& state) {
    std::string subject;
    for (size_t i = 0; i < Scale(state, 16000); ++i) subject += "=?x?B?A";
    TheMailHost().SetCurrentMessage("Subject: " + subject + "\r\n\r\n");
    static char buffer[1024];
    for (auto _ : state) {
        TheMailHost().SetCurrentMessage("Subject: " + subject + "\r\n\r\n");
        benchmark::DoNotOptimize(TheMailHost().GetSpecifiedHeader("Subject", buffer, sizeof buffer - 1));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * subject.size()));
}

void ManyHeaderLines(benchmark::State& state) {
    std::string message;
    for (size_t i = 0; i < Scale(state, 50000); ++i) message += "X-Line: " + std::to_string(i) + "\r\n";
    Rewrite(state, message + "Content-Type: text/plain\r\n\r\n\xF8\x9F\r\n");
}

// A multipart body in which every line is a delimiter.
void DelimiterOnEveryLine(benchmark::State& state) {
    std::string body;
    for (size_t i = 0; i < Scale(state, 100000); ++i) body += "--b\r\n";
    Rewrite(state, "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n" + body + "--b\r\nContent-Type: text/plain\r\n\r\n\xF8\x9F\r\n--b--\r\n");
}

void ManyParts(benchmark::State& state) {
    std::string body;
    for (size_t i = 0; i < Scale(state, 250000); ++i) body += "--b\r\n\r\n";
    Rewrite(state, "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n" + body + "--b--\r\n");
}

void DeepNesting(benchmark::State& state) {
    std::string message;
    for (size_t i = 0; i < Scale(state, 25000); ++i) {
        const std::string b = "z" + std::to_string(i) + "x";
        message += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n--" + b + "\r\n";
    }
    Rewrite(state, message + "Content-Type: text/plain\r\n\r\n\xF8\x9F\r\n");
}

// The parts, one after the other, inside depth multipart/mixed entities nested one in the
// other, each closed. No boundary is the start of another ("level1x", "level12x").
std::string Nested(int depth, const std::vector<std::string>& parts) {
    std::string message, closing;
    for (int level = 1; level <= depth; ++level) {
        const std::string boundary = "level" + std::to_string(level) + "x";
        message += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n--" + boundary + "\r\n";
        closing = "\r\n--" + boundary + "--" + closing;
    }
    for (size_t i = 0; i < parts.size(); ++i) message += (i ? "\r\n--level" + std::to_string(depth) + "x\r\n" : "") + parts[i];
    return message + closing + "\r\n";
}

// A 1 MB Shift_JIS text dense with pictographs, nested range(0) deep: the message keeps its
// size (the text gives up what the levels take), so only the depth changes.
void DeepNestingOneSize(benchmark::State& state) {
    constexpr size_t SIZE = 1 << 20;
    const std::string header = "Content-Type: text/plain; charset=Shift_JIS\r\n\r\n";
    const size_t levels = Nested(static_cast<int>(state.range(0)), {header}).size();
    Rewrite(state, Nested(static_cast<int>(state.range(0)), {header + SampleSjisText(SIZE - levels, true)}));
}

// A short text with pictographs beside a 20 MB attachment of lines of '-' (each line starts
// like a delimiter), nested range(0) deep.
void NestedBesideDashes(benchmark::State& state) {
    std::string dashes;
    dashes.reserve(20'000'000 + 80);
    while (dashes.size() < 20'000'000) dashes += std::string(76, '-') + "\r\n";
    const std::string text = "Content-Type: text/plain; charset=Shift_JIS\r\n\r\n" + SampleSjisText(4096, true);
    const std::string attachment = "Content-Type: application/octet-stream; name=\"lines.txt\"\r\n"
                                   "Content-Disposition: attachment; filename=\"lines.txt\"\r\n\r\n" + dashes;
    Rewrite(state, Nested(static_cast<int>(state.range(0)), {text, attachment}));
}

// Long runs of lead bytes between the bytes the walk must look at, and a run of one code's
// first byte (pairs of which are codes: the densest HTML there is), in a Shift_JIS text part.
void LeadByteRuns(benchmark::State& state) {
    std::string text;
    for (size_t i = 0; i < Scale(state, 64); ++i) text += std::string(16384, '\x88') + "\xF8\x9F&";
    text += std::string(Scale(state, 1 << 20), '\xF8');
    Rewrite(state, "Content-Type: text/plain; charset=Shift_JIS\r\n\r\n" + text);
}

#define SHAPE(name) BENCHMARK(name)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond)
SHAPE(EncodingDeclarations);
SHAPE(UnterminatedEncodedWords);
SHAPE(ManyHeaderLines);
SHAPE(DelimiterOnEveryLine);
SHAPE(ManyParts);
SHAPE(DeepNesting);
SHAPE(LeadByteRuns);
#define DEPTHS(name) BENCHMARK(name)->Arg(1)->Arg(8)->Arg(32)->Arg(63)->Unit(benchmark::kMillisecond)
DEPTHS(DeepNestingOneSize);
// Seconds an iteration at depth: one iteration each keeps the whole run near a minute.
DEPTHS(NestedBesideDashes)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
