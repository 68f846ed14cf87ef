// vorn-bench-dashboard: vorn-dashboard's answers over HTTP, timed by clients on this machine.
//
//   vorn-bench-dashboard report DASHBOARD URL COUNT
//       starts DASHBOARD (vorn-dashboard) on the records at URL and asks for COUNT yield reports
//       one after another, each a window the dashboard has not answered before (so none is
//       shared): a week of the line, and the month by day, as the page asks them. Prints the
//       milliseconds of each, from the request written to the answer read.
//   vorn-bench-dashboard report-https DASHBOARD URL COUNT CERT KEY USERS LOGIN
//       the same over HTTPS (CERT and KEY the dashboard's, CERT also the client's trust) with
//       the users file USERS, each request carrying the HTTP Basic login LOGIN ("NAME:PASSWORD")
//   vorn-bench-dashboard engine URL COUNT
//       the same reports computed in this process by the report engine alone (YieldReport),
//       for what the dashboard adds around it
//   vorn-bench-dashboard clients DASHBOARD URL CLIENTS REQUESTS
//       CLIENTS clients at once, each on a connection of its own, each asking REQUESTS times in
//       turn for the page's report of the week and for the checkouts of a serial number.
//       Prints "errors N" and then the milliseconds of each answer.
//
// The records are those of vorn-bench-records populate-line: November 2026.

#include "records/recordsfilters.h"
#include "store/recordsstore.h"
#include "yield/yieldreport.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// How a client reaches the dashboard over TLS: the certificate it trusts and the login it
// sends with each request.
struct Https
{
    QString certificate;
    QString key;
    QString users;
    QByteArray login; // NAME:PASSWORD
};

// A keep-alive HTTP/1.1 connection with blocking reads: the least a client can add. Over TLS
// with OpenSSL's own client when https is given, the dashboard's certificate verified.
class Client
{
public:
    explicit Client(quint16 port, const Https *https = nullptr)
    {
        connectTo(port);
        if (m_connected && https)
            m_connected = startTls(*https);
    }
    ~Client()
    {
        if (m_tls)
            SSL_free(m_tls);
        if (m_context)
            SSL_CTX_free(m_context);
        ::close(m_socket);
    }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    // The status of a GET of target, its whole answer read; nothing when the connection failed.
    std::optional<int> get(const std::string &target)
    {
        if (!m_connected)
            return std::nullopt;
        const std::string request =
            "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + m_authorization + "\r\n";
        if (!send(request))
            return std::nullopt;
        size_t end = std::string::npos;
        while ((end = m_buffer.find("\r\n\r\n")) == std::string::npos) {
            if (!more())
                return std::nullopt;
        }
        const std::string head = m_buffer.substr(0, end);
        const size_t length = contentLength(head);
        while (m_buffer.size() < end + 4 + length) {
            if (!more())
                return std::nullopt;
        }
        m_buffer.erase(0, end + 4 + length);
        return std::stoi(head.substr(head.find(' ') + 1, 3));
    }

private:
    void connectTo(quint16 port)
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int on = 1;
        ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        m_connected =
            ::connect(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }

    bool startTls(const Https &https)
    {
        m_context = SSL_CTX_new(TLS_client_method());
        if (!m_context ||
            SSL_CTX_load_verify_locations(m_context, qPrintable(https.certificate), nullptr) != 1)
            return false;
        SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
        m_tls = SSL_new(m_context);
        SSL_set_fd(m_tls, m_socket);
        SSL_set1_host(m_tls, "127.0.0.1");
        m_authorization = "Authorization: Basic " + https.login.toBase64().toStdString() + "\r\n";
        return SSL_connect(m_tls) == 1;
    }

    bool send(const std::string &request)
    {
        if (m_tls)
            return SSL_write(m_tls, request.data(), int(request.size())) == int(request.size());
        return ::send(m_socket, request.data(), request.size(), MSG_NOSIGNAL) ==
               ssize_t(request.size());
    }

    static size_t contentLength(const std::string &head)
    {
        const std::string name = "\r\nContent-Length: ";
        const size_t at = head.find(name);
        return at == std::string::npos ? 0 : std::stoul(head.substr(at + name.size()));
    }

    bool more()
    {
        char chunk[65536];
        const ssize_t got = m_tls ? ssize_t(SSL_read(m_tls, chunk, int(sizeof chunk)))
                                  : ::recv(m_socket, chunk, sizeof chunk, 0);
        if (got <= 0)
            return false;
        m_buffer.append(chunk, size_t(got));
        return true;
    }

    int m_socket = -1;
    bool m_connected = false;
    SSL_CTX *m_context = nullptr;
    SSL *m_tls = nullptr;
    std::string m_authorization;
    std::string m_buffer;
};

