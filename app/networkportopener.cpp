#include "app/networkportopener.h"

#include "serial/serialline.h"

#include <QThread>

#include <memory>

NetworkPortOpener::NetworkPortOpener(QObject *parent) : QObject(parent) {}

NetworkPortOpener::~NetworkPortOpener()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void NetworkPortOpener::open(SerialLine *line)
{
    if (m_thread)
        return;
    auto opened = std::make_shared<bool>(false);
    m_thread = QThread::create([line, opened, user = thread()] {
        *opened = line->open();
        line->handOverTo(user);
    });
    m_thread->setObjectName(QStringLiteral("port opener"));
    // finished is emitted on the opening thread; the answer is taken on this object's.
    connect(m_thread, &QThread::finished, this, [this, opened] {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
        emit finished(*opened);
    });
    m_thread->start();
}
