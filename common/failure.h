#pragma once

#include "failurecodes.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <exception>

namespace mdx {

// The one failure type of the program: what went wrong (for the person at the keyboard),
// a numeric code (failurecodes.h), and the component that raised it. Operations throw it;
// window handlers catch it at their boundary so it never reaches Qt's event loop.
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

// A text that quotes a connection string, a Data Source or an address, as failures show it:
// the value of each Password (or PWD) key and the password in an address's user information
// read "****". Nothing else changes, so the text stays readable whatever the password is.
QString withoutPassword(const QString &quoted);

} // namespace mdx
