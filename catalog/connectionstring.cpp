#include "connectionstring.h"

#include "common/failure.h"

#include <QRegularExpression>

namespace mdx {

namespace {

[[noreturn]] void failMalformed(const QString &why, qsizetype index)
{
    throw Failure(CatalogFailure::MalformedConnectionString,
                  QStringLiteral("The connection string is malformed at character %1: %2")
                      .arg(index + 1)
                      .arg(why),
                  FailureSource::Connection);
}

bool isSpace(QChar c)
{
    return c.isSpace();
}

class Parser
{
public:
    explicit Parser(const QString &text)
        : mText(text)
    {
    }

    ConnectionString parse()
    {
        ConnectionString result;
        while (mPos < mText.size()) {
            skipSpaces();
            if (atEnd())
                break;
            if (mText.at(mPos) == u';') {
                ++mPos; // an empty pair
                continue;
            }
            const qsizetype keyStart = mPos;
            const QString key = readKey();
            if (key.isEmpty())
                failMalformed(QStringLiteral("a value has no key before its \"=\"."), keyStart);
            const QString value = readValue(key);
            assign(result, key.toLower(), value, keyStart);
        }
        return result;
    }

private:
    bool atEnd() const { return mPos >= mText.size(); }

    void skipSpaces()
    {
        while (!atEnd() && isSpace(mText.at(mPos)))
            ++mPos;
    }

    // Reads up to the '=' that ends the key; "==" stands for a literal '=' in a key.
    QString readKey()
    {
        const qsizetype start = mPos;
        QString key;
        while (!atEnd()) {
            const QChar c = mText.at(mPos);
            if (c == u'=') {
                if (mPos + 1 < mText.size() && mText.at(mPos + 1) == u'=') {
                    key += u'=';
                    mPos += 2;
                    continue;
                }
                ++mPos;
                return key.trimmed();
            }
            if (c == u';')
                break;
            key += c;
            ++mPos;
        }
        failMalformed(QStringLiteral("the pair that starts here has no \"=\"."), start);
    }

    QString readValue(const QString &key)
    {
        skipSpaces();
        if (atEnd())
            return {};
        const QChar first = mText.at(mPos);
        if (first == u'"' || first == u'\'')
            return readQuoted(key, first);
        const qsizetype start = mPos;
        while (!atEnd() && mText.at(mPos) != u';')
            ++mPos;
        const QString value = mText.mid(start, mPos - start).trimmed();
        if (!atEnd())
            ++mPos; // the ';'
        return value;
    }

    QString readQuoted(const QString &key, QChar quote)
    {
        const qsizetype open = mPos++;
        QString value;
        for (;;) {
            if (atEnd())
                failMalformed(QStringLiteral("the value of \"%1\" opens a quote that is never "
                                             "closed.")
                                  .arg(key),
                              open);
            const QChar c = mText.at(mPos++);
            if (c != quote) {
                value += c;
                continue;
            }
            if (!atEnd() && mText.at(mPos) == quote) {
                value += quote; // a doubled quote stands for one
                ++mPos;
                continue;
            }
            break;
        }
        skipSpaces();
        if (!atEnd() && mText.at(mPos) != u';')
            failMalformed(QStringLiteral("text follows the closing quote of the value of "
                                         "\"%1\"; a quoted value must end the pair.")
                              .arg(key),
                          mPos);
        if (!atEnd())
            ++mPos;
        return value;
    }

    static void assign(ConnectionString &cs, const QString &key, const QString &value,
                       qsizetype keyStart)
    {
        if (key == u"provider")
            cs.provider = value;
        else if (key == u"data source" || key == u"datasource")
            cs.dataSource = value;
        else if (key == u"initial catalog" || key == u"catalog")
            cs.initialCatalog = value;
        else if (key == u"user id" || key == u"uid")
            cs.userId = value;
        else if (key == u"password" || key == u"pwd")
            cs.password = value;
        else if (key == u"connect timeout")
            cs.connectTimeout = parseTimeout(value, keyStart);
        // Unknown keys are ignored, as OLE DB providers do with keys that are not theirs.
    }

    static int parseTimeout(const QString &value, qsizetype keyStart)
    {
        if (value.isEmpty())
            return -1;
        bool ok = false;
        const int seconds = value.toInt(&ok);
        if (!ok || seconds < 0)
            failMalformed(QStringLiteral("\"Connect Timeout\" must be a whole number of seconds."),
                          keyStart);
        return seconds;
    }

    const QString &mText;
    qsizetype mPos = 0;
};

} // namespace

ConnectionString parseConnectionString(const QString &text)
{
    return Parser(text).parse();
}

bool isOlapProvider(const QString &provider)
{
    static const QRegularExpression pattern(QStringLiteral("^msolap(\\.[0-9]+)?$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern.match(provider.trimmed()).hasMatch();
}

} // namespace mdx
