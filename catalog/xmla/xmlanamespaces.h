#pragma once

#include <QString>

namespace mdx::XmlaNamespace {

// The namespaces of requests and answers; elements are matched by these URIs, never by prefix.
inline const QString Soap = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
inline const QString Xmla = QStringLiteral("urn:schemas-microsoft-com:xml-analysis");
inline const QString Rowset = QStringLiteral("urn:schemas-microsoft-com:xml-analysis:rowset");
inline const QString Dataset = QStringLiteral("urn:schemas-microsoft-com:xml-analysis:mddataset");
inline const QString Empty = QStringLiteral("urn:schemas-microsoft-com:xml-analysis:empty");
inline const QString Exception = QStringLiteral("urn:schemas-microsoft-com:xml-analysis:exception");

} // namespace mdx::XmlaNamespace
