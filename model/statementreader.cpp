#include "statementreader.h"

#include <memory>
#include <optional>

namespace mdx {

namespace {

struct Token
{
    enum class Kind { Word, Name, Mark, End };
    Kind kind = Kind::End;
    QString text; // a Name without its brackets, "]]" read as "]"
    qsizetype start = 0; // index in the statement
    qsizetype end = 0;
};

// A set of the statement: a crossjoin of two, a dimension's set, or the measures.
struct Set
{
    std::unique_ptr<Set> left, right; // both set for a crossjoin
    std::optional<DimensionSetForm> dimension;
    std::optional<QStringList> measures;
    qsizetype start = 0;
};

// Thrown inside the reader only; readStatement() turns it into its failure text.
struct NotUnderstood
{
    QString text;
};

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

QString bracketed(const QString &name)
{
    QString text = name;
    text.replace(QStringLiteral("]"), QStringLiteral("]]"));
    return u'[' + text + u']';
}

class Reader
{
public:
    explicit Reader(const QString &text)
        : mText(text)
    {
    }

    StatementLayout read()
    {
        tokenize();
        StatementLayout layout;
        expectWord(u"select", QStringLiteral("\"select\""));
        std::unique_ptr<Set> rows, measures;
        const qsizetype firstStart = peek().start;
        const bool firstNonEmpty = takeNonEmpty();
        std::unique_ptr<Set> first = readSet();
        expectWord(u"on", QStringLiteral("\"on\""));
        if (takeWord(u"rows")) {
            rows = std::move(first);
            layout.nonEmpty = firstNonEmpty;
            expectMark(u',');
            measures = readSet();
            expectWord(u"on", QStringLiteral("\"on\""));
            expectWord(u"columns", QStringLiteral("\"columns\""));
        } else {
            expectWord(u"columns", QStringLiteral("\"rows\" or \"columns\""));
            if (firstNonEmpty)
                failAt(firstStart, QStringLiteral("expected \"non empty\" on rows only"), false);
            measures = std::move(first);
            if (takeMark(u',')) {
                layout.nonEmpty = takeNonEmpty();
                rows = readSet();
                expectWord(u"on", QStringLiteral("\"on\""));
                expectWord(u"rows", QStringLiteral("\"rows\""));
            }
        }
        expectWord(u"from", QStringLiteral("\"from\""));
        layout.cube = readCube();
        if (peek().kind != Token::Kind::End)
            fail(QStringLiteral("the end of the statement"));

        if (!measures->measures)
            failAt(measures->start, QStringLiteral("expected the set of measures on columns"));
        layout.measures = *measures->measures;
        if (rows)
            layout.axes = axesOf(*rows);
        return layout;
    }

private:
    void tokenize()
    {
        qsizetype i = 0;
        const qsizetype n = mText.size();
        while (true) {
            while (i < n && mText.at(i).isSpace())
                ++i;
            Token token;
            token.start = i;
            if (i == n) {
                token.end = i;
                mTokens.push_back(token);
                return;
            }
            const QChar c = mText.at(i);
            if (c == u'[') {
                token.kind = Token::Kind::Name;
                ++i;
                while (true) {
                    if (i == n)
                        failAt(token.start, QStringLiteral("a \"[\" that is never closed"), false);
                    if (mText.at(i) == u']') {
                        if (i + 1 < n && mText.at(i + 1) == u']') {
                            token.text += u']';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    token.text += mText.at(i++);
                }
            } else if (isWordCharacter(c)) {
                token.kind = Token::Kind::Word;
                while (i < n && isWordCharacter(mText.at(i)))
                    token.text += mText.at(i++);
            } else if (QStringView(u"{}(),.&").contains(c)) {
                token.kind = Token::Kind::Mark;
                token.text = c;
                ++i;
            } else {
                failAt(i, QStringLiteral("\"%1\", which has no place in such a statement").arg(c),
                       false);
            }
            token.end = i;
            mTokens.push_back(token);
        }
    }

    const Token &peek(size_t ahead = 0) const
    {
        return mTokens[std::min(mNext + ahead, mTokens.size() - 1)];
    }
    const Token &take()
    {
        const Token &token = peek();
        if (token.kind != Token::Kind::End) {
            ++mNext;
            mAfter = token.end;
        }
        return token;
    }
    bool isWord(const Token &token, QStringView word) const
    {
        return token.kind == Token::Kind::Word
            && token.text.compare(word, Qt::CaseInsensitive) == 0;
    }
    bool isMark(const Token &token, QChar mark) const
    {
        return token.kind == Token::Kind::Mark && token.text.front() == mark;
    }
    bool takeWord(QStringView word)
    {
        if (!isWord(peek(), word))
            return false;
        take();
        return true;
    }
    bool takeMark(QChar mark)
    {
        if (!isMark(peek(), mark))
            return false;
        take();
        return true;
    }
    void expectWord(QStringView word, const QString &expected)
    {
        if (!takeWord(word))
            fail(expected);
    }
    void expectMark(QChar mark)
    {
        if (!takeMark(mark))
            fail(u'"' + mark + u'"');
    }

    [[noreturn]] void fail(const QString &expected) const
    {
        failAt(peek().start, QStringLiteral("expected ") + expected);
    }
    // "at 57: expected ... after {[Time].[Month].members}": the position counts from 1, and
    // what stands before it is quoted from the statement's start or its last set.
    [[noreturn]] void failAt(qsizetype position, const QString &what, bool withAfter = true) const
    {
        QString text = QStringLiteral("at %1: %2").arg(position + 1).arg(what);
        const qsizetype from = std::max<qsizetype>(mSetStart, 0);
        if (withAfter && mAfter > from)
            text += QStringLiteral(" after ") + mText.mid(from, mAfter - from).simplified();
        throw NotUnderstood { text };
    }

    bool takeNonEmpty()
    {
        if (!isWord(peek(), u"non"))
            return false;
        take();
        expectWord(u"empty", QStringLiteral("\"empty\""));
        return true;
    }

    // A name in brackets, its parts joined by dots; a dot before a keyword is left. A member's
    // key parts ("&[2004]", also several in a row) belong to it.
    struct Name
    {
        QStringList parts;
        QString written; // the tokens as the statement spells them, without white space
        bool keyed = false;
    };
    Name readName(const QString &expected)
    {
        if (peek().kind != Token::Kind::Name)
            fail(expected);
        Name name;
        while (true) {
            if (takeMark(u'&')) {
                name.written += u'&';
                name.keyed = true;
            }
            const Token &part = take();
            name.parts << part.text;
            name.written += mText.mid(part.start, part.end - part.start);
            if (isMark(peek(), u'&') && peek(1).kind == Token::Kind::Name)
                continue;
            if (!isMark(peek(), u'.'))
                break;
            const bool keyPart = isMark(peek(1), u'&') && peek(2).kind == Token::Kind::Name;
            if (peek(1).kind != Token::Kind::Name && !keyPart)
                break;
            take();
            name.written += u'.';
        }
        return name;
    }
    // The members of a set, the first already read.
    QStringList readMembers(const Name &first)
    {
        QStringList members { first.written };
        while (takeMark(u','))
            members << readName(QStringLiteral("a member")).written;
        return members;
    }
    static bool isMeasure(const Name &name)
    {
        return name.parts.size() == 2 && !name.keyed
            && name.parts.front().compare(u"Measures", Qt::CaseInsensitive) == 0;
    }
    static QString key(const QStringList &parts)
    {
        QStringList bracketedParts;
        for (const QString &part : parts)
            bracketedParts << bracketed(part);
        return bracketedParts.join(u'.');
    }

    std::unique_ptr<Set> readSet(int depth = 0)
    {
        auto set = std::make_unique<Set>();
        set->start = peek().start;
        if (takeWord(u"crossjoin")) {
            // Three axes of three dimensions nest two crossjoins in two; deeper is no layout,
            // and must not exhaust the stack.
            if (depth == maxCrossjoinDepth)
                failAt(set->start,
                       QStringLiteral("expected at most three crossjoined sets of "
                                      "at most three dimensions each on rows"),
                       false);
            expectMark(u'(');
            set->left = readSet(depth + 1);
            expectMark(u',');
            set->right = readSet(depth + 1);
            expectMark(u')');
            return set;
        }
        expectMark(u'{');
        // From here a message names what stands before the fault within this set.
        mSetStart = set->start;
        if (takeWord(u"descendants")) {
            expectMark(u'(');
            DimensionSetForm form { DimensionSetForm::Kind::Descendants, {}, {}, {} };
            if (takeMark(u'{')) {
                form.members = readMembers(readName(QStringLiteral("a member")));
                expectMark(u'}');
            } else {
                form.dimensionKey = key(
                    readName(QStringLiteral("a dimension's name in brackets or \"{\"")).parts);
                expectMark(u'.');
                expectWord(u"currentmember", QStringLiteral("\"currentmember\""));
            }
            expectMark(u',');
            form.levelKey = key(readName(QStringLiteral("a level's name in brackets")).parts);
            expectMark(u')');
            set->dimension = form;
        } else if (isMark(peek(), u'}')) {
            set->measures = QStringList();
        } else {
            const Name name = readName(QStringLiteral("a name in brackets or \"}\""));
            const QStringList &parts = name.parts;
            if (isMark(peek(), u'.')) {
                take();
                expectWord(u"members", QStringLiteral("\"members\""));
                // A level named "(All)" would write the same text: no level chosen reads it.
                if (parts.size() > 1 && parts.back() == u"(All)")
                    set->dimension = DimensionSetForm { DimensionSetForm::Kind::AllMembers,
                                                        key(parts.first(parts.size() - 1)),
                                                        {},
                                                        {} };
                else
                    set->dimension
                        = DimensionSetForm { DimensionSetForm::Kind::Level, {}, key(parts), {} };
            } else if (isMeasure(name) || parts.size() < 2) {
                set->measures = QStringList { measureOf(name, set->start) };
                while (takeMark(u','))
                    set->measures->append(
                        measureOf(readName(QStringLiteral("a measure")), set->start));
            } else {
                set->dimension = DimensionSetForm {
                    DimensionSetForm::Kind::Members, {}, {}, readMembers(name)
                };
            }
        }
        if (!takeMark(u'}'))
            fail(set->measures ? QStringLiteral("\",\" or \"}\"") : QStringLiteral("\"}\""));
        return set;
    }

    QString measureOf(const Name &name, qsizetype start) const
    {
        if (!isMeasure(name))
            failAt(start,
                   QStringLiteral("expected a measure as [Measures].[Name] or a set's "
                                  "\".members\""));
        return name.parts.back();
    }

    QString readCube()
    {
        const Token &token = peek();
        if (token.kind == Token::Kind::End)
            return QString(); // the statement of an empty cube text
        if (token.kind != Token::Kind::Name && token.kind != Token::Kind::Word)
            fail(QStringLiteral("the cube's name"));
        return take().text;
    }

    // The axis sets of the rows part: the first way of splitting its crossjoins into at most
    // three axis sets of at most three dimension sets that gives Rows the most, then Columns.
    std::vector<std::vector<DimensionSetForm>> axesOf(const Set &rows) const
    {
        refuseMeasures(rows);
        std::vector<std::vector<std::vector<DimensionSetForm>>> ways;
        const auto add = [&ways](std::initializer_list<const Set *> parts) {
            std::vector<std::vector<DimensionSetForm>> axes;
            for (const Set *part : parts) {
                if (!part)
                    return;
                auto axis = axisOf(*part);
                if (!axis)
                    return;
                axes.push_back(*axis);
            }
            ways.push_back(axes);
        };
        add({ &rows });
        add({ rows.left.get(), rows.right.get() });
        if (rows.left)
            add({ rows.left->left.get(), rows.left->right.get(), rows.right.get() });
        const auto sizes = [](const std::vector<std::vector<DimensionSetForm>> &axes) {
            std::vector<size_t> counts(3, 0);
            for (size_t a = 0; a < axes.size(); ++a)
                counts[a] = axes[a].size();
            return counts;
        };
        const std::vector<std::vector<DimensionSetForm>> *best = nullptr;
        for (const auto &way : ways) {
            if (!best || sizes(way) > sizes(*best))
                best = &way;
        }
        if (!best)
            failAt(rows.start,
                   QStringLiteral("expected at most three crossjoined sets of at most three "
                                  "dimensions each on rows"),
                   false);
        return *best;
    }

    void refuseMeasures(const Set &set) const
    {
        if (set.measures)
            failAt(set.start, QStringLiteral("expected a dimension's set on rows"), false);
        for (const Set *part : { set.left.get(), set.right.get() }) {
            if (part)
                refuseMeasures(*part);
        }
    }

    // One axis tree's set: one dimension set, or two or three crossjoined.
    static std::optional<std::vector<DimensionSetForm>> axisOf(const Set &set)
    {
        const auto leaf = [](const Set *part) { return part && part->dimension; };
        if (set.dimension)
            return std::vector { *set.dimension };
        if (leaf(set.left.get()) && leaf(set.right.get()))
            return std::vector { *set.left->dimension, *set.right->dimension };
        if (set.left && leaf(set.left->left.get()) && leaf(set.left->right.get())
            && leaf(set.right.get()))
            return std::vector { *set.left->left->dimension, *set.left->right->dimension,
                                 *set.right->dimension };
        return std::nullopt;
    }

    static constexpr int maxCrossjoinDepth = 4;

    const QString &mText;
    std::vector<Token> mTokens;
    size_t mNext = 0;
    qsizetype mAfter = 0; // the end of what was read last
    qsizetype mSetStart = 0;
};

} // namespace

StatementReading readStatement(const QString &text)
{
    StatementReading reading;
    try {
        reading.layout = Reader(text).read();
    } catch (const NotUnderstood &fault) {
        reading.failure = fault.text;
    }
    return reading;
}

} // namespace mdx
