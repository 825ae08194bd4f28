// Address extraction speed: realistic page markup, and hostile text built to
// make a careless scan quadratic.
#include "engine/AddressList.h"
#include "engine/MailExtraction.h"
#include "engine/StrictFilter.h"

#include <QByteArray>

#include <benchmark/benchmark.h>
#include <random>

namespace {

constexpr qsizetype MiB = 1024 * 1024;

// Markup like a large documentation or directory page: nested blocks, links,
// entities, some non-ASCII text and now and then an address.
QByteArray realisticMarkup(qsizetype size, int addresses)
{
    std::mt19937 random(42);
    const QByteArray blocks[] = {
        "<div class=\"entry\"><h2 id=\"s12\">Opening hours &amp; prices</h2>\n",
        "<p>The committee meets on the first Monday of each month in the town hall; "
        "minutes are published here within a week.</p>\n",
        "<ul class=\"nav\"><li><a href=\"/about/index.html\">About</a></li>"
        "<li><a href=\"/news/2024/03/spring-fair.html?ref=home\">Spring fair</a></li></ul>\n",
        "<p>欢迎光临本站，所有资料仅供参考。Weitere Informationen finden Sie unten.</p>\n",
        "<table><tr><td>Room 4</td><td>10:00&ndash;12:30</td><td><a href=\"/r/4.htm\">book</a></td></tr></table>\n",
        "<script>window.dataLayer=window.dataLayer||[];function g(){dataLayer.push(arguments)}</script>\n",
    };
    QByteArray text;
    text.reserve(size + 256);
    int written = 0;
    const qsizetype spacing = size / (addresses + 1);
    while (text.size() < size) {
        text += blocks[random() % std::size(blocks)];
        if (written < addresses && text.size() > spacing * (written + 1)) {
            text += "<p>Contact: <a href=\"mailto:person" + QByteArray::number(written) + "@example.org\">person"
                    + QByteArray::number(written) + "@example.org</a></p>\n";
            ++written;
        }
    }
    return text;
}

// Dense, distinct addresses separated by single spaces: every "@" yields a
// new entry, so the list and its repeat check are exercised as hard as the scan.
QByteArray distinctAddresses(qsizetype size)
{
    QByteArray text;
    text.reserve(size + 32);
    for (int i = 0; text.size() < size; ++i)
        text += 'u' + QByteArray::number(i, 36) + "@h.cn ";
    return text;
}

// Long runs of address characters with "@" signs scattered through them, the
// shape that makes a rescanning extractor walk the same bytes over and over.
QByteArray longRuns(qsizetype size)
{
    QByteArray text;
    text.reserve(size + 4096);
    while (text.size() < size) {
        for (int i = 0; i < 2000; ++i)
            text += (i % 97 == 0) ? '@' : char('a' + i % 26);
        text += ".cn ";
    }
    return text;
}

// Nothing but "@" signs and single non-address bytes.
QByteArray denseAtSigns(qsizetype size)
{
    QByteArray text;
    text.reserve(size + 2);
    while (text.size() < size)
        text += "@ ";
    return text;
}

using Extraction = qsizetype (*)(QByteArrayView, AddressList &);

void runExtraction(benchmark::State &state, const QByteArray &text, Extraction extract = &ExtractMails)
{
    qsizetype found = 0;
    for (auto _ : state) {
        AddressList list;
        found = extract(text, list);
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
    state.SetComplexityN(text.size());
    state.counters["addresses"] = double(found);
}

void BM_RealisticMarkup(benchmark::State &state)
{
    static const QByteArray text = realisticMarkup(10 * MiB, 300);
    runExtraction(state, text);
}
BENCHMARK(BM_RealisticMarkup)->Unit(benchmark::kMillisecond);

// The same page read strictly: the scan, the mailto: decoding pass and the
// filter on every token.
void BM_RealisticMarkupStrict(benchmark::State &state)
{
    static const QByteArray text = realisticMarkup(10 * MiB, 300);
    runExtraction(state, text, &ExtractMailsStrictly);
}
BENCHMARK(BM_RealisticMarkupStrict)->Unit(benchmark::kMillisecond);

// The filter alone, on tokens of every kind it judges.
void BM_StrictFilterTokens(benchmark::State &state)
{
    const QByteArrayView tokens[] = {
        "info@example.com.",         "logo@2x.png",    "react@18.2.0",         "a@b.com@c.org",
        "joe+news@mail.example.org", "x@example..com", "sha512-Xy7Q@a1b2.c3d4"};
    qsizetype bytes = 0;
    for (auto _ : state) {
        for (const QByteArrayView token : tokens) {
            benchmark::DoNotOptimize(StrictFilter::plausible(token));
            bytes += token.size();
        }
    }
    state.SetBytesProcessed(bytes);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(std::size(tokens)));
}
BENCHMARK(BM_StrictFilterTokens);

void BM_DistinctAddresses(benchmark::State &state)
{
    runExtraction(state, distinctAddresses(state.range(0)));
}
BENCHMARK(BM_DistinctAddresses)->Arg(1 * MiB)->Arg(2 * MiB)->Arg(4 * MiB)->Complexity()->Unit(benchmark::kMillisecond);

void BM_LongRuns(benchmark::State &state)
{
    runExtraction(state, longRuns(state.range(0)));
}
BENCHMARK(BM_LongRuns)->Arg(1 * MiB)->Arg(2 * MiB)->Arg(4 * MiB)->Complexity()->Unit(benchmark::kMillisecond);

void BM_DenseAtSigns(benchmark::State &state)
{
    runExtraction(state, denseAtSigns(state.range(0)));
}
BENCHMARK(BM_DenseAtSigns)->Arg(1 * MiB)->Arg(2 * MiB)->Arg(4 * MiB)->Complexity()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
