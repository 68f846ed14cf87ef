#pragma once

#include <QObject>

class QThread;
class SerialLine;

// Opens a port on a network serial server away from the window's thread: reaching the server and
// agreeing the line's settings take up to a few seconds, during which the window goes on
// answering. The line is handed to the window's thread before finished() says how it went.
class NetworkPortOpener : public QObject
{
    Q_OBJECT

public:
    explicit NetworkPortOpener(QObject *parent = nullptr);
    // An opening still under way is waited for: the line it uses is not the opener's.
    ~NetworkPortOpener() override;
    NetworkPortOpener(const NetworkPortOpener &) = delete;
    NetworkPortOpener &operator=(const NetworkPortOpener &) = delete;

    // Starts opening line, which must outlive the opening; nothing while one is under way.
    void open(SerialLine *line);
    bool isOpening() const { return m_thread != nullptr; }

signals:
    void finished(bool opened);

private:
    QThread *m_thread = nullptr;
};
