// The command's whole way with a message, in process, beside the rewrite alone: what
// `glyphory convert FILE -o OUT` does with one message (the file read, the conversion through
// the built-in host as the mail client runs it, the count of what it shows, the result written
// through a temporary file renamed into place), with the installed settings and images, each
// image carried in the message. On the peers' corpus (shared/perf/gen_corpus.py) and on a 5 MB
// Shift_JIS message from a Docomo sender, dense with pictographs. Besides Google Benchmark's own
// report it prints one line per message, medians of the runs:
//   glyphory-command MESSAGE BYTES command MB/s=R rewrite MB/s=W command/rewrite=X.XXx
//   glyphory_bench_command CORPUS_DIR [benchmark options]
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/sample_text.h"
#include "cli/archive.h"
#include "cli/conversion.h"
#include "host/mail_host.h"
#include "mime/message_rewriter.h"
#include "render/pictograph_map.h"
#include "settings/plugin_settings.h"

namespace {

// The settings and images as the command finds them installed, each image carried.
void SetUpHost() {
    BindBuiltinHost(g_hostApi);
    g_pSettings = std::make_unique<CPluginSettings>(GLYPHORY_SHARE "/Glyphory.ini");
    g_pSettings->Load();
    const std::string images = GLYPHORY_SHARE "/images/";
    ScanPictographFolder(images + "au/", "au", true, g_mapAU);
    ScanPictographFolder(images + "softbank/", "softbank", true, g_mapSoftbank);
    ScanPictographFolder(images + "docomo/", "docomo", true, g_mapDocomo);
}

// One message through the command from in to out, as each file of a folder goes (a file
// named on the command line also says its line on standard error).
Tally RunCommand(const fs::path& in, const fs::path& out) {
    Options options;
    options.command = "convert";
    Tally tally;
    Progress progress;
    ConvertFile(in, out, false, options, tally, progress);
    return tally;
}

struct Message {
    std::string name;
    fs::path path;
    std::string text;
    std::string subject;  // as the host hands it to the conversion
};

std::vector<Message>& Messages() {
    static std::vector<Message> messages;
    return messages;
}

// The folder of its own that the command writes into, removed when the run ends.
fs::path& Scratch() {
    static fs::path scratch;
    return scratch;
}

void Command(benchmark::State& state, const Message* message) {
    const fs::path out = Scratch() / ("out-" + message->name);
    for (auto _ : state) benchmark::DoNotOptimize(RunCommand(message->path, out));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message->text.size()));
}

void Rewrite(benchmark::State& state, const Message* message) {
    for (auto _ : state) {
        bool changed = false;
        benchmark::DoNotOptimize(RewriteMessage(message->text, message->subject, true, changed, CARRIER_DOCOMO));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message->text.size()));
}

// Prints each message's line from the medians Google Benchmark computed.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                m_rates[run.run_name.function_name].push_back(run.counters.at("bytes_per_second") / 1e6);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const Message& m : Messages()) {
            const double command = Median("command/" + m.name), rewrite = Median("rewrite/" + m.name);
            if (command > 0 && rewrite > 0)
                std::printf("glyphory-command %s %zu command MB/s=%.1f rewrite MB/s=%.1f command/rewrite=%.2fx\n", m.name.c_str(),
                            m.text.size(), command, rewrite, command / rewrite);
        }
    }

private:
    double Median(const std::string& name) {
        std::vector<double>& rates = m_rates[name];
        if (rates.empty()) return 0;
        std::sort(rates.begin(), rates.end());
        const size_t n = rates.size();
        return n % 2 ? rates[n / 2] : (rates[n / 2 - 1] + rates[n / 2]) / 2;
    }

    std::map<std::string, std::vector<double>> m_rates;
};

// The messages read and registered, both ways each; 0 when they could be.
int Register(const std::string& dir) {
    for (const char* name : {"plain.eml", "nopicto.eml", "attach.eml", "manyparts.eml", "nested.eml"}) {
        const fs::path path = fs::path(dir) / name;
        if (!fs::is_regular_file(path)) {
            std::fprintf(stderr, "%s is missing: run shared/perf/gen_corpus.py %s\n", path.c_str(), dir.c_str());
            return 2;
        }
        Messages().push_back({name, path, ReadInput(path.string()), ""});
    }
    const fs::path dense = Scratch() / "dense.eml";
    Messages().push_back({"dense.eml", dense,
                          "From: hanako@docomo.ne.jp\r\nTo: taro@example.jp\r\nSubject: dense\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
                              SampleSjisText(5'000'000, true),
                          ""});
    WriteOutput(dense.string(), Messages().back().text);
    for (Message& m : Messages()) {
        // A message the command leaves alone would measure nothing of the conversion.
        const Tally tally = RunCommand(m.path, Scratch() / ("out-" + m.name));
        if (tally.messages != 1 || !tally.leftAlone.empty()) {
            std::fprintf(stderr, "%s: the command left it alone\n", m.name.c_str());
            return 1;
        }
        char subject[1024] = {};
        TheMailHost().SetCurrentMessage(m.text);
        TheMailHost().GetSpecifiedHeader("Subject", subject, sizeof subject - 1);
        m.subject = subject;
        // The command waits on the disk too: both rates are of the time that passed.
        benchmark::RegisterBenchmark(("command/" + m.name).c_str(), Command, &m)->UseRealTime()->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("rewrite/" + m.name).c_str(), Rewrite, &m)->UseRealTime()->Unit(benchmark::kMillisecond);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [benchmark options]\n", argv[0]);
        return 2;
    }
    SetUpHost();
    std::string scratch = (fs::temp_directory_path() / "glyphory_bench_command.XXXXXX").string();
    if (!mkdtemp(scratch.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    Scratch() = scratch;
    int status = 1;
    try {
        status = Register(argv[1]);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "%s\n", failure.message.c_str());
    }
    if (status == 0) {
        argc -= 1;
        argv[1] = argv[0];
        benchmark::Initialize(&argc, argv + 1);
        RatioReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
    }
    fs::remove_all(Scratch());
    return status;
}
