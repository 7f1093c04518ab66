#pragma once

#include <QString>
#include <QtGlobal>

namespace mdx {

// Codes the catalog layer raises, HRESULT-shaped like the model's (model/failure.h).
namespace CatalogFailure {
constexpr qint32 MalformedConnectionString = qint32(0x8004B001);
constexpr qint32 EmptyConnectionString = qint32(0x8004B002);
constexpr qint32 UnsupportedProvider = qint32(0x8004B003);
constexpr qint32 NoDataSource = qint32(0x8004B004);
constexpr qint32 NotSupportedYet = qint32(0x8004B005);
constexpr qint32 CatalogNotFound = qint32(0x8004B006);
constexpr qint32 FileNotReadable = qint32(0x8004B007);
constexpr qint32 FileTooLarge = qint32(0x8004B008);
constexpr qint32 NotWellFormed = qint32(0x8004B009);
constexpr qint32 NotASchema = qint32(0x8004B00A);
constexpr qint32 InvalidSchema = qint32(0x8004B00B);
constexpr qint32 DuplicateUniqueName = qint32(0x8004B00C);
constexpr qint32 UnknownReference = qint32(0x8004B00D);
constexpr qint32 ItemOutOfRange = qint32(0x8004B00E);
constexpr qint32 NotOpen = qint32(0x8004B00F);
constexpr qint32 AlreadyOpen = qint32(0x8004B010);
constexpr qint32 ObjectNotSet = qint32(0x8004B011);
} // namespace CatalogFailure

// Source texts shown in the title of a failure message; kept short and stable.
namespace CatalogSource {
inline const QString Connection = QStringLiteral("MdxWizard.Connection");
inline const QString Catalog = QStringLiteral("MdxWizard.Catalog");
inline const QString SchemaFile = QStringLiteral("MdxWizard.SchemaFile");
} // namespace CatalogSource

} // namespace mdx
