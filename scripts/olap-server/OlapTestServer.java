// The project's own OLAP test server: Mondrian's XML for Analysis servlet in an embedded Jetty,
// on 127.0.0.1 only, over an in-memory HSQLDB that lives in this JVM and is filled from a SQL
// script at start.
//
// Usage: java OlapTestServer --port N --schema FILE --sql FILE --workdir DIR
//                            [--user NAME --password TEXT] [--owner PID] [--lifetime SECONDS]
//
// --owner: the server exits as soon as that process is gone, so a test run that ends without
// its cleanup step (stop on failure, Ctrl-C, a killed runner) never leaves a server behind.
// --lifetime: the server exits after that many seconds whatever happens (0: no limit).
//
// Port 0 takes a free port; the port actually bound is written to DIR/port once the server
// listens, so the caller never races another process for a port it only guessed was free.
// Paths served:
//   /xmla         the catalog, no authentication
//   /xmla-secure  the same catalog behind HTTP Basic authentication (only with --user)

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.*;
import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.Statement;
import java.util.*;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;

import javax.servlet.*;
import javax.servlet.http.HttpServletRequest;
import javax.servlet.http.HttpServletResponse;

import org.eclipse.jetty.server.Server;
import org.eclipse.jetty.server.ServerConnector;
import org.eclipse.jetty.servlet.*;

public final class OlapTestServer {
    private static final String DATABASE = "olaptest";

    public static void main(String[] args) throws Exception {
        Map<String, String> opt = parse(args);
        int port = Integer.parseInt(require(opt, "port"));
        Path schema = Paths.get(require(opt, "schema")).toAbsolutePath();
        Path sql = Paths.get(require(opt, "sql")).toAbsolutePath();
        Path workdir = Paths.get(require(opt, "workdir")).toAbsolutePath();
        Files.createDirectories(workdir);

        // The in-memory database exists while one connection holds it open; keep this one
        // for the life of the server.
        Class.forName("org.hsqldb.jdbc.JDBCDriver");
        Connection keepAlive = DriverManager.getConnection("jdbc:hsqldb:mem:" + DATABASE, "SA", "");
        loadScript(keepAlive, sql);

        Path dataSources = workdir.resolve("datasources.xml");
        Files.writeString(dataSources, dataSourcesXml(schema));
        // Mondrian reads the configuration only from a URL; a plain path is silently ignored.
        String dataSourcesUrl = dataSources.toUri().toString();

        Server server = new Server();
        ServerConnector connector = new ServerConnector(server);
        connector.setHost("127.0.0.1");
        connector.setPort(port);
        server.addConnector(connector);

        ServletContextHandler context = new ServletContextHandler(ServletContextHandler.NO_SESSIONS);
        context.setContextPath("/");
        context.addServlet(xmlaServlet(dataSourcesUrl), "/xmla");
        if (opt.containsKey("user")) {
            context.addServlet(xmlaServlet(dataSourcesUrl), "/xmla-secure");
            FilterHolder auth = new FilterHolder(new BasicAuthFilter(require(opt, "user"),
                    opt.getOrDefault("password", "")));
            context.addFilter(auth, "/xmla-secure", EnumSet.of(DispatcherType.REQUEST));
        }
        server.setHandler(context);
        server.setStopAtShutdown(true);
        server.start();
        exitWithOwner(opt.get("owner"));
        exitAfter(Long.parseLong(opt.getOrDefault("lifetime", "0")));

        // Written after the bind, atomically, so a reader never sees a partial number.
        Path tmp = workdir.resolve("port.tmp");
        Files.writeString(tmp, Integer.toString(connector.getLocalPort()));
        Files.move(tmp, workdir.resolve("port"), StandardCopyOption.ATOMIC_MOVE);
        System.err.println("OlapTestServer listening on 127.0.0.1:" + connector.getLocalPort());

        server.join();
        keepAlive.close(); // also keeps the connection, and so the database, reachable till here
    }

    private static void exitWithOwner(String owner) {
        if (owner == null)
            return;
        ProcessHandle.of(Long.parseLong(owner)).ifPresentOrElse(
                handle -> handle.onExit().thenRun(() -> quit("its owner " + owner + " is gone")),
                () -> quit("its owner " + owner + " is gone"));
    }

