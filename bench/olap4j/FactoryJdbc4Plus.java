// Debian's olap4j-xmla jar leaves out the JDBC 4 base classes that its JDBC 4.1 factory
// extends, so the driver cannot connect without them. These only pass construction on to the
// driver's own classes, which is all that PreviewPeer's calls need.
package org.olap4j.driver.xmla;

import java.sql.SQLException;
import java.util.List;
import java.util.Properties;

import org.olap4j.OlapException;
import org.olap4j.driver.xmla.proxy.XmlaOlap4jProxy;

abstract class FactoryJdbc4Plus implements Factory {
    abstract static class AbstractEmptyResultSet extends EmptyResultSet {
        AbstractEmptyResultSet(XmlaOlap4jConnection connection, List<String> headers,
                List<List<Object>> rows) {
            super(connection, headers, rows);
        }
    }

    abstract static class AbstractConnection extends XmlaOlap4jConnection {
        AbstractConnection(Factory factory, XmlaOlap4jDriver driver, XmlaOlap4jProxy proxy,
                String url, Properties info) throws SQLException {
            super(factory, driver, proxy, url, info);
        }
    }

    abstract static class AbstractCellSet extends XmlaOlap4jCellSet {
        AbstractCellSet(XmlaOlap4jStatement statement) {
            super(statement);
        }
    }

    abstract static class AbstractPreparedStatement extends XmlaOlap4jPreparedStatement {
        AbstractPreparedStatement(XmlaOlap4jConnection connection, String mdx)
                throws OlapException {
            super(connection, mdx);
        }
    }

    abstract static class AbstractDatabaseMetaData extends XmlaOlap4jDatabaseMetaData {
        AbstractDatabaseMetaData(XmlaOlap4jConnection connection) {
            super(connection);
        }
    }
}
