#pragma once

#include "connectionstring.h"
#include "datasource.h"
#include "waitindicator.h"

#include <memory>

namespace mdx {

// Opens the source a connection string's Data Source names: "local" (the sample catalogs),
// an http(s) URL (a server), or a schema file given as a path or a file: URL. A new kind of
// source is one more branch here. Throws mdx::Failure when the source cannot be opened; a
// failure that quotes the string or an address hides the password (withoutPassword). A source
// that waits for a server shows its waits with `waitIndicator`.
std::shared_ptr<DataSource> openDataSource(const ConnectionString &connectionString,
                                           std::shared_ptr<WaitIndicator> waitIndicator = {});

} // namespace mdx