    private static void exitAfter(long seconds) {
        if (seconds > 0)
            CompletableFuture.runAsync(() -> quit("its lifetime of " + seconds + " s is over"),
                    CompletableFuture.delayedExecutor(seconds, TimeUnit.SECONDS));
    }

    // System.exit runs the shutdown hook that stops Jetty.
    private static void quit(String why) {
        System.err.println("OlapTestServer exits: " + why);
        System.exit(0);
    }

    private static ServletHolder xmlaServlet(String dataSourcesUrl) {
        ServletHolder holder = new ServletHolder(new mondrian.xmla.impl.MondrianXmlaServlet());
        holder.setInitParameter("DataSourcesConfig", dataSourcesUrl);
        holder.setInitOrder(1);
        return holder;
    }

    private static String dataSourcesXml(Path schema) {
        String info = "Provider=mondrian;Jdbc=jdbc:hsqldb:mem:" + DATABASE
                + ";JdbcUser=SA;JdbcPassword=;JdbcDrivers=org.hsqldb.jdbc.JDBCDriver";
        return "<?xml version=\"1.0\"?>\n"
                + "<DataSources>\n"
                + "  <DataSource>\n"
                + "    <DataSourceName>Provider=Mondrian;DataSource=OlapTest;</DataSourceName>\n"
                + "    <DataSourceDescription>OLAP test server</DataSourceDescription>\n"
                + "    <URL>http://127.0.0.1/xmla</URL>\n"
                + "    <DataSourceInfo>" + escape(info) + "</DataSourceInfo>\n"
                + "    <ProviderName>Mondrian</ProviderName>\n"
                + "    <ProviderType>MDP</ProviderType>\n"
                + "    <AuthenticationMode>Unauthenticated</AuthenticationMode>\n"
                + "    <Catalogs>\n"
                + "      <Catalog name=\"OlapTest\">\n"
                + "        <Definition>" + escape(schema.toUri().toString()) + "</Definition>\n"
                + "      </Catalog>\n"
                + "    </Catalogs>\n"
                + "  </DataSource>\n"
                + "</DataSources>\n";
    }

    // Statements end with ";" at the end of a line; "--" lines are comments.
    private static void loadScript(Connection connection, Path script) throws Exception {
        StringBuilder statement = new StringBuilder();
        try (Statement st = connection.createStatement()) {
            for (String line : Files.readAllLines(script, StandardCharsets.UTF_8)) {
                String trimmed = line.trim();
                if (trimmed.isEmpty() || trimmed.startsWith("--"))
                    continue;
                statement.append(line).append('\n');
                if (trimmed.endsWith(";")) {
                    String text = statement.toString().trim();
                    st.execute(text.substring(0, text.length() - 1));
                    statement.setLength(0);
                }
            }
        }
        if (statement.toString().trim().length() > 0)
            throw new IllegalArgumentException("unterminated statement at the end of " + script);
    }

    private static String escape(String text) {
        return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;");
    }

    // The usage is in this file's head; a wrong call fails with what was wrong.
    private static Map<String, String> parse(String[] args) {
        Map<String, String> opt = new HashMap<>();
        for (int i = 0; i < args.length; i += 2) {
            if (!args[i].startsWith("--") || i + 1 >= args.length)
                throw new IllegalArgumentException("bad argument: " + args[i]);
            opt.put(args[i].substring(2), args[i + 1]);
        }
        return opt;
    }

    private static String require(Map<String, String> opt, String name) {
        if (!opt.containsKey(name))
            throw new IllegalArgumentException("missing --" + name);
        return opt.get(name);
    }

    // Just enough of HTTP Basic authentication to let the client prove it sends credentials
    // and reports a refusal.
    private static final class BasicAuthFilter implements Filter {
        private final String expected;

        BasicAuthFilter(String user, String password) {
            expected = "Basic " + Base64.getEncoder().encodeToString(
                    (user + ":" + password).getBytes(StandardCharsets.UTF_8));
        }

        @Override
        public void doFilter(ServletRequest request, ServletResponse response, FilterChain chain)
                throws IOException, ServletException {
            String given = ((HttpServletRequest) request).getHeader("Authorization");
            if (expected.equals(given)) {
                chain.doFilter(request, response);
                return;
            }
            HttpServletResponse http = (HttpServletResponse) response;
            http.setHeader("WWW-Authenticate", "Basic realm=\"OlapTest\"");
            http.sendError(HttpServletResponse.SC_UNAUTHORIZED);
        }
    }
}
