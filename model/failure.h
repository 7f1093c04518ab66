#pragma once

#include <QString>
#include <QtGlobal>

#include <exception>

namespace mdx {

// The one failure type of the program: what went wrong (for the person at the keyboard),
// a numeric code, and the component that raised it. Operations throw it; window handlers
// catch it at their boundary so it never reaches Qt's event loop.
class Failure : public std::exception
{
public:
    Failure(qint32 code, QString description, QString source);

    qint32 code() const noexcept { return mCode; }
    const QString &description() const noexcept { return mDescription; }
    const QString &source() const noexcept { return mSource; }

    const char *what() const noexcept override { return mWhat.constData(); }

private:
    qint32 mCode;
    QString mDescription;
    QString mSource;
    QByteArray mWhat;
};

// Codes are HRESULT-shaped (severity bit set) so that hosts used to OLE DB errors read them
// the usual way; each layer owns a range.
namespace FailureCode {
constexpr qint32 KeyExists = qint32(0x8004A001);
constexpr qint32 KeyNotFound = qint32(0x8004A002);
constexpr qint32 PositionOutOfRange = qint32(0x8004A003);
constexpr qint32 NotADimensionNode = qint32(0x8004A004);
} // namespace FailureCode

} // namespace mdx
