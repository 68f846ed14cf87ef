#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <utility>

// A private ser2net in the foreground, from a YAML file of its own in a temporary folder, with
// one RFC 2217 port on 127.0.0.1 per connection; stopped when the object goes.
class Ser2netProcess
{
public:
    ~Ser2netProcess() { stop(); }

    // Each connection: the TCP port it listens on and the connector (serialdev,/dev/pts/N,...
    // or another gensio). True once every port listens.
    bool start(const QList<std::pair<quint16, QString>> &connections);
    void stop();

    // A TCP port nothing listens on now.
    static quint16 freePort();
    // Polls until something listens on the port (ser2net says nothing when it is ready).
    static bool waitUntilListening(quint16 port);

private:
    QTemporaryDir m_folder;
    QProcess m_process;
};
