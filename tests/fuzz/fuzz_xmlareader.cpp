// The XML for Analysis answer reader, read whole and in chunks: both reads must yield the
// same rows, counts or failure. The first byte of the input chooses the kind of answer (bit 0)
// and the HTTP charset (bits 1-3), the second the chunk size; the rest is the answer.
#include "fuzzing.h"
#include "xmlareading.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

using namespace mdx;
using Kind = XmlaResponseReader::Kind;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const char *const charsets[] = { "",         "utf-8",        "iso-8859-1", "utf-16",
                                            "utf-16be", "windows-1252", "us-ascii",   "shift_jis" };
    if (size < 2)
        return 0;
    const Kind kind = data[0] & 1 ? Kind::Execute : Kind::Discover;
    const QByteArray charset = charsets[(data[0] >> 1) % std::size(charsets)];
    const int chunkSize = data[1] % 64 + 1;
    const QByteArray body(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));

    const auto whole = test::readXmla(kind, body, 0, charset);
    const auto chunked = test::readXmla(kind, body, chunkSize, charset);
    if (whole->failure())
        fuzz::checkFailure(*whole->failure(), whole->isServerFault());
    const QString outcome = test::outcome(*whole);
    if (test::outcome(*chunked) != outcome)
        fuzz::finding("read whole and in chunks, the answer reads differently",
                      QStringLiteral("chunks of %1\nwhole:   %2\nchunked: %3")
                          .arg(chunkSize)
                          .arg(outcome, test::outcome(*chunked)));
    return 0;
}
