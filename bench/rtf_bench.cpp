// The RTF reader and writer against pandoc, in one run on one generated file of about 5 MB
// written as a word processor writes (Word-style paragraph properties, runs in groups, code-page
// bytes, Unicode with fallbacks, lists and table rows):
//   read:  our reader into a text document, also laid out for display as the editor shows it,
//          vs  pandoc -f rtf -t plain
//   write: our writer from that document     vs  pandoc -t rtf from its own document model (JSON,
//          made before the timing, so pandoc too is timed writing, not reading RTF)
// Pandoc runs as a process; its start-up is part of its time, as it is whenever it is used.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>
#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "richtext/rtf.h"

namespace {

constexpr qsizetype kTargetBytes = 5'000'000;

QByteArray wordStyleRtf() {
    static const char* words[] = {"backup",
                                  "folder",
                                  "archive",
                                  "the",
                                  "of",
                                  "and",
                                  "files",
                                  "restored",
                                  "\\'e8vor",
                                  "compressed",
                                  "disc",
                                  "log",
                                  "\\u269\\'63e\\u353\\'73\\u263\\'63e",
                                  "size",
                                  "CRC",
                                  "\\'93quoted\\'94",
                                  "written",
                                  "to",
                                  "from",
                                  "a",
                                  "is",
                                  "\\u8364\\'80 12"};
    std::mt19937 rng(2024);
    auto sentence = [&](QByteArray& o, int n) {
        for (int i = 0; i < n; ++i) {
            if (i) o += ' ';
            o += words[rng() % (sizeof words / sizeof *words)];
        }
    };
    QByteArray o =
        "{\\rtf1\\adeflang1025\\ansi\\ansicpg1252\\uc1\\adeff31507\\deff0\\stshfdbch31505"
        "{\\fonttbl{\\f0\\fbidi \\froman\\fcharset0\\fprq2{\\*\\panose 02020603050405020304}Times "
        "New Roman;}{\\f1\\fbidi \\fswiss\\fcharset238\\fprq2 Arial CE;}{\\f2\\fbidi "
        "\\fmodern\\fcharset0\\fprq1 Courier New;}{\\f3\\fbidi \\froman\\fcharset2\\fprq2 "
        "Symbol;}}\r\n{\\colortbl;\\red0\\green0\\blue0;\\red0\\green0\\blue255;\\red255\\green0"
        "\\blue0;}\r\n{\\stylesheet{\\ql \\li0\\ri0\\sa160\\sl259\\slmult1\\widctlpar\\f0\\fs22 "
        "\\snext0 \\sqformat \\spriority0 Normal;}}\r\n{\\*\\listtable{\\list\\listtemplateid1"
        "{\\listlevel\\levelnfc23\\levelstartat1{\\leveltext\\'01\\u-3913 ?;}{\\levelnumbers;}"
        "\\f3\\fi-360\\li720}\\listid10}{\\list\\listtemplateid2{\\listlevel\\levelnfc0"
        "\\levelstartat1{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}\\fi-360\\li720}\\listid20}}"
        "\r\n{\\*\\listoverridetable{\\listoverride\\listid10\\listoverridecount0\\ls1}"
        "{\\listoverride\\listid20\\listoverridecount0\\ls2}}\r\n{\\info{\\title Backup log}"
        "{\\author Marlo}}\r\n\\paperw11906\\paperh16838\\margl1417\\margr1417\\sectd\r\n";
    const char* para =
        "\\pard\\plain \\ltrpar\\ql \\li0\\ri0\\sa160\\sl259\\slmult1\\widctlpar\\wrapdefault"
        "\\aspalpha\\aspnum\\faauto\\adjustright\\rin0\\lin0\\itap0 \\rtlch\\fcs1 \\af0\\afs22 "
        "\\ltrch\\fcs0 \\f0\\fs22\\lang1033\\langfe1033\\cgrid\\langnp1033\\langfenp1033 ";
    for (int n = 0; o.size() < kTargetBytes; ++n) {
        if (n % 50 == 49) {
            o += "\\trowd \\irow0\\irowband0\\ltrrow\\trgaph108\\cellx3000\\cellx6000\\cellx9000";
            for (int cell = 0; cell < 3; ++cell) {
                o += "\\pard\\plain \\ltrpar\\ql \\intbl\\f0\\fs22 {\\insrsid7 ";
                sentence(o, 3);
                o += "\\cell }";
            }
            o += "{\\insrsid7 \\trowd \\irow0\\irowband0\\cellx3000\\cellx6000\\cellx9000\\row }"
                 "\r\n";
            continue;
        }
        if (n % 20 == 10 || n % 20 == 11) {
            o += "{\\listtext\\pard\\plain\\f3\\fs22 \\'b7\\tab}\\pard\\plain \\ltrpar\\ql "
                 "\\fi-360\\li720\\ls1\\f0\\fs22 {\\insrsid7 ";
            sentence(o, 8);
            o += "\\par }\r\n";
            continue;
        }
        o += para;
        o += "{\\rtlch\\fcs1 \\af0 \\ltrch\\fcs0 \\insrsid1234 ";
        sentence(o, 10);
        o += " }{\\rtlch\\fcs1 \\b\\af0 \\ltrch\\fcs0 \\b\\cf2\\insrsid1234 ";
        sentence(o, 3);
        o += "}{\\rtlch\\fcs1 \\af0 \\ltrch\\fcs0 \\f1\\i\\insrsid1234  ";
        sentence(o, 6);
        o += "}{\\rtlch\\fcs1 \\af0 \\ltrch\\fcs0 \\insrsid1234 \\par }\r\n";
    }
    o += "}";
    return o;
}

struct Files {
    QTemporaryDir dir;
    QByteArray rtf;
    QString rtfPath;
    QString jsonPath;
    QString pandoc;
};

Files& files() {
    static Files f;
    static const bool ready = [] {
        f.rtf = wordStyleRtf();
        f.rtfPath = f.dir.filePath(QStringLiteral("in.rtf"));
        f.jsonPath = f.dir.filePath(QStringLiteral("in.json"));
        QFile out(f.rtfPath);
        if (out.open(QIODevice::WriteOnly)) out.write(f.rtf);
        out.close();
        f.pandoc = QStandardPaths::findExecutable(QStringLiteral("pandoc"));
        if (!f.pandoc.isEmpty()) {
            QProcess::execute(
                f.pandoc, {QStringLiteral("-f"), QStringLiteral("rtf"), QStringLiteral("-t"),
                           QStringLiteral("json"), QStringLiteral("-o"), f.jsonPath, f.rtfPath});
        }
        return true;
    }();
    (void)ready;
    return f;
}

bool runPandoc(const QStringList& args) { return QProcess::execute(files().pandoc, args) == 0; }

void readOurs(benchmark::State& st) {
    const QByteArray& rtf = files().rtf;
    for (auto _ : st) {
        QTextDocument doc;
        marlo::richtext::readRtf(rtf, doc);
        benchmark::DoNotOptimize(doc.blockCount());
    }
    st.SetBytesProcessed(st.iterations() * rtf.size());
}

// As the editor has it: the document laid out for display once it has loaded.
void readOursLaidOut(benchmark::State& st) {
    const QByteArray& rtf = files().rtf;
    for (auto _ : st) {
        QTextDocument doc;
        doc.setTextWidth(800);
        marlo::richtext::readRtf(rtf, doc);
        benchmark::DoNotOptimize(doc.size());
    }
    st.SetBytesProcessed(st.iterations() * rtf.size());
}

void readPandoc(benchmark::State& st) {
    if (files().pandoc.isEmpty()) return st.SkipWithError("pandoc missing");
    for (auto _ : st) {
        if (!runPandoc({QStringLiteral("-f"), QStringLiteral("rtf"), QStringLiteral("-t"),
                        QStringLiteral("plain"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                        files().rtfPath}))
            return st.SkipWithError("pandoc failed");
    }
    st.SetBytesProcessed(st.iterations() * files().rtf.size());
}

void writeOurs(benchmark::State& st) {
    QTextDocument doc;
    marlo::richtext::readRtf(files().rtf, doc);
    qsizetype written = 0;
    for (auto _ : st) written = marlo::richtext::writeRtf(doc).size();
    st.counters["output MB"] = static_cast<double>(written) / 1e6;
    st.SetBytesProcessed(st.iterations() * files().rtf.size());
}

void writePandoc(benchmark::State& st) {
    if (files().pandoc.isEmpty()) return st.SkipWithError("pandoc missing");
    for (auto _ : st) {
        if (!runPandoc({QStringLiteral("-f"), QStringLiteral("json"), QStringLiteral("-t"),
                        QStringLiteral("rtf"), QStringLiteral("-s"), QStringLiteral("-o"),
                        QStringLiteral("/dev/null"), files().jsonPath}))
            return st.SkipWithError("pandoc failed");
    }
    st.SetBytesProcessed(st.iterations() * files().rtf.size());
}

// Prints the table as usual, then the two ratios the targets are stated in.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (!r.error_occurred) seconds_[r.run_name.function_name] = r.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("input: %.2f MB of RTF\n", static_cast<double>(files().rtf.size()) / 1e6);
        ratio("read", "readOurs", "readPandoc");
        ratio("read and lay out", "readOursLaidOut", "readPandoc");
        ratio("write", "writeOurs", "writePandoc");
    }

  private:
    void ratio(const char* what, const char* ours, const char* peer) {
        if (!seconds_.count(ours) || !seconds_.count(peer)) return;
        std::printf("%s: pandoc time / our time = %.1f   (target >= 1)\n", what,
                    seconds_[peer] / seconds_[ours]);
    }
    std::map<std::string, double> seconds_;
};

}  // namespace

BENCHMARK(readOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(readOursLaidOut)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(readPandoc)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(writeOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(writePandoc)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
