#pragma once

#include "common/failure.h" // withoutPassword(), which every failure text obeys

#include <QString>

namespace mdx {

// The keys of an OLE DB connection string that the catalog understands. Unknown keys are
// dropped; keys that are absent stay empty (connectTimeout: -1).
struct ConnectionString
{
    QString provider;
    QString dataSource;
    QString initialCatalog;
    QString userId;
    QString password;
    int connectTimeout = -1; // seconds; -1 when not given
};

// Parses OLE DB syntax: "key=value" pairs separated by ';', keys case-insensitive and trimmed,
// values trimmed unless quoted with " or ' (a doubled quote stands for one), the last
// occurrence of a key wins, empty pairs are ignored. Throws mdx::Failure naming the 1-based
// character position of a malformed part; never quotes the text itself (it may hold a password).
ConnectionString parseConnectionString(const QString &text);

// True for "MSOLAP" and "MSOLAP.<number>", in any letter case.
bool isOlapProvider(const QString &provider);

} // namespace mdx
