#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <csignal>

// The built vorn-dashboard as a process on a free port of 127.0.0.1.
class DashboardProcess
{
public:
    ~DashboardProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10'000);
        }
    }

    // Starts it on the records at url and waits until it names its port; false when it
    // ended or did not say in time (what it wrote is in output()).
    bool start(const QString &url)
    {
        m_process.start(QStringLiteral(VORN_DASHBOARD_PATH),
                        {QStringLiteral("--records"), url, QStringLiteral("--listen"),
                         QStringLiteral("127.0.0.1:0")});
        const QRegularExpression serving(QStringLiteral(" on https?://127\\.0\\.0\\.1:(\\d+)/\n"));
        const QDeadlineTimer deadline(30'000);
        while (!deadline.hasExpired()) {
            m_output += QString::fromUtf8(m_process.readAllStandardOutput());
            const QRegularExpressionMatch match = serving.match(m_output);
            if (match.hasMatch()) {
                m_port = quint16(match.captured(1).toUInt());
                return true;
            }
            if (m_process.state() == QProcess::NotRunning)
                break;
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
        m_output += QString::fromUtf8(m_process.readAllStandardError());
        return false;
    }

    // Stops it as systemd does (SIGTERM) and returns its exit code, or -1 when it did not end
    // normally.
    int stop()
    {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(30'000) || m_process.exitStatus() != QProcess::NormalExit)
            return -1;
        return m_process.exitCode();
    }

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    quint16 port() const { return m_port; }
    QString output() const { return m_output; }

private:
    QProcess m_process;
    QString m_output;
    quint16 m_port = 0;
};
