// RewriteMessage on the peers' corpus (shared/perf/gen_corpus.py) and on 2x and 4x scaled
// copies of the attachment and many-parts messages. Besides Google Benchmark's own report it
// prints one line per message in the peers' format, with the peak memory the rewrite took
// beyond the message itself, result included, and the result's size:
//   glyphory MESSAGE BYTES runs=N MB/s=MEDIAN min=.. max=.. peak_extra=X.XXx output=Y.YYx
// and, for a message that shows pictographs, what it grows by when it carries its images
// (GLYPHORY_PICTOGRAPHS: the generated image set, else stand-ins of a generated image's size):
//   glyphory MESSAGE carried: images=N grows_by=B bytes, P per image
//   glyphory_bench_rewrite CORPUS_DIR [benchmark options]
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/sample_text.h"
#include "host/mail_host.h"
#include "mime/message_rewriter.h"
#include "mime/mime_tree.h"
#include "render/pictograph_map.h"

// Every allocation of the program counted, to tell the peak a rewrite needs.
namespace {
std::atomic<size_t> g_liveBytes{0};
std::atomic<size_t> g_peakBytes{0};
}  // namespace

void* operator new(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    const size_t live = g_liveBytes += malloc_usable_size(p);
    size_t peak = g_peakBytes.load();
    while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
    }
    return p;
}
namespace {
void Release(void* p) noexcept {
    if (p) g_liveBytes -= malloc_usable_size(p);
    std::free(p);
}
}  // namespace
void operator delete(void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The message with every top-level part written times times.
std::string Scaled(const std::string& message, int times) {
    const MimeTree tree = ReadMimeTree(message);
    const MimeEntity& root = tree[0];
    if (root.media != MediaKind::Multipart) return message;
    const std::string delimiter = "--" + KindOf(root).boundary;
    std::string parts;
    for (size_t part = FirstPart(0); part < root.end; part = tree[part].end)
        parts += delimiter + std::string(tree[part].DelimiterEnd()) + std::string(tree[part].text);
    std::string scaled = std::string(root.Header()) + "\r\n" + std::string(root.Preamble());
    for (int t = 0; t < times; ++t) scaled += parts;
    return scaled + delimiter + "--" + std::string(root.closed ? root.Epilogue() : "\r\n");
}

struct Message {
    std::string name;
    std::string text;
    std::string subject;
    double peakExtra = 0;
    double output = 0;  // the result's size, in message sizes
    size_t images = 0;  // the image parts it carries when converted to carry its images
    long long carriedBytes = 0;  // and what it grows by beside the linked form (shorter tags may outweigh the images)
};

// Docomo's map in the form that carries the images: each tag refers to its image as a part of
// the message, and the map holds the image, from the generated set when it is there.
PictographMap CarryingDocomoMap() {
    const char* set = std::getenv("GLYPHORY_PICTOGRAPHS");
    PictographMap map;
    for (const auto& [code, tag] : g_mapDocomo.Tags()) {
        char name[16];
        std::snprintf(name, sizeof name, "%04X.gif", code);
        std::string gif = set ? ReadFile(std::string(set) + "/docomo/" + name) : std::string();
        if (gif.empty()) gif.assign(1200, 'G');  // about the size of a generated image
        map.Store(code, "<img src=\"cid:" + ImageContentId("docomo", name) + "\">", std::move(gif));
    }
    return map;
}

std::vector<Message>& Messages() {
    static std::vector<Message> messages;
    return messages;
}

void RewriteOne(benchmark::State& state, const Message* message) {
    for (auto _ : state) {
        bool changed = false;
        benchmark::DoNotOptimize(RewriteMessage(message->text, message->subject, true, changed, CARRIER_DOCOMO));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message->text.size()));
}

// Prints the peers' line for each message from the medians Google Benchmark computed.
class PeerLineReporter : public benchmark::ConsoleReporter {
public:
    // Without colours, so that the peers' lines start at the start of a line.
    PeerLineReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            auto& rates = m_rates[run.run_name.function_name];
            if (run.run_type == Run::RT_Iteration) rates.push_back(run.counters.at("bytes_per_second") / 1e6);
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const Message& m : Messages()) {
            const std::string key = "rewrite/" + m.name;
            std::vector<double> rates = m_rates[key];
            if (rates.empty()) continue;
            std::sort(rates.begin(), rates.end());
            const size_t n = rates.size();
            const double median = n % 2 ? rates[n / 2] : (rates[n / 2 - 1] + rates[n / 2]) / 2;
            std::printf("glyphory %s %zu runs=%zu MB/s=%.1f min=%.1f max=%.1f peak_extra=%.2fx output=%.2fx\n", m.name.c_str(),
                        m.text.size(), n, median, rates.front(), rates.back(), m.peakExtra, m.output);
            if (m.images)
                std::printf("glyphory %s carried: images=%zu grows_by=%lld bytes, %lld per image\n", m.name.c_str(), m.images,
                            m.carriedBytes, m.carriedBytes / static_cast<long long>(m.images));
        }
    }

private:
    std::map<std::string, std::vector<double>> m_rates;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [benchmark options]\n", argv[0]);
        return 2;
    }
    BindBuiltinHost(g_hostApi);
    FillDocomoMap(g_mapDocomo);
    const std::string dir = argv[1];
    for (const char* name : {"plain.eml", "nopicto.eml", "attach.eml", "manyparts.eml", "nested.eml"}) {
        std::string text = ReadFile(dir + "/" + name);
        if (text.empty()) {
            std::fprintf(stderr, "%s/%s is missing: run shared/perf/gen_corpus.py %s\n", dir.c_str(), name, dir.c_str());
            return 2;
        }
        Messages().push_back({name, std::move(text), "test", 0});
    }
    for (const int times : {2, 4})
        for (const char* name : {"attach", "manyparts"}) {
            const std::string& base = std::find_if(Messages().begin(), Messages().end(), [&](const Message& m) {
                                          return m.name == std::string(name) + ".eml";
                                      })->text;
            Messages().push_back({std::string(name) + "-" + std::to_string(times) + "x.eml", Scaled(base, times), "test", 0});
        }
    PictographMap carrying = CarryingDocomoMap();
    for (Message& m : Messages()) {
        const size_t before = g_liveBytes;
        g_peakBytes = before;
        bool changed = false;
        size_t linked = 0;
        {
            const std::string out = RewriteMessage(m.text, m.subject, true, changed, CARRIER_DOCOMO);
            m.output = static_cast<double>(out.size()) / static_cast<double>(m.text.size());
            linked = out.size();
        }
        m.peakExtra = static_cast<double>(g_peakBytes - before) / static_cast<double>(m.text.size());
        // How much the message grows when it carries its images: what each distinct image costs.
        std::swap(g_mapDocomo, carrying);
        const std::string carried = RewriteMessage(m.text, m.subject, true, changed, CARRIER_DOCOMO);
        std::swap(g_mapDocomo, carrying);
        for (size_t at = carried.find("\r\nContent-ID: <"); at != std::string::npos; at = carried.find("\r\nContent-ID: <", at + 1))
            ++m.images;
        m.carriedBytes = static_cast<long long>(carried.size()) - static_cast<long long>(linked);
        benchmark::RegisterBenchmark(("rewrite/" + m.name).c_str(), RewriteOne, &m)->Unit(benchmark::kMillisecond);
    }
    argc -= 1;
    argv[1] = argv[0];
    benchmark::Initialize(&argc, argv + 1);
    PeerLineReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    return 0;
}
