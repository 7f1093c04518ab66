#include "failure.h"

#include <QList>
#include <QRegularExpression>

namespace mdx {

Failure::Failure(qint32 code, QString description, QString source)
    : mCode(code)
    , mDescription(std::move(description))
    , mSource(std::move(source))
    , mWhat((mSource + QStringLiteral(": ") + mDescription).toUtf8())
{
}

QString withoutPassword(const QString &quoted)
{
    // A pair of a connection string or of an address's query: a quoted value ends at its
    // closing quote, any other at the next separator or at the quote that ends the quoted
    // text (spaces may belong to a password).
    static const QRegularExpression pair(
        QStringLiteral(
            R"((?:^|[;&?\s])(?:password|pwd)\s*=\s*("(?:[^"]|"")*"?|'(?:[^']|'')*'?|[^;&#"\r\n]*))"),
        QRegularExpression::CaseInsensitiveOption);
    // "user:password@" after a scheme; a path made of an address has "scheme:/" left.
    static const QRegularExpression userInfo(
        QStringLiteral(R"([a-z][a-z0-9+.\-]*:/+[^/@\s:]*:([^/\s]*)@)"),
        QRegularExpression::CaseInsensitiveOption);
    QString text = quoted;
    for (const QRegularExpression *pattern : { &pair, &userInfo }) {
        QList<QRegularExpressionMatch> matches;
        for (auto it = pattern->globalMatch(text); it.hasNext();)
            matches.prepend(it.next()); // replaced from the end: earlier offsets stay valid
        for (const QRegularExpressionMatch &match : std::as_const(matches)) {
            if (match.capturedLength(1) > 0)
                text.replace(match.capturedStart(1), match.capturedLength(1),
                             QStringLiteral("****"));
        }
    }
    return text;
}

} // namespace mdx
