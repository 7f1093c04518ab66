// The XML for Analysis answer reader, read whole and in chunks: both reads must yield the
// same rows, counts or failure. The first byte of the input chooses the kind of answer (bit 0)
// and the HTTP charset (bits 1-3), the second the chunk size; the rest is the answer.
#include "fuzzing.h"
#include "xmlareading.h"

#include <iterator>

using namespace mdx;
using Kind = XmlaResponseReader::Kind;

int mdx::fuzz::run(const QByteArray &input)
{
    static const char *const charsets[] = { "",         "utf-8",        "iso-8859-1", "utf-16",
                                            "utf-16be", "windows-1252", "us-ascii",   "shift_jis" };
    if (input.size() < 2)
        return 0;
    const auto first = uchar(input[0]);
    const Kind kind = first & 1 ? Kind::Execute : Kind::Discover;
    const QByteArray charset = charsets[(first >> 1) % std::size(charsets)];
    const int chunkSize = uchar(input[1]) % 64 + 1;
    const QByteArray body = input.mid(2);

    std::unique_ptr<XmlaResponseReader> whole, chunked;
    try { // the reader reports a failure through failure(), never by throwing
        whole = test::readXmla(kind, body, 0, charset);
        chunked = test::readXmla(kind, body, chunkSize, charset);
    } catch (const Failure &failure) {
        finding("the reader threw", failure.description());
    }
    if (whole->failure())
        checkFailure(*whole->failure(), whole->isServerFault());
    const QString outcome = test::outcome(*whole);
    if (test::outcome(*chunked) != outcome)
        finding("read whole and in chunks, the answer reads differently",
                QStringLiteral("chunks of %1\nwhole:   %2\nchunked: %3")
                    .arg(chunkSize)
                    .arg(outcome, test::outcome(*chunked)));
    return 0;
}
