#pragma once

#include <QString>
#include <QtGlobal>

namespace mdx {

// Every failure code and source name of the program. Codes are HRESULT-shaped (severity bit
// set) so that hosts used to OLE DB errors read them the usual way; each layer owns a range.
// One condition has one code, whichever data source meets it.

// The model: 0x8004A0xx.
namespace ModelFailure {
constexpr qint32 KeyExists = qint32(0x8004A001);
constexpr qint32 KeyNotFound = qint32(0x8004A002);
constexpr qint32 PositionOutOfRange = qint32(0x8004A003);
constexpr qint32 NotADimensionNode = qint32(0x8004A004);
} // namespace ModelFailure

// The catalog, whatever its data source: 0x8004B0xx.
namespace CatalogFailure {
constexpr qint32 MalformedConnectionString = qint32(0x8004B001);
constexpr qint32 EmptyConnectionString = qint32(0x8004B002);
constexpr qint32 UnsupportedProvider = qint32(0x8004B003);
constexpr qint32 NoDataSource = qint32(0x8004B004);
constexpr qint32 CatalogNotFound = qint32(0x8004B006); // also: a server with no catalogs
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
// A statement was to run on a source that describes cubes but holds no data (the embedded
// sample, a schema file).
constexpr qint32 HoldsNoData = qint32(0x8004B012);
// Members were asked of a source that lists none beyond the measures (the embedded sample, a
// schema file).
constexpr qint32 ListsNoMembers = qint32(0x8004B013);
// The user ended a wait. Keeps the value it had when only the server client could raise it.
constexpr qint32 Cancelled = qint32(0x8004B104);
} // namespace CatalogFailure

// The catalog's XML for Analysis client: what only a server can do wrong, 0x8004B1xx.
namespace XmlaFailure {
constexpr qint32 ConnectionRefused = qint32(0x8004B101);
constexpr qint32 HostNotFound = qint32(0x8004B102);
constexpr qint32 TimedOut = qint32(0x8004B103);
constexpr qint32 HttpStatus = qint32(0x8004B105);
constexpr qint32 NotAuthorized = qint32(0x8004B106);
constexpr qint32 Forbidden = qint32(0x8004B107);
constexpr qint32 NotFound = qint32(0x8004B108);
constexpr qint32 Redirected = qint32(0x8004B109);
constexpr qint32 Certificate = qint32(0x8004B10A);
constexpr qint32 Network = qint32(0x8004B10B);
constexpr qint32 NotXml = qint32(0x8004B10C);
constexpr qint32 Truncated = qint32(0x8004B10D);
constexpr qint32 NotXmla = qint32(0x8004B10E);
constexpr qint32 ServerFault = qint32(0x8004B10F);
constexpr qint32 TooLarge = qint32(0x8004B110);
constexpr qint32 MissingColumn = qint32(0x8004B111);
constexpr qint32 BadValue = qint32(0x8004B112);
constexpr qint32 BadAddress = qint32(0x8004B115);
constexpr qint32 Busy = qint32(0x8004B116);
constexpr qint32 NoEventLoop = qint32(0x8004B117);
constexpr qint32 Encoding = qint32(0x8004B118);
// A result with more axes than columns and rows.
constexpr qint32 TooManyAxes = qint32(0x8004B119);
} // namespace XmlaFailure

// The window: 0x8004C0xx.
namespace WindowFailure {
constexpr qint32 NoCubeToSelect = qint32(0x8004C001);
constexpr qint32 MissingResource = qint32(0x8004C002);
constexpr qint32 ForeignException = qint32(0x8004C003);
} // namespace WindowFailure

// Source texts shown in the title of a failure message; kept short and stable. A server's
// own fault keeps the source the server names.
namespace FailureSource {
inline const QString LayoutTree = QStringLiteral("MdxWizard.LayoutTree");
inline const QString MeasureList = QStringLiteral("MdxWizard.MeasureList");
inline const QString Connection = QStringLiteral("MdxWizard.Connection");
inline const QString Catalog = QStringLiteral("MdxWizard.Catalog");
inline const QString SchemaFile = QStringLiteral("MdxWizard.SchemaFile");
inline const QString Xmla = QStringLiteral("MdxWizard.Xmla");
inline const QString Window = QStringLiteral("MdxWizard.MdxForm");
} // namespace FailureSource

} // namespace mdx
