// Reading a big Discover answer: the levels of a cube of 2,000 ten-level dimensions as the test
// server writes them (15 columns a row), handed over in the client's 256 KB slices. The reader
// (libxml2's push parser, keeping the five columns the catalog uses) against QXmlStreamReader
// merely walking the same text, the parser the reader used before.
#include "catalog/xmla/xmlareader.h"

#include <QXmlStreamReader>

#include <benchmark/benchmark.h>

using namespace mdx;

namespace {

constexpr qsizetype Slice = 256 * 1024;

const QByteArray &levelsAnswer()
{
    static const QByteArray answer = [] {
        QByteArray xml = R"(<?xml version="1.0" encoding="utf-8"?>
<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/"><SOAP-ENV:Body>
<cxmla:DiscoverResponse xmlns:cxmla="urn:schemas-microsoft-com:xml-analysis"><cxmla:return>
<root xmlns="urn:schemas-microsoft-com:xml-analysis:rowset">
)";
        for (int d = 0; d < 2000; ++d) {
            for (int l = 0; l <= 10; ++l) {
                const QByteArray dimension = "[Dimension " + QByteArray::number(d) + ']';
                const QByteArray level = l == 0 ? "(All)" : "Level " + QByteArray::number(l - 1);
                xml += "<row><CATALOG_NAME>OlapTest</CATALOG_NAME><SCHEMA_NAME>Big</SCHEMA_NAME>"
                       "<CUBE_NAME>Big</CUBE_NAME><DIMENSION_UNIQUE_NAME>"
                    + dimension + "</DIMENSION_UNIQUE_NAME><HIERARCHY_UNIQUE_NAME>" + dimension
                    + "</HIERARCHY_UNIQUE_NAME><LEVEL_NAME>" + level
                    + "</LEVEL_NAME><LEVEL_UNIQUE_NAME>" + dimension + ".[" + level
                    + "]</LEVEL_UNIQUE_NAME><LEVEL_CAPTION>" + level
                    + "</LEVEL_CAPTION><LEVEL_NUMBER>" + QByteArray::number(l)
                    + "</LEVEL_NUMBER><LEVEL_CARDINALITY>10</LEVEL_CARDINALITY><LEVEL_TYPE>0"
                      "</LEVEL_TYPE><CUSTOM_ROLLUP_SETTINGS>0</CUSTOM_ROLLUP_SETTINGS>"
                      "<LEVEL_UNIQUE_SETTINGS>0</LEVEL_UNIQUE_SETTINGS><LEVEL_IS_VISIBLE>true"
                      "</LEVEL_IS_VISIBLE><DESCRIPTION>Big Cube - "
                    + dimension + " Hierarchy - " + level + " Level</DESCRIPTION></row>\n";
            }
        }
        return xml
            + "</root></cxmla:return></cxmla:DiscoverResponse></SOAP-ENV:Body>"
              "</SOAP-ENV:Envelope>\n";
    }();
    return answer;
}

void setBytes(benchmark::State &state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * levelsAnswer().size());
}

void BM_ReaderKeepingFiveColumns(benchmark::State &state)
{
    const QByteArray &answer = levelsAnswer();
    for (auto _ : state) {
        XmlaResponseReader reader(XmlaResponseReader::Kind::Discover);
        reader.keepColumns({ "LEVEL_NAME", "LEVEL_UNIQUE_NAME", "HIERARCHY_UNIQUE_NAME",
                             "LEVEL_NUMBER", "LEVEL_IS_VISIBLE" });
        for (qsizetype i = 0; i < answer.size(); i += Slice)
            reader.addData(answer.mid(i, Slice));
        reader.finish();
        if (reader.failed() || reader.rowset().rows.size() != 22000)
            state.SkipWithError("the answer did not read");
        benchmark::DoNotOptimize(reader.rowset().rows.size());
    }
    setBytes(state);
}
BENCHMARK(BM_ReaderKeepingFiveColumns)->Unit(benchmark::kMillisecond);

void BM_QXmlStreamReaderWalkOnly(benchmark::State &state)
{
    const QByteArray &answer = levelsAnswer();
    for (auto _ : state) {
        QXmlStreamReader xml;
        xml.setNamespaceProcessing(true);
        qsizetype elements = 0;
        for (qsizetype i = 0; i < answer.size(); i += Slice) {
            xml.addData(answer.mid(i, Slice));
            while (!xml.atEnd()) {
                if (xml.readNext() == QXmlStreamReader::StartElement)
                    ++elements;
                if (xml.hasError())
                    break;
            }
        }
        benchmark::DoNotOptimize(elements);
    }
    setBytes(state);
}
BENCHMARK(BM_QXmlStreamReaderWalkOnly)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