// The dashboard as a process on a free port.
class Dashboard
{
public:
    bool start(const QString &program, const QString &url, const Https *https = nullptr)
    {
        QStringList arguments{QStringLiteral("--records"), url, QStringLiteral("--listen"),
                              QStringLiteral("127.0.0.1:0")};
        if (https)
            arguments << QStringLiteral("--tls-cert") << https->certificate
                      << QStringLiteral("--tls-key") << https->key << QStringLiteral("--users")
                      << https->users;
        m_process.start(program, arguments);
        const QRegularExpression serving(QStringLiteral(":(\\d+)/\n"));
        QString output;
        while (m_process.waitForReadyRead(30'000)) {
            output += QString::fromUtf8(m_process.readAllStandardOutput());
            const QRegularExpressionMatch match = serving.match(output);
            if (match.hasMatch()) {
                m_port = quint16(match.captured(1).toUInt());
                return true;
            }
        }
        std::fprintf(stderr, "vorn-dashboard did not start: %s\n",
                     m_process.readAllStandardError().constData());
        return false;
    }
    ~Dashboard()
    {
        m_process.terminate();
        m_process.waitForFinished(30'000);
    }
    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

double millisecondsSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The page's two reports for a day of November: the week up to it, and the month by day.
std::string reportOf(int request)
{
    const QDate day = QDate(2026, 11, 7).addDays(request / 2 % 24);
    const QString until = day.toString(Qt::ISODate);
    if (request % 2 == 0)
        return "/api/report?since=" + day.addDays(-6).toString(Qt::ISODate).toStdString() +
               "&until=" + until.toStdString();
    return "/api/report?since=" + day.addDays(-29).toString(Qt::ISODate).toStdString() +
           "&until=" + until.toStdString() + "&by=day";
}

std::string targetOf(int request)
{
    std::string target = reportOf(request);
    if (request >= 48)
        target += "&station=line-2-station-" + std::to_string(request % 4);
    return target;
}

int engine(const QString &url, int count)
{
    RecordsStore store(*RecordsLocation::parse(url, nullptr));
    if (!store.open(RecordsStore::OpenMode::ReadOnly))
        return std::fprintf(stderr, "%s\n", qPrintable(store.errorText())), 1;
    for (int request = 0; request < count; ++request) {
        // The address's parameters, read as the dashboard reads them.
        RecordsFilters::Texts texts;
        const QString query = QString::fromStdString(targetOf(request)).section('?', 1);
        for (const QString &pair : query.split(QLatin1Char('&')))
            texts.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        ReportQuery report;
        if (!RecordsFilters::takeReport(texts, QDateTime::currentDateTimeUtc(), {}, report)
                 .isEmpty())
            return 1;
        QElapsedTimer timer;
        timer.start();
        YieldReport engine(store);
        if (!engine.run(report))
            return std::fprintf(stderr, "%s\n", qPrintable(engine.errorText())), 1;
        std::printf("%.3f\n", millisecondsSince(timer));
    }
    return 0;
}

int reports(const QString &program, const QString &url, int count, const Https *https = nullptr)
{
    Dashboard dashboard;
    if (!dashboard.start(program, url, https))
        return 1;
    Client client(dashboard.port(), https);
    // Each window once: a window asked again within 2 s would be shared, not computed.
    for (int request = 0; request < count; ++request) {
        const std::string target = targetOf(request);
        QElapsedTimer timer;
        timer.start();
        const std::optional<int> status = client.get(target);
        if (status != 200)
            return std::fprintf(stderr, "%s: %d\n", target.c_str(), status.value_or(-1)), 1;
        std::printf("%.3f\n", millisecondsSince(timer));
    }
    return 0;
}

int clients(const QString &program, const QString &url, int clientCount, int requests)
{
    Dashboard dashboard;
    if (!dashboard.start(program, url))
        return 1;
    std::mutex mutex;
    std::vector<double> times;
    std::atomic<int> errors = 0;
    std::atomic<int> ready = 0;
    std::vector<std::thread> threads;
    for (int index = 0; index < clientCount; ++index) {
        threads.emplace_back([&, index] {
            Client client(dashboard.port());
            ++ready;
            while (ready.load() < clientCount)
                std::this_thread::yield();
            std::vector<double> mine;
            for (int request = 0; request < requests; ++request) {
                // Everyone's page asks for the same week; each asks for readers of its own.
                const std::string target =
                    request % 2 == 0 ? std::string("/api/report?since=2026-11-24&until=2026-11-30")
                                     : "/api/records?serial=" +
                                           std::to_string((index * 977 + request * 131) % 65536);
                QElapsedTimer timer;
                timer.start();
                if (client.get(target) != 200)
                    ++errors;
                mine.push_back(millisecondsSince(timer));
            }
            const std::lock_guard locked(mutex);
            times.insert(times.end(), mine.begin(), mine.end());
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    std::printf("errors %d\n", errors.load());
    for (double time : times)
        std::printf("%.3f\n", time);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 5 && arguments.at(1) == QLatin1String("report"))
        return reports(arguments.at(2), arguments.at(3), arguments.at(4).toInt());
    if (arguments.size() == 9 && arguments.at(1) == QLatin1String("report-https")) {
        const Https https{arguments.at(5), arguments.at(6), arguments.at(7),
                          arguments.at(8).toUtf8()};
        return reports(arguments.at(2), arguments.at(3), arguments.at(4).toInt(), &https);
    }
    if (arguments.size() == 4 && arguments.at(1) == QLatin1String("engine"))
        return engine(arguments.at(2), arguments.at(3).toInt());
    if (arguments.size() == 6 && arguments.at(1) == QLatin1String("clients"))
        return clients(arguments.at(2), arguments.at(3), arguments.at(4).toInt(),
                       arguments.at(5).toInt());
    std::fprintf(stderr, "usage: vorn-bench-dashboard report DASHBOARD URL COUNT\n"
                         "       vorn-bench-dashboard report-https DASHBOARD URL COUNT CERT KEY "
                         "USERS NAME:PASSWORD\n"
                         "       vorn-bench-dashboard engine URL COUNT\n"
                         "       vorn-bench-dashboard clients DASHBOARD URL CLIENTS REQUESTS\n");
    return 2;
}
