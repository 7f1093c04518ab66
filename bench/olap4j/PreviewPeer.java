// The preview's peer: olap4j's XML for Analysis driver runs the statements preview-race sends
// and fills a grid of the captions and formatted values, as a preview would. A line
// "ROWS COLUMNS" on standard input runs one; the answer line is
// "AFTER_LAST_BYTE_MS TOTAL_MS CELLS REQUESTS", where the first counts from the moment the driver
// had the whole answer (it reads it to its last byte before parsing) to the filled grid, and the
// last counts the metadata requests the driver sent meanwhile.
//
// Usage: java -cp olap4j.jar:olap4j-xmla.jar:. PreviewPeer URL CATALOG

import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.sql.Connection;
import java.sql.DriverManager;
import java.util.List;
import java.util.concurrent.Callable;
import java.util.concurrent.Future;
import java.util.concurrent.FutureTask;

import org.olap4j.Cell;
import org.olap4j.CellSet;
import org.olap4j.CellSetAxis;
import org.olap4j.OlapConnection;
import org.olap4j.OlapStatement;
import org.olap4j.Position;
import org.olap4j.driver.xmla.XmlaOlap4jDriver;
import org.olap4j.driver.xmla.XmlaOlap4jServerInfos;
import org.olap4j.driver.xmla.proxy.XmlaOlap4jHttpProxy;
import org.olap4j.driver.xmla.proxy.XmlaOlap4jProxy;
import org.olap4j.driver.xmla.proxy.XmlaOlap4jProxyException;
import org.olap4j.metadata.Member;

public final class PreviewPeer {
    // The driver's own HTTP proxy, noting when a statement's answer is all in.
    static final class TimingProxy implements XmlaOlap4jProxy {
        final XmlaOlap4jHttpProxy http;
        volatile long lastByte;
        volatile int requestsSince; // since the last statement's answer

        TimingProxy(XmlaOlap4jDriver driver) {
            http = new XmlaOlap4jHttpProxy(driver);
        }

        public byte[] get(XmlaOlap4jServerInfos server, String request)
                throws XmlaOlap4jProxyException {
            byte[] answer = http.get(server, request);
            // The metadata the driver asks for along the way is its own business.
            if (request.contains("<Execute")) {
                lastByte = System.nanoTime();
                requestsSince = 0;
            } else {
                ++requestsSince;
            }
            return answer;
        }

        public Future<byte[]> submit(XmlaOlap4jServerInfos server, String request) {
            FutureTask<byte[]> task = new FutureTask<>(new Callable<byte[]>() {
                public byte[] call() throws Exception {
                    return get(server, request);
                }
            });
            task.run();
            return task;
        }

        public String getEncodingCharsetName() {
            return http.getEncodingCharsetName();
        }
    }

    static String statement(int rows, int columns) {
        return "with member [Measures].[One] as 1 member [Measures].[Two] as 2 member "
            + "[Measures].[Three] as 3 select "
            + "head(crossjoin({[Store].members},{[Time].members})," + rows + ") on rows, "
            + "head(crossjoin(crossjoin({[Product].members},{[Store Type].members}),"
            + "{[Measures].[One],[Measures].[Two],[Measures].[Three],[Measures].[Unit Sales]}),"
            + columns + ") on columns from Sales";
    }

    static String[] captions(CellSetAxis axis) {
        List<Position> positions = axis.getPositions();
        String[] captions = new String[positions.size()];
        for (int p = 0; p < captions.length; ++p) {
            StringBuilder text = new StringBuilder();
            for (Member member : positions.get(p).getMembers())
                text.append(member.getCaption()).append('\t');
            captions[p] = text.toString();
        }
        return captions;
    }

    public static void main(String[] args) throws Exception {
        XmlaOlap4jDriver driver = new XmlaOlap4jDriver();
        TimingProxy proxy = new TimingProxy(driver);
        String cookie = XmlaOlap4jDriver.nextCookie();
        XmlaOlap4jDriver.PROXY_MAP.put(cookie, proxy);
        Connection connection = driver.connect("jdbc:xmla:Server=" + args[0] + ";Catalog="
            + args[1] + ";TestProxyCookie=" + cookie, new java.util.Properties());
        OlapConnection olap = connection.unwrap(OlapConnection.class);
        BufferedReader in = new BufferedReader(new InputStreamReader(System.in));
        for (String line; (line = in.readLine()) != null;) {
            String[] size = line.trim().split(" ");
            long start = System.nanoTime();
            OlapStatement statement = olap.createStatement();
            CellSet result = statement.executeOlapQuery(
                statement(Integer.parseInt(size[0]), Integer.parseInt(size[1])));
            List<CellSetAxis> axes = result.getAxes();
            String[] columns = captions(axes.get(0));
            String[] rows = captions(axes.get(1));
            String[] grid = new String[columns.length * rows.length];
            for (int i = 0; i < grid.length; ++i) {
                Cell cell = result.getCell(i);
                grid[i] = cell.getFormattedValue();
                if (grid[i] == null || grid[i].isEmpty())
                    grid[i] = String.valueOf(cell.getValue());
            }
            long end = System.nanoTime();
            statement.close();
            System.out.println((end - proxy.lastByte) / 1e6 + " " + (end - start) / 1e6 + " "
                + grid.length + " " + proxy.requestsSince);
            System.out.flush();
        }
        connection.close();
    }
}
