#pragma once

#include "connectionstring.h"
#include "datasource.h"

#include <QStringList>

#include <memory>

namespace mdx {

// Opens the source a connection string's Data Source names: "local" (the sample catalogs),
// an http(s) URL (a server), or a schema file given as a path or a file: URL. A new kind of
// source is one more branch here. `secrets` (and the string's password) are kept out of every
// failure text. Throws mdx::Failure when the source cannot be opened.
std::shared_ptr<DataSource> openDataSource(const ConnectionString &connectionString,
                                           const QStringList &secrets = {});

// `text` with every occurrence of each non-empty secret masked.
QString withoutSecrets(QString text, const QStringList &secrets);

} // namespace mdx
